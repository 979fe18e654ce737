#include "platform/planovac.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "common/text.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

class PlanovacTest : public ::testing::Test {
 protected:
  std::set<std::string> Soubory() const {
    std::set<std::string> jmena;
    DIR* d = opendir(cron_.c_str());
    if (!d) return jmena;
    while (dirent* p = readdir(d)) {
      std::string j = p->d_name;
      if (j != "." && j != "..") jmena.insert(j);
    }
    closedir(d);
    return jmena;
  }
  // The job line of a job file (the line after the comment).
  std::string Radek(std::uint32_t cislo) const {
    std::vector<std::string> radky =
        Rozdelit(s_.Cist("cron/zevlon-" + std::to_string(cislo)), '\n');
    EXPECT_EQ(radky.size(), 3u);  // comment, job, and the empty piece after the last LF
    EXPECT_TRUE(ZacinaNa(radky.at(0), "#"));
    EXPECT_EQ(radky.back(), "");
    return radky.at(1);
  }
  static ZaznamUlohy Zaznam(std::uint32_t cas, std::uint32_t dnyMesice, std::uint8_t dnyTydne,
                            const std::string& prikaz = "\"/opt/zevlon/Zevlon\"",
                            std::uint8_t priznaky = kUlohaOpakovana | kUlohaNeinteraktivni) {
    return ZaznamUlohy{cas, dnyMesice, dnyTydne, priznaky, prikaz};
  }

  Sandbox s_;
  std::string cron_ = s_.Vytvorit("cron");
  Planovac planovac_{cron_};
};

