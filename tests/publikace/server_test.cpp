#include "tools/publikace/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "aplikace/instalacni_slozka.h"
#include "platform/soubory/soubor.h"
#include "prenos/zip/mzip32.h"
#include "support/http_server.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"
#include "tools/publikace/publikace.h"

namespace zevlon {
namespace {

using namespace std::chrono_literals;

// How long a client waits for the server before the test fails instead of hanging. Only
// a server that is stuck misses it; it measures no speed.
constexpr int kTrpelivostSekund = 60;
constexpr std::size_t kVelky = 16 << 20;  // more than the socket buffers of both ends hold

// The port the server under test listens on (its ready callback cannot capture).
std::atomic<int> portServeru{0};

std::string Pozadavek(const std::string& cesta, const std::string& hlavicky = "",
                      const std::string& verze = "HTTP/1.1", const std::string& metoda = "GET") {
  return metoda + " " + cesta + " " + verze + "\r\nHost: x\r\n" + hlavicky + "\r\n";
}

struct Odpoved {
  int status = 0;
  std::map<std::string, std::string> hlavicky;  // names in lower case
  std::string telo;

  std::string Hlavicka(const std::string& jmeno) const {
    auto h = hlavicky.find(jmeno);
    return h == hlavicky.end() ? "" : h->second;
  }
};

// One client connection on loopback.
class Klient {
 public:
  // A small receive buffer makes a client that does not read stall the server at once.
  // From the given loopback address (the first one unless said).
  explicit Klient(int prijimaciBuffer = 0, const char* odkud = nullptr)
      : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    timeval t{kTrpelivostSekund, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    if (prijimaciBuffer > 0)
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &prijimaciBuffer, sizeof prijimaciBuffer);
    if (odkud) {
      sockaddr_in z{};
      z.sin_family = AF_INET;
      ::inet_pton(AF_INET, odkud, &z.sin_addr);
      EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&z), sizeof z), 0);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(portServeru.load()));
    ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    EXPECT_EQ(::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  }
  ~Klient() { Zavrit(); }
  Klient(const Klient&) = delete;
  Klient& operator=(const Klient&) = delete;

  void Poslat(const std::string& data) {
    EXPECT_EQ(::send(fd_, data.data(), data.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(data.size()));
  }

  // Reads one answer (without a body after HEAD); none when the connection ended first.
  std::optional<Odpoved> Cist(bool bezTela = false) {
    std::size_t konecHlavy;
    while ((konecHlavy = buf_.find("\r\n\r\n")) == std::string::npos)
      if (!Prijmout()) return std::nullopt;
    Odpoved o;
    std::istringstream hlava(buf_.substr(0, konecHlavy));
    buf_.erase(0, konecHlavy + 4);
    std::string radek, verze;
    std::getline(hlava, radek);
    std::istringstream(radek) >> verze >> o.status;
    while (std::getline(hlava, radek)) {
      auto dvojtecka = radek.find(':');
      std::string jmeno = radek.substr(0, dvojtecka);
      for (char& c : jmeno)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (radek.back() == '\r') radek.pop_back();
      o.hlavicky[jmeno] = radek.substr(dvojtecka + 2);
    }
    std::size_t delka = bezTela ? 0 : std::stoul(o.Hlavicka("content-length"));
    while (buf_.size() < delka)
      if (!Prijmout()) return std::nullopt;
    o.telo = buf_.substr(0, delka);
    buf_.erase(0, delka);
    return o;
  }

  // The status and the body of the next answer; 0 and "" when none came.
  int Stav() { return Cist().value_or(Odpoved{}).status; }
  std::string Telo() { return Cist().value_or(Odpoved{}).telo; }

  // Reads until the connection ends; answers the bytes that came.
  std::size_t Docist() {
    while (Prijmout()) {
    }
    return buf_.size();
  }

  // Takes `kus` bytes at a time, each `pauza` after the last, for `doba`: true when the
  // connection stayed open all along and each step had something to take.
  bool Odebirat(std::size_t kus, std::chrono::milliseconds pauza, std::chrono::milliseconds doba) {
    std::string data(kus, '\0');
    for (auto konec = std::chrono::steady_clock::now() + doba;
         std::chrono::steady_clock::now() < konec; std::this_thread::sleep_for(pauza))
      if (::recv(fd_, data.data(), kus, 0) <= 0) return false;
    return true;
  }

  // True when the server ended the connection and nothing more came.
  bool Zavreno() { return Docist() == 0 && konec_; }

  // Waits, reading nothing, until the server ends the connection.
  bool CekatNaKonec() {
    pollfd p{fd_, POLLRDHUP, 0};
    return ::poll(&p, 1, kTrpelivostSekund * 1000) == 1 &&
           (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
  }

  // Waits until the server has sent something (reading nothing).
  bool CekatNaPrijem(std::chrono::milliseconds jakDlouho = kTrpelivostSekund * 1000ms) {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(jakDlouho.count())) == 1;
  }

  void Zavrit() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  // Appends what comes; false at the end of the connection (konec_ then tells a close
  // from a timeout).
  bool Prijmout() {
    char kus[65536];
    ssize_t r = ::recv(fd_, kus, sizeof kus, 0);
    if (r > 0) {
      buf_.append(kus, static_cast<std::size_t>(r));
      return true;
    }
    konec_ = r == 0 || errno == ECONNRESET;
    return false;
  }

  int fd_;
  std::string buf_;
  bool konec_ = false;
};

