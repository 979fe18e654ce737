#include "platform/planovac.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "common/text.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

ZaznamUlohy Zaznam(std::uint32_t cas, std::uint32_t dnyMesice, std::uint8_t dnyTydne,
                   const std::string& prikaz = "\"/opt/zevlon/Zevlon\"",
                   std::uint8_t priznaky = kUlohaOpakovana | kUlohaNeinteraktivni) {
  return ZaznamUlohy{cas, dnyMesice, dnyTydne, priznaky, prikaz};
}

TEST(PlanovacTest, JobsAreCronFilesNumberedFromTheLowestFree) {
  test::Sandbox s;
  const std::string cron = s.Vytvorit("cron");
  auto soubory = [&] {
    std::set<std::string> jmena;
    for (const auto& polozka : std::filesystem::directory_iterator(cron))
      jmena.insert(polozka.path().filename());
    return jmena;
  };
  for (const char* jmeno : {"zevlon-1", "zevlon-3", "zevlon-02", "zevlon-x", "anacron"})
    s.Zapsat(std::string("cron/") + jmeno, "x\n");
  Planovac planovac(cron);
  std::uint32_t a = 0, b = 0;
  ASSERT_EQ(planovac.PridatUlohu("pocitac", Zaznam(21'600'000, 0, 0x04), a), kPlanovacOk);
  ASSERT_EQ(planovac.PridatUlohu("", Zaznam(0, 0, 0x7F), b), kPlanovacOk);
  EXPECT_EQ(std::pair(a, b), std::pair(2u, 4u));
  EXPECT_EQ(s.Cist("cron/zevlon-2"),
            "# Zevlon: naplánovaná aktualizace Dunmor Merko, úloha 2\n"
            "0 6 * * 3 root '/opt/zevlon/Zevlon'\n");
  struct stat st {};
  ASSERT_EQ(stat((cron + "/zevlon-2").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  // No temporary file is left; other files are not touched.
  EXPECT_EQ(soubory(), (std::set<std::string>{"anacron", "zevlon-02", "zevlon-1", "zevlon-2",
                                              "zevlon-3", "zevlon-4", "zevlon-x"}));
  EXPECT_EQ(s.Cist("cron/zevlon-3"), "x\n");

  // Deleting a range removes exactly the jobs numbered in it; with none: 3806.
  EXPECT_EQ(planovac.SmazatUlohy("", 2, 3), kPlanovacOk);
  EXPECT_EQ(soubory(),
            (std::set<std::string>{"anacron", "zevlon-02", "zevlon-1", "zevlon-4", "zevlon-x"}));
  EXPECT_EQ(planovac.SmazatUlohy("", 2, 3), 3806u);

  // A job that does not repeat removes its own file first.
  ASSERT_EQ(planovac.PridatUlohu("", Zaznam(0, 0, 0x04, "\"/p/Z\"", kUlohaNeinteraktivni), a),
            kPlanovacOk);
  EXPECT_EQ(Rozdelit(s.Cist("cron/zevlon-2"), '\n').at(1),
            "0 0 * * 3 root rm -f '" + cron + "/zevlon-2'; '/p/Z'");
  // A record that cannot be a cron line writes nothing.
  EXPECT_EQ(planovac.PridatUlohu("", Zaznam(0, 0, 0x7F, "/p/Z\n"), a), kPlanovacNeplatnyParametr);
  EXPECT_EQ(soubory().size(), 6u);

  Planovac jinde(s / "neni");
  EXPECT_EQ(jinde.PridatUlohu("", Zaznam(0, 0, 0x7F), a), kPlanovacCestaNenalezena);
  EXPECT_EQ(jinde.SmazatUlohy("", 1, 1), kPlanovacCestaNenalezena);
}

TEST(PlanovacTest, CronLinesOfRecords) {
  const std::string program = " root '/opt/zevlon/Zevlon'";
  const std::pair<ZaznamUlohy, std::string> pripady[] = {
      {Zaznam((7 * 3600 + 30 * 60) * 1000, 0, 0x7F), "30 7 * * *" + program},
      {Zaznam(60'000, 0, 0x41), "1 0 * * 0,1" + program},  // Monday is cron's 1, Sunday its 0
      {Zaznam(86'399'999, 0x40000001, 0x20), "59 23 1,31 * 6" + program},
      // Arguments after the quoted program are items of their own.
      {Zaznam(0, 0, 0x7F, "\"/opt/Z z/Zevlon\" Hotovo  \"a b\""),
       "0 0 * * * root '/opt/Z z/Zevlon' 'Hotovo' 'a b'"},
      // Periodic but without a day: the next matching time, once.
      {Zaznam(0, 0, 0), "0 0 * * * root rm -f '/c/zevlon-9'; '/opt/zevlon/Zevlon'"},
      // Refused: 24:00, day 32, an eighth weekday, no program, line breaks.
      {Zaznam(86'400'000, 0, 0x7F), ""},
      {Zaznam(0, 0x80000000u, 0), ""},
      {Zaznam(0, 0, 0x80), ""},
      {Zaznam(0, 0, 0x7F, ""), ""},
      {Zaznam(0, 0, 0x7F, "\"\""), ""},
      {Zaznam(0, 0, 0x7F, "\"/p/Z\"\n* * * * * root rm -rf /"), ""},
      {Zaznam(0, 0, 0x7F, "/p/Z\r"), ""},
  };
  for (const auto& [zaznam, radek] : pripady) {
    std::string r;
    EXPECT_EQ(RadekCron(zaznam, "/c/zevlon-9", r) ? r : "", radek) << zaznam.Command;
  }
}

TEST(PlanovacTest, QuotingSurvivesCronAndTheShell) {
  const std::string cesta = "/opt/a b/it's 100%/$HOME/`id`/\\Zevlon";
  const std::string citovany = CitovatProCron(cesta);
  EXPECT_EQ(citovany, "'/opt/a b/it'\\''s 100\\%/$HOME/`id`/\\Zevlon'");
  // What sh receives once cron has taken its "\%" escapes back.
  FILE* p = popen(("printf '%s' " + NahraditVse(citovany, "\\%", "%")).c_str(), "r");
  std::string vystup;
  char buf[256];
  while (std::size_t n = fread(buf, 1, sizeof buf, p))
    vystup.append(buf, n);
  pclose(p);
  EXPECT_EQ(vystup, cesta);
}

}  // namespace
}  // namespace zevlon
