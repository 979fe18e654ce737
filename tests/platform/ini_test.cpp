#include "platform/ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon::ini {
namespace {

using test::Sandbox;
using Radky = std::vector<std::string>;

// "Účetnictví" and "Žluťoučký kůň" in Windows-1250.
constexpr std::string_view kUcetnictvi1250 =
    "\xDA\xE8"
    "etnictv\xED";
constexpr std::string_view kKun1250 = "\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2";

TEST(IniCteni, FirstMatchWinsCaseFoldsCzechAndStripsQuotes) {
  Sandbox s;
  std::string f = s.Zapsat("a.ini",
                           "klic=pred sekci\n"
                           "  [ Účetnictví ]  \n"
                           "; Cesta=komentar\n"
                           "  Cesta  =  C:\\Data\\  \n"
                           "cesta=druha\n"
                           "Dvojite=\"  s mezerami  \"\n"
                           "Jednoduche='x'\n"
                           "Nesparovane=\"x'\n"
                           "Jedna=\"\n"
                           "Holy\n"
                           "Rovnitka=a=b\n"
                           "[ÚČETNICTVÍ]\n"
                           "Cesta=ze druhe sekce\n"
                           "Jen=ve druhe\n"
                           "[Se]zna]\n"
                           "Z=hranata\n");
  EXPECT_EQ(CistKlic(f, "účetnictví", "CESTA"), "C:\\Data\\");
  EXPECT_EQ(CistKlic(f, "ÚČETNICTVÍ", "dvojite"), "  s mezerami  ");
  EXPECT_EQ(CistKlic(f, "Účetnictví", "Jednoduche"), "x");
  EXPECT_EQ(CistKlic(f, "Účetnictví", "Nesparovane"), "\"x'");
  EXPECT_EQ(CistKlic(f, "Účetnictví", "Jedna"), "\"");
  EXPECT_EQ(CistKlic(f, "Účetnictví", "Holy"), "");
  EXPECT_EQ(CistKlic(f, "Účetnictví", "Rovnitka"), "a=b");
  // Only the first section of a name counts, comments are not keys, and lines before
  // any header belong to no section.
  EXPECT_EQ(CistKlic(f, "Účetnictví", "Jen"), std::nullopt);
  EXPECT_EQ(CistKlic(f, "Účetnictví", "; Cesta"), std::nullopt);
  EXPECT_EQ(CistKlic(f, "", "klic"), std::nullopt);
  EXPECT_EQ(CistKlic(f, "Ucetnictvi", "Cesta"), std::nullopt);
  EXPECT_EQ(CistKlic(f, "Se]zna", "z"), "hranata");  // the name runs to the last "]"

  EXPECT_EQ(CistSekci(f, "účetnictví"),
            (Radky{"Cesta=C:\\Data\\", "cesta=druha", "Dvojite=\"  s mezerami  \"",
                   "Jednoduche='x'", "Nesparovane=\"x'", "Jedna=\"", "Holy", "Rovnitka=a=b"}));
}

TEST(IniCteni, MissingFileSectionOrKeyHasNoValue) {
  Sandbox s;
  std::string f = s.Zapsat("a.ini", "[Prazdna]\r\n\r\n[Plna]\r\nA=\r\n");
  EXPECT_EQ(CistKlic(s / "chybi.ini", "Plna", "A"), std::nullopt);
  EXPECT_EQ(CistKlic(f, "Chybi", "A"), std::nullopt);
  EXPECT_EQ(CistKlic(f, "Plna", "B"), std::nullopt);
  EXPECT_EQ(CistKlic(f, "Plna", "A"), "");
  EXPECT_EQ(CistKlic(s.Cesta(), "Plna", "A"), std::nullopt);  // a folder
  EXPECT_EQ(CistSekci(s / "chybi.ini", "Plna"), std::nullopt);
  EXPECT_EQ(CistSekci(f, "Chybi"), std::nullopt);
  EXPECT_EQ(CistSekci(f, "Prazdna"), Radky{});
}

TEST(IniCteni, BomCrLfAndWindows1250) {
  Sandbox s;
  std::string utf =
      s.Zapsat("bom.ini", "\xEF\xBB\xBF[Merko]\r\nRelease=1402\r\nJmeno=Žluťoučký kůň\r\n");
  EXPECT_EQ(CistKlic(utf, "Merko", "Release"), "1402");
  EXPECT_EQ(CistKlic(utf, "MERKO", "jmeno"), "Žluťoučký kůň");

  std::string cp =
      s.Zapsat("cp.ini", "[" + std::string(kUcetnictvi1250) + "]\r\n" +
                             std::string(kUcetnictvi1250) + "=" + std::string(kKun1250) + "\r\n");
  EXPECT_EQ(CistKlic(cp, "ÚČETNICTVÍ", "účetnictví"), "Žluťoučký kůň");
  EXPECT_EQ(CistSekci(cp, "Účetnictví"), Radky{"Účetnictví=Žluťoučký kůň"});
}

TEST(IniCteni, LongValuesAndSectionsAreReadWhole) {
  Sandbox s;
  std::string dlouha(5000, 'x');
  dlouha += "konec";
  std::string obsah = "[Dlouha]\r\nHodnota=" + dlouha + "\r\n[Velka]\r\n";
  for (int i = 0; i < 1500; ++i)
    obsah += "Klic" + std::to_string(i) + "=hodnota" + std::to_string(i) + "\r\n";
  std::string f = s.Zapsat("a.ini", obsah);

  EXPECT_EQ(CistKlic(f, "Dlouha", "Hodnota"), dlouha);
  auto sekce = CistSekci(f, "Velka");
  ASSERT_TRUE(sekce);
  ASSERT_EQ(sekce->size(), 1500u);
  EXPECT_EQ(sekce->back(), "Klic1499=hodnota1499");
  EXPECT_EQ(CistKlic(f, "Velka", "klic1499"), "hodnota1499");
}

TEST(IniZapis, ReplacingAKeyKeepsEveryOtherByte) {
  Sandbox s;
  const std::string pred = "\xEF\xBB\xBF; úvod\r\n[Merko]\r\n  ";
  const std::string po = "\r\nrelease=stara druha\r\n\r\n[Dalsi]\nRelease=1\n";
  std::string f = s.Zapsat("a.ini", pred + "Release = 1401" + po);

  ASSERT_TRUE(ZapsatKlic(f, "merko", "RELEASE", "Vydání 1402"));
  // The line keeps its indentation, key spelling and line end; the second "release"
  // and the other section are untouched.
  EXPECT_EQ(s.Cist("a.ini"), pred + "Release=Vydání 1402" + po);
  EXPECT_EQ(CistKlic(f, "Merko", "Release"), "Vydání 1402");
}

TEST(IniZapis, Windows1250FileStaysWindows1250UnlessTheValueDoesNotFit) {
  Sandbox s;
  const std::string pred = "[Merko]\r\nJmeno=" + std::string(kKun1250) + "\r\n";
  const std::string po = "\r\n[" + std::string(kUcetnictvi1250) + "]\r\nA=1\r\n";
  std::string f = s.Zapsat("a.ini", pred + "Slozka=C:\\" + po);

  ASSERT_TRUE(ZapsatKlic(f, "Merko", "Slozka", "Účetnictví"));
  EXPECT_EQ(s.Cist("a.ini"), pred + "Slozka=" + std::string(kUcetnictvi1250) + po);

  ASSERT_TRUE(ZapsatKlic(f, "účetnictví", "Nový", "ř"));
  EXPECT_EQ(s.Cist("a.ini"),
            pred + "Slozka=" + std::string(kUcetnictvi1250) + po + "Nov\xFD=\xF8\r\n");

  // Cyrillic has no place in Windows-1250: the whole file turns into UTF-8.
  ASSERT_TRUE(ZapsatKlic(f, "Merko", "Slozka", "Жёлтый"));
  EXPECT_EQ(s.Cist("a.ini"),
            "[Merko]\r\nJmeno=Žluťoučký kůň\r\nSlozka=Жёлтый\r\n[Účetnictví]\r\nA=1\r\nNový=ř\r\n");
}

TEST(IniZapis, NewKeysGoAfterTheLastLineOfTheirSectionInTheFilesLineEnds) {
  Sandbox s;
  std::string lf = s.Zapsat("lf.ini", "[A]\nx=1\n; konec A\n\n\n[B]\ny=2");
  ASSERT_TRUE(ZapsatKlic(lf, "a", "Nova", "3"));
  ASSERT_TRUE(ZapsatKlic(lf, "B", "Dalsi", "4"));
  ASSERT_TRUE(ZapsatKlic(lf, "C", "z", "5"));
  EXPECT_EQ(s.Cist("lf.ini"), "[A]\nx=1\n; konec A\nNova=3\n\n\n[B]\ny=2\nDalsi=4\n[C]\nz=5\n");

  std::string crlf = s.Zapsat("crlf.ini", "[A]\r\n[B]\r\nb=1\r\n");
  ASSERT_TRUE(ZapsatKlic(crlf, "A", "a", "1"));
  EXPECT_EQ(s.Cist("crlf.ini"), "[A]\r\na=1\r\n[B]\r\nb=1\r\n");

  std::string hlavicka = s.Zapsat("hlavicka.ini", "[A]");
  ASSERT_TRUE(ZapsatKlic(hlavicka, "A", "a", "1"));
  EXPECT_EQ(s.Cist("hlavicka.ini"), "[A]\r\na=1\r\n");

  std::string prazdny = s.Zapsat("prazdny.ini", "");
  ASSERT_TRUE(ZapsatKlic(prazdny, "Merko", "Release", "1"));
  EXPECT_EQ(s.Cist("prazdny.ini"), "[Merko]\r\nRelease=1\r\n");
}

TEST(IniZapis, CreatesANewUtf8FileButNotAMissingFolder) {
  Sandbox s;
  ASSERT_TRUE(ZapsatKlic(s / "novy.ini", " Účetnictví ", " Klíč ", "Hodnota"));
  EXPECT_EQ(s.Cist("novy.ini"), "[Účetnictví]\r\nKlíč=Hodnota\r\n");
  EXPECT_FALSE(ZapsatKlic(s / "chybi/novy.ini", "A", "b", "c"));
  EXPECT_FALSE(test::Existuje(s / "chybi"));
}

TEST(IniZapis, RefusesLineBreaksNulAndKeysThatWouldNotReadBack) {
  Sandbox s;
  const std::string puvodni = "[A]\r\nx=1\r\n";
  std::string f = s.Zapsat("a.ini", puvodni);
  EXPECT_FALSE(ZapsatKlic(f, "A", "x", "1\r\n[Vlozena]"));
  EXPECT_FALSE(ZapsatKlic(f, "A", "x", "1\nY=2"));
  EXPECT_FALSE(ZapsatKlic(f, "A", "x", "1\rY=2"));
  EXPECT_FALSE(ZapsatKlic(f, "A", "x", std::string_view("1\0Y", 3)));
  EXPECT_FALSE(ZapsatKlic(f, "A", "a\nb", "1"));
  EXPECT_FALSE(ZapsatKlic(f, "A\r\n[B]", "x", "1"));
  EXPECT_FALSE(ZapsatKlic(f, "A", "x=y", "1"));
  EXPECT_FALSE(ZapsatKlic(f, "A", "[B]", "1"));
  EXPECT_FALSE(ZapsatKlic(f, "A", ";x", "1"));
  EXPECT_FALSE(ZapsatKlic(f, "A", "  ", "1"));
  EXPECT_FALSE(ZapsatKlic(f, "A", "x", "\xE8"));  // not UTF-8
  EXPECT_FALSE(ZapsatSekci(f, "A", {"a=1", "[B]"}));
  EXPECT_FALSE(ZapsatSekci(f, "A", {"a=1\r\nb=2"}));
  EXPECT_EQ(s.Cist("a.ini"), puvodni);
}

TEST(IniZapis, ReadOnlyFileIsRefusedEvenForTheSuperuser) {
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
  struct stat st {};
  ASSERT_EQ(::stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);

  // A writable file keeps its mode across the rewrite.
  ASSERT_EQ(::chmod(f.c_str(), 0640), 0);
  ASSERT_TRUE(ZapsatKlic(f, "A", "x", "2"));
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
  auto v = test::SpustitNeprivilegovane({"inizapis", f, "A", "x", "2"});
  EXPECT_EQ(v.vystup, "0\n");
  EXPECT_EQ(s.Cist("zamcena/a.ini"), puvodni);
}

TEST(IniSekce, DeleteAndRewriteTouchOnlyTheFirstSectionOfThatName) {
  Sandbox s;
  const std::string a = "; hlava\r\n[A]\r\na=1\r\n\r\n";
  const std::string b = "[b]\r\nx=1\r\n; pozn\r\ny=2\r\n\r\n";
  const std::string c = "[C]\r\nc=3\r\n[B]\r\nz=9\r\n";
  std::string f = s.Zapsat("a.ini", a + b + c);

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
  smeti += "\n[neukonceno\n[\n]\n=\n;\n\r\r\n";
  smeti += std::string(300000, '[');
  const std::vector<std::string> vzorky = {
      smeti,          "[",        "[A",
      "\xEF\xBB\xBF", "\xEF\xBB", std::string("[A]\0x=1\0", 8),
      "\r",           "=\n=",     "[A]\n" + std::string(1 << 20, 'k') + "=v"};
  int n = 0;
  for (const std::string& obsah : vzorky) {
    std::string f = s.Zapsat("g" + std::to_string(n++) + ".ini", obsah);
    (void)CistKlic(f, "A", "x");
    (void)CistSekci(f, "A");
    ASSERT_TRUE(ZapsatKlic(f, "Zevlon-test", "Klic", "Hodnota")) << n;
    EXPECT_EQ(CistKlic(f, "Zevlon-test", "klic"), "Hodnota") << n;
    EXPECT_EQ(test::CistSoubor(f).substr(0, obsah.size()), obsah) << n;
    ASSERT_TRUE(SmazatSekci(f, "Zevlon-test")) << n;
    EXPECT_EQ(CistKlic(f, "Zevlon-test", "klic"), std::nullopt) << n;
  }
}

}  // namespace
}  // namespace zevlon::ini
