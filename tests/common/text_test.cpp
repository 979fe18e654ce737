#include "common/text.h"
#include "common/json.h"

#include <gtest/gtest.h>

#include <map>

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
  std::string pocty;
  for (int n : {0, 1, 2, 4, 5, 11, 22})
    pocty += Pocet(n, "složka", "složky", "složek") + ",";
  EXPECT_EQ(pocty, "0 složek,1 složka,2 složky,4 složky,5 složek,11 složek,22 složek,");
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

// The state file's JSON: what is written reads back; anything but a flat object of texts,
// whole numbers and nulls is refused whole.
TEST(Text, FlatJsonRoundTripsItsTextsAndRefusesEverythingElse) {
  const std::string divny = "čára \"uvozovky\" \\ tab\t\r\n\x01 \x7f /";
  const auto j = CistPlochyJson("{\"a\": " + JsonText(divny) + ", \"b\": -12, \"c\": null}");
  ASSERT_TRUE(j);
  EXPECT_EQ(*j, (std::map<std::string, std::string>{{"a", divny}, {"b", "-12"}}));
  EXPECT_EQ(CistPlochyJson(" {\n} \n"), (std::map<std::string, std::string>{}));
  EXPECT_EQ(CistPlochyJson(R"({"e": "\u010d\ud83d\ude00\/"})")->at("e"), "č😀/");
  for (const char* spatne :
       {"", "{", "[]", R"({"a": 1,})", R"({"a": 1} x)", R"({"a": {"b": 1}})", R"({"a": 1.5})",
        R"({"a": 1, "a": 2})", R"({"a": "\x"})", R"({"a": "\ud83d"})", R"({"a": "\udc00"})",
        R"({"a": "\u12"})", "{\"a\": \"\n\"}", R"({"a": -})", R"({"a": "konec)"})
    EXPECT_FALSE(CistPlochyJson(spatne)) << spatne;
}

TEST(OcistitText, DropsControlsKeepsTabsAndLinesWhereAskedAndCutsAtCharacters) {
  const struct {
    std::string text;
    std::size_t max;
    bool radky;
    std::string vysledek;
  } pripady[] = {
      {"Stahuje se \x1b[2Jsoubor\a", 100, false, "Stahuje se  [2Jsoubor "},
      {"a\tb\r\nc", 100, true, "a\tb\r\nc"},
      {"a\tb\r\nc", 100, false, "a\tb  c"},
      {"C1 \xc2\x9b"
       "31m a \xc2\xa0 zůstane",
       100, false, "C1  31m a \xc2\xa0 zůstane"},
      {"neplatné \xff\xfe UTF-8 \xc3", 100, false, "neplatné ?? UTF-8 ?"},
      {"příliš", 3, false, "př"},
      {"příliš", 2, false, "p"},
  };
  for (const auto& p : pripady)
    EXPECT_EQ(OcistitText(p.text, p.max, p.radky), p.vysledek) << p.text;
}

}  // namespace
}  // namespace zevlon
