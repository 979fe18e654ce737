#include "driver/pravo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/falesna_platforma.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

TEST(MaPravoAktualizovat, WritableFolderAnswersTrueAndLeavesNoMarker) {
  Sandbox s;
  std::string slozka = s.Vytvorit("Setup") + "/";
  EXPECT_TRUE(MaPravoAktualizovat(slozka));
  EXPECT_FALSE(test::Existuje(slozka + "~pravo.aktualizovat"));

  // A marker left by an earlier run is replaced and removed.
  s.Zapsat("Setup/~pravo.aktualizovat", "stary");
  EXPECT_TRUE(MaPravoAktualizovat(slozka));
  EXPECT_FALSE(test::Existuje(slozka + "~pravo.aktualizovat"));
}

TEST(MaPravoAktualizovat, MissingFolderAnswersFalse) {
  Sandbox s;
  EXPECT_FALSE(MaPravoAktualizovat(s / "neni/"));
}

TEST(MaPravoAktualizovat, MarkerLinkIsNeverFollowed) {
  Sandbox s;
  std::string slozka = s.Vytvorit("Setup") + "/";
  std::string cizi = s.Zapsat("cizi.txt", "nedotknutelne");
  ASSERT_EQ(::symlink(cizi.c_str(), (slozka + "~pravo.aktualizovat").c_str()), 0);
  EXPECT_TRUE(MaPravoAktualizovat(slozka));
  EXPECT_EQ(s.Cist("cizi.txt"), "nedotknutelne");
  EXPECT_FALSE(test::Existuje(slozka + "~pravo.aktualizovat"));
}

TEST(MaPravoAktualizovat, FolderWithoutWriteRightAnswersFalse) {
  Sandbox s;
  ::chmod(s.Cesta().c_str(), 0755);
  std::string slozka = s.Vytvorit("Setup");
  ::chmod(slozka.c_str(), 0555);
  auto v = test::SpustitNeprivilegovane({"pravo", slozka + "/"});
  EXPECT_EQ(v.vystup, "0\n");
  EXPECT_FALSE(test::Existuje(slozka + "/~pravo.aktualizovat"));

  // The same folder made writable for that user answers true: the refusal above
  // came from the rights, not from the helper.
  test::PredatNeprivilegovanemu(slozka);
  ::chmod(slozka.c_str(), 0755);
  EXPECT_EQ(test::SpustitNeprivilegovane({"pravo", slozka + "/"}).vystup, "1\n");
}

TEST(MaPravoAktualizovat, LeftoverMarkerThatCannotBeDeletedAnswersFalse) {
  Sandbox s;
  ::chmod(s.Cesta().c_str(), 0755);
  std::string slozka = s.Vytvorit("Setup");
  // A sticky folder everybody may write, holding a marker owned by somebody else.
  ::chmod(slozka.c_str(), 01777);
  std::string znacka = s.Zapsat("Setup/~pravo.aktualizovat", "cizi");
  if (::geteuid() != 0) GTEST_SKIP() << "needs a second user to own the marker";
  EXPECT_EQ(test::SpustitNeprivilegovane({"pravo", slozka + "/"}).vystup, "0\n");
  EXPECT_EQ(s.Cist("Setup/~pravo.aktualizovat"), "cizi");
}

TEST(JmenoUzivatele, EmptyOrNulPaddedNamesAreCleanedUp) {
  test::FalesnaPlatforma p;
  p.uzivatel = std::string(" Jana \0xyz", 10);
  EXPECT_EQ(JmenoUzivatele(), "Jana");
  p.uzivatel = "";
  EXPECT_EQ(JmenoUzivatele(), "Beze jména");
  p.pocitac = "  ";
  EXPECT_EQ(JmenoPocitace(), "Beze jména");
  p.pocitac = "stanice-7";
  EXPECT_EQ(JmenoPocitace(), "stanice-7");
}

TEST(JmenoUzivatele, SuperuserWithoutTerminalAndDisplayIsTheSystemAccount) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser";
  auto cron = test::SpustitPomocnika({"uzivatel"}, {"DISPLAY=", "WAYLAND_DISPLAY="});
  EXPECT_EQ(cron.vystup, "System\n");
  auto plocha = test::SpustitPomocnika({"uzivatel"}, {"DISPLAY=:0"});
  EXPECT_EQ(plocha.vystup, "root\n");
  auto nikdo = test::SpustitNeprivilegovane({"uzivatel"}, {"DISPLAY=", "WAYLAND_DISPLAY="});
  EXPECT_EQ(nikdo.vystup, "nobody\n");
}

}  // namespace
}  // namespace zevlon
