#include "installers/cesty.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/sandbox.h"

namespace zevlon {
namespace {

using Casti = std::vector<std::string>;

TEST(Cesty, RozdelitCestuSplitsAtTheLastSeparator) {
  struct Pripad {
    const char* cesta;
    const char* slozka;
    const char* jmeno;
  };
  for (auto [cesta, slozka, jmeno] :
       {Pripad{"abc.txt", "", "abc.txt"}, Pripad{"/a/b.txt", "/a/", "b.txt"},
        Pripad{"/x", "/", "x"}, Pripad{"a/b/", "a/b/", ""}}) {
    std::string s = "stale", j = "stale";
    RozdelitCestu(cesta, s, j);
    EXPECT_EQ(s, slozka) << cesta;
    EXPECT_EQ(j, jmeno) << cesta;
  }
}

TEST(Cesty, CastiCestyCarriesTheRootInTheFirstComponent) {
  EXPECT_EQ(CastiCesty("/a/b/c"), (Casti{"/a", "b", "c"}));
  EXPECT_EQ(CastiCesty("/a/b/c/"), (Casti{"/a", "b", "c"}));
  EXPECT_EQ(CastiCesty("rel/x"), (Casti{"rel", "x"}));
  EXPECT_EQ(CastiCesty("/a//b"), (Casti{"/a", "b"}));
  EXPECT_EQ(CastiCesty("/Účty"), (Casti{"/Účty"}));
  EXPECT_TRUE(CastiCesty("/").empty());
  EXPECT_TRUE(CastiCesty("").empty());
}

TEST(Cesty, OdebratLomitkoRemovesOneTrailingSeparatorInPlaceOrAsACopy) {
  std::string p = "/a/b//";
  OdebratLomitko(p);
  EXPECT_EQ(p, "/a/b/");
  OdebratLomitko(p);
  EXPECT_EQ(p, "/a/b");
  OdebratLomitko(p);
  EXPECT_EQ(p, "/a/b");
  const std::string puvodni = "/c/";
  EXPECT_EQ(BezLomitka(puvodni), "/c");
  EXPECT_EQ(puvodni, "/c/");
  EXPECT_EQ(BezLomitka(""), "");
}

int OtevrenePopisovace() {
  int n = 0;
  DIR* d = ::opendir("/proc/self/fd");
  while (::readdir(d))
    ++n;
  ::closedir(d);
  return n;
}

TEST(Cesty, ExistujeSlozkaSeesFoldersHiddenOnesAndLinksButNoFiles) {
  test::Sandbox sb;
  std::string skryta = sb.Vytvorit(".skryta");
  std::string soubor = sb.Zapsat("soubor", "x");
  ASSERT_EQ(::symlink(skryta.c_str(), (sb / "odkaz").c_str()), 0);

  int predtim = OtevrenePopisovace();
  EXPECT_TRUE(ExistujeSlozka(skryta));
  EXPECT_TRUE(ExistujeSlozka(skryta + "/"));
  EXPECT_TRUE(ExistujeSlozka(sb / "odkaz"));
  EXPECT_FALSE(ExistujeSlozka(soubor));
  EXPECT_FALSE(ExistujeSlozka(sb / "chybi"));
  EXPECT_FALSE(ExistujeSlozka(""));
  EXPECT_EQ(OtevrenePopisovace(), predtim);  // the test leaves nothing open
}

}  // namespace
}  // namespace zevlon
