// A swap refused by the file system's rights, for a run under an ordinary account: the
// previous backup holds a folder that account may not empty, so the live folder's
// backup place cannot be freed. The run ends with the rename error and nothing of the
// installation is lost.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "support/demo_web.h"
#include "support/sandbox.h"

namespace fs = std::filesystem;

namespace zevlon {
namespace {

void PredatVse(const std::string& koren) {
  ::chown(koren.c_str(), 65534, 65534);
  for (const auto& e : fs::recursive_directory_iterator(koren)) {
    ::lchown(e.path().c_str(), 65534, 65534);
  }
}

TEST(Opravneni, BackupThatCannotBeDeletedStopsTheSwapBeforeTheLiveFolderMoves) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser to hand the files to another user";
  test::Sandbox s;
  ::chmod(s.Cesta().c_str(), 0755);
  test::DemoWeb web(s);
  web.Vydani("Setup/Merko/app.exe", "nový program");
  web.Publikovat("20141231");
  web.Instalace("Merko.ini", "[Merko]\r\nRelease=20140301\r\n");
  web.Instalace("Setup/Merko/app.exe", "starý program");
  web.Instalace("SetupCommon/System/s.dll", "společná");
  web.PripravitProgram();
  PredatVse(s / "data");
  PredatVse(s / "program");
  PredatVse(s / "temp");
  // The previous backup holds a folder of another owner that the run may not empty.
  s.Zapsat("data/Firma/Setup/Merko_old/cizi/soubor", "cizí");
  ::chown((s / "data/Firma/Setup/Merko_old").c_str(), 65534, 65534);

  auto v = test::Spustit({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                          "--", web.Program() + "Zevlon"},
                         {"TEMP=" + (s / "temp"), "DUNMOR_REGISTRY=" + (s / "registry.reg")});
  EXPECT_EQ(v.kod, 1) << v.vystup;
  // The new content was built (its file downloaded): the refusal came at the swap.
  auto pozadavky = web.NovePozadavky();
  EXPECT_NE(
      std::find(pozadavky.begin(), pozadavky.end(), "/aktualizace-online/Setup/Merko/app.exe.zip"),
      pozadavky.end());
  EXPECT_EQ(s.Cist("data/Firma/Setup/Merko/app.exe"), "starý program");
  EXPECT_EQ(s.Cist("data/Firma/Setup/Merko_old/cizi/soubor"), "cizí");
  for (const auto& e : fs::directory_iterator(web.Profil() + "Setup"))
    EXPECT_EQ(e.path().filename().string().find("dwnld_"), std::string::npos) << e.path();
}

}  // namespace
}  // namespace zevlon