// The site server over a sandbox's "web" folder, on a thread of its own.
class Servirovat : public ::testing::Test {
 protected:
  Servirovat() {
    n_.slozka = sb_ / "web";
    n_.port = 0;
    n_.log = sb_ / "pristupy.log";
    sb_.Vytvorit("web");
  }
  ~Servirovat() override {
    if (server_.valid()) Zastavit();
  }

  void Spustit() {
    portServeru = 0;
    server_ = std::async(std::launch::async, [this] {
      return publikace::Servirovat(n_, konec_, [](int p) { portServeru = p; });
    });
    while (portServeru == 0)
      std::this_thread::yield();
  }

  // Stops the server; true when it returned 0 (the bound only catches one that is stuck).
  bool Zastavit() {
    konec_ = true;
    bool skoncil =
        server_.wait_for(std::chrono::seconds(kTrpelivostSekund)) == std::future_status::ready;
    return skoncil && server_.get() == 0;
  }

  // The access log without the time stamps, one "|" after each line.
  std::string Log() const {
    std::ifstream log(sb_ / "pristupy.log");
    std::string radek, vse;
    while (std::getline(log, radek))
      vse += radek.substr(radek.find(' ') + 1) + "|";
    return vse;
  }

  test::Sandbox sb_;
  publikace::NastaveniServeru n_;
  std::atomic<bool> konec_{false};
  std::future<int> server_;
};

