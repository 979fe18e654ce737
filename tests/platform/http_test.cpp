#include "platform/http.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <thread>

#include "common/chyba.h"
#include "driver/stahovani.h"
#include "support/demo_web.h"
#include "support/http_server.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::OdpovedTestu;
using test::PozadavekHttp;
using test::Sandbox;
using test::TestHttpServer;

// A port nobody listens on: that of a server that is gone.
int VolnyPort() {
  TestHttpServer docasny([](const PozadavekHttp&) { return OdpovedTestu{}; });
  return docasny.Port();
}

TEST(StahnoutSoubor, BodiesReplaceTheFileOverOneKeptAliveConnection) {
  Sandbox s;
  std::string telo(100000, '\0');
  for (std::size_t i = 0; i < telo.size(); ++i)
    telo[i] = static_cast<char>(i * 7);
  TestHttpServer server([&](const PozadavekHttp& p) {
    if (p.cesta == "/stare") {
      auto o = test::Stav(302, "Found");
      o.hlavicky = {{"Location", "/prazdne"}};
      return o;
    }
    if (p.cesta == "/prazdne") return test::Telo("");
    if (p.cesta == "/dalsi") return test::Telo("dalsi");
    if (p.cesta != "/oznameno") return test::Telo(telo);
    auto o = test::Telo("oznameno" + std::string(100000, 'x'));
    o.hlavicky = {{"Content-Length", "8"}};
    return o;
  });
  std::string cil = s.Zapsat("download.ini", "stary obsah");
  for (int i = 0; i < 4; ++i) {
    StahnoutSoubor(
        server.Adresa() + "/aktualizace-online/download.ini?id=2014123123595" + std::to_string(i),
        cil);
    EXPECT_EQ(s.Cist("download.ini"), telo);
  }
  // Redirects are followed; an empty body gives an empty file.
  StahnoutSoubor(server.Adresa() + "/stare", cil);
  EXPECT_EQ(s.Cist("download.ini"), "");
  EXPECT_FALSE(test::Existuje(cil + ".part"));
  auto p = server.Pozadavky();
  ASSERT_EQ(p.size(), 6u);
  EXPECT_EQ(p[0].metoda, "GET");
  EXPECT_EQ(p[0].cesta, "/aktualizace-online/download.ini?id=20141231235950");
  EXPECT_EQ(p[0].hlavicky["cache-control"], "no-cache");
  EXPECT_EQ(p[0].hlavicky["pragma"], "no-cache");
  EXPECT_EQ(p[5].cesta, "/prazdne");
  EXPECT_EQ(server.PocetSpojeni(), 1);

  // A server sending more than it announced gives only what it announced, and the
  // excess never reaches the next answer on the same client.
  StahnoutSoubor(server.Adresa() + "/oznameno", s / "prvni");
  EXPECT_EQ(s.Cist("prvni"), "oznameno");
  StahnoutSoubor(server.Adresa() + "/dalsi", s / "dalsi");
  EXPECT_EQ(s.Cist("dalsi"), "dalsi");
}

TEST(StahnoutSoubor, FailuresRaiseAndLeaveNothingUnderTheTargetsName) {
  Sandbox s;
  TestHttpServer server([](const PozadavekHttp& p) {
    if (p.cesta == "/404") return test::Stav(404, "Soubor Nenalezen (vlastní text)", "<html/>");
    OdpovedTestu o = test::Telo(std::string(2 << 20, 'x'));
    if (p.cesta == "/utnout") o.utnoutPo = 1000;  // announces 2 MiB, sends 1,000 and closes
    if (p.cesta == "/pozde") o.zpozdeni = std::chrono::milliseconds(3000);
    return o;
  });
  std::string cil = s.Zapsat("a.zip", "puvodni");
  const std::string a = server.Adresa();
  // The description begins with the text given.
  const struct {
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
      {a + "/pozde", KlientHttp::kMaxStazeni, 0x80072EE2u, "Vypršel časový limit operace."},
      {"http://127.0.0.1:" + std::to_string(VolnyPort()) + "/x", KlientHttp::kMaxStazeni,
       0x80072EFDu, "Nelze se připojit k serveru."},
  };
  const auto necinnost = Http().casNecinnosti;
  Http().casNecinnosti = std::chrono::seconds(1);
  for (const auto& p : kPripady) {
    SCOPED_TRACE(p.url);
    try {
      StahnoutSoubor(p.url, cil, p.maxBajtu);
      ADD_FAILURE() << "no error";
    } catch (const Chyba& c) {
      EXPECT_EQ(c.Cislo(), static_cast<std::int32_t>(p.cislo));
      EXPECT_EQ(c.Popis().substr(0, p.popis.size()), p.popis);
    }
    EXPECT_EQ(s.Cist("a.zip"), "puvodni");
    EXPECT_FALSE(test::Existuje(cil + ".part"));
  }
  Http().casNecinnosti = necinnost;
}

// HTTPS for the update site, served by openssl's own server: a certificate the system
// does not trust is an error, never a quiet fall-back; a trusted one works.
TEST(StahnoutSoubor, HttpsWithAnUntrustedCertificateFailsAndATrustedOneWorks) {
  Sandbox s;
  auto v =
      test::Spustit({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days",
                     "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                     "-keyout", s / "klic.pem", "-out", s / "certifikat.pem"});
  ASSERT_EQ(v.kod, 0) << v.vystup;
  s.Zapsat("web/download.ini", "[Merko]\r\nRelease=20141231\r\n");
  const std::string port = std::to_string(VolnyPort());
  const std::string url = "https://127.0.0.1:" + port + "/download.ini";
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir((s / "web").c_str()) != 0) _exit(127);
    ::execl("/usr/bin/openssl", "openssl", "s_server", "-quiet", "-WWW", "-accept", port.c_str(),
            "-cert", (s / "certifikat.pem").c_str(), "-key", (s / "klic.pem").c_str(),
            static_cast<char*>(nullptr));
    _exit(127);
  }
  struct Uklid {
    pid_t pid;
    ~Uklid() {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
      unsetenv("SSL_CERT_FILE");
    }
  } uklid{pid};

  // The first error other than a refused connection comes once the server listens.
  std::optional<Chyba> chyba;
  for (int i = 0; i < 200 && !chyba; ++i) {
    try {
      StahnoutSoubor(url, s / "a.ini");
      FAIL() << "an untrusted certificate was accepted";
    } catch (const Chyba& c) {
      if (c.Cislo() != static_cast<std::int32_t>(0x80072EFDu)) chyba = c;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  ASSERT_TRUE(chyba) << "openssl s_server did not start";
  EXPECT_EQ(chyba->Cislo(), static_cast<std::int32_t>(0x80072F8Fu));
  EXPECT_NE(chyba->Popis().find("Certifikát serveru je neplatný."), std::string::npos);
  EXPECT_FALSE(test::Existuje(s / "a.ini"));

  setenv("SSL_CERT_FILE", (s / "certifikat.pem").c_str(), 1);
  StahnoutSoubor(url, s / "a.ini");
  EXPECT_EQ(s.Cist("a.ini"), "[Merko]\r\nRelease=20141231\r\n");
}

}  // namespace
}  // namespace zevlon
