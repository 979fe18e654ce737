#include "platform/nahrady/ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon::ini {
namespace {

using namespace std::string_view_literals;
using test::Sandbox;

// "Účetnictví" and "Žluťoučký kůň" in Windows-1250.
const std::string kUcetnictvi1250 = "\xDA\xE8\x65tnictv\xED",
                  kKun1250 = "\x8Elu\x9Dou\xE8k\xFD k\xF9\xF2";

// Reading is a property of the fuzz target; these are the writes the program makes.
TEST(Ini, KeyWritesChangeOnlyTheirLineKeepTheEncodingAndLeaveNoTemporaryFile) {
  const std::string bom = "\xEF\xBB\xBF; úvod\r\n[Merko]\r\n  ",
                    zbytek = "\r\nrelease=2\r\n[B]\nRelease=1\n";
  const std::string cp = "[Merko]\r\nJmeno=" + kKun1250 + "\r\nSlozka=", cpKonec = "\r\n[X]\r\n";
  const struct {
    std::optional<std::string> puvodni;  // no file when missing
    std::string sekce, klic;
    std::optional<std::string> hodnota;  // none: the key's line is removed
    std::string ocekavano;
  } kPripady[] = {
      {bom + "Release = 1401" + zbytek, "merko", "RELEASE", "Vydání 1402",
       bom + "Release=Vydání 1402" + zbytek},
      {cp + "C:\\" + cpKonec, "Merko", "Slozka", "Účetnictví", cp + kUcetnictvi1250 + cpKonec},
      // Cyrillic has no place in Windows-1250: the whole file turns into UTF-8.
      {cp + "C:\\" + cpKonec, "Merko", "Slozka", "Жёлтый",
       "[Merko]\r\nJmeno=Žluťoučký kůň\r\nSlozka=Жёлтый\r\n[X]\r\n"},
      {std::nullopt, "Merko", "Release", "1", "[Merko]\r\nRelease=1\r\n"},
      {bom + "Release = 1401" + zbytek, "merko", "RELEASE", std::nullopt,
       "\xEF\xBB\xBF; úvod\r\n[Merko]\r\nrelease=2\r\n[B]\nRelease=1\n"},
  };
  for (const auto& p : kPripady) {
    SCOPED_TRACE(p.ocekavano);
    Sandbox s;
    if (p.puvodni) s.Zapsat("a.ini", *p.puvodni);
    ASSERT_TRUE(p.hodnota ? ZapsatKlic(s / "a.ini", p.sekce, p.klic, *p.hodnota)
                          : SmazatKlic(s / "a.ini", p.sekce, p.klic));
    EXPECT_EQ(s.Cist("a.ini"), p.ocekavano);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.Cesta()), {}), 1);
  }
}

TEST(Ini, RefusesWritesThatWouldAddLinesOrNotReadBack) {
  Sandbox s;
  const std::string puvodni = "[A]\r\nx=1\r\n";
  std::string f = s.Zapsat("a.ini", puvodni);
  for (std::string_view h : {"1\r\n[Vlozena]"sv, "1\nY=2"sv, "1\rY=2"sv, "1\0Y"sv, "\xE8"sv})
    EXPECT_FALSE(ZapsatKlic(f, "A", "x", h)) << h;
  for (std::string_view k : {"a\nb", "x=y", "[B]", ";x"})
    EXPECT_FALSE(ZapsatKlic(f, "A", k, "1")) << k;
  EXPECT_FALSE(ZapsatKlic(f, "A\r\n[B]", "x", "1"));
  EXPECT_FALSE(ZapsatSekci(f, "A", {"a=1", "[B]"}));
  EXPECT_FALSE(ZapsatSekci(f, "A", {"a=1\r\nb=2"}));
  EXPECT_EQ(s.Cist("a.ini"), puvodni);
}

TEST(Ini, ReadOnlyFileIsRefusedEvenForTheSuperuserAndAModeIsKept) {
  Sandbox s;
  const std::string puvodni = "[A]\r\nx=1\r\n[B]\r\ny=2\r\n";
  std::string f = s.Zapsat("a.ini", puvodni);
  ASSERT_EQ(::chmod(f.c_str(), 0444), 0);
  EXPECT_FALSE(ZapsatKlic(f, "A", "x", "2"));
  EXPECT_FALSE(ZapsatKlic(f, "C", "z", "3"));
  EXPECT_FALSE(ZapsatSekci(f, "B", {"y=3"}));
  EXPECT_EQ(s.Cist("a.ini"), puvodni);

  ASSERT_EQ(::chmod(f.c_str(), 0640), 0);
  ASSERT_TRUE(ZapsatKlic(f, "A", "x", "2"));
  EXPECT_EQ(std::filesystem::status(f).permissions(), std::filesystem::perms(0640));
}

TEST(Ini, FolderThatRefusesTheWriteFailsForAnUnprivilegedUser) {
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

// In a folder that others may write (as /tmp), the file under the name may have been laid
// by anyone: the rewrite is the writer's own file, with a mode of its own, and another
// user's link there is refused, neither written through nor replaced.
TEST(Ini, RewriteInASharedFolderNeverHandsTheFileToWhoeverLaidItThere) {
  if (::geteuid() != 0) GTEST_SKIP() << "another user's file needs root to lay out";
  Sandbox s;
  ::chmod(s.Cesta().c_str(), 0755);
  ::chmod(s.Vytvorit("tmp").c_str(), 01777);
  const std::string f = s.Zapsat("tmp/download.ini", "[Merko]\r\nRelease=1\r\n");
  test::PredatNeprivilegovanemu(f);
  ::chmod(f.c_str(), 0666);
  ASSERT_TRUE(ZapsatKlic(f, "Merko", "SlozkaProfilu", "/data/"));
  struct stat st {};
  ASSERT_EQ(::lstat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_mode & 022, 0u);
  EXPECT_EQ(s.Cist("tmp/download.ini"), "[Merko]\r\nRelease=1\r\nSlozkaProfilu=/data/\r\n");

  const std::string cil = s.Zapsat("utocnik.ini", "[Merko]\r\nRelease=2\r\n");
  test::PredatNeprivilegovanemu(cil);
  const std::string odkaz = s / "tmp/odkaz.ini";
  std::filesystem::create_symlink(cil, odkaz);
  ASSERT_EQ(::lchown(odkaz.c_str(), 65534, 65534), 0);
  EXPECT_FALSE(ZapsatKlic(odkaz, "Merko", "SlozkaProfilu", "/data/"));
  EXPECT_EQ(s.Cist("utocnik.ini"), "[Merko]\r\nRelease=2\r\n");
  ASSERT_EQ(::lstat(odkaz.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(st.st_uid, 65534u);
}

}  // namespace
}  // namespace zevlon::ini
