#include "driver/beh.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>

#include "driver/stav.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/http_server.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::OdpovedTestu;
using test::PozadavekHttp;
using test::Sandbox;
using test::TestHttpServer;

constexpr const char* kStazeno =
    "Aktualizace byla stažena, nainstaluje se při příštím spuštění Merka.";

class MainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RezimSystem = false;
    AktualniPolozka.clear();
    platforma_.program = s_.Zapsat("program/Zevlon", "#!program");
    platforma_.temp = s_.Vytvorit("temp");
    platforma_.registr = s_ / "registry.reg";
    profil_ = s_.Vytvorit("data/Firma") + "/";
    s_.Zapsat("data/Firma/Merko.ini", "[Merko]\r\nRelease=20140301\r\n");
  }
  void TearDown() override {
    RezimSystem = false;
    AktualniPolozka.clear();
  }

  // The options file naming the update site, and the data folder when given.
  void Volby(const std::string& adresa, const std::optional<std::string>& slozkaDat) {
    std::string ini = "[Server]\r\nAdresa=" + adresa + "/aktualizace-online/\r\n";
    if (slozkaDat) ini += "[Nastaveni]\r\nSlozkaDat=" + *slozkaDat + "\r\n";
    s_.Zapsat("program/Zevlon.ini", ini);
  }

  int Spustit(const std::string& prikaz) {
    return Main(prikaz, [this](const std::string& ini) {
      setup_.push_back(ini);
      return vysledekSetupu_;
    });
  }

  const test::ZaznamHlaseni& Posledni() const { return ui_.hlaseni.back(); }

  Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  std::string profil_;
  std::vector<std::string> setup_;
  bool vysledekSetupu_ = true;
};

OdpovedTestu Informace(const std::string& vydani) {
  return test::Telo("[Merko]\r\nRelease=" + vydani + "\r\nUrl=http://x/\r\n");
}

TEST_F(MainTest, HotovoInAnyCaseShowsOnlyTheClosingMessage) {
  TestHttpServer server([](const PozadavekHttp&) { return Informace("1"); });
  Volby(server.Adresa(), profil_);
  EXPECT_EQ(Spustit("  hOtOvO "), kNavratUspech);
  EXPECT_EQ(Posledni().podnadpis, kStazeno);
  EXPECT_TRUE(Posledni().zavritZobrazeno);
  EXPECT_FALSE(Posledni().stornoZobrazeno);
  EXPECT_TRUE(server.Pozadavky().empty());
  EXPECT_TRUE(platforma_.dotazyNaPripojeni.empty());
  EXPECT_EQ(ui_.cekaniNaZavreni, 1);
  EXPECT_FALSE(ui_.zavreno);
}

TEST_F(MainTest, CommandNamingAMissingFileEndsWithTheWindowOpen) {
  EXPECT_EQ(Spustit(s_ / "neni/download.ini"), kNavratUspech);
  EXPECT_EQ(ui_.hlaseni.size(), 1u);
  EXPECT_EQ(Posledni().podnadpis, "Příprava aktualizace");
  EXPECT_TRUE(setup_.empty());
  EXPECT_EQ(ui_.cekaniNaZavreni, 1);
}

TEST_F(MainTest, UnattendedRunTakesTheDataFolderFromTheOptionsAndHandsOverTheFile) {
  TestHttpServer server([](const PozadavekHttp&) { return Informace("20140331"); });
  Volby(server.Adresa(), s_ / "data/Firma//");
  platforma_.uzivatel = "SYSTEM";
  EXPECT_EQ(Spustit(""), kNavratUspech);

  auto p = server.Pozadavky();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].cesta.substr(0, 36), "/aktualizace-online/download.ini?id=");
  EXPECT_EQ(p[0].cesta.size(), 36u + 14u);
  const std::string mistni = s_ / "temp/download.ini";
  ASSERT_EQ(setup_, std::vector<std::string>{mistni});
  EXPECT_NE(s_.Cist("temp/download.ini").find("SlozkaProfilu=" + profil_ + "\r\n"),
            std::string::npos);
  EXPECT_TRUE(ui_.zpravy.empty());
  EXPECT_TRUE(ui_.volby.empty());
  EXPECT_TRUE(ui_.zavreno);
  EXPECT_TRUE(platforma_.spusteno.empty());  // no handover when unattended
}