// Files of the site folder are answered (percent-decoded names, HEAD without a body);
// nothing above it, reached by ".." or through a link, nor anything but a regular file;
// every request is logged.
TEST_F(Servirovat, ServesTheSiteFolderOnlyAndLogsEachRequest) {
  sb_.Zapsat("web/Setup/a b.zip", "obsah");
  sb_.Zapsat("tajne.txt", "TAJNE");
  ASSERT_EQ(::symlink("../tajne.txt", (sb_ / "web/odkaz.txt").c_str()), 0);
  ASSERT_EQ(::symlink(sb_.Cesta().c_str(), (sb_ / "web/venku").c_str()), 0);
  ASSERT_EQ(::mkfifo((sb_ / "web/roura").c_str(), 0600), 0);
  Spustit();

  Klient k;
  k.Poslat(Pozadavek("/Setup/a%20b.zip") + Pozadavek("/Setup/a%20b.zip", "", "HTTP/1.1", "HEAD") +
           Pozadavek("/../tajne.txt") + Pozadavek("/Setup/%2e%2e/../tajne.txt") +
           Pozadavek("/chybi.zip") + Pozadavek("/odkaz.txt") + Pozadavek("/venku/tajne.txt") +
           Pozadavek("/roura") + Pozadavek("/Setup/") + Pozadavek("/Setup/a%20b.zip/") +
           Pozadavek("/Setup/a%20b.zip", "", "HTTP/1.1", "PUT"));
  auto get = k.Cist();
  auto head = k.Cist(true);
  ASSERT_TRUE(get && head);
  EXPECT_EQ(get->status, 200);
  EXPECT_EQ(get->telo, "obsah");
  EXPECT_EQ(get->Hlavicka("content-type"), "application/octet-stream");
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->Hlavicka("content-length"), "5");
  for (int status : {400, 400, 404, 404, 404, 404, 404, 404, 405}) {
    auto o = k.Cist();
    ASSERT_TRUE(o);
    EXPECT_EQ(o->status, status);
    EXPECT_EQ(o->telo.find("TAJNE"), std::string::npos);
  }
  k.Zavrit();
  ASSERT_TRUE(Zastavit());

  EXPECT_EQ(Log(),
            "GET /Setup/a%20b.zip 200 5|HEAD /Setup/a%20b.zip 200 0|GET /../tajne.txt 400 12|"
            "GET /Setup/%2e%2e/../tajne.txt 400 12|GET /chybi.zip 404 10|"
            "GET /odkaz.txt 404 10|GET /venku/tajne.txt 404 10|GET /roura 404 10|"
            "GET /Setup/ 404 10|GET /Setup/a%20b.zip/ 404 10|PUT /Setup/a%20b.zip 405 19|");
}

// A file below a release folder (vydani/ beside a download.ini) may be cached for good;
// download.ini and its signature are revalidated each time; other files say nothing.
TEST_F(Servirovat, ReleaseFilesAreImmutableAndTheReleaseInformationIsRevalidated) {
  const std::pair<const char*, const char*> pripady[] = {
      {"/a/vydani/1/Setup/x.zip", "public, max-age=31536000, immutable"},
      {"/a/vydani/1/download.ini", "public, max-age=31536000, immutable"},
      {"/a/download.ini", "no-cache"},
      {"/a/download.ini.minisig", "no-cache"},
      {"/a/Setup/x.zip", ""},
      {"/b/vydani/1/x.zip", ""},  // no site beside it
  };
  for (const auto& [cesta, cache] : pripady)
    sb_.Zapsat(std::string("web") + cesta, "x");
  Spustit();
  Klient k;
  for (const auto& [cesta, cache] : pripady) {
    k.Poslat(Pozadavek(cesta));
    auto o = k.Cist();
    EXPECT_TRUE(o && o->status == 200 && o->Hlavicka("cache-control") == cache) << cesta;
  }
}

// HTTP/1.1 keeps a connection for request after request, pipelined ones too, until the
// client asks to close it or it has served its requests; HTTP/1.0 closes after one answer
// unless asked to keep it.
TEST_F(Servirovat, KeepsAConnectionAsTheRequestsVersionAsks) {
  sb_.Zapsat("web/a", "obsah");
  n_.pozadavku = 7;
  Spustit();

  // One request on the connection and the Connection header of its answer.
  auto zeptat = [](Klient& k, const std::string& pozadavek, const std::string& connection) {
    k.Poslat(pozadavek);
    auto o = k.Cist();
    ASSERT_TRUE(o) << pozadavek;
    EXPECT_EQ(o->telo, "obsah");
    EXPECT_EQ(o->Hlavicka("connection"), connection) << pozadavek;
  };

  Klient trvale;
  for (int i = 0; i < 3; ++i)
    zeptat(trvale, Pozadavek("/a"), "");
  trvale.Poslat(Pozadavek("/a") + Pozadavek("/a"));
  EXPECT_TRUE(trvale.Cist() && trvale.Cist());
  zeptat(trvale, Pozadavek("/a", "Connection: close\r\n"), "close");
  EXPECT_TRUE(trvale.Zavreno());

  Klient stary;
  zeptat(stary, Pozadavek("/a", "", "HTTP/1.0"), "close");
  EXPECT_TRUE(stary.Zavreno());

  Klient staryTrvaly;
  for (int i = 0; i < 2; ++i)
    zeptat(staryTrvaly, Pozadavek("/a", "Connection: Keep-Alive\r\n", "HTTP/1.0"), "keep-alive");

  Klient vycerpany;
  for (int i = 1; i <= 7; ++i)
    zeptat(vycerpany, Pozadavek("/a"), i < 7 ? "" : "close");
  EXPECT_TRUE(vycerpany.Zavreno());
}

