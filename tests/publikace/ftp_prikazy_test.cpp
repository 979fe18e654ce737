// zevlon-publikovat's FTP commands against a real FTP server on loopback.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

#include "aplikace/instalacni_slozka.h"
#include "prenos/podpisy/sha256.h"
#include "prenos/zip/mzip32.h"
#include "soubory/pomoc_operaci.h"
#include "support/ftp_server.h"
#include "support/http_server.h"
#include "support/neprivilegovany.h"

namespace zevlon {
namespace {

namespace fs = std::filesystem;
using test::Existuje;
using test::FtpServer;
using test::VolnyPort;

bool Obsahuje(const std::string& text, const std::string& cast) {
  return text.find(cast) != std::string::npos;
}

// A manifest naming the server, the commands run with TEMP in the sandbox.
class FtpPrikazy : public ::testing::Test {
 protected:
  explicit FtpPrikazy(const std::string& priznaky = "") : ftp_(priznaky) {
    s_.Vytvorit("temp");
    manifest_ = Manifest(std::to_string(ftp_.Port()));
  }

  std::string Manifest(const std::string& port, const std::string& heslo = FtpServer::kHeslo,
                       const std::string& jmeno = "app.manifest.xml") {
    return s_.Zapsat(
        jmeno, "<aplikace><UpdateOnLine protocol=\"ftp\" server=\"127.0.0.1\" port=\"" + port +
                   "\" user=\"" + FtpServer::kUzivatel + "\" password=\"" + heslo +
                   "\" remoteLocation=\"pub/app\" snapshot=\"m.snapshot\"/></aplikace>");
  }

  test::VysledekProcesu Prikaz(const char* prikaz, const std::string& slozka,
                               std::vector<std::string> volby = {}, std::string manifest = {}) {
    std::vector<std::string> a = {ZEVLON_PUBLIKOVAT, prikaz};
    a.insert(a.end(), volby.begin(), volby.end());
    a.push_back(manifest.empty() ? manifest_ : manifest);
    a.push_back(s_ / slozka);
    return test::Spustit(a, {"TEMP=" + s_ / "temp", "XDG_STATE_HOME=" + s_ / "stav"});
  }

  // Whether the commands left their TEMP/Zevlon/ behind.
  bool TempPrazdny() const { return !Existuje(s_ / "temp/Zevlon"); }

