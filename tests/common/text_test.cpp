#include "common/text.h"

#include <gtest/gtest.h>

namespace zevlon {
namespace {

TEST(Text, CzechLettersCompareWithoutRegardToCase) {
  EXPECT_TRUE(StejnyText("Účetnictví", "ÚČETNICTVÍ"));
  EXPECT_TRUE(StejnyText("ŽLUŤOUČKÝ kůň", "žluťoučký KŮŇ"));
  EXPECT_FALSE(StejnyText("Účetnictví", "Ucetnictvi"));
  EXPECT_FALSE(StejnyText("abc", "abcd"));
  EXPECT_TRUE(ZacinaNa("Upravy14\\Doplnky", "UPRAVY14"));
  EXPECT_FALSE(ZacinaNa("Up", "Upravy"));
  EXPECT_TRUE(KonciNa("C:\\Setup14\\", "14\\"));
  EXPECT_FALSE(KonciNa("4\\", "14\\"));
  for (auto [n, text] : {std::pair{0, "0 složek"},
                         {1, "1 složka"},
                         {2, "2 složky"},
                         {4, "4 složky"},
                         {5, "5 složek"},
                         {11, "11 složek"},
                         {22, "22 složek"}})
    EXPECT_EQ(Pocet(n, "složka", "složky", "složek"), text);
}

TEST(Text, WildcardsMatchRunsAndSingleCharactersIgnoringCase) {
  EXPECT_TRUE(OdpovidaMasce("moje.manifest.xml", "*.manifest.xml"));
  EXPECT_TRUE(OdpovidaMasce("Moje.Manifest.XML", "*.MANIFEST.xml"));
  EXPECT_FALSE(OdpovidaMasce("moje.manifest.xml.bak", "*.manifest.xml"));
  EXPECT_TRUE(OdpovidaMasce(".manifest.xml", "*.manifest.xml"));
  EXPECT_TRUE(OdpovidaMasce("ŘEDITEL.TMP", "ř?ditel.*"));
  EXPECT_FALSE(OdpovidaMasce("reditel.tmp", "ř?ditel.*"));
  EXPECT_TRUE(OdpovidaMasce("/inst/modul/data/x.dat", "/inst/*/data/*"));
  EXPECT_FALSE(OdpovidaMasce("/inst/data/x.dat", "/inst/*/data/*"));
  EXPECT_TRUE(OdpovidaMasce("aaa", "a*a*a"));
  EXPECT_FALSE(OdpovidaMasce("aa", "a*a*a"));
  EXPECT_TRUE(OdpovidaMasce("", "*"));
  EXPECT_FALSE(OdpovidaMasce("", "?"));
  // Many stars over a long text stay fast (no exponential backtracking).
  std::string dlouhy(5000, 'a');
  EXPECT_FALSE(OdpovidaMasce(dlouhy, "*a*a*a*a*a*a*a*a*b"));
}

TEST(Text, FilePatternsEndingInDotStarAlsoMatchNamesWithoutExtension) {
  EXPECT_TRUE(OdpovidaMasceSouboru("bez_tecky", "*.*"));
  EXPECT_TRUE(OdpovidaMasceSouboru("bez_tecky", "bez_*.*"));
  EXPECT_TRUE(OdpovidaMasceSouboru("s.teckou", "*.*"));
  EXPECT_FALSE(OdpovidaMasceSouboru("jiny", "bez_*.*"));
  EXPECT_FALSE(OdpovidaMasceSouboru("a.b", "a.*x"));
  EXPECT_FALSE(OdpovidaMasce("bez_tecky", "*.*"));
}

}  // namespace
}  // namespace zevlon
