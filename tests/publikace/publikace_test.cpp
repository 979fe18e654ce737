// The site that zevlon-publikovat writes, read as a peer would: unzipped with Info-ZIP,
// its download.ini with the INI reader.
#include "tools/publikace/publikace.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/nahrady/ini.h"
#include "prenos/podpisy/sha256.h"
#include "soubory/cesty.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

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
    const std::string snapshot = Rozbalit(s / "web/" + slozka + "master.snapshot.zip");
    EXPECT_EQ(otisk, Sha256(snapshot)) << slozka;
    std::istringstream radky(snapshot);
    int pocet = 0;
    for (std::string radek; std::getline(radky, radek); ++pocet) {
      std::istringstream pole(radek.substr(0, radek.find('\r')));
      std::string cesta, datum, velikost, sha;
      std::getline(pole, cesta, '\t');
      std::getline(pole, datum, '\t');
      std::getline(pole, velikost, '\t');
      std::getline(pole, sha, '\t');
      EXPECT_EQ(sha, Sha256Souboru(s / "vydani/" + slozka + ZDratoveCesty(cesta))) << radek;
      EXPECT_TRUE(pole.eof()) << radek;
    }
    EXPECT_GT(pocet, 0) << slozka;
  }
  EXPECT_EQ(ini::CistKlic(ini, "Merko", "Sha256Setup14"), std::nullopt);  // not published
  EXPECT_EQ(Klic("Merko", "ZevlonSha256"), Sha256(Rozbalit(s / "web/SetupCommon/Zevlon.zip")));
}

}  // namespace
}  // namespace zevlon
