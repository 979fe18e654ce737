// The FTP client against a real server on loopback, in active and in passive mode,
// and the listing readers on a few representative lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "common/chyba.h"
#include "prenos/ftp/ftp_seznam.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/ftp_server.h"

namespace zevlon {
namespace {

using test::CistSoubor;
using test::Existuje;
using test::FtpServer;
using ::testing::StartsWith;
using Nazvy = std::set<std::string>;

const char* const kOdmitnuto = "Chyba 12003\r\nServer vrátil rozšířenou informaci o chybě.\r\n550 ";

// The outcome of the client's last operation: "OK" or its error text.
std::string Stav(const CFTPManager& ftp) {
  return ftp.FtpSuccess ? "OK" : ftp.FtpError;
}

// The names FtpDir lists for the mask, or its error text.
Nazvy Vypsat(CFTPManager& ftp, const std::string& maska = {}) {
  ftp.FtpDir(maska);
  Nazvy n;
  for (const auto& p : ftp.FtpSeznamSouboru)
    n.insert(p.hodnota->Nazev);
  return ftp.FtpSuccess ? n : Nazvy{ftp.FtpError};
}

class FtpKlient : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    server_.Nastavit(ftp_, GetParam());
    // Notifications: the bytes done of each; file and total checked when celkem_ is set.
    ftp_.FTPResponse = [this](bool& up, std::string& soubor, std::int64_t& hotovo,
                              std::int64_t& celkem, std::int32_t& zrusit) {
      hotovo_.push_back(hotovo);
      EXPECT_TRUE(celkem_ < 0 || (soubor == (up ? z_ : cil_) && celkem == celkem_)) << soubor;
      if (static_cast<int>(hotovo_.size()) == zrusitPri_) zrusit = 1;
    };
    ASSERT_TRUE(ftp_.FtpOpen()) << ftp_.FtpError;
  }

  FtpServer server_{"", {"ro"}};
  test::Sandbox lokalni_;
  const std::string z_ = lokalni_.Zapsat("z.bin", "0123456789"), cil_ = lokalni_ / "cil.bin";
  CFTPManager ftp_;
  std::vector<std::int64_t> hotovo_;
  std::int64_t celkem_ = -1;
  int zrusitPri_ = -1;
};

INSTANTIATE_TEST_SUITE_P(Rezimy, FtpKlient, ::testing::Values(false, true),
                         [](const auto& i) { return i.param ? "Pasivni" : "Aktivni"; });

TEST_P(FtpKlient, SessionFoldersListingDeletionAndHiddenCredentials) {
  server_.domov.Vytvorit("sub/inner");
  ftp_.FtpCurrDir("sub/inner/..");
  // A missing folder is not taken; a control character never reaches the server.
  ftp_.FtpCurrDir("/chybi");
  EXPECT_THAT(Stav(ftp_), StartsWith(kOdmitnuto));
  ftp_.FtpCurrDir("x\r\nDELE y");
  EXPECT_THAT(Stav(ftp_), StartsWith("Chyba 123\r\nSyntaxe názvu souboru"));
  EXPECT_EQ(ftp_.FtpCurrDir(), "/sub");
  // Missing levels are created from the root; a refused one is recorded, not shown.
  test::FalesneUi ui;
  ftp_.FtpMkDirExtended("/sub/b/c/");
  ftp_.FtpMkDirExtended("/ro/x/");
  EXPECT_TRUE(ui.zpravy.empty());
  EXPECT_TRUE(Existuje(server_.domov / "sub/b/c"));
  EXPECT_EQ(server_.Pocet("MKD"), 3);

  // Listing: names that are paths to a peer are never listed, masks apply to names.
  server_.domov.Zapsat("p/a.txt", "ahoj!");
  server_.domov.Zapsat("p/sub/vnořený.txt", "v");
  server_.domov.Zapsat("p/zpětné\\lomítko.txt", "x");
  server_.domov.Zapsat("ro/z.txt", "z");
  ftp_.FtpCurrDir("/p");
  EXPECT_EQ(Vypsat(ftp_), (Nazvy{"a.txt", "sub"}));
  EXPECT_EQ(Vypsat(ftp_, "sub/*.TXT"), Nazvy{"vnořený.txt"});
  // The name as the server lists it is deleted.
  EXPECT_TRUE(ftp_.FtpDelete("A.TXT"));
  EXPECT_FALSE(Existuje(server_.domov / "p/a.txt"));
  EXPECT_FALSE(ftp_.FtpDelete("/ro/z.txt"));
  EXPECT_THAT(Stav(ftp_), StartsWith(kOdmitnuto));
  // Two names that differ only in case cannot both be keys of the listing.
  server_.domov.Zapsat("p/SUB", "2");
  EXPECT_THROW(ftp_.FtpDir(), Chyba);
  EXPECT_EQ(server_.Pocet("USER"), 1);  // refused commands kept the one login

  // A server that repeats the user name and password in its 5xx replies.
  FtpServer upovidany("leak");
  upovidany.Nastavit(ftp_, GetParam());
  ftp_.Heslo = "Spatne-Heslo-123";
  EXPECT_FALSE(ftp_.FtpOpen());
  EXPECT_EQ(ftp_.FtpError, "Chyba 12014\r\nNesprávné heslo nebo uživatelské jméno.");
  EXPECT_EQ(Vypsat(ftp_), Nazvy{"Chyba 6\r\nPopisovač je neplatný."});  // no session left
  ftp_.Heslo = FtpServer::kHeslo;
  ASSERT_TRUE(ftp_.FtpOpen()) << ftp_.FtpError;
  ftp_.FtpCurrDir("/chybi");
  EXPECT_THAT(Stav(ftp_), StartsWith(kOdmitnuto));
  EXPECT_THAT(ftp_.FtpError, ::testing::EndsWith("(*** / ***)"));
}

