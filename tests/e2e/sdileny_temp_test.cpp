// The real Zevlon run as root with its temp folder in a sticky folder that every user may
// write (as /tmp), where user 65534 has laid out beforehand what an attacker would: the
// private folder's name taken by a link or a folder of theirs, the run folders of the
// coming minutes, release information files and links under the names root uses. None
// of it may be entered, read, changed or run; the update goes on as if it were not there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <regex>
#include <thread>

#include "e2e/pripravka.h"
#include "soubory/pomoc_operaci.h"
#include "support/http_server.h"
#include "support/neprivilegovany.h"

namespace fs = std::filesystem;

namespace zevlon {
namespace {

using test::Cesty;
using Otisk = std::map<std::string, std::string>;

// What lies below a folder, links never followed: each entry's kind, owner, mode and
// content or link target, by relative path.
Otisk Sejmout(const std::string& koren) {
  Otisk o;
  std::error_code e0;
  for (auto it = fs::recursive_directory_iterator(koren, e0);
       it != fs::recursive_directory_iterator(); it.increment(e0)) {
    const std::string p = it->path().string();
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) continue;
    std::string popis = std::to_string(st.st_uid) + " " + std::to_string(st.st_mode & 07777) + " ";
    if (S_ISLNK(st.st_mode))
      popis += "-> " + fs::read_symlink(p).string();
    else if (S_ISREG(st.st_mode))
      popis += "= " + test::CistSoubor(p);
    else
      popis += "/";
    o[it->path().lexically_relative(koren).string()] = popis;
  }
  return o;
}

class SdilenyTemp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0)
      GTEST_SKIP() << "an attacker's files need another user: this test runs only as root";
    ASSERT_TRUE(test::ZpristupnitSandbox(s_));
    ::chmod(s_.Vytvorit("tmp").c_str(), 01777);
    ::chmod(s_.Vytvorit("utocnik").c_str(), 0755);
    test::PredatNeprivilegovanemu(s_ / "utocnik");
    test::PripravitProgram(s_, web_, profil_);
    s_.Zapsat("vydani/Setup/Merko/Merko.exe", "Merko 20141231");
    s_.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20141231\r\n");
    s_.Zapsat("vydani/SetupCommon/System/spolecne.dll", "společné 20141231");
    Publikovat();
    s_.Zapsat("data/Firma/Merko.ini", "[Merko]\r\nRelease=20140301\r\n");
    Instalace();
  }
  // The installed program folder of an older release (files of the same size, older).
  void Instalace() {
    for (auto [jmeno, obsah] : {std::pair{"Merko.exe", "Merko 20140301"},
                                {"Merko.ini", "[Merko]\r\nRelease=20140301\r\n"}})
      test::NastavitCas(s_.Zapsat(std::string("data/Firma/Setup/Merko/") + jmeno, obsah),
                        1393632000, 0);
  }
  void Publikovat(const Cesty& dalsi = {}) { test::Publikovat(s_, web_, "20141231", dalsi); }
  // A shell script run as user 65534 in the shared folder, with the arguments given.
  void Utocnik(const std::string& skript, Cesty argumenty = {}) {
    Cesty a = test::JakoNeprivilegovany();
    a.insert(a.end(), {"/bin/sh", "-ec", "cd \"$0\"; " + skript, s_ / "tmp"});
    a.insert(a.end(), argumenty.begin(), argumenty.end());
    auto v = test::Spustit(a);
    ASSERT_EQ(v.kod, 0) << v.vystup;
  }
  test::VysledekProcesu Spustit(const std::string& temp, Cesty prostredi = {}) {
    prostredi.insert(prostredi.end(),
                     {"TEMP=" + temp, "TMPDIR=", "DUNMOR_REGISTRY=" + (s_ / "registry.reg")});
    return test::Spustit({s_ / "program/Zevlon"}, prostredi);
  }
  test::VysledekProcesu Spustit() { return Spustit(s_ / "tmp"); }
  std::string Nainstalovano() { return s_.Cist("data/Firma/Setup/Merko/Merko.exe"); }
  std::string ChybyBehu() { return test::LogProgramu(s_); }
  // Everything of the attacker's is as it was, and root left nothing in the shared folder
  // but its own private folder (when it is not taken).
  void NicNezmeneno(const Otisk& predtim) {
    Otisk ted = Sejmout(s_ / "tmp");
    if (!predtim.count("zevlon-0") && ted.count("zevlon-0")) {
      EXPECT_EQ(ted["zevlon-0"], "0 448 /");  // root's, 0700
      for (auto it = ted.begin(); it != ted.end();)
        it = it->first.starts_with("zevlon-0") ? ted.erase(it) : std::next(it);
    }
    EXPECT_EQ(ted, predtim);
    EXPECT_EQ(Sejmout(s_ / "utocnik"), utocnik_);
  }

  test::Sandbox s_;
  test::TestHttpServer server_{test::TestHttpServer::SlozkaSouboru(s_ / "www")};
  std::string profil_ = s_ / "data/Firma/", web_ = server_.Adresa() + "/aktualizace-online/";
  Otisk utocnik_;
};

