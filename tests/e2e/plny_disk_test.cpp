// A file system that refuses writes while the new content is being built (here a
// process file-size limit, which fails each write beyond it as a full disk would):
// the live folders stay untouched and the siblings are gone by the end of the run.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/demo_web.h"
#include "support/sandbox.h"

namespace fs = std::filesystem;

namespace zevlon {
namespace {

TEST(PlnyDisk, FailedWritesLeaveTheLiveFoldersAndNoSiblings) {
  test::Sandbox s;
  test::DemoWeb web(s);
  web.Vydani("Setup/Merko/maly.dll", "nový malý");
  web.Vydani("Setup/Merko/velky.dll", std::string(3 << 20, 'n'));
  web.Vydani("SetupCommon/System/s.dll", "nová společná");
  web.Publikovat("20141231");
  web.Instalace("Merko.ini", "[Merko]\r\nRelease=20140301\r\n");
  web.Instalace("Setup/Merko/maly.dll", "starý malý");
  web.Instalace("SetupCommon/System/s.dll", "stará společná");
  web.PripravitProgram();

  auto v = test::Spustit({"/usr/bin/prlimit", "--fsize=1048576", "--", web.Program() + "Zevlon"},
                         {"TEMP=" + web.Temp().substr(0, web.Temp().size() - 1),
                          "DUNMOR_REGISTRY=" + (s / "registry.reg")});
  EXPECT_NE(v.kod, 0) << v.vystup;
  EXPECT_EQ(s.Cist("data/Firma/Setup/Merko/maly.dll"), "starý malý");
  EXPECT_EQ(s.Cist("data/Firma/SetupCommon/System/s.dll"), "stará společná");
  EXPECT_FALSE(fs::exists(web.Profil() + "Setup/Merko_old"));
  for (const auto& e : fs::recursive_directory_iterator(web.Profil()))
    EXPECT_EQ(e.path().string().find("dwnld_"), std::string::npos) << e.path();
  for (const auto& e : fs::recursive_directory_iterator(web.Temp()))
    EXPECT_EQ(e.path().string().find("velky"), std::string::npos) << e.path();
  std::string log = s.Cist("program/online_errors.log");
  EXPECT_NE(log.find("velky.dll"), std::string::npos) << log;

  // Without the limit the same installation is renewed.
  ASSERT_EQ(web.SpustitZevlon().kod, 0);
  EXPECT_EQ(s.Cist("data/Firma/Setup/Merko/maly.dll"), "nový malý");
}

}  // namespace
}  // namespace zevlon
