#include "ui/moznosti.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "common/chyba.h"
#include "common/text.h"
#include "driver/stav.h"
#include "platform/ini.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

class MoznostiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RezimSystem = false;
    platforma_.program = s_.Zapsat("program/Zevlon", "#!program");
    platforma_.temp = s_.Vytvorit("temp");
    platforma_.registr = s_.Zapsat(
        "registry.reg",
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace]\r\n"
        "\"Slozka_Merka\"=\"" +
            s_ / "m14" + "\"\r\n");
    firmaA_ = s_.Vytvorit("data/A") + "/";
    firmaB_ = s_.Vytvorit("data/B") + "/";
    s_.Zapsat("m14/Merko.ini",
              "[Profily]\r\nFirma A=" + firmaA_ + "\r\nFirma B=" + firmaB_ + "\r\n");
    NastavitPlanovac(&planovac_);
  }
  void TearDown() override { NastavitPlanovac(nullptr); }

  std::string Ini() const { return s_ / "program/Zevlon.ini"; }
  std::vector<std::string> Sekce(const std::string& sekce) const {
    return ini::CistSekci(Ini(), sekce).value_or(std::vector<std::string>{"<žádná sekce>"});
  }
  std::set<std::string> Ulohy() const {
    std::set<std::string> jmena;
    if (DIR* d = opendir(cron_.c_str())) {
      while (dirent* p = readdir(d))
        if (p->d_name[0] != '.') jmena.insert(p->d_name);
      closedir(d);
    }
    return jmena;
  }
  // The job line of a registered job.
  std::string Cron(int cislo) const {
    return Rozdelit(s_.Cist("cron/zevlon-" + std::to_string(cislo)), '\n').at(1);
  }
  // Registers a job as a previous OK would have, and stores its number.
  std::uint32_t StaraUloha() {
    std::uint32_t cislo = 0;
    EXPECT_EQ(planovac_.PridatUlohu("", SestavitZaznamUlohy("03:00", kCetnostDenne, ""), cislo),
              kPlanovacOk);
    EXPECT_TRUE(ini::ZapsatKlic(Ini(), "Uloha", "ID", std::to_string(cislo)));
    return cislo;
  }
  // The model after the user chose automatic updating at the given time.
  void Automaticky(ModelMoznosti& m, const std::string& cetnost, const std::string& den,
                   const std::string& cas) {
    m.comProfily.text = firmaA_;
    m.ZvolitAktualizovat();
    m.ZmenitCetnost(cetnost);
    m.comDen.text = den;
    m.comHodiny.text = cas;
  }

  Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  std::string cron_ = s_.Vytvorit("cron");
  Planovac planovac_{cron_};
  std::string firmaA_, firmaB_;
  const std::string spusteni_ = "root '" + s_ / "program/Zevlon" + "'";
};

TEST_F(MoznostiTest, OpeningWithoutAFileListsProfilesHoursAndFrequenciesInManualMode) {
  ModelMoznosti m;
  EXPECT_FALSE(m.OptAktualizovat);
  EXPECT_FALSE(m.comHodiny.povoleno);
  EXPECT_FALSE(m.comMoznosti.povoleno);
  EXPECT_FALSE(m.comDen.povoleno);
  EXPECT_EQ(m.comProfily.polozky, (std::vector<std::string>{firmaA_, firmaB_}));
  EXPECT_EQ(m.comProfily.text, "");
  EXPECT_EQ(m.comMoznosti.polozky, (std::vector<std::string>{"Denně", "Týdně", "Měsíčně"}));
  EXPECT_EQ(m.comMoznosti.text, "Měsíčně");
  ASSERT_EQ(m.comHodiny.polozky.size(), 25u);
  EXPECT_EQ(m.comHodiny.polozky.front(), "00:00");
  EXPECT_EQ(m.comHodiny.polozky[7], "07:00");
  EXPECT_EQ(m.comHodiny.polozky.back(), "24:00");
}