// A request the server cannot read for sure, one without a version or with a body,
// is refused and ends its connection: what follows could not be told apart.
TEST_F(Servirovat, RefusesAnUnreadableRequestAndEndsTheConnection) {
  sb_.Zapsat("web/a", "obsah");
  Spustit();

  for (const std::string& pozadavek :
       {std::string("GET /a\r\n\r\n"), Pozadavek("/a", "Content-Length: 3\r\n") + "abc",
        Pozadavek("/a", "Transfer-Encoding: chunked\r\n") + "0\r\n\r\n",
        Pozadavek("/a", " folded\r\n")}) {
    Klient k;
    k.Poslat(pozadavek + Pozadavek("/a"));
    auto o = k.Cist();
    ASSERT_TRUE(o) << pozadavek;
    EXPECT_EQ(o->status, 400) << pozadavek;
    EXPECT_EQ(o->Hlavicka("connection"), "close") << pozadavek;
    EXPECT_TRUE(k.Zavreno()) << pozadavek;
  }
  ASSERT_TRUE(Zastavit());
  EXPECT_EQ(Log(), "GET /a 400 12|GET /a 400 12|GET /a 400 12|GET /a 400 12|");
}

// Connections are served side by side: one kept idle, one that never sends and one
// that takes its answer slowly hold no other client back.
TEST_F(Servirovat, AnIdleOrSlowClientHoldsNoOtherBack) {
  sb_.Zapsat("web/a", "obsah");
  sb_.Zapsat("web/velky.bin", std::string(kVelky, 'v'));
  Spustit();

  Klient necinny, tichy, pomaly(16384);
  necinny.Poslat(Pozadavek("/a"));
  ASSERT_TRUE(necinny.Cist());
  pomaly.Poslat(Pozadavek("/velky.bin"));

  Klient dalsi;
  dalsi.Poslat(Pozadavek("/a"));
  EXPECT_EQ(dalsi.Telo(), "obsah");
  // Answered while the others still hold their connections open.
  necinny.Poslat(Pozadavek("/a"));
  EXPECT_TRUE(necinny.Cist());
  EXPECT_EQ(pomaly.Telo().size(), kVelky);
}

// Many clients at once, each with pipelined requests: every answer comes and the log
// holds one whole line per request.
TEST_F(Servirovat, ServesManyConnectionsAtOnceAndLogsWholeLines) {
  for (int i = 0; i < 8; ++i)
    sb_.Zapsat("web/s" + std::to_string(i), std::string(1000 + i, 'x'));
  Spustit();

  std::vector<std::thread> klienti;
  std::atomic<int> spravne{0};
  for (int i = 0; i < 8; ++i)
    klienti.emplace_back([&, i] {
      Klient k;
      std::string pozadavky;
      for (int j = 0; j < 20; ++j)
        pozadavky += Pozadavek("/s" + std::to_string((i + j) % 8));
      k.Poslat(pozadavky);
      for (int j = 0; j < 20; ++j) {
        auto o = k.Cist();
        if (o && o->telo.size() == static_cast<std::size_t>(1000 + (i + j) % 8)) ++spravne;
      }
    });
  for (auto& k : klienti)
    k.join();
  ASSERT_TRUE(Zastavit());

  EXPECT_EQ(spravne, 160);
  std::ifstream log(sb_ / "pristupy.log");
  std::regex tvar(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ GET /s([0-7]) 200 100\1)");
  int radky = 0;
  for (std::string radek; std::getline(log, radek); ++radky)
    EXPECT_TRUE(std::regex_match(radek, tvar)) << radek;
  EXPECT_EQ(radky, 160);
}

