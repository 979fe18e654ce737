// The FTP client's session against a real server on loopback, in active and in
// passive mode: login and the port rule, the kept current folder, listings,
// folder creation, existence tests and deletion.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "common/chyba.h"
#include "support/falesne_ui.h"
#include "support/ftp_server.h"
#include "support/sandbox.h"
#include "transfer/ftp.h"

namespace zevlon {
namespace {

using test::FtpServer;

void Nastavit(CFTPManager& ftp, const FtpServer& server, bool pasivni) {
  ftp.URL = "127.0.0.1";
  ftp.Port = std::to_string(server.Port());
  ftp.Uzivatel = server.Uzivatel();
  ftp.Heslo = server.Heslo();
  ftp.PasivniRezim = pasivni;
}

void NastavitCas(const std::string& cesta, UtcCas t) {
  timespec casy[2] = {{static_cast<time_t>(t), 0}, {static_cast<time_t>(t), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, cesta.c_str(), casy, 0), 0) << cesta;
}

std::set<std::string> Nazvy(const CFTPManager& ftp) {
  std::set<std::string> n;
  for (const auto& p : ftp.FtpSeznamSouboru)
    n.insert(p.hodnota->Nazev);
  return n;
}

bool ZacinaNa(const std::string& s, const std::string& p) {
  return s.compare(0, p.size(), p) == 0;
}

// Whether something accepts connections on 127.0.0.1:21.
bool NaPortu21NecoJe() {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(21);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool spojeno = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return spojeno;
}

const char* const kRozsirena = "Chyba 12003\r\nServer vrátil rozšířenou informaci o chybě.\r\n";

class FtpRelace : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    Nastavit(ftp_, server_, GetParam());
    ASSERT_TRUE(ftp_.FtpOpen()) << ftp_.FtpError;
  }

  FtpServer server_{FtpServer::Nastaveni{.jenProCteni = {"ro"}}};
  CFTPManager ftp_;
};

INSTANTIATE_TEST_SUITE_P(Rezimy, FtpRelace, ::testing::Values(false, true),
                         [](const auto& i) { return i.param ? "Pasivni" : "Aktivni"; });

TEST_P(FtpRelace, OneLoginServesTheWholeSessionInTheChosenMode) {
  server_.Zapsat("soubor.txt", "obsah");
  ftp_.FtpDir();
  ftp_.FtpCurrDir("chybi");  // a refused CWD keeps the connection
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_TRUE(ftp_.FtpMkDir("sub"));
  EXPECT_FALSE(ftp_.FtpMkDir("sub"));  // so does a refused MKD
  ftp_.FtpCurrDir("sub");
  EXPECT_TRUE(ftp_.FtpSuccess);
  ftp_.FtpDir();
  EXPECT_FALSE(ftp_.FtpFolderExists("/jina"));
  EXPECT_TRUE(ftp_.FtpFileExist("/soubor.txt", 5));
  EXPECT_TRUE(ftp_.FtpDelete("/soubor.txt"));
  EXPECT_TRUE(ftp_.FtpClose());

  EXPECT_EQ(server_.Pocet("CONNECT"), 1) << server_.Log();
  EXPECT_EQ(server_.Pocet("USER"), 1);
  EXPECT_EQ(server_.Pocet("QUIT"), 1);
  const int aktivni = server_.Pocet("EPRT") + server_.Pocet("PORT");
  const int pasivni = server_.Pocet("EPSV") + server_.Pocet("PASV");
  if (GetParam()) {
    EXPECT_EQ(aktivni, 0);
    EXPECT_GE(pasivni, 4);
  } else {
    EXPECT_GE(aktivni, 4);
    EXPECT_EQ(pasivni, 0);
  }

  // After FtpClose the session is gone; a new FtpOpen logs in again.
  ftp_.FtpDir();
  EXPECT_EQ(ftp_.FtpError, "Chyba 6\r\nPopisovač je neplatný.");
  ASSERT_TRUE(ftp_.FtpOpen());
  EXPECT_EQ(server_.Pocet("USER"), 2);
}

