#include "platform/planovani/planovac_uzivatele.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/sandbox.h"

namespace zevlon {
namespace {

// A crontab stand-in that keeps the table in a file beside it, or refuses what the
// variable ODMITNOUT names ("-l" or "-") with a message as the real one gives.
class PlanovacUzivateleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = s_.Zapsat(
        "crontab",
        "#!/bin/sh\n"
        "f=\"$(dirname \"$0\")/tabulka\"\n"
        "[ \"$1\" = \"$ODMITNOUT\" ] && { echo \"You are not allowed\" >&2; exit 1; }\n"
        "case \"$1\" in\n"
        "  -l) [ -f \"$f\" ] || { echo \"no crontab for x\" >&2; exit 1; }; cat \"$f\";;\n"
        "  -) cat > \"$f\";;\n"
        "esac\n");
    ::chmod(program_.c_str(), 0755);
  }
  void TearDown() override { ::unsetenv("ODMITNOUT"); }

  test::Sandbox s_;
  std::string program_;
  ZaznamUlohy denne_{0, 0, 0x7F, kUlohaOpakovana | kUlohaNeinteraktivni, "\"/p/Z\""};
};

TEST_F(PlanovacUzivateleTest, OwnLinesAreNumberedAndReplacedTheUsersLinesStay) {
  PlanovacUzivatele p(program_);
  std::uint32_t a = 0, b = 0;
  ASSERT_EQ(p.PridatUlohu("", denne_, a), kPlanovacOk);  // no crontab yet
  s_.Zapsat("tabulka", s_.Cist("tabulka") + "5 4 * * * moje # zevlon-x\n");
  ASSERT_EQ(p.PridatUlohu("", {60'000, 4, 0, kUlohaOpakovana, "/p/Z a"}, b), kPlanovacOk);
  EXPECT_EQ(std::pair(a, b), std::pair(1u, 2u));
  EXPECT_EQ(
      s_.Cist("tabulka"),
      "0 0 * * * '/p/Z' # zevlon-1\n5 4 * * * moje # zevlon-x\n1 0 3 * * '/p/Z' a # zevlon-2\n");
  EXPECT_EQ(p.SmazatUlohy("", 1, 1), kPlanovacOk);
  EXPECT_EQ(p.SmazatUlohy("", 1, 1), kUlohaNenalezena);
  EXPECT_EQ(s_.Cist("tabulka"), "5 4 * * * moje # zevlon-x\n1 0 3 * * '/p/Z' a # zevlon-2\n");
  EXPECT_EQ(p.PosledniChyba(), "");

  // A job that would run once has no line that could remove itself.
  EXPECT_EQ(p.PridatUlohu("", {0, 0, 0x04, kUlohaNeinteraktivni, "/p/Z"}, a),
            kPlanovacNeplatnyParametr);
  EXPECT_EQ(p.PosledniChyba(), kNelzeVyjadrit);
}

TEST_F(PlanovacUzivateleTest, RefusalsOfTheCrontabProgramCarryItsWords) {
  PlanovacUzivatele p(program_);
  std::uint32_t a = 0;
  ::setenv("ODMITNOUT", "-", 1);
  EXPECT_EQ(p.PridatUlohu("", denne_, a), kPlanovacSelhani);
  EXPECT_EQ(p.PosledniChyba(),
            "Crontab uživatele nelze zapsat (" + program_ + " -): You are not allowed");
  ::setenv("ODMITNOUT", "-l", 1);
  EXPECT_EQ(p.SmazatUlohy("", 1, 1), kPlanovacSelhani);
  EXPECT_EQ(p.PosledniChyba(),
            "Crontab uživatele nelze přečíst (" + program_ + " -l): You are not allowed");
  EXPECT_FALSE(test::Existuje(s_ / "tabulka"));
}

}  // namespace
}  // namespace zevlon