TEST_F(MainTest, DataFolderWithoutTrailingSeparatorGetsOne) {
  TestHttpServer server([](const PozadavekHttp&) { return Informace("20140331"); });
  Volby(server.Adresa(), s_ / "data/Firma");
  platforma_.uzivatel = "System";
  EXPECT_EQ(Spustit(""), kNavratUspech);
  EXPECT_NE(s_.Cist("temp/download.ini").find("SlozkaProfilu=" + profil_ + "\r\n"),
            std::string::npos);
}

TEST_F(MainTest, UnattendedFailureWritesOneLogLineAndExitsWithAnError) {
  TestHttpServer server(
      [](const PozadavekHttp&) { return test::Stav(503, "Service Unavailable"); });
  Volby(server.Adresa(), profil_);
  platforma_.uzivatel = "System";
  EXPECT_EQ(Spustit(""), kNavratChyba);
  std::string log = s_.Cist("program/online_errors.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
  EXPECT_NE(log.find("\thttp error: 503 Service Unavailable\t" + server.Adresa() +
                     "/aktualizace-online/download.ini->" + (s_ / "temp/download.ini") + "\r\n"),
            std::string::npos);
  EXPECT_TRUE(ui_.zpravy.empty());
  EXPECT_TRUE(ui_.zavreno);
  EXPECT_TRUE(setup_.empty());
}

TEST_F(MainTest, OpakovatRepeatsTheFailedDownload) {
  std::atomic<int> n{0};
  TestHttpServer server([&](const PozadavekHttp&) {
    return n++ == 0 ? test::Stav(500, "Internal Server Error") : Informace("20140331");
  });
  Volby(server.Adresa(), profil_);
  ui_.odpovedi = {mb::kIdOpakovat};
  EXPECT_EQ(Spustit(""), kNavratUspech);
  ASSERT_EQ(ui_.zpravy.size(), 1u);
  EXPECT_EQ(ui_.zpravy[0].text,
            "http error: 500 Internal Server Error\r\nSoubor: " + server.Adresa() +
                "/aktualizace-online/download.ini->" + (s_ / "temp/download.ini"));
  EXPECT_EQ(ui_.zpravy[0].styl, mb::kOpakovatStorno | mb::kKriticka | mb::kSystemoveModalni);
  EXPECT_EQ(ui_.zpravy[0].titulek, "Dunmor Merko - aktualizace");
  EXPECT_EQ(server.Pozadavky().size(), 2u);
  EXPECT_EQ(setup_.size(), 1u);
}

TEST_F(MainTest, StornoOnTheErrorBoxEndsWithTheMessageInTheWindow) {
  TestHttpServer server([](const PozadavekHttp&) { return test::Stav(404, "Not Found"); });
  Volby(server.Adresa(), profil_);
  ui_.odpovedi = {mb::kIdStorno};
  EXPECT_EQ(Spustit(""), kNavratChyba);
  EXPECT_EQ(server.Pozadavky().size(), 1u);
  EXPECT_EQ(Posledni().zprava.substr(0, 24), "http error: 404 Not Foun");
  EXPECT_TRUE(Posledni().zavritZobrazeno);
  EXPECT_FALSE(ui_.zavreno);
  EXPECT_EQ(ui_.cekaniNaZavreni, 1);
}

TEST_F(MainTest, NoConnectionIsReportedWithAnOkBox) {
  Volby("http://aktualizace.example.invalid", profil_);
  platforma_.pripojeno = false;
  EXPECT_EQ(Spustit(""), kNavratChyba);
  ASSERT_EQ(ui_.zpravy.size(), 1u);
  EXPECT_EQ(ui_.zpravy[0].text,
            "Nepodařilo se vyhledat aktualizace, protože není připojen internet. Prosím "
            "připojte se k internetu a opakujte vyhledání.");
  EXPECT_EQ(ui_.zpravy[0].styl, mb::kOk | mb::kKriticka | mb::kSystemoveModalni);
  EXPECT_EQ(platforma_.dotazyNaPripojeni, std::vector<std::string>{"aktualizace.example.invalid"});
}

TEST_F(MainTest, StornoEndsTheRunWithoutAnyMessage) {
  ui_.stornoPoHlaseni = 1;
  EXPECT_EQ(Spustit(""), kNavratZruseno);
  EXPECT_TRUE(ui_.zpravy.empty());
  EXPECT_TRUE(ui_.zavreno);
}

TEST_F(MainTest, EmptyDataFolderAsksToSetTheOptions) {
  TestHttpServer server([](const PozadavekHttp&) { return Informace("20140331"); });
  Volby(server.Adresa(), "");
  EXPECT_EQ(Spustit(""), kNavratUspech);
  EXPECT_EQ(Posledni().zprava,
            "Nebyla vybrána žádná složka k aktualizaci. Otevřete možnosti, nastavte složku dat "
            "a potom spusťte program znovu.");
  EXPECT_TRUE(Posledni().zavritZobrazeno);
  EXPECT_TRUE(setup_.empty());
}

TEST_F(MainTest, ReleaseInformationWithoutReleaseIsAnError) {
  TestHttpServer server([](const PozadavekHttp&) { return test::Telo("[Jine]\r\nX=1\r\n"); });
  Volby(server.Adresa(), profil_);
  EXPECT_EQ(Spustit(""), kNavratChyba);
  ASSERT_EQ(ui_.zpravy.size(), 1u);
  EXPECT_EQ(ui_.zpravy[0].text, "Nepodařilo se stáhnout informace o aktualizacích.");
}

TEST_F(MainTest, ChosenProfileIsUpdatedThenTheProgramHandsOverToACopyInTemp) {
  TestHttpServer server([](const PozadavekHttp&) { return Informace("20140331"); });
  Volby(server.Adresa(), std::nullopt);  // only the site: the profile list decides
  s_.Zapsat("registry.reg",
            "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\12.0\\Aplikace]\r\n"
            "\"Slozka_Merka\"=\"" +
                (s_ / "m12") + "\"\r\n");
  s_.Zapsat("m12/Merko.ini", "[Profily]\r\nFirma=" + profil_ + "\r\n");
  ui_.odpovediVoleb = {1};

  EXPECT_EQ(Spustit(""), kNavratUspech);
  EXPECT_EQ(ui_.volby.size(), 1u);
  ASSERT_EQ(setup_, std::vector<std::string>{s_ / "temp/download.ini"});
  EXPECT_NE(s_.Cist("temp/download.ini").find("SlozkaProfilu=" + profil_), std::string::npos);
  ASSERT_EQ(platforma_.spusteno.size(), 1u);
  EXPECT_EQ(platforma_.spusteno[0].first, s_ / "temp/Zevlon");
  EXPECT_EQ(platforma_.spusteno[0].second, std::vector<std::string>{"Hotovo"});
  EXPECT_EQ(s_.Cist("temp/Zevlon"), "#!program");
  EXPECT_TRUE(ui_.zavreno);
}

TEST_F(MainTest, ClosingTheChoiceDialogEndsTheRunAsACancel) {
  TestHttpServer server([](const PozadavekHttp&) { return Informace("20140331"); });
  Volby(server.Adresa(), std::nullopt);
  s_.Zapsat("registry.reg",
            "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\12.0\\Aplikace]\r\n"
            "\"Slozka_Merka\"=\"" +
                (s_ / "m12") + "\"\r\n");
  s_.Zapsat("m12/Merko.ini", "[Profily]\r\nFirma=" + profil_ + "\r\n");
  ui_.odpovediVoleb = {0};
  EXPECT_EQ(Spustit(""), kNavratZruseno);
  EXPECT_TRUE(setup_.empty());
  EXPECT_TRUE(ui_.zavreno);
  EXPECT_TRUE(ui_.zpravy.empty());
}

TEST_F(MainTest, FailedHandoverCopyIsReportedWithBothPathsAndStartsNothing) {
  // A folder stands where the copy would go, so the copy cannot replace it.
  s_.Zapsat("temp/moje.ini", "[Merko]\r\nRelease=1\r\n");
  s_.Zapsat("temp/Zevlon/soubor", "x");
  ui_.odpovedi = {mb::kIdNe, mb::kIdStorno};  // the copy's retry question, then the error box
  EXPECT_EQ(Spustit(s_ / "temp/moje.ini"), kNavratChyba);
  EXPECT_EQ(setup_.size(), 1u);
  EXPECT_TRUE(platforma_.spusteno.empty());
  ASSERT_EQ(ui_.zpravy.size(), 2u);
  EXPECT_NE(ui_.zpravy[1].text.find("\r\nSoubor: " + (s_ / "program/Zevlon") + "->" +
                                    (s_ / "temp/Zevlon")),
            std::string::npos);
}

TEST_F(MainTest, TheCopyInTempEndsWithTheClosingHeadingAndHidesTheOptions) {
  platforma_.program = s_.Zapsat("temp/Zevlon", "#!program");
  s_.Zapsat("temp/moje.ini", "[Merko]\r\nRelease=1\r\nSlozkaProfilu=" + profil_ + "\r\n");
  EXPECT_EQ(Spustit(s_ / "temp/moje.ini"), kNavratUspech);
  EXPECT_TRUE(ui_.moznostiSkryty);
  EXPECT_EQ(Posledni().podnadpis, kStazeno);
  EXPECT_TRUE(Posledni().stornoZobrazeno);
  EXPECT_FALSE(Posledni().zavritZobrazeno);
  EXPECT_TRUE(platforma_.spusteno.empty());
}

TEST_F(MainTest, SetupUpdateThatStartedANewUpdaterClosesAtOnce) {
  s_.Zapsat("temp/moje.ini", "[Merko]\r\nRelease=1\r\n");
  vysledekSetupu_ = false;
  EXPECT_EQ(Spustit(s_ / "temp/moje.ini"), kNavratUspech);
  EXPECT_TRUE(ui_.zavreno);
  EXPECT_TRUE(platforma_.spusteno.empty());
}

TEST_F(MainTest, DeclinedDataStructureWarningClosesWithoutUpdating) {
  s_.Zapsat("temp/moje.ini",
            "[Merko]\r\nRelease=20140331\r\nReleaseZmenyDat=20140315\r\n"
            "SlozkaProfilu=" +
                profil_ + "\r\n");
  ui_.odpovedi = {mb::kIdNe};
  EXPECT_EQ(Spustit(s_ / "temp/moje.ini"), kNavratUspech);
  EXPECT_TRUE(setup_.empty());
  EXPECT_TRUE(ui_.zavreno);
}

TEST_F(MainTest, SecondRunAtTheSameTimeEndsAtOnceTouchingNothing) {
  TestHttpServer server([](const PozadavekHttp&) { return Informace("20140331"); });
  Volby(server.Adresa(), profil_);
  s_.Zapsat("temp/download.ini", "predchozi");
  int zamek = ::open((s_ / "program/Zevlon.lock").c_str(), O_RDWR | O_CREAT, 0666);
  ASSERT_EQ(::flock(zamek, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(Spustit(""), kNavratChyba);
  ::close(zamek);
  ASSERT_EQ(ui_.zpravy.size(), 1u);
  EXPECT_EQ(ui_.zpravy[0].text,
            "Aktualizace Dunmor Merko již probíhá v jiném spuštění programu. Počkejte, až "
            "skončí, a potom spusťte program znovu.");
  EXPECT_TRUE(server.Pozadavky().empty());
  EXPECT_EQ(s_.Cist("temp/download.ini"), "predchozi");
  // Released with its holder: the next run goes through.
  ui_.zpravy.clear();
  EXPECT_EQ(Spustit(""), kNavratUspech);
}

TEST_F(MainTest, OptionsFileAndSiteAddressLieBesideTheProgram) {
  EXPECT_EQ(CestaVolebIni(), s_ / "program/Zevlon.ini");
  EXPECT_EQ(AdresaWebu(), "http://aktualizace.dunmor.invalid/aktualizace-online/");
  s_.Zapsat("program/Zevlon.ini",
            "[Server]\r\nAdresa=http://127.0.0.1:8080/aktualizace-online\r\n");
  EXPECT_EQ(AdresaWebu(), "http://127.0.0.1:8080/aktualizace-online/");
}

}  // namespace
}  // namespace zevlon
