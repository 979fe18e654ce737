#include "installers/operace_souboru.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "installers/pomoc_operaci.h"
#include "platform/souborovy_system.h"
#include "support/neprivilegovany.h"

namespace zevlon {
namespace {

using test::Existuje;
using test::Stav;
using test::ZachytitChybu;

std::vector<std::string> Obsah(const std::string& slozka) {
  std::vector<std::string> jmena;
  for (const auto& e : std::filesystem::directory_iterator(slozka))
    jmena.push_back(e.path().filename().string());
  std::sort(jmena.begin(), jmena.end());
  return jmena;
}

const char* const kSouborNenalezen =
    ", protože nebyl nalezen soubor. Soubor daného názvu zřejmě neexistuje.";

class OperaceSouboru : public ::testing::Test {
 protected:
  test::Sandbox sb;
  test::OpravujiciUi ui;
};

TEST_F(OperaceSouboru, KopirovatSouborReplacesTheTargetAndKeepsTheSourceTime) {
  std::string zdroj = sb.Zapsat("zdroj.dat", "nový obsah");
  std::string cil = sb.Zapsat("cil.dat", "starý obsah, delší než nový");
  test::NastavitCas(zdroj, 1'000'000'000, 123'456'789);

  KopirovatSoubor(zdroj, cil, true);

  EXPECT_EQ(test::CistSoubor(cil), "nový obsah");
  EXPECT_EQ(Stav(cil).st_mtim.tv_sec, 1'000'000'000);
  EXPECT_EQ(Stav(cil).st_mtim.tv_nsec, 123'456'789);
  EXPECT_EQ(Obsah(sb.Cesta()), (std::vector<std::string>{"cil.dat", "zdroj.dat"}));
  EXPECT_TRUE(ui.zpravy.empty());
}

TEST_F(OperaceSouboru, KopirovatSouborAsksAndSucceedsWhenTheCauseWasRemoved) {
  std::string zdroj = sb / "pozdě.txt", cil = sb / "cil.txt";
  ui.oprava = [&] { sb.Zapsat("pozdě.txt", "je tu"); };
  ui.odpovedi = {mb::kIdAno};

  KopirovatSoubor(zdroj, cil, true);

  EXPECT_EQ(test::CistSoubor(cil), "je tu");
  ASSERT_EQ(ui.zpravy.size(), 1u);
  EXPECT_EQ(ui.zpravy[0].text, "Nepodařilo se zkopírovat soubor z '" + zdroj + "' do '" + cil +
                                   "'" + kSouborNenalezen +
                                   "\r\n\r\nPřejete si opakovat pokus o zkopírování souboru?");
  EXPECT_EQ(ui.zpravy[0].styl, test::kStylOtazky);
}

TEST_F(OperaceSouboru, KopirovatSouborRaisesTheFailureWhenNotRetried) {
  std::string zdroj = sb.Zapsat("z.txt", "z"), chybi = sb / "chybi.txt";
  Chyba c = ZachytitChybu([&] { KopirovatSoubor(chybi, sb / "c.txt", true); });  // answered No
  EXPECT_EQ(c.Cislo(), 53);
  EXPECT_EQ(c.Popis(), "Nepodařilo se zkopírovat soubor z '" + chybi + "' do '" + sb / "c.txt" +
                           "'" + kSouborNenalezen);
  EXPECT_EQ(ui.zpravy.size(), 1u);

  std::string bezSlozky = sb / "nic/c.txt";
  c = ZachytitChybu([&] { KopirovatSoubor(zdroj, bezSlozky, false); });
  EXPECT_EQ(c.Cislo(), 76);
  EXPECT_EQ(c.Popis(), "Nepodařilo se zkopírovat soubor z '" + zdroj + "' do '" + bezSlozky +
                           "', protože nebyla nalezena cesta. Zřejmě neexistuje zadaná složka.");

  // A read-only target is refused even for the superuser, and stays as it was.
  std::string jenCteni = sb.Zapsat("ro.txt", "původní");
  ::chmod(jenCteni.c_str(), 0444);
  test::BezObsluhy bezObsluhy;
  c = ZachytitChybu([&] { KopirovatSoubor(zdroj, jenCteni, true); });
  EXPECT_EQ(c.Cislo(), 70);
  EXPECT_EQ(c.Popis(), "Nepodařilo se zkopírovat soubor z '" + zdroj + "' do '" + jenCteni +
                           "', protože byl odepřen přístup k souboru. Soubor je zřejmě otevřen "
                           "nebo k němu nemáte oprávnění.");
  EXPECT_EQ(test::CistSoubor(jenCteni), "původní");
  EXPECT_EQ(ui.zpravy.size(), 1u);  // an unattended run asks nothing
}

TEST_F(OperaceSouboru, SmazatSouborDeletesAReadOnlyHiddenFile) {
  std::string f = sb.Zapsat(".skryty.ini", "x");
  ::chmod(f.c_str(), 0444);
  SmazatSoubor(f, false);
  EXPECT_FALSE(Existuje(f));
}

TEST_F(OperaceSouboru, SmazatSouborWithAPatternDeletesEveryMatchAndNothingElse) {
  std::string a = sb.Zapsat("t/a.tmp", "a"), b = sb.Zapsat("t/B.TMP", "b");
  std::string c = sb.Zapsat("t/c.txt", "c"), bezPripony = sb.Zapsat("t/README", "r");
  std::string slozka = sb.Vytvorit("t/d.tmp");
  ::chmod(c.c_str(), 0440);

  SmazatSoubor(sb / "t/*.tmp", false);
  EXPECT_EQ(Obsah(sb / "t"), (std::vector<std::string>{"README", "c.txt", "d.tmp"}));
  EXPECT_EQ(Stav(c).st_mode & 07777, 0440u);  // attributes of the others untouched

  SmazatSoubor(sb / "t/*.*", false);  // "*.*" also takes names without a dot
  EXPECT_EQ(Obsah(sb / "t"), (std::vector<std::string>{"d.tmp"}));

  std::string vzor = sb / "t/*.log";
  Chyba e = ZachytitChybu([&] { SmazatSoubor(vzor, false); });
  EXPECT_EQ(e.Cislo(), 53);
  EXPECT_EQ(e.Popis(), "Nepodařilo se odstranit soubor '" + vzor + "'" + kSouborNenalezen);
}

TEST_F(OperaceSouboru, SmazatSouborRetryRepeatsTheFailedStep) {
  std::string f = sb / ".pozdě.ini";
  ui.oprava = [&] {
    sb.Zapsat(".pozdě.ini", "x");
    ::chmod(f.c_str(), 0444);
  };
  ui.odpovedi = {mb::kIdAno};
  SmazatSoubor(f, true);
  EXPECT_FALSE(Existuje(f));
  ASSERT_EQ(ui.zpravy.size(), 1u);
  EXPECT_EQ(ui.zpravy[0].text, "Nepodařilo se odstranit soubor '" + f + "'" + kSouborNenalezen +
                                   "\r\n\r\nPřejete si opakovat pokus o odstranění souboru?");
}

TEST_F(OperaceSouboru, AttributesMapReadOnlyToTheOwnerWriteBitAndHiddenToADotName) {
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

  Chyba c = ZachytitChybu([&] { NastavitAtributy(sb / "chybi", 0); });
  EXPECT_EQ(c.Cislo(), 53);
}

// Refusals that need an account without the superuser's rights.
class OperaceSouboruBezPrav : public OperaceSouboru {
 protected:
  void SetUp() override { ASSERT_TRUE(test::ZpristupnitSandbox(sb)); }
};

TEST_F(OperaceSouboruBezPrav, SmazatSouborInAReadOnlyFolderIsRefusedWith70) {
  std::string f = sb.Zapsat("ro/soubor.txt", "x");
  test::PredatNeprivilegovanemu(f);
  ::chmod(f.c_str(), 0444);
  ::chmod((sb / "ro").c_str(), 0555);
  auto v = test::SpustitNeprivilegovane({"smazat-soubor", f});
  std::string zprava = "Nepodařilo se odstranit soubor '" + f +
                       "', protože byl odepřen přístup k souboru. Soubor je zřejmě otevřen nebo "
                       "nemáte oprávnění k jeho odstranění.";
  EXPECT_EQ(v.vystup, "otazka 4148\n" + zprava +
                          "\r\n\r\nPřejete si opakovat pokus o odstranění souboru?\nchyba 70\n" +
                          zprava + "\n");
  EXPECT_TRUE(Existuje(f));
  EXPECT_EQ(Stav(f).st_mode & 07777, 0644u);  // the cleared read-only attribute stays cleared
}

TEST_F(OperaceSouboruBezPrav, KopirovatSouborIntoAReadOnlyFolderIsRefusedWith70) {
  std::string zdroj = sb.Zapsat("zdroj.txt", "x");
  std::string cil = sb.Vytvorit("ro") + "/kopie.txt";
  ::chmod((sb / "ro").c_str(), 0555);
  auto v = test::SpustitNeprivilegovane({"kopirovat-soubor", zdroj, cil});
  EXPECT_NE(
      v.vystup.find("\nchyba 70\nNepodařilo se zkopírovat soubor z '" + zdroj + "' do '" + cil +
                    "', protože byl odepřen přístup k souboru. Soubor je zřejmě otevřen "
                    "nebo k němu nemáte oprávnění.\n"),
      std::string::npos)
      << v.vystup;
  EXPECT_TRUE(Obsah(sb / "ro").empty());
}

// The target is either the old file or the whole new one.
TEST_F(OperaceSouboruBezPrav, AFailedCopyLeavesTheTargetAsItWas) {
  std::string slozka = sb.Vytvorit("cil");
  std::string cil = sb.Zapsat("cil/data.bin", "stará data");
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
  EXPECT_NE(v.vystup.find("\nchyba 27\nNepodařilo se zkopírovat soubor z '" + velky + "' do '" +
                          cil + "'.\r\nChyba: Soubor je příliš velký.\n"),
            std::string::npos)
      << v.vystup;
  EXPECT_EQ(test::CistSoubor(cil), "stará data");
  EXPECT_EQ(Obsah(slozka), (std::vector<std::string>{"data.bin"}));  // no temporary left
}

}  // namespace
}  // namespace zevlon
