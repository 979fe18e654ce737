// The FTP client against a real server on loopback, in active and in passive mode:
// session, folders, listings in all three forms, deletion, transfers in fragments
// with notifications and cancel; then the listing readers, port text and masking.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/chyba.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/ftp_server.h"
#include "support/sandbox.h"
#include "transfer/ftp.h"
#include "transfer/ftp_seznam.h"

namespace zevlon {
namespace {

using test::CistSoubor;
using test::Existuje;
using test::FtpServer;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Nazvy = std::set<std::string>;
using Texty = std::vector<std::string>;

const char* const kOdmitnuto = "Chyba 12003\r\nServer vrátil rozšířenou informaci o chybě.\r\n550 ";
const char* const kZruseno = "Operace zrušena uživatelem.";

// The outcome of the client's last operation: "OK" or its error text.
std::string Stav(const CFTPManager& ftp) {
  return ftp.FtpSuccess ? "OK" : ftp.FtpError;
}

// The names FtpDir lists for the mask, or its error text.
Nazvy Vypsat(CFTPManager& ftp, const std::string& maska = {}) {
  ftp.FtpDir(maska);
  if (!ftp.FtpSuccess) return {ftp.FtpError};
  Nazvy n;
  for (const auto& p : ftp.FtpSeznamSouboru)
    n.insert(p.hodnota->Nazev);
  return n;
}

// The number of the Chyba that f raises, 0 when it raises none.
template <typename F>
std::int32_t Vyhozeno(F&& f) {
  try {
    f();
  } catch (const Chyba& c) {
    return c.Cislo();
  }
  return 0;
}

void NastavitCas(const std::string& cesta, UtcCas t) {
  timespec casy[2] = {{static_cast<time_t>(t), 0}, {static_cast<time_t>(t), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, cesta.c_str(), casy, 0), 0) << cesta;
}

// Bytes with a period of 251, a prime, so that a lost, doubled or misplaced piece shows.
std::string Data(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>(i % 251);
  return s;
}

// How many files a local folder holds.
std::ptrdiff_t Pocet(const std::string& slozka) {
  return std::distance(std::filesystem::directory_iterator(slozka), {});
}

// Transfer notifications as "up|down file done/total", one per bytes-done value.
Texty Udalosti(bool upload, const std::string& soubor, const std::vector<std::int64_t>& hotovo,
               std::int64_t celkem) {
  Texty u;
  for (std::int64_t h : hotovo)
    u.push_back((upload ? "up " : "down ") + soubor + " " + std::to_string(h) + "/" +
                std::to_string(celkem));
  return u;
}

class FtpKlient : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    server_.Nastavit(ftp_, GetParam());
    ftp_.FTPResponse = [this](bool& upload, std::string& soubor, std::int64_t& hotovo,
                              std::int64_t& celkem, std::int32_t& zrusit) {
      EXPECT_EQ(zrusit, 0);
      udalosti_.push_back(Udalosti(upload, soubor, {hotovo}, celkem)[0]);
      if (static_cast<int>(udalosti_.size()) == zrusitPri_) zrusit = 1;
    };
    ASSERT_TRUE(ftp_.FtpOpen()) << ftp_.FtpError;
  }

  void Nahrat(const std::string& obsah, const std::string& cil, int fragment) {
    udalosti_.clear();
    ftp_.FtpPut(lokalni_.Zapsat("nahrat.bin", obsah), cil, fragment);
  }

  FtpServer server_{FtpServer::Nastaveni{.jenProCteni = {"ro"}}};
  test::Sandbox lokalni_;
  CFTPManager ftp_;
  Texty udalosti_;
  int zrusitPri_ = -1;
};

INSTANTIATE_TEST_SUITE_P(Rezimy, FtpKlient, ::testing::Values(false, true),
                         [](const auto& i) { return i.param ? "Pasivni" : "Aktivni"; });

