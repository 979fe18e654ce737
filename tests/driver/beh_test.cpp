#include "driver/beh.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <optional>

#include "driver/stav.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/http_server.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::OdpovedTestu;
using test::PozadavekHttp;

constexpr const char* kStazeno =
    "Aktualizace byla stažena, nainstaluje se při příštím spuštění Merka.";

class MainTest : public ::testing::Test {
 protected:
  void SetUp() override {
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
  void Volby(const std::optional<std::string>& slozkaDat, std::string adresa = {}) {
    if (adresa.empty()) adresa = server_.Adresa();
    std::string ini = "[Server]\r\nAdresa=" + adresa + "/aktualizace-online/\r\n";
    if (slozkaDat) ini += "[Nastaveni]\r\nSlozkaDat=" + *slozkaDat + "\r\n";
    s_.Zapsat("program/Zevlon.ini", ini);
  }
  // One run in a fresh window that answers boxes and choices from the given lists.
  int Spustit(const std::string& prikaz, std::deque<int> odpovedi = {},
              std::deque<int> volby = {}) {
    ui_.emplace();
    ui_->odpovedi = std::move(odpovedi);
    ui_->odpovediVoleb = std::move(volby);
    ui_->stornoPoHlaseni = stornoPo_;
    setup_.clear();
    return Main(prikaz, [this](const std::string& ini) {
      setup_.push_back(ini);
      return vysledekSetupu_;
    });
  }
  const test::FalesneUi& Ui() const { return *ui_; }
  // The window after a run: the last report's heading and message, its buttons
  // (S Storno, Z Zavřít), and "zavreno" or how often the run waited for it to close.
  std::string Okno() const {
    const auto& h = ui_->hlaseni.back();
    return h.podnadpis + "|" + h.zprava + "|" + (h.stornoZobrazeno ? "S" : "") +
           (h.zavritZobrazeno ? "Z" : "") + "|" +
           (ui_->zavreno ? "zavreno" : "ceka " + std::to_string(ui_->cekaniNaZavreni));
  }
  std::vector<std::string> Zpravy() const {
    std::vector<std::string> out;
    for (const auto& z : ui_->zpravy)
      out.push_back(z.text);
    return out;
  }
  std::string Stazeno() const { return s_.Cist("temp/download.ini"); }
  std::string Polozka() const {
    return server_.Adresa() + "/aktualizace-online/download.ini->" + (s_ / "temp/download.ini");
  }

  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  std::optional<test::FalesneUi> ui_;
  // The site answers the scripted answers in turn, then the release information.
  std::vector<OdpovedTestu> skript_;
  std::atomic<std::size_t> dotazu_{0};
  test::TestHttpServer server_{[this](const PozadavekHttp&) {
    std::size_t i = dotazu_++;
    return i < skript_.size() ? skript_[i]
                              : test::Telo("[Merko]\r\nRelease=20140331\r\nUrl=http://x/\r\n");
  }};
  std::string profil_;
  std::vector<std::string> setup_;
  bool vysledekSetupu_ = true;
  int stornoPo_ = -1;
};

TEST_F(MainTest, HotovoAndAMissingFileEndWithTheWindowOpen) {
  EXPECT_EQ(Spustit(s_ / "neni/download.ini"), kNavratUspech);
  EXPECT_EQ(Ui().hlaseni.size(), 1u);
  EXPECT_EQ(Okno(), "Příprava aktualizace|||ceka 1");
  EXPECT_TRUE(setup_.empty());

  Volby(profil_);
  EXPECT_EQ(Spustit("  hOtOvO "), kNavratUspech);  // in any case, blanks trimmed
  EXPECT_EQ(Okno(), std::string(kStazeno) + "||Z|ceka 1");
  EXPECT_TRUE(server_.Pozadavky().empty());
  EXPECT_TRUE(platforma_.dotazyNaPripojeni.empty());
}

TEST_F(MainTest, UnattendedRunTakesTheDataFolderFromTheOptionsAndLogsAFailure) {
  platforma_.uzivatel = "SYSTEM";
  for (std::string slozka : {"data/Firma//", "data/Firma"}) {
    SCOPED_TRACE(slozka);
    Volby(s_ / slozka);
    EXPECT_EQ(Spustit(""), kNavratUspech);
    ASSERT_EQ(setup_, std::vector<std::string>{s_ / "temp/download.ini"});
    EXPECT_NE(Stazeno().find("SlozkaProfilu=" + profil_ + "\r\n"), std::string::npos);
    EXPECT_TRUE(Ui().zpravy.empty() && Ui().volby.empty());
    EXPECT_TRUE(Ui().zavreno);
  }
  EXPECT_TRUE(platforma_.spusteno.empty());  // no handover when unattended
  auto p = server_.Pozadavky();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].cesta.substr(0, 36), "/aktualizace-online/download.ini?id=");
  EXPECT_EQ(p[0].cesta.size(), 36u + 14u);

  // A failure writes one log line, shows nothing and ends with an error.
  dotazu_ = 0;
  skript_ = {test::Stav(503, "Service Unavailable")};
  EXPECT_EQ(Spustit(""), kNavratChyba);
  std::string log = s_.Cist("program/online_errors.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
  EXPECT_NE(log.find("\thttp error: 503 Service Unavailable\t" + Polozka() + "\r\n"),
            std::string::npos);
  EXPECT_TRUE(Ui().zpravy.empty());
  EXPECT_TRUE(Ui().zavreno);
  EXPECT_TRUE(setup_.empty());
}

