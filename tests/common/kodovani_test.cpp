#include "common/kodovani.h"

#include <gtest/gtest.h>

namespace zevlon {
namespace {

// "Příliš žluťoučký kůň" in Windows-1250.
const std::string k1250 =
    "P\xF8\xED"
    "li\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2";
const std::string kUtf8 = "Příliš žluťoučký kůň";

TEST(Kodovani, Windows1250RoundTripsCzechText) {
  EXPECT_EQ(Z1250(k1250), kUtf8);
  EXPECT_EQ(Do1250(kUtf8), k1250);
  EXPECT_EQ(Do1250("€ Š ť"), std::string("\x80 \x8A \x9D"));
  EXPECT_FALSE(Do1250("漢字").has_value());
  EXPECT_FALSE(Do1250("\xFF\xFE").has_value());  // not UTF-8 at all
}

TEST(Kodovani, DetectionPrefersValidUtf8AndDropsTheBom) {
  auto a = Dekodovat(kUtf8);
  EXPECT_EQ(a.kodovani, Kodovani::kUtf8);
  EXPECT_EQ(a.text, kUtf8);

  auto b = Dekodovat("\xEF\xBB\xBF" + kUtf8);
  EXPECT_EQ(b.kodovani, Kodovani::kUtf8Bom);
  EXPECT_EQ(b.text, kUtf8);

  auto c = Dekodovat(k1250);
  EXPECT_EQ(c.kodovani, Kodovani::kCp1250);
  EXPECT_EQ(c.text, kUtf8);

  EXPECT_EQ(Kodovat(kUtf8, Kodovani::kCp1250), k1250);
  EXPECT_EQ(Kodovat("a", Kodovani::kUtf8Bom), std::string("\xEF\xBB\xBF"
                                                          "a"));
}

TEST(Kodovani, MalformedUtf8IsRecognised) {
  EXPECT_TRUE(JePlatneUtf8(""));
  EXPECT_TRUE(JePlatneUtf8("\xF0\x9F\x98\x80"));
  EXPECT_FALSE(JePlatneUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(JePlatneUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(JePlatneUtf8("\xE2\x82"));          // cut short
  EXPECT_FALSE(JePlatneUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
}

}  // namespace
}  // namespace zevlon
