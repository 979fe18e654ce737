// The update of a profile's setup folder against packages published on loopback, and
// the backup swap it ends with.
#include "installers/aktualizace_profilu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "common/chyba.h"
#include "driver/stav.h"
#include "installers/pomoc_operaci.h"
#include "installers/vymena.h"
#include "support/falesna_platforma.h"
#include "support/http_server.h"
#include "tools/publikace/publikace.h"

namespace zevlon {
namespace {

using test::Existuje;

class ProfilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = s_ / "program/Zevlon";
    platforma_.temp = s_.Vytvorit("temp");
    RezimSystem = true;
    setup_ = s_.Vytvorit("data") + "/Setup/";
    s_.Zapsat("data/Setup/Merko/app.exe", "stara");
    s_.Zapsat("data/Setup/Upravy/Doplnky/Bez/b.dll", "bez serveru");
    s_.Zapsat("data/Setup/Upravy/Doplnky/Fakt/f.dll", "stara fakturace");
    s_.Zapsat("zdroj/Fakt/f.dll", "nova fakturace");
    publikace::PublikovatSlozku(s_ / "zdroj/Fakt/", s_ / "web/Fakt/");
  }
  void TearDown() override {
    RezimSystem = false;
    DocasneSlozky.clear();
  }

  // The release information; with a customisation name, the add-on has its own server.
  std::string Ini(const std::string& upravy = "", const std::string& dalsi = "") {
    std::string ini = "[Merko]\r\nRelease=20141231\r\nUrl=" + server_.Adresa() + "/\r\n" + dalsi;
    if (!upravy.empty())
      ini += "[" + upravy + "\\Doplnky\\Fakt\\]\r\nUrl=" + server_.Adresa() + "/Fakt/\r\n";
    return s_.Zapsat("download.ini", ini);
  }
  // The setup folder's program is of the release installed.
  void Aktualni(const std::string& setup = "Setup") {
    s_.Zapsat("data/" + setup + "/Merko/Merko.ini", "[Merko]\r\nRelease=20141231\r\n");
  }
  bool Aktualizovat(const std::string& setup, const std::string& ini) {
    return AktualizaceProfilu(s_ / "data/", setup, "20141231", s_ / "temp/", ini, "dwnld_1.8", "");
  }
  std::vector<std::string> Pozadavky() const {
    std::vector<std::string> c;
    for (auto& p : server_.Pozadavky())
      c.push_back(p.cesta);
    return c;
  }
  bool Hlaseno(const std::string& zprava, const std::string& podnadpis = "") const {
    return std::any_of(ui_.hlaseni.begin(), ui_.hlaseni.end(), [&](auto& h) {
      return h.zprava == zprava && (podnadpis.empty() || h.podnadpis == podnadpis);
    });
  }

  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  test::TestHttpServer server_{test::TestHttpServer::SlozkaSouboru(s_ / "web")};
  std::string setup_;
};

TEST_F(ProfilTest, CurrentSetupKeepsItsProgramAndItemsWithFilesInPlace) {
  Aktualni();
  EXPECT_TRUE(Aktualizovat(setup_, Ini("Upravy")));
  EXPECT_TRUE(Pozadavky().empty());  // the add-on's address is dropped
  EXPECT_TRUE(Hlaseno("Instalační složka je aktuální", "Příprava aktualizace"));
  EXPECT_TRUE(Hlaseno("Dokončeno"));
  EXPECT_EQ(ui_.minimalizovano, 0);
  EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/Fakt/f.dll"), "stara fakturace");
  EXPECT_FALSE(Existuje(setup_ + "Merko_old"));
  EXPECT_FALSE(Existuje(setup_ + "Upravy_old"));
  // The copy was built, never swapped in, and is left for the end of the run to delete.
  EXPECT_EQ(s_.Cist("data/Setup/Upravydwnld_1.8/Doplnky/Bez/b.dll"), "bez serveru");
  EXPECT_NE(std::find(DocasneSlozky.begin(), DocasneSlozky.end(), setup_ + "Upravydwnld_1.8/"),
            DocasneSlozky.end());
}

TEST_F(ProfilTest, RenewedItemSwapsTheCustomisationAndUnknownItemsAreCarriedOver) {
  Aktualni();
  // A current setup keeps an item with files; this one has only a subfolder left.
  s_.Vytvorit("data/Setup/Upravy/Doplnky/Fakt/prazdna");
  std::remove((setup_ + "Upravy/Doplnky/Fakt/f.dll").c_str());
  EXPECT_TRUE(Aktualizovat(setup_, Ini("Upravy")));
  EXPECT_EQ(Pozadavky(),
            (std::vector<std::string>{"/Fakt/master.snapshot.zip", "/Fakt/f.dll.zip"}));
  EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/Fakt/f.dll"), "nova fakturace");
  EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/Bez/b.dll"), "bez serveru");
  EXPECT_EQ(s_.Cist("data/Setup/Upravy_old/Doplnky/Bez/b.dll"), "bez serveru");
  EXPECT_TRUE(Hlaseno("../Setup/Upravy_old"));

  // A hidden file counts as a file in place: the address is dropped.
  std::remove((setup_ + "Upravy/Doplnky/Fakt/f.dll").c_str());
  s_.Zapsat("data/Setup/Upravy/Doplnky/Fakt/.skryty", "x");
  EXPECT_TRUE(Aktualizovat(setup_, Ini("Upravy")));
  EXPECT_EQ(Pozadavky().size(), 2u);
}