TEST_F(MainTest, ErrorBoxOffersOpakovatAndStornoEndsWithTheMessageInTheWindow) {
  skript_ = {test::Stav(404, "Not Found"), test::Stav(500, "Internal Server Error")};
  Volby(profil_);
  EXPECT_EQ(Spustit("", {mb::kIdStorno}), kNavratChyba);
  EXPECT_EQ(Okno(), "|http error: 404 Not Found\r\nSoubor: " + Polozka() + "|Z|ceka 1");

  EXPECT_EQ(Spustit("", {mb::kIdOpakovat}), kNavratUspech);
  EXPECT_EQ(Zpravy(), std::vector<std::string>{"http error: 500 Internal Server Error\r\nSoubor: " +
                                               Polozka()});
  EXPECT_EQ(Ui().zpravy[0].styl, mb::kOpakovatStorno | mb::kKriticka | mb::kSystemoveModalni);
  EXPECT_EQ(Ui().zpravy[0].titulek, "Dunmor Merko - aktualizace");
  EXPECT_EQ(server_.Pozadavky().size(), 3u);
  EXPECT_EQ(setup_.size(), 1u);
}

TEST_F(MainTest, NoConnectionAndInformationWithoutReleaseAreReportedWithAnOkBox) {
  Volby(profil_, "http://aktualizace.example.invalid");
  platforma_.pripojeno = false;
  EXPECT_EQ(Spustit(""), kNavratChyba);
  EXPECT_EQ(Zpravy(), std::vector<std::string>{
                          "Nepodařilo se vyhledat aktualizace, protože není připojen internet. "
                          "Prosím připojte se k internetu a opakujte vyhledání."});
  EXPECT_EQ(Ui().zpravy[0].styl, mb::kOk | mb::kKriticka | mb::kSystemoveModalni);
  EXPECT_EQ(platforma_.dotazyNaPripojeni, std::vector<std::string>{"aktualizace.example.invalid"});

  skript_ = {test::Telo("[Jine]\r\nX=1\r\n")};
  Volby(profil_);
  platforma_.pripojeno = true;
  EXPECT_EQ(Spustit(""), kNavratChyba);
  EXPECT_EQ(Zpravy(),
            std::vector<std::string>{"Nepodařilo se stáhnout informace o aktualizacích."});
  EXPECT_TRUE(setup_.empty());
}

TEST_F(MainTest, StornoOrAnEmptyDataFolderEndTheRunWithoutUpdating) {
  stornoPo_ = 1;
  EXPECT_EQ(Spustit(""), kNavratZruseno);
  EXPECT_TRUE(Ui().zpravy.empty());
  EXPECT_TRUE(Ui().zavreno);

  stornoPo_ = -1;
  Volby("");
  EXPECT_EQ(Spustit(""), kNavratUspech);
  EXPECT_EQ(Okno(),
            "|Nebyla vybrána žádná složka k aktualizaci. Otevřete možnosti, nastavte složku dat "
            "a potom spusťte program znovu.|Z|ceka 1");
  EXPECT_TRUE(setup_.empty());
}

