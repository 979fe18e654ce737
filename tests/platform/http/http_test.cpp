#include "platform/http/http.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <limits>
#include <thread>

#include "prenos/stahovani/stahovani.h"
#include "soubory/pomoc_operaci.h"
#include "support/archivy.h"
#include "support/http_server.h"
#include "support/neprivilegovany.h"

namespace zevlon {
namespace {

using test::PozadavekHttp;
using test::Sandbox;
using test::TestHttpServer;
using test::VolnyPort;

// A server sending more than it announced gives only what it announced.
TEST(StahnoutSoubor, BodiesReplaceTheFileWithNoMoreThanTheServerAnnounced) {
  Sandbox s;
  const std::string telo = std::string(100000, '\0') + "konec";
  TestHttpServer server([&](const PozadavekHttp& p) {
    if (p.cesta != "/oznameno") return test::Telo(telo);
    auto o = test::Telo("oznameno" + std::string(100000, 'x'));
    o.hlavicky = {{"Content-Length", "8"}};
    return o;
  });
  std::string cil = s.Zapsat("download.ini", "stary obsah");
  StahnoutSoubor(server.Adresa() + "/aktualizace-online/download.ini?id=1", cil);
  EXPECT_EQ(s.Cist("download.ini"), telo);
  EXPECT_FALSE(test::Existuje(cil + ".part"));
  StahnoutSoubor(server.Adresa() + "/oznameno", cil);
  EXPECT_EQ(s.Cist("download.ini"), "oznameno");
}

TEST(StahnoutSoubor, FailuresRaiseAndLeaveNothingUnderTheTargetsName) {
  Sandbox s;
  TestHttpServer server([](const PozadavekHttp& p) {
    if (p.cesta == "/404") return test::Stav(404, "Soubor Nenalezen (vlastní text)", "<html/>");
    auto o = test::Telo(std::string(2 << 20, 'x'));
    if (p.cesta == "/utnout") o.utnoutPo = 1000;  // announces 2 MiB, sends 1,000 and closes
    return o;
  });
  std::string cil = s.Zapsat("a.zip", "puvodni");
  const std::string a = server.Adresa();
  const struct {  // the description begins with the text given
    std::string url;
    std::int64_t maxBajtu;
    std::uint32_t cislo;
    std::string popis;
  } kPripady[] = {
      {a + "/404", KlientHttp::kMaxStazeni, static_cast<std::uint32_t>(kChybaUzivatele),
       "http error: 404 Soubor Nenalezen (vlastní text)"},
      {a + "/velky", 1 << 20, static_cast<std::uint32_t>(kChybaUzivatele),
       "Soubor na adrese " + a + "/velky je větší než povolených 1048576 bajtů."},
      {a + "/utnout", KlientHttp::kMaxStazeni, 0x80072EFEu, "Spojení se serverem bylo přerušeno."},
      {"http://127.0.0.1:" + std::to_string(VolnyPort()) + "/x", KlientHttp::kMaxStazeni,
       0x80072EFDu, "Nelze se připojit k serveru."},
  };
  for (const auto& p : kPripady) {
    SCOPED_TRACE(p.url);
    Chyba c = test::ZachytitChybu([&] { StahnoutSoubor(p.url, cil, p.maxBajtu); });
    EXPECT_EQ(c.Cislo(), static_cast<std::int32_t>(p.cislo));
    EXPECT_EQ(c.Popis().substr(0, p.popis.size()), p.popis);
    EXPECT_EQ(s.Cist("a.zip"), "puvodni");
    EXPECT_FALSE(test::Existuje(cil + ".part"));
  }
}

// HTTPS served by openssl's own server with a certificate the system does not trust:
// an error, never a quiet fall-back.
TEST(StahnoutSoubor, HttpsWithAnUntrustedCertificateFails) {
  Sandbox s;
  s.Zapsat("download.ini", "[Merko]\r\nRelease=20141231\r\n");
  const std::string port = std::to_string(VolnyPort());
  const std::string prikaz =
      "openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -addext "
      "subjectAltName=IP:127.0.0.1 -keyout k.pem -out c.pem 2>/dev/null && exec openssl "
      "s_server -quiet -WWW -accept " +
      port + " -cert c.pem -key k.pem";
  pid_t pid = test::SpustitNaPozadi({"/bin/sh", "-c", "cd '" + s.Cesta() + "' && " + prikaz}, {},
                                    STDERR_FILENO);
  struct Uklid {
    pid_t pid;
    ~Uklid() { ::kill(pid, SIGTERM), ::waitpid(pid, nullptr, 0); }
  } uklid{pid};
  // The first error other than a refused connection comes once the server listens.
  const auto kOdmitnuto = static_cast<std::int32_t>(0x80072EFDu);
  Chyba chyba(kOdmitnuto, "");
  for (int i = 0; i < 400 && chyba.Cislo() == kOdmitnuto; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    chyba = test::ZachytitChybu(
        [&] { StahnoutSoubor("https://127.0.0.1:" + port + "/download.ini", s / "a.ini"); });
  }
  EXPECT_EQ(chyba.Cislo(), static_cast<std::int32_t>(0x80072F8Fu));
  EXPECT_NE(chyba.Popis().find("Certifikát serveru je neplatný."), std::string::npos);
  EXPECT_FALSE(test::Existuje(s / "a.ini"));
}

// Downloads in flight at once: each outcome (body, status, error) is taken in the order
// asked for, as one download alone would give it, while the others go on over the same
// connections; what was never taken leaves no file.
TEST(SkupinaStahovani, OutcomesAreTakenInOrderWhileTheOthersRunAndDroppedOnesLeaveNothing) {
  Sandbox s;
  TestHttpServer server([](const PozadavekHttp& p) {
    if (p.cesta == "/chybi") return test::Stav(404, "Nenalezeno");
    if (p.cesta == "/utnout") {
      auto o = test::Telo(std::string(100000, 'u'));
      o.utnoutPo = 10;
      return o;
    }
    auto o = test::Telo("telo " + p.cesta);
    // The first answer comes last: the later ones are done before it is taken.
    if (p.cesta == "/0") o.zpozdeni = std::chrono::milliseconds(300);
    return o;
  });
  KlientHttp& http = Http();
  {
    SkupinaStahovani skupina(http);
    std::vector<std::size_t> cisla;
    for (int i = 0; i < 6; ++i)
      cisla.push_back(skupina.Pridat(server.Adresa() + "/" + std::to_string(i),
                                     s / ("s" + std::to_string(i)), 1 << 20, 0));
    const std::size_t chybi = skupina.Pridat(server.Adresa() + "/chybi", s / "chybi", 1 << 20, 0);
    const std::size_t utnout = skupina.Pridat(server.Adresa() + "/utnout", s / "u", 1 << 20, 0);
    skupina.Pridat(server.Adresa() + "/nevyzvednuto", s / "nevyzvednuto", 1 << 20, 0);
    EXPECT_EQ(skupina.Bezi(), 9u);
    for (int i = 0; i < 6; ++i) {
      OdpovedHttp o = skupina.Dokoncit(cisla[static_cast<std::size_t>(i)]);
      // While the first answer was awaited, the others were asked for too.
      if (i == 0) {
        EXPECT_GE(server.Pozadavky().size(), 8u);
      }
      EXPECT_EQ(o.status, 200);
      EXPECT_EQ(s.Cist("s" + std::to_string(i)), "telo /" + std::to_string(i));
    }
    EXPECT_EQ(skupina.Dokoncit(chybi).status, 404);
    EXPECT_FALSE(test::Existuje(s / "chybi"));
    EXPECT_EQ(test::ZachytitChybu([&] { skupina.Dokoncit(utnout); }).Cislo(),
              static_cast<std::int32_t>(0x80072EFEu));
    EXPECT_FALSE(test::Existuje(s / "u"));
    EXPECT_EQ(skupina.Bezi(), 1u);
  }
  // The group is gone: nothing of the download it never gave out is left.
  EXPECT_EQ(test::Obsah(s.Cesta()).size(), 6u);

  // Downloads added while one is awaited (as connections fall idle) leave it in place.
  {
    SkupinaStahovani skupina(http);
    const std::size_t prvni = skupina.Pridat(server.Adresa() + "/0", s / "p0", 1 << 20, 0);
    std::vector<std::size_t> dalsi;
    const OdpovedHttp o = skupina.Dokoncit(prvni, [&] {
      for (int i = 0; i < 8 && dalsi.size() < 64; ++i)
        dalsi.push_back(skupina.Pridat(server.Adresa() + "/d" + std::to_string(dalsi.size()),
                                       s / ("d" + std::to_string(dalsi.size())), 1 << 20, 0));
    });
    EXPECT_EQ(o.status, 200);
    EXPECT_EQ(s.Cist("p0"), "telo /0");
    ASSERT_FALSE(dalsi.empty());
    for (std::size_t i = 0; i < dalsi.size(); ++i)
      EXPECT_EQ(skupina.Dokoncit(dalsi[i]).status, 200);
    EXPECT_EQ(s.Cist("d" + std::to_string(dalsi.size() - 1)),
              "telo /d" + std::to_string(dalsi.size() - 1));
  }
  // Over HTTP/1.1 the downloads shared a few kept-alive connections.
  EXPECT_LE(server.PocetSpojeni(), KlientHttp::kMaxSpojeni + 2);
}

// The run's bound holds for all its transfers together: several in flight against a local
// server average no more than the bound (only that side: a loaded machine is only slower;
// the accurate figure is bench/'s), and outside its hours it holds nothing back.
TEST(KlientHttp, OneBoundHoldsAllTransfersInFlightTogether) {
  Sandbox s;
  TestHttpServer server([](const PozadavekHttp& p) {
    return test::Telo(std::string(p.cesta == "/maly" ? 49000 : 400000, 'b'));
  });
  KlientHttp& http = Http();
  http.maxRychlost = 400000;  // the bucket holds 40 kB: 40 times that in all, over 4 s
  auto stahnout = [&] {
    std::int64_t bajtu = 0;
    SkupinaStahovani skupina(http);
    std::vector<std::size_t> cisla;
    for (int i = 0; i < 4; ++i)
      cisla.push_back(skupina.Pridat(server.Adresa() + "/" + std::to_string(i),
                                     s / std::to_string(i), 1 << 20, 0));
    for (std::size_t c : cisla)
      bajtu += skupina.Dokoncit(c).bajtu;
    return bajtu;
  };
  auto zacatek = std::chrono::steady_clock::now();
  EXPECT_EQ(stahnout(), 1600000);
  std::chrono::duration<double> doba = std::chrono::steady_clock::now() - zacatek;
  EXPECT_LE(1600000 / doba.count(), 1.15 * 400000) << doba.count() << " s";
  // Under a low bound a transfer takes no more ahead of it than the bucket holds (1 kB here),
  // however much libcurl hands over at once: 49 kB take over 4 s.
  http.maxRychlost = 10000;
  zacatek = std::chrono::steady_clock::now();
  EXPECT_EQ(http.Stahnout(server.Adresa() + "/maly", s / "maly", 1 << 20, 0).bajtu, 49000);
  doba = std::chrono::steady_clock::now() - zacatek;
  EXPECT_LE(49000 / doba.count(), 1.15 * 10000) << doba.count() << " s";
  http.maxRychlost = 400000;
  http.omezeniPlati = [] { return false; };
  zacatek = std::chrono::steady_clock::now();
  EXPECT_EQ(stahnout(), 1600000);
  doba = std::chrono::steady_clock::now() - zacatek;
  http.maxRychlost = 0, http.omezeniPlati = nullptr;
  EXPECT_LT(doba.count(), 2.0);
}

// A body broken off on the way is continued from where it stopped, with a range valid
// only for the same version of the file; a server without ranges, or a file changed in
// between, gives the whole body again, cleanly.
TEST(KlientHttp, BrokenDownloadResumesOnlyTheSameVersionAndOtherwiseStartsOver) {
  Sandbox s;
  std::string telo(200000, '\0');
  for (std::size_t i = 0; i < telo.size(); ++i)
    telo[i] = static_cast<char>('a' + i % 23);
  std::string verze = "\"v1\"";
  bool rozsahy = true;
  std::vector<std::string> pozadovano;  // the Range of each request, "" for none
  TestHttpServer server([&](const PozadavekHttp& p) {
    auto r = p.hlavicky.find("range");
    pozadovano.push_back(r == p.hlavicky.end() ? "" : r->second);
    auto ifRange = p.hlavicky.find("if-range");
    test::OdpovedTestu o = test::Telo(telo);
    o.hlavicky = {{"ETag", verze}};
    if (rozsahy && r != p.hlavicky.end() && ifRange != p.hlavicky.end() &&
        ifRange->second == verze) {
      const std::size_t od = std::stoul(r->second.substr(6));
      o.status = 206;
      o.textStavu = "Partial Content";
      o.telo = telo.substr(od);
      o.hlavicky.push_back({"Content-Range", "bytes " + std::to_string(od) + "-" +
                                                 std::to_string(telo.size() - 1) + "/" +
                                                 std::to_string(telo.size())});
    } else if (pozadovano.size() % 2 == 1) {
      o.utnoutPo = 70000;  // every other request breaks off part-way
    }
    return o;
  });
  const std::string cil = s / "velky.bin";
  auto stahnout = [&] { return Http().Stahnout(server.Adresa() + "/velky", cil); };
  auto preruseno = [&] {
    try {
      stahnout();
    } catch (const PrerusenyPrenos&) {
      return true;
    }
    return false;
  };

  ASSERT_TRUE(preruseno());
  EXPECT_FALSE(test::Existuje(cil));
  EXPECT_EQ(stahnout().status, 200);
  EXPECT_EQ(s.Cist("velky.bin"), telo);
  EXPECT_EQ(pozadovano, (std::vector<std::string>{"", "bytes=70000-"}));

  // Changed in between: the whole new body.
  ASSERT_TRUE(preruseno());
  verze = "\"v2\"";
  telo[5] = 'Z';
  EXPECT_EQ(stahnout().status, 200);
  EXPECT_EQ(s.Cist("velky.bin"), telo);
  EXPECT_EQ(pozadovano.back(), "bytes=70000-");

  // A server without ranges: the whole body again.
  rozsahy = false;
  ASSERT_TRUE(preruseno());
  EXPECT_EQ(stahnout().status, 200);
  EXPECT_EQ(s.Cist("velky.bin"), telo);
  EXPECT_FALSE(test::Existuje(cil + ".part"));

  // The package download repeats a broken-off download by itself and gets only the rest.
  rozsahy = true;
  pozadovano.clear();
  std::string nahodne(200000, '\0');  // does not compress: the archive is as large
  std::uint32_t x = 12345;
  for (char& c : nahodne)
    c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  test::VytvoritZip(s / "zdroj.zip", {{"x.dll", nahodne}});
  telo = s.Cist("zdroj.zip");
  s.Vytvorit("balik");
  StahnoutARozbalit(server.Adresa() + "/velky", s / "balik/", "x.dll", "", BalicekSouboru(200000));
  EXPECT_EQ(pozadovano, (std::vector<std::string>{"", "bytes=70000-"}));
  EXPECT_EQ(s.Cist("balik/x.dll"), nahodne);
  AktualniPolozka.clear();
}

// A listing of huge files buys a hostile server no more than a week, and the deadline
// stays within what the clock can count.
TEST(KlientHttp, DeadlinesOfListedSizesAreBoundedAndGrowWithTheSize) {
  KlientHttp k;
  EXPECT_EQ(k.Lhuta(0), KlientHttp::kLhutaPrenosu);
  EXPECT_GT(k.Lhuta(std::int64_t{1} << 20), k.Lhuta(0));
  for (std::int64_t v : {std::int64_t{1} << 40, std::numeric_limits<std::int64_t>::max()})
    EXPECT_EQ(k.Lhuta(v), std::chrono::hours(24 * 7)) << v;
  k.lhutaPrenosu = std::chrono::seconds(std::numeric_limits<std::int64_t>::max() / 2);
  EXPECT_EQ(k.Lhuta(0), std::chrono::hours(24 * 7));
  // Otherwise the deadline grows by the time the size takes at the minimum speed.
  k.lhutaPrenosu = std::chrono::seconds(60);
  k.minRychlost = 1024;
  EXPECT_EQ(k.Lhuta(std::int64_t{10} << 20), std::chrono::seconds(60 + 10240));
}

// Once on https, never on http: no redirect of an https transfer leads to an http
// address, and nothing reaches the http server. (An http address in a run that began on
// https: the whole-run tests.)
TEST(KlientHttp, HttpsNeverLeadsToHttp) {
  Sandbox s;
  TestHttpServer http([](const PozadavekHttp&) { return test::Telo("nezabezpečeně"); });
  TestHttpServer https(
      [&](const PozadavekHttp& p) {
        auto jinam = [](std::string kam) {
          auto o = test::Stav(302, "Found");
          o.hlavicky = {{"Location", std::move(kam)}};
          return o;
        };
        if (p.cesta == "/dolu") return jinam(http.Adresa() + "/x");
        if (p.cesta == "/DOLU")
          return jinam("HTTP://127.0.0.1:" + std::to_string(http.Port()) + "/x");
        if (p.cesta == "/oklikou") return jinam("/dolu");
        if (p.cesta == "/jinam") return jinam("/soubor");
        return test::Telo("zabezpečeně");
      },
      TestHttpServer::Protokol::kHttps);
  ::setenv("SSL_CERT_FILE", https.Certifikat().c_str(), 1);
  const std::string cil = s / "a.zip";

  KlientHttp klient;
  EXPECT_EQ(klient.Stahnout(https.Adresa() + "/jinam", cil).status, 200);  // https to https
  EXPECT_EQ(s.Cist("a.zip"), "zabezpečeně");
  for (const char* cesta : {"/dolu", "/DOLU", "/oklikou"}) {
    SCOPED_TRACE(cesta);
    Chyba c = test::ZachytitChybu([&] { klient.Stahnout(https.Adresa() + cesta, cil); });
    EXPECT_EQ(c.Cislo(), static_cast<std::int32_t>(0x80072F08u));
    EXPECT_NE(c.Popis().find("Server přesměroval zabezpečené spojení (https) na nezabezpečenou "
                             "adresu "),
              std::string::npos)
        << c.Popis();
  }
  ::unsetenv("SSL_CERT_FILE");
  EXPECT_EQ(s.Cist("a.zip"), "zabezpečeně");
  EXPECT_EQ(http.PocetSpojeni(), 0);
}

}  // namespace
}  // namespace zevlon
