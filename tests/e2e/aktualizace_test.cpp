// Whole runs of the real Zevlon against a site published by the publisher and served
// on loopback.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "support/demo_web.h"
#include "support/sandbox.h"

namespace fs = std::filesystem;

namespace zevlon {
namespace {

using test::Sandbox;

class Aktualizace : public ::testing::Test {
 protected:
  void SetUp() override {
    // The release 20141231.
    web_.Vydani("Setup/Merko/Merko.exe", "Merko 20141231");
    web_.Vydani("Setup/Merko/Merko.dll", "knihovna");
    web_.Vydani("Setup/Merko/Napoveda/index.html", "nápověda 20141231");
    web_.Vydani("Setup/Setup.exe", "instalátor 20141231");
    web_.Vydani("SetupCommon/System/spolecne.dll", "společné 20141231");
    web_.Vydani("Upravy/Doplnky/Fakturace/fakturace.dll", "fakturace 20141231");
    web_.Vydani("Upravy/Moduly/Sklad/sklad.dll", "sklad");
    web_.Publikovat("20141231");

    // The installation of an older release; Merko.dll and the warehouse module are
    // unchanged copies of the published files.
    web_.Instalace("Merko.ini", "[Merko]\r\nRelease=20140301\r\n");
    web_.Instalace("Setup/Merko/Merko.exe", "Merko 20140301");
    web_.Instalace("Setup/Setup.exe", "instalátor 20140301");
    web_.Instalace("Setup/Upravy/Doplnky/Fakturace/fakturace.dll", "fakturace 20140301");
    web_.Instalace("Setup/Upravy/Doplnky/Fakturace/mistni.txt", "jen tady");
    web_.Instalace("SetupCommon/System/spolecne.dll", "společné 20140301");
    Kopie("Setup/Merko/Merko.dll", "Setup/Merko/Merko.dll");
    Kopie("Upravy/Moduly/Sklad/sklad.dll", "Setup/Upravy/Moduly/Sklad/sklad.dll");
    web_.PripravitProgram();
    web_.NovePozadavky();
  }

  // An installed copy of a release file with its time, as an earlier update left it.
  void Kopie(const std::string& vydani, const std::string& instalace) {
    fs::create_directories(fs::path(web_.Profil() + instalace).parent_path());
    fs::copy_file(s_ / ("vydani/" + vydani), web_.Profil() + instalace,
                  fs::copy_options::overwrite_existing | fs::copy_options::copy_symlinks);
    fs::last_write_time(web_.Profil() + instalace, fs::last_write_time(s_ / ("vydani/" + vydani)));
  }

  std::string Profil(const std::string& cesta) { return s_.Cist("data/Firma/" + cesta); }

  // Files downloaded, not counting the release information and the snapshots.
  static std::vector<std::string> StazeneSoubory(const std::vector<std::string>& pozadavky) {
    std::vector<std::string> s;
    for (const auto& p : pozadavky)
      if (p.find("master.snapshot.zip") == std::string::npos &&
          p.find("download.ini") == std::string::npos)
        s.push_back(p);
    std::sort(s.begin(), s.end());
    return s;
  }

  static bool ZbylyDocasneSlozky(const std::string& koren) {
    for (const auto& e : fs::recursive_directory_iterator(koren))
      if (e.path().filename().string().find("dwnld_") != std::string::npos) return true;
    return false;
  }