TEST_P(FtpKlient, TransfersReportEveryFragmentAndTheRest) {
  server_.domov.Vytvorit("s mezerou");
  std::string velky;  // a period of 251, a prime: a lost or misplaced piece shows
  std::generate_n(std::back_inserter(velky), 200000, [i = 0]() mutable { return i++ % 251; });
  for (const auto& [obsah, vzdaleny, fragment] :
       std::vector<std::tuple<std::string, std::string, int>>{{"", "prazdny.bin", 4},
                                                              {"0123456789AB", "presne.bin", 4},
                                                              {"0123456789", "Zbytek.bin", 4},
                                                              {velky, "s mezerou/kůň.bin", 1000}}) {
    const std::int64_t n = static_cast<std::int64_t>(obsah.size());
    std::vector<std::int64_t> hotovo;  // each fragment, then the rest (maybe none)
    for (std::int64_t h = fragment; h <= n; h += fragment)
      hotovo.push_back(h);
    hotovo.push_back(n);
    for (bool up : {true, false}) {
      hotovo_.clear();
      celkem_ = n;
      if (up)
        ftp_.FtpPut(lokalni_.Zapsat("z.bin", obsah), vzdaleny, fragment);
      else
        ftp_.FtpGet(vzdaleny, cil_, fragment);  // over the previous target
      EXPECT_EQ(Stav(ftp_), "OK") << vzdaleny;
      EXPECT_EQ(hotovo_, hotovo);
      EXPECT_EQ(CistSoubor(up ? server_.domov / vzdaleny : cil_), obsah);
    }
  }
  // In the chosen mode only; in one login.
  EXPECT_EQ(server_.Pocet("EPSV") + server_.Pocet("PASV") > 0, GetParam());
  EXPECT_EQ(server_.Pocet("EPRT") + server_.Pocet("PORT") > 0, !GetParam());
  EXPECT_EQ(server_.Pocet("USER"), 1);
}

