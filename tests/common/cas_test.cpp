#include "common/cas.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace zevlon {
namespace {

TEST(Cas, UtcFormRoundTripsAndRejectsWhatIsNotADate) {
  for (UtcCas t : {UtcCas{0}, UtcCas{1396246502}, UtcCas{951782400} /* 2000-02-29 */,
                   UtcCas{4102444799} /* 2099-12-31 23:59:59 */}) {
    auto zpet = ParsovatUtc(FormatUtc(t));
    ASSERT_TRUE(zpet.has_value()) << FormatUtc(t);
    EXPECT_EQ(*zpet, t);
  }
  EXPECT_EQ(FormatUtc(1396246502), "2014-03-31 06:15:02");
  EXPECT_EQ(ParsovatUtc("2014-3-31 6:15:02"), UtcCas{1396246502});
  EXPECT_EQ(ParsovatUtc("2014-03-31T06:15:02"), UtcCas{1396246502});
  EXPECT_EQ(ParsovatUtc("2014-03-31"), UtcCas{1396224000});
  for (const char* spatne :
       {"", "2014-02-29 00:00:00", "2014-13-01 00:00:00", "2014-03-31 24:00:00",
        "2014-03-31 06:15:02x", "abc", "31.03.2014 06:15:02"})
    EXPECT_FALSE(ParsovatUtc(spatne).has_value()) << spatne;
}

TEST(Cas, LocalStampsUseTheLocalZone) {
  const char* puvodni = std::getenv("TZ");
  std::string zaloha = puvodni ? puvodni : "";
  setenv("TZ", "Europe/Prague", 1);
  tzset();
  auto t = std::chrono::system_clock::from_time_t(1396246502);  // 06:15:02 UTC, summer time
  EXPECT_EQ(MistniRazitko14(t), "20140331081502");
  EXPECT_EQ(MistniRazitkoLogu(t), "31.03.2014 8:15:02");
  EXPECT_EQ(MistniCasIso(t), "2014-03-31T08:15:02+02:00");
  EXPECT_EQ(MistniCasIso(t - std::chrono::hours(24 * 31)), "2014-02-28T07:15:02+01:00");
  EXPECT_EQ(ParsovatCasIso(MistniCasIso(t)), UtcCas{1396246502});
  if (puvodni)
    setenv("TZ", zaloha.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

// A span of the day: inside, outside, across midnight; its ends as a person writes them.
TEST(Cas, SpansOfTheDayHoldInsideAndMayCrossMidnight) {
  const struct {
    const char* usek;
    int minuta;
    bool uvnitr;
  } pripady[] = {
      {"08:00-17:00", 8 * 60, true},      {"08:00-17:00", 16 * 60 + 59, true},
      {"08:00-17:00", 17 * 60, false},    {"08:00-17:00", 7 * 60 + 59, false},
      {"22:00-6:30", 23 * 60, true},      {"22:00-6:30", 3 * 60, true},
      {"22:00-6:30", 6 * 60 + 30, false}, {"22:00-6:30", 12 * 60, false},
  };
  for (const auto& p : pripady) {
    const auto u = CistUsekDne(p.usek);
    ASSERT_TRUE(u.has_value()) << p.usek;
    EXPECT_EQ(u->Obsahuje(p.minuta), p.uvnitr) << p.usek << " " << p.minuta;
  }
  for (const char* spatne : {"", "08:00", "8-17", "08:00-24:00", "08:00-08:00", "08:00 17:00"})
    EXPECT_FALSE(CistUsekDne(spatne).has_value()) << spatne;
}

}  // namespace
}  // namespace zevlon
