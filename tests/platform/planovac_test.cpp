#include "platform/planovac.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "common/text.h"
#include "support/falesna_platforma.h"
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
  for (const char* jmeno : {"zevlon-1", "zevlon-3", "zevlon-02", "anacron"})
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
                                              "zevlon-3", "zevlon-4"}));
  EXPECT_EQ(s.Cist("cron/zevlon-3"), "x\n");

  // Deleting a range removes exactly the jobs numbered in it; with none: 3806.
  EXPECT_EQ(planovac.SmazatUlohy("", 2, 3), kPlanovacOk);
  EXPECT_EQ(soubory(), (std::set<std::string>{"anacron", "zevlon-02", "zevlon-1", "zevlon-4"}));
  EXPECT_EQ(planovac.SmazatUlohy("", 2, 3), 3806u);

  // A job that does not repeat removes its own file first.
  ASSERT_EQ(planovac.PridatUlohu("", Zaznam(0, 0, 0x04, "\"/p/Z\"", kUlohaNeinteraktivni), a),
            kPlanovacOk);
  EXPECT_EQ(Rozdelit(s.Cist("cron/zevlon-2"), '\n').at(1),
            "0 0 * * 3 root rm -f '" + cron + "/zevlon-2'; '/p/Z'");
  // A record that cannot be a cron line (a second line smuggled in) writes nothing.
  EXPECT_EQ(planovac.PridatUlohu("", Zaznam(0, 0, 0x7F, "\"/p/Z\"\n* * * * * root id"), a),
            kPlanovacNeplatnyParametr);
  EXPECT_EQ(soubory().size(), 5u);
}

TEST(PlanovacTest, QuotingSurvivesCronAndTheShell) {
  test::Sandbox s;
  const std::string cesta = "/opt/a b/it's 100%/$HOME/`id`/\\Zevlon";
  const std::string citovany = CitovatProCron(cesta);
  EXPECT_EQ(citovany, "'/opt/a b/it'\\''s 100\\%/$HOME/`id`/\\Zevlon'");
  // What sh receives once cron has taken its "\%" escapes back.
  const std::string vystup = s / "vystup";
  ASSERT_EQ(
      std::system(
          ("printf '%s' " + NahraditVse(citovany, "\\%", "%") + " > '" + vystup + "'").c_str()),
      0);
  EXPECT_EQ(s.Cist("vystup"), cesta);
}

// A packaged build's job may outlive the package (removed, not purged): cron then runs a
// line whose program is gone, which must stay silent instead of mailing an error each time.
TEST(PlanovacTest, APackagedBuildsJobRunsTheProgramOnlyWhileItIsInstalled) {
  test::Sandbox s;
  test::FalesnaPlatforma platforma;
  platforma.balicek = true;
  const std::string program = s / "lib/Zevlon";
  std::string radek;
  ASSERT_TRUE(RadekCron(Zaznam(21'600'000, 0, 0x04, "\"" + program + "\""), "", radek));
  const std::string pred = "0 6 * * 3 root ";
  ASSERT_EQ(radek.substr(0, pred.size()), pred);
  const std::string prikaz = radek.substr(pred.size());
  auto spustit = [&] {
    return std::system(("(" + prikaz + ") > '" + (s / "vystup") + "' 2>&1").c_str());
  };
  spustit();
  EXPECT_EQ(s.Cist("vystup"), "");
  s.Zapsat("lib/Zevlon", "#!/bin/sh\necho spusten\n");
  ::chmod(program.c_str(), 0755);
  EXPECT_EQ(spustit(), 0);
  EXPECT_EQ(s.Cist("vystup"), "spusten\n");
  // The one-off job still removes its file first.
  ASSERT_TRUE(RadekCron(Zaznam(0, 0, 0x04, "\"" + program + "\"", kUlohaNeinteraktivni),
                        "/etc/cron.d/zevlon-1", radek));
  EXPECT_EQ(radek.find("0 0 * * 3 root rm -f '/etc/cron.d/zevlon-1'; "), 0u) << radek;
}

}  // namespace
}  // namespace zevlon
