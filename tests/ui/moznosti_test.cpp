#include "ui/moznosti.h"

#include <sys/stat.h>

#include <array>

#include "common/chyba.h"
#include "support/falesne_ui.h"
#include "ui/moznosti_pripravka.h"

namespace zevlon {
namespace {

using Texty = std::vector<std::string>;

class MoznostiTest : public test::MoznostiPripravka {
 protected:
  // The options file with the given settings and job 7 registered by an earlier OK.
  void Ulozeno(const std::string& nastaveni) {
    s_.Zapsat("program/Zevlon.ini", "[Nastaveni]\r\n" + nastaveni + "[Uloha]\r\nID=7\r\n");
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
  // The window as the user sees it: the option chosen, then the texts of the folder,
  // hour, frequency and day boxes, a dead box marked with "-".
  std::string Okno(const ModelMoznosti& m) const {
    std::string s = m.OptAktualizovat ? "auto" : "ručně";
    for (const SeznamVolby* b : {&m.comProfily, &m.comHodiny, &m.comMoznosti, &m.comDen})
      s += (b->povoleno ? "|" : "|-") + Slozka(b->text);
    return s;
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

TEST_F(MoznostiTest, OpensInManualModeAndTheFrequencyRefillsTheDayList) {
  ModelMoznosti m;
  EXPECT_EQ(Okno(m), "ručně||-|-Měsíčně|-");
  EXPECT_EQ(m.comProfily.polozky, (Texty{firmaA_, firmaB_}));
  EXPECT_EQ(m.comMoznosti.polozky, (Texty{"Denně", "Týdně", "Měsíčně"}));
  const Texty &h = m.comHodiny.polozky, &d = m.comDen.polozky;
  ASSERT_EQ(h.size(), 25u);
  EXPECT_EQ((Texty{h[0], h[7], h[24]}), (Texty{"00:00", "07:00", "24:00"}));

  m.ZvolitAktualizovat();
  EXPECT_EQ(Okno(m), "auto|||Měsíčně|");
  ASSERT_EQ(d.size(), 28u);
  EXPECT_EQ(d.front() + d.back(), "1.28.");
  m.ZmenitCetnost(kCetnostTydne);
  EXPECT_EQ(d, (Texty{"Pondělí", "Úterý", "Středa", "Čtvrtek", "Pátek", "Sobota", "Neděle"}));
  m.comDen.text = "Sobota";
  m.ZmenitCetnost(kCetnostMesicne);
  EXPECT_EQ(Okno(m), "auto|||Měsíčně|");
  EXPECT_EQ(d.size(), 28u);
  // Daily leaves the day list and text as they were, but the box goes dead.
  m.comDen.text = "9.";
  m.ZmenitCetnost(kCetnostDenne);
  EXPECT_EQ(Okno(m), "auto|||Denně|-9.");
  EXPECT_EQ(d.size(), 28u);
  m.ZvolitNeaktualizovat();
  EXPECT_EQ(Okno(m), "ručně||-|-Denně|-9.");

  // Saved settings without a time open in manual mode too, frequency and day unread.
  s_.Zapsat("program/Zevlon.ini",
            "[Nastaveni]\r\nSlozkaDat=" + firmaB_ + "\r\nCetnost=Týdně\r\nDen=Středa\r\n");
  EXPECT_EQ(Okno(ModelMoznosti()), "ručně|B|-|-Měsíčně|-");
}

TEST_F(MoznostiTest, EachScheduleIsSavedRegisteredInPlaceOfTheLastAndShownAgain) {
  Ulozeno("");
  // Each row: frequency, day, time, the saved settings, the cron line, the window
  // opened again and the length of its day list. Daily leaves a day in the dead box:
  // it is not saved.
  const std::tuple<const char*, const char*, const char*, const char*, const char*, const char*,
                   std::size_t>
      pripady[] = {{kCetnostTydne, "Středa", "06:00", "Cas=06:00|Cetnost=Týdně|Den=Středa",
                    "0 6 * * 3 ", "auto|A|06:00|Týdně|Středa", 7},
                   {kCetnostMesicne, "15.", "22:00", "Cas=22:00|Cetnost=Měsíčně|Den=15.",
                    "0 22 15 * * ", "auto|A|22:00|Měsíčně|15.", 28},
                   {kCetnostDenne, "3.", "05:00", "Cas=05:00|Cetnost=Denně", "0 5 * * * ",
                    "auto|A|05:00|Denně|-", 0}};
  for (const auto& [cetnost, den, cas, nastaveni, cron, znovu, dnu] : pripady) {
    {
      ModelMoznosti m;
      Automaticky(m, cetnost, den, cas);
      ASSERT_TRUE(m.Ok());
    }
    EXPECT_EQ(Zpravy(), Texty{});
    EXPECT_EQ(Sekce("Nastaveni"), Rozdelit("SlozkaDat=" + firmaA_ + "|" + nastaveni, '|'));
    // The job of the OK before is gone; the new one has the lowest free number.
    EXPECT_EQ(Ulohy(), std::set<std::string>{"zevlon-1"});
    EXPECT_EQ(Sekce("Uloha"), Texty{"ID=1"});
    EXPECT_EQ(Cron(1), cron + spusteni_);
    ModelMoznosti otevreno;
    EXPECT_EQ(Okno(otevreno), znovu);
    EXPECT_EQ(otevreno.comDen.polozky.size(), dnu);
  }
}

TEST_F(MoznostiTest, ManualUpdatingDeletesTheJobAndKeepsOnlyTheFolder) {
  Ulozeno("SlozkaDat=" + firmaB_ + "\r\nCas=04:00\r\nCetnost=Denně\r\nStary=1\r\n");
  ASSERT_TRUE(ini::ZapsatKlic(Ini(), "Server", "Adresa", "http://localhost/a/"));
  ModelMoznosti m;
  EXPECT_EQ(Okno(m), "auto|B|04:00|Denně|-");
  m.ZvolitNeaktualizovat();
  ASSERT_TRUE(m.Ok());
  EXPECT_EQ(Sekce("Nastaveni"), Texty{"SlozkaDat=" + firmaB_});
  EXPECT_TRUE(Ulohy().empty());
  // The stored number is not removed; the update site stays.
  EXPECT_EQ(Sekce("Uloha"), Texty{"ID=7"});
  EXPECT_EQ(Sekce("Server"), Texty{"Adresa=http://localhost/a/"});
}

TEST_F(MoznostiTest, RefusalsAreShownAndTheOldJobStandsUntilItCanBeReplaced) {
  Ulozeno("SlozkaDat=" + firmaB_ + "\r\n");
  const Texty nastaveni{"SlozkaDat=" + firmaB_};
  const std::set<std::string> stara{"zevlon-7"};
  // No folder, time or frequency, or midnight of the next day: nothing is written.
  // (4144 and 4112: exclamation mark or critical, both system-modal.)
  ModelMoznosti m;
  for (auto [slozka, cetnost, cas] : {std::array<std::string, 3>{"", kCetnostDenne, "23:00"},
                                      {firmaA_, kCetnostDenne, ""},
                                      {firmaA_, "", "23:00"},
                                      {firmaA_, kCetnostDenne, "24:00"}}) {
    Automaticky(m, cetnost, "", cas);
    m.comProfily.text = slozka;
    EXPECT_FALSE(m.Ok());
    EXPECT_EQ(Zpravy(), Texty{"4144|Možnosti aktualizací|Chyba. Vyplňte možnosti."}) << cas;
  }
  EXPECT_EQ(Sekce("Nastaveni"), nastaveni);
  EXPECT_EQ(Ulohy(), stara);

  // A file that cannot be written: shown, and no job is touched.
  Automaticky(m, kCetnostDenne, "", "23:00");
  ASSERT_EQ(chmod(Ini().c_str(), 0444), 0);
  EXPECT_FALSE(m.Ok());
  ASSERT_EQ(chmod(Ini().c_str(), 0644), 0);
  EXPECT_EQ(Zpravy(), Texty{"4112||Nelze zapsat do souboru " + Ini() +
                            " .\r\nZkontrolujte cestu a oprávnění pro zápis do tohoto souboru."});
  EXPECT_EQ(Sekce("Nastaveni"), nastaveni);
  EXPECT_EQ(Ulohy(), stara);

  // Weekly without a day: saved, the old job deleted, the new one cannot be built.
  m.ZmenitCetnost(kCetnostTydne);
  EXPECT_FALSE(m.Ok());
  EXPECT_EQ(Zpravy(), Texty{"4144||Nemáte oprávnění pro vytvoření úlohy plánovaného spuštění."});
  EXPECT_EQ(Sekce("Nastaveni"),
            (Texty{"SlozkaDat=" + firmaA_, "Cas=23:00", "Cetnost=Týdně", "Den="}));
  EXPECT_TRUE(Ulohy().empty());
  EXPECT_EQ(Sekce("Uloha"), Texty{"ID=7"});

  // Manual updating needs no time.
  m.comHodiny.text = "";
  m.ZvolitNeaktualizovat();
  EXPECT_TRUE(m.Ok());
  EXPECT_EQ(Zpravy(), Texty{});
}

TEST_F(MoznostiTest, TheSchedulerRefusingOrMissingTheOldJobIsNoObstacle) {
  ASSERT_TRUE(ini::ZapsatKlic(Ini(), "Uloha", "ID", "5"));  // a job that is gone
  Planovac bezSlozky(s_ / "neni");
  NastavitPlanovac(&bezSlozky);
  ModelMoznosti m;
  Automaticky(m, kCetnostDenne, "", "02:00");
  EXPECT_TRUE(m.Ok());
  EXPECT_EQ(Sekce("Uloha"), Texty{"ID=5"});
  NastavitPlanovac(&planovac_);
  EXPECT_TRUE(m.Ok());
  EXPECT_EQ(Sekce("Uloha"), Texty{"ID=1"});
  EXPECT_EQ(Zpravy(), Texty{});

  // The copy of the program in the temp folder keeps no settings but registers the job.
  platforma_.program = s_.Zapsat("temp/Zevlon", "#!program");
  Automaticky(m, kCetnostTydne, "Pátek", "01:00");
  ASSERT_TRUE(m.Ok());
  const std::string ini = s_ / "temp/Zevlon.ini";
  EXPECT_FALSE(ini::CistSekci(ini, "Nastaveni"));
  EXPECT_EQ(ini::CistKlic(ini, "Uloha", "ID"), "2");
  EXPECT_EQ(Cron(2), "0 1 * * 5 root '" + s_ / "temp/Zevlon" + "'");
}

TEST_F(MoznostiTest, JobRecordsFromTheTexts) {
  // Each row: time, frequency, day, and the record's time, days of the month and of
  // the week. More records are checked through the cron lines of the jobs.
  const std::tuple<const char*, const char*, const char*, std::uint32_t, std::uint32_t,
                   std::uint8_t>
      pripady[] = {{"7:30", kCetnostTydne, "Neděle", 27'000'000, 0, 0x40},
                   {"00:00", kCetnostTydne, "3", 0, 0, 0x08},
                   {"00:00", kCetnostMesicne, "31.", 0, 0x40000000, 0},
                   {"00:00", kCetnostMesicne, "1.", 0, 1, 0}};
  for (const auto& [cas, cetnost, den, ms, dnyMesice, dnyTydne] : pripady) {
    ZaznamUlohy z = SestavitZaznamUlohy(cas, cetnost, den);
    EXPECT_EQ(
        std::tuple(z.JobTime, z.DaysOfMonth, z.DaysOfWeek, z.Flags, z.Command),
        std::tuple(ms, dnyMesice, dnyTydne, std::uint8_t{kUlohaOpakovana | kUlohaNeinteraktivni},
                   "\"" + s_ / "program/Zevlon" + "\""))
        << cas << " " << cetnost << " " << den;
  }
  for (const char* text : {"24:00|Denně|", "šest|Denně|", "06:60|Denně|", "06:00|Týdně|7",
                           "06:00|Týdně|Svátek", "06:00|Měsíčně|0.", "06:00|Měsíčně|"}) {
    const Texty t = Rozdelit(text, '|');
    EXPECT_THROW(SestavitZaznamUlohy(t[0], t[1], t[2]), Chyba) << text;
  }
  EXPECT_TRUE(JeCasDne("23:59"));
  EXPECT_FALSE(JeCasDne("24:00") || JeCasDne("6"));
}

}  // namespace
}  // namespace zevlon
