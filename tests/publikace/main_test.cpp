// zevlon-publikovat's command line: its help and relative paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "soubory/pomoc_operaci.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

namespace fs = std::filesystem;

// --help names every command and describes every option that a command takes.
TEST(PublikovatPrikazy, HelpListsEveryCommandAndDescribesEachOption) {
  auto v = test::Spustit({ZEVLON_PUBLIKOVAT, "--help"});
  EXPECT_EQ(v.kod, 0) << v.vystup;
  for (const char* prikaz : {"vydat", "klic", "podepsat", "servirovat", "nahrat", "zrcadlit"})
    EXPECT_NE(v.vystup.find(std::string("  zevlon-publikovat ") + prikaz + " "), std::string::npos)
        << prikaz << "\n"
        << v.vystup;
  // Each option stands in its command's line and at the head of a line that describes it.
  for (const char* volba :
       {"--vydani", "--adresa", "--zmena-dat", "--verze-zevlonu", "--zevlon", "--klic",
        "--predchozi", "--bez-hesla", "--port", "--log", "--aktivni", "--prazdny"}) {
    std::istringstream radky(v.vystup);
    int vPouziti = 0, popsana = 0;
    for (std::string r; std::getline(radky, r);) {
      vPouziti += r.find(std::string("[") + volba + " ") != std::string::npos ||
                  r.find(std::string("[") + volba + "]") != std::string::npos ||
                  r.find(std::string(" ") + volba + " ") != std::string::npos;
      popsana += r.rfind(std::string("  ") + volba + " ", 0) == 0 && r.size() > 24;
    }
    EXPECT_GT(vPouziti, 0) << volba;
    EXPECT_EQ(popsana, 1) << volba << "\n" << v.vystup;
  }
}

// A port that is not a number from 0 to 65535 is named in a clear error before anything
// starts.
TEST(PublikovatPrikazy, ServirovatRefusesAPortThatIsNotANumberInRange) {
  test::Sandbox s;
  s.Vytvorit("web");
  for (const char* port : {"abc", "65536", "-1", "80x", ""}) {
    auto v = test::Spustit({ZEVLON_PUBLIKOVAT, "servirovat", "--port", port, s / "web"});
    EXPECT_EQ(v.kod, 2) << port;
    EXPECT_NE(v.vystup.find(std::string("Port „") + port + "“ není číslo od 0 do 65535."),
              std::string::npos)
        << port << "\n"
        << v.vystup;
  }
}

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

// vydat replaces only a site it made itself, or an empty or missing folder: a site folder
// that is, holds or lies in the release folder, holds the key, or holds anything but a
// site is refused with a Czech message before anything is written, and nothing of the
// tool's is left behind.
TEST(PublikovatPrikazy, VydatReplacesOnlyASiteItMadeAndNeverTheReleaseOrTheKey) {
  test::Sandbox s;
  s.Zapsat("t/rel/Setup/Merko/Merko.exe", "merko");
  s.Zapsat("t/rel/Upravy/Doplnky/Fakt/f.dll", "fakturace");
  s.Zapsat("Zevlon", "aktualizátor");
  s.Zapsat("jine/poznamky.txt", "moje");
  auto V = [&](const std::string& kde, std::vector<std::string> a) {
    a.insert(a.begin(), {"/usr/bin/env", "-C", s / kde, ZEVLON_PUBLIKOVAT});
    return test::Spustit(a);
  };
  auto vydat = [&](const std::string& kde, const std::string& rel, const std::string& web) {
    return V(kde, {"vydat", "--vydani", "20150101", "--adresa", "http://127.0.0.1/a/", "--zevlon",
                   s / "Zevlon", "--klic", s / "t/k.key", rel, web});
  };
  ASSERT_EQ(V("", {"klic", "--bez-hesla", "t/k.key"}).kod, 0);
  // Its own site, made and then replaced; its own site with a file laid in it is not.
  for (int i = 0; i < 2; ++i) {
    auto v = vydat("", "t/rel", "web");
    ASSERT_EQ(v.kod, 0) << v.vystup;
  }
  fs::copy(s / "web", s / "web2", fs::copy_options::recursive);
  s.Zapsat("web2/Setup/navic.txt", "cizí");
  const struct {
    const char *kde, *rel, *web, *chyba;
  } pripady[] = {
      {"", "t/rel", "t", "obsahuje"},
      {"t", "rel", ".", "obsahuje"},
      {"", "t/rel", "t/rel", "je složkou vydání"},
      {"", "t/rel", "t/rel/web", "leží v ní"},
      {"", "t/rel", "jine", "chybí download.ini"},
      {"", "t/rel", "web2", "obsahuje Setup/navic.txt"},
  };
  const test::Strom predtim = test::CistStrom(s.Cesta());
  for (const auto& p : pripady) {
    SCOPED_TRACE(std::string(p.rel) + " -> " + p.web);
    auto v = vydat(p.kde, p.rel, p.web);
    EXPECT_EQ(v.kod, 1) << v.vystup;
    EXPECT_NE(v.vystup.find("Chyba: "), std::string::npos) << v.vystup;
    EXPECT_NE(v.vystup.find(p.chyba), std::string::npos) << v.vystup;
    EXPECT_EQ(test::CistStrom(s.Cesta()), predtim);
  }
}

}  // namespace
}  // namespace zevlon