TEST_P(FtpKlient, FoldersAreKeptCheckedAndCreatedInOneLoggedInSession) {
  server_.Vytvorit("sub/inner");
  server_.Vytvorit("jina");
  EXPECT_EQ(ftp_.FtpCurrDir(), "/");
  ftp_.FtpCurrDir("sub");
  ftp_.FtpCurrDir("inner");
  EXPECT_EQ(ftp_.FtpCurrDir(), "/sub/inner");
  ftp_.FtpCurrDir("..");
  EXPECT_EQ(ftp_.FtpCurrDir(), "/sub");

  // A folder missing on the server is not taken; a control character never leaves.
  ftp_.FtpCurrDir("/chybi");
  EXPECT_THAT(Stav(ftp_), StartsWith(kOdmitnuto));
  ftp_.FtpCurrDir("soubor\r\nDELE x");
  EXPECT_EQ(ftp_.FtpError,
            "Chyba 123\r\nSyntaxe názvu souboru, názvu adresáře nebo jmenovky svazku je "
            "nesprávná.");
  // FtpFolderExists leaves the current folder and FtpSuccess as they were.
  for (bool predtim : {true, false}) {
    ftp_.FtpSuccess = predtim;
    EXPECT_TRUE(ftp_.FtpFolderExists("../jina"));
    EXPECT_FALSE(ftp_.FtpFolderExists("/chybi"));
    EXPECT_EQ(ftp_.FtpSuccess, predtim);
  }
  EXPECT_EQ(Vypsat(ftp_), Nazvy{"inner"});

  // The missing levels are created from the root; the current folder stays.
  ftp_.FtpMkDirExtended("/sub/b/c/");
  EXPECT_EQ(Stav(ftp_), "OK");
  EXPECT_EQ(ftp_.FtpCurrDir(), "/sub");
  EXPECT_EQ(server_.Prikazy("MKD"), (Texty{"MKD /sub/b", "MKD /sub/b/c"}));
  ftp_.FtpMkDirExtended("sub/b/c");  // nothing missing: nothing created
  EXPECT_TRUE(ftp_.FtpMkDir("/složka s mezerou"));
  EXPECT_TRUE(Existuje(server_.Cesta("složka s mezerou")));
  EXPECT_FALSE(ftp_.FtpMkDir("/složka s mezerou"));
  EXPECT_THAT(Stav(ftp_), StartsWith(kOdmitnuto));
  EXPECT_EQ(server_.Pocet("MKD"), 4);

  // A refused level is recorded, not raised: no error box, the rest is attempted.
  test::FalesneUi ui;
  ftp_.FtpMkDirExtended("/ro/x/y/");
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_TRUE(ui.zpravy.empty());
  EXPECT_FALSE(Existuje(server_.Cesta("ro/x")));
  EXPECT_EQ(server_.Pocet("MKD"), 6);

  // Refused commands kept the connection: one login served it all, in the chosen mode.
  EXPECT_TRUE(ftp_.FtpClose());
  EXPECT_EQ(server_.Pocet("CONNECT"), 1) << server_.Log();
  EXPECT_EQ(server_.Pocet("USER"), 1);
  EXPECT_EQ(server_.Pocet("QUIT"), 1);
  const int aktivni = server_.Pocet("EPRT") + server_.Pocet("PORT");
  const int pasivni = server_.Pocet("EPSV") + server_.Pocet("PASV");
  EXPECT_EQ(GetParam() ? aktivni : pasivni, 0);
  EXPECT_GT(GetParam() ? pasivni : aktivni, 0);
  // After FtpClose the session is gone; a new FtpOpen logs in again.
  EXPECT_EQ(Vypsat(ftp_), Nazvy{"Chyba 6\r\nPopisovač je neplatný."});
  ASSERT_TRUE(ftp_.FtpOpen());
  EXPECT_EQ(server_.Pocet("USER"), 2);
}

