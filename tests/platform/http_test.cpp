#include "platform/http.h"

#include <gtest/gtest.h>

#include "common/chyba.h"
#include "driver/stahovani.h"
#include "support/http_server.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::OdpovedTestu;
using test::PozadavekHttp;
using test::Sandbox;
using test::TestHttpServer;

TEST(StahnoutSoubor, BodyReplacesTheFileAndTheRequestAsksCachesToStayOut) {
  Sandbox s;
  std::string telo(100000, '\0');
  for (std::size_t i = 0; i < telo.size(); ++i)
    telo[i] = static_cast<char>(i * 7);
  TestHttpServer server([&](const PozadavekHttp&) { return test::Telo(telo); });
  std::string cil = s.Zapsat("download.ini", "stary obsah");
  StahnoutSoubor(server.Adresa() + "/aktualizace-online/download.ini?id=20141231235959", cil);
  EXPECT_EQ(s.Cist("download.ini"), telo);
  auto p = server.Pozadavky();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].metoda, "GET");
  EXPECT_EQ(p[0].cesta, "/aktualizace-online/download.ini?id=20141231235959");
  EXPECT_EQ(p[0].hlavicky["cache-control"], "no-cache");
  EXPECT_EQ(p[0].hlavicky["pragma"], "no-cache");
  EXPECT_FALSE(test::Existuje(cil + ".part"));
}

TEST(StahnoutSoubor, StatusOtherThan200RaisesWithTheServersOwnTextAndKeepsTheFile) {
  Sandbox s;
  TestHttpServer server([](const PozadavekHttp&) {
    return test::Stav(404, "Soubor Nenalezen (vlastní text)", "<html>chyba</html>");
  });
  std::string cil = s.Zapsat("a.zip", "puvodni");
  try {
    StahnoutSoubor(server.Adresa() + "/a.zip", cil);
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Popis(), "http error: 404 Soubor Nenalezen (vlastní text)");
    EXPECT_EQ(c.Cislo(), kChybaUzivatele);
  }
  EXPECT_EQ(s.Cist("a.zip"), "puvodni");
  EXPECT_FALSE(test::Existuje(cil + ".part"));
}

TEST(StahnoutSoubor, RedirectsAreFollowedAndAnEmptyBodyGivesAnEmptyFile) {
  Sandbox s;
  TestHttpServer server([](const PozadavekHttp& p) {
    if (p.cesta == "/stare") {
      auto o = test::Stav(302, "Found");
      o.hlavicky = {{"Location", "/nove"}};
      return o;
    }
    return test::Telo("");
  });
  std::string cil = s / "x";
  StahnoutSoubor(server.Adresa() + "/stare", cil);
  EXPECT_EQ(s.Cist("x"), "");
  EXPECT_EQ(server.Pozadavky().back().cesta, "/nove");
}

TEST(StahnoutSoubor, BodyLargerThanTheLimitIsRefusedAndLeavesNothing) {
  Sandbox s;
  TestHttpServer server([](const PozadavekHttp&) { return test::Telo(std::string(2 << 20, 'x')); });
  std::string cil = s.Zapsat("download.ini", "puvodni");
  try {
    StahnoutSoubor(server.Adresa() + "/download.ini", cil, 1 << 20);
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_NE(c.Popis().find("je větší než povolených 1048576 bajtů."), std::string::npos);
  }
  EXPECT_EQ(s.Cist("download.ini"), "puvodni");
  EXPECT_FALSE(test::Existuje(cil + ".part"));
}

TEST(StahnoutSoubor, ServerSendingMoreThanItAnnouncedGivesOnlyWhatItAnnounced) {
  Sandbox s;
  TestHttpServer server([](const PozadavekHttp& p) {
    if (p.cesta == "/dalsi") return test::Telo("dalsi");
    auto o = test::Telo("oznameno" + std::string(100000, 'x'));
    o.hlavicky = {{"Content-Length", "8"}};
    return o;
  });
  KlientHttp klient;
  klient.Stahnout(server.Adresa() + "/prvni", s / "prvni");
  EXPECT_EQ(s.Cist("prvni"), "oznameno");
  // The excess never reaches the next answer on the same client.
  klient.Stahnout(server.Adresa() + "/dalsi", s / "dalsi");
  EXPECT_EQ(s.Cist("dalsi"), "dalsi");
}

TEST(StahnoutSoubor, ServerThatStallsIsGivenUp) {
  Sandbox s;
  TestHttpServer server([](const PozadavekHttp&) {
    auto o = test::Telo("pozde");
    o.zpozdeni = std::chrono::milliseconds(3000);
    return o;
  });
  KlientHttp klient;
  klient.casNecinnosti = std::chrono::seconds(1);
  EXPECT_THROW(klient.Stahnout(server.Adresa() + "/x", s / "x"), Chyba);
  EXPECT_FALSE(test::Existuje(s / "x"));
  EXPECT_FALSE(test::Existuje(s / "x.part"));
}

TEST(StahnoutSoubor, ConnectionsAreKeptAliveAcrossDownloads) {
  Sandbox s;
  TestHttpServer server([](const PozadavekHttp&) { return test::Telo("data"); });
  for (int i = 0; i < 5; ++i)
    StahnoutSoubor(server.Adresa() + "/f" + std::to_string(i), s / "f");
  EXPECT_EQ(server.Pozadavky().size(), 5u);
  EXPECT_EQ(server.PocetSpojeni(), 1);
}

TEST(StahnoutSoubor, BrokenTransfersRaiseAndLeaveNothingUnderTheTargetsName) {
  Sandbox s;
  TestHttpServer server([](const PozadavekHttp&) {
    OdpovedTestu o = test::Telo(std::string(50000, 'x'));
    o.utnoutPo = 1000;  // announces 50,000 bytes, sends 1,000 and closes
    return o;
  });
  std::string cil = s / "balik.zip";
  EXPECT_THROW(StahnoutSoubor(server.Adresa() + "/balik.zip", cil), Chyba);
  EXPECT_FALSE(test::Existuje(cil));
  EXPECT_FALSE(test::Existuje(cil + ".part"));

  // Nobody listens on the port of a server that is gone.
  int port;
  {
    TestHttpServer docasny([](const PozadavekHttp&) { return OdpovedTestu{}; });
    port = docasny.Port();
  }
  try {
    StahnoutSoubor("http://127.0.0.1:" + std::to_string(port) + "/x", cil);
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Cislo(), static_cast<std::int32_t>(0x80072EFDu));
    EXPECT_NE(c.Popis().find("Nelze se připojit k serveru."), std::string::npos);
  }
  EXPECT_FALSE(test::Existuje(cil));
}

}  // namespace
}  // namespace zevlon