TEST_P(FtpRelace, ListingEmptyThenPopulatedWithSizesAndUtcTimes) {
  server_.Vytvorit("p");
  ftp_.FtpCurrDir("p");
  ftp_.FtpDir();
  EXPECT_TRUE(ftp_.FtpSuccess) << ftp_.FtpError;
  EXPECT_EQ(ftp_.FtpSeznamSouboru.Pocet(), 0u);

  const UtcCas cas = 1615266367;  // 2021-03-09 05:06:07 UTC
  NastavitCas(server_.Zapsat("p/a.txt", "ahoj!"), cas);
  NastavitCas(server_.Zapsat("p/velký soubor.bin", std::string(3000, 'x')), cas + 60);
  server_.Zapsat("p/sub/vnořený.txt", "v");
  server_.Zapsat("p/zpětné\\lomítko.txt", "nikdy");  // a name no peer could use

  ftp_.FtpDir();
  ASSERT_TRUE(ftp_.FtpSuccess) << ftp_.FtpError;
  EXPECT_EQ(Nazvy(ftp_), (std::set<std::string>{"a.txt", "sub", "velký soubor.bin"}));
  auto a = ftp_.FtpSeznamSouboru.Ziskat("A.TXT");  // keyed without regard to case
  EXPECT_EQ(a->Velikost, 5);
  EXPECT_EQ(a->DatumPosledniZmeny, cas);
  EXPECT_EQ(a->DatumPoslednihoPristupu, cas);
  EXPECT_EQ(a->DatumVzniku, cas);
  auto v = ftp_.FtpSeznamSouboru.Ziskat("velký soubor.bin");
  EXPECT_EQ(v->Velikost, 3000);
  EXPECT_EQ(v->DatumPosledniZmeny, cas + 60);

  ftp_.FtpDir("*.TXT");
  EXPECT_EQ(Nazvy(ftp_), (std::set<std::string>{"a.txt"}));
  ftp_.FtpDir("sub/*");
  EXPECT_EQ(Nazvy(ftp_), (std::set<std::string>{"vnořený.txt"}));
  EXPECT_EQ(ftp_.FtpCurrDir(), "/p");  // listing another folder does not move us
  ftp_.FtpDir("nic*");
  EXPECT_TRUE(ftp_.FtpSuccess);
  EXPECT_TRUE(ftp_.FtpSeznamSouboru.Prazdny());

  ftp_.FtpDir("chybi/*");
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_TRUE(ZacinaNa(ftp_.FtpError, std::string(kRozsirena) + "550 ")) << ftp_.FtpError;
}

TEST_P(FtpRelace, CurrentFolderIsKeptAndCheckedOnTheServer) {
  EXPECT_EQ(ftp_.FtpCurrDir(), "/");
  server_.Zapsat("sub/inner/soubor.txt", "s");
  ftp_.FtpCurrDir("sub");
  EXPECT_TRUE(ftp_.FtpSuccess);
  ftp_.FtpCurrDir("inner");
  EXPECT_EQ(ftp_.FtpCurrDir(), "/sub/inner");
  ftp_.FtpDir();
  EXPECT_EQ(Nazvy(ftp_), (std::set<std::string>{"soubor.txt"}));
  ftp_.FtpCurrDir("..");
  EXPECT_EQ(ftp_.FtpCurrDir(), "/sub");

  ftp_.FtpCurrDir("/chybi");
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_TRUE(ZacinaNa(ftp_.FtpError, std::string(kRozsirena) + "550 ")) << ftp_.FtpError;
  EXPECT_EQ(ftp_.FtpCurrDir(), "/sub");
  ftp_.FtpDir();
  EXPECT_EQ(Nazvy(ftp_), (std::set<std::string>{"inner"}));

  ftp_.FtpCurrDir("soubor\r\nDELE x");
  EXPECT_EQ(ftp_.FtpError,
            "Chyba 123\r\nSyntaxe názvu souboru, názvu adresáře nebo jmenovky svazku je "
            "nesprávná.");
}

