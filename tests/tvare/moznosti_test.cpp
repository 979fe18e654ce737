#include "tvare/moznosti.h"

#include <sys/stat.h>

#include "support/falesne_ui.h"
#include "tvare/moznosti_pripravka.h"

namespace zevlon {
namespace {

using Texty = std::vector<std::string>;

class MoznostiTest : public test::MoznostiPripravka {
 protected:
  // Saved options (folder B), job 7 registered by an earlier OK, the update site.
  void SetUp() override {
    MoznostiPripravka::SetUp();
    s_.Zapsat("program/Zevlon.ini", "[Nastaveni]\r\nSlozkaDat=" + firmaB_ +
                                        "\r\nStary=1\r\n[Uloha]\r\nID=7\r\n[Server]\r\nA=b\r\n");
    s_.Zapsat("cron/zevlon-7", "# job\n0 3 * * * root x\n");
  }
  // The user's choice of automatic updating at the given time.
  void Automaticky(ModelMoznosti& m, const std::string& cetnost, const std::string& den,
                   const std::string& cas) {
    m.comProfily.text = firmaA_;
    m.ZvolitAktualizovat();
    m.ZmenitCetnost(cetnost);
    m.comDen.text = den;
    m.comHodiny.text = cas;
  }
  // The messages shown since the last call, as "style|title|text".
  Texty Zpravy() {
    Texty z;
    for (const auto& p : ui_.zpravy)
      z.push_back(std::to_string(p.styl) + "|" + p.titulek + "|" + p.text);
    ui_.zpravy.clear();
    return z;
  }

  test::FalesneUi ui_;
};

TEST_F(MoznostiTest, EachScheduleIsSavedAndRegisteredInPlaceOfTheLastManualDeletesIt) {
  // Each row: frequency, day, time, the saved settings and the cron line. Daily
  // leaves a day in the dead box: it is not saved.
  const std::tuple<const char*, const char*, const char*, const char*, const char*> pripady[] = {
      {kCetnostTydne, "Neděle", "06:00", "Cas=06:00|Cetnost=Týdně|Den=Neděle", "0 6 * * 0 "},
      {kCetnostMesicne, "31.", "23:59", "Cas=23:59|Cetnost=Měsíčně|Den=31.", "59 23 31 * * "},
      {kCetnostDenne, "3.", "05:00", "Cas=05:00|Cetnost=Denně", "0 5 * * * "}};
  // The new job is registered before the one it replaces goes, so the numbers alternate.
  int cislo = 0;
  for (const auto& [cetnost, den, cas, nastaveni, cron] : pripady) {
    cislo = cislo % 2 + 1;
    ModelMoznosti m;
    Automaticky(m, cetnost, den, cas);
    ASSERT_TRUE(m.Ok());
    EXPECT_EQ(Zpravy(), Texty{});
    EXPECT_EQ(Sekce("Nastaveni"), Rozdelit("SlozkaDat=" + firmaA_ + "|" + nastaveni, '|'));
    // The job of the OK before is gone; the new one has the lowest free number.
    EXPECT_EQ(Ulohy(), std::set<std::string>{"zevlon-" + std::to_string(cislo)});
    EXPECT_EQ(Sekce("Uloha"), Texty{"ID=" + std::to_string(cislo)});
    EXPECT_EQ(Cron(cislo), cron + spusteni_);
  }
  // Manual updating needs no time; only the folder is kept, with the other sections.
  ModelMoznosti m;
  EXPECT_TRUE(m.OptAktualizovat && m.comHodiny.text == "05:00" && !m.comDen.povoleno);
  m.ZvolitNeaktualizovat();
  m.comHodiny.text = "";
  ASSERT_TRUE(m.Ok());
  EXPECT_EQ(Sekce("Nastaveni"), Texty{"SlozkaDat=" + firmaA_});
  EXPECT_TRUE(Ulohy().empty());
  EXPECT_EQ(Sekce("Server"), Texty{"A=b"});
}

TEST_F(MoznostiTest, RefusalsAreShownAndTheOldJobStandsUntilItCanBeReplaced) {
  const Texty nastaveni{"SlozkaDat=" + firmaB_, "Stary=1"};
  const std::set<std::string> stara{"zevlon-7"};
  // No folder, or midnight of the next day: nothing is written.
  ModelMoznosti m;
  for (const std::string& slozka : {std::string(), firmaA_}) {
    Automaticky(m, kCetnostDenne, "", slozka.empty() ? "23:00" : "24:00");
    m.comProfily.text = slozka;
    EXPECT_FALSE(m.Ok());
    EXPECT_EQ(Zpravy(), Texty{"4144|Možnosti aktualizací|Chyba. Vyplňte možnosti."});
  }
  // A file that cannot be written: shown, and no job is touched.
  Automaticky(m, kCetnostDenne, "", "23:00");
  ASSERT_EQ(chmod(Ini().c_str(), 0444), 0);
  EXPECT_FALSE(m.Ok());
  ASSERT_EQ(chmod(Ini().c_str(), 0644), 0);
  EXPECT_EQ(Zpravy(), Texty{"4112||Nelze zapsat do souboru " + Ini() +
                            " .\r\nZkontrolujte cestu a oprávnění pro zápis do tohoto souboru."});
  EXPECT_EQ(Sekce("Nastaveni"), nastaveni);
  EXPECT_EQ(Ulohy(), stara);

  // Weekly or monthly without a day (or with one that is none), or a frequency that is
  // none: the options are not filled in, so nothing is saved and the old job stands.
  for (auto [cetnost, den] : {std::pair{kCetnostTydne, ""},
                              {kCetnostMesicne, ""},
                              {kCetnostMesicne, "32."},
                              {kCetnostTydne, "Svátek"},
                              {"tydne", "Středa"}}) {
    m.ZmenitCetnost(cetnost);
    m.comDen.text = den;
    EXPECT_FALSE(m.Ok());
    EXPECT_EQ(Zpravy(), Texty{"4144|Možnosti aktualizací|Chyba. Vyplňte možnosti."}) << den;
    EXPECT_EQ(Sekce("Nastaveni"), nastaveni);
    EXPECT_EQ(Ulohy(), stara);
    EXPECT_EQ(Sekce("Uloha"), Texty{"ID=7"});
  }

  // A scheduler that cannot register the job: the reason is shown, the window stays open
  // and neither the options nor the old job change.
  Planovac bezSlozky(s_ / "neni");
  NastavitPlanovac(&bezSlozky);
  m.ZmenitCetnost(kCetnostDenne);
  EXPECT_FALSE(m.Ok());
  EXPECT_EQ(Zpravy(), Texty{"4144||Nemáte oprávnění pro vytvoření úlohy plánovaného spuštění."
                            "\r\nCesta nebyla nalezena."});
  EXPECT_EQ(Sekce("Nastaveni"), nastaveni);
  EXPECT_EQ(Sekce("Uloha"), Texty{"ID=7"});
  NastavitPlanovac(&planovac_);
  EXPECT_EQ(Ulohy(), stara);
}

}  // namespace
}  // namespace zevlon