TEST_F(MainTest, ChosenProfileIsUpdatedThenTheProgramHandsOverToACopyInTemp) {
  Volby(std::nullopt);  // only the site: the profile list of version 12.0 decides
  s_.Zapsat("registry.reg",
            "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\12.0\\Aplikace]\r\n"
            "\"Slozka_Merka\"=\"" +
                (s_ / "m12") + "\"\r\n");
  s_.Zapsat("m12/Merko.ini", "[Profily]\r\nFirma=" + profil_ + "\r\n");
  EXPECT_EQ(Spustit("", {}, {0}), kNavratZruseno);  // the choice closed: a cancel
  EXPECT_TRUE(setup_.empty());
  EXPECT_TRUE(Ui().zavreno);
  EXPECT_TRUE(Ui().zpravy.empty());

  EXPECT_EQ(Spustit("", {}, {1}), kNavratUspech);
  ASSERT_EQ(setup_, std::vector<std::string>{s_ / "temp/download.ini"});
  EXPECT_NE(Stazeno().find("SlozkaProfilu=" + profil_), std::string::npos);
  EXPECT_EQ(platforma_.spusteno, (decltype(platforma_.spusteno){{s_ / "temp/Zevlon", {"Hotovo"}}}));
  EXPECT_EQ(s_.Cist("temp/Zevlon"), "#!program");
  EXPECT_TRUE(Ui().zavreno);
}

TEST_F(MainTest, FailedHandoverCopyIsReportedWithBothPathsAndStartsNothing) {
  // A folder stands where the copy would go, so the copy cannot replace it.
  s_.Zapsat("temp/moje.ini", "[Merko]\r\nRelease=1\r\n");
  s_.Zapsat("temp/Zevlon/soubor", "x");
  // The copy's retry question, then the error box.
  EXPECT_EQ(Spustit(s_ / "temp/moje.ini", {mb::kIdNe, mb::kIdStorno}), kNavratChyba);
  EXPECT_EQ(setup_.size(), 1u);
  EXPECT_TRUE(platforma_.spusteno.empty());
  ASSERT_EQ(Ui().zpravy.size(), 2u);
  EXPECT_NE(Ui().zpravy[1].text.find("\r\nSoubor: " + (s_ / "program/Zevlon") + "->" +
                                     (s_ / "temp/Zevlon")),
            std::string::npos);
}

TEST_F(MainTest, TheCopyInTempEndsWithTheClosingHeadingAndHidesTheOptions) {
  platforma_.program = s_.Zapsat("temp/Zevlon", "#!program");
  s_.Zapsat("temp/moje.ini", "[Merko]\r\nRelease=1\r\nSlozkaProfilu=" + profil_ + "\r\n");
  EXPECT_EQ(Spustit(s_ / "temp/moje.ini"), kNavratUspech);
  EXPECT_TRUE(Ui().moznostiSkryty);
  EXPECT_EQ(Okno(), std::string(kStazeno) + "||S|ceka 1");
  EXPECT_TRUE(platforma_.spusteno.empty());
}

TEST_F(MainTest, DeclinedWarningOrASetupUpdateThatStartedANewUpdaterClosesAtOnce) {
  s_.Zapsat("temp/zmena.ini",
            "[Merko]\r\nRelease=20140331\r\nReleaseZmenyDat=20140315\r\n"
            "SlozkaProfilu=" +
                profil_ + "\r\n");
  EXPECT_EQ(Spustit(s_ / "temp/zmena.ini", {mb::kIdNe}), kNavratUspech);
  EXPECT_TRUE(setup_.empty());
  EXPECT_TRUE(Ui().zavreno);

  s_.Zapsat("temp/moje.ini", "[Merko]\r\nRelease=1\r\n");
  vysledekSetupu_ = false;
  EXPECT_EQ(Spustit(s_ / "temp/moje.ini"), kNavratUspech);
  EXPECT_EQ(setup_.size(), 1u);
  EXPECT_TRUE(Ui().zavreno);
  EXPECT_TRUE(platforma_.spusteno.empty());
}

TEST_F(MainTest, SecondRunAtTheSameTimeEndsAtOnceTouchingNothing) {
  Volby(profil_);
  s_.Zapsat("temp/download.ini", "predchozi");
  int zamek = ::open((s_ / "program/Zevlon.lock").c_str(), O_RDWR | O_CREAT, 0666);
  ASSERT_EQ(::flock(zamek, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(Spustit(""), kNavratChyba);
  ::close(zamek);
  EXPECT_EQ(Zpravy(), std::vector<std::string>{
                          "Aktualizace Dunmor Merko již probíhá v jiném spuštění programu. "
                          "Počkejte, až skončí, a potom spusťte program znovu."});
  EXPECT_TRUE(server_.Pozadavky().empty());
  EXPECT_EQ(Stazeno(), "predchozi");
  EXPECT_EQ(Spustit(""), kNavratUspech);  // released with its holder: the next run goes through
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