TEST_P(FtpRelace, FolderExistsLeavesFolderAndSuccessAsTheyWere) {
  server_.Zapsat("sub/x.txt", "x");
  server_.Zapsat("jina/y.txt", "y");
  ftp_.FtpCurrDir("sub");
  ASSERT_TRUE(ftp_.FtpSuccess);

  EXPECT_TRUE(ftp_.FtpFolderExists("/jina"));
  EXPECT_TRUE(ftp_.FtpSuccess);
  EXPECT_FALSE(ftp_.FtpFolderExists("/chybi"));
  EXPECT_TRUE(ftp_.FtpSuccess);
  EXPECT_EQ(ftp_.FtpCurrDir(), "/sub");

  EXPECT_FALSE(ftp_.FtpMkDir("/sub"));  // exists: FtpSuccess becomes false
  EXPECT_TRUE(ftp_.FtpFolderExists("../jina"));
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_EQ(ftp_.FtpCurrDir(), "/sub");
  // The server's own folder was not moved either.
  ftp_.FtpDir();
  EXPECT_EQ(Nazvy(ftp_), (std::set<std::string>{"x.txt"}));
}

TEST_P(FtpRelace, MkDirExtendedCreatesTheMissingLevelsFromTheRoot) {
  server_.Vytvorit("a");
  ftp_.FtpCurrDir("a");
  ftp_.FtpMkDirExtended("/a/b/c/");
  EXPECT_TRUE(ftp_.FtpSuccess) << ftp_.FtpError;
  EXPECT_TRUE(test::Existuje(server_.Cesta("a/b/c")));
  EXPECT_EQ(ftp_.FtpCurrDir(), "/a");
  EXPECT_EQ(server_.Prikazy("MKD"), (std::vector<std::string>{"MKD /a/b", "MKD /a/b/c"}));

  ftp_.FtpMkDirExtended("a/b/c");  // nothing missing: nothing created
  EXPECT_EQ(server_.Pocet("MKD"), 2);

  EXPECT_TRUE(ftp_.FtpMkDir("/složka s mezerou"));
  EXPECT_TRUE(test::Existuje(server_.Cesta("složka s mezerou")));
  EXPECT_FALSE(ftp_.FtpMkDir("/složka s mezerou"));
  EXPECT_TRUE(ZacinaNa(ftp_.FtpError, std::string(kRozsirena) + "550 ")) << ftp_.FtpError;

  // A refused level is recorded, not raised: no error box, the rest is attempted.
  test::FalesneUi ui;
  ftp_.FtpMkDirExtended("/ro/x/y/");
  EXPECT_FALSE(ftp_.FtpSuccess);
  EXPECT_TRUE(ui.zpravy.empty());
  EXPECT_FALSE(test::Existuje(server_.Cesta("ro/x")));
  EXPECT_EQ(server_.Pocet("MKD"), 6);
}

TEST_P(FtpRelace, DeleteRemovesTheListedFileAndCountsAMissingOneAsDone) {
  server_.Zapsat("a.txt", "a");
  server_.Zapsat("ro/z.txt", "z");

  EXPECT_TRUE(ftp_.FtpDelete("A.TXT"));  // the name as the server lists it is deleted
  EXPECT_FALSE(test::Existuje(server_.Cesta("a.txt")));
  EXPECT_TRUE(ftp_.FtpDelete("chybi.txt"));
  EXPECT_EQ(server_.Pocet("DELE"), 1);

  EXPECT_FALSE(ftp_.FtpDelete("ro/z.txt"));
  EXPECT_TRUE(ZacinaNa(ftp_.FtpError, std::string(kRozsirena) + "550 ")) << ftp_.FtpError;
  EXPECT_TRUE(test::Existuje(server_.Cesta("ro/z.txt")));
}