TEST_P(FtpKlient, ListingMasksExistenceAndDeletion) {
  server_.Vytvorit("p");
  ftp_.FtpCurrDir("p");
  EXPECT_EQ(Vypsat(ftp_), Nazvy{});
  server_.Zapsat("p/a.txt", "ahoj!");
  server_.Zapsat("p/data.bin", "0123456789");
  server_.Zapsat("p/sub/vnořený.txt", "v");
  server_.Zapsat("p/zpětné\\lomítko.txt", "x");  // a name no peer could use
  server_.Zapsat("ro/z.txt", "z");
  EXPECT_EQ(Vypsat(ftp_), (Nazvy{"a.txt", "data.bin", "sub"}));
  EXPECT_EQ(Vypsat(ftp_, "*.TXT"), Nazvy{"a.txt"});
  EXPECT_EQ(Vypsat(ftp_, "sub/*"), Nazvy{"vnořený.txt"});
  EXPECT_EQ(Vypsat(ftp_, "nic*"), Nazvy{});
  EXPECT_EQ(ftp_.FtpCurrDir(), "/p");  // listing another folder does not move us
  EXPECT_THAT(*Vypsat(ftp_, "chybi/*").begin(), StartsWith(kOdmitnuto));

  // FtpFileExist compares the first listed name and, when given, the size.
  EXPECT_TRUE(ftp_.FtpFileExist("data.bin"));
  EXPECT_TRUE(ftp_.FtpFileExist("/p/DATA.BIN", 10));
  EXPECT_FALSE(ftp_.FtpFileExist("data.bin", 11));
  EXPECT_FALSE(ftp_.FtpFileExist("*.bin"));
  EXPECT_FALSE(ftp_.FtpFileExist("chybi.bin"));
  EXPECT_TRUE(ftp_.FtpSuccess);

  // The name as the server lists it is deleted; a missing file counts as deleted.
  EXPECT_TRUE(ftp_.FtpDelete("A.TXT"));
  EXPECT_FALSE(Existuje(server_.Cesta("p/a.txt")));
  EXPECT_TRUE(ftp_.FtpDelete("chybi.txt"));
  EXPECT_EQ(server_.Pocet("DELE"), 1);
  EXPECT_FALSE(ftp_.FtpDelete("/ro/z.txt"));
  EXPECT_THAT(Stav(ftp_), StartsWith(kOdmitnuto));
  EXPECT_TRUE(Existuje(server_.Cesta("ro/z.txt")));

  // Two names that differ only in case cannot both be keys of the listing.
  server_.Zapsat("p/DATA.bin", "2");
  EXPECT_EQ(Vyhozeno([&] { ftp_.FtpDir(); }), kod::kKlicJizExistuje);
}

TEST_P(FtpKlient, EveryListingFormGivesNamesSizesAndTimes) {
  const UtcCas stary = 1615266367;                // 2021-03-09 05:06:07 UTC
  const UtcCas novy = std::time(nullptr) - 7207;  // two hours ago: Unix LIST shows the time
  struct Forma {
    FtpServer::Vypis vypis;
    UtcCas stary, novy;  // as the form gives them
  };
  for (const auto& [vypis, ocekStary, ocekNovy] :
       std::vector<Forma>{{FtpServer::Vypis::kMlsd, stary, novy},
                          {FtpServer::Vypis::kUnix, stary - stary % 86400, novy - novy % 60},
                          {FtpServer::Vypis::kDos, stary - stary % 60, novy - novy % 60}}) {
    SCOPED_TRACE(static_cast<int>(vypis));
    FtpServer server(FtpServer::Nastaveni{.vypis = vypis});
    NastavitCas(server.Zapsat("starý soubor.txt", std::string(1234, 's')), stary);
    NastavitCas(server.Zapsat("novy.bin", "12345"), novy);
    server.Vytvorit("složka");
    CFTPManager ftp;
    server.Nastavit(ftp, GetParam());
    ASSERT_TRUE(ftp.FtpOpen()) << ftp.FtpError;
    EXPECT_EQ(Vypsat(ftp), (Nazvy{"novy.bin", "složka", "starý soubor.txt"}));
    auto s = ftp.FtpSeznamSouboru.Ziskat("starý soubor.txt");
    auto n = ftp.FtpSeznamSouboru.Ziskat("NOVY.BIN");  // keyed without regard to case
    EXPECT_EQ(s->Velikost, 1234);
    EXPECT_EQ(s->DatumPosledniZmeny, ocekStary);
    EXPECT_EQ(n->Velikost, 5);
    EXPECT_EQ(n->DatumPosledniZmeny, ocekNovy);
    EXPECT_EQ(n->DatumPoslednihoPristupu, ocekNovy);
    EXPECT_EQ(n->DatumVzniku, ocekNovy);
    EXPECT_EQ(server.Pocet("MLSD") > 0, vypis == FtpServer::Vypis::kMlsd);
    EXPECT_EQ(server.Pocet("LIST") > 0, vypis != FtpServer::Vypis::kMlsd);
  }
}

