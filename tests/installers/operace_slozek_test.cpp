#include "installers/operace_slozek.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "installers/cesty.h"
#include "installers/pomoc_operaci.h"
#include "support/neprivilegovany.h"

namespace zevlon {
namespace {

using test::Existuje;
using test::Stav;
using test::ZachytitChybu;

class OperaceSlozek : public ::testing::Test {
 protected:
  test::Sandbox sb;
  test::OpravujiciUi ui;
};

TEST_F(OperaceSlozek, VytvoritSlozkuCreatesEveryMissingLevel) {
  sb.Vytvorit("x");
  VytvoritSlozku(sb / "x/y/z/", true);
  EXPECT_TRUE(ExistujeSlozka(sb / "x/y/z"));
  VytvoritSlozku(sb / "x/y/z", true);  // already there: nothing to do
  EXPECT_TRUE(ui.zpravy.empty());
}

TEST_F(OperaceSlozek, VytvoritSlozkuRetryRepeatsTheFailedLevelAndGoesOn) {
  std::string slozka = sb / "x/y/z";
  sb.Zapsat("x/y", "soubor v cestě");
  std::string zprava = "Nepodařilo se vytvořit složku '" + slozka +
                       "'.\r\nChyba: Soubor nebo složka tohoto názvu již existuje.";

  Chyba c = ZachytitChybu([&] { VytvoritSlozku(slozka, true); });  // answered No
  EXPECT_EQ(c.Cislo(), 17);
  EXPECT_EQ(c.Popis(), zprava);

  ui.zpravy.clear();
  ui.oprava = [&] { ::unlink((sb / "x/y").c_str()); };
  ui.odpovedi = {mb::kIdAno};
  VytvoritSlozku(slozka, true);
  EXPECT_TRUE(ExistujeSlozka(slozka));
  ASSERT_EQ(ui.zpravy.size(), 1u);
  EXPECT_EQ(ui.zpravy[0].text, zprava + "\r\n\r\nPřejete si opakovat pokus o vytvoření složky?");
  EXPECT_EQ(ui.zpravy[0].styl, test::kStylOtazky);
}

TEST_F(OperaceSlozek, KopirovatSlozkuCopiesTheWholeTreeIntoTheTarget) {
  std::string z = sb.Zapsat("z/a.txt", "nové a");
  sb.Zapsat("z/.skryty", "h");
  std::string hluboky = sb.Zapsat("z/pod/hloubka/b.txt", "b");
  ::chmod(hluboky.c_str(), 0444);
  test::NastavitCas(hluboky, 1'200'000'000, 0);
  ASSERT_EQ(::symlink("pod/hloubka/b.txt", (sb / "z/odkaz").c_str()), 0);
  sb.Zapsat("c/o/a.txt", "staré a");
  sb.Zapsat("c/o/vlastni.txt", "zůstane");

  EXPECT_TRUE(KopirovatSlozku(sb / "z", sb / "c/o"));

  EXPECT_EQ(sb.Cist("c/o/a.txt"), "nové a");
  EXPECT_EQ(sb.Cist("c/o/.skryty"), "h");
  EXPECT_EQ(sb.Cist("c/o/vlastni.txt"), "zůstane");
  EXPECT_EQ(sb.Cist("c/o/pod/hloubka/b.txt"), "b");
  EXPECT_EQ(Stav(sb / "c/o/pod/hloubka/b.txt").st_mtim.tv_sec, 1'200'000'000);
  EXPECT_TRUE(S_ISLNK(Stav(sb / "c/o/odkaz").st_mode));
  EXPECT_EQ(sb.Cist("c/o/odkaz"), "b");
  EXPECT_TRUE(ui.zpravy.empty());

  EXPECT_TRUE(KopirovatSlozku(sb / "z/", sb / "nova/uroven/"));  // missing levels created
  EXPECT_EQ(sb.Cist("nova/uroven/pod/hloubka/b.txt"), "b");
}

TEST_F(OperaceSlozek, KopirovatSlozkuAlwaysAsksAndRaisesItsOwnError) {
  std::string z = sb / "pozdě", c = sb / "cil";
  std::string otazka = "Složku '" + z + "/' se nepodařilo zkopírovat do složky '" + c +
                       "/'.\r\n\r\nPřejete si opakovat pokus o zkopírování složky?";
  Chyba e = ZachytitChybu([&] { KopirovatSlozku(z, c); });
  EXPECT_EQ(e.Cislo(), kChybaUzivatele);
  EXPECT_EQ(e.Popis(), "Kopírování složky do umístění " + c + "/ se nezdařilo. (kód chyby:76)");
  ASSERT_EQ(ui.zpravy.size(), 1u);
  EXPECT_EQ(ui.zpravy[0].text, otazka);
  EXPECT_EQ(ui.zpravy[0].styl, test::kStylOtazky);

  {
    test::BezObsluhy bezObsluhy;  // the question counts as No: the first failure raises
    e = ZachytitChybu([&] { KopirovatSlozku(z, c); });
    EXPECT_EQ(e.Popis(), "Kopírování složky do umístění " + c + "/ se nezdařilo. (kód chyby:76)");
    EXPECT_EQ(ui.zpravy.size(), 1u);
  }

  ui.oprava = [&] { sb.Zapsat("pozdě/soubor", "s"); };
  ui.odpovedi = {mb::kIdAno};
  EXPECT_TRUE(KopirovatSlozku(z, c));
  EXPECT_EQ(sb.Cist("cil/soubor"), "s");
}

TEST_F(OperaceSlozek, PrejmenovatSlozkuMovesButNeverReplacesAFolder) {
  sb.Zapsat("a/soubor", "a");
  sb.Vytvorit("b");  // even an empty folder is not replaced
  std::string zdroj = sb / "a/";
  Chyba c = ZachytitChybu([&] { PrejmenovatSlozku(zdroj, sb / "b/"); });
  EXPECT_EQ(c.Cislo(), kChybaUzivatele);
  EXPECT_EQ(c.Popis(), "Složku " + zdroj + " se nepodařilo přejmenovat.");
  EXPECT_EQ(sb.Cist("a/soubor"), "a");
  EXPECT_TRUE(ExistujeSlozka(sb / "b"));
  EXPECT_FALSE(Existuje(sb / "b/soubor"));
  EXPECT_FALSE(Existuje(sb / "b/a"));

  PrejmenovatSlozku(zdroj, sb / "a_old/");
  EXPECT_EQ(sb.Cist("a_old/soubor"), "a");
  EXPECT_FALSE(Existuje(sb / "a"));
  EXPECT_TRUE(ui.zpravy.empty());
}

TEST_F(OperaceSlozek, SmazatSlozkuNeverRaises) {
  std::string chybi = sb / "chybi/";
  SmazatSlozku(chybi, false);
  EXPECT_TRUE(ui.zpravy.empty());

  SmazatSlozku(chybi, true);  // answered No
  ASSERT_EQ(ui.zpravy.size(), 1u);
  EXPECT_EQ(ui.zpravy[0].text, "Nepodařilo se odstranit složku '" + chybi +
                                   "', protože nebyla nalezena cesta. Zřejmě neexistuje zadaný "
                                   "disk nebo cesta.\r\n\r\nPřejete si opakovat pokus o "
                                   "odstranění složky?");
}

TEST_F(OperaceSlozek, SmazatSlozkuRemovesReadOnlyContentButNothingBehindLinks) {
  std::string venku = sb.Zapsat("venku/cenny.txt", "zůstane");
  std::string f = sb.Zapsat("s/ro/hluboko/f.txt", "x");
  ::chmod(f.c_str(), 0444);
  ::chmod((sb / "s/ro/hluboko").c_str(), 0555);
  ::chmod((sb / "s/ro").c_str(), 0000);
  ASSERT_EQ(::symlink((sb / "venku").c_str(), (sb / "s/odkaz").c_str()), 0);

  SmazatSlozku(sb / "s/", false);
  EXPECT_FALSE(Existuje(sb / "s"));
  EXPECT_EQ(test::CistSoubor(venku), "zůstane");
}

// Refusals that need an account without the superuser's rights.
class OperaceSlozekBezPrav : public OperaceSlozek {
 protected:
  void SetUp() override { ASSERT_TRUE(test::ZpristupnitSandbox(sb)); }
};

TEST_F(OperaceSlozekBezPrav, VytvoritSlozkuUnderAReadOnlyFolderIsRefusedWith70) {
  std::string slozka = sb.Vytvorit("ro") + "/x/y";
  ::chmod((sb / "ro").c_str(), 0555);
  auto v = test::SpustitNeprivilegovane({"vytvorit-slozku", slozka});
  std::string zprava = "Nepodařilo se vytvořit složku '" + slozka +
                       "', protože byl odepřen přístup. Zřejmě nemáte oprávnění k vytváření "
                       "složek.";
  EXPECT_EQ(v.vystup, "otazka 4148\n" + zprava +
                          "\r\n\r\nPřejete si opakovat pokus o vytvoření složky?\nchyba 70\n" +
                          zprava + "\n");
  EXPECT_FALSE(Existuje(sb / "ro/x"));
}

TEST_F(OperaceSlozekBezPrav, SmazatSlozkuGivesItsOwnerBackTheRightsToLockedFolders) {
  std::string s = sb.Vytvorit("u/s");
  for (const char* p : {"u/s/zamceno/f.txt", "u/s/jen_cteni/g.txt"})
    test::PredatNeprivilegovanemu(sb.Zapsat(p, "x"));
  for (const char* p : {"u", "u/s", "u/s/zamceno", "u/s/jen_cteni"})
    test::PredatNeprivilegovanemu(sb / p);
  ::chmod((sb / "u/s/zamceno").c_str(), 0000);
  ::chmod((sb / "u/s/jen_cteni").c_str(), 0555);
  ::chmod(s.c_str(), 0500);
  auto v = test::SpustitNeprivilegovane({"smazat-slozku", s + "/"});
  EXPECT_EQ(v.vystup, "ok\n");
  EXPECT_FALSE(Existuje(s));
}

TEST_F(OperaceSlozekBezPrav, SmazatSlozkuOfForeignContentAsksThenGivesUp) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs content owned by another user";
  std::string s = sb.Vytvorit("s");
  sb.Zapsat("s/cizi/f.txt", "x");
  test::PredatNeprivilegovanemu(s);
  auto v = test::SpustitNeprivilegovane({"smazat-slozku", s});
  EXPECT_EQ(v.vystup, "otazka 4148\nNepodařilo se odstranit složku '" + s +
                          "', protože byl odepřen přístup. Zřejmě nemáte oprávnění k vytváření "
                          "složek.\r\n\r\nPřejete si opakovat pokus o odstranění složky?\nok\n");
  EXPECT_EQ(sb.Cist("s/cizi/f.txt"), "x");
}

TEST_F(OperaceSlozekBezPrav, AMoveAcrossFileSystemsThatFailsLeavesNoPartialTarget) {
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
  const std::string& cil = jinde.cesta;

  auto v = test::SpustitNeprivilegovane({"prejmenovat-slozku", zdroj, cil});
  EXPECT_EQ(v.vystup, "chyba -2147221504\nSložku " + zdroj + " se nepodařilo přejmenovat.\n");
  EXPECT_FALSE(Existuje(cil));
  EXPECT_EQ(sb.Cist("u/a/1.txt"), "data");
  EXPECT_EQ(Stav(tajny).st_size, static_cast<off_t>(std::string("cizí").size()));
}

TEST_F(OperaceSlozekBezPrav, KopirovatSlozkuIntoAReadOnlyFolderReportsCode70) {
  sb.Zapsat("z/a.txt", "a");
  std::string c = sb.Vytvorit("ro");
  ::chmod(c.c_str(), 0555);
  auto v = test::SpustitNeprivilegovane({"kopirovat-slozku", sb / "z", c});
  EXPECT_EQ(v.vystup, "otazka 4148\nSložku '" + sb / "z" +
                          "/' se nepodařilo zkopírovat do "
                          "složky '" +
                          c +
                          "/'.\r\n\r\nPřejete si opakovat pokus o zkopírování "
                          "složky?\nchyba -2147221504\nKopírování složky do umístění " +
                          c + "/ se nezdařilo. (kód chyby:70)\n");
}

}  // namespace
}  // namespace zevlon
