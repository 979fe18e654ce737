// The update of a profile's setup folder against packages published on loopback, and
// the backup swap it ends with.
#include "installers/aktualizace_profilu.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "installers/pomoc_operaci.h"
#include "installers/vymena.h"
#include "support/falesna_platforma.h"
#include "support/http_server.h"
#include "tools/publikace/publikace.h"

namespace zevlon {
namespace {

using test::Existuje;
using Cesty = std::vector<std::string>;

class ProfilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = s_.Vytvorit("program") + "/Zevlon";
    platforma_.temp = s_.Vytvorit("temp");
    RezimSystem = true;
    s_.Zapsat("data/Setup/Merko/app.exe", "stara");
    s_.Zapsat("data/Setup/Upravy/Doplnky/Bez/b.dll", "bez serveru");
    s_.Zapsat("zdroj/Fakt/f.dll", "nova fakturace");
    publikace::PublikovatSlozku(s_ / "zdroj/Fakt/", s_ / "web/Fakt/");
  }
  void TearDown() override {
    RezimSystem = false;
    DocasneSlozky.clear();
  }
  // Updates with release information in which the add-on has its own server; with
  // aktualni, the setup folder's program is of the release installed.
  bool Aktualizovat(bool aktualni) {
    if (aktualni) s_.Zapsat("data/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20141231\r\n");
    std::string a = server_.Adresa(),
                ini = s_.Zapsat("download.ini", "[Merko]\r\nRelease=20141231\r\nUrl=" + a +
                                                    "/\r\n[Upravy\\Doplnky\\Fakt\\]\r\nUrl=" + a +
                                                    "/Fakt/\r\n");
    return AktualizaceProfilu(s_ / "data/", setup_, "20141231", s_ / "temp/", ini, "dwnld_1.8", "");
  }
  Cesty Pozadavky() const {
    Cesty c;
    for (auto& p : server_.Pozadavky())
      c.push_back(p.cesta);
    return c;
  }
  void Vymenit(const std::string& novy) {
    VymenitSeZalohou(setup_ + "Merko/", setup_ + "Merko_old/", setup_ + novy + "/");
  }

  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  test::TestHttpServer server_{test::TestHttpServer::SlozkaSouboru(s_ / "web")};
  std::string setup_ = s_ / "data/Setup/";
};

// A current setup keeps an item with files; this one has only a subfolder left.
TEST_F(ProfilTest, ItemWithoutFilesIsDownloadedAndSwappedInWithABackup) {
  s_.Vytvorit("data/Setup/Upravy/Doplnky/Fakt/prazdna");
  EXPECT_TRUE(Aktualizovat(true));
  EXPECT_EQ(Pozadavky(), (Cesty{"/Fakt/master.snapshot.zip", "/Fakt/f.dll.zip"}));
  EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/Fakt/f.dll"), "nova fakturace");
  EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/Bez/b.dll"), "bez serveru");
  EXPECT_EQ(s_.Cist("data/Setup/Upravy_old/Doplnky/Bez/b.dll"), "bez serveru");
  EXPECT_FALSE(Existuje(setup_ + "Merko_old"));
}

TEST_F(ProfilTest, OutdatedSetupWithoutANewProgramFolderStopsBeforeTheSwap) {
  // A package without any Merko/ files: nothing to put in the live folder's place.
  s_.Zapsat("zdroj/Setup/Setup.exe", "instalator");
  publikace::PublikovatSlozku(s_ / "zdroj/Setup/", s_ / "web/Setup/");
  EXPECT_THROW(Aktualizovat(false), Chyba);
  EXPECT_EQ(Pozadavky(), (Cesty{"/Setup/master.snapshot.zip", "/Setup/Setup.exe.zip"}));
  EXPECT_EQ(s_.Cist("data/Setup/Merko/app.exe"), "stara");
  EXPECT_FALSE(Existuje(setup_ + "Merko_old"));
}

TEST_F(ProfilTest, SwapMakesTheOldContentTheOnlyBackupOrLeavesTheLiveFolderAlone) {
  s_.Zapsat("data/Setup/novy/app.exe", "nova");
  EXPECT_THROW(Vymenit("neni"), Chyba);
  s_.Zapsat("data/Setup/Merko_old", "soubor, ne slozka");  // cannot be deleted as a folder
  EXPECT_THROW(Vymenit("novy"), Chyba);
  EXPECT_EQ(s_.Cist("data/Setup/Merko/app.exe"), "stara");

  std::remove((setup_ + "Merko_old").c_str());
  s_.Zapsat("data/Setup/Merko_old/predchozi.txt", "x");
  Vymenit("novy");
  EXPECT_EQ(test::CistStrom(setup_ + "Merko"), (test::Strom{{"app.exe", "nova"}}));
  EXPECT_EQ(test::CistStrom(setup_ + "Merko_old"), (test::Strom{{"app.exe", "stara"}}));
  EXPECT_FALSE(Existuje(setup_ + "novy"));
}

}  // namespace
}  // namespace zevlon
