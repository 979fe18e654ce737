#include "platform/planovani/planovac.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "common/text.h"
#include "platform/planovani/planovac_systemd.h"
#include "platform/procesy/proces.h"
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

// Where systemd runs the machine, root's job is a timer and a service: the units as
// written (checked by systemd-analyze where it is installed), made active by systemctl, the
// cron job of the same schedule gone; removing the job disables and removes both units.
TEST(PlanovacTest, WithSystemdAJobIsATimerThatSpreadsTheRunsAndCatchesUp) {
  test::Sandbox s;
  const std::string jednotky = s.Vytvorit("jednotky"), cron = s.Vytvorit("cron");
  const std::string systemctl = s.Zapsat("systemctl",
                                         "#!/bin/sh\necho \"$*\" >> \"$(dirname \"$0\")/volano\"\n"
                                         "[ -e \"$(dirname \"$0\")/selhat\" ] && { echo 'Failed to "
                                         "enable unit' >&2; exit 1; }\nexit 0\n");
  ::chmod(systemctl.c_str(), 0755);
  s.Zapsat("cron/zevlon-1", "# Zevlon\n30 2 * * 1 root '/usr/lib/zevlon/Zevlon'\n");
  s.Zapsat("cron/zevlon-3", "# Zevlon\n0 5 * * * root '/usr/lib/zevlon/Zevlon'\n");
  PlanovacSystemd planovac(jednotky, cron, systemctl);
  std::uint32_t cislo = 0;
  ASSERT_EQ(planovac.PridatUlohu(
                "", Zaznam(9'000'000, 0, 0x01, "\"/usr/lib/zevlon/Zevlon\" --zpozdeni 30"), cislo),
            kPlanovacOk)
      << planovac.PosledniChyba();
  EXPECT_EQ(cislo, 2u);  // numbers are shared with the cron jobs
  EXPECT_EQ(s.Cist("jednotky/zevlon-2.service"),
            "# Zevlon: naplánovaná aktualizace Dunmor Merko, úloha 2\n"
            "[Unit]\nDescription=Zevlon: aktualizace Dunmor Merko (úloha 2)\n"
            "After=network-online.target\nWants=network-online.target\n"
            "ConditionFileIsExecutable=/usr/lib/zevlon/Zevlon\n\n"
            "[Service]\nType=oneshot\nExecStart=\"/usr/lib/zevlon/Zevlon\"\n"
            "SuccessExitStatus=2\n");
  // A service scheduled by an older version gets the same from the package's configuration,
  // once.
  {
    const std::string koren = s.Vytvorit("koren"), nova = s.Cist("jednotky/zevlon-2.service");
    s.Zapsat("koren/usr/share/zevlon/Zevlon.ini", "[Server]\r\n");
    s.Zapsat("koren/etc/systemd/system/zevlon-2.service",
             nova.substr(0, nova.find("SuccessExitStatus")));
    for (int i = 0; i < 2; ++i) {
      const VysledekPrikazu v = ProvestPrikaz({"/usr/bin/env", "DPKG_ROOT=" + koren, "/bin/sh",
                                               ZEVLON_ZDROJE "/balicek/postinst", "configure"});
      EXPECT_EQ(v.kod, 0) << v.vystup << v.chyby;
      EXPECT_EQ(s.Cist("koren/etc/systemd/system/zevlon-2.service"), nova);
    }
    EXPECT_EQ(s.Cist("koren/etc/zevlon/Zevlon.ini"), "[Server]\r\n");
  }
  EXPECT_EQ(s.Cist("jednotky/zevlon-2.timer"),
            "# Zevlon: naplánovaná aktualizace Dunmor Merko, úloha 2\n"
            "[Unit]\nDescription=Zevlon: naplánovaná aktualizace Dunmor Merko (úloha 2)\n\n"
            "[Timer]\nOnCalendar=Mon *-*-* 02:30:00\nRandomizedDelaySec=30min\n"
            "Persistent=true\n\n[Install]\nWantedBy=timers.target\n");
  EXPECT_EQ(s.Cist("volano"), "daemon-reload\nenable --now zevlon-2.timer\n");
  // The earlier cron job of the same schedule is gone, another schedule's stays.
  EXPECT_FALSE(test::Existuje(cron + "/zevlon-1"));
  EXPECT_TRUE(test::Existuje(cron + "/zevlon-3"));
  if (test::Existuje("/usr/bin/systemd-analyze")) {
    ::chmod(s.Zapsat("overit/Zevlon", "#!/bin/sh\n").c_str(), 0755);
    const std::string sluzba = NahraditVse(s.Cist("jednotky/zevlon-2.service"),
                                           "/usr/lib/zevlon/Zevlon", s / "overit/Zevlon");
    s.Zapsat("overit/zevlon-2.service", sluzba);
    s.Zapsat("overit/zevlon-2.timer", s.Cist("jednotky/zevlon-2.timer"));
    const VysledekPrikazu v =
        ProvestPrikaz({"/usr/bin/systemd-analyze", "verify", "--man=no",
                       s / "overit/zevlon-2.timer", s / "overit/zevlon-2.service"});
    EXPECT_EQ(v.kod, 0) << v.vystup << v.chyby;
  } else {
    std::fprintf(stderr, "systemd-analyze is not installed: the units are not verified\n");
  }

  // Each frequency as its calendar line; a job without the delay has none.
  const struct {
    ZaznamUlohy zaznam;
    const char* kalendar;
  } kPripady[] = {
      {Zaznam(79'199'000, 0, 0x7F, "\"/p/Z\""), "OnCalendar=*-*-* 21:59:59\nPersistent"},
      {Zaznam(0, 1u << 14, 0, "\"/p/Z\" --zpozdeni 5"),
       "OnCalendar=*-*-15 00:00:00\nRandomizedDelaySec=5min\nPersistent"},
      {Zaznam(3'600'000, 1, 0x41, "\"/p/Z\""),
       "OnCalendar=Mon,Sun *-*-* 01:00:00\nOnCalendar=*-*-01 01:00:00\nPersistent"},
  };
  for (const auto& p : kPripady) {
    std::string sluzba, casovac;
    ASSERT_TRUE(JednotkySystemd(p.zaznam, 7, sluzba, casovac)) << p.kalendar;
    EXPECT_NE(casovac.find(std::string("[Timer]\n") + p.kalendar), std::string::npos) << casovac;
  }

  // Removing the job disables the timer and removes both units and the cron job of its
  // number.
  s.Zapsat("cron/zevlon-2", "# Zevlon\n0 1 * * * root '/p/Z'\n");
  ASSERT_EQ(planovac.SmazatUlohy("", 2, 2), kPlanovacOk) << planovac.PosledniChyba();
  EXPECT_FALSE(test::Existuje(jednotky + "/zevlon-2.timer"));
  EXPECT_FALSE(test::Existuje(jednotky + "/zevlon-2.service"));
  EXPECT_FALSE(test::Existuje(cron + "/zevlon-2"));
  EXPECT_EQ(s.Cist("volano"),
            "daemon-reload\nenable --now zevlon-2.timer\ndisable --now zevlon-2.timer\n"
            "daemon-reload\n");
  EXPECT_EQ(planovac.SmazatUlohy("", 2, 2), kUlohaNenalezena);

  // A timer that systemctl will not enable is not left behind, and says why.
  s.Zapsat("selhat", "");
  EXPECT_EQ(planovac.PridatUlohu("", Zaznam(0, 0, 0x7F, "\"/p/Z\""), cislo), kPlanovacSelhani);
  EXPECT_NE(planovac.PosledniChyba().find("selhal: Failed to enable unit"), std::string::npos)
      << planovac.PosledniChyba();
  EXPECT_TRUE(std::filesystem::is_empty(jednotky));
}

}  // namespace
}  // namespace zevlon
