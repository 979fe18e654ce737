#include "transfer/update_server.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "snapshots/instalacni_slozka.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/ftp_server.h"
#include "support/sandbox.h"
#include "transfer/mzip32.h"

namespace fs = std::filesystem;

namespace zevlon {
namespace {

using test::Sandbox;

SeznamSouboru Zaznamy(const std::vector<std::string>& cesty) {
  SeznamSouboru s;
  for (const auto& c : cesty) {
    auto z = std::make_shared<InstalovanySoubor>();
    z->Cesta = c;
    s.Pridat(c, z);
  }
  return s;
}

class UpdateServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = s_.Vytvorit("program") + "/Zevlon";
    platforma_.temp = s_.Vytvorit("temp");
    u_.server = "127.0.0.1";
    u_.Port = ftp_.Port();
    u_.user = ftp_.Uzivatel();
    u_.password = ftp_.Heslo();
    u_.remoteLocation = "pub\\app";
    u_.snapshot = "master.snapshot";
  }
  // An archive on the server holding the file under its bare name.
  void NaServer(const std::string& cesta, const std::string& obsah) {
    std::string f = s_.Zapsat("zdroj/" + cesta, obsah);
    fs::create_directories(fs::path(ftp_.Cesta("pub/app/" + cesta)).parent_path());
    ASSERT_EQ(ZazipovatJednoduse(f, ftp_.Cesta("pub/app/" + cesta + ".zip"), true, "", false), 0);
  }
  std::string Log() const {
    return test::Existuje(s_ / "program/Zevlon.log") ? s_.Cist("program/Zevlon.log") : "";
  }

  Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  test::FtpServer ftp_;
  UpdateServer u_;
};

TEST(UpdateServerCesty, RemoteFolderAndTemporaryFolder) {
  UpdateServer u;
  for (auto [vstup, vystup] :
       std::vector<std::pair<std::string, std::string>>{{"", "/"},
                                                        {"pub/app", "pub/app/"},
                                                        {"/pub/app/", "/pub/app/"},
                                                        {"pub\\app\\", "pub/app/"},
                                                        {"//pub//app", "/pub/app/"}}) {
    u.remoteLocation = vstup;
    EXPECT_EQ(u.VzdalenaSlozka(), vystup) << vstup;
  }
  test::FalesnaPlatforma p;
  p.temp = "/var/tmp";
  UpdateServer v;
  EXPECT_EQ(u.TempFolder().rfind("/var/tmp/Zevlon/", 0), 0u);
  EXPECT_NE(u.TempFolder(), v.TempFolder());
  EXPECT_EQ(u.TempFolder().back(), '/');
}

TEST_F(UpdateServerTest, MirrorUpdateReplacesTheMirrorAndLeavesNothingBehind) {
  NaServer("a/b/c.dll", "knihovna");
  NaServer("x.txt", "text");
  std::string mirror = s_.Vytvorit("mirror");
  s_.Zapsat("mirror/stary.txt", "zůstane");
  SeznamSouboru s = Zaznamy({"a/b/c.dll", "x.txt"});
  u_.AktualizovatSoubory(s, mirror);
  EXPECT_EQ(s_.Cist("mirror/a/b/c.dll"), "knihovna");
  EXPECT_EQ(s_.Cist("mirror/x.txt"), "text");
  EXPECT_EQ(s_.Cist("mirror/stary.txt"), "zůstane");
  EXPECT_FALSE(test::Existuje(mirror + "/Zevlon.stop"));
  EXPECT_FALSE(test::Existuje(u_.TempFolder()));
  for (const auto& p : s) {
    EXPECT_TRUE(p.hodnota->Downloaded);
    EXPECT_TRUE(p.hodnota->Unzipped);
  }
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(ftp_.Pocet("USER"), 1);
}