  test::Sandbox s_;
  FtpServer ftp_;
  std::string manifest_;
};

// A folder uploaded with its snapshot, each line with its file's SHA-256, mirrors back
// byte for byte into another folder, which keeps what it held: an add-on vendor's
// download.ini with its minisign signature included. A mirror that cannot be complete
// fails.
TEST_F(FtpPrikazy, UploadsWithChecksumsAndMirrorsASignedSiteBack) {
  s_.Zapsat("zdroj/merko/sub/lib.dll", "knihovna");
  s_.Zapsat("zdroj/Čteme.txt", "čeština");
  s_.Zapsat("zdroj/download.ini", "[Upravy\\Doplnky\\Fakturace\\]\r\nRelease=20150101\r\n");
  for (const std::vector<std::string>& prikaz :
       {std::vector<std::string>{"/usr/bin/minisign", "-G", "-W", "-p", s_ / "k.pub", "-s",
                                 s_ / "k.key"},
        {"/usr/bin/minisign", "-S", "-s", s_ / "k.key", "-m", s_ / "zdroj/download.ini"}}) {
    auto v = test::Spustit(prikaz);
    ASSERT_EQ(v.kod, 0) << v.vystup;
  }
  const std::vector<std::string> soubory = {"merko/sub/lib.dll", "Čteme.txt", "download.ini",
                                            "download.ini.minisig"};

  auto nahrani = Prikaz("nahrat", "zdroj");
  EXPECT_EQ(nahrani.kod, 0) << nahrani.vystup;
  EXPECT_EQ(nahrani.vystup.find(FtpServer::kHeslo), std::string::npos);
  EXPECT_TRUE(Obsahuje(nahrani.vystup, "Nahráno: 4 soubory a snímek, nenahráno 0."))
      << nahrani.vystup;
  const SeznamSouboru snapshot =
      InstalacniSlozka().NacistSnapshot(ftp_.domov / "pub/app/m.snapshot");
  for (const auto& p : snapshot)
    EXPECT_EQ(p.hodnota->Sha256, Sha256Souboru(s_ / "zdroj/" + p.hodnota->Cesta)) << p.klic;
  EXPECT_EQ(snapshot.Pocet(), soubory.size());

  s_.Zapsat("zrcadlo/stary.txt", "zůstane");
  auto zrcadleni = Prikaz("zrcadlit", "zrcadlo");
  EXPECT_EQ(zrcadleni.kod, 0) << zrcadleni.vystup;
  for (const std::string& soubor : soubory)
    EXPECT_EQ(s_.Cist("zrcadlo/" + soubor), s_.Cist("zdroj/" + soubor)) << soubor;
  auto overeni = test::Spustit(
      {"/usr/bin/minisign", "-V", "-p", s_ / "k.pub", "-m", s_ / "zrcadlo/download.ini"});
  EXPECT_EQ(overeni.kod, 0) << overeni.vystup;
  EXPECT_EQ(s_.Cist("zrcadlo/stary.txt"), "zůstane");
  EXPECT_FALSE(Existuje(s_ / "zrcadlo/Zevlon.stop"));

  std::filesystem::remove(ftp_.domov / "pub/app/Čteme.txt.zip");
  auto neuplne = Prikaz("zrcadlit", "jine");
  EXPECT_EQ(neuplne.kod, 1);
  EXPECT_TRUE(Obsahuje(neuplne.vystup, "Čteme.txt")) << neuplne.vystup;
  EXPECT_TRUE(TempPrazdny());
}

// A file that may not travel (a blank in its name) is named with the reason and left
// out of the uploaded snapshot, so that the server mirrors completely, into a folder
// not there yet, with neither its stop file nor a temporary folder left.
TEST_F(FtpPrikazy, TheUploadedSnapshotListsExactlyTheUploadedFiles) {
  s_.Zapsat("zdroj/ok.txt", "ano");
  s_.Zapsat("zdroj/s mezerou.txt", "ne");
  auto nahrani = Prikaz("nahrat", "zdroj");
  EXPECT_EQ(nahrani.kod, 1) << nahrani.vystup;
  EXPECT_TRUE(Obsahuje(nahrani.vystup, "Soubor s mezerou.txt nebyl nahrán: Název s mezerou"))
      << nahrani.vystup;
  EXPECT_TRUE(Obsahuje(nahrani.vystup, "Nahráno: 1 soubor a snímek, nenahráno 1."))
      << nahrani.vystup;
  const SeznamSouboru snapshot =
      InstalacniSlozka().NacistSnapshot(ftp_.domov / "pub/app/m.snapshot");
  EXPECT_EQ(snapshot.Pocet(), 1u);
  EXPECT_TRUE(snapshot.Obsahuje("ok.txt"));

  auto zrcadleni = Prikaz("zrcadlit", "nove/zrcadlo");
  EXPECT_EQ(zrcadleni.kod, 0) << zrcadleni.vystup;
  EXPECT_EQ(test::CistStrom(s_ / "nove/zrcadlo"), (test::Strom{{"ok.txt", "ano"}}));
  EXPECT_TRUE(TempPrazdny());
}

// Each file goes up under a name of its own and is renamed into place, download.ini and
// its signature after every other file and the snapshot. A mistyped or empty folder never
// empties the server: refused before any connection; an empty snapshot only when asked.
TEST_F(FtpPrikazy, FilesAreRenamedIntoPlaceDownloadIniLastAndNoMistakeEmptiesTheServer) {
  for (const char* soubor : {"download.ini", "a.txt", "download.ini.minisig", "z/zz.txt"})
    s_.Zapsat(std::string("zdroj/") + soubor, soubor);
  auto v = Prikaz("nahrat", "zdroj");
  ASSERT_EQ(v.kod, 0) << v.vystup;
  auto poradi = ftp_.Prejmenovano();
  ASSERT_EQ(poradi.size(), 5u);
  EXPECT_EQ(poradi[2], "m.snapshot");
  std::sort(poradi.begin() + 3, poradi.end());
  EXPECT_EQ(poradi[3], "download.ini.minisig.zip");
  EXPECT_EQ(poradi[4], "download.ini.zip");
  const std::string snapshot = ftp_.domov / "pub/app/m.snapshot";
  EXPECT_EQ(InstalacniSlozka().NacistSnapshot(snapshot).Pocet(), 4u);
  for (const auto& e : fs::recursive_directory_iterator(ftp_.domov / "pub/app"))
    EXPECT_EQ(e.path().string().find(".nahrava"), std::string::npos) << e.path();

  s_.Vytvorit("prazdna");
  const int prihlaseni = ftp_.Pocet("USER");
  for (const char* slozka : {"preklep", "prazdna"}) {
    SCOPED_TRACE(slozka);
    v = Prikaz("nahrat", slozka);
    EXPECT_EQ(v.kod, 1) << v.vystup;
    EXPECT_TRUE(Obsahuje(v.vystup, std::string("Chyba: Složka ") + (s_ / slozka))) << v.vystup;
    EXPECT_EQ(ftp_.Pocet("USER"), prihlaseni);
    EXPECT_EQ(InstalacniSlozka().NacistSnapshot(snapshot).Pocet(), 4u);
  }
  v = Prikaz("nahrat", "prazdna", {"--prazdny"});
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_EQ(InstalacniSlozka().NacistSnapshot(snapshot).Pocet(), 0u);
  EXPECT_TRUE(TempPrazdny());
}

// Of a site whose releases lie in folders of their own only the live release's folder goes
// up, whole (its files shared with the release before as well), download.ini after it and
// the snapshot; a mirror of the server is that release's site. Relative paths; passive.
TEST_F(FtpPrikazy, ASiteUploadsItsLiveReleaseFolderWholeAndDownloadIniLast) {
  s_.Zapsat("vydani/Setup/Merko/Merko.dll", "knihovna");
  for (const char* r : {"20150101", "20150102"}) {
    s_.Zapsat("vydani/Setup/Merko/Merko.ini", std::string("[Merko]\r\nRelease=") + r + "\r\n");
    auto v = test::Spustit({ZEVLON_PUBLIKOVAT, "vydat", "--vydani", r, "--adresa", "ftp://h/a/",
                            s_ / "vydani", s_ / "web"});
    ASSERT_EQ(v.kod, 0) << v.vystup;
  }
  auto V = [&](const char* prikaz, const char* slozka) {
    return test::Spustit(
        {"/usr/bin/env", "-C", s_.Cesta(), ZEVLON_PUBLIKOVAT, prikaz, "app.manifest.xml", slozka},
        {"TEMP=" + s_ / "temp", "XDG_STATE_HOME=" + s_ / "stav"});
  };
  auto v = V("nahrat", "web");
  ASSERT_EQ(v.kod, 0) << v.vystup;
  EXPECT_GT(ftp_.Pocet("EPSV") + ftp_.Pocet("PASV"), 0);
  EXPECT_EQ(ftp_.Pocet("EPRT") + ftp_.Pocet("PORT"), 0);
  const auto poradi = ftp_.Prejmenovano();
  ASSERT_GE(poradi.size(), 2u);
  EXPECT_EQ(poradi[poradi.size() - 2], "m.snapshot");
  EXPECT_EQ(poradi.back(), "download.ini.zip");
  ASSERT_EQ(V("zrcadlit", "./zrcadlo/").kod, 0);
  test::Strom ocekavano;
  for (const auto& [cesta, obsah] : test::CistStrom(s_ / "web"))
    if (cesta == "download.ini" || cesta.starts_with("vydani/20150102/")) ocekavano[cesta] = obsah;
  EXPECT_GE(ocekavano.size(), 5u);  // download.ini twice, the snapshot and the files
  EXPECT_EQ(test::CistStrom(s_ / "zrcadlo"), ocekavano);
}

// A wrong password and a port nobody listens on: the FTP client's error is printed, the
// summary does not claim the snapshot, no temporary folder stays, the log is named.
TEST_F(FtpPrikazy, AFailedConnectionNamesItsCauseAndLeavesNoTemporaryFolder) {
  s_.Zapsat("zdroj/a.txt", "a");
  s_.Zapsat("zdroj/b/c.txt", "c");
  const std::string spatneHeslo = Manifest(std::to_string(ftp_.Port()), "spatne", "heslo.xml");
  const std::string nikdo = Manifest(std::to_string(VolnyPort()), FtpServer::kHeslo, "nikdo.xml");
  const std::string log = s_ / "stav/zevlon/Zevlon.log";
  for (const auto& [manifest, chyba] :
       {std::pair{spatneHeslo, std::string("Chyba 12014")}, {nikdo, "Chyba 12029"}}) {
    auto nahrani = Prikaz("nahrat", "zdroj", {}, manifest);
    EXPECT_EQ(nahrani.kod, 1) << nahrani.vystup;
    EXPECT_TRUE(Obsahuje(nahrani.vystup, chyba)) << nahrani.vystup;
    EXPECT_FALSE(Obsahuje(nahrani.vystup, "a snímek")) << nahrani.vystup;
    EXPECT_TRUE(Obsahuje(nahrani.vystup, "nenahráno 2")) << nahrani.vystup;
    EXPECT_TRUE(Obsahuje(nahrani.vystup, log)) << nahrani.vystup;
    EXPECT_FALSE(Obsahuje(nahrani.vystup, FtpServer::kHeslo)) << nahrani.vystup;
    EXPECT_TRUE(TempPrazdny());

    auto zrcadleni = Prikaz("zrcadlit", "zrcadlo", {}, manifest);
    EXPECT_EQ(zrcadleni.kod, 1) << zrcadleni.vystup;
    EXPECT_TRUE(Obsahuje(zrcadleni.vystup, "Snímek serveru se nepodařilo stáhnout."))
        << zrcadleni.vystup;
    EXPECT_TRUE(Obsahuje(zrcadleni.vystup, chyba)) << zrcadleni.vystup;
    EXPECT_TRUE(Obsahuje(zrcadleni.vystup, log)) << zrcadleni.vystup;
    EXPECT_TRUE(TempPrazdny());
    EXPECT_FALSE(Existuje(s_ / "zrcadlo"));
  }
}

// The log lies in the user's state folder, never beside the tool, also for a user who may
// not write there, and is named.
TEST_F(FtpPrikazy, AUsersLogGoesToTheStateFolderAndIsNamed) {
  ::chmod(s_.Cesta().c_str(), 0755);
  test::PredatNeprivilegovanemu(s_ / "temp");
  test::PredatNeprivilegovanemu(s_.Vytvorit("stav"));
  test::PredatNeprivilegovanemu(manifest_);
  const std::string nikdo = Manifest(std::to_string(VolnyPort()), FtpServer::kHeslo, "nikdo.xml");
  test::PredatNeprivilegovanemu(nikdo);
  std::vector<std::string> a = test::JakoNeprivilegovany();
  a.insert(a.end(), {ZEVLON_PUBLIKOVAT, "zrcadlit", nikdo, s_ / "zrcadlo"});
  auto v = test::Spustit(a, {"TEMP=" + s_ / "temp", "XDG_STATE_HOME=" + s_ / "stav"});
  EXPECT_EQ(v.kod, 1) << v.vystup;
  const std::string log = s_ / "stav/zevlon/Zevlon.log";
  EXPECT_TRUE(Obsahuje(v.vystup, log)) << v.vystup;
  EXPECT_TRUE(Obsahuje(s_.Cist("stav/zevlon/Zevlon.log"), "Chyba 12029"));
}

// --aktivni asks for active transfers (passive ones without it: the test of a site's upload).
TEST_F(FtpPrikazy, TransfersAreActiveWhenAsked) {
  s_.Zapsat("zdroj/a.txt", "a");
  auto nahrani = Prikaz("nahrat", "zdroj", {"--aktivni"});
  EXPECT_EQ(nahrani.kod, 0) << nahrani.vystup;
  auto zrcadleni = Prikaz("zrcadlit", "zrcadlo", {"--aktivni"});
  EXPECT_EQ(zrcadleni.kod, 0) << zrcadleni.vystup;
  EXPECT_GT(ftp_.Pocet("EPRT") + ftp_.Pocet("PORT"), 0);
}

// A server on a port above 32767.
class FtpPrikazyVysokyPort : public FtpPrikazy {
 protected:
  FtpPrikazyVysokyPort() : FtpPrikazy("vysoky") {}
};

// Ports up to 65535 work; a port that is no number or out of range is named as such.
TEST_F(FtpPrikazyVysokyPort, PortsUpTo65535WorkAndOthersAreRefusedClearly) {
  ASSERT_GT(ftp_.Port(), 32767);
  s_.Zapsat("zdroj/a.txt", "a");
  auto nahrani = Prikaz("nahrat", "zdroj");
  EXPECT_EQ(nahrani.kod, 0) << nahrani.vystup;
  auto zrcadleni = Prikaz("zrcadlit", "zrcadlo");
  EXPECT_EQ(zrcadleni.kod, 0) << zrcadleni.vystup;
  EXPECT_EQ(s_.Cist("zrcadlo/a.txt"), "a");

  for (const char* port : {"abc", "65536", "-1", "21x", ""}) {
    const std::string m = Manifest(port, FtpServer::kHeslo, "spatny.xml");
    for (const char* prikaz : {"nahrat", "zrcadlit"}) {
      auto v = Prikaz(prikaz, "zdroj", {}, m);
      EXPECT_EQ(v.kod, 1) << v.vystup;
      EXPECT_TRUE(Obsahuje(
          v.vystup, std::string("Port FTP serveru „") + port + "“ není číslo od 1 do 65535."))
          << port << ": " << v.vystup;
    }
  }
}

// A server whose downloads trickle.
class FtpPrikazyKapka : public FtpPrikazy {
 protected:
  FtpPrikazyKapka() : FtpPrikazy("kapka") {}
};

// A mirror keeps to the updater's bounds: a package that unpacks to more than its snapshot
// line says is not taken, and a server that sends below the minimum speed of the options
// beside the tool is given up; the mirror stays as it was, also when Ctrl+C stops it in the
// middle of the slow download (exit status 2, its temporary folder gone).
TEST_F(FtpPrikazyKapka, AMirrorKeepsToTheSnapshotsSizesAndTheUpdatersSpeed) {
  // b.bin is incompressible enough not to arrive in the two seconds at 512 B/s.
  std::string nahodne(8 << 10, '\0');
  unsigned x = 1;
  for (char& c : nahodne)
    c = static_cast<char>((x = x * 1103515245u + 12345u) >> 16);
  s_.Zapsat("zdroj/a.txt", "aaaa");
  s_.Zapsat("zdroj/b.bin", nahodne);
  auto v = Prikaz("nahrat", "zdroj");
  ASSERT_EQ(v.kod, 0) << v.vystup;
  // a.txt's package replaced by one that unpacks to a MiB.
  s_.Zapsat("bomba/a.txt", std::string(1 << 20, '\0'));
  ASSERT_EQ(
      ZazipovatJednoduse(s_ / "bomba/a.txt", ftp_.domov / "pub/app/a.txt.zip", true, "", false), 0);
  const std::string nastroj = s_.Vytvorit("nastroj") + "/zevlon-publikovat";
  fs::copy_file(ZEVLON_PUBLIKOVAT, nastroj);
  s_.Zapsat("nastroj/zevlon-publikovat.ini",
            "[Server]\r\nMinRychlost=1024\r\nDobaMinRychlosti=2\r\n");
  s_.Zapsat("zrcadlo/stary.txt", "zůstane");

  v = test::Spustit({nastroj, "zrcadlit", manifest_, s_ / "zrcadlo"},
                    {"TEMP=" + s_ / "temp", "XDG_STATE_HOME=" + s_ / "stav"});
  EXPECT_EQ(v.kod, 1) << v.vystup;
  EXPECT_TRUE(Obsahuje(v.vystup, "Soubor b.bin nebyl stažen")) << v.vystup;
  EXPECT_EQ(test::CistStrom(s_ / "zrcadlo"), (test::Strom{{"stary.txt", "zůstane"}}));
  EXPECT_TRUE(Obsahuje(s_.Cist("stav/zevlon/Zevlon.log"), "Soubor nebyl rozzipován. a.txt.zip"))
      << s_.Cist("stav/zevlon/Zevlon.log");
  EXPECT_FALSE(Existuje(s_ / "nastroj/Zevlon.log"));
  EXPECT_TRUE(TempPrazdny());
  const pid_t pid = test::SpustitNaPozadi({nastroj, "zrcadlit", manifest_, s_ / "zrcadlo"},
                                          {"TEMP=" + s_ / "temp"}, STDERR_FILENO);
  for (int i = 0; i < 5000 && !Existuje(s_ / "temp/Zevlon/"); ++i)
    ::usleep(1000);
  ::kill(pid, SIGINT);
  int stav = 0;
  ASSERT_EQ(::waitpid(pid, &stav, 0), pid);
  EXPECT_TRUE(WIFEXITED(stav) && WEXITSTATUS(stav) == 2) << stav;
  EXPECT_TRUE(fs::is_empty(s_ / "temp/Zevlon"));
  EXPECT_EQ(test::CistStrom(s_ / "zrcadlo"), (test::Strom{{"stary.txt", "zůstane"}}));
}

}  // namespace
}  // namespace zevlon
