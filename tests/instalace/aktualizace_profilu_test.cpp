// The update of a profile's setup folder against packages published on loopback, and
// the backup swap it ends with.
#include "instalace/aktualizace_profilu.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "instalace/vymena.h"
#include "soubory/pomoc_operaci.h"
#include "support/falesna_platforma.h"
#include "support/http_server.h"
#include "support/neprivilegovany.h"
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
  // aktualni, the setup folder's program is of the release installed, else of an older one.
  bool Aktualizovat(bool aktualni) {
    Vydani(aktualni ? "20141231" : "20140301");
    std::string a = server_.Adresa(),
                ini = s_.Zapsat("download.ini", "[Merko]\r\nRelease=20141231\r\nUrl=" + a +
                                                    "/\r\n[Upravy\\Doplnky\\Fakt\\]\r\nUrl=" + a +
                                                    "/Fakt/\r\n");
    return AktualizaceProfilu(s_ / "data/", setup_, "20141231", s_ / "temp/", ini, "dwnld_1.8", "");
  }
  // The release of the setup folder's program.
  void Vydani(const std::string& vydani) {
    test::ZapsatSoubor(setup_ + "Merko/Merko.ini", "[Merko]\r\nRelease=" + vydani + "\r\n");
  }
  Cesty Pozadavky() const {
    Cesty c;
    for (auto& p : server_.Pozadavky())
      c.push_back(p.cesta);
    return c;
  }
  // A program package for the setup folder and a second release of the add-on.
  void PublikovatSetup() {
    s_.Zapsat("zdroj/Setup/Merko/app.exe", "nova");
    s_.Zapsat("zdroj/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20141231\r\n");
    publikace::PublikovatSlozku(s_ / "zdroj/Setup/", s_ / "web/Setup/");
  }
  void NoveVydaniDoplnku() {
    s_.Zapsat("zdroj/Fakt/f.dll", "fakturace podruhe");
    publikace::PublikovatSlozku(s_ / "zdroj/Fakt/", s_ / "web/Fakt/");
  }
  std::string Log() {
    return Existuje(s_ / "program/online_errors.log") ? s_.Cist("program/online_errors.log") : "";
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
  const auto t0 = platforma_.monotonni;
  EXPECT_TRUE(Aktualizovat(true));
  // Unattended, a current setup folder makes nobody wait for its message.
  EXPECT_LT(platforma_.monotonni - t0, std::chrono::seconds(1));
  EXPECT_EQ(Pozadavky(), (Cesty{"/Fakt/master.snapshot.zip", "/Fakt/f.dll.zip"}));
  EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/Fakt/f.dll"), "nova fakturace");
  EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/Bez/b.dll"), "bez serveru");
  EXPECT_EQ(s_.Cist("data/Setup/Upravy_old/Doplnky/Bez/b.dll"), "bez serveru");
  EXPECT_FALSE(Existuje(setup_ + "Merko_old"));
}

