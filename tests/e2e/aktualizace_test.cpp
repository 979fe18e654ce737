// Whole runs of the real Zevlon against a site published by the publisher and served
// on loopback: complete updates, refusals by the file system and kills at any moment.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <thread>

#include "installers/pomoc_operaci.h"
#include "support/demo_web.h"

namespace fs = std::filesystem;

namespace zevlon {
namespace {

class Aktualizace : public ::testing::Test {
 protected:
  void SetUp() override {
    web_.Vydani("Setup/Merko/Merko.exe", "Merko 20141231");
    web_.Vydani("Setup/Merko/Merko.dll", "knihovna");
    web_.Vydani("Setup/Merko/Napoveda/index.html", "nápověda 20141231");
    web_.Vydani("Setup/Setup.exe", "instalátor 20141231");
    web_.Vydani("SetupCommon/System/spolecne.dll", "společné 20141231");
    web_.Vydani("Upravy/Doplnky/Fakturace/fakturace.dll", "fakturace 20141231");
    web_.Vydani("Upravy/Moduly/Sklad/sklad.dll", "sklad");
    web_.Publikovat("20141231");
    Instalace();
    web_.PripravitProgram();
    web_.NovePozadavky();
  }

  // The installation of an older release, laid out anew; Merko.dll and the warehouse
  // module are unchanged copies of the published files, with their times.
  void Instalace() {
    fs::remove_all(web_.Profil());
    web_.Instalace("Merko.ini", "[Merko]\r\nRelease=20140301\r\n");
    web_.Instalace("Setup/Merko/Merko.exe", "Merko 20140301");
    web_.Instalace("Setup/Setup.exe", "instalátor 20140301");
    web_.Instalace("Setup/Upravy/Doplnky/Fakturace/fakturace.dll", "fakturace 20140301");
    web_.Instalace("Setup/Upravy/Doplnky/Fakturace/mistni.txt", "jen tady");
    web_.Instalace("SetupCommon/System/spolecne.dll", "společné 20140301");
    for (auto [vydani, instalace] :
         {std::pair{"Setup/Merko/Merko.dll", "Setup/Merko/Merko.dll"},
          std::pair{"Upravy/Moduly/Sklad/sklad.dll", "Setup/Upravy/Moduly/Sklad/sklad.dll"}}) {
      std::string zdroj = s_ / (std::string("vydani/") + vydani), cil = web_.Profil() + instalace;
      fs::create_directories(fs::path(cil).parent_path());
      fs::copy_file(zdroj, cil);
      fs::last_write_time(cil, fs::last_write_time(zdroj));
    }
  }

  // The files of the three live folders that a run renews.
  std::array<test::Strom, 3> ZiveSlozky() {
    std::array<test::Strom, 3> s;
    for (int i = 0; i < 3; ++i)
      s[i] = test::CistStrom(web_.Profil() + kZiveSlozky[i]);
    return s;
  }
  static constexpr const char* kZiveSlozky[] = {"Setup/Merko", "SetupCommon", "Setup/Upravy"};
  // A run that failed or waited left the live folders as they were and no sibling.
  void Nezmeneno(const std::array<test::Strom, 3>& predtim) {
    EXPECT_EQ(ZiveSlozky(), predtim);
    EXPECT_FALSE(web_.ZbylySourozenci());
  }

  std::string Profil(const std::string& cesta) { return s_.Cist("data/Firma/" + cesta); }
  std::string Log() { return s_.Cist("program/online_errors.log"); }

  // The files downloaded, without release information and snapshots.
  static std::vector<std::string> Soubory(const std::vector<std::string>& pozadavky) {
    std::vector<std::string> s;
    for (const auto& p : pozadavky)
      if (p.find("master.snapshot.zip") == std::string::npos &&
          p.find("download.ini") == std::string::npos)
        s.push_back(p.substr(std::string("/aktualizace-online/").size()));
    std::sort(s.begin(), s.end());
    return s;
  }

