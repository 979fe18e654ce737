// The site that zevlon-publikovat writes, read as a peer would: unzipped with Info-ZIP,
// its download.ini with the INI reader.
#include "tools/publikace/publikace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "common/text.h"
#include "platform/nahrady/ini.h"
#include "prenos/podpisy/sha256.h"
#include "soubory/cesty.h"
#include "soubory/pomoc_operaci.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

namespace fs = std::filesystem;

// The one file of an archive, unpacked by Info-ZIP.
std::string Rozbalit(const std::string& archiv) {
  auto v = test::Spustit({"/usr/bin/unzip", "-p", archiv});
  EXPECT_EQ(v.kod, 0) << archiv;
  return v.vystup;
}

// Every snapshot of the site is named in download.ini by its SHA-256, and lists each
// file's SHA-256, so that one signature over download.ini covers the whole site; the
// updater program inside its package is named the same way.
TEST(Vydat, DownloadIniNamesEachSnapshotAndEachSnapshotEachFileBySha256) {
  test::Sandbox s;
  for (const char* soubor : {"Setup/Merko/Merko.exe", "Setup/cti.txt", "SetupCommon/sdilena.dll",
                             "Upravy/Doplnky/Fakturace/fakt.dll", "Upravy/Moduly/Sklad/data/x"})
    s.Zapsat(std::string("vydani/") + soubor, std::string("obsah ") + soubor);
  s.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20150101\r\n");
  const std::string zevlon = s.Zapsat("Zevlon", "aktualizátor");
  auto v = test::Spustit({ZEVLON_PUBLIKOVAT, "vydat", "--vydani", "20150101", "--adresa",
                          "http://127.0.0.1/a/", "--zevlon", zevlon, s / "vydani", s / "web"});
  ASSERT_EQ(v.kod, 0) << v.vystup;

  const std::string ini = s / "web/download.ini";
  auto Klic = [&](const std::string& sekce, const char* klic) {
    return ini::CistKlic(ini, sekce, klic).value_or("(chybí " + sekce + " " + klic + ")");
  };
  const std::pair<std::string, std::string> slozky[] = {
      {"Setup/", Klic("Merko", "Sha256Setup")},
      {"SetupCommon/", Klic("Merko", "Sha256SetupCommon")},
      {"Upravy/Doplnky/Fakturace/", Klic("Upravy\\Doplnky\\Fakturace\\", "Sha256")},
      {"Upravy/Moduly/Sklad/", Klic("Upravy\\Moduly\\Sklad\\", "Sha256")}};
  for (const auto& [slozka, otisk] : slozky) {
    const std::string snapshot =
        Rozbalit(s / "web/vydani/20150101/" + slozka + "master.snapshot.zip");
    EXPECT_EQ(otisk, Sha256(snapshot)) << slozka;
    const std::vector<std::string> radky = Rozdelit(snapshot, '\n');
    EXPECT_GT(radky.size(), 1u) << slozka;
    for (const std::string& r : radky) {  // path, time, size, SHA-256
      const std::vector<std::string> pole = Rozdelit(r.substr(0, r.find('\r')), '\t');
      if (r.empty()) continue;
      ASSERT_EQ(pole.size(), 4u) << r;
      EXPECT_EQ(pole[3], Sha256Souboru(s / "vydani/" + slozka + ZDratoveCesty(pole[0]))) << r;
    }
  }
  EXPECT_EQ(ini::CistKlic(ini, "Merko", "Sha256Setup14"), std::nullopt);  // not published
  EXPECT_EQ(Klic("Merko", "ZevlonSha256"),
            Sha256(Rozbalit(s / "web/vydani/20150101/SetupCommon/Zevlon.zip")));
}