// Whatever the customisation holds besides the files that the update renews stays in it,
// over any number of updates, with its owner, mode and time.
TEST_F(ProfilTest, CustomisationKeepsEverythingItHeldOverTwoUpdates) {
  PublikovatSetup();
  test::Strom mistni{{"poznamky.txt", "moje poznamky"},
                     {"Sestavy/moje.rpt", "sestava"},
                     {".skryty", "skryty"},
                     {"Doplnky/ctimne.txt", "ctimne"},
                     {"Doplnky/Bez/b.dll", "bez serveru"},
                     {"Doplnky/Fakt/_data/stav.dat", "stav"},
                     {"Doplnky/Fakt/.nastaveni", "nastaveni"},
                     {"Doplnky/Fakt/pomoc/navod.txt", "navod"}};
  // A tree deeper than the descriptors the process may hold: the merge holds a few at a time.
  std::string hluboko = "Sestavy/";
  for (int i = 0; i < 300; ++i)
    hluboko += "h/";
  mistni[hluboko + "hluboky.txt"] = "na dne";
  for (const auto& [cesta, obsah] : mistni)
    s_.Zapsat("data/Setup/Upravy/" + cesta, obsah);
  const std::string rpt = setup_ + "Upravy/Sestavy/moje.rpt";
  ASSERT_EQ(::chmod(rpt.c_str(), 0640), 0);
  test::PredatNeprivilegovanemu(rpt);
  test::NastavitCas(rpt, 1393632000, 0);
  auto s = test::Stav(rpt);

  for (const char* f : {"nova fakturace", "fakturace podruhe"}) {
    SCOPED_TRACE(f);
    if (std::string(f) == "fakturace podruhe") NoveVydaniDoplnku();
    {
      const test::OmezeniPopisovacu omezeni(200);
      EXPECT_TRUE(Aktualizovat(false));
    }
    auto ocekavano = mistni;
    ocekavano["Doplnky/Fakt/f.dll"] = f;
    EXPECT_EQ(test::CistStrom(setup_ + "Upravy"), ocekavano);
    auto po = test::Stav(rpt);
    EXPECT_EQ(po.st_mode, s.st_mode);
    EXPECT_EQ(po.st_uid, s.st_uid);
    EXPECT_EQ(po.st_mtim.tv_sec, s.st_mtim.tv_sec);
  }
  EXPECT_EQ(s_.Cist("data/Setup/Upravy_old/Doplnky/Fakt/f.dll"), "nova fakturace");
  EXPECT_EQ(s_.Cist("data/Setup/Upravy_old/Sestavy/moje.rpt"), "sestava");

  // The release now ships a file where the user has a folder and a name the user has in
  // other letter case: the user's keep names of their own. A pipe is not carried. Each is
  // said in the log.
  const std::string fakt = setup_ + "Upravy/Doplnky/Fakt/";
  s_.Zapsat("data/Setup/Upravy/Doplnky/Fakt/sablony/moje.dot", "šablona");
  s_.Zapsat("data/Setup/Upravy/Doplnky/Fakt/README.TXT", "moje poznámky");
  s_.Zapsat("data/Setup/Upravy/Doplnky/Fakt/readme.txt.uzivatel", "už zabráno");
  ASSERT_EQ(::mkfifo((fakt + "roura").c_str(), 0600), 0);
  s_.Zapsat("zdroj/Fakt/sablony", "šablony vydání");
  s_.Zapsat("zdroj/Fakt/readme.txt", "čti vydání");
  NoveVydaniDoplnku();
  EXPECT_TRUE(Aktualizovat(false));
  const test::Strom ocekavano{{"f.dll", "fakturace podruhe"},
                              {"sablony", "šablony vydání"},
                              {"readme.txt", "čti vydání"},
                              {"sablony.uzivatel/moje.dot", "šablona"},
                              {"README.TXT.uzivatel2", "moje poznámky"},
                              {"readme.txt.uzivatel", "už zabráno"},
                              {".nastaveni", "nastaveni"},
                              {"_data/stav.dat", "stav"},
                              {"pomoc/navod.txt", "navod"}};
  EXPECT_EQ(test::CistStrom(fakt), ocekavano);
  const std::string log = s_.Cist("program/Zevlon.log");
  for (const std::string& radek :
       {"Položka " + fakt +
            "sablony se střetla s položkou nového vydání, proto je v nové verzi "
            "pod jménem " +
            fakt + "sablony.uzivatel.",
        fakt + "README.TXT se střetla s položkou nového vydání, proto je v nové verzi pod jménem " +
            fakt + "README.TXT.uzivatel2.",
        "Zvláštní soubor " + fakt +
            "roura (roura, soket nebo zařízení) nebyl do nové verze "
            "přenesen"})
    EXPECT_NE(log.find(radek), std::string::npos) << radek << "\n" << log;
}

// A customisation none of whose own items was renewed stays live as it is, even when the
// profile's own customisation renewed one.
TEST_F(ProfilTest, CustomisationWithoutRenewedItemsIsNotMovedAside) {
  setup_ = s_ / "sit/Setup/";
  s_.Zapsat("sit/Setup/Merko/app.exe", "stara");
  s_.Zapsat("sit/Setup/Upravy/poznamky.txt", "spolecne poznamky");
  s_.Vytvorit("data/Setup/Upravy/Doplnky/Fakt/prazdna");
  EXPECT_TRUE(Aktualizovat(true));
  EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/Fakt/f.dll"), "nova fakturace");
  EXPECT_EQ(test::CistStrom(setup_ + "Upravy"),
            (test::Strom{{"poznamky.txt", "spolecne poznamky"}}));
}