  test::Sandbox s_;
  test::DemoWeb web_{s_};
};

TEST_F(Aktualizace, FirstRunRenewsEveryFolderWithBackupsAndLaterRunsFetchOnlyChanges) {
  auto v = web_.SpustitZevlon();
  ASSERT_EQ(v.kod, 0) << v.vystup;
  for (auto [cesta, obsah] : std::initializer_list<std::pair<const char*, const char*>>{
           {"Setup/Merko/Merko.exe", "Merko 20141231"},
           {"Setup/Merko/Napoveda/index.html", "nápověda 20141231"},
           {"Setup/Setup.exe", "instalátor 20141231"},
           {"SetupCommon/System/spolecne.dll", "společné 20141231"},
           {"Setup/Upravy/Doplnky/Fakturace/fakturace.dll", "fakturace 20141231"},
           {"Setup/Upravy/Doplnky/Fakturace/mistni.txt", "jen tady"},
           {"Setup/Merko_old/Merko.exe", "Merko 20140301"},
           {"SetupCommon_old/System/spolecne.dll", "společné 20140301"},
           {"Setup/Upravy_old/Doplnky/Fakturace/fakturace.dll", "fakturace 20140301"}})
    EXPECT_EQ(Profil(cesta), obsah) << cesta;
  EXPECT_FALSE(web_.ZbylySourozenci());
  EXPECT_EQ(
      Soubory(web_.NovePozadavky()),
      (std::vector<std::string>{"Setup/Merko/Merko.exe.zip", "Setup/Merko/Napoveda/index.html.zip",
                                "Setup/Setup.exe.zip", "SetupCommon/System/spolecne.dll.zip",
                                "Upravy/Doplnky/Fakturace/fakturace.dll.zip"}));

  // Right after, everything is current: the four snapshots only, every file copied.
  v = web_.SpustitZevlon();
  ASSERT_EQ(v.kod, 0) << v.vystup;
  auto pozadavky = web_.NovePozadavky();
  EXPECT_EQ(std::count_if(pozadavky.begin(), pozadavky.end(),
                          [](const auto& p) { return p.ends_with("master.snapshot.zip"); }),
            4);
  EXPECT_TRUE(Soubory(pozadavky).empty());
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20141231");
  EXPECT_FALSE(test::Existuje(web_.Program() + "online_errors.log"));

  web_.Vydani("Setup/Merko/Merko.dll", "knihovna opravená");
  web_.Publikovat("20150115");
  ASSERT_EQ(web_.SpustitZevlon().kod, 0);
  EXPECT_EQ(Soubory(web_.NovePozadavky()), std::vector<std::string>{"Setup/Merko/Merko.dll.zip"});
  EXPECT_EQ(Profil("Setup/Merko/Merko.dll"), "knihovna opravená");
  EXPECT_EQ(Profil("Setup/Merko_old/Merko.dll"), "knihovna");
}

TEST_F(Aktualizace, NewerUpdaterIsDownloadedAndStartedAndTheSetupFoldersWait) {
  s_.Zapsat("novy/Zevlon", "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/spusten.txt\"\n");
  ::chmod((s_ / "novy/Zevlon").c_str(), 0755);
  web_.Publikovat("20141231", {"--verze-zevlonu", "9", "--zevlon", s_ / "novy/Zevlon"});
  const auto predtim = ZiveSlozky();
  auto v = web_.SpustitZevlon();
  ASSERT_EQ(v.kod, 0) << v.vystup;
  EXPECT_EQ(Soubory(web_.NovePozadavky()), std::vector<std::string>{"SetupCommon/Zevlon.zip"});
  EXPECT_EQ(s_.Cist("program/ZevlonNew"), s_.Cist("novy/Zevlon"));
  EXPECT_EQ(::access((web_.Program() + "ZevlonNew").c_str(), X_OK), 0);
  for (int i = 0; i < 100 && !test::Existuje(web_.Program() + "spusten.txt"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(s_.Cist("program/spusten.txt"), web_.Temp() + "download.ini\n");
  Nezmeneno(predtim);
  EXPECT_FALSE(test::Existuje(web_.Profil() + "Setup/Merko_old"));
}

TEST_F(Aktualizace, FailureInTheSecondSetupFolderDeletesEveryTemporaryFolderAndIsLogged) {
  // Setup14 exists in the installation, but the site publishes no Setup14 package.
  web_.Instalace("Setup14/Merko/Merko.exe", "Merko 14 20140301");
  EXPECT_NE(web_.SpustitZevlon().kod, 0);
  EXPECT_FALSE(web_.ZbylySourozenci());
  EXPECT_EQ(Profil("Setup14/Merko/Merko.exe"), "Merko 14 20140301");
  EXPECT_NE(Log().find("http error: 404 Not Found"), std::string::npos) << Log();
  EXPECT_NE(Log().find("Setup14/master.snapshot.zip"), std::string::npos) << Log();
}

TEST_F(Aktualizace, AddOnNeedingAnotherSuiteReleaseStopsTheUpdateAndChangesNothing) {
  // An add-on the site does not publish: its manifest points to release information
  // of its own, which asks for a suite release only 30 days older than the target.
  web_.Instalace("Setup/Upravy/Doplnky/Cizi/cizi.manifest.xml",
                 "<?xml version=\"1.0\"?><aplikace><updateOnLine urlIni=\"" + web_.Adresa() +
                     "cizi/\"/></aplikace>");
  s_.Zapsat("www/cizi/download.ini", "[Upravy\\Doplnky\\Cizi\\]\r\nUrl=" + web_.Adresa() +
                                         "cizi/\r\nReleaseMerko=20141201\r\n");
  const auto predtim = ZiveSlozky();
  EXPECT_NE(web_.SpustitZevlon().kod, 0);
  EXPECT_NE(Log().find("Nelze stáhnout aktualizace Merka, protože aplikace "
                       "'Upravy\\Doplnky\\Cizi\\' vyžaduje Merko vydání 20141201. Zopakujte pokus "
                       "o stažení později nebo se obraťte na dodavatele aplikace."),
            std::string::npos)
      << Log();
  Nezmeneno(predtim);
  EXPECT_FALSE(test::Existuje(web_.Profil() + "Setup/Merko_old"));
}

// A process file-size limit fails each write beyond it as a full disk would.
TEST_F(Aktualizace, FailedWritesWhileBuildingLeaveTheLiveFoldersAndNoSiblings) {
  web_.Vydani("Setup/Merko/velky.dll", std::string(3 << 20, 'n'));
  web_.Publikovat("20141231");
  const auto predtim = ZiveSlozky();
  auto v = web_.SpustitZevlon({}, {"/usr/bin/prlimit", "--fsize=1048576", "--"});
  EXPECT_NE(v.kod, 0) << v.vystup;
  Nezmeneno(predtim);
  EXPECT_FALSE(test::Existuje(web_.Profil() + "Setup/Merko_old"));
  for (const auto& e : fs::recursive_directory_iterator(web_.Temp()))
    EXPECT_EQ(e.path().string().find("velky"), std::string::npos) << e.path();
  EXPECT_NE(Log().find("velky.dll"), std::string::npos) << Log();

  ASSERT_EQ(web_.SpustitZevlon().kod, 0);  // without the limit the installation is renewed
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20141231");
}

// For a run under an ordinary account the previous backup holds a folder that account
// may not empty: the swap stops before the live folder moves and nothing is lost.
TEST_F(Aktualizace, BackupThatCannotBeDeletedStopsTheSwapBeforeTheLiveFolderMoves) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser to hand the files to another user";
  ::chmod(s_.Cesta().c_str(), 0755);
  for (const char* koren : {"data", "program", "temp"}) {
    ::chown((s_ / koren).c_str(), 65534, 65534);
    for (const auto& e : fs::recursive_directory_iterator(s_ / koren))
      ::lchown(e.path().c_str(), 65534, 65534);
  }
  s_.Zapsat("data/Firma/Setup/Merko_old/cizi/soubor", "cizí");
  ::chown((s_ / "data/Firma/Setup/Merko_old").c_str(), 65534, 65534);
  const auto predtim = ZiveSlozky();
  auto v = web_.SpustitZevlon(
      {}, {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
  EXPECT_EQ(v.kod, 1) << v.vystup;
  // The new content was built (its file downloaded): the refusal came at the swap.
  auto stazene = Soubory(web_.NovePozadavky());
  EXPECT_NE(std::find(stazene.begin(), stazene.end(), "Setup/Merko/Merko.exe.zip"), stazene.end());
  Nezmeneno(predtim);
  EXPECT_EQ(Profil("Setup/Merko_old/cizi/soubor"), "cizí");
}

// A run killed at any moment never leaves a live folder missing or half renewed, and
// the next run completes the update.
TEST_F(Aktualizace, KillAtTwentyFiveMomentsLeavesOldOrNewAndTheNextRunFinishes) {
  // Many files spread the run, so that the kills land in every stage of it.
  for (int i = 0; i < 40; ++i)
    web_.Vydani("Setup/Merko/m" + std::to_string(i % 10) + "/f" + std::to_string(i) + ".dll",
                "nová " + std::to_string(i) + std::string(2000, 'x'));
  web_.Publikovat("20141231");
  const auto stare = ZiveSlozky();
  // The new content, from a complete run; the run's length from the shorter of two.
  std::chrono::microseconds doba = std::chrono::minutes(1);
  for (int i = 0; i < 2; ++i) {
    Instalace();
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(web_.SpustitZevlon().kod, 0);
    doba = std::min(doba, std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - t0));
  }
  const auto nove = ZiveSlozky();
  ASSERT_NE(stare, nove);

  int zabito = 0;
  for (int k = 1; k <= 25; ++k) {
    SCOPED_TRACE("a kill at moment " + std::to_string(k));
    Instalace();
    zabito += web_.SpustitZevlonAZabit(doba * k / 26) ? 1 : 0;  // spread over the whole run
    auto po = ZiveSlozky();
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(fs::is_directory(web_.Profil() + kZiveSlozky[i])) << kZiveSlozky[i];
      EXPECT_TRUE(po[i] == stare[i] || po[i] == nove[i]) << kZiveSlozky[i] << " is mixed";
    }
    auto v = web_.SpustitZevlon();
    ASSERT_EQ(v.kod, 0) << v.vystup;
    EXPECT_EQ(ZiveSlozky(), nove);
  }
  // Most kills land in a live run; a busy machine may stretch or shorten a few runs.
  EXPECT_GE(zabito, 13);
}

}  // namespace
}  // namespace zevlon
