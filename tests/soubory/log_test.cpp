#include "soubory/log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "soubory/pomoc_operaci.h"
#include "support/falesna_platforma.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

TEST(Log, LinesAreAppendedNeverThroughALinkAndErrorsAreLoggedAndRaisedAgain) {
  test::Sandbox s;
  test::FalesnaPlatforma platforma;
  platforma.program = s / "Zevlon";
  setenv("TZ", "UTC", 1);  // 6 December 2026, 07:05:09 local time in a fixed zone
  tzset();
  platforma.ted = std::chrono::system_clock::from_time_t(1796540709);
  PripsatRadek(s / "Zevlon.log", "prvni");
  PripsatRadek(s / "Zevlon.log", "druhý řádek");
  EXPECT_EQ(s.Cist("Zevlon.log"), "prvni\r\ndruhý řádek\r\n");
  ASSERT_EQ(::symlink(s.Zapsat("cil.txt", "").c_str(), (s / "odkaz.log").c_str()), 0);
  PripsatRadek(s / "odkaz.log", "x");
  EXPECT_EQ(s.Cist("cil.txt"), "");

  // An escaping error is logged under the caller's source and raised again.
  EXPECT_THROW(SLogovanim("Zdroj::Volajici", [] { throw Chyba(53, "a\r\nb", "jinde"); }), Chyba);
  EXPECT_EQ(s.Cist("online_errors.log"), "06.12.2026 7:05:09\tZdroj::Volajici\t53\ta – b\r\n");
  // One record, one line: line breaks run on after " – ", an HTTP status is said in Czech.
  for (auto [text, radek] :
       {std::pair{"Nelze se připojit k serveru. (http://x/)\r\nFailed to connect to x port 80",
                  "Nelze se připojit k serveru. (http://x/) – Failed to connect to x port 80"},
        {"http error: 404 Not Found\tx.zip->y", "server odpověděl 404 (nenalezeno)\tx.zip->y"},
        {"http error: 418 I'm a teapot", "server odpověděl 418 (I'm a teapot)"},
        {"Chyba.\r\nSoubor: a.zip\r\n", "Chyba. – Soubor: a.zip"},
        {"a\r\rb\n\tpolozka", "a – b\tpolozka"}})
    EXPECT_EQ(RadekLogu(text), radek);
  EXPECT_EQ(test::Stav(s / "online_errors.log").st_mode & 07777, 0640u);

  // A program folder the user may not write: the line goes to the user's state folder,
  // made for the user alone; without one, nothing is written. The error is raised all
  // the same.
  std::string slozka = s.Vytvorit("program");
  ::chmod(s.Cesta().c_str(), 0755);
  ::chmod(slozka.c_str(), 0555);
  const std::string stav = s.Vytvorit("stav");
  test::PredatNeprivilegovanemu(stav);
  for (const std::string& xdg : {stav + "/hluboko", slozka + "/stav"}) {
    auto v = test::SpustitNeprivilegovane(
        {"zaloguj", slozka + "/Zevlon", "-2147221504", "popis", "mZip32::ZazipovatJednoduse"},
        {"XDG_STATE_HOME=" + xdg, "TZ=UTC"});
    EXPECT_EQ(v.navratovyKod, 1);
    EXPECT_EQ(v.vystup, "chyba -2147221504\npopis\n");
  }
  EXPECT_FALSE(test::Existuje(slozka + "/online_errors.log"));
  EXPECT_FALSE(test::Existuje(slozka + "/stav"));
  std::string log = s.Cist("stav/hluboko/zevlon/online_errors.log");
  EXPECT_NE(log.find("\tmZip32::ZazipovatJednoduse\t-2147221504\tpopis\r\n"), std::string::npos)
      << log;
  EXPECT_EQ(log.find('\n'), log.size() - 1);
  for (const char* cast : {"stav/hluboko", "stav/hluboko/zevlon"})
    EXPECT_EQ(test::Stav(s / cast).st_mode & 07777, 0700u) << cast;
  EXPECT_EQ(test::Stav(s / "stav/hluboko/zevlon/online_errors.log").st_mode & 07777, 0600u);
}

// A log that someone laid in advance, as a link to another file or as a file of another
// user, is never written through; the line is lost instead.
TEST(Log, PlantedLogsAreNeverWrittenThrough) {
  test::Sandbox s;
  test::FalesnaPlatforma platforma;
  platforma.program = s / "Zevlon";
  const std::string cil = s.Zapsat("cil", "cizí");
  ASSERT_EQ(::link(cil.c_str(), (s / "online_errors.log").c_str()), 0);
  ZapsatChybuBehu("chyba", "polozka");
  ASSERT_EQ(::symlink(cil.c_str(), (s / "Zevlon.log").c_str()), 0);
  PripsatRadek(s / "Zevlon.log", "radek");
  EXPECT_EQ(s.Cist("cil"), "cizí");

  if (::geteuid() != 0) GTEST_SKIP() << "a file of another user needs the superuser to lay it";
  ::unlink((s / "online_errors.log").c_str());
  const std::string cizi = s.Zapsat("online_errors.log", "jeho");
  test::PredatNeprivilegovanemu(cizi);
  EXPECT_THROW(ZalogovatChybu(5, "popis", "Zdroj"), Chyba);
  EXPECT_EQ(s.Cist("online_errors.log"), "jeho");
}

}  // namespace
}  // namespace zevlon
