#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/platforma.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

// Runs the real platform with PATH pointing at folders of the test's choice.
TEST(OtevritTest, HandsTheDocumentToXdgOpenAsOneArgumentAndWithoutItRefuses) {
  struct ObnovitPath {
    std::string puvodni = std::getenv("PATH") ? std::getenv("PATH") : "";
    ~ObnovitPath() { setenv("PATH", puvodni.c_str(), 1); }
  } obnovit;
  test::Sandbox s;
  const std::string zaznam = s / "otevreno.txt";
  const std::string xdg =
      s.Zapsat("bin/xdg-open", "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" + zaznam +
                                   ".tmp'\nmv '" + zaznam + ".tmp' '" + zaznam + "'\n");
  ASSERT_EQ(chmod(xdg.c_str(), 0755), 0);
  // The shell's own PATH holds the fake before the usual folders.
  setenv("PATH", (s / "bin:/usr/bin:/bin").c_str(), 1);
  Platforma platforma;
  const std::string adresa = "http://www.dunmor.invalid/a b?document=2&version=12";
  ASSERT_TRUE(platforma.OtevritDokument(adresa));
  // xdg-open runs detached: wait for it to have written its record.
  for (int i = 0; i < 500 && !test::Existuje(zaznam); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(test::CistSoubor(zaznam), "1|" + adresa);
  EXPECT_FALSE(platforma.OtevritDokument(""));

  setenv("PATH", s.Vytvorit("prazdna").c_str(), 1);
  EXPECT_FALSE(platforma.OtevritDokument("http://www.dunmor.invalid/"));
}

}  // namespace
}  // namespace zevlon
