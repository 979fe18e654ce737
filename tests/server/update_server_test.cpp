// The update server against a real FTP server on loopback: a mirror is updated
// completely or not at all; uploads send what is there.
#include "server/update_server.h"

#include <gtest/gtest.h>

#include "common/chyba.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/ftp_server.h"

namespace zevlon {
namespace {

using test::Existuje;
using test::FtpServer;

SeznamSouboru Zaznamy(const std::vector<std::string>& cesty) {
  SeznamSouboru s;
  for (const auto& c : cesty) {
    s.Pridat(c, std::make_shared<InstalovanySoubor>());
    s.Ziskat(c)->Cesta = c;
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
    u_.user = FtpServer::kUzivatel;
    u_.password = FtpServer::kHeslo;
    u_.remoteLocation = "pub\\app";
    s_.Zapsat("zdroj/merko/sub/lib.dll", "knihovna");
    s_.Zapsat("zdroj/Čteme.txt", "čeština");
  }

  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  FtpServer ftp_;
  UpdateServer u_;
};

TEST_F(UpdateServerTest, AnIncompleteMirrorIsNotUpdated) {
  SeznamSouboru s = Zaznamy({"merko/sub/lib.dll", "Čteme.txt"});
  u_.UploadovatSoubory(s, s_ / "zdroj");
  // A missing file, a blank in a name and a path leaving the folder: the mirror stays
  // untouched, nothing lands outside temp, the misses are logged without the password.
  ftp_.domov.Zapsat("venku.txt.zip", "x");
  SeznamSouboru neuplny = Zaznamy({"Čteme.txt", "chybi/y.txt", "s mezerou.txt", "../../venku.txt"});
  UpdateServer druhy = u_;  // another object, so another temporary folder
  druhy.AktualizovatSoubory(neuplny, s_ / "mirror");
  EXPECT_FALSE(Existuje(s_ / "mirror"));
  EXPECT_FALSE(Existuje(s_ / "temp/venku.txt.zip"));
  EXPECT_FALSE(Existuje(druhy.TempFolder()));
  const std::string log = s_.Cist("program/Zevlon.log");
  for (const char* radek : {"\tSoubor nebyl stažen ze servru. chybi/y.txt\r\n",
                            "\tAktualizace lokálního mirroru nebyla provedena. \r\n"})
    EXPECT_NE(log.find(radek), std::string::npos) << radek << log;
  EXPECT_EQ(log.find(FtpServer::kHeslo), std::string::npos);
}

TEST_F(UpdateServerTest, UploadSendsNoMissingFileAndNothingFromOutside) {
  s_.Zapsat("mimo.txt", "tajné");
  SeznamSouboru s = Zaznamy({"Čteme.txt", "chybi.txt", "../mimo.txt"});
  EXPECT_THROW(u_.UploadovatSoubory(s, s_ / "zdroj"), Chyba);  // packing: No to a retry
  u_.FTPUpload(s, s_ / "zdroj", "");
  EXPECT_EQ(test::CistSoubor(ftp_.domov / "pub/app/Čteme.txt"), "čeština");
  EXPECT_FALSE(Existuje(ftp_.domov / "pub/app/chybi.txt"));
  EXPECT_FALSE(Existuje(ftp_.domov / "pub/mimo.txt"));
}

}  // namespace
}  // namespace zevlon
