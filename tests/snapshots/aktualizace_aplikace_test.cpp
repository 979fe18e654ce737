#include "snapshots/aktualizace_aplikace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "common/chyba.h"
#include "driver/stav.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/http_server.h"
#include "support/sandbox.h"
#include "tools/publikace/publikace.h"

namespace zevlon {
namespace {

using test::Sandbox;
using test::TestHttpServer;

void Datovat(const std::string& soubor, time_t cas) {
  timespec casy[2] = {{0, UTIME_OMIT}, {cas, 0}};
  ::utimensat(AT_FDCWD, soubor.c_str(), casy, 0);
}

constexpr time_t kVydani = 1419940800;  // 2014-12-30 12:00 UTC

class AplikaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = s_ / "program/Zevlon";
    temp_ = s_.Vytvorit("temp") + "/";
    AktualniPolozka.clear();
  }

  // The server's folder: written, dated and published.
  void Server(const std::vector<std::pair<std::string, std::string>>& soubory) {
    for (auto& [cesta, obsah] : soubory)
      Datovat(s_.Zapsat("zdroj/" + cesta, obsah), kVydani);
    publikace::PublikovatSlozku(s_ / "zdroj/", s_ / "web/app/");
  }

  std::vector<std::string> Stazene() const {
    std::vector<std::string> c;
    for (auto& p : server_.Pozadavky())
      if (p.cesta.find("master.snapshot") == std::string::npos) c.push_back(p.cesta);
    std::sort(c.begin(), c.end());
    return c;
  }

  Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  TestHttpServer server_{TestHttpServer::SlozkaSouboru(s_ / "web")};
  std::string temp_;
};

TEST_F(AplikaceTest, UnchangedFilesAreCopiedFromTheirRealNamesAndTheRestDownloaded) {
  Server({{"program.exe", "program"},
          {"sub/Data Účtů.cfg", "data"},
          {"beze/zmeny.txt", "x"},
          {"vetsi.txt", "abc"}});
  s_.Zapsat("stara/PROGRAM.EXE", "program");  // only the letter case differs
  Datovat(s_ / "stara/PROGRAM.EXE", kVydani - 10);
  s_.Zapsat("stara/beze/zmeny.txt", "x");
  Datovat(s_ / "stara/beze/zmeny.txt", kVydani + 29);
  s_.Zapsat("stara/vetsi.txt", "abcd");  // another size
  Datovat(s_ / "stara/vetsi.txt", kVydani);
  s_.Zapsat("stara/nezname.txt", "server nezná");

  AktualizaceAplikace(temp_, server_.Adresa() + "/app/", s_ / "stara/", s_ / "nova/");
  EXPECT_EQ(s_.Cist("nova/program.exe"), "program");
  EXPECT_EQ(s_.Cist("nova/sub/Data Účtů.cfg"), "data");
  EXPECT_EQ(s_.Cist("nova/vetsi.txt"), "abc");
  EXPECT_FALSE(test::Existuje(s_ / "nova/nezname.txt"));
  EXPECT_EQ(Stazene(), (std::vector<std::string>{"/app/sub/Data%20%C3%9A%C4%8Dt%C5%AF.cfg.zip",
                                                 "/app/vetsi.txt.zip"}));
  // Copies and downloads keep the server's times, so the next run copies everything.
  struct stat st {};
  ::stat((s_ / "nova/sub/Data Účtů.cfg").c_str(), &st);
  EXPECT_EQ(st.st_mtime, kVydani);
  EXPECT_EQ(AktualniPolozka, "");
  EXPECT_TRUE(test::Existuje(temp_ + "master.snapshot"));
  EXPECT_FALSE(test::Existuje(temp_ + "vetsi.txt"));

  bool kopirovano = false, stazeno = false;
  for (auto& h : ui_.hlaseni) {
    kopirovano = kopirovano || h.zprava == "Kopíruje se program.exe";
    stazeno = stazeno || h.zprava == "Stahuje se nový soubor vetsi.txt";
  }
  EXPECT_TRUE(kopirovano);
  EXPECT_TRUE(stazeno);
}

TEST_F(AplikaceTest, MissingOldFolderDownloadsEverythingAndStaleSnapshotsAreReplaced) {
  Server({{"a.txt", "a"}});
  s_.Zapsat("temp/master.snapshot", "stary\tsnapshot");
  s_.Zapsat("temp/master.snapshot.zip", "stary zip");
  AktualizaceAplikace(temp_, server_.Adresa() + "/app/", s_ / "neni/", s_ / "nova/");
  EXPECT_EQ(s_.Cist("nova/a.txt"), "a");
  EXPECT_EQ(Stazene(), std::vector<std::string>{"/app/a.txt.zip"});
}

TEST_F(AplikaceTest, OnlyTheNamedFoldersOfTheOldCopyAreConsidered) {
  Server({{"Merko/app.exe", "nova"}, {"Setup.exe", "instalator"}});
  s_.Zapsat("setup/Merko/app.exe", "nova");
  Datovat(s_ / "setup/Merko/app.exe", kVydani);
  s_.Zapsat("setup/Upravy/app.exe", "nova");
  AktualizaceAplikace(temp_, server_.Adresa() + "/app/", s_ / "setup/", s_ / "nova/",
                      {s_ / "setup/Merko/"});
  EXPECT_EQ(Stazene(), std::vector<std::string>{"/app/Setup.exe.zip"});
  EXPECT_FALSE(test::Existuje(s_ / "nova/Upravy"));
}

TEST_F(AplikaceTest, FailuresNameTheirSourceAndLeaveTheFileInTheReport) {
  try {
    AktualizaceAplikace(temp_, server_.Adresa() + "/chybi/", s_ / "stara/", s_ / "nova/");
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Popis(), "http error: 404 Not Found");
    EXPECT_EQ(c.Zdroj(), "mMain::AktualizaceAplikace");
    EXPECT_EQ(AktualniPolozka,
              server_.Adresa() + "/chybi/master.snapshot.zip->" + temp_ + "master.snapshot.zip");
  }
  // A snapshot that is no archive at all gives the snapshot's own message.
  s_.Zapsat("web/spatny/master.snapshot.zip", "<html/>");
  try {
    AktualizaceAplikace(temp_, server_.Adresa() + "/spatny/", s_ / "stara/", s_ / "nova/");
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Popis(), "Nepodařilo se stáhnout informace o aktualizaci z internetu.");
  }
}

TEST_F(AplikaceTest, EmptySnapshotBuildsNothing) {
  s_.Vytvorit("zdroj");
  publikace::PublikovatSlozku(s_ / "zdroj/", s_ / "web/app/");
  AktualizaceAplikace(temp_, server_.Adresa() + "/app/", s_ / "stara/", s_ / "nova/");
  EXPECT_FALSE(test::Existuje(s_ / "nova"));
  EXPECT_TRUE(Stazene().empty());
}

}  // namespace
}  // namespace zevlon