TEST_P(FtpKlient, PortAddressAndCredentials) {
  // Blanks and trailing text do not matter; the leading number is the port.
  ftp_.Port = " " + std::to_string(server_.Port()) + "abc";
  EXPECT_TRUE(ftp_.FtpOpen()) << ftp_.FtpError;
  // An overflowing port raises before the open session is touched.
  ftp_.Port = "70000";
  EXPECT_EQ(Vyhozeno([&] { ftp_.FtpOpen(); }), kod::kPreteceni);
  EXPECT_EQ(Vypsat(ftp_), Nazvy{"ro"});

  ftp_.Port = std::to_string(server_.Port());
  for (const char* adresa : {"", "127.0.0.1:21", "a/b"}) {
    ftp_.URL = adresa;
    EXPECT_FALSE(ftp_.FtpOpen());
    EXPECT_EQ(ftp_.FtpError, "Chyba 12005\r\nAdresa URL je neplatná.") << adresa;
  }
  ftp_.URL = "127.0.0.1";
  {
    FtpServer zastaveny;  // nothing listens on its port once it has stopped
    ftp_.Port = std::to_string(zastaveny.Port());
  }
  EXPECT_FALSE(ftp_.FtpOpen());
  EXPECT_EQ(Stav(ftp_), "Chyba 12029\r\nNelze se připojit k serveru.");
  EXPECT_EQ(Vypsat(ftp_), Nazvy{"Chyba 6\r\nPopisovač je neplatný."});  // no session left

  // A server that repeats the user name and password in its 5xx replies.
  FtpServer upovidany(FtpServer::Nastaveni{.prozrazujeUdaje = true});
  upovidany.Nastavit(ftp_, GetParam());
  ftp_.Heslo = "Spatne-Heslo-123";
  EXPECT_FALSE(ftp_.FtpOpen());
  EXPECT_EQ(ftp_.FtpError, "Chyba 12014\r\nNesprávné heslo nebo uživatelské jméno.");
  ftp_.Heslo = upovidany.Heslo();
  ASSERT_TRUE(ftp_.FtpOpen()) << ftp_.FtpError;
  ftp_.FtpCurrDir("/chybi");
  EXPECT_THAT(Stav(ftp_), StartsWith(kOdmitnuto));
  EXPECT_THAT(ftp_.FtpError, HasSubstr("(*** / ***)"));
  EXPECT_THAT(ftp_.FtpError, ::testing::Not(HasSubstr(upovidany.Heslo())));
  EXPECT_THAT(ftp_.FtpError, ::testing::Not(HasSubstr(upovidany.Uzivatel())));
}

TEST_P(FtpKlient, TransfersReportEveryFragmentAndTheRest) {
  const std::string z = lokalni_ / "nahrat.bin", cil = lokalni_ / "cil.bin";
  server_.Vytvorit("složka s mezerou");
  std::vector<std::int64_t> poTisici;  // more than libcurl's buffer, in many fragments
  for (std::int64_t h = 1000; h <= 200000; h += 1000)
    poTisici.push_back(h);
  poTisici.push_back(200000);
  struct Pripad {
    std::string obsah, vzdaleny, stahnout;  // the download names it in another case
    std::int32_t fragment;
    std::vector<std::int64_t> hotovo;
  };
  for (const Pripad& p :
       std::vector<Pripad>{{"", "prazdny.bin", "prazdny.bin", 4, {0}},
                           {"0123456789AB", "presne.bin", "PRESNE.bin", 4, {4, 8, 12, 12}},
                           {"0123456789", "zbytek.bin", "Zbytek.BIN", 4, {4, 8, 10}},
                           {Data(200000), "složka s mezerou/kůň.bin", "složka s mezerou/kůň.bin",
                            1000, poTisici}}) {
    SCOPED_TRACE(p.vzdaleny);
    const auto delka = static_cast<std::int64_t>(p.obsah.size());
    Nahrat(p.obsah, p.vzdaleny, p.fragment);
    EXPECT_EQ(Stav(ftp_), "OK");
    EXPECT_EQ(udalosti_, Udalosti(true, z, p.hotovo, delka));
    EXPECT_EQ(CistSoubor(server_.Cesta(p.vzdaleny)), p.obsah);
    udalosti_.clear();
    ftp_.FtpGet(p.stahnout, cil, p.fragment);  // over the previous target
    EXPECT_EQ(Stav(ftp_), "OK");
    EXPECT_EQ(udalosti_, Udalosti(false, cil, p.hotovo, delka));
    EXPECT_EQ(CistSoubor(cil), p.obsah);
  }
}