TEST_P(FtpRelace, FileExistComparesTheNameAndWhenGivenTheSize) {
  server_.Zapsat("sub/data.bin", "0123456789");
  EXPECT_TRUE(ftp_.FtpFileExist("sub/data.bin"));
  EXPECT_TRUE(ftp_.FtpFileExist("/sub/DATA.BIN", 10));
  EXPECT_FALSE(ftp_.FtpFileExist("sub/data.bin", 11));
  EXPECT_TRUE(ftp_.FtpSuccess);
  EXPECT_FALSE(ftp_.FtpFileExist("sub/*.bin"));  // the first entry is not named "*.bin"
  EXPECT_FALSE(ftp_.FtpFileExist("sub/chybi.bin"));
  EXPECT_TRUE(ftp_.FtpSuccess);
}

TEST_P(FtpRelace, NamesDifferingOnlyInCaseRaiseTheDuplicateKeyError) {
  server_.Zapsat("Soubor.txt", "1");
  server_.Zapsat("SOUBOR.TXT", "2");
  try {
    ftp_.FtpDir();
    ADD_FAILURE() << "raised nothing";
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Cislo(), kod::kKlicJizExistuje);
  }
}

TEST_P(FtpRelace, PortTextRule) {
  // Blanks and trailing text do not matter; the leading number is the port.
  ftp_.Port = " " + std::to_string(server_.Port()) + "abc";
  EXPECT_TRUE(ftp_.FtpOpen()) << ftp_.FtpError;

  // An overflowing port raises before the open session is touched.
  ftp_.Port = "70000";
  try {
    ftp_.FtpOpen();
    ADD_FAILURE() << "raised nothing";
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Cislo(), kod::kPreteceni);
  }
  ftp_.FtpDir();
  EXPECT_TRUE(ftp_.FtpSuccess) << ftp_.FtpError;

  if (NaPortu21NecoJe()) GTEST_SKIP() << "something listens on 127.0.0.1:21";
  for (const char* port : {"abc", ""}) {
    ftp_.Port = port;
    EXPECT_FALSE(ftp_.FtpOpen()) << port;
    EXPECT_FALSE(ftp_.FtpSuccess);
    EXPECT_EQ(ftp_.FtpError, "Chyba 12029\r\nNelze se připojit k serveru.") << port;
  }
  ftp_.FtpDir();  // the failed open left no session behind
  EXPECT_EQ(ftp_.FtpError, "Chyba 6\r\nPopisovač je neplatný.");

  ftp_.Port = std::to_string(server_.Port());
  for (const char* adresa : {"", "127.0.0.1:21", "a/b"}) {
    ftp_.URL = adresa;
    EXPECT_FALSE(ftp_.FtpOpen());
    EXPECT_EQ(ftp_.FtpError, "Chyba 12005\r\nAdresa URL je neplatná.") << adresa;
  }
}

TEST_P(FtpRelace, CredentialsNeverReachTheErrorText) {
  FtpServer::Nastaveni n;
  n.prozrazujeUdaje = true;  // every 5xx reply repeats user and password
  FtpServer upovidany(n);
  CFTPManager ftp;
  Nastavit(ftp, upovidany, GetParam());

  ftp.Heslo = "Spatne-Heslo-123";
  EXPECT_FALSE(ftp.FtpOpen());
  EXPECT_FALSE(ftp.FtpSuccess);
  EXPECT_EQ(ftp.FtpError, "Chyba 12014\r\nNesprávné heslo nebo uživatelské jméno.");

  ftp.Heslo = upovidany.Heslo();
  ASSERT_TRUE(ftp.FtpOpen()) << ftp.FtpError;
  ftp.FtpCurrDir("/chybi");
  EXPECT_TRUE(ZacinaNa(ftp.FtpError, std::string(kRozsirena) + "550 ")) << ftp.FtpError;
  EXPECT_NE(ftp.FtpError.find("(*** / ***)"), std::string::npos) << ftp.FtpError;
  EXPECT_EQ(ftp.FtpError.find(upovidany.Heslo()), std::string::npos);
  EXPECT_EQ(ftp.FtpError.find(upovidany.Uzivatel()), std::string::npos);
}