// A client that goes away in the middle of an answer costs only its own connection.
TEST_F(Servirovat, OutlivesAClientThatLeavesMidAnswer) {
  sb_.Zapsat("web/a", "obsah");
  sb_.Zapsat("web/velky.bin", std::string(kVelky, 'v'));
  Spustit();

  Klient odchazejici;
  odchazejici.Poslat(Pozadavek("/velky.bin"));
  ASSERT_TRUE(odchazejici.CekatNaPrijem());
  odchazejici.Zavrit();  // with the answer unread: the server gets a reset

  Klient dalsi;
  dalsi.Poslat(Pozadavek("/a"));
  EXPECT_EQ(dalsi.Telo(), "obsah");
  dalsi.Zavrit();
  ASSERT_TRUE(Zastavit());
  EXPECT_EQ(Log(), "GET /velky.bin 200 16777216|GET /a 200 5|");
}

// Stopping ends every connection, also one whose client has stopped taking its answer.
TEST_F(Servirovat, StopsWhileAClientLeavesItsAnswerUnread) {
  sb_.Zapsat("web/velky.bin", std::string(kVelky, 'v'));
  Spustit();

  Klient pomaly(16384), necinny;
  pomaly.Poslat(Pozadavek("/velky.bin"));
  ASSERT_TRUE(pomaly.CekatNaPrijem());
  EXPECT_TRUE(Zastavit());  // while both clients still hold their connections
}

// No more connections are served at once than allowed; a further one waits until a
// place frees and is served then: a connection busy with an answer keeps its place, one
// idle between requests gives it up to the waiting one.
TEST_F(Servirovat, ServesNoMoreConnectionsAtOnceThanAllowed) {
  sb_.Zapsat("web/a", "obsah");
  sb_.Zapsat("web/velky.bin", std::string(kVelky, 'v'));
  n_.spojeni = 1;
  Spustit();

  Klient prvni(16384);
  prvni.Poslat(Pozadavek("/velky.bin"));
  ASSERT_TRUE(prvni.CekatNaPrijem());  // the first holds its place taking its answer...
  Klient druhy;
  druhy.Poslat(Pozadavek("/a"));
  // ...and the second has no answer. Waiting a while cannot fail a server that keeps to
  // its bound; it only gives one that does not the time to answer.
  EXPECT_FALSE(druhy.CekatNaPrijem(1000ms));
  EXPECT_EQ(prvni.Telo().size(), kVelky);
  EXPECT_EQ(druhy.Telo(), "obsah");
  EXPECT_TRUE(prvni.Zavreno());
}