  Sandbox s_;
  test::DemoWeb web_{s_};
};

TEST_F(Aktualizace, FirstRunRenewsEveryFolderWithBackupsThenARepeatDownloadsOnlySnapshots) {
  auto v = web_.SpustitZevlon();
  ASSERT_EQ(v.kod, 0) << v.vystup;
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20141231");
  EXPECT_EQ(Profil("Setup/Merko/Napoveda/index.html"), "nápověda 20141231");
  EXPECT_EQ(Profil("Setup/Setup.exe"), "instalátor 20141231");
  EXPECT_EQ(Profil("SetupCommon/System/spolecne.dll"), "společné 20141231");
  EXPECT_EQ(Profil("Setup/Upravy/Doplnky/Fakturace/fakturace.dll"), "fakturace 20141231");
  EXPECT_EQ(Profil("Setup/Upravy/Doplnky/Fakturace/mistni.txt"), "jen tady");
  EXPECT_EQ(Profil("Setup/Merko_old/Merko.exe"), "Merko 20140301");
  EXPECT_EQ(Profil("SetupCommon_old/System/spolecne.dll"), "společné 20140301");
  EXPECT_EQ(Profil("Setup/Upravy_old/Doplnky/Fakturace/fakturace.dll"), "fakturace 20140301");
  EXPECT_FALSE(ZbylyDocasneSlozky(s_.Cesta()));
  EXPECT_EQ(StazeneSoubory(web_.NovePozadavky()),
            (std::vector<std::string>{"/aktualizace-online/Setup/Merko/Merko.exe.zip",
                                      "/aktualizace-online/Setup/Merko/Napoveda/index.html.zip",
                                      "/aktualizace-online/Setup/Setup.exe.zip",
                                      "/aktualizace-online/SetupCommon/System/spolecne.dll.zip",
                                      "/aktualizace-online/Upravy/Doplnky/Fakturace/"
                                      "fakturace.dll.zip"}));

  // Right after, everything is current: snapshots only, every file copied locally.
  v = web_.SpustitZevlon();
  ASSERT_EQ(v.kod, 0) << v.vystup;
  auto pozadavky = web_.NovePozadavky();
  EXPECT_TRUE(StazeneSoubory(pozadavky).empty());
  EXPECT_EQ(std::count_if(pozadavky.begin(), pozadavky.end(),
                          [](const std::string& p) {
                            return p.find("master.snapshot.zip") != std::string::npos;
                          }),
            4);
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20141231");
  EXPECT_FALSE(test::Existuje(web_.Program() + "online_errors.log"));
}

TEST_F(Aktualizace, OneChangedFileOnTheServerIsTheOnlyOneDownloaded) {
  ASSERT_EQ(web_.SpustitZevlon().kod, 0);
  web_.NovePozadavky();
  web_.Vydani("Setup/Merko/Merko.dll", "knihovna opravená");
  web_.Publikovat("20150115");
  auto v = web_.SpustitZevlon();
  ASSERT_EQ(v.kod, 0) << v.vystup;
  EXPECT_EQ(StazeneSoubory(web_.NovePozadavky()),
            std::vector<std::string>{"/aktualizace-online/Setup/Merko/Merko.dll.zip"});
  EXPECT_EQ(Profil("Setup/Merko/Merko.dll"), "knihovna opravená");
  EXPECT_EQ(Profil("Setup/Merko_old/Merko.dll"), "knihovna");
}

TEST_F(Aktualizace, NewerUpdaterIsDownloadedAndStartedAndTheSetupFoldersWait) {
  s_.Zapsat("novy/Zevlon", "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/spusten.txt\"\n");
  ::chmod((s_ / "novy/Zevlon").c_str(), 0755);
  web_.Publikovat("20141231", {"--verze-zevlonu", "9", "--zevlon", s_ / "novy/Zevlon"});
  auto v = web_.SpustitZevlon();
  ASSERT_EQ(v.kod, 0) << v.vystup;
  EXPECT_EQ(StazeneSoubory(web_.NovePozadavky()),
            std::vector<std::string>{"/aktualizace-online/SetupCommon/Zevlon.zip"});
  const std::string novy = web_.Program() + "ZevlonNew";
  EXPECT_EQ(s_.Cist("program/ZevlonNew"), s_.Cist("novy/Zevlon"));
  EXPECT_EQ(::access(novy.c_str(), X_OK), 0);
  for (int i = 0; i < 100 && !test::Existuje(web_.Program() + "spusten.txt"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(s_.Cist("program/spusten.txt"), web_.Temp() + "download.ini\n");
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20140301");
  EXPECT_FALSE(test::Existuje(web_.Profil() + "Setup/Merko_old"));
  EXPECT_FALSE(ZbylyDocasneSlozky(s_.Cesta()));
}

TEST_F(Aktualizace, FailureInTheSecondSetupFolderDeletesEveryTemporaryFolderAndIsLogged) {
  // Setup14 exists in the installation, but the site publishes no Setup14 package.
  web_.Instalace("Setup14/Merko/Merko.exe", "Merko 14 20140301");
  auto v = web_.SpustitZevlon();
  EXPECT_NE(v.kod, 0);
  EXPECT_FALSE(ZbylyDocasneSlozky(s_.Cesta()));
  EXPECT_EQ(Profil("Setup14/Merko/Merko.exe"), "Merko 14 20140301");
  std::string log = s_.Cist("program/online_errors.log");
  EXPECT_NE(log.find("http error: 404 Not Found"), std::string::npos) << log;
  EXPECT_NE(log.find("Setup14/master.snapshot.zip"), std::string::npos) << log;
}

TEST_F(Aktualizace, AddOnNeedingAnotherSuiteReleaseStopsTheUpdateAndChangesNothing) {
  // An add-on the site does not publish: its manifest points to release information
  // of its own, which asks for a suite release only 30 days older than the target.
  web_.Instalace("Setup/Upravy/Doplnky/Cizi/cizi.dll", "cizí");
  web_.Instalace("Setup/Upravy/Doplnky/Cizi/cizi.manifest.xml",
                 "<?xml version=\"1.0\"?><aplikace><updateOnLine urlIni=\"" + web_.Adresa() +
                     "cizi/\"/></aplikace>");
  s_.Zapsat("www/cizi/download.ini", "[Upravy\\Doplnky\\Cizi\\]\r\nUrl=" + web_.Adresa() +
                                         "cizi/\r\nReleaseMerko=20141201\r\n");
  auto v = web_.SpustitZevlon();
  EXPECT_NE(v.kod, 0);
  std::string log = s_.Cist("program/online_errors.log");
  EXPECT_NE(log.find("Nelze stáhnout aktualizace Merka, protože aplikace 'Upravy\\Doplnky\\Cizi\\' "
                     "vyžaduje Merko vydání 20141201. Zopakujte pokus o stažení později nebo se "
                     "obraťte na dodavatele aplikace."),
            std::string::npos)
      << log;
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20140301");
  EXPECT_EQ(Profil("SetupCommon/System/spolecne.dll"), "společné 20140301");
  EXPECT_FALSE(test::Existuje(web_.Profil() + "Setup/Merko_old"));
  EXPECT_FALSE(ZbylyDocasneSlozky(s_.Cesta()));
}

}  // namespace
}  // namespace zevlon
