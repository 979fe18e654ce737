// The setup update of a whole profile, in process, against a site published on loopback.
#include "instalace/aktualizace_setupu.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/nahrady/ini.h"
#include "soubory/pomoc_operaci.h"
#include "support/falesna_platforma.h"
#include "support/http_server.h"
#include "tools/publikace/publikace.h"

namespace zevlon {
namespace {

class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = s_.Vytvorit("program") + "/Zevlon";
    platforma_.temp = s_.Vytvorit("temp");
    RezimSystem = true;
    s_.Zapsat("data/Firma/Merko.ini", "[Merko]\r\nRelease=20140301\r\n");
    s_.Zapsat("data/Firma/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20140301\r\n");
    s_.Zapsat("data/Firma/Setup/Merko/Merko.exe", "stará");
    s_.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20141231\r\n");
    s_.Zapsat("vydani/Setup/Merko/Merko.exe", "Merko 20141231");
    s_.Zapsat("vydani/SetupCommon/System/spolecne.dll", "společné");
    s_.Zapsat("novy/Zevlon", "nový program aktualizace");
  }
  void TearDown() override {
    RezimSystem = false;
    AktualniPolozka.clear();
  }
  // Publishes the release with an updater of the given version and answers the
  // release information handed to the setup step.
  std::string Vydani(const std::string& verzeZevlonu) {
    publikace::Zadani z;
    z.zdroj = s_ / "vydani";
    z.cil = s_ / "web";
    z.adresa = server_.Adresa() + "/";
    z.vydani = "20141231";
    z.verzeZevlonu = verzeZevlonu;
    z.zevlon = s_ / "novy/Zevlon";
    publikace::Publikovat(z);
    const std::string ini = s_.Zapsat("temp/download.ini", s_.Cist("web/download.ini"));
    ini::ZapsatKlic(ini, "Merko", "SlozkaProfilu", s_ / "data/Firma/");
    return ini;
  }
  bool Stazeno(const std::string& cesta) const {
    auto p = server_.Pozadavky();
    return std::any_of(p.begin(), p.end(), [&](auto& d) { return d.cesta == cesta; });
  }

  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  test::TestHttpServer server_{test::TestHttpServer::SlozkaSouboru(s_ / "web")};
};

// The package manager updates a packaged program: a newer updater on the site is noted in
// the transfer log once and the setup folders are renewed all the same.
TEST_F(SetupTest, APackagedBuildNeverReplacesItselfButNotesTheNewerUpdaterAndUpdates) {
  platforma_.balicek = true;
  platforma_.voleb = s_.Vytvorit("etc");
  platforma_.logy = s_.Vytvorit("log");
  EXPECT_TRUE(AktualizaceSetupDunmor(Vydani("9")));
  EXPECT_FALSE(Stazeno("/vydani/20141231/SetupCommon/Zevlon.zip"));
  EXPECT_TRUE(platforma_.spusteno.empty());
  EXPECT_FALSE(test::Existuje(s_ / "program/ZevlonNew"));
  EXPECT_EQ(s_.Cist("data/Firma/Setup/Merko/Merko.exe"), "Merko 20141231");
  const std::string log = s_.Cist("log/Zevlon.log");
  const std::string radek =
      "Aktualizační web nabízí novější program aktualizace (ZevlonVerze 9); program "
      "nainstalovaný z balíčku se sám nenahrazuje, aktualizuje jej správce balíčků.\r\n";
  ASSERT_NE(log.find(radek), std::string::npos) << log;
  EXPECT_EQ(log.find(radek), log.rfind(radek));
}

// Any other build fetches the newer updater and leaves the setup folders to it.
TEST_F(SetupTest, AnUnpackagedBuildHandsTheUpdateToTheNewerUpdater) {
  EXPECT_FALSE(AktualizaceSetupDunmor(Vydani("9")));
  EXPECT_TRUE(Stazeno("/vydani/20141231/SetupCommon/Zevlon.zip"));
  EXPECT_EQ(s_.Cist("program/ZevlonNew"), "nový program aktualizace");
  ASSERT_EQ(platforma_.spusteno.size(), 1u);
  EXPECT_EQ(s_.Cist("data/Firma/Setup/Merko/Merko.exe"), "stará");
}

}  // namespace
}  // namespace zevlon
