#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/platforma.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

// Runs the real platform with PATH pointing at a folder of the test's choice.
class OtevritTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* p = std::getenv("PATH");
    puvodniPath_ = p ? p : "";
  }
  void TearDown() override { setenv("PATH", puvodniPath_.c_str(), 1); }

  void Path(const std::string& slozka) { setenv("PATH", (slozka + ":/usr/bin:/bin").c_str(), 1); }

  Sandbox s_;
  Platforma platforma_;
  std::string puvodniPath_;
};

TEST_F(OtevritTest, HandsTheDocumentToXdgOpenAsOneArgument) {
  const std::string zaznam = s_ / "otevreno.txt";
  std::string skript = "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" + zaznam + ".tmp'\nmv '" +
                       zaznam + ".tmp' '" + zaznam + "'\n";
  const std::string xdg = s_.Zapsat("bin/xdg-open", skript);
  ASSERT_EQ(chmod(xdg.c_str(), 0755), 0);
  // The shell's own PATH holds only the fake, before the usual folders.
  Path(s_ / "bin");

  const std::string adresa = "http://www.dunmor.invalid/a b?document=2&version=12";
  ASSERT_TRUE(platforma_.OtevritDokument(adresa));
  // xdg-open runs detached: wait for it to have written its record.
  for (int i = 0; i < 500 && !test::Existuje(zaznam); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(test::CistSoubor(zaznam), "1|" + adresa);
}

TEST_F(OtevritTest, WithoutXdgOpenTheRequestIsRefused) {
  setenv("PATH", s_.Vytvorit("prazdna").c_str(), 1);
  EXPECT_FALSE(platforma_.OtevritDokument("http://www.dunmor.invalid/"));
  EXPECT_FALSE(platforma_.OtevritDokument(""));
}

}  // namespace
}  // namespace zevlon