TEST_P(FtpKlient, FailedTransfersLeaveBothSidesAsTheyWere) {
  const std::string cil = lokalni_.Zapsat("cil.bin", "staré");
  // The server lists *.lez files 7 bytes larger than they are: neither an upload nor
  // a download counts, the error text stays and no temporary file is left behind.
  ftp_.FtpError = "dříve";
  Nahrat("0123456789", "vzdaleny.lez", 4);
  EXPECT_EQ(Stav(ftp_), "dříve");
  EXPECT_EQ(CistSoubor(server_.Cesta("vzdaleny.lez")), "0123456789");
  ftp_.FtpGet("vzdaleny.lez", cil, 4);
  EXPECT_EQ(Stav(ftp_), "dříve");
  EXPECT_EQ(CistSoubor(cil), "staré");
  EXPECT_EQ(Pocet(lokalni_.Cesta()), 2);  // cil.bin and nahrat.bin

  Nahrat("abc", "ro/x.bin", 4);  // a refused STOR
  EXPECT_THAT(Stav(ftp_), StartsWith(kOdmitnuto));
  EXPECT_FALSE(Existuje(server_.Cesta("ro/x.bin")));
  ftp_.FtpPut(lokalni_ / "chybi.bin", "chybi.bin", 4);  // a missing local file
  EXPECT_THAT(Stav(ftp_), HasSubstr(lokalni_ / "chybi.bin"));
  EXPECT_THAT(ftp_.FtpError, HasSubstr("Soubor nebyl nalezen."));
  EXPECT_FALSE(Existuje(server_.Cesta("chybi.bin")));
  EXPECT_EQ(server_.Pocet("STOR"), 2);
  ftp_.FtpGet("vzdaleny.lez", lokalni_ / "chybi/cil.bin", 4);  // a missing local folder
  EXPECT_THAT(Stav(ftp_), HasSubstr("Cesta nebyla nalezena."));

  // A remote name that the listing does not show exactly once is not fetched.
  server_.Zapsat("a.txt", "a");
  server_.Zapsat("b.txt", "b");
  const int retr = server_.Pocet("RETR");
  ftp_.FtpGet("chybi.txt", cil, 4);
  EXPECT_EQ(Stav(ftp_), "Vzdálený soubor chybi.txt neexistuje.");
  ftp_.FtpGet("*.txt", cil, 4);
  EXPECT_EQ(Stav(ftp_), "Vzdálený soubor *.txt neexistuje.");
  EXPECT_EQ(server_.Pocet("RETR"), retr);
  server_.Zapsat("A.TXT", "A");  // the duplicate key is recorded, not raised
  EXPECT_NO_THROW(ftp_.FtpGet("a.txt", cil, 4));
  EXPECT_EQ(Stav(ftp_), "Tento klíč je již přidružen k prvku této kolekce.");
  EXPECT_EQ(CistSoubor(cil), "staré");
}

TEST_P(FtpKlient, CancelFromTheNotificationStopsTheTransfer) {
  zrusitPri_ = 2;
  Nahrat("0123456789AB", "zruseny.bin", 4);
  EXPECT_EQ(udalosti_.size(), 2u);
  EXPECT_EQ(Stav(ftp_), kZruseno);

  // A cancelled download leaves neither a partial target nor a temporary file.
  server_.Zapsat("data.bin", Data(100000));
  const std::string cil = lokalni_.Zapsat("cil.bin", "staré");
  for (int pri : {1, 101}) {  // the first fragment, and the report of the rest
    udalosti_.clear();
    zrusitPri_ = pri;
    ftp_.FtpGet("data.bin", cil, 1000);
    EXPECT_EQ(udalosti_.size(), static_cast<std::size_t>(pri));
    EXPECT_EQ(Stav(ftp_), kZruseno);
    EXPECT_EQ(CistSoubor(cil), "staré");
    EXPECT_EQ(Pocet(lokalni_.Cesta()), 2);  // cil.bin and nahrat.bin
  }
  zrusitPri_ = -1;  // the session goes on
  ftp_.FtpGet("data.bin", cil, 1000);
  EXPECT_EQ(Stav(ftp_), "OK");
}