TEST_F(UpdateServerTest, OneMissingFileLeavesTheMirrorUntouchedAndIsLogged) {
  NaServer("x.txt", "text");
  std::string mirror = s_.Vytvorit("mirror");
  SeznamSouboru s = Zaznamy({"x.txt", "chybi/y.txt", "s mezerou.txt"});
  u_.AktualizovatSoubory(s, mirror);
  EXPECT_FALSE(test::Existuje(mirror + "/x.txt"));
  EXPECT_FALSE(test::Existuje(mirror + "/Zevlon.stop"));
  EXPECT_FALSE(test::Existuje(u_.TempFolder()));
  std::string log = Log();
  EXPECT_NE(log.find("\tSoubor nebyl stažen ze servru. chybi/y.txt\r\n"), std::string::npos);
  EXPECT_NE(log.find("\tSoubor nebyl stažen ze servru. s mezerou.txt\r\n"), std::string::npos);
  EXPECT_NE(log.find("\tAktualizace lokálního mirroru nebyla provedena. \r\n"), std::string::npos);
  EXPECT_EQ(log.find(ftp_.Heslo()), std::string::npos);
}

TEST_F(UpdateServerTest, UploadAndMirrorRoundTripASmallTree) {
  s_.Zapsat("zdroj/merko/app.exe", "program");
  s_.Zapsat("zdroj/merko/sub/lib.dll", "knihovna");
  s_.Zapsat("zdroj/Čteme.txt", "čeština");
  InstalacniSlozka sl;
  sl.NacistObsahSlozky(s_ / "zdroj/");
  SeznamSouboru s;
  for (const auto& p : *sl.DejObsahSlozky(VsechnySoubory))
    s.Pridat(p.klic, p.hodnota->Clone());
  u_.remoteLocation = "";  // the server's root
  u_.UploadovatSoubory(s, s_ / "zdroj");
  EXPECT_TRUE(test::Existuje(ftp_.Cesta("merko/sub/lib.dll.zip")));
  for (const auto& p : s) {
    EXPECT_TRUE(p.hodnota->Unzipped) << p.klic;
    EXPECT_TRUE(p.hodnota->Downloaded) << p.klic;
  }

  UpdateServer druhy = u_;
  std::string mirror = s_.Vytvorit("mirror");
  druhy.AktualizovatSoubory(s, mirror);
  EXPECT_EQ(s_.Cist("mirror/merko/app.exe"), "program");
  EXPECT_EQ(s_.Cist("mirror/merko/sub/lib.dll"), "knihovna");
  EXPECT_EQ(s_.Cist("mirror/Čteme.txt"), "čeština");
}

TEST_F(UpdateServerTest, UploadOfAMissingFileLeavesNoEmptyFileOnTheServer) {
  s_.Zapsat("zdroj/je.txt", "x");
  SeznamSouboru s = Zaznamy({"je.txt"});
  auto chybi = std::make_shared<InstalovanySoubor>();
  chybi->Cesta = "chybi.txt";
  s.Pridat("chybi.txt", chybi);
  // The copy of the missing file asks whether to retry; the fake answers No.
  EXPECT_THROW(u_.UploadovatSoubory(s, s_ / "zdroj"), Chyba);
  u_.FTPUpload(s, u_.TempFolder(), ".zip");
  EXPECT_TRUE(test::Existuje(ftp_.Cesta("pub/app/je.txt.zip")));
  EXPECT_FALSE(test::Existuje(ftp_.Cesta("pub/app/chybi.txt.zip")));
  EXPECT_FALSE(chybi->Downloaded);
}

TEST_F(UpdateServerTest, SnapshotIsDownloadedIntoTheTemporaryFolder) {
  ftp_.Zapsat("pub/app/master.snapshot", "a.txt\t2014-03-31 06:15:02\t1\t\r\n");
  std::string cesta = u_.StahnoutSnapshot();
  EXPECT_EQ(cesta, u_.TempFolder() + "master.snapshot");
  EXPECT_EQ(s_.Cist(cesta.substr(s_.Cesta().size() + 1)), "a.txt\t2014-03-31 06:15:02\t1\t\r\n");

  UpdateServer spatny = u_;
  spatny.password = "spatne";
  std::string chybi = spatny.StahnoutSnapshot();
  EXPECT_FALSE(test::Existuje(chybi));
}

}  // namespace
}  // namespace zevlon