// Each release lies in a folder of its own that download.ini's Urls name and that keeps the
// download.ini that published it; a folder's name is never used again; an unchanged file is
// a hard link to the live release's; --ponechat keeps that many folders of the tool's.
TEST(Vydat, EachReleaseLiesInAFolderOfItsOwnThatIsNeverReusedAndSharesUnchangedFiles) {
  test::Sandbox s;
  s.Zapsat("vydani/Setup/Merko/Merko.dll", "knihovna");
  s.Zapsat("vydani/Upravy/Doplnky/F/f.dll", "fakturace");
  auto url = [&](const std::string& sekce) {
    return ini::CistKlic(s / "web/download.ini", sekce, "Url").value_or("");
  };
  const struct {
    std::string vydani, slozka;
    std::vector<std::string> dalsi;
    std::set<std::string> slozky;  // below web/vydani/
  } kroky[] = {
      {"20150101", "20150101", {}, {"20150101"}},
      {"20150102", "20150102", {}, {"20150101", "20150102"}},
      {"20150102", "20150102.1", {}, {"20150101", "20150102", "20150102.1"}},
      {"20150103", "20150103", {"--ponechat", "2"}, {"20150102.1", "20150103", "cizi"}},
      {"20150101",
       "20150101.1",
       {"--vratit-vydani"},
       {"20150101.1", "20150103", "20150102.1", "cizi"}},
  };
  for (const auto& k : kroky) {
    SCOPED_TRACE(k.slozka);
    const std::string predtim = url("Merko");
    s.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=" + k.vydani + "\r\n");
    s.Zapsat("vydani/Setup/Merko/Merko.exe", "Merko " + k.vydani);
    std::vector<std::string> a{ZEVLON_PUBLIKOVAT,  "vydat",      "--vydani",
                               k.vydani,           "--adresa",   "http://h/a/",
                               "--prepsat-vydani", s / "vydani", s / "web"};
    a.insert(a.end(), k.dalsi.begin(), k.dalsi.end());
    const std::string vystup = test::Spustit(a).vystup;
    EXPECT_NE(vystup.find("(složka vydani/" + k.slozka + "/): "), std::string::npos) << vystup;
    const std::string v = s / "web/vydani/" + k.slozka + "/";
    EXPECT_EQ(url("Merko"), "http://h/a/vydani/" + k.slozka + "/");
    EXPECT_EQ(url("Upravy\\Doplnky\\F\\"), "http://h/a/vydani/" + k.slozka + "/Upravy/Doplnky/F/");
    EXPECT_EQ(s.Cist("web/vydani/" + k.slozka + "/download.ini"), s.Cist("web/download.ini"));
    if (k.slozka == "20150103") s.Vytvorit("web/vydani/cizi");
    std::set<std::string> slozky;
    for (const auto& e : fs::directory_iterator(s / "web/vydani"))
      if (e.is_directory()) slozky.insert(e.path().filename().string());
    EXPECT_EQ(slozky, k.slozky);
    if (predtim.empty()) continue;
    // Against the release before: the unchanged files shared, the changed ones not.
    const std::string p = s / ("web/" + predtim.substr(11));
    EXPECT_TRUE(fs::equivalent(v + "Upravy/Doplnky/F/f.dll.zip", p + "Upravy/Doplnky/F/f.dll.zip"));
    EXPECT_TRUE(fs::equivalent(v + "Setup/Merko/Merko.dll.zip", p + "Setup/Merko/Merko.dll.zip"));
    EXPECT_FALSE(predtim.find(k.vydani) == std::string::npos &&
                 fs::equivalent(v + "Setup/Merko/Merko.exe.zip", p + "Setup/Merko/Merko.exe.zip"));
  }
  // A folder that went in but never live (a run stopped before download.ini's switch) does
  // not push out the release that was live before the next one.
  fs::copy(s / "web/vydani/20150103", s / "web/vydani/20150104", fs::copy_options::recursive);
  s.Zapsat("web/vydani/.zevlon-slozky", s.Cist("web/vydani/.zevlon-slozky") + "vydani 20150104\n");
  s.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20150105\r\n");
  auto v = test::Spustit({ZEVLON_PUBLIKOVAT, "vydat", "--vydani", "20150105", "--adresa",
                          "http://h/a/", "--ponechat", "2", s / "vydani", s / "web"});
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_TRUE(test::Existuje(s / "web/vydani/20150101.1"));
}

}  // namespace
}  // namespace zevlon
