#include "platform/platforma.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/falesna_platforma.h"

namespace zevlon {
namespace {

// Sets environment variables for one test and restores them afterwards.
class Prostredi {
 public:
  void Nastavit(const char* jmeno, const char* hodnota) {
    const char* stara = std::getenv(jmeno);
    zalohy_.push_back({jmeno, stara ? std::optional<std::string>(stara) : std::nullopt});
    if (hodnota)
      setenv(jmeno, hodnota, 1);
    else
      unsetenv(jmeno);
  }
  ~Prostredi() {
    for (auto it = zalohy_.rbegin(); it != zalohy_.rend(); ++it) {
      if (it->second)
        setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        unsetenv(it->first.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> zalohy_;
};

TEST(Platforma, TempFolderFallsBackFromTempToTmpdirToSlashTmp) {
  Platforma p;
  Prostredi env;
  env.Nastavit("TEMP", "/var/tmp/moje/");
  env.Nastavit("TMPDIR", "/jinde");
  EXPECT_EQ(p.SlozkaTemp(), "/var/tmp/moje");
  env.Nastavit("TEMP", nullptr);
  EXPECT_EQ(p.SlozkaTemp(), "/jinde");
  env.Nastavit("TMPDIR", "");
  EXPECT_EQ(p.SlozkaTemp(), "/tmp");
}

TEST(Platforma, RegistryPathComesFromTheEnvironment) {
  Platforma p;
  Prostredi env;
  env.Nastavit("DUNMOR_REGISTRY", "/srv/reg.reg");
  EXPECT_EQ(p.CestaRegistru(), "/srv/reg.reg");
  env.Nastavit("DUNMOR_REGISTRY", nullptr);
  EXPECT_EQ(p.CestaRegistru(), "/etc/dunmor/registry.reg");
}

TEST(Platforma, ProgramFolderAndNameDeriveFromTheProgramFile) {
  EXPECT_EQ(JmenoProgramu(), "zevlon_tests");  // the real /proc/self/exe
  test::FalesnaPlatforma p;
  p.program = "/opt/dunmor/Zevlon";
  EXPECT_EQ(SlozkaProgramu(), "/opt/dunmor");
  EXPECT_EQ(JmenoProgramu(), "Zevlon");
  EXPECT_EQ(&platforma(), &p);
}

TEST(Platforma, ComputerNameIsTheHostName) {
  Platforma p;
  char buf[256] = {};
  gethostname(buf, sizeof buf - 1);
  EXPECT_EQ(p.JmenoPocitace(), buf);
  EXPECT_FALSE(p.JmenoPocitace().empty());
}

}  // namespace
}  // namespace zevlon
