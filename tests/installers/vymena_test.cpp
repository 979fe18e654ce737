#include "installers/vymena.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "common/chyba.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

class Vymena : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = s_.Vytvorit("program") + "/Zevlon";
    s_.Zapsat("Setup/Merko/app.exe", "stara");
    s_.Zapsat("Setup/Merkodwnld_1.8/Merko/app.exe", "nova");
  }
  Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
};

TEST_F(Vymena, NewContentTakesThePlaceAndTheOldOneBecomesTheBackup) {
  s_.Zapsat("Setup/Merko_old/predchozi.txt", "x");
  VymenitSeZalohou(s_ / "Setup/Merko/", s_ / "Setup/Merko_old/",
                   s_ / "Setup/Merkodwnld_1.8/Merko/");
  EXPECT_EQ(s_.Cist("Setup/Merko/app.exe"), "nova");
  EXPECT_EQ(s_.Cist("Setup/Merko_old/app.exe"), "stara");
  EXPECT_FALSE(test::Existuje(s_ / "Setup/Merko_old/predchozi.txt"));
  EXPECT_FALSE(test::Existuje(s_ / "Setup/Merkodwnld_1.8/Merko"));
}

TEST_F(Vymena, MissingNewFolderOrAStuckBackupLeaveTheLiveFolderAlone) {
  EXPECT_THROW(VymenitSeZalohou(s_ / "Setup/Merko/", s_ / "Setup/Merko_old/", s_ / "Setup/neni/"),
               Chyba);
  EXPECT_EQ(s_.Cist("Setup/Merko/app.exe"), "stara");
  // A file where the backup should go cannot be deleted as a folder.
  s_.Zapsat("Setup/Merko_old", "soubor, ne slozka");
  try {
    VymenitSeZalohou(s_ / "Setup/Merko/", s_ / "Setup/Merko_old/",
                     s_ / "Setup/Merkodwnld_1.8/Merko/");
  } catch (const Chyba&) {
  }
  EXPECT_EQ(s_.Cist("Setup/Merko/app.exe"), "stara");
}

TEST_F(Vymena, WithoutALiveFolderTheNewOneIsSimplyMovedIn) {
  VymenitSeZalohou(s_ / "Setup/Upravy/", s_ / "Setup/Upravy_old/",
                   s_ / "Setup/Merkodwnld_1.8/Merko/");
  EXPECT_EQ(s_.Cist("Setup/Upravy/app.exe"), "nova");
  EXPECT_FALSE(test::Existuje(s_ / "Setup/Upravy_old"));
}

TEST_F(Vymena, InterruptedSwapIsRepairedAndLeftoversRemoved) {
  // Killed between the two renames of a file system that cannot exchange.
  std::rename((s_ / "Setup/Merko").c_str(), (s_ / "Setup/Merko_old").c_str());
  EXPECT_TRUE(ObnovitPrerusenouVymenu(s_ / "Setup/Merko/", s_ / "Setup/Merko_old/"));
  EXPECT_EQ(s_.Cist("Setup/Merko/app.exe"), "stara");
  EXPECT_NE(s_.Cist("program/online_errors.log").find("byla obnovena ze zálohy"),
            std::string::npos);
  EXPECT_FALSE(ObnovitPrerusenouVymenu(s_ / "Setup/Merko/", s_ / "Setup/Merko_old/"));

  s_.Zapsat("Setup/Upravydwnld_2.8/x", "x");
  s_.Zapsat("Setup/Jine/x", "x");
  SmazatZbytkyBehu(s_ / "Setup/", "Merko");
  SmazatZbytkyBehu(s_ / "Setup/", "Upravy");
  EXPECT_FALSE(test::Existuje(s_ / "Setup/Merkodwnld_1.8"));
  EXPECT_FALSE(test::Existuje(s_ / "Setup/Upravydwnld_2.8"));
  EXPECT_TRUE(test::Existuje(s_ / "Setup/Jine/x"));
  EXPECT_TRUE(test::Existuje(s_ / "Setup/Merko/app.exe"));
}

}  // namespace
}  // namespace zevlon