TEST_F(MoznostiTest, WeeklyWednesdayAtSixRoundTripsThroughTheFileAndCron) {
  {
    ModelMoznosti m;
    Automaticky(m, kCetnostTydne, "Středa", "06:00");
    ASSERT_TRUE(m.Ok());
  }
  EXPECT_TRUE(ui_.zpravy.empty());
  EXPECT_EQ(Sekce("Nastaveni"), (std::vector<std::string>{"SlozkaDat=" + firmaA_, "Cas=06:00",
                                                          "Cetnost=Týdně", "Den=Středa"}));
  EXPECT_EQ(Sekce("Uloha"), (std::vector<std::string>{"ID=1"}));
  EXPECT_EQ(Cron(1), "0 6 * * 3 " + spusteni_);

  ZaznamUlohy z = SestavitZaznamUlohy("06:00", kCetnostTydne, "Středa");
  EXPECT_EQ(z.JobTime, 21'600'000u);
  EXPECT_EQ(z.DaysOfWeek, 0x04);
  EXPECT_EQ(z.DaysOfMonth, 0u);
  EXPECT_EQ(z.Flags, kUlohaOpakovana | kUlohaNeinteraktivni);
  EXPECT_EQ(z.Command, "\"" + s_ / "program/Zevlon" + "\"");

  // Opened again, the window shows what was saved.
  ModelMoznosti znovu;
  EXPECT_TRUE(znovu.OptAktualizovat);
  EXPECT_EQ(znovu.comProfily.text, firmaA_);
  EXPECT_EQ(znovu.comHodiny.text, "06:00");
  EXPECT_EQ(znovu.comMoznosti.text, "Týdně");
  EXPECT_EQ(znovu.comDen.text, "Středa");
  EXPECT_TRUE(znovu.comDen.povoleno);
  EXPECT_EQ(znovu.comDen.polozky.size(), 7u);
  EXPECT_EQ(znovu.comDen.polozky[2], "Středa");

  // A second OK replaces the job: the old file goes, the new number is stored.
  znovu.comHodiny.text = "07:00";
  ASSERT_TRUE(znovu.Ok());
  EXPECT_EQ(Ulohy(), (std::set<std::string>{"zevlon-1"}));
  EXPECT_EQ(Cron(1), "0 7 * * 3 " + spusteni_);
  EXPECT_EQ(Sekce("Uloha"), (std::vector<std::string>{"ID=1"}));
}

TEST_F(MoznostiTest, MonthlyFifteenthAtTwentyTwo) {
  ModelMoznosti m;
  Automaticky(m, kCetnostMesicne, "15.", "22:00");
  EXPECT_EQ(m.comDen.polozky.size(), 28u);
  EXPECT_EQ(m.comDen.polozky.back(), "28.");
  ASSERT_TRUE(m.Ok());
  ZaznamUlohy z = SestavitZaznamUlohy("22:00", kCetnostMesicne, "15.");
  EXPECT_EQ(z.JobTime, 79'200'000u);
  EXPECT_EQ(z.DaysOfMonth, 0x4000u);
  EXPECT_EQ(z.DaysOfWeek, 0);
  EXPECT_EQ(Cron(1), "0 22 15 * * " + spusteni_);
  EXPECT_EQ(ModelMoznosti().comDen.text, "15.");
}

TEST_F(MoznostiTest, DailyWritesNoDayAndRunsEveryDay) {
  ModelMoznosti m;
  Automaticky(m, kCetnostMesicne, "3.", "05:00");
  m.ZmenitCetnost(kCetnostDenne);
  EXPECT_FALSE(m.comDen.povoleno);
  ASSERT_TRUE(m.Ok());
  EXPECT_EQ(Sekce("Nastaveni"),
            (std::vector<std::string>{"SlozkaDat=" + firmaA_, "Cas=05:00", "Cetnost=Denně"}));
  EXPECT_EQ(SestavitZaznamUlohy("05:00", kCetnostDenne, "").DaysOfWeek, 0x7F);
  EXPECT_EQ(Cron(1), "0 5 * * * " + spusteni_);
  ModelMoznosti znovu;
  EXPECT_FALSE(znovu.comDen.povoleno);
  EXPECT_TRUE(znovu.comHodiny.povoleno);
}

