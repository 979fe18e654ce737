#include "prenos/podpisy/sha256.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/sandbox.h"

namespace zevlon {
namespace {

// The known answers of FIPS 180-2 and a file larger than one read block, checked against
// the same bytes hashed at once.
TEST(Sha256, KnownAnswersFilesAndTheSiteForm) {
  EXPECT_EQ(Sha256(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  test::Sandbox s;
  std::string velky(200'000, 'x');
  for (std::size_t i = 0; i < velky.size(); i += 7)
    velky[i] = static_cast<char>(i);
  s.Zapsat("velky.bin", velky);
  EXPECT_EQ(Sha256Souboru(s / "velky.bin"), Sha256(velky));
  EXPECT_EQ(Sha256Souboru(s / "chybi.bin"), std::nullopt);
  // A link is never followed.
  ASSERT_EQ(::symlink((s / "velky.bin").c_str(), (s / "odkaz").c_str()), 0);
  EXPECT_EQ(Sha256Souboru(s / "odkaz"), std::nullopt);

  EXPECT_TRUE(JeSha256(Sha256("abc")));
  EXPECT_FALSE(JeSha256("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"));
  EXPECT_FALSE(JeSha256(Sha256("abc").substr(1)));
  EXPECT_FALSE(JeSha256(""));
  for (const char mimo : {'/', ':', '`', 'g', ' ', '\0'})  // just outside the digits
    EXPECT_FALSE(JeSha256(Sha256("abc").substr(1) + mimo)) << mimo;
}

}  // namespace
}  // namespace zevlon