// An add-on folder that is a symbolic link is never written through and stays a link; two
// add-ons whose names differ only in letter case are both kept, neither renewed. Both are
// named in the error log.
TEST_F(ProfilTest, LinkedAndCaseTwinAddOnsAreCarriedOverUnchangedAndLogged) {
  PublikovatSetup();
  const std::string jinde = s_.Zapsat("jinde/Odkaz/o.dll", "odkazovany");
  ASSERT_EQ(::symlink((s_ / "jinde/Odkaz").c_str(), (setup_ + "Upravy/Doplnky/Odkaz").c_str()), 0);
  s_.Zapsat("data/Setup/Upravy/Doplnky/Dvojce/d.dll", "mala");
  s_.Zapsat("data/Setup/Upravy/Doplnky/DVOJCE/d.dll", "velka");
  // Each of them names the add-on's server, which must not be used for them.
  const std::string a = server_.Adresa();
  for (int i = 0; i < 2; ++i) {
    if (i == 1) NoveVydaniDoplnku();
    Vydani("20140301");
    std::string ini = s_.Zapsat(
        "download.ini", "[Merko]\r\nRelease=20141231\r\nUrl=" + a +
                            "/\r\n[Upravy\\Doplnky\\Fakt\\]\r\nUrl=" + a +
                            "/Fakt/\r\n[Upravy\\Doplnky\\Odkaz\\]\r\nUrl=" + a +
                            "/Fakt/\r\n[Upravy\\Doplnky\\Dvojce\\]\r\nUrl=" + a + "/Fakt/\r\n");
    s_.Vytvorit("data/Setup/Upravy/Doplnky/Fakt");
    EXPECT_TRUE(
        AktualizaceProfilu(s_ / "data/", setup_, "20141231", s_ / "temp/", ini, "dwnld_1.8", ""));
    EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/Fakt/f.dll"),
              i == 0 ? "nova fakturace" : "fakturace podruhe");
    EXPECT_TRUE(std::filesystem::is_symlink(setup_ + "Upravy/Doplnky/Odkaz"));
    EXPECT_EQ(std::filesystem::read_symlink(setup_ + "Upravy/Doplnky/Odkaz"), s_ / "jinde/Odkaz");
    EXPECT_EQ(test::CistStrom(s_ / "jinde/Odkaz"), (test::Strom{{"o.dll", "odkazovany"}}));
    EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/Dvojce/d.dll"), "mala");
    EXPECT_EQ(s_.Cist("data/Setup/Upravy/Doplnky/DVOJCE/d.dll"), "velka");
  }
  const std::string log = Log();
  EXPECT_NE(log.find("Doplnky/Odkaz/"), std::string::npos) << log;
  EXPECT_NE(log.find("Doplnky/Dvojce/"), std::string::npos) << log;
  EXPECT_NE(log.find("Doplnky/DVOJCE/"), std::string::npos) << log;
  EXPECT_NE(log.find("Doplnky/Bez/ nemá manifest"), std::string::npos) << log;
}

// The record of an unfinished update, in a setup folder of another user, is never written
// through a link that user laid under its name.
TEST_F(ProfilTest, RecordOfAnUnfinishedUpdateIsNeverWrittenThroughALink) {
  if (::geteuid() != 0) GTEST_SKIP() << "only a run as root writes into another user's folder";
  PublikovatSetup();
  const std::string cil = s_.Zapsat("jinde/systemovy.conf", "nedotknutelny");
  const std::string zaznam = setup_ + kZaznamNedokoncene;
  ASSERT_EQ(::symlink(cil.c_str(), zaznam.c_str()), 0);
  ASSERT_EQ(::lchown(zaznam.c_str(), test::NeprivilegovanyUid(), test::NeprivilegovanaGid()), 0);
  ASSERT_EQ(::chown(setup_.c_str(), test::NeprivilegovanyUid(), test::NeprivilegovanaGid()), 0);
  ::chmod(setup_.c_str(), 0755);
  EXPECT_THROW(Aktualizovat(false), Chyba);
  EXPECT_EQ(s_.Cist("jinde/systemovy.conf"), "nedotknutelny");
  EXPECT_EQ(test::Stav(cil).st_uid, 0u);
  EXPECT_EQ(s_.Cist("data/Setup/Merko/app.exe"), "stara");
}

// A package without any Merko/ files leaves nothing to put in the live folder's place; a
// program folder that brings no release, or another one than the site announced, takes
// no live folder's place either.
TEST_F(ProfilTest, ANewProgramFolderOfNoOrAnotherReleaseStopsBeforeTheSwap) {
  const struct {
    const char* soubor;
    const char* obsah;
    const char* chyba;
  } pripady[] = {
      {"Setup.exe", "instalator", nullptr},
      {"Merko/app.exe", "nova", "obsahují vydání žádné; nic nebylo vyměněno."},
      {"Merko/Merko.ini", "[Merko]\r\nRelease= 20140301 \r\n",
       "Web ohlásil vydání 20141231, ale jeho balíčky obsahují vydání 20140301; nic nebylo "
       "vyměněno."},
  };
  for (const auto& p : pripady) {
    SCOPED_TRACE(p.soubor);
    s_.Zapsat(std::string("zdroj/Setup/") + p.soubor, p.obsah);
    publikace::PublikovatSlozku(s_ / "zdroj/Setup/", s_ / "web/Setup/");
    try {
      Aktualizovat(false);
      ADD_FAILURE() << "swapped";
    } catch (const Chyba& c) {
      if (p.chyba) {
        EXPECT_NE(c.Popis().find(p.chyba), std::string::npos) << c.Popis();
      }
    }
    EXPECT_EQ(s_.Cist("data/Setup/Merko/app.exe"), "stara");
    EXPECT_FALSE(Existuje(setup_ + "Merko_old"));
  }
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