TEST_F(MoznostiTest, ManualUpdatingDeletesTheJobAndKeepsOnlyTheFolder) {
  s_.Zapsat("program/Zevlon.ini",
            "[Server]\r\nAdresa=http://localhost/a/\r\n[Nastaveni]\r\nSlozkaDat=" + firmaB_ +
                "\r\nCas=04:00\r\nCetnost=Denně\r\nStary=1\r\n");
  const std::uint32_t stara = StaraUloha();
  ModelMoznosti m;
  EXPECT_TRUE(m.OptAktualizovat);
  m.ZvolitNeaktualizovat();
  EXPECT_FALSE(m.comHodiny.povoleno);
  ASSERT_TRUE(m.Ok());
  EXPECT_EQ(Sekce("Nastaveni"), (std::vector<std::string>{"SlozkaDat=" + firmaB_}));
  EXPECT_TRUE(Ulohy().empty());
  // The stored number is not removed; the update site stays.
  EXPECT_EQ(Sekce("Uloha"), (std::vector<std::string>{"ID=" + std::to_string(stara)}));
  EXPECT_EQ(Sekce("Server"), (std::vector<std::string>{"Adresa=http://localhost/a/"}));
}

TEST_F(MoznostiTest, ProgramInTheTempFolderWritesNoSettingsButRegistersTheJob) {
  platforma_.program = s_.Zapsat("temp/Zevlon", "#!program");
  ModelMoznosti m;
  Automaticky(m, kCetnostTydne, "Pátek", "01:00");
  ASSERT_TRUE(m.Ok());
  const std::string ini = s_ / "temp/Zevlon.ini";
  EXPECT_FALSE(ini::CistSekci(ini, "Nastaveni"));
  EXPECT_EQ(ini::CistKlic(ini, "Uloha", "ID"), "1");
  EXPECT_EQ(Cron(1), "0 1 * * 5 root '" + s_ / "temp/Zevlon" + "'");
}

TEST_F(MoznostiTest, AFileWithoutCasOpensInManualMode) {
  s_.Zapsat("program/Zevlon.ini",
            "[Nastaveni]\r\nSlozkaDat=" + firmaB_ + "\r\nCetnost=Týdně\r\nDen=Středa\r\n");
  ModelMoznosti m;
  EXPECT_FALSE(m.OptAktualizovat);
  EXPECT_FALSE(m.comHodiny.povoleno);
  EXPECT_FALSE(m.comMoznosti.povoleno);
  EXPECT_FALSE(m.comDen.povoleno);
  EXPECT_EQ(m.comProfily.text, firmaB_);
  EXPECT_EQ(m.comMoznosti.text, "Měsíčně");
  EXPECT_EQ(m.comProfily.polozky.size(), 2u);

  // Choosing automatic updating brings the boxes back, the day list by frequency.
  m.ZvolitAktualizovat();
  EXPECT_TRUE(m.comHodiny.povoleno);
  EXPECT_TRUE(m.comMoznosti.povoleno);
  EXPECT_TRUE(m.comDen.povoleno);
  EXPECT_EQ(m.comDen.polozky.front(), "1.");
}

