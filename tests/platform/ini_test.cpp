#include "platform/ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <optional>
#include <random>

#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon::ini {
namespace {

using namespace std::string_view_literals;

using test::Sandbox;
using Radky = std::vector<std::string>;

// "Účetnictví" and "Žluťoučký kůň" in Windows-1250.
const std::string kUcetnictvi1250 =
    "\xDA\xE8"
    "etnictv\xED";
const std::string kKun1250 = "\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2";

// The value, or "-" when there is none.
std::string Cist(const std::string& f, std::string_view sekce, std::string_view klic) {
  return CistKlic(f, sekce, klic).value_or("-");
}

TEST(IniCteni, KeysAndSectionsReadAsTheProfileFunctionsReadThem) {
  Sandbox s;
  std::string a = s.Zapsat(
      "a.ini",
      "klic=pred sekci\n  [ Účetnictví ]  \n; Cesta=komentar\n  Cesta  =  C:\\Data\\  \n"
      "cesta=druha\nDvojite=\"  s mezerami  \"\nJednoduche='x'\nNesparovane=\"x'\nJedna=\"\nHoly\n"
      "Rovnitka=a=b\n[ÚČETNICTVÍ]\nCesta=ze druhe\nJen=ve druhe\n[Se]zna]\nZ=hranata\n"
      "[Prazdna]\r\n\r\n[Plna]\r\nA=\r\n");
  // The first key of the first section of that name; values trimmed, matching quotes lost.
  const std::pair<std::string, std::string> kKlice[] = {
      {"CESTA", "C:\\Data\\"}, {"dvojite", "  s mezerami  "},
      {"Jednoduche", "x"},     {"Nesparovane", "\"x'"},
      {"Jedna", "\""},         {"Holy", ""},
      {"Rovnitka", "a=b"},     {"Jen", "-"},
      {"; Cesta", "-"}};
  for (const auto& [klic, hodnota] : kKlice)
    EXPECT_EQ(Cist(a, "účetnictví", klic), hodnota) << klic;
  // Lines before any header belong to no section; a header runs to the last "]".
  const std::array<std::string, 3> kSekce[] = {
      {"", "klic", "-"}, {"Ucetnictvi", "Cesta", "-"}, {"Se]zna", "z", "hranata"},
      {"Plna", "A", ""}, {"Plna", "B", "-"},           {"Chybi", "A", "-"}};
  for (const auto& [sekce, klic, hodnota] : kSekce)
    EXPECT_EQ(Cist(a, sekce, klic), hodnota) << sekce << " " << klic;
  EXPECT_EQ(Cist(s / "chybi.ini", "Plna", "A"), "-");
  EXPECT_EQ(Cist(s.Cesta(), "Plna", "A"), "-");
  EXPECT_EQ(
      Cist(s.Zapsat("bom.ini", "\xEF\xBB\xBF[Merko]\r\nJmeno=Žluťoučký kůň\r\n"), "MERKO", "jmeno"),
      "Žluťoučký kůň");
  std::string cp = s.Zapsat(
      "cp.ini", "[" + kUcetnictvi1250 + "]\r\n" + kUcetnictvi1250 + "=" + kKun1250 + "\r\n");
  EXPECT_EQ(Cist(cp, "ÚČETNICTVÍ", "účetnictví"), "Žluťoučký kůň");

  EXPECT_EQ(CistSekci(a, "účetnictví"),
            (Radky{"Cesta=C:\\Data\\", "cesta=druha", "Dvojite=\"  s mezerami  \"",
                   "Jednoduche='x'", "Nesparovane=\"x'", "Jedna=\"", "Holy", "Rovnitka=a=b"}));
  EXPECT_EQ(CistSekci(a, "Prazdna"), Radky{});
  EXPECT_EQ(CistSekci(a, "Chybi"), std::nullopt);
  EXPECT_EQ(CistSekci(s / "chybi.ini", "Plna"), std::nullopt);

  // Values and sections have no length limit.
  const std::string dlouha = std::string(5000, 'x') + "konec";
  std::string obsah = "[Dlouha]\r\nHodnota=" + dlouha + "\r\n[Velka]\r\n";
  for (int i = 0; i < 1500; ++i)
    obsah += "Klic" + std::to_string(i) + "=hodnota" + std::to_string(i) + "\r\n";
  std::string f = s.Zapsat("dlouha.ini", obsah);
  EXPECT_EQ(Cist(f, "Dlouha", "Hodnota"), dlouha);
  auto sekce = CistSekci(f, "Velka");
  ASSERT_TRUE(sekce);
  ASSERT_EQ(sekce->size(), 1500u);
  EXPECT_EQ(sekce->back(), "Klic1499=hodnota1499");
}

TEST(IniZapis, KeyWritesChangeOnlyTheirLineAndKeepTheFilesEncodingAndLineEnds) {
  const std::string bom = "\xEF\xBB\xBF; úvod\r\n[Merko]\r\n  ";
  const std::string zbytek = "\r\nrelease=stara druha\r\n\r\n[Dalsi]\nRelease=1\n";
  const std::string cp = "[Merko]\r\nJmeno=" + kKun1250 + "\r\nSlozka=";
  const std::string cpKonec = "\r\n[" + kUcetnictvi1250 + "]\r\nA=1\r\n";
  const struct {
    std::optional<std::string> puvodni;  // no file when missing
    std::string sekce, klic, hodnota, ocekavano;
  } kPripady[] = {
      // The line keeps its indentation, key spelling and line end; the rest stays.
      {bom + "Release = 1401" + zbytek, "merko", "RELEASE", "Vydání 1402",
       bom + "Release=Vydání 1402" + zbytek},
      {cp + "C:\\" + cpKonec, "Merko", "Slozka", "Účetnictví", cp + kUcetnictvi1250 + cpKonec},
      {cp + "C:\\" + cpKonec, "účetnictví", "Nový", "ř",
       cp + "C:\\" + cpKonec + "Nov\xFD=\xF8\r\n"},
      // Cyrillic has no place in Windows-1250: the whole file turns into UTF-8.
      {cp + "C:\\" + cpKonec, "Merko", "Slozka", "Жёлтый",
       "[Merko]\r\nJmeno=Žluťoučký kůň\r\nSlozka=Жёлтый\r\n[Účetnictví]\r\nA=1\r\n"},
      // New keys go after the last non-blank line of their section.
      {"[A]\nx=1\n; konec A\n\n\n[B]\ny=2\n", "a", "Nova", "3",
       "[A]\nx=1\n; konec A\nNova=3\n\n\n[B]\ny=2\n"},
      {"[A]\n\n[B]\ny=2", "B", "Dalsi", "4", "[A]\n\n[B]\ny=2\nDalsi=4\n"},
      {"[A]\nx=1\n", "C", "z", "5", "[A]\nx=1\n[C]\nz=5\n"},
      {"[A]\r\n[B]\r\nb=1\r\n", "A", "a", "1", "[A]\r\na=1\r\n[B]\r\nb=1\r\n"},
      {"[A]", "A", "a", "1", "[A]\r\na=1\r\n"},
      {"", "Merko", "Release", "1", "[Merko]\r\nRelease=1\r\n"},
      {std::nullopt, " Účetnictví ", " Klíč ", "Hodnota", "[Účetnictví]\r\nKlíč=Hodnota\r\n"},
  };
  for (const auto& p : kPripady) {
    SCOPED_TRACE(p.ocekavano);
    Sandbox s;
    if (p.puvodni) s.Zapsat("a.ini", *p.puvodni);
    ASSERT_TRUE(ZapsatKlic(s / "a.ini", p.sekce, p.klic, p.hodnota));
    EXPECT_EQ(s.Cist("a.ini"), p.ocekavano);
  }
  Sandbox s;
  EXPECT_FALSE(ZapsatKlic(s / "chybi/novy.ini", "A", "b", "c"));
  EXPECT_FALSE(test::Existuje(s / "chybi"));
}

TEST(IniZapis, RefusesLineBreaksNulAndKeysThatWouldNotReadBack) {
  Sandbox s;
  const std::string puvodni = "[A]\r\nx=1\r\n";
  std::string f = s.Zapsat("a.ini", puvodni);
  // Values with line breaks or NUL or that are not UTF-8, keys that would read back
  // otherwise, a section name with a line break.
  for (std::string_view h : {"1\r\n[Vlozena]"sv, "1\nY=2"sv, "1\rY=2"sv, "1\0Y"sv, "\xE8"sv})
    EXPECT_FALSE(ZapsatKlic(f, "A", "x", h)) << h;
  for (std::string_view k : {"a\nb", "x=y", "[B]", ";x", "  "})
    EXPECT_FALSE(ZapsatKlic(f, "A", k, "1")) << k;
  EXPECT_FALSE(ZapsatKlic(f, "A\r\n[B]", "x", "1"));
  EXPECT_FALSE(ZapsatSekci(f, "A", {"a=1", "[B]"}));
  EXPECT_FALSE(ZapsatSekci(f, "A", {"a=1\r\nb=2"}));
  EXPECT_EQ(s.Cist("a.ini"), puvodni);
}

TEST(IniZapis, ReadOnlyFileIsRefusedEvenForTheSuperuserAndAModeIsKept) {
  Sandbox s;
  const std::string puvodni = "[A]\r\nx=1\r\n[B]\r\ny=2\r\n";
  std::string f = s.Zapsat("a.ini", puvodni);
  ASSERT_EQ(::chmod(f.c_str(), 0444), 0);
  EXPECT_FALSE(ZapsatKlic(f, "A", "x", "2"));
  EXPECT_FALSE(ZapsatKlic(f, "A", "x", "1"));
  EXPECT_FALSE(ZapsatKlic(f, "C", "z", "3"));
  EXPECT_FALSE(SmazatSekci(f, "B"));
  EXPECT_FALSE(ZapsatSekci(f, "B", {"y=3"}));
  EXPECT_TRUE(SmazatSekci(f, "Chybi"));  // nothing to remove
  EXPECT_EQ(s.Cist("a.ini"), puvodni);

  ASSERT_EQ(::chmod(f.c_str(), 0640), 0);
  ASSERT_TRUE(ZapsatKlic(f, "A", "x", "2"));
  struct stat st {};
  ASSERT_EQ(::stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(IniZapis, FolderThatRefusesTheWriteFailsForAnUnprivilegedUser) {
  Sandbox s;
  const std::string puvodni = "[A]\r\nx=1\r\n";
  std::string f = s.Zapsat("zamcena/a.ini", puvodni);
  test::PredatNeprivilegovanemu(f);
  ::chmod(s.Cesta().c_str(), 0755);
  ASSERT_EQ(::chmod((s / "zamcena").c_str(), 0555), 0);
  if (::geteuid() != 0 && ::access((s / "zamcena").c_str(), W_OK) == 0)
    GTEST_SKIP() << "the folder stays writable for this user";
  EXPECT_EQ(test::SpustitNeprivilegovane({"inizapis", f, "A", "x", "2"}).vystup, "0\n");
  EXPECT_EQ(s.Cist("zamcena/a.ini"), puvodni);
}

TEST(IniSekce, DeleteAndRewriteTouchOnlyTheFirstSectionOfThatName) {
  Sandbox s;
  const std::string a = "; hlava\r\n[A]\r\na=1\r\n\r\n";
  const std::string c = "[C]\r\nc=3\r\n[B]\r\nz=9\r\n";
  std::string f = s.Zapsat("a.ini", a + "[b]\r\nx=1\r\n; pozn\r\ny=2\r\n\r\n" + c);

  ASSERT_TRUE(ZapsatSekci(f, "B", {"Nova=1", "; komentar", "Druha=Žába"}));
  EXPECT_EQ(s.Cist("a.ini"), a + "[b]\r\nNova=1\r\n; komentar\r\nDruha=Žába\r\n\r\n" + c);
  EXPECT_EQ(CistSekci(f, "b"), (Radky{"Nova=1", "Druha=Žába"}));
  ASSERT_TRUE(ZapsatSekci(f, "B", {}));
  EXPECT_EQ(s.Cist("a.ini"), a + "[b]\r\n\r\n" + c);

  ASSERT_TRUE(SmazatSekci(f, "b"));
  EXPECT_EQ(s.Cist("a.ini"), a + c);
  ASSERT_TRUE(SmazatSekci(f, "b"));  // now the later [B] goes
  EXPECT_EQ(s.Cist("a.ini"), a + "[C]\r\nc=3\r\n");
  EXPECT_TRUE(SmazatSekci(f, "b"));
  EXPECT_TRUE(SmazatSekci(s / "chybi.ini", "b"));
  EXPECT_FALSE(test::Existuje(s / "chybi.ini"));

  ASSERT_TRUE(ZapsatSekci(f, "Nová", {"k=v"}));
  EXPECT_EQ(s.Cist("a.ini"), a + "[C]\r\nc=3\r\n[Nová]\r\nk=v\r\n");
  ASSERT_TRUE(ZapsatSekci(s / "novy.ini", "N", {"k=v"}));
  EXPECT_EQ(s.Cist("novy.ini"), "[N]\r\nk=v\r\n");
}

TEST(IniOdolnost, GarbageUnterminatedHeadersAndHugeLinesDoNotBreakIt) {
  Sandbox s;
  std::mt19937 nahoda(1250);
  std::string smeti;
  for (int i = 0; i < 200000; ++i)
    smeti.push_back(static_cast<char>(nahoda()));
  smeti += "\n[neukonceno\n[\n]\n=\n;\n\r\r\n" + std::string(300000, '[');
  const std::vector<std::string> kVzorky = {
      smeti,          "[",        "[A",
      "\xEF\xBB\xBF", "\xEF\xBB", std::string("[A]\0x=1\0", 8),
      "\r",           "=\n=",     "[A]\n" + std::string(1 << 20, 'k') + "=v"};
  for (std::size_t n = 0; n < kVzorky.size(); ++n) {
    SCOPED_TRACE(n);
    std::string f = s.Zapsat("g" + std::to_string(n) + ".ini", kVzorky[n]);
    (void)CistKlic(f, "A", "x");
    (void)CistSekci(f, "A");
    ASSERT_TRUE(ZapsatKlic(f, "Zevlon-test", "Klic", "Hodnota"));
    EXPECT_EQ(CistKlic(f, "Zevlon-test", "klic"), "Hodnota");
    EXPECT_EQ(test::CistSoubor(f).substr(0, kVzorky[n].size()), kVzorky[n]);
    ASSERT_TRUE(SmazatSekci(f, "Zevlon-test"));
    EXPECT_EQ(CistKlic(f, "Zevlon-test", "klic"), std::nullopt);
  }
}

}  // namespace
}  // namespace zevlon::ini