// No request forges a log line (control characters in the target give 400 and are logged
// as %XX); a name beginning with "." is served only when a snapshot of its site lists it;
// a request head must come whole in its time however the client dribbles it; and one
// client address holds at most half of the places while another address is served.
TEST_F(Servirovat, NoForgedLogLineNoUnlistedHiddenNameAndNoAddressTakesEveryPlace) {
  sb_.Zapsat("web/a", "obsah");
  sb_.Zapsat("web/.poznamky", "poznámky vydavatele");
  sb_.Zapsat("web/velky.bin", std::string(kVelky, 'v'));
  sb_.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20150101\r\n");
  publikace::Zadani z;
  z.zdroj = sb_ / "vydani";
  z.cil = sb_ / "web/site";
  z.adresa = "http://127.0.0.1/site/";
  z.vydani = "20150101";
  publikace::Publikovat(z);
  sb_.Zapsat("web/site/.poznamky", "poznámky vydavatele");
  // A snapshot (of another publisher) that lists a hidden file.
  SeznamSouboru snimek;
  auto skryty = std::make_shared<InstalovanySoubor>();
  skryty->Cesta = "Merko/.nastaveni";
  skryty->Sha256 = std::string(64, 'a');
  snimek.Pridat(skryty->Cesta, skryty);
  InstalacniSlozka().UlozitSnapshot(sb_ / "master.snapshot", snimek);
  ASSERT_EQ(ZazipovatJednoduse(sb_ / "master.snapshot",
                               sb_ / "web/site/vydani/20150101/Setup/master.snapshot.zip", true, "",
                               false),
            0);
  sb_.Zapsat("web/site/vydani/20150101/Setup/Merko/.nastaveni.zip", "skryté nastavení");
  // A working folder of vydat, whatever it holds, is never served.
  std::filesystem::copy(sb_ / "web/site", sb_ / "web/.zevlon-vydat.Ab12Cd",
                        std::filesystem::copy_options::recursive);
  n_.spojeni = 2;
  n_.lhutaHlavy = 1;
  Spustit();

  {
    Klient k;
    k.Poslat("GET /a\n2026-01-01T00:00:00Z GET /podvrh 200 5 HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(k.Stav(), 400);
  }
  {
    Klient k;
    k.Poslat(Pozadavek("/.poznamky") + Pozadavek("/site/.poznamky") +
             Pozadavek("/.zevlon-vydat.Ab12Cd/download.ini") +
             Pozadavek("/.zevlon-vydat.Ab12Cd/Setup/Merko/.nastaveni.zip") +
             Pozadavek("/site/vydani/20150101/Setup/Merko/.nastaveni.zip"));  // listed
    for (int status : {404, 404, 404, 404, 200}) {
      EXPECT_EQ(k.Stav(), status);
    }
  }
  {
    Klient kapajici;
    kapajici.Poslat("GET /a HTTP/1.1\r\nHo");
    std::this_thread::sleep_for(600ms);
    kapajici.Poslat("st");
    std::this_thread::sleep_for(600ms);
    kapajici.Poslat(": x\r\n\r\n");  // whole now, but past the head's time
    EXPECT_FALSE(kapajici.Cist());
  }
  Klient prvni(16384);
  prvni.Poslat(Pozadavek("/velky.bin"));
  ASSERT_TRUE(prvni.CekatNaPrijem());  // busy taking its answer
  Klient druhy;
  druhy.Poslat(Pozadavek("/a"));
  Klient jinde(0, "127.0.0.2");
  jinde.Poslat(Pozadavek("/a"));
  EXPECT_TRUE(jinde.CekatNaPrijem(5000ms));  // the second place is the other address's
  EXPECT_FALSE(druhy.CekatNaPrijem(500ms));
  prvni.Zavrit();
  ASSERT_TRUE(druhy.Cist());
  ASSERT_TRUE(Zastavit());

  const std::string log = Log();
  EXPECT_EQ(log.find("|2026-01-01"), std::string::npos) << log;
  EXPECT_NE(log.find("GET /a%0A2026-01-01T00:00:00Z 400"), std::string::npos) << log;
}

// Two addresses whose keep-alive clients hold every place leave a third client waiting no
// longer than a request: idle connections give way to it, none serves more than its requests.
TEST_F(Servirovat, TwoAddressesOfKeepAliveClientsStarveNoThirdClient) {
  sb_.Zapsat("web/a", "obsah");
  n_.spojeni = 4;
  Spustit();
  std::atomic<bool> dost{false};
  std::vector<std::thread> drzitele;
  for (const char* odkud : {"127.0.0.2", "127.0.0.2", "127.0.0.3", "127.0.0.3"})
    drzitele.emplace_back([&dost, odkud] {
      while (!dost) {  // a connection closed is made again at once
        Klient k(0, odkud);
        do
          k.Poslat(Pozadavek("/a"));
        while (!dost && k.Cist());
      }
    });
  std::this_thread::sleep_for(500ms);
  Klient treti;
  treti.Poslat(Pozadavek("/a"));
  EXPECT_TRUE(treti.CekatNaPrijem(10000ms));
  dost = true;
  for (auto& d : drzitele)
    d.join();
}

// A connection silent for the idle time is closed: kept idle after an answer, stopped
// in the middle of a request head, never used, or not taking its answer. A client that
// takes its answer slowly, a little at a time (far less than the socket's buffer in the
// idle time), is not silent and keeps its connection.
TEST_F(Servirovat, ClosesAConnectionSilentForTheIdleTime) {
  sb_.Zapsat("web/a", "obsah");
  sb_.Zapsat("web/velky.bin", std::string(kVelky, 'v'));
  n_.necinnost = 1;
  Spustit();

  Klient necinny, nedopsany, nepouzity, pomaly(16384);
  necinny.Poslat(Pozadavek("/a"));
  ASSERT_TRUE(necinny.Cist());
  nedopsany.Poslat("GET /a HTTP/1.1\r\nHost");
  pomaly.Poslat(Pozadavek("/velky.bin"));
  EXPECT_TRUE(necinny.Zavreno());
  EXPECT_TRUE(nedopsany.Zavreno());
  EXPECT_TRUE(nepouzity.Zavreno());
  EXPECT_TRUE(pomaly.CekatNaKonec());
  EXPECT_LT(pomaly.Docist(), kVelky);

  Klient odebirajici(16384);
  odebirajici.Poslat(Pozadavek("/velky.bin"));
  EXPECT_TRUE(odebirajici.Odebirat(4096, 20ms, 3000ms));
}

// A single byte range is answered with 206 and its Content-Range; If-Range keeps it to
// the very version of the file the client began with; a range past the end is 416.
TEST_F(Servirovat, AnswersASingleRangeOfTheVersionAsked) {
  std::string soubor = sb_.Zapsat("web/c.bin", "0123456789");
  Spustit();

  Klient k;
  k.Poslat(Pozadavek("/c.bin"));
  auto cely = k.Cist();
  ASSERT_TRUE(cely);
  std::string etag = cely->Hlavicka("etag"), zmeneno = cely->Hlavicka("last-modified");
  EXPECT_EQ(cely->Hlavicka("accept-ranges"), "bytes");
  EXPECT_TRUE(etag.size() > 2 && etag.front() == '"' && etag.back() == '"') << etag;
  EXPECT_TRUE(
      std::regex_match(zmeneno, std::regex(R"(\w{3}, \d\d \w{3} \d{4} \d\d:\d\d:\d\d GMT)")))
      << zmeneno;

  auto rozsah = [&k](const std::string& hlavicky, bool head = false) {
    k.Poslat(Pozadavek("/c.bin", hlavicky, "HTTP/1.1", head ? "HEAD" : "GET"));
    auto o = k.Cist(head);
    EXPECT_TRUE(o);
    return o.value_or(Odpoved{});
  };
  struct Pripad {
    std::string hlavicky;
    int status;
    std::string telo, contentRange;
  };
  for (const Pripad& p : std::vector<Pripad>{
           {"Range: bytes=2-\r\n", 206, "23456789", "bytes 2-9/10"},
           {"Range: bytes=2-4\r\n", 206, "234", "bytes 2-4/10"},
           {"Range: bytes=-3\r\n", 206, "789", "bytes 7-9/10"},
           {"Range: bytes=8-20\r\n", 206, "89", "bytes 8-9/10"},
           {"Range: bytes=0-\r\n", 206, "0123456789", "bytes 0-9/10"},
           {"Range: bytes=10-\r\n", 416, "Range Not Satisfiable\n", "bytes */10"},
           {"Range: bytes=5-2\r\n", 200, "0123456789", ""},
           {"Range: bytes=0-1,4-5\r\n", 200, "0123456789", ""},
           {"Range: lines=1-2\r\n", 200, "0123456789", ""},
           {"Range: bytes=5\r\n", 200, "0123456789", ""},
           {"Range: bytes=5-\r\nIf-Range: " + etag + "\r\n", 206, "56789", "bytes 5-9/10"},
           {"Range: bytes=5-\r\nIf-Range: " + zmeneno + "\r\n", 206, "56789", "bytes 5-9/10"},
           {"Range: bytes=5-\r\nIf-Range: \"jiny\"\r\n", 200, "0123456789", ""},
           {"Range: bytes=5-\r\nIf-Range: W/" + etag + "\r\n", 200, "0123456789", ""},
       }) {
    auto o = rozsah(p.hlavicky);
    EXPECT_EQ(o.status, p.status) << p.hlavicky;
    EXPECT_EQ(o.telo, p.telo) << p.hlavicky;
    EXPECT_EQ(o.Hlavicka("content-range"), p.contentRange) << p.hlavicky;
  }
  auto head = rozsah("Range: bytes=2-\r\n", true);
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.Hlavicka("content-length"), "10");

  // The file replaced: a resume against the old version gets the whole new file.
  test::ZapsatSoubor(soubor, "abcdefghijk");
  timespec casy[2] = {{0, UTIME_OMIT}, {1'000'000'000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, soubor.c_str(), casy, 0), 0);
  auto novy = rozsah("Range: bytes=5-\r\nIf-Range: " + etag + "\r\n");
  EXPECT_EQ(novy.status, 200);
  EXPECT_EQ(novy.telo, "abcdefghijk");
  EXPECT_NE(novy.Hlavicka("etag"), etag);
  EXPECT_EQ(rozsah("Range: bytes=5-\r\nIf-Range: " + zmeneno + "\r\n").status, 200);
  k.Zavrit();
  ASSERT_TRUE(Zastavit());
  std::string log = Log();
  EXPECT_NE(log.find("|GET /c.bin 206 8|"), std::string::npos) << log;
  EXPECT_NE(log.find("|GET /c.bin 416 22|"), std::string::npos) << log;
}

// What vydat creates is readable by all as cp makes it (0777 and 0666 less the umask): a
// server running as another user answers every file of it.
TEST_F(Servirovat, APublishedSiteIsReadableByAllAsTheUmaskAllows) {
  ::chmod(sb_.Cesta().c_str(), 0755);
  sb_.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20150101\r\n");
  sb_.Zapsat("vydani/Upravy/Doplnky/F/f.dll", "fakturace");
  // The release published, and the folders on the way to it, whatever an earlier run's umask.
  std::filesystem::create_directory(sb_ / "web");
  std::filesystem::permissions(sb_ / "web", std::filesystem::perms(0755));
  for (const auto& [umask, slozky, soubory, slozka] :
       {std::tuple{"027", 0750u, 0640u, "20150101"}, {"022", 0755u, 0644u, "20150101.1"}}) {
    auto v = test::Spustit({"/bin/sh", "-c", std::string("umask ") + umask + " && exec \"$@\"",
                            "sh", ZEVLON_PUBLIKOVAT, "vydat", "--vydani", "20150101", "--adresa",
                            "http://127.0.0.1/site/", "--prepsat-vydani", sb_ / "vydani",
                            sb_ / "web/site"});
    ASSERT_EQ(v.kod, 0) << v.vystup;
    std::vector<std::filesystem::path> cesty{sb_ / "web/site", sb_ / "web/site/vydani",
                                             sb_ / "web/site/download.ini"};
    for (const auto& e : std::filesystem::recursive_directory_iterator(
             sb_ / ("web/site/vydani/" + std::string(slozka))))
      cesty.push_back(e.path());
    for (const auto& c : cesty)
      EXPECT_EQ(static_cast<unsigned>(std::filesystem::symlink_status(c).permissions()),
                std::filesystem::is_directory(c) ? slozky : soubory)
          << umask << c;
  }
  const std::string port = std::to_string(test::VolnyPort());
  std::vector<std::string> a = test::JakoNeprivilegovany();
  a.insert(a.end(), {ZEVLON_PUBLIKOVAT, "servirovat", "--port", port, sb_ / "web"});
  Popisovac vystup(::open((sb_ / "server.txt").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  const pid_t pid = test::SpustitNaPozadi(a, {}, vystup.Fd());
  for (int i = 0; i < 100 && sb_.Cist("server.txt").find("naslouchá") == std::string::npos; ++i)
    std::this_thread::sleep_for(100ms);
  portServeru = std::stoi(port);
  Klient k;
  for (const char* soubor :
       {"/site/download.ini", "/site/vydani/20150101.1/Setup/master.snapshot.zip",
        "/site/vydani/20150101.1/Upravy/Doplnky/F/f.dll.zip"}) {
    k.Poslat(Pozadavek(soubor));
    EXPECT_EQ(k.Stav(), 200) << soubor;
  }
  ::kill(pid, SIGTERM);
  int stav = 0;
  ASSERT_EQ(::waitpid(pid, &stav, 0), pid);
  EXPECT_TRUE(WIFEXITED(stav) && WEXITSTATUS(stav) == 0) << stav;
}

}  // namespace
}  // namespace zevlon
