// zevlon-publikovat's FTP commands against a real FTP server on loopback.
#include <gtest/gtest.h>

#include <filesystem>

#include "aplikace/instalacni_slozka.h"
#include "prenos/sha256.h"
#include "support/ftp_server.h"
#include "support/neprivilegovany.h"

namespace zevlon {
namespace {

using test::Existuje;
using test::FtpServer;

// A folder uploaded with its snapshot, each line with its file's SHA-256, mirrors back
// byte for byte into another folder, which keeps what it held: an add-on vendor's
// download.ini with its minisign signature included. A mirror that cannot be complete
// fails.
TEST(NahratZrcadlit, UploadsWithChecksumsAndMirrorsASignedSiteBack) {
  test::Sandbox s;
  FtpServer ftp;
  const std::string manifest = s.Zapsat(
      "app.manifest.xml", "<aplikace><UpdateOnLine protocol=\"ftp\" server=\"127.0.0.1\" port=\"" +
                              std::to_string(ftp.Port()) + "\" user=\"" + FtpServer::kUzivatel +
                              "\" password=\"" + FtpServer::kHeslo +
                              "\" remoteLocation=\"pub/app\" snapshot=\"m.snapshot\"/></aplikace>");
  s.Vytvorit("temp");
  s.Zapsat("zdroj/merko/sub/lib.dll", "knihovna");
  s.Zapsat("zdroj/Čteme.txt", "čeština");
  s.Zapsat("zdroj/download.ini", "[Upravy\\Doplnky\\Fakturace\\]\r\nRelease=20150101\r\n");
  for (const std::vector<std::string>& prikaz :
       {std::vector<std::string>{"/usr/bin/minisign", "-G", "-W", "-p", s / "k.pub", "-s",
                                 s / "k.key"},
        {"/usr/bin/minisign", "-S", "-s", s / "k.key", "-m", s / "zdroj/download.ini"}}) {
    auto v = test::Spustit(prikaz);
    ASSERT_EQ(v.kod, 0) << v.vystup;
  }
  const std::vector<std::string> soubory = {"merko/sub/lib.dll", "Čteme.txt", "download.ini",
                                            "download.ini.minisig"};
  auto Prikaz = [&](const char* prikaz, const std::string& slozka) {
    return test::Spustit({ZEVLON_PUBLIKOVAT, prikaz, manifest, s / slozka}, {"TEMP=" + s / "temp"});
  };

  auto nahrani = Prikaz("nahrat", "zdroj");
  EXPECT_EQ(nahrani.kod, 0) << nahrani.vystup;
  EXPECT_EQ(nahrani.vystup.find(FtpServer::kHeslo), std::string::npos);
  const SeznamSouboru snapshot =
      InstalacniSlozka().NacistSnapshot(ftp.domov / "pub/app/m.snapshot");
  for (const auto& p : snapshot)
    EXPECT_EQ(p.hodnota->Sha256, Sha256Souboru(s / "zdroj/" + p.hodnota->Cesta)) << p.klic;
  EXPECT_EQ(snapshot.Pocet(), soubory.size());

  s.Zapsat("zrcadlo/stary.txt", "zůstane");
  auto zrcadleni = Prikaz("zrcadlit", "zrcadlo");
  EXPECT_EQ(zrcadleni.kod, 0) << zrcadleni.vystup;
  for (const std::string& soubor : soubory)
    EXPECT_EQ(s.Cist("zrcadlo/" + soubor), s.Cist("zdroj/" + soubor)) << soubor;
  auto overeni = test::Spustit(
      {"/usr/bin/minisign", "-V", "-p", s / "k.pub", "-m", s / "zrcadlo/download.ini"});
  EXPECT_EQ(overeni.kod, 0) << overeni.vystup;
  EXPECT_EQ(s.Cist("zrcadlo/stary.txt"), "zůstane");
  EXPECT_FALSE(Existuje(s / "zrcadlo/Zevlon.stop"));

  std::filesystem::remove(ftp.domov / "pub/app/Čteme.txt.zip");
  EXPECT_EQ(Prikaz("zrcadlit", "jine").kod, 1);
}

}  // namespace
}  // namespace zevlon