TEST_F(PlanovacTest, WeeklyJobBecomesOneCronFileRunAsRootWithMode0644) {
  std::uint32_t cislo = 0;
  ASSERT_EQ(planovac_.PridatUlohu("pocitac", Zaznam(21'600'000, 0, 0x04), cislo), kPlanovacOk);
  EXPECT_EQ(cislo, 1u);
  EXPECT_EQ(Soubory(), (std::set<std::string>{"zevlon-1"}));  // no temporary file left
  EXPECT_EQ(Radek(1), "0 6 * * 3 root '/opt/zevlon/Zevlon'");
  struct stat st {};
  ASSERT_EQ(stat((cron_ + "/zevlon-1").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST_F(PlanovacTest, NumbersAreTheLowestFreeFromOneAndOtherFilesAreLeftAlone) {
  s_.Zapsat("cron/zevlon-1", "x\n");
  s_.Zapsat("cron/zevlon-3", "x\n");
  s_.Zapsat("cron/zevlon-02", "x\n");
  s_.Zapsat("cron/zevlon-x", "x\n");
  s_.Zapsat("cron/anacron", "x\n");
  std::uint32_t a = 0, b = 0;
  ASSERT_EQ(planovac_.PridatUlohu("", Zaznam(0, 0, 0x7F), a), kPlanovacOk);
  ASSERT_EQ(planovac_.PridatUlohu("", Zaznam(0, 0, 0x7F), b), kPlanovacOk);
  EXPECT_EQ(a, 2u);
  EXPECT_EQ(b, 4u);
  EXPECT_EQ(s_.Cist("cron/zevlon-3"), "x\n");

  // Deleting a range removes exactly the jobs numbered in it.
  EXPECT_EQ(planovac_.SmazatUlohy("", 2, 3), kPlanovacOk);
  EXPECT_EQ(Soubory(),
            (std::set<std::string>{"anacron", "zevlon-02", "zevlon-1", "zevlon-4", "zevlon-x"}));
  EXPECT_EQ(planovac_.SmazatUlohy("", 4, 4), kPlanovacOk);
  EXPECT_FALSE(test::Existuje(cron_ + "/zevlon-4"));
}

TEST_F(PlanovacTest, DeletingAJobThatIsNotRegisteredAnswers3806) {
  EXPECT_EQ(planovac_.SmazatUlohy("", 7, 7), kUlohaNenalezena);
  std::uint32_t cislo = 0;
  ASSERT_EQ(planovac_.PridatUlohu("", Zaznam(0, 1, 0), cislo), kPlanovacOk);
  EXPECT_EQ(planovac_.SmazatUlohy("", cislo, cislo), kPlanovacOk);
  EXPECT_EQ(planovac_.SmazatUlohy("", cislo, cislo), 3806u);
}

TEST_F(PlanovacTest, MissingCronFolderIsAPathNotFound) {
  Planovac jinde(s_ / "neni");
  std::uint32_t cislo = 0;
  EXPECT_EQ(jinde.PridatUlohu("", Zaznam(0, 0, 0x7F), cislo), kPlanovacCestaNenalezena);
  EXPECT_EQ(jinde.SmazatUlohy("", 1, 1), kPlanovacCestaNenalezena);
}

TEST_F(PlanovacTest, FieldsOfTheCronLine) {
  std::string r;
  ASSERT_TRUE(RadekCron(Zaznam(79'200'000, 0x4000, 0), "/c/zevlon-1", r));
  EXPECT_EQ(r, "0 22 15 * * root '/opt/zevlon/Zevlon'");
  ASSERT_TRUE(RadekCron(Zaznam((7 * 3600 + 30 * 60) * 1000, 0, 0x7F), "/c/zevlon-1", r));
  EXPECT_EQ(r, "30 7 * * * root '/opt/zevlon/Zevlon'");
  // Monday is cron's 1, Sunday its 0.
  ASSERT_TRUE(RadekCron(Zaznam(60'000, 0, 0x41), "/c/zevlon-1", r));
  EXPECT_EQ(r, "1 0 * * 0,1 root '/opt/zevlon/Zevlon'");
  ASSERT_TRUE(RadekCron(Zaznam(86'399'999, 0x40000001, 0x20), "/c/zevlon-1", r));
  EXPECT_EQ(r, "59 23 1,31 * 6 root '/opt/zevlon/Zevlon'");
  // Arguments after the quoted program are items of their own.
  ASSERT_TRUE(RadekCron(Zaznam(0, 0, 0x7F, "\"/opt/Z z/Zevlon\" Hotovo  \"a b\""), "/c/x", r));
  EXPECT_EQ(r, "0 0 * * * root '/opt/Z z/Zevlon' 'Hotovo' 'a b'");
}

TEST_F(PlanovacTest, AJobThatDoesNotRepeatRemovesItsOwnFileFirst) {
  std::uint32_t cislo = 0;
  ASSERT_EQ(planovac_.PridatUlohu("", Zaznam(0, 0, 0x04, "\"/p/Z\"", kUlohaNeinteraktivni), cislo),
            kPlanovacOk);
  EXPECT_EQ(Radek(cislo), "0 0 * * 3 root rm -f '" + cron_ + "/zevlon-1'; '/p/Z'");
  // Periodic but without a day: the next matching time, once.
  std::string r;
  ASSERT_TRUE(RadekCron(Zaznam(0, 0, 0), "/c/zevlon-9", r));
  EXPECT_EQ(r, "0 0 * * * root rm -f '/c/zevlon-9'; '/opt/zevlon/Zevlon'");
}

TEST_F(PlanovacTest, RecordsThatCannotBeExpressedAreRefused) {
  std::string r;
  EXPECT_FALSE(RadekCron(Zaznam(86'400'000, 0, 0x7F), "/c/x", r));  // 24:00
  EXPECT_FALSE(RadekCron(Zaznam(0, 0x80000000u, 0), "/c/x", r));    // day 32
  EXPECT_FALSE(RadekCron(Zaznam(0, 0, 0x80), "/c/x", r));           // an eighth weekday
  EXPECT_FALSE(RadekCron(Zaznam(0, 0, 0x7F, "\"/p/Z\"\n* * * * * root rm -rf /"), "/c/x", r));
  EXPECT_FALSE(RadekCron(Zaznam(0, 0, 0x7F, "/p/Z\r"), "/c/x", r));
  EXPECT_FALSE(RadekCron(Zaznam(0, 0, 0x7F, ""), "/c/x", r));
  EXPECT_FALSE(RadekCron(Zaznam(0, 0, 0x7F, "\"\""), "/c/x", r));
  std::uint32_t cislo = 0;
  EXPECT_EQ(planovac_.PridatUlohu("", Zaznam(0, 0, 0x7F, "/p/Z\n"), cislo),
            kPlanovacNeplatnyParametr);
  EXPECT_TRUE(Soubory().empty());
}

// What sh receives from a quoted text once cron has taken its "\%" escapes back.
std::string JakSh(const std::string& citovany) {
  std::string prikaz = "printf '%s' " + NahraditVse(citovany, "\\%", "%");
  FILE* p = popen(prikaz.c_str(), "r");
  std::string vystup;
  char buf[256];
  while (std::size_t n = fread(buf, 1, sizeof buf, p))
    vystup.append(buf, n);
  pclose(p);
  return vystup;
}

TEST_F(PlanovacTest, QuotingSurvivesCronAndTheShell) {
  const std::string cesta = "/opt/a b/it's 100%/$HOME/`id`/\\Zevlon";
  const std::string citovany = CitovatProCron(cesta);
  EXPECT_EQ(citovany, "'/opt/a b/it'\\''s 100\\%/$HOME/`id`/\\Zevlon'");
  // Every "%" is escaped, so cron never cuts the command.
  for (std::size_t i = citovany.find('%'); i != std::string::npos; i = citovany.find('%', i + 1))
    EXPECT_EQ(citovany[i - 1], '\\');
  EXPECT_EQ(JakSh(citovany), cesta);
}

}  // namespace
}  // namespace zevlon
