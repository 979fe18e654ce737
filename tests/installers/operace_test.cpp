// The path utilities, and the file and folder operations on real files: what they do,
// the sentences and retry questions of their failures, and the refusals that only an account
// without the superuser's rights meets (run through the helper program, which answers No).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "installers/cesty.h"
#include "installers/operace_slozek.h"
#include "installers/operace_souboru.h"
#include "installers/pomoc_operaci.h"
#include "platform/souborovy_system.h"
#include "support/neprivilegovany.h"

namespace zevlon {
namespace {

using test::Existuje;
using test::Stav;
using test::ZachytitChybu;

const std::string kSouborNenalezen =
    ", protože nebyl nalezen soubor. Soubor daného názvu zřejmě neexistuje.";
const std::string kKopieOdeprena =
    ", protože byl odepřen přístup k souboru. Soubor je zřejmě otevřen nebo k němu nemáte "
    "oprávnění.";
const std::string kSlozkaOdeprena =
    "', protože byl odepřen přístup. Zřejmě nemáte oprávnění k vytváření složek.";

std::string Kopie(const std::string& zdroj, const std::string& cil) {
  return "Nepodařilo se zkopírovat soubor z '" + zdroj + "' do '" + cil + "'";
}

std::string Otazka(const std::string& zprava, const std::string& pokus) {
  return zprava + "\r\n\r\nPřejete si opakovat pokus o " + pokus + "?";
}

// What the helper prints for a question it answered No and the error that followed.
std::string OtazkaAChyba(const std::string& otazka, const std::string& chyba) {
  return "otazka 4148\n" + otazka + "\nchyba " + chyba + "\n";
}

std::vector<std::string> Obsah(const std::string& slozka) {
  std::vector<std::string> jmena;
  for (const auto& e : std::filesystem::directory_iterator(slozka))
    jmena.push_back(e.path().filename().string());
  std::sort(jmena.begin(), jmena.end());
  return jmena;
}

TEST(Cesty, PathsSplitIntoFolderAndNameIntoLevelsAndLoseOneTrailingSeparator) {
  for (auto [cesta, ocekavano] :
       {std::pair{"abc.txt", "|abc.txt"}, std::pair{"/a/b.txt", "/a/|b.txt"},
        std::pair{"/x", "/|x"}, std::pair{"a/b/", "a/b/|"}}) {
    std::string s = "stale", j = "stale";
    RozdelitCestu(cesta, s, j);
    EXPECT_EQ(s + "|" + j, ocekavano);
  }
  auto casti = [](const char* cesta) {
    std::string s;
    for (const auto& c : CastiCesty(cesta))
      s += c + "|";
    return s;
  };
  for (auto [cesta, ocekavano] :
       {std::pair{"/a/b/c", "/a|b|c|"}, std::pair{"/a/b/c/", "/a|b|c|"},
        std::pair{"rel/x", "rel|x|"}, std::pair{"/a//b", "/a|b|"}, std::pair{"/Účty", "/Účty|"},
        std::pair{"/", ""}, std::pair{"", ""}})
    EXPECT_EQ(casti(cesta), ocekavano) << cesta;

  std::string p = "/a/b//";
  for (const char* po : {"/a/b/", "/a/b", "/a/b"}) {
    OdebratLomitko(p);
    EXPECT_EQ(p, po);
  }
  const std::string puvodni = "/c/";
  EXPECT_EQ(BezLomitka(puvodni), "/c");
  EXPECT_EQ(puvodni, "/c/");
  EXPECT_EQ(BezLomitka(""), "");
}

TEST(Cesty, ExistujeSlozkaSeesFoldersHiddenOnesAndLinksButNoFiles) {
  test::Sandbox sb;
  std::string skryta = sb.Vytvorit(".skryta"), soubor = sb.Zapsat("soubor", "x");
  ASSERT_EQ(::symlink(skryta.c_str(), (sb / "odkaz").c_str()), 0);
  auto otevrene = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  auto predtim = otevrene();
  EXPECT_TRUE(ExistujeSlozka(skryta));
  EXPECT_TRUE(ExistujeSlozka(skryta + "/"));
  EXPECT_TRUE(ExistujeSlozka(sb / "odkaz"));
  EXPECT_FALSE(ExistujeSlozka(soubor));
  EXPECT_FALSE(ExistujeSlozka(sb / "chybi"));
  EXPECT_FALSE(ExistujeSlozka(""));
  EXPECT_EQ(otevrene(), predtim);  // nothing is left open
}

class Operace : public ::testing::Test {
 protected:
  test::Sandbox sb;
  test::OpravujiciUi ui;
};

TEST_F(Operace, FolderOperationsCreateCopyMoveAndDeleteWholeTrees) {
  VytvoritSlozku(sb / "x/y/z/", true);
  EXPECT_TRUE(ExistujeSlozka(sb / "x/y/z"));
  VytvoritSlozku(sb / "x/y/z", true);  // already there: nothing to do

  // The copy merges into the target, hidden files, links and times included.
  sb.Zapsat("z/a.txt", "nové a");
  sb.Zapsat("z/.skryty", "h");
  std::string hluboky = sb.Zapsat("z/pod/hloubka/b.txt", "b");
  ::chmod(hluboky.c_str(), 0444);
  test::NastavitCas(hluboky, 1'200'000'000, 0);
  ASSERT_EQ(::symlink("pod/hloubka/b.txt", (sb / "z/odkaz").c_str()), 0);
  sb.Zapsat("c/o/a.txt", "staré a");
  sb.Zapsat("c/o/vlastni.txt", "zůstane");
  EXPECT_TRUE(KopirovatSlozku(sb / "z", sb / "c/o"));
  const test::Strom kopie{{".skryty", "h"},
                          {"a.txt", "nové a"},
                          {"odkaz", "b"},
                          {"pod/hloubka/b.txt", "b"},
                          {"vlastni.txt", "zůstane"}};
  EXPECT_EQ(test::CistStrom(sb / "c/o"), kopie);
  EXPECT_EQ(Stav(sb / "c/o/pod/hloubka/b.txt").st_mtim.tv_sec, 1'200'000'000);
  EXPECT_TRUE(S_ISLNK(Stav(sb / "c/o/odkaz").st_mode));
  EXPECT_TRUE(KopirovatSlozku(sb / "z/", sb / "nova/uroven/"));  // missing levels created
  EXPECT_EQ(test::CistStrom(sb / "nova/uroven").size(), 4u);

  PrejmenovatSlozku(sb / "nova/uroven/", sb / "presunuta/");
  EXPECT_EQ(test::CistStrom(sb / "presunuta").size(), 4u);
  EXPECT_FALSE(Existuje(sb / "nova/uroven"));

  // Deleting takes read-only content, but nothing behind a link.
  ::chmod((sb / "presunuta/pod/hloubka").c_str(), 0555);
  ::chmod((sb / "presunuta/pod").c_str(), 0000);
  ASSERT_EQ(::symlink((sb / "c").c_str(), (sb / "presunuta/ven").c_str()), 0);
  SmazatSlozku(sb / "presunuta/", false);
  EXPECT_FALSE(Existuje(sb / "presunuta"));
  EXPECT_EQ(test::CistStrom(sb / "c/o"), kopie);
  EXPECT_TRUE(ui.zpravy.empty());
}

TEST_F(Operace, FailuresRaiseTheirCodeAndSentenceAfterARetryQuestionAnsweredNo) {
  std::string z = sb.Zapsat("z.txt", "z"), ro = sb.Zapsat("ro.txt", "původní");
  ::chmod(ro.c_str(), 0444);
  sb.Zapsat("f/y", "soubor v cestě");
  sb.Zapsat("a/soubor", "a");
  sb.Vytvorit("b");  // even an empty folder is not replaced by a move
  const std::string slozka = sb / "f/y/z", chybi = sb / "chybi", vzor = sb / "*.log";
  const std::string vytvoreni = "Nepodařilo se vytvořit složku '" + slozka +
                                "'.\r\nChyba: Soubor nebo složka tohoto názvu již existuje.",
                    nenalezen = Kopie(chybi, z) + kSouborNenalezen,
                    kopieSlozky = "Kopírování složky do umístění " + sb / "cil/" +
                                  " se nezdařilo. (kód chyby:76)";
  struct {
    std::function<void()> operace;
    std::int32_t cislo;
    std::string zprava, otazka;  // no question when empty
  } pripady[] = {
      {[&] { VytvoritSlozku(slozka, true); }, 17, vytvoreni, Otazka(vytvoreni, "vytvoření složky")},
      {[&] { KopirovatSoubor(chybi, z, true); }, 53, nenalezen,
       Otazka(nenalezen, "zkopírování souboru")},
      {[&] { KopirovatSoubor(z, sb / "nic/c", false); }, 76,
       Kopie(z, sb / "nic/c") + ", protože nebyla nalezena cesta. Zřejmě neexistuje zadaná složka.",
       ""},
      // A read-only target is refused even for the superuser; an unattended run asks nothing.
      {[&] {
         test::BezObsluhy bezObsluhy;
         KopirovatSoubor(z, ro, true);
       },
       70, Kopie(z, ro) + kKopieOdeprena, ""},
      {[&] { SmazatSoubor(vzor, false); }, 53,
       "Nepodařilo se odstranit soubor '" + vzor + "'" + kSouborNenalezen, ""},
      {[&] { PrejmenovatSlozku(sb / "a/", sb / "b/"); }, kChybaUzivatele,
       "Složku " + sb / "a/" + " se nepodařilo přejmenovat.", ""},
      // A folder copy always asks (an unattended run counts as No) and has its own error.
      {[&] { KopirovatSlozku(chybi, sb / "cil"); }, kChybaUzivatele, kopieSlozky,
       "Složku '" + chybi + "/' se nepodařilo zkopírovat do složky '" + sb / "cil" +
           "/'.\r\n\r\nPřejete si opakovat pokus o zkopírování složky?"},
      {[&] {
         test::BezObsluhy bezObsluhy;
         KopirovatSlozku(chybi, sb / "cil");
       },
       kChybaUzivatele, kopieSlozky, ""},
  };
  for (const auto& p : pripady) {
    SCOPED_TRACE(p.zprava);
    ui.zpravy.clear();
    Chyba c = ZachytitChybu(p.operace);
    EXPECT_EQ(c.Cislo(), p.cislo);
    EXPECT_EQ(c.Popis(), p.zprava);
    ASSERT_EQ(ui.zpravy.size(), p.otazka.empty() ? 0u : 1u);
    if (p.otazka.empty()) continue;
    EXPECT_EQ(ui.zpravy[0].text, p.otazka);
    EXPECT_EQ(ui.zpravy[0].styl, test::kStylOtazky);
  }
  EXPECT_EQ(test::CistSoubor(ro), "původní");
  EXPECT_EQ(sb.Cist("a/soubor"), "a");
  EXPECT_EQ(Obsah(sb / "b"), std::vector<std::string>{});
  EXPECT_EQ(ZachytitChybu([&] { NastavitAtributy(chybi, 0); }).Cislo(), 53);

  // Deleting a folder never raises.
  SmazatSlozku(chybi + "/", false);
  EXPECT_TRUE(ui.zpravy.empty());
  SmazatSlozku(chybi + "/", true);  // answered No
  ASSERT_EQ(ui.zpravy.size(), 1u);
  EXPECT_EQ(ui.zpravy[0].text, Otazka("Nepodařilo se odstranit složku '" + chybi +
                                          "/', protože nebyla nalezena cesta. Zřejmě neexistuje "
                                          "zadaný disk nebo cesta.",
                                      "odstranění složky"));
}

TEST_F(Operace, ARetryRepeatsTheFailedStepOnceTheCauseIsGone) {
  const std::string cil = sb / "cil.txt", skryty = sb / ".pozdě.ini";
  struct {
    std::function<void()> oprava, operace;
    std::function<bool()> hotovo;
  } pripady[] = {
      {[&] { ::unlink((sb / "f").c_str()); }, [&] { VytvoritSlozku(sb / "f/y", true); },
       [&] { return ExistujeSlozka(sb / "f/y"); }},
      {[&] { sb.Zapsat("pozdě.txt", "je tu"); },
       [&] { KopirovatSoubor(sb / "pozdě.txt", cil, true); },
       [&] { return test::CistSoubor(cil) == "je tu"; }},
      {[&] { sb.Zapsat("pozdě/soubor", "s"); },
       [&] { EXPECT_TRUE(KopirovatSlozku(sb / "pozdě", sb / "kopie")); },
       [&] { return sb.Cist("kopie/soubor") == "s"; }},
      // The file appears hidden and read-only only when the user is asked.
      {[&] { ::chmod(sb.Zapsat(".pozdě.ini", "x").c_str(), 0444); },
       [&] { SmazatSoubor(skryty, true); }, [&] { return !Existuje(skryty); }},
  };
  sb.Zapsat("f", "soubor v cestě");
  for (auto& p : pripady) {
    ui.zpravy.clear();
    ui.oprava = p.oprava;
    ui.odpovedi = {mb::kIdAno};
    p.operace();
    EXPECT_TRUE(p.hotovo());
    EXPECT_EQ(ui.zpravy.size(), 1u);
  }
}

TEST_F(Operace, FileOperationsCopyWholeWithTheSourceTimeAndDeleteByPattern) {
  std::string zdroj = sb.Zapsat("zdroj.dat", "nový obsah");
  std::string cil = sb.Zapsat("cil.dat", "starý obsah, delší než nový");
  test::NastavitCas(zdroj, 1'000'000'000, 123'456'789);
  KopirovatSoubor(zdroj, cil, true);
  EXPECT_EQ(test::CistSoubor(cil), "nový obsah");
  EXPECT_EQ(Stav(cil).st_mtim.tv_sec, 1'000'000'000);
  EXPECT_EQ(Stav(cil).st_mtim.tv_nsec, 123'456'789);
  EXPECT_EQ(Obsah(sb.Cesta()), (std::vector<std::string>{"cil.dat", "zdroj.dat"}));

  sb.Zapsat("t/a.tmp", "a");
  sb.Zapsat("t/B.TMP", "b");
  sb.Zapsat("t/README", "r");
  std::string c = sb.Zapsat("t/c.txt", "c");
  sb.Vytvorit("t/d.tmp");
  ::chmod(c.c_str(), 0440);
  SmazatSoubor(sb / "t/*.tmp", false);
  EXPECT_EQ(Obsah(sb / "t"), (std::vector<std::string>{"README", "c.txt", "d.tmp"}));
  EXPECT_EQ(Stav(c).st_mode & 07777, 0440u);  // attributes of the others untouched
  SmazatSoubor(sb / "t/*.*", false);          // "*.*" also takes names without a dot
  EXPECT_EQ(Obsah(sb / "t"), (std::vector<std::string>{"d.tmp"}));
  EXPECT_TRUE(ui.zpravy.empty());
}

TEST_F(Operace, AttributesMapReadOnlyToTheOwnerWriteBitAndHiddenToADotName) {
  std::string f = sb.Zapsat("f.txt", "x"), h = sb.Zapsat(".h", "x");
  ::chmod(f.c_str(), 0664);
  EXPECT_EQ(CistAtributy(f), atribut::kNormalni);
  EXPECT_EQ(CistAtributy(h), atribut::kSkryty);
  EXPECT_EQ(CistAtributy(sb.Cesta()), atribut::kSlozka);
  NastavitAtributy(f, atribut::kJenProCteni | atribut::kSkryty | atribut::kSystemovy);
  EXPECT_EQ(Stav(f).st_mode & 07777, 0464u);
  EXPECT_EQ(CistAtributy(f), atribut::kJenProCteni);
  NastavitAtributy(f, atribut::kNormalni);
  EXPECT_EQ(Stav(f).st_mode & 07777, 0664u);
}

// Refusals that need an account without the superuser's rights.
class OperaceBezPrav : public Operace {
 protected:
  void SetUp() override { ASSERT_TRUE(test::ZpristupnitSandbox(sb)); }
};

TEST_F(OperaceBezPrav, AReadOnlyFolderRefusesNewFoldersFilesAndCopiesWith70) {
  std::string ro = sb.Vytvorit("ro"), slozka = ro + "/x/y";
  std::string zdroj = sb.Zapsat("z/a.txt", "x"), soubor = sb.Zapsat("ro/soubor.txt", "x");
  test::PredatNeprivilegovanemu(soubor);
  ::chmod(soubor.c_str(), 0444);
  ::chmod(ro.c_str(), 0555);

  std::string zprava = "Nepodařilo se vytvořit složku '" + slozka + kSlozkaOdeprena;
  EXPECT_EQ(test::SpustitNeprivilegovane({"vytvorit-slozku", slozka}).vystup,
            OtazkaAChyba(Otazka(zprava, "vytvoření složky"), "70\n" + zprava));

  zprava = "Nepodařilo se odstranit soubor '" + soubor +
           "', protože byl odepřen přístup k souboru. Soubor je zřejmě otevřen nebo nemáte "
           "oprávnění k jeho odstranění.";
  EXPECT_EQ(test::SpustitNeprivilegovane({"smazat-soubor", soubor}).vystup,
            OtazkaAChyba(Otazka(zprava, "odstranění souboru"), "70\n" + zprava));
  EXPECT_EQ(Stav(soubor).st_mode & 07777, 0644u);  // the cleared read-only attribute stays so

  std::string kopie = ro + "/kopie.txt";
  zprava = Kopie(zdroj, kopie) + kKopieOdeprena;
  EXPECT_EQ(test::SpustitNeprivilegovane({"kopirovat-soubor", zdroj, kopie}).vystup,
            OtazkaAChyba(Otazka(zprava, "zkopírování souboru"), "70\n" + zprava));

  EXPECT_EQ(test::SpustitNeprivilegovane({"kopirovat-slozku", sb / "z", ro}).vystup,
            OtazkaAChyba("Složku '" + sb / "z" + "/' se nepodařilo zkopírovat do složky '" + ro +
                             "/'.\r\n\r\nPřejete si opakovat pokus o zkopírování složky?",
                         "-2147221504\nKopírování složky do umístění " + ro +
                             "/ se nezdařilo. (kód chyby:70)"));
  EXPECT_EQ(Obsah(ro), std::vector<std::string>{"soubor.txt"});
}

// The target is either the old file or the whole new one.
TEST_F(OperaceBezPrav, AFailedCopyLeavesTheTargetAsItWas) {
  std::string slozka = sb.Vytvorit("cil"), cil = sb.Zapsat("cil/data.bin", "stará data");
  test::PredatNeprivilegovanemu(slozka);
  test::PredatNeprivilegovanemu(cil);
  std::string necitelny = sb.Zapsat("tajny.bin", "nesmí se přečíst");
  ::chmod(necitelny.c_str(), 0000);
  auto v = test::SpustitNeprivilegovane({"kopirovat-soubor", necitelny, cil});
  EXPECT_NE(v.vystup.find("\nchyba 70\n"), std::string::npos) << v.vystup;
  EXPECT_EQ(test::CistSoubor(cil), "stará data");

  // A write cut off after 4 KiB (the process's file size limit) in the middle of the copy.
  std::string velky = sb.Zapsat("velky.bin", std::string(1 << 20, 'v'));
  v = test::SpustitNeprivilegovane({"kopirovat-soubor", velky, cil, "4096"});
  EXPECT_NE(
      v.vystup.find("\nchyba 27\n" + Kopie(velky, cil) + ".\r\nChyba: Soubor je příliš velký.\n"),
      std::string::npos)
      << v.vystup;
  EXPECT_EQ(test::CistSoubor(cil), "stará data");
  EXPECT_EQ(Obsah(slozka), (std::vector<std::string>{"data.bin"}));  // no temporary left
}

TEST_F(OperaceBezPrav, SmazatSlozkuGivesItsOwnerBackTheRightsButLeavesForeignContent) {
  std::string s = sb.Vytvorit("u/s");
  for (const char* p : {"u/s/zamceno/f.txt", "u/s/jen_cteni/g.txt"})
    test::PredatNeprivilegovanemu(sb.Zapsat(p, "x"));
  for (const char* p : {"u", "u/s", "u/s/zamceno", "u/s/jen_cteni"})
    test::PredatNeprivilegovanemu(sb / p);
  ::chmod((sb / "u/s/zamceno").c_str(), 0000);
  ::chmod((sb / "u/s/jen_cteni").c_str(), 0555);
  ::chmod(s.c_str(), 0500);
  EXPECT_EQ(test::SpustitNeprivilegovane({"smazat-slozku", s + "/"}).vystup, "ok\n");
  EXPECT_FALSE(Existuje(s));

  if (::geteuid() != 0) GTEST_SKIP() << "needs content owned by another user";
  std::string cizi = sb.Vytvorit("c");
  sb.Zapsat("c/cizi/f.txt", "x");
  test::PredatNeprivilegovanemu(cizi);
  EXPECT_EQ(
      test::SpustitNeprivilegovane({"smazat-slozku", cizi}).vystup,
      "otazka 4148\n" +
          Otazka("Nepodařilo se odstranit složku '" + cizi + kSlozkaOdeprena, "odstranění složky") +
          "\nok\n");
  EXPECT_EQ(sb.Cist("c/cizi/f.txt"), "x");
}

TEST_F(OperaceBezPrav, AMoveAcrossFileSystemsThatFailsLeavesNoPartialTarget) {
  struct stat shm {};
  if (::stat("/dev/shm", &shm) != 0 || shm.st_dev == Stav(sb.Cesta()).st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  std::string zdroj = sb.Vytvorit("u/a");
  for (const char* p : {"u/a/1.txt", "u/a/2.txt"})
    test::PredatNeprivilegovanemu(sb.Zapsat(p, "data"));
  test::PredatNeprivilegovanemu(sb / "u");
  test::PredatNeprivilegovanemu(zdroj);
  std::string tajny = sb.Zapsat("u/a/tajny.txt", "cizí");
  ::chmod(tajny.c_str(), 0000);
  test::CestaJinde jinde("/dev/shm/zevlon-presun-" + std::to_string(::getpid()));

  auto v = test::SpustitNeprivilegovane({"prejmenovat-slozku", zdroj, jinde.cesta});
  EXPECT_EQ(v.vystup, "chyba -2147221504\nSložku " + zdroj + " se nepodařilo přejmenovat.\n");
  EXPECT_FALSE(Existuje(jinde.cesta));
  EXPECT_EQ(sb.Cist("u/a/1.txt"), "data");
  EXPECT_EQ(Stav(tajny).st_size, static_cast<off_t>(std::string("cizí").size()));
}

}  // namespace
}  // namespace zevlon
