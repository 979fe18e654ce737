// zevlon-publikovat's command line: relative paths.
#include <gtest/gtest.h>

#include <sstream>

#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

// Relative paths are taken from the folder the tool was started in.
TEST(PublikovatPrikazy, RelativePathsWork) {
  test::Sandbox s;
  s.Zapsat("vydani/Setup/Merko/Merko.exe", "merko");
  s.Zapsat("Zevlon", "aktualizátor");
  s.Vytvorit("klice");
  auto V = [&](std::vector<std::string> a) {
    a.insert(a.begin(), {"/usr/bin/env", "-C", s.Cesta(), ZEVLON_PUBLIKOVAT});
    return test::Spustit(a);
  };
  auto klic = V({"klic", "--bez-hesla", "klice/k.key"});
  EXPECT_EQ(klic.kod, 0) << klic.vystup;
  auto vydani = V({"vydat", "--vydani", "20150101", "--adresa", "http://127.0.0.1/a/", "--zevlon",
                   "Zevlon", "--klic", "klice/k.key", "vydani", "web"});
  EXPECT_EQ(vydani.kod, 0) << vydani.vystup;
  for (const char* soubor : {"Setup/master.snapshot.zip", "Setup/Merko/Merko.exe.zip",
                             "SetupCommon/Zevlon.zip", "download.ini.minisig"})
    EXPECT_TRUE(test::Existuje(s / "web/" + soubor)) << soubor;
  auto podpis = V({"podepsat", "--klic", "klice/k.key", "vydani/Setup/Merko/Merko.exe"});
  EXPECT_EQ(podpis.kod, 0) << podpis.vystup;
  auto overeni = test::Spustit({"/usr/bin/minisign", "-V", "-p", s / "klice/k.key.pub", "-m",
                                s / "vydani/Setup/Merko/Merko.exe"});
  EXPECT_EQ(overeni.kod, 0) << overeni.vystup;
}

}  // namespace
}  // namespace zevlon
