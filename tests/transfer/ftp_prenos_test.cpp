// Uploads and downloads of the FTP client against a real server on loopback, in
// active and passive mode: fragments and their notifications, the final size
// checks, cancel, missing files and the repeated upload.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/ftp_server.h"
#include "support/sandbox.h"
#include "transfer/ftp.h"

namespace zevlon {
namespace {

using test::FtpServer;
using test::Sandbox;

struct Udalost {
  bool upload;
  std::string soubor;
  std::int64_t hotovo;
  std::int64_t celkem;
  bool operator==(const Udalost&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Udalost& u) {
  return o << "{" << u.upload << ", " << u.soubor << ", " << u.hotovo << "/" << u.celkem << "}";
}

std::string Data(std::size_t n) {
  std::string s(n, '\0');
  std::uint32_t x = 2463534242u;
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return s;
}

// The names in a local folder.
std::vector<std::string> Obsah(const std::string& slozka) {
  std::vector<std::string> n;
  for (const auto& e : std::filesystem::directory_iterator(slozka))
    n.push_back(e.path().filename().string());
  std::sort(n.begin(), n.end());
  return n;
}

class FtpPrenos : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ftp_.URL = "127.0.0.1";
    ftp_.Port = std::to_string(server_.Port());
    ftp_.Uzivatel = server_.Uzivatel();
    ftp_.Heslo = server_.Heslo();
    ftp_.PasivniRezim = GetParam();
    ftp_.FTPResponse = [this](bool& upload, std::string& soubor, std::int64_t& hotovo,
                              std::int64_t& celkem, std::int32_t& zrusit) {
      EXPECT_EQ(zrusit, 0);
      udalosti_.push_back({upload, soubor, hotovo, celkem});
      if (static_cast<int>(udalosti_.size()) == zrusitPri_) zrusit = 1;
    };
    ASSERT_TRUE(ftp_.FtpOpen()) << ftp_.FtpError;
  }

  std::vector<Udalost> Nahrat(const std::string& obsah, const std::string& cil, int fragment) {
    udalosti_.clear();
    std::string lokalni = lokalni_.Zapsat("nahrat.bin", obsah);
    ftp_.FtpPut(lokalni, cil, fragment);
    return udalosti_;
  }