TEST_F(MoznostiTest, WeeklyWithAnEmptyDaySavesDeletesTheOldJobThenCannotBuildTheNew) {
  const std::uint32_t stara = StaraUloha();
  ModelMoznosti m;
  Automaticky(m, kCetnostTydne, "", "06:00");
  EXPECT_FALSE(m.Ok());
  ASSERT_EQ(ui_.zpravy.size(), 1u);
  EXPECT_EQ(ui_.zpravy[0].text, "Nemáte oprávnění pro vytvoření úlohy plánovaného spuštění.");
  EXPECT_EQ(ui_.zpravy[0].styl, mb::kVykricnik | mb::kSystemoveModalni);
  EXPECT_EQ(ui_.zpravy[0].titulek, "");
  EXPECT_EQ(Sekce("Nastaveni"), (std::vector<std::string>{"SlozkaDat=" + firmaA_, "Cas=06:00",
                                                          "Cetnost=Týdně", "Den="}));
  EXPECT_TRUE(Ulohy().empty());
  EXPECT_EQ(Sekce("Uloha"), (std::vector<std::string>{"ID=" + std::to_string(stara)}));
}

TEST_F(MoznostiTest, MissingInputAndMidnightOfTheNextDayAreRefused) {
  const std::uint32_t stara = StaraUloha();
  auto odmitnuto = [&](ModelMoznosti& m) {
    ui_.zpravy.clear();
    EXPECT_FALSE(m.Ok());
    ASSERT_EQ(ui_.zpravy.size(), 1u);
    EXPECT_EQ(ui_.zpravy[0].text, "Chyba. Vyplňte možnosti.");
    EXPECT_EQ(ui_.zpravy[0].styl, 48 | mb::kSystemoveModalni);
    EXPECT_EQ(ui_.zpravy[0].titulek, "Možnosti aktualizací");
  };
  ModelMoznosti m;
  Automaticky(m, kCetnostDenne, "", "24:00");
  odmitnuto(m);
  m.comHodiny.text = "";
  odmitnuto(m);
  m.comHodiny.text = "23:00";
  m.comMoznosti.text = "";
  odmitnuto(m);
  m.comMoznosti.text = kCetnostDenne;
  m.comProfily.text = "";
  odmitnuto(m);
  // Nothing was written and the old job stands.
  EXPECT_FALSE(ini::CistSekci(Ini(), "Nastaveni"));
  EXPECT_EQ(Ulohy(), (std::set<std::string>{"zevlon-" + std::to_string(stara)}));

  // Manual updating needs no time.
  m.comProfily.text = firmaA_;
  m.comHodiny.text = "";
  m.ZvolitNeaktualizovat();
  ui_.zpravy.clear();
  EXPECT_TRUE(m.Ok());
  EXPECT_TRUE(ui_.zpravy.empty());
}

TEST_F(MoznostiTest, AStoredJobThatIsGoneIsNoObstacle) {
  ASSERT_TRUE(ini::ZapsatKlic(Ini(), "Uloha", "ID", "5"));
  EXPECT_EQ(planovac_.SmazatUlohy("pocitac", 5, 5), kUlohaNenalezena);
  ModelMoznosti m;
  Automaticky(m, kCetnostDenne, "", "02:00");
  EXPECT_TRUE(m.Ok());
  EXPECT_TRUE(ui_.zpravy.empty());
  EXPECT_EQ(Sekce("Uloha"), (std::vector<std::string>{"ID=1"}));
}

TEST_F(MoznostiTest, ARefusalOfTheSchedulerIsSilentAndKeepsTheStoredNumber) {
  const std::uint32_t stara = StaraUloha();
  Planovac bezSlozky(s_ / "neni");
  NastavitPlanovac(&bezSlozky);
  ModelMoznosti m;
  Automaticky(m, kCetnostDenne, "", "02:00");
  EXPECT_TRUE(m.Ok());
  EXPECT_TRUE(ui_.zpravy.empty());
  EXPECT_EQ(Sekce("Uloha"), (std::vector<std::string>{"ID=" + std::to_string(stara)}));
}

