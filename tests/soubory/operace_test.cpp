// The file and folder operations on real files: what they do, a failure sentence and
// retry question per operation, and the refusals that only an account without the
// superuser's rights meets (run through the helper program, which answers No).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>

#include "soubory/cesty.h"
#include "soubory/operace_slozek.h"
#include "soubory/operace_souboru.h"
#include "soubory/pomoc_operaci.h"
#include "soubory/zamky_slozek.h"
#include "support/falesna_platforma.h"
#include "support/neprivilegovany.h"

namespace zevlon {
namespace {

using namespace test;

std::string Kopie(const std::string& zdroj, const std::string& cil) {
  return "Nepodařilo se zkopírovat soubor z '" + zdroj + "' do '" + cil + "'";
}
std::string Otazka(const std::string& zprava, const std::string& pokus) {
  return zprava + "\r\n\r\nPřejete si opakovat pokus o " + pokus + "?";
}

class Operace : public ::testing::Test {
 protected:
  Sandbox sb;
  OpravujiciUi ui;
};

TEST_F(Operace, FolderCopyMergesAndDeletingTakesLockedContentButNothingBehindALink) {
  for (auto [c, o] :
       {std::pair{"z/a", "nové a"}, {"z/.h", "h"}, {"c/a", "staré"}, {"c/v", "zůstane"}})
    sb.Zapsat(c, o);
  NastavitCas(sb.Zapsat("z/pod/b", "b"), 1'200'000'000, 0);
  ASSERT_EQ(::symlink("pod/b", (sb / "z/odkaz").c_str()), 0);
  EXPECT_TRUE(KopirovatSlozku(sb / "z", sb / "c"));
  const Strom kopie{{".h", "h"}, {"a", "nové a"}, {"odkaz", "b"}, {"pod/b", "b"}, {"v", "zůstane"}};
  EXPECT_EQ(CistStrom(sb / "c"), kopie);
  EXPECT_EQ(Stav(sb / "c/pod/b").st_mtim.tv_sec, 1'200'000'000);
  EXPECT_TRUE(S_ISLNK(Stav(sb / "c/odkaz").st_mode));

  ::chmod((sb / "z/pod").c_str(), 0000);
  ASSERT_EQ(::symlink((sb / "c").c_str(), (sb / "z/ven").c_str()), 0);
  SmazatSlozku(sb / "z/", false);
  EXPECT_FALSE(Existuje(sb / "z"));
  EXPECT_EQ(CistStrom(sb / "c"), kopie);
}

// A folder that cannot be removed (here a mount point inside it) stays, and is said in
// Zevlon.log: the run goes on, but what it left behind is not left unsaid.
TEST_F(Operace, AFolderThatCannotBeRemovedIsSaidInTheLog) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root mounts";
  FalesnaPlatforma platforma;
  platforma.logy = sb.Vytvorit("logy");
  const std::string bod = sb.Vytvorit("z/bod");
  if (Spustit({"/usr/bin/mount", "--bind", bod, bod}).kod != 0)
    GTEST_SKIP() << "no bind mounts on this machine";
  SmazatSlozku(sb / "z/", false);
  Spustit({"/usr/bin/umount", bod});
  EXPECT_TRUE(Existuje(bod));
  EXPECT_NE(sb.Cist("logy/Zevlon.log").find("Nepodařilo se odstranit složku '" + (sb / "z/") + "'"),
            std::string::npos);
}

// A folder's lock lies beside it: one holder at a time (a folder named twice is locked
// once), the next waits and stops with the usual message; a lock file laid as a link or
// open to others, and a parent that others may write, are refused.
TEST_F(Operace, AFoldersLockHasOneHolderAndIsNeverTakenThroughALinkOrAFileOpenToOthers) {
  using std::chrono::milliseconds;
  const std::string p = sb.Vytvorit("p"), setup = sb.Vytvorit("p/Setup");
  ::chmod(p.c_str(), 0755);
  const std::string zamek = SouborZamkuSlozky(setup + "/");
  auto zamknout = [](ZamkySlozek& z, const std::vector<std::string>& slozky) {
    try {
      z.Zamknout(slozky, milliseconds(200));
      return std::string();
    } catch (const std::exception& e) {
      return JakoChyba(e).Popis();
    }
  };
  {
    ZamkySlozek a, b;
    EXPECT_EQ(zamknout(a, {setup + "/", p + "/SetupCommon/", setup}), "");
    EXPECT_EQ(Stav(zamek).st_mode & 07777, 0600u);
    EXPECT_EQ(zamknout(b, {p + "/SetupCommon", setup}), kUzBezi);
  }
  ZamkySlozek c;
  EXPECT_EQ(zamknout(c, {setup}), "");

  const struct {
    const char* popis;
    std::function<void()> zmena, navrat;
  } pripady[] = {
      {"a link", [&] { ::unlink(zamek.c_str()), ::symlink("jinam", zamek.c_str()); },
       [&] { ::unlink(zamek.c_str()); }},
      {"open to others", [&] { ::chmod(zamek.c_str(), 0644); }, [&] { ::unlink(zamek.c_str()); }},
      {"a parent others may write", [&] { ::chmod(p.c_str(), 0775); },
       [&] { ::chmod(p.c_str(), 0755); }},
  };
  for (const auto& pr : pripady) {
    SCOPED_TRACE(pr.popis);
    ZamkySlozek d;
    ::close(::open(zamek.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    pr.zmena();
    EXPECT_NE(zamknout(d, {setup}).find("Složku " + setup + " nelze bezpečně zamknout"),
              std::string::npos);
    pr.navrat();
  }
}

// A move is one rename within a file system; onto an existing file, or across file
// systems, it is a copy over the target (its time kept) and the source goes.
TEST_F(Operace, AMoveRenamesWhereItCanElseCopiesOverTheTargetAndDeletesTheSource) {
  sb.Vytvorit("c");
  const std::string a = sb.Zapsat("t/a.dll", "nové a");
  NastavitCas(a, 1'200'000'000, 0);
  const ino_t inode = Stav(a).st_ino;
  PresunoutSoubor(a, sb / "c/a.dll", false);
  EXPECT_EQ(Stav(sb / "c/a.dll").st_ino, inode);

  const std::string b = sb.Zapsat("t/b.dll", "nové b");
  NastavitCas(b, 1'200'000'000, 0);
  sb.Zapsat("c/b.dll", "staré b");
  PresunoutSoubor(b, sb / "c/b.dll", false);
  EXPECT_EQ(CistStrom(sb / "t"), Strom{});
  EXPECT_EQ(CistStrom(sb / "c"), (Strom{{"a.dll", "nové a"}, {"b.dll", "nové b"}}));
  EXPECT_EQ(Stav(sb / "c/b.dll").st_mtim.tv_sec, 1'200'000'000);

  CestaJinde jinde{"/dev/shm/zevlon-presun-" + std::to_string(::getpid())};
  if (::mkdir(jinde.cesta.c_str(), 0700) != 0 ||
      Stav(jinde.cesta).st_dev == Stav(sb.Cesta()).st_dev)
    return;  // no second file system here
  const std::string d = jinde.cesta + "/d.dll";
  ZapsatSoubor(d, "nové d");
  NastavitCas(d, 1'200'000'000, 0);
  PresunoutSoubor(d, sb / "c/d.dll", false);
  EXPECT_FALSE(Existuje(d));
  EXPECT_EQ(sb.Cist("c/d.dll"), "nové d");
  EXPECT_EQ(Stav(sb / "c/d.dll").st_mtim.tv_sec, 1'200'000'000);
}

TEST_F(Operace, FailuresRaiseTheirCodeAndSentenceAfterARetryQuestionAnsweredNo) {
  std::string z = sb.Zapsat("z.txt", "z"), ro = sb.Zapsat("ro.txt", "původní");
  ::chmod(ro.c_str(), 0444);
  sb.Zapsat("a/soubor", "a");
  sb.Vytvorit("b");  // even an empty folder is not replaced by a move
  const std::string chybi = sb / "chybi", nenalezen = Kopie(chybi, z) +
                                                      ", protože nebyl nalezen soubor. Soubor "
                                                      "daného názvu zřejmě neexistuje.";
  struct {
    std::function<void()> operace;
    std::int32_t cislo;
    std::string zprava, otazka;  // no question when empty
  } pripady[] = {
      {[&] { KopirovatSoubor(chybi, z, true); }, 53, nenalezen,
       Otazka(nenalezen, "zkopírování souboru")},
      // A read-only target is refused even for the superuser.
      {[&] { KopirovatSoubor(z, ro, false); }, 70,
       Kopie(z, ro) + ", protože byl odepřen přístup k souboru. Soubor je zřejmě otevřen nebo k "
                      "němu nemáte oprávnění.",
       ""},
      {[&] { PrejmenovatSlozku(sb / "a/", sb / "b/"); }, kChybaUzivatele,
       "Složku " + sb / "a/" + " se nepodařilo přejmenovat.", ""},
      {[&] { KopirovatSlozku(chybi, sb / "cil"); }, kChybaUzivatele,
       "Kopírování složky do umístění " + sb / "cil/" + " se nezdařilo. (kód chyby:76)",
       "Složku '" + chybi + "/' se nepodařilo zkopírovat do složky '" + sb / "cil" +
           "/'.\r\n\r\nPřejete si opakovat pokus o zkopírování složky?"},
  };
  for (const auto& p : pripady) {
    SCOPED_TRACE(p.zprava);
    ui.zpravy.clear();
    Chyba c = ZachytitChybu(p.operace);
    EXPECT_EQ(c.Cislo(), p.cislo);
    EXPECT_EQ(c.Popis(), p.zprava);
    ASSERT_EQ(ui.zpravy.size(), p.otazka.empty() ? 0u : 1u);
    EXPECT_EQ(ui.zpravy.empty() ? "" : ui.zpravy[0].text, p.otazka);
  }
  EXPECT_EQ(CistSoubor(ro), "původní");
  EXPECT_EQ(sb.Cist("a/soubor"), "a");
  EXPECT_TRUE(std::filesystem::is_empty(sb / "b"));
}

TEST_F(Operace, ARetryRepeatsTheFailedStepOnceTheCauseIsGone) {
  // The file appears hidden and read-only only when the user is asked.
  ui.oprava = [&] { ::chmod(sb.Zapsat(".pozdě.ini", "x").c_str(), 0444); };
  ui.odpovedi = {mb::kIdAno};
  SmazatSoubor(sb / ".pozdě.ini", true);
  EXPECT_FALSE(Existuje(sb / ".pozdě.ini"));
  EXPECT_EQ(ui.zpravy.size(), 1u);
}

// Another user plants links in a shared sticky folder (as /tmp is) where this process
// deletes read-only files: the links go, the files they point to keep their modes.
TEST_F(Operace, DeletingALinkPlantedByAnotherUserNeverChangesTheModeOfItsTarget) {
  ASSERT_TRUE(ZpristupnitSandbox(sb));
  const std::string verejna = sb.Vytvorit("verejna"), utocnik = sb.Vytvorit("utocnik");
  ::chmod(verejna.c_str(), 01777);
  PredatNeprivilegovanemu(utocnik);
  const std::string jeho = sb.Zapsat("utocnik/jeho", "útočníkův"), muj = sb.Zapsat("muj", "můj");
  PredatNeprivilegovanemu(jeho);
  ::chmod(jeho.c_str(), 0444);
  ::chmod(muj.c_str(), 0400);
  for (auto [cil, odkaz] :
       {std::pair{jeho, verejna + "/download.ini"}, {muj, verejna + "/x.zip"}}) {
    auto pred = JakoNeprivilegovany();
    pred.insert(pred.end(), {"/bin/ln", "-s", cil, odkaz});
    ASSERT_EQ(Spustit(pred).kod, 0);
    SmazatSoubor(odkaz, false);
    EXPECT_FALSE(Existuje(odkaz));
  }
  EXPECT_EQ(Stav(jeho).st_mode & 07777, 0444u);
  EXPECT_EQ(Stav(muj).st_mode & 07777, 0400u);
  EXPECT_EQ(CistSoubor(jeho), "útočníkův");
}

// Refusals that need an account without the superuser's rights.
class OperaceBezPrav : public Operace {
 protected:
  void SetUp() override { ASSERT_TRUE(ZpristupnitSandbox(sb)); }
};

TEST_F(OperaceBezPrav, AReadOnlyFolderRefusesNewFoldersWith70) {
  std::string ro = sb.Vytvorit("ro"), slozka = ro + "/x/y";
  ::chmod(ro.c_str(), 0555);
  std::string zprava = "Nepodařilo se vytvořit složku '" + slozka +
                       "', protože byl odepřen přístup. Zřejmě nemáte oprávnění k vytváření "
                       "složek.";
  EXPECT_EQ(SpustitNeprivilegovane({"vytvorit-slozku", slozka}).vystup,
            "otazka 4148\n" + Otazka(zprava, "vytvoření složky") + "\nchyba 70\n" + zprava + "\n");
  EXPECT_TRUE(std::filesystem::is_empty(ro));
}

// The target is either the old file or the whole new one.
TEST_F(OperaceBezPrav, AFailedCopyLeavesTheTargetAsItWas) {
  std::string slozka = sb.Vytvorit("cil"), cil = sb.Zapsat("cil/data.bin", "stará data");
  PredatNeprivilegovanemu(slozka);
  PredatNeprivilegovanemu(cil);
  std::string necitelny = sb.Zapsat("tajny.bin", "nesmí se přečíst");
  ::chmod(necitelny.c_str(), 0000);
  auto v = SpustitNeprivilegovane({"kopirovat-soubor", necitelny, cil});
  EXPECT_NE(v.vystup.find("\nchyba 70\n"), std::string::npos) << v.vystup;
  EXPECT_EQ(CistSoubor(cil), "stará data");

  // A write cut off after 4 KiB (the process's file size limit) in the middle of the copy.
  std::string velky = sb.Zapsat("velky.bin", std::string(1 << 20, 'v'));
  v = SpustitNeprivilegovane({"kopirovat-soubor", velky, cil, "4096"});
  EXPECT_NE(
      v.vystup.find("\nchyba 27\n" + Kopie(velky, cil) + ".\r\nChyba: Soubor je příliš velký.\n"),
      std::string::npos)
      << v.vystup;
  EXPECT_EQ(CistStrom(slozka), (Strom{{"data.bin", "stará data"}}));  // no temporary left
}

TEST_F(OperaceBezPrav, AMoveAcrossFileSystemsThatFailsLeavesNoPartialTarget) {
  struct stat shm {};
  if (::stat("/dev/shm", &shm) != 0 || shm.st_dev == Stav(sb.Cesta()).st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  std::string zdroj = sb.Vytvorit("u/a");
  PredatNeprivilegovanemu(sb.Zapsat("u/a/1.txt", "data"));
  PredatNeprivilegovanemu(sb / "u");
  PredatNeprivilegovanemu(zdroj);
  std::string tajny = sb.Zapsat("u/a/tajny.txt", "cizí");
  ::chmod(tajny.c_str(), 0000);
  CestaJinde jinde{"/dev/shm/zevlon-presun-" + std::to_string(::getpid())};
  EXPECT_EQ(SpustitNeprivilegovane({"prejmenovat-slozku", zdroj, jinde.cesta}).vystup,
            "chyba -2147221504\nSložku " + zdroj + " se nepodařilo přejmenovat.\n");
  EXPECT_FALSE(Existuje(jinde.cesta));
  EXPECT_EQ(sb.Cist("u/a/1.txt"), "data");
  EXPECT_EQ(Stav(tajny).st_size, 5);  // "cizí", untouched
}

}  // namespace
}  // namespace zevlon
