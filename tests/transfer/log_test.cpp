#include "transfer/log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/falesna_platforma.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = sandbox_ / "Zevlon";
    // 6 December 2026, 07:05:09 local time in a fixed zone.
    setenv("TZ", "UTC", 1);
    tzset();
    platforma_.ted = std::chrono::system_clock::from_time_t(1796540709);
  }
  Sandbox sandbox_;
  test::FalesnaPlatforma platforma_;
};

TEST_F(LogTest, FirstLineCreatesTheFileLaterLinesAppend) {
  std::string log = sandbox_ / "Zevlon.log";
  PripsatRadek(log, "prvni");
  PripsatRadek(log, "druhý řádek");
  EXPECT_EQ(sandbox_.Cist("Zevlon.log"), "prvni\r\ndruhý řádek\r\n");
}

TEST_F(LogTest, ErrorLineHasTimeSourceNumberDescriptionAndTheErrorIsRaisedAgain) {
  try {
    ZalogovatChybu(kChybaUzivatele, "Chyba\r\nna dvou řádcích", "mZip32::RozzipovatJednoduse");
    FAIL() << "not raised";
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Cislo(), kChybaUzivatele);
    EXPECT_EQ(c.Popis(), "Chyba\r\nna dvou řádcích");
    EXPECT_EQ(c.Zdroj(), "mZip32::RozzipovatJednoduse");
  }
  EXPECT_EQ(sandbox_.Cist("online_errors.log"),
            "06.12.2026 7:05:09\tmZip32::RozzipovatJednoduse\t-2147221504\t"
            "Chyba\r\nna dvou řádcích\r\n");
}

TEST_F(LogTest, EscapingErrorsAreLoggedUnderTheCallersSource) {
  EXPECT_THROW(SLogovanim("InstalacniSlozka::NacistSnapshot",
                          [] { throw Chyba(53, "nenalezeno", "jinde"); }),
               Chyba);
  EXPECT_NE(sandbox_.Cist("online_errors.log").find("\tInstalacniSlozka::NacistSnapshot\t53\t"),
            std::string::npos);
  EXPECT_EQ(SLogovanim("x", [] { return 42; }), 42);
}

TEST_F(LogTest, ReadOnlyProgramFolderWritesNothingAndStillRaises) {
  std::string slozka = sandbox_.Vytvorit("program");
  ::chmod(sandbox_.Cesta().c_str(), 0755);
  ::chmod(slozka.c_str(), 0555);
  auto v = test::SpustitNeprivilegovane(
      {"zaloguj", slozka + "/Zevlon", "-2147221504", "popis", "mZip32::ZazipovatJednoduse"});
  EXPECT_EQ(v.navratovyKod, 1);
  EXPECT_EQ(v.vystup, "chyba -2147221504\npopis\n");
  EXPECT_FALSE(test::Existuje(slozka + "/online_errors.log"));
}

}  // namespace
}  // namespace zevlon
