#include "installers/aktualizace_profilu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "common/chyba.h"
#include "driver/stav.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/http_server.h"
#include "support/sandbox.h"
#include "tools/publikace/publikace.h"

namespace zevlon {
namespace {

using test::Sandbox;
using test::TestHttpServer;

class ProfilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = s_ / "program/Zevlon";
    platforma_.temp = s_.Vytvorit("temp");
    RezimSystem = true;
    DocasneSlozky.clear();
    profil_ = s_.Vytvorit("data") + "/";
    setup_ = profil_ + "Setup/";
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
  std::string Ini(const std::string& dalsi) {
    return s_.Zapsat("download.ini",
                     "[Merko]\r\nRelease=20141231\r\nUrl=" + server_.Adresa() + "/\r\n" + dalsi);
  }
  bool Aktualizovat(const std::string& setup, const std::string& ini,
                    const std::string& sdilena = "") {
    return AktualizaceProfilu(profil_, setup, "20141231", s_ / "temp/", ini, "dwnld_1.8", sdilena);
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

  Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  TestHttpServer server_{TestHttpServer::SlozkaSouboru(s_ / "web")};
  std::string profil_, setup_;
};

TEST_F(ProfilTest, CurrentSetupKeepsItsProgramAndDropsAddressesOfItemsInPlace) {
  s_.Zapsat("data/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20141231\r\n");
  std::string ini = Ini("[Upravy\\Doplnky\\Fakt\\]\r\nUrl=" + server_.Adresa() + "/Fakt/\r\n");
  EXPECT_TRUE(Aktualizovat(setup_, ini));
  EXPECT_TRUE(Pozadavky().empty());
  EXPECT_TRUE(Hlaseno("Instalační složka je aktuální", "Příprava aktualizace"));
  EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/Fakt/f.dll"), "stara fakturace");
  EXPECT_FALSE(test::Existuje(setup_ + "Merko_old"));
  EXPECT_FALSE(test::Existuje(setup_ + "Upravy_old"));
  EXPECT_EQ(ui_.minimalizovano, 0);
  EXPECT_TRUE(Hlaseno("Dokončeno"));
}

TEST_F(ProfilTest, RenewedItemSwapsTheCustomisationAndUnknownItemsAreCarriedOver) {
  std::string ini = Ini("[Upravy\\Doplnky\\Fakt\\]\r\nUrl=" + server_.Adresa() + "/Fakt/\r\n");
  s_.Zapsat("data/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20141231\r\n");
  // A current setup keeps an item with files; this one has only a subfolder left.
  s_.Vytvorit("data/Setup/Upravy/Doplnky/Fakt/prazdna");
  std::remove((setup_ + "Upravy/Doplnky/Fakt/f.dll").c_str());
  EXPECT_TRUE(Aktualizovat(setup_, ini));
  EXPECT_EQ(Pozadavky(),
            (std::vector<std::string>{"/Fakt/master.snapshot.zip", "/Fakt/f.dll.zip"}));
  EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/Fakt/f.dll"), "nova fakturace");
  EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/Bez/b.dll"), "bez serveru");
  EXPECT_EQ(s_.Cist("data/Setup/Upravy_old/Doplnky/Bez/b.dll"), "bez serveru");
  EXPECT_TRUE(Hlaseno("../Setup/Upravy_old"));

  // A hidden file counts as a file in place: the address is dropped.
  std::remove((setup_ + "Upravy/Doplnky/Fakt/f.dll").c_str());
  s_.Zapsat("data/Setup/Upravy/Doplnky/Fakt/.skryty", "x");
  std::size_t pred = Pozadavky().size();
  EXPECT_TRUE(Aktualizovat(setup_, ini));
  EXPECT_EQ(Pozadavky().size(), pred);
}

TEST_F(ProfilTest, ItemsWithoutAnyServerAreNeverSwappedIn) {
  s_.Zapsat("data/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20141231\r\n");
  EXPECT_TRUE(Aktualizovat(setup_, Ini("")));
  EXPECT_FALSE(test::Existuje(setup_ + "Upravy_old"));
  // The copy was built and is left for the end of the run to delete.
  EXPECT_EQ(s_.Cist("data/Setup/Upravydwnld_1.8/Doplnky/Bez/b.dll"), "bez serveru");
  EXPECT_NE(std::find(DocasneSlozky.begin(), DocasneSlozky.end(), setup_ + "Upravydwnld_1.8/"),
            DocasneSlozky.end());
}

TEST_F(ProfilTest, Setup14ItemsReadSectionsOfUpravy14) {
  s_.Zapsat("data/Setup14/Merko/Merko.ini", "[Merko]\r\nRelease=20141231\r\n");
  s_.Zapsat("data/Setup14/Upravy/Doplnky/Fakt/f.dll", "stara 14");
  std::string ini = Ini("[Upravy14\\Doplnky\\Fakt\\]\r\nUrl=" + server_.Adresa() + "/Fakt/\r\n" +
                        "[Upravy\\Doplnky\\Fakt\\]\r\nUrl=http://spatne.invalid/\r\n");
  s_.Vytvorit("data/Setup14/Upravy/Doplnky/Fakt/jen_slozka");
  std::remove((profil_ + "Setup14/Upravy/Doplnky/Fakt/f.dll").c_str());
  EXPECT_TRUE(Aktualizovat(profil_ + "Setup14/", ini));
  EXPECT_EQ(s_.Cist("data/Setup14/Upravy/Doplnky/Fakt/f.dll"), "nova fakturace");
}

TEST_F(ProfilTest, NoCustomisationStillReportsCopyingAndDone) {
  s_.Zapsat("data/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20141231\r\n");
  std::string upravy = setup_ + "Upravy";
  std::system(("rm -rf '" + upravy + "'").c_str());
  EXPECT_TRUE(Aktualizovat(setup_, Ini("")));
  EXPECT_TRUE(Hlaseno("", "Kopírování nových souborů"));
  EXPECT_TRUE(Hlaseno("Dokončeno"));
  EXPECT_FALSE(test::Existuje(setup_ + "Upravydwnld_1.8"));
}

TEST_F(ProfilTest, ProgramFolderIsSwappedWithItsBackupAndTopLevelFilesLand) {
  s_.Zapsat("zdroj/Setup/Merko/app.exe", "nova");
  s_.Zapsat("zdroj/Setup/Setup.exe", "instalator");
  publikace::PublikovatSlozku(s_ / "zdroj/Setup/", s_ / "web/Setup/");
  s_.Zapsat("data/Setup/Merko_old/zbytek", "predchozi zaloha");
  EXPECT_TRUE(Aktualizovat(setup_, Ini("")));
  EXPECT_EQ(s_.Cist("data/Setup/Merko/app.exe"), "nova");
  EXPECT_EQ(s_.Cist("data/Setup/Merko_old/app.exe"), "stara");
  EXPECT_FALSE(test::Existuje(setup_ + "Merko_old/zbytek"));
  EXPECT_EQ(s_.Cist("data/Setup/Setup.exe"), "instalator");
  EXPECT_EQ(ui_.minimalizovano, 1);
}

TEST_F(ProfilTest, MissingNewProgramFolderNeverMovesTheLiveOneAside) {
  // A package without any Merko/ files: nothing to put in the live folder's place.
  s_.Zapsat("zdroj/Setup/Setup.exe", "instalator");
  publikace::PublikovatSlozku(s_ / "zdroj/Setup/", s_ / "web/Setup/");
  EXPECT_THROW(Aktualizovat(setup_, Ini("")), Chyba);
  EXPECT_EQ(s_.Cist("data/Setup/Merko/app.exe"), "stara");
  EXPECT_FALSE(test::Existuje(setup_ + "Merko_old"));
}

}  // namespace
}  // namespace zevlon
