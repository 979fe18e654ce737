// The update server object against a real FTP server on loopback: its remote and
// temporary folders, the upload of a tree, the mirror update and the snapshot.
#include "transfer/update_server.h"

#include <gtest/gtest.h>

#include "common/chyba.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/ftp_server.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Existuje;

SeznamSouboru Zaznamy(const std::vector<std::string>& cesty) {
  SeznamSouboru s;
  for (const auto& c : cesty) {
    auto z = std::make_shared<InstalovanySoubor>();
    z->Cesta = c;
    s.Pridat(c, z);
  }
  return s;
}

TEST(UpdateServerCesty, RemoteFolderAndTemporaryFolder) {
  const std::vector<std::pair<std::string, std::string>> cesty = {{"", "/"},
                                                                  {"pub/app", "pub/app/"},
                                                                  {"/pub/app/", "/pub/app/"},
                                                                  {"pub\\app\\", "pub/app/"},
                                                                  {"//pub//app", "/pub/app/"}};
  UpdateServer u;
  for (const auto& [vstup, vystup] : cesty) {
    u.remoteLocation = vstup;
    EXPECT_EQ(u.VzdalenaSlozka(), vystup) << vstup;
  }
  test::FalesnaPlatforma p;
  p.temp = "/var/tmp";
  UpdateServer v;
  EXPECT_TRUE(u.TempFolder().starts_with("/var/tmp/Zevlon/")) << u.TempFolder();
  EXPECT_TRUE(u.TempFolder().ends_with("/"));
  EXPECT_NE(u.TempFolder(), v.TempFolder());
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
  std::string Log() const {
    return Existuje(s_ / "program/Zevlon.log") ? s_.Cist("program/Zevlon.log") : "";
  }

  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  test::FtpServer ftp_;
  UpdateServer u_;
};

TEST_F(UpdateServerTest, UploadedTreeIsMirroredOnlyWhenEveryFileArrives) {
  s_.Zapsat("zdroj/merko/app.exe", "program");
  s_.Zapsat("zdroj/merko/sub/lib.dll", "knihovna");
  s_.Zapsat("zdroj/Čteme.txt", "čeština");
  SeznamSouboru s = Zaznamy({"merko/app.exe", "merko/sub/lib.dll", "Čteme.txt"});
  u_.UploadovatSoubory(s, s_ / "zdroj");
  EXPECT_TRUE(Existuje(ftp_.Cesta("pub/app/merko/sub/lib.dll.zip")));
  EXPECT_EQ(ftp_.Pocet("USER"), 1);

  // Another object (so another temporary folder) mirrors it in one login; what the
  // mirror held before stays.
  UpdateServer druhy = u_;
  const std::string mirror = s_.Vytvorit("mirror");
  s_.Zapsat("mirror/stary.txt", "zůstane");
  druhy.AktualizovatSoubory(s, mirror);
  EXPECT_EQ(s_.Cist("mirror/merko/app.exe"), "program");
  EXPECT_EQ(s_.Cist("mirror/merko/sub/lib.dll"), "knihovna");
  EXPECT_EQ(s_.Cist("mirror/Čteme.txt"), "čeština");
  EXPECT_EQ(s_.Cist("mirror/stary.txt"), "zůstane");
  for (const auto& p : s) {
    EXPECT_TRUE(p.hodnota->Downloaded) << p.klic;
    EXPECT_TRUE(p.hodnota->Unzipped) << p.klic;
  }
  EXPECT_FALSE(Existuje(mirror + "/Zevlon.stop"));
  EXPECT_FALSE(Existuje(druhy.TempFolder()));
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(ftp_.Pocet("USER"), 2);

  // One missing file (a blank in the name never travels): the mirror stays untouched
  // and every miss is logged, without the password.
  const std::string jiny = s_.Vytvorit("jiny");
  SeznamSouboru neuplny = Zaznamy({"merko/app.exe", "chybi/y.txt", "s mezerou.txt"});
  druhy.AktualizovatSoubory(neuplny, jiny);
  EXPECT_FALSE(Existuje(jiny + "/merko"));
  EXPECT_FALSE(Existuje(jiny + "/Zevlon.stop"));
  EXPECT_FALSE(Existuje(druhy.TempFolder()));
  const std::string log = Log();
  for (const char* radek : {"\tSoubor nebyl stažen ze servru. chybi/y.txt\r\n",
                            "\tSoubor nebyl stažen ze servru. s mezerou.txt\r\n",
                            "\tAktualizace lokálního mirroru nebyla provedena. \r\n"})
    EXPECT_NE(log.find(radek), std::string::npos) << radek << log;
  EXPECT_EQ(log.find(ftp_.Heslo()), std::string::npos);
}

TEST_F(UpdateServerTest, UploadSendsNoEmptyFileAndNoNameWithABlank) {
  s_.Zapsat("zdroj/je.txt", "x");
  s_.Zapsat("zdroj/s mezerou.txt", "x");
  SeznamSouboru s = Zaznamy({"je.txt", "chybi.txt", "s mezerou.txt"});
  // Packing the missing file asks whether to retry; the fake answers No.
  EXPECT_THROW(u_.UploadovatSoubory(s, s_ / "zdroj"), Chyba);
  u_.FTPUpload(s, s_ / "zdroj", "");
  EXPECT_EQ(test::CistSoubor(ftp_.Cesta("pub/app/je.txt")), "x");
  EXPECT_FALSE(Existuje(ftp_.Cesta("pub/app/chybi.txt")));
  EXPECT_FALSE(Existuje(ftp_.Cesta("pub/app/s mezerou.txt")));
  EXPECT_TRUE(s.Ziskat("je.txt")->Downloaded);
  EXPECT_FALSE(s.Ziskat("chybi.txt")->Downloaded);
}

TEST_F(UpdateServerTest, SnapshotIsDownloadedIntoTheTemporaryFolder) {
  ftp_.Zapsat("pub/app/master.snapshot", "a.txt\t2014-03-31 06:15:02\t1\t\r\n");
  const std::string cesta = u_.StahnoutSnapshot();
  EXPECT_EQ(cesta, u_.TempFolder() + "master.snapshot");
  EXPECT_EQ(test::CistSoubor(cesta), "a.txt\t2014-03-31 06:15:02\t1\t\r\n");

  UpdateServer spatny = u_;
  spatny.password = "spatne";
  EXPECT_FALSE(Existuje(spatny.StahnoutSnapshot()));
}

}  // namespace
}  // namespace zevlon