TEST_F(ProfilTest, Setup14ItemsReadSectionsOfUpravy14) {
  Aktualni("Setup14");
  s_.Vytvorit("data/Setup14/Upravy/Doplnky/Fakt/jen_slozka");
  std::string ini = Ini("Upravy14", "[Upravy\\Doplnky\\Fakt\\]\r\nUrl=http://spatne.invalid/\r\n");
  EXPECT_TRUE(Aktualizovat(s_ / "data/Setup14/", ini));
  EXPECT_EQ(s_.Cist("data/Setup14/Upravy/Doplnky/Fakt/f.dll"), "nova fakturace");
}

TEST_F(ProfilTest, NoCustomisationStillReportsCopyingAndDone) {
  Aktualni();
  std::filesystem::remove_all(setup_ + "Upravy");
  EXPECT_TRUE(Aktualizovat(setup_, Ini()));
  EXPECT_TRUE(Hlaseno("", "Kopírování nových souborů"));
  EXPECT_TRUE(Hlaseno("Dokončeno"));
  EXPECT_FALSE(Existuje(setup_ + "Upravydwnld_1.8"));
}

TEST_F(ProfilTest, OutdatedSetupIsRebuiltMinimisedAndAMissingNewProgramFolderStopsTheSwap) {
  // A package without any Merko/ files: nothing to put in the live folder's place.
  s_.Zapsat("zdroj/Setup/Setup.exe", "instalator");
  publikace::PublikovatSlozku(s_ / "zdroj/Setup/", s_ / "web/Setup/");
  EXPECT_THROW(Aktualizovat(setup_, Ini()), Chyba);
  EXPECT_EQ(Pozadavky(),
            (std::vector<std::string>{"/Setup/master.snapshot.zip", "/Setup/Setup.exe.zip"}));
  EXPECT_EQ(ui_.minimalizovano, 1);
  EXPECT_EQ(s_.Cist("data/Setup/Merko/app.exe"), "stara");
  EXPECT_FALSE(Existuje(setup_ + "Merko_old"));
}

class Vymena : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = s_.Vytvorit("program") + "/Zevlon";
    s_.Zapsat("Setup/Merko/app.exe", "stara");
    s_.Zapsat("Setup/Merkodwnld_1.8/Merko/app.exe", "nova");
  }
  void Vymenit(const std::string& zivy, const std::string& novy = "Merkodwnld_1.8/Merko") {
    VymenitSeZalohou(s_ / ("Setup/" + zivy + "/"), s_ / ("Setup/" + zivy + "_old/"),
                     s_ / ("Setup/" + novy + "/"));
  }
  test::Strom Setup() const { return test::CistStrom(s_ / "Setup"); }

  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
};

TEST_F(Vymena, NewContentTakesThePlaceAndTheOldOneBecomesTheOnlyBackup) {
  s_.Zapsat("Setup/Merko_old/predchozi.txt", "x");
  Vymenit("Merko");
  // Without a live folder the new one is simply moved in.
  s_.Zapsat("Setup/novy/app.exe", "nova");
  Vymenit("Upravy", "novy");
  EXPECT_EQ(Setup(), (test::Strom{{"Merko/app.exe", "nova"},
                                  {"Merko_old/app.exe", "stara"},
                                  {"Upravy/app.exe", "nova"}}));
}

TEST_F(Vymena, MissingNewFolderOrAStuckBackupLeaveTheLiveFolderAlone) {
  EXPECT_THROW(Vymenit("Merko", "neni"), Chyba);
  EXPECT_EQ(s_.Cist("Setup/Merko/app.exe"), "stara");
  // A file where the backup should go cannot be deleted as a folder.
  s_.Zapsat("Setup/Merko_old", "soubor, ne slozka");
  EXPECT_THROW(Vymenit("Merko"), Chyba);
  EXPECT_EQ(s_.Cist("Setup/Merko/app.exe"), "stara");
}

TEST_F(Vymena, InterruptedSwapIsRepairedAndLeftoversRemoved) {
  // Killed between the two renames of a file system that cannot exchange.
  std::rename((s_ / "Setup/Merko").c_str(), (s_ / "Setup/Merko_old").c_str());
  EXPECT_TRUE(ObnovitPrerusenouVymenu(s_ / "Setup/Merko/", s_ / "Setup/Merko_old/"));
  EXPECT_NE(s_.Cist("program/online_errors.log").find("byla obnovena ze zálohy"),
            std::string::npos);
  EXPECT_FALSE(ObnovitPrerusenouVymenu(s_ / "Setup/Merko/", s_ / "Setup/Merko_old/"));

  s_.Zapsat("Setup/Upravydwnld_2.8/x", "x");
  s_.Zapsat("Setup/Jine/x", "x");
  SmazatZbytkyBehu(s_ / "Setup/", "Merko");
  SmazatZbytkyBehu(s_ / "Setup/", "Upravy");
  EXPECT_EQ(Setup(), (test::Strom{{"Jine/x", "x"}, {"Merko/app.exe", "stara"}}));
}

}  // namespace
}  // namespace zevlon