// Listing forms: MLSD, Unix LIST and DOS/IIS LIST, each in active and passive mode.
class FtpVypis : public ::testing::TestWithParam<std::tuple<FtpServer::Vypis, bool>> {};

INSTANTIATE_TEST_SUITE_P(Formy, FtpVypis,
                         ::testing::Combine(::testing::Values(FtpServer::Vypis::kMlsd,
                                                              FtpServer::Vypis::kUnix,
                                                              FtpServer::Vypis::kDos),
                                            ::testing::Values(false, true)),
                         [](const auto& i) {
                           FtpServer::Vypis v = std::get<0>(i.param);
                           std::string n = v == FtpServer::Vypis::kMlsd   ? "Mlsd"
                                           : v == FtpServer::Vypis::kUnix ? "Unix"
                                                                          : "Dos";
                           return n + (std::get<1>(i.param) ? "Pasivni" : "Aktivni");
                         });

TEST_P(FtpVypis, EveryFormGivesNamesSizesAndTimes) {
  const auto [vypis, pasivni] = GetParam();
  FtpServer::Nastaveni n;
  n.vypis = vypis;
  FtpServer server(n);

  const UtcCas stary = 1615266367;  // 2021-03-09 05:06:07 UTC
  const UtcCas ted = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  const UtcCas novy = ted - 7200 - 7;  // two hours ago: Unix LIST shows the time of day
  NastavitCas(server.Zapsat("starý soubor.txt", std::string(1234, 's')), stary);
  NastavitCas(server.Zapsat("novy.bin", std::string(5, 'n')), novy);
  server.Vytvorit("složka");

  CFTPManager ftp;
  Nastavit(ftp, server, pasivni);
  ASSERT_TRUE(ftp.FtpOpen()) << ftp.FtpError;
  ftp.FtpDir();
  ASSERT_TRUE(ftp.FtpSuccess) << ftp.FtpError;
  EXPECT_EQ(Nazvy(ftp), (std::set<std::string>{"novy.bin", "složka", "starý soubor.txt"}));
  auto s = ftp.FtpSeznamSouboru.Ziskat("starý soubor.txt");
  auto m = ftp.FtpSeznamSouboru.Ziskat("novy.bin");
  EXPECT_EQ(s->Velikost, 1234);
  EXPECT_EQ(m->Velikost, 5);

  switch (vypis) {
    case FtpServer::Vypis::kMlsd:
      EXPECT_EQ(s->DatumPosledniZmeny, stary);
      EXPECT_EQ(m->DatumPosledniZmeny, novy);
      EXPECT_GT(server.Pocet("MLSD"), 0);
      EXPECT_EQ(server.Pocet("LIST"), 0);
      break;
    case FtpServer::Vypis::kUnix:
      EXPECT_EQ(s->DatumPosledniZmeny, stary - stary % 86400);  // the date only
      EXPECT_EQ(m->DatumPosledniZmeny, novy - novy % 60);       // to the minute
      EXPECT_EQ(server.Pocet("MLSD"), 0);
      break;
    case FtpServer::Vypis::kDos:
      EXPECT_EQ(s->DatumPosledniZmeny, stary - stary % 60);
      EXPECT_EQ(m->DatumPosledniZmeny, novy - novy % 60);
      EXPECT_EQ(server.Pocet("MLSD"), 0);
      break;
  }
  if (vypis != FtpServer::Vypis::kMlsd) {
    EXPECT_GT(server.Pocet("LIST"), 0);
  }
}

}  // namespace
}  // namespace zevlon
