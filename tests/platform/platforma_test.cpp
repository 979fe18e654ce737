#include "platform/platforma.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "support/falesna_platforma.h"

namespace zevlon {
namespace {

// Sets one environment variable (nullptr removes it) and restores it afterwards.
class Promenna {
 public:
  Promenna(const char* jmeno, const char* hodnota) : jmeno_(jmeno) {
    if (const char* h = std::getenv(jmeno)) stara_ = h;
    Nastavit(hodnota);
  }
  ~Promenna() { Nastavit(stara_ ? stara_->c_str() : nullptr); }
  void Nastavit(const char* h) { h ? setenv(jmeno_, h, 1) : unsetenv(jmeno_); }

 private:
  const char* jmeno_;
  std::optional<std::string> stara_;
};

TEST(Platforma, TempFolderAndRegistryPathComeFromTheEnvironment) {
  Platforma p;
  Promenna temp("TEMP", "/var/tmp/moje/"), tmpdir("TMPDIR", "/jinde"),
      registr("DUNMOR_REGISTRY", "/srv/reg.reg");
  EXPECT_EQ(p.SlozkaTemp(), "/var/tmp/moje");
  temp.Nastavit(nullptr);
  EXPECT_EQ(p.SlozkaTemp(), "/jinde");
  tmpdir.Nastavit("");
  EXPECT_EQ(p.SlozkaTemp(), "/tmp");

  EXPECT_EQ(p.CestaRegistru(), "/srv/reg.reg");
  registr.Nastavit(nullptr);
  EXPECT_EQ(p.CestaRegistru(), "/etc/dunmor/registry.reg");
}

TEST(Platforma, ProgramAndComputerNames) {
  EXPECT_EQ(JmenoProgramu(), "zevlon_tests");  // the real /proc/self/exe
  char buf[256] = {};
  ASSERT_EQ(gethostname(buf, sizeof buf - 1), 0);
  EXPECT_EQ(Platforma().JmenoPocitace(), buf);
  EXPECT_FALSE(Platforma().JmenoPocitace().empty());

  test::FalesnaPlatforma p;
  p.program = "/opt/dunmor/Zevlon";
  EXPECT_EQ(&platforma(), &p);
  EXPECT_EQ(SlozkaProgramu(), "/opt/dunmor");
  EXPECT_EQ(JmenoProgramu(), "Zevlon");
}

}  // namespace
}  // namespace zevlon