// The run folder names of the seconds around now and of the coming ones.
Cesty NazvyBehu(int pocet) {
  Cesty jmena;
  const std::time_t ted = std::time(nullptr);
  for (std::time_t t = ted - 5; t < ted + pocet; ++t) {
    std::tm m{};
    ::localtime_r(&t, &m);
    char a[32], b[16];
    std::strftime(a, sizeof a, "%Y%m%d%H%M", &m);
    std::strftime(b, sizeof b, "%M%S", &m);
    jmena.push_back(std::string("dwnld_") + a + b + ".8");
  }
  return jmena;
}

// What the attacker lays out beforehand: the private folder's name taken by a link to
// their folder or by a folder of theirs; folders under the run folder names of the coming
// minutes, each with a file the run would delete or read if it used the folder; release
// information under root's names (in both letter cases, with a newer updater and their
// own site) and the download's temporary name as a link to a file of theirs. The run
// works in folders of its own, takes its information from the update site only and
// leaves all of it as it was.
TEST_F(SdilenyTemp, AttackersPlantsAreNeverEnteredReadOrTouched) {
  const struct {
    std::string zasadit;
    Cesty argumenty;
  } kPripady[] = {
      {"ln -s \"$1\" zevlon-0", {s_ / "utocnik"}},
      {"mkdir -m 777 zevlon-0", {}},
      {"for n; do mkdir -m 777 \"$n\"; echo utocnik >\"$n/master.snapshot\"; "
       "echo utocnik >\"$n/Merko.exe\"; done",
       NazvyBehu(240)},
      {"for n in download.ini DOWNLOAD.INI upravy_download.ini; do printf "
       "'[Merko]\\r\\nRelease=20991231\\r\\nZevlonVerze=99\\r\\nUrl=http://127.0.0.1:9/x/\\r\\n' "
       ">\"$n\"; done; echo muj >\"$1/cil\"; ln -s \"$1/cil\" download.ini.part; "
       "ln -s \"$1/cil\" Zevlon",
       {s_ / "utocnik"}},
  };
  for (const auto& p : kPripady) {
    SCOPED_TRACE(p.zasadit.substr(0, 40));
    fs::remove_all(s_ / "tmp");
    ::chmod(s_.Vytvorit("tmp").c_str(), 01777);
    ASSERT_NO_FATAL_FAILURE(Utocnik(p.zasadit, p.argumenty));
    utocnik_ = Sejmout(s_ / "utocnik");
    const Otisk predtim = Sejmout(s_ / "tmp");
    Instalace();
    auto v = Spustit();
    EXPECT_EQ(v.kod, 0) << v.vystup << ChybyBehu();
    EXPECT_EQ(Nainstalovano(), "Merko 20141231");
    EXPECT_EQ(ChybyBehu(), "");
    EXPECT_FALSE(test::Existuje(s_ / "program/ZevlonNew"));
    NicNezmeneno(predtim);
  }
}

// Folders of the run's names left in a private temp folder (by a stopped run) are never
// taken over: the run makes its own under another name, and the leftovers go.
TEST_F(SdilenyTemp, RunFolderIsAlwaysMadeNewEvenInAPrivateTempFolder) {
  const std::string temp = s_.Vytvorit("soukroma");
  for (const std::string& jmeno : NazvyBehu(20)) {
    s_.Zapsat("soukroma/" + jmeno + "/master.snapshot", "zbytek");
    s_.Zapsat("soukroma/" + jmeno + "/Merko.exe", "zbytek");
  }
  const Otisk predtim = Sejmout(temp);
  auto v = Spustit(temp);
  EXPECT_EQ(v.kod, 0) << v.vystup << ChybyBehu();
  EXPECT_EQ(Nainstalovano(), "Merko 20141231");
  // Folders of earlier runs are never used; in the user's own folder they are removed.
  Otisk ted = Sejmout(temp);
  EXPECT_EQ(ted.erase("download.ini"), 1u);
  EXPECT_FALSE(predtim.empty());
  EXPECT_TRUE(ted.empty());
}

