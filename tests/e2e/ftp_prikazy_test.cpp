// The publisher's FTP commands against a real FTP server: upload a folder, then
// mirror it into another one.
#include <gtest/gtest.h>

#include "support/demo_web.h"
#include "support/ftp_server.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

TEST(FtpPrikazy, UploadThenMirrorGivesTheSameFolder) {
  test::Sandbox s;
  test::FtpServer ftp;
  ftp.Vytvorit("pub");
  std::string manifest = s.Zapsat(
      "app.manifest.xml",
      "<aplikace><UpdateOnLine protocol=\"ftp\" server=\"127.0.0.1\" port=\"" +
          std::to_string(ftp.Port()) + "\" user=\"" + ftp.Uzivatel() + "\" password=\"" +
          ftp.Heslo() + "\" remoteLocation=\"pub/app\" snapshot=\"master.snapshot\"/></aplikace>");
  s.Zapsat("zdroj/Merko/app.exe", "program");
  s.Zapsat("zdroj/Merko/Knihovny/lib.dll", "knihovna");
  s.Zapsat("zdroj/Návod.txt", "čti mě");
  const std::vector<std::string> prostredi = {"TEMP=" + s.Vytvorit("temp")};

  auto nahrani = test::Spustit({ZEVLON_PUBLIKOVAT, "nahrat", manifest, s / "zdroj"}, prostredi);
  ASSERT_EQ(nahrani.kod, 0) << nahrani.vystup;
  EXPECT_TRUE(test::Existuje(ftp.Cesta("pub/app/master.snapshot")));
  EXPECT_EQ(nahrani.vystup.find(ftp.Heslo()), std::string::npos);
  auto zrcadleni =
      test::Spustit({ZEVLON_PUBLIKOVAT, "zrcadlit", manifest, s / "zrcadlo"}, prostredi);
  ASSERT_EQ(zrcadleni.kod, 0) << zrcadleni.vystup;
  EXPECT_EQ(s.Cist("zrcadlo/Merko/app.exe"), "program");
  EXPECT_EQ(s.Cist("zrcadlo/Merko/Knihovny/lib.dll"), "knihovna");
  EXPECT_EQ(s.Cist("zrcadlo/Návod.txt"), "čti mě");
  EXPECT_FALSE(test::Existuje(s / "zrcadlo/Zevlon.stop"));
}

}  // namespace
}  // namespace zevlon