TEST_F(MoznostiTest, ASaveThatFailsIsShownAndTouchesNoJob) {
  s_.Zapsat("program/Zevlon.ini", "[Nastaveni]\r\nSlozkaDat=" + firmaB_ + "\r\n");
  const std::uint32_t stara = StaraUloha();
  ASSERT_EQ(chmod(Ini().c_str(), 0444), 0);
  ModelMoznosti m;
  Automaticky(m, kCetnostDenne, "", "02:00");
  EXPECT_FALSE(m.Ok());
  ASSERT_EQ(ui_.zpravy.size(), 1u);
  EXPECT_EQ(ui_.zpravy[0].text, "Nelze zapsat do souboru " + Ini() +
                                    " .\r\nZkontrolujte cestu a oprávnění pro zápis do tohoto "
                                    "souboru.");
  EXPECT_EQ(ui_.zpravy[0].styl, mb::kKriticka | mb::kSystemoveModalni);
  EXPECT_EQ(Ulohy(), (std::set<std::string>{"zevlon-" + std::to_string(stara)}));
  EXPECT_EQ(Sekce("Nastaveni"), (std::vector<std::string>{"SlozkaDat=" + firmaB_}));
}

TEST_F(MoznostiTest, ChangingTheFrequencyRefillsTheDayList) {
  ModelMoznosti m;
  m.ZvolitAktualizovat();
  m.ZmenitCetnost(kCetnostTydne);
  EXPECT_EQ(m.comDen.polozky, (std::vector<std::string>{"Pondělí", "Úterý", "Středa", "Čtvrtek",
                                                        "Pátek", "Sobota", "Neděle"}));
  m.comDen.text = "Sobota";
  m.ZmenitCetnost(kCetnostMesicne);
  EXPECT_EQ(m.comDen.text, "");
  EXPECT_EQ(m.comDen.polozky.size(), 28u);
  m.comDen.text = "9.";
  // Daily leaves the list and the text as they were, but the box goes dead.
  m.ZmenitCetnost(kCetnostDenne);
  EXPECT_FALSE(m.comDen.povoleno);
  EXPECT_EQ(m.comDen.text, "9.");
  EXPECT_EQ(m.comDen.polozky.size(), 28u);
  m.ZvolitNeaktualizovat();
  EXPECT_FALSE(m.comHodiny.povoleno || m.comMoznosti.povoleno || m.comDen.povoleno);
}

TEST_F(MoznostiTest, JobRecordsFromTheTexts) {
  EXPECT_EQ(SestavitZaznamUlohy("7:30", kCetnostTydne, "Neděle").DaysOfWeek, 0x40);
  EXPECT_EQ(SestavitZaznamUlohy("7:30", kCetnostTydne, "Neděle").JobTime, 27'000'000u);
  EXPECT_EQ(SestavitZaznamUlohy("00:00", kCetnostTydne, "3").DaysOfWeek, 0x08);
  EXPECT_EQ(SestavitZaznamUlohy("00:00", kCetnostMesicne, "31.").DaysOfMonth, 0x40000000u);
  EXPECT_EQ(SestavitZaznamUlohy("00:00", kCetnostMesicne, "1.").DaysOfMonth, 1u);
  EXPECT_THROW(SestavitZaznamUlohy("24:00", kCetnostDenne, ""), Chyba);
  EXPECT_THROW(SestavitZaznamUlohy("šest", kCetnostDenne, ""), Chyba);
  EXPECT_THROW(SestavitZaznamUlohy("06:60", kCetnostDenne, ""), Chyba);
  EXPECT_THROW(SestavitZaznamUlohy("06:00", kCetnostTydne, "7"), Chyba);
  EXPECT_THROW(SestavitZaznamUlohy("06:00", kCetnostTydne, "Svátek"), Chyba);
  EXPECT_THROW(SestavitZaznamUlohy("06:00", kCetnostMesicne, "0."), Chyba);
  EXPECT_THROW(SestavitZaznamUlohy("06:00", kCetnostMesicne, ""), Chyba);
  EXPECT_TRUE(JeCasDne("23:59"));
  EXPECT_FALSE(JeCasDne("24:00"));
  EXPECT_FALSE(JeCasDne("6"));
}

}  // namespace
}  // namespace zevlon