// The attacker wins the race between removing the download's temporary file and opening
// it anew: a file of theirs stands under that name (the preloaded intervention lays it
// there right after the removal). Root never writes into it nor hands its result to them.
TEST_F(SdilenyTemp, FileLaidUnderTheDownloadsNameAfterItsRemovalIsNeverWrittenInto) {
  Cesty zasahy = test::PrednacteneZasahy();
  zasahy.push_back("ZASAH_PODSTRCIT=download.ini.part");
  auto v = Spustit(s_ / "tmp", zasahy);
  bool podstrceno = false;
  for (const auto& e : fs::recursive_directory_iterator(s_ / "tmp")) {
    struct stat st = test::Stav(e.path().string());
    if (e.path().filename() == "download.ini.part") {
      podstrceno = true;
      EXPECT_EQ(test::CistSoubor(e.path().string()), "utocnik\n");
      EXPECT_EQ(st.st_uid, test::NeprivilegovanyUid());
    } else {
      EXPECT_EQ(st.st_uid, 0u) << e.path();
    }
  }
  EXPECT_TRUE(podstrceno);
  // The run cannot make its download and ends cleanly; the installation stays as it was.
  EXPECT_EQ(v.kod, 1) << v.vystup;
  EXPECT_EQ(Nainstalovano(), "Merko 20140301");
  EXPECT_NE(ChybyBehu().find("download.ini.part"), std::string::npos) << ChybyBehu();
}

// A temp folder that every user may write and that is not sticky: anyone could swap a
// folder of the run in it, so the run refuses it before any request.
TEST_F(SdilenyTemp, TempFolderOthersMayWriteWithoutTheStickyBitIsRefused) {
  ::chmod(s_.Vytvorit("otevrena").c_str(), 0777);
  auto v = Spustit(s_ / "otevrena");
  EXPECT_EQ(v.kod, 1) << v.vystup;
  EXPECT_NE(ChybyBehu().find("\tDočasnou složku " + (s_ / "otevrena") +
                             " nelze bezpečně použít, protože do ní mohou zapisovat i jiní "
                             "uživatelé."),
            std::string::npos)
      << ChybyBehu();
  EXPECT_TRUE(server_.Pozadavky().empty());
  EXPECT_TRUE(fs::is_empty(s_ / "otevrena"));
  EXPECT_EQ(Nainstalovano(), "Merko 20140301");
}

// A newer updater from the site, with the private folder's name taken: it is started with
// the release information in the run's fresh folder, takes that folder over, carries out
// the update and removes the folder when it is done.
TEST_F(SdilenyTemp, NewUpdaterTakesOverTheRunsFreshFolderAndRemovesItWhenDone) {
  // The newer updater notes its arguments, takes the release information for its own
  // (no newer updater in it) and goes on as this program.
  s_.Zapsat("novy/Zevlon",
            "#!/bin/sh\ncd \"$(dirname \"$0\")\" && echo \"$@\" >s.tmp && mv s.tmp spusten.txt\n"
            "sed -i '/^ZevlonVerze=/d' \"$1\"\nexec ./Zevlon \"$@\"\n");
  ::chmod((s_ / "novy/Zevlon").c_str(), 0755);
  ASSERT_NO_FATAL_FAILURE(Publikovat({"--verze-zevlonu", "9", "--zevlon", s_ / "novy/Zevlon"}));
  ASSERT_NO_FATAL_FAILURE(Utocnik("ln -s \"$1\" zevlon-0", {s_ / "utocnik"}));
  utocnik_ = Sejmout(s_ / "utocnik");
  const Otisk predtim = Sejmout(s_ / "tmp");
  auto v = Spustit();
  EXPECT_EQ(v.kod, 0) << v.vystup << ChybyBehu();

  // The new updater runs on by itself: wait (bounded) until it has finished.
  std::string spusten;
  for (int i = 0; i < 600; ++i) {
    if (spusten.empty() && test::Existuje(s_ / "program/spusten.txt"))
      spusten = s_.Cist("program/spusten.txt");
    if (!spusten.empty() && Sejmout(s_ / "tmp") == predtim && Nainstalovano() == "Merko 20141231")
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(
      std::regex_match(spusten, std::regex(s_ / "tmp/zevlon-0\\.[A-Za-z0-9]{6}/download\\.ini\n")))
      << spusten;
  EXPECT_EQ(Nainstalovano(), "Merko 20141231") << ChybyBehu();
  NicNezmeneno(predtim);
}

}  // namespace
}  // namespace zevlon