TEST_P(FtpKlient, PutLoopMakesAtMostTheGivenAttemptsPausingBetweenThem) {
  test::FalesnaPlatforma platforma;  // its clock moves only while the program sleeps
  test::FalesneUi ui;
  const std::string z = lokalni_.Zapsat("z.bin", "data");
  ftp_.PocetPokusu = 3;
  ftp_.Prodleva = 2;
  ftp_.FtpPutLoop(z, "ro/z.bin", 4);
  EXPECT_THAT(Stav(ftp_), StartsWith(kOdmitnuto));
  EXPECT_EQ(server_.Pocet("STOR"), 3);
  // Two pauses of 2 s, in 20 ms steps, letting events run at each step.
  EXPECT_EQ(platforma.uspani, 200);
  EXPECT_EQ(ui.udalosti, 200);
  for (std::int32_t pokusy : {0, 1}) {  // one attempt all the same
    ftp_.PocetPokusu = pokusy;
    ftp_.FtpPutLoop(z, "ro/z.bin", 4);
  }
  EXPECT_EQ(server_.Pocet("STOR"), 5);

  // An existing remote file is deleted first; the first good attempt ends the loop.
  server_.Zapsat("cil.bin", "staré a delší");
  ftp_.PocetPokusu = 3;
  ftp_.FtpPutLoop(z, "cil.bin", 4);
  EXPECT_EQ(Stav(ftp_), "OK");
  EXPECT_EQ(CistSoubor(server_.Cesta("cil.bin")), "data");
  EXPECT_EQ(server_.Prikazy("DELE"), Texty{"DELE /cil.bin"});
  EXPECT_EQ(server_.Pocet("STOR"), 6);
  EXPECT_EQ(platforma.uspani, 200);
}

// A listing's entries as "name | size | last write [<DIR>] [vznik creation]", the
// creation time only where it differs from the last write.
Texty Popsat(const std::vector<ftp::PolozkaSeznamu>& polozky) {
  Texty radky;
  for (const auto& p : polozky)
    radky.push_back(p.nazev + " | " + std::to_string(p.velikost) + " | " + FormatUtc(p.zmena) +
                    (p.slozka ? " <DIR>" : "") +
                    (p.vznik != p.zmena ? " vznik " + FormatUtc(p.vznik) : ""));
  return radky;
}

TEST(FtpSeznam, MlsdGivesNamesSizesAndUtcTimesButNoNameThatLeavesTheFolder) {
  EXPECT_EQ(Popsat(ftp::ParsovatMlsd(
                "type=cdir;modify=20240101000000; .\r\n"
                "type=pdir;modify=20240101000000; ..\r\n"
                "type=file;size=5000000000;modify=20240314093015.123;perm=r; velký soubor.bin\r\n"
                "Type=DIR;Modify=20230102030405;create=20220101121212; složka\r\n"
                "type=file;size=1; name;with;semicolons\n"
                "type=file;size=1; ..\r\n"
                "type=file;size=1; /etc/passwd\r\n"
                "type=file;size=1; ../venku.txt\r\n"
                "type=file;size=1; a\\..\\b.txt\r\n"
                "type=file;size=1; \r\n"
                "type=file;size=1; a\x01b\r\n")),
            (Texty{"velký soubor.bin | 5000000000 | 2024-03-14 09:30:15",
                   "složka | 0 | 2023-01-02 03:04:05 <DIR> vznik 2022-01-01 12:12:12",
                   "name;with;semicolons | 1 | 1970-01-01 00:00:00"}));
}