TEST_P(FtpKlient, FailedOrCancelledTransfersLeaveBothSidesAsTheyWere) {
  lokalni_.Zapsat("cil.bin", "staré");
  // The server lists *.lez files 7 bytes larger than they are: neither an upload nor
  // a download counts, the error text stays and no temporary file is left behind.
  ftp_.FtpError = "dříve";
  ftp_.FtpPut(z_, "vzdaleny.lez", 4);
  EXPECT_EQ(Stav(ftp_), "dříve");
  ftp_.FtpGet("vzdaleny.lez", cil_, 4);
  EXPECT_EQ(Stav(ftp_), "dříve");
  ftp_.FtpPut(lokalni_ / "chybi.bin", "chybi.bin", 4);
  EXPECT_EQ(Stav(ftp_), "Soubor nelze otevřít: " + lokalni_ / "chybi.bin: Soubor nebyl nalezen.");
  EXPECT_FALSE(Existuje(server_.domov / "chybi.bin"));

  // A remote name that the listing does not show exactly once is not fetched.
  server_.domov.Zapsat("a.txt", "a");
  server_.domov.Zapsat("b.txt", "b");
  ftp_.FtpGet("*.txt", cil_, 4);
  EXPECT_EQ(Stav(ftp_), "Vzdálený soubor *.txt neexistuje.");
  server_.domov.Zapsat("A.TXT", "A");
  ftp_.FtpGet("a.txt", cil_, 4);
  EXPECT_EQ(Stav(ftp_), "Tento klíč je již přidružen k prvku této kolekce.");  // not raised
  EXPECT_EQ(server_.Pocet("RETR"), 1);

  // Storno, after a fragment or at the report of the rest, in either direction.
  server_.domov.Zapsat("data.bin", std::string(100000, 'd'));
  for (int pri : {1, 101, 2}) {
    hotovo_.clear();
    zrusitPri_ = pri;
    pri == 2 ? ftp_.FtpPut(z_, "zruseny.bin", 4) : ftp_.FtpGet("data.bin", cil_, 1000);
    EXPECT_EQ(hotovo_.size(), static_cast<std::size_t>(pri));
    EXPECT_EQ(Stav(ftp_), "Operace zrušena uživatelem.");
  }
  EXPECT_EQ(CistSoubor(cil_), "staré");
  // z.bin and cil.bin, and no temporary file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(lokalni_.Cesta()), {}), 2);
}

TEST_P(FtpKlient, PutLoopMakesAtMostTheGivenAttemptsPausingBetweenThem) {
  test::FalesnaPlatforma platforma;  // its clock moves only while the program sleeps
  test::FalesneUi ui;
  ftp_.PocetPokusu = 3;
  ftp_.Prodleva = 2;
  ftp_.FtpPutLoop(z_, "ro/z.bin", 4);
  EXPECT_THAT(Stav(ftp_), StartsWith(kOdmitnuto));
  EXPECT_EQ(server_.Pocet("STOR"), 3);
  EXPECT_EQ(platforma.uspani, 200);  // two pauses of 2 s in 20 ms steps, events run
  EXPECT_EQ(ui.udalosti, 200);
  ftp_.PocetPokusu = 0;  // one attempt all the same
  ftp_.FtpPutLoop(z_, "ro/z.bin", 4);
  EXPECT_EQ(server_.Pocet("STOR"), 4);
  // An existing remote file is deleted first; the first good attempt ends the loop.
  server_.domov.Zapsat("cil.bin", "staré a delší");
  ftp_.PocetPokusu = 3;
  ftp_.FtpPutLoop(z_, "cil.bin", 4);
  EXPECT_EQ(CistSoubor(server_.domov / "cil.bin"), "0123456789");
  EXPECT_EQ(server_.Pocet("DELE"), 1);
  EXPECT_EQ(server_.Pocet("STOR"), 5);
}

// Ports above 32767 are the port itself; above 65535 an overflow. (A server on such a
// port, reached: the publisher's FTP command tests.)
TEST(FtpPort, PortsUpTo65535AreTakenAndLargerOnesOverflow) {
  EXPECT_EQ(CisloPortu("40000"), 40000);
  EXPECT_EQ(CisloPortu("65535"), 65535);
  for (const char* port : {"65536", "70000"})
    EXPECT_THROW(CisloPortu(port), Chyba) << port;
}

TEST(FtpSeznam, ListingFormsGiveNoNameThatLeavesTheFolder) {
  std::vector<std::string> n;
  for (const auto& seznam :
       {ftp::ParsovatMlsd("type=cdir; .\r\n"
                          "type=file;size=5000000000; v b\r\n"
                          "Type=DIR; složka\r\n"
                          "type=file;size=1; ../venku.txt\r\n"),
        ftp::ParsovatList("-rw-r--r--   1 owner    group  3000000000 Mar 14 09:30 velký.bin\r\n"
                          "lrwxrwxrwx   1 owner    group    11 Feb 01 08:00 odkaz -> ../soubor\r\n"
                          "drwxr-xr-x   1 u g   1 Mar 14 09:30 ..\r\n"
                          "03-14-24  09:30PM       <DIR>          Nová složka\r\n"
                          "03-14-24  09:30AM                 1 sub/x.txt\r\n",
                          1710408600)})
    for (const auto& p : seznam)
      n.push_back(p.nazev + " " + std::to_string(p.velikost) + (p.slozka ? "/" : ""));
  EXPECT_EQ(n, (std::vector<std::string>{"v b 5000000000", "složka 0/", "velký.bin 3000000000",
                                         "odkaz 11", "Nová složka 0/"}));
}

}  // namespace
}  // namespace zevlon