  FtpServer server_{FtpServer::Nastaveni{.jenProCteni = {"ro"}}};
  Sandbox lokalni_;
  CFTPManager ftp_;
  std::vector<Udalost> udalosti_;
  int zrusitPri_ = -1;
};

INSTANTIATE_TEST_SUITE_P(Rezimy, FtpPrenos, ::testing::Values(false, true),
                         [](const auto& i) { return i.param ? "Pasivni" : "Aktivni"; });

TEST_P(FtpPrenos, UploadsReportEveryFragmentAndTheRest) {
  const std::string z = lokalni_ / "nahrat.bin";

  // An empty file: no whole fragment, one report of the empty rest.
  EXPECT_EQ(Nahrat("", "prazdny.bin", 4), (std::vector<Udalost>{{true, z, 0, 0}}));
  EXPECT_TRUE(ftp_.FtpSuccess) << ftp_.FtpError;
  EXPECT_EQ(test::CistSoubor(server_.Cesta("prazdny.bin")), "");

  // An exact multiple: three fragments, then the empty rest.
  EXPECT_EQ(Nahrat("0123456789AB", "presne.bin", 4),
            (std::vector<Udalost>{
                {true, z, 4, 12}, {true, z, 8, 12}, {true, z, 12, 12}, {true, z, 12, 12}}));
  EXPECT_TRUE(ftp_.FtpSuccess) << ftp_.FtpError;
  EXPECT_EQ(test::CistSoubor(server_.Cesta("presne.bin")), "0123456789AB");

  EXPECT_EQ(Nahrat("0123456789", "zbytek.bin", 4),
            (std::vector<Udalost>{{true, z, 4, 10}, {true, z, 8, 10}, {true, z, 10, 10}}));
  EXPECT_TRUE(ftp_.FtpSuccess);

  // Larger than libcurl's buffer, into a folder with blanks and Czech letters.
  const std::string velky = Data(200000);
  ASSERT_TRUE(ftp_.FtpMkDir("složka s mezerou"));
  ftp_.FtpCurrDir("složka s mezerou");
  auto u = Nahrat(velky, "žluťoučký kůň.bin", 8192);
  EXPECT_TRUE(ftp_.FtpSuccess) << ftp_.FtpError;
  ASSERT_EQ(u.size(), 200000u / 8192 + 1);
  for (std::size_t i = 0; i + 1 < u.size(); ++i)
    EXPECT_EQ(u[i], (Udalost{true, z, static_cast<std::int64_t>(8192 * (i + 1)), 200000}));
  EXPECT_EQ(u.back(), (Udalost{true, z, 200000, 200000}));
  EXPECT_EQ(test::CistSoubor(server_.Cesta("složka s mezerou/žluťoučký kůň.bin")), velky);
}

TEST_P(FtpPrenos, UploadCountsOnlyWhenTheServerListsTheLocalSize) {
  // The server lists *.lez files 7 bytes larger than they are.
  ftp_.FtpError = "dříve";
  Nahrat("0123456789", "vzdaleny.lez", 4);
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_EQ(ftp_.FtpError, "dříve");
  EXPECT_EQ(test::CistSoubor(server_.Cesta("vzdaleny.lez")), "0123456789");

  // A refused STOR is the server's error reply.
  Nahrat("abc", "ro/x.bin", 4);
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_EQ(
      ftp_.FtpError.rfind("Chyba 12003\r\nServer vrátil rozšířenou informaci o chybě.\r\n5", 0), 0u)
      << ftp_.FtpError;
  EXPECT_FALSE(test::Existuje(server_.Cesta("ro/x.bin")));

  // A missing local file: nothing is sent at all.
  ftp_.FtpPut(lokalni_ / "chybi.bin", "chybi.bin", 4);
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_NE(ftp_.FtpError.find(lokalni_ / "chybi.bin"), std::string::npos) << ftp_.FtpError;
  EXPECT_NE(ftp_.FtpError.find("Soubor nebyl nalezen."), std::string::npos);
  EXPECT_FALSE(test::Existuje(server_.Cesta("chybi.bin")));
  EXPECT_EQ(server_.Pocet("STOR"), 2);
}

TEST_P(FtpPrenos, DownloadsReportFragmentsAndReplaceTheTargetOnlyWhenComplete) {
  const std::string cil = lokalni_ / "cil.bin";
  server_.Zapsat("sub/data.bin", "0123456789");
  server_.Zapsat("sub/osm.bin", "01234567");

  ftp_.FtpGet("sub/data.bin", cil, 4);
  EXPECT_TRUE(ftp_.FtpSuccess) << ftp_.FtpError;
  EXPECT_EQ(test::CistSoubor(cil), "0123456789");
  EXPECT_EQ(udalosti_,
            (std::vector<Udalost>{{false, cil, 4, 10}, {false, cil, 8, 10}, {false, cil, 10, 10}}));

  // An exact multiple over an existing target, named in another letter case.
  udalosti_.clear();
  ftp_.FtpCurrDir("sub");
  ftp_.FtpGet("OSM.bin", cil, 4);
  EXPECT_TRUE(ftp_.FtpSuccess) << ftp_.FtpError;
  EXPECT_EQ(test::CistSoubor(cil), "01234567");
  EXPECT_EQ(udalosti_,
            (std::vector<Udalost>{{false, cil, 4, 8}, {false, cil, 8, 8}, {false, cil, 8, 8}}));

  // The listing promises 7 bytes more than arrive: the download does not count,
  // the old target stays and no temporary file is left beside it.
  server_.Zapsat("sub/kratky.lez", "abc");
  ftp_.FtpError = "dříve";
  ftp_.FtpGet("kratky.lez", cil, 4);
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_EQ(ftp_.FtpError, "dříve");
  EXPECT_EQ(test::CistSoubor(cil), "01234567");
  EXPECT_EQ(Obsah(lokalni_.Cesta()), (std::vector<std::string>{"cil.bin"}));

  // A large file in pieces larger than the fragment.
  const std::string velky = Data(300000);
  server_.Zapsat("sub/velky.bin", velky);
  udalosti_.clear();
  ftp_.FtpGet("velky.bin", lokalni_ / "velky.bin", 1000);
  EXPECT_TRUE(ftp_.FtpSuccess) << ftp_.FtpError;
  EXPECT_EQ(test::CistSoubor(lokalni_ / "velky.bin"), velky);
  ASSERT_EQ(udalosti_.size(), 301u);
  EXPECT_EQ(udalosti_[0].hotovo, 1000);
  EXPECT_EQ(udalosti_[299].hotovo, 300000);
  EXPECT_EQ(udalosti_[300].hotovo, 300000);

  // A local folder that does not exist.
  ftp_.FtpGet("data.bin", lokalni_ / "chybi/cil.bin", 4);
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_NE(ftp_.FtpError.find("Cesta nebyla nalezena."), std::string::npos) << ftp_.FtpError;
}

TEST_P(FtpPrenos, DownloadOfAMissingOrAmbiguousNameFails) {
  server_.Zapsat("a.txt", "a");
  server_.Zapsat("b.txt", "b");
  const std::string cil = lokalni_ / "cil.txt";
  ftp_.FtpGet("chybi.txt", cil, 4);
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_EQ(ftp_.FtpError, "Vzdálený soubor chybi.txt neexistuje.");
  ftp_.FtpGet("*.txt", cil, 4);
  EXPECT_EQ(ftp_.FtpError, "Vzdálený soubor *.txt neexistuje.");
  EXPECT_FALSE(test::Existuje(cil));
  EXPECT_EQ(server_.Pocet("RETR"), 0);

  // Two names that differ only in case: the duplicate key is recorded, not raised.
  server_.Zapsat("A.TXT", "A");
  EXPECT_NO_THROW(ftp_.FtpGet("a.txt", cil, 4));
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_EQ(ftp_.FtpError, "Tento klíč je již přidružen k prvku této kolekce.");
}

TEST_P(FtpPrenos, CancelFromTheNotificationStopsTheTransfer) {
  zrusitPri_ = 2;
  EXPECT_EQ(Nahrat("0123456789AB", "zruseny.bin", 4).size(), 2u);
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_EQ(ftp_.FtpError, "Operace zrušena uživatelem.");

  // A cancelled download leaves neither a partial target nor a temporary file, and
  // an existing target as it was.
  server_.Zapsat("data.bin", Data(100000));
  const std::string cil = lokalni_.Zapsat("cil.bin", "staré");
  for (int pri : {1, 101}) {  // the first fragment, and the report of the rest
    udalosti_.clear();
    zrusitPri_ = pri;
    ftp_.FtpGet("data.bin", cil, 1000);
    EXPECT_EQ(udalosti_.size(), static_cast<std::size_t>(pri));
    EXPECT_FALSE(ftp_.FtpSuccess);
    EXPECT_EQ(ftp_.FtpError, "Operace zrušena uživatelem.");
    EXPECT_EQ(test::CistSoubor(cil), "staré");
    EXPECT_EQ(Obsah(lokalni_.Cesta()), (std::vector<std::string>{"cil.bin", "nahrat.bin"}));
  }

  // The session goes on, commands and their refusals included.
  zrusitPri_ = -1;
  EXPECT_TRUE(ftp_.FtpMkDir("nova"));
  EXPECT_FALSE(ftp_.FtpMkDir("nova"));
  ftp_.FtpGet("data.bin", cil, 1000);
  EXPECT_TRUE(ftp_.FtpSuccess) << ftp_.FtpError;
}

TEST_P(FtpPrenos, PutLoopMakesAtMostTheGivenNumberOfAttempts) {
  const std::string z = lokalni_.Zapsat("z.bin", "data");
  ftp_.PocetPokusu = 3;
  ftp_.FtpPutLoop(z, "ro/z.bin", 4);
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_EQ(ftp_.FtpError.rfind("Chyba 12003\r\n", 0), 0u) << ftp_.FtpError;
  EXPECT_EQ(server_.Pocet("STOR"), 3);

  for (std::int32_t pokusy : {0, 1}) {
    ftp_.PocetPokusu = pokusy;
    ftp_.FtpPutLoop(z, "ro/z.bin", 4);
  }
  EXPECT_EQ(server_.Pocet("STOR"), 5);

  // An existing remote file is deleted first; the first good attempt ends the loop.
  server_.Zapsat("cil.bin", "staré a delší");
  ftp_.PocetPokusu = 3;
  ftp_.FtpPutLoop(z, "cil.bin", 4);
  EXPECT_TRUE(ftp_.FtpSuccess) << ftp_.FtpError;
  EXPECT_EQ(test::CistSoubor(server_.Cesta("cil.bin")), "data");
  EXPECT_EQ(server_.Prikazy("DELE"), (std::vector<std::string>{"DELE /cil.bin"}));
  EXPECT_EQ(server_.Pocet("STOR"), 6);
}

TEST_P(FtpPrenos, PutLoopPausesBetweenAttemptsLettingEventsRun) {
  test::FalesnaPlatforma platforma;  // its clock moves only while the program sleeps
  test::FalesneUi ui;
  ftp_.PocetPokusu = 3;
  ftp_.Prodleva = 2;
  const auto start = std::chrono::steady_clock::now();
  ftp_.FtpPutLoop(lokalni_ / "chybi.bin", "chybi.bin", 4);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_NE(ftp_.FtpError.find("Soubor nebyl nalezen."), std::string::npos) << ftp_.FtpError;
  // Two pauses of 2 s between three attempts, in 20 ms steps, with events each step.
  EXPECT_EQ(platforma.uspani, 200);
  EXPECT_EQ(ui.udalosti, 200);
  EXPECT_EQ(server_.Pocet("STOR"), 0);
}

}  // namespace
}  // namespace zevlon