TEST(FtpSeznam, ListReadsUnixAndDosLinesButNoNameThatLeavesTheFolder) {
  // "Now" is 2024-02-10 noon: a yearless time in March is last year's.
  EXPECT_EQ(
      Popsat(ftp::ParsovatList(
          "total 24\r\n"
          "-rw-r--r--   1 owner    group        1234 Feb 09 23:59 zprávy a poznámky.txt\r\n"
          "-rw-r--r--   1 owner    group  3000000000 Mar 14 09:30 loni.bin\r\n"
          "drwxr-xr-x   2 owner    group        4096 Jan 05  2019 stara složka\r\n"
          "lrwxrwxrwx   1 owner    group          11 Feb 01 08:00 odkaz -> cil/soubor\r\n"
          "-rw-r--r--   1 dec      12            77 Feb 02 10:11 vlastnik jako mesic.txt\r\n"
          "-rw-r--r-- 1 owner 55 Feb 03 10:12 bez-skupiny2.txt\r\n"
          "crw-r--r--   1 root     root       1,   3 Feb 01 08:00 zarizeni\r\n"
          "-rw-r--r--   1 u g   1 Mar 14 09:30 ../venku.txt\r\n"
          "-rw-r--r--   1 u g   1 Mar 14 09:30 /abs.txt\r\n"
          "drwxr-xr-x   1 u g   1 Mar 14 09:30 ..\r\n"
          "03-14-24  09:30AM                 1 sub/x.txt\r\n"
          "03-14-24  09:30PM       <DIR>          Nová složka\r\n"
          "12-31-99  12:05AM                 1234 půlnoc.txt\r\n"
          "01-02-2023  12:00               5000000000 poledne 24h.bin\r\n"
          "01-01-70  12:00PM                    0 prazdny\r\n",
          ParsovatUtc("2024-02-10 12:00:00").value())),
      (Texty{"zprávy a poznámky.txt | 1234 | 2024-02-09 23:59:00",
             "loni.bin | 3000000000 | 2023-03-14 09:30:00",
             "stara složka | 4096 | 2019-01-05 00:00:00 <DIR>", "odkaz | 11 | 2024-02-01 08:00:00",
             "vlastnik jako mesic.txt | 77 | 2024-02-02 10:11:00",
             "bez-skupiny2.txt | 55 | 2024-02-03 10:12:00",
             "Nová složka | 0 | 2024-03-14 21:30:00 <DIR>",
             "půlnoc.txt | 1234 | 1999-12-31 00:05:00",
             "poledne 24h.bin | 5000000000 | 2023-01-02 12:00:00",
             "prazdny | 0 | 1970-01-01 12:00:00"}));
}

TEST(FtpPomucky, PortTextIsReadAsTheLeadingNumber) {
  // Blanks dropped, trailing text ignored, half to even, the port type is unsigned.
  const std::vector<std::pair<const char*, std::int32_t>> porty = {
      {"2121", 2121}, {" 21 21 ", 2121}, {"2121abc", 2121}, {"abc", 0},
      {"", 0},        {"12.5", 12},      {"13.5", 14},      {"2.1e3", 2100},
      {"+21d1", 210}, {"5e-400", 0},     {"-1", 65535},     {"32767.4", 32767}};
  for (const auto& [text, port] : porty)
    EXPECT_EQ(CisloPortu(text), port) << text;
  for (const char* prilis : {"32767.5", "70000", "-32769", "1e10", "-1e400"})
    EXPECT_EQ(Vyhozeno([&] { CisloPortu(prilis); }), kod::kPreteceni) << prilis;
}

TEST(FtpPomucky, CredentialsAreMaskedInServerReplies) {
  EXPECT_EQ(ZakrytPrihlasovaciUdaje("530 user karel pass karel-heslo", "karel", "karel-heslo"),
            "530 user *** pass ***");
  // Short credentials are masked only as whole words.
  EXPECT_EQ(ZakrytPrihlasovaciUdaje("550 x: max exceeded (a)", "x", "a"),
            "550 ***: max exceeded (***)");
  EXPECT_EQ(ZakrytPrihlasovaciUdaje("beze změny", "", ""), "beze změny");
}

}  // namespace
}  // namespace zevlon
