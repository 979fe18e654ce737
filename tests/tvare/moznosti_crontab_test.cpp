// The options window of a user who is not root, run as such a user with the real crontab
// program: the job goes into the user's own crontab.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/text.h"
#include "platform/nahrady/ini.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"
#include "tvare/moznosti.h"

namespace zevlon {
namespace {

using Texty = std::vector<std::string>;

class MoznostiUzivatele : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::Existuje("/usr/bin/crontab"))
      GTEST_SKIP() << "no crontab program (Debian package cron)";
    Crontab({"-r"});
    ASSERT_EQ(Crontab({"-"}, kVlastni).kod, 0);
    s_.Zapsat("program/Zevlon", "#!program");
    s_.Zapsat("program/Zevlon.ini", "[Nastaveni]\r\nSlozkaDat=/data/B/\r\n[Server]\r\nA=b\r\n");
    ::chmod(s_.Cesta().c_str(), 0755);
    for (const char* cesta : {"program", "program/Zevlon.ini"})
      test::PredatNeprivilegovanemu(s_ / cesta);
  }
  void TearDown() override { Crontab({"-r"}); }

  // crontab run as the other user.
  static test::VysledekProcesu Crontab(const Texty& argumenty, std::string_view vstup = "") {
    Texty a = test::JakoNeprivilegovany();
    a.push_back("/usr/bin/crontab");
    a.insert(a.end(), argumenty.begin(), argumenty.end());
    return test::SpustitSeVstupem(a, vstup);
  }
  // OK in the options window as the other user; its messages and "ok" or "odmitnuto".
  Texty Ok(const std::string& cetnost, const std::string& den, const std::string& cas,
           const Texty& prostredi = {}) {
    auto v = test::SpustitNeprivilegovane({"moznosti", program_, "/data/A/", cetnost, den, cas},
                                          prostredi);
    EXPECT_EQ(v.navratovyKod, 0) << v.vystup;
    return Rozdelit(Orezat(v.vystup, "\n"), '\n');
  }
  Texty Sekce(const std::string& sekce) const {
    return ini::CistSekci(s_ / "program/Zevlon.ini", sekce).value_or(Texty{"<žádná>"});
  }
  // The job's line: the program after its random delay of NahodneZpozdeni minutes.
  std::string Radek(const std::string& cas, const std::string& zpozdeni = " --zpozdeni 30") const {
    return cas + " '" + program_ + "'" + zpozdeni;
  }

  static constexpr const char* kVlastni = "# moje\n17 3 * * * echo vlastni\n";
  test::Sandbox s_;
  std::string program_ = s_ / "program/Zevlon";
};

TEST_F(MoznostiUzivatele, ScheduleReplacesOnlyItsOwnLineOfTheUsersCrontabOrNothingIsSaved) {
  EXPECT_EQ(Ok(kCetnostTydne, "Středa", "06:00"), Texty{"ok"});
  EXPECT_EQ(Crontab({"-l"}).vystup, kVlastni + Radek("0 6 * * 3") + " # zevlon-1\n");
  EXPECT_EQ(Sekce("Nastaveni"),
            (Texty{"SlozkaDat=/data/A/", "Cas=06:00", "Cetnost=Týdně", "Den=Středa"}));
  EXPECT_EQ(Sekce("Uloha"), Texty{"ID=1"});

  // Another schedule takes the place of the first.
  EXPECT_EQ(Ok(kCetnostDenne, "", "05:00"), Texty{"ok"});
  EXPECT_EQ(Crontab({"-l"}).vystup, kVlastni + Radek("0 5 * * *") + " # zevlon-2\n");
  EXPECT_EQ(Sekce("Uloha"), Texty{"ID=2"});

  // Without a crontab program nothing is registered, and the options say nothing else.
  EXPECT_EQ(Ok(kCetnostMesicne, "3.", "04:00", {"PATH=/nonexistent"}),
            (Texty{"zprava: Nemáte oprávnění pro vytvoření úlohy plánovaného spuštění.\r",
                   "Plánovač cron není k dispozici: program crontab nebyl nalezen.", "odmitnuto"}));
  EXPECT_EQ(Sekce("Nastaveni"), (Texty{"SlozkaDat=/data/A/", "Cas=05:00", "Cetnost=Denně"}));
  EXPECT_EQ(Crontab({"-l"}).vystup, kVlastni + Radek("0 5 * * *") + " # zevlon-2\n");

  // Manual updating removes our line and keeps the user's.
  EXPECT_EQ(Ok("rucne", "", ""), Texty{"ok"});
  EXPECT_EQ(Crontab({"-l"}).vystup, kVlastni);
  EXPECT_EQ(Sekce("Nastaveni"), Texty{"SlozkaDat=/data/A/"});
  EXPECT_EQ(Sekce("Server"), Texty{"A=b"});

  // The delay follows NahodneZpozdeni; 0 starts the run at the minute.
  for (const auto& [minut, zpozdeni] : {std::pair{"5", " --zpozdeni 5"}, {"0", ""}}) {
    ini::ZapsatKlic(s_ / "program/Zevlon.ini", "Server", "NahodneZpozdeni", minut);
    test::PredatNeprivilegovanemu(s_ / "program/Zevlon.ini");
    EXPECT_EQ(Ok(kCetnostDenne, "", "05:00"), Texty{"ok"});
    EXPECT_TRUE(
        Crontab({"-l"}).vystup.starts_with(kVlastni + Radek("0 5 * * *", zpozdeni) + " # zevlon-"))
        << Crontab({"-l"}).vystup;
  }
}

}  // namespace
}  // namespace zevlon
