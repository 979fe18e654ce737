#include "driver/stahovani.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "common/chyba.h"
#include "driver/stav.h"
#include "support/archivy.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/http_server.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::OdpovedTestu;
using test::PozadavekHttp;
using test::Sandbox;
using test::TestHttpServer;

class BalikTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = s_ / "Zevlon";
    AktualniPolozka.clear();
    slozka_ = s_.Vytvorit("tmp") + "/";
  }
  void TearDown() override { AktualniPolozka.clear(); }

  // An archive's bytes, made by zip.
  std::string Archiv(const std::string& jmeno, const std::string& obsah) {
    test::VytvoritZip(s_ / "archiv.zip", {{jmeno, obsah}});
    return s_.Cist("archiv.zip");
  }

  Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  std::string slozka_;
};

TEST_F(BalikTest, PackageIsDownloadedUnpackedAndItsArchiveRemoved) {
  std::string zip = Archiv("Setup.exe", "program");
  TestHttpServer server([&](const PozadavekHttp&) { return test::Telo(zip); });
  s_.Zapsat("tmp/Setup.exe", "stary");  // a stale target never counts as unpacked
  StahnoutARozbalit(server.Adresa() + "/Setup/Setup.exe.zip", slozka_, "Setup.exe", "");
  EXPECT_EQ(s_.Cist("tmp/Setup.exe"), "program");
  EXPECT_FALSE(test::Existuje(slozka_ + "Setup.exe.zip"));
  EXPECT_EQ(server.Pozadavky().size(), 1u);
  EXPECT_EQ(AktualniPolozka, "");
}

TEST_F(BalikTest, DownloadThatIsNoArchiveIsFetchedExactlyTwice) {
  TestHttpServer server([](const PozadavekHttp&) { return test::Telo("<html>chyba</html>"); });
  const std::string url = server.Adresa() + "/a.dll.zip";
  try {
    StahnoutARozbalit(url, slozka_, "a.dll", "");
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Popis(), "Nepodařilo se stáhnout soubor " + slozka_ + "a.dll.zip");
  }
  EXPECT_EQ(server.Pozadavky().size(), 2u);
  EXPECT_EQ(AktualniPolozka, url + "->" + slozka_ + "a.dll.zip");

  try {
    StahnoutARozbalit(url, slozka_, "a.dll", "Vlastní zpráva.");
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Popis(), "Vlastní zpráva.");
  }
}

TEST_F(BalikTest, ArchiveHoldingAnotherNameFailsAfterTwoFullPasses) {
  std::string zip = Archiv("jiny.txt", "x");
  TestHttpServer server([&](const PozadavekHttp&) { return test::Telo(zip); });
  try {
    StahnoutARozbalit(server.Adresa() + "/a.dll.zip", slozka_, "a.dll", "");
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Popis(), "Nepodařilo se dekomprimovat soubor (" + slozka_ + "a.dll.zip).");
  }
  EXPECT_EQ(server.Pozadavky().size(), 2u);
  EXPECT_EQ(AktualniPolozka, slozka_ + "a.dll.zip");
}

TEST_F(BalikTest, AtMostFourDownloadsWhenBothStagesFailOnce) {
  std::string zip = Archiv("jiny.txt", "x");
  std::atomic<int> n{0};
  TestHttpServer server([&](const PozadavekHttp&) {
    // Every other answer is an error page instead of the archive.
    return test::Telo((n++ % 2 == 0) ? std::string("chyba") : zip);
  });
  EXPECT_THROW(StahnoutARozbalit(server.Adresa() + "/a.zip", slozka_, "a", ""), Chyba);
  EXPECT_EQ(server.Pozadavky().size(), 4u);
}

TEST_F(BalikTest, TruncatedArchiveNeverLeavesAFileUnderTheTargetsName) {
  std::string zip = Archiv("velky.dll", std::string(200000, 'v'));
  TestHttpServer server(
      [&](const PozadavekHttp&) { return test::Telo(zip.substr(0, zip.size() / 2)); });
  try {
    StahnoutARozbalit(server.Adresa() + "/velky.dll.zip", slozka_, "velky.dll", "");
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Popis(), "Nepodařilo se dekomprimovat soubor (" + slozka_ + "velky.dll.zip).");
  }
  EXPECT_FALSE(test::Existuje(slozka_ + "velky.dll"));
  for (const auto& e : std::filesystem::directory_iterator(slozka_))
    EXPECT_EQ(e.path().filename().string().find("velky.dll.zip"), std::string::npos) << e.path();
}

TEST_F(BalikTest, HttpFailureRaisesItsOwnText) {
  TestHttpServer server([](const PozadavekHttp&) { return test::Stav(404, "Not Found", "nic"); });
  try {
    StahnoutARozbalit(server.Adresa() + "/a.zip", slozka_, "a", "");
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Popis(), "http error: 404 Not Found");
  }
}

TEST(JeZip, SignatureIgnoresLetterCase) {
  Sandbox s;
  EXPECT_TRUE(JeZip(s.Zapsat("a", "PK\x03\x04")));
  EXPECT_TRUE(JeZip(s.Zapsat("b", "pk")));
  EXPECT_FALSE(JeZip(s.Zapsat("c", "P")));
  EXPECT_FALSE(JeZip(s.Zapsat("d", "")));
  EXPECT_FALSE(JeZip(s.Zapsat("e", "<html>")));
  EXPECT_FALSE(JeZip(s / "chybi"));
}

TEST(RozbalitPresShell, CopiesTheNamedEntryOrNothing) {
  Sandbox s;
  std::string slozka = s.Vytvorit("t") + "/";
  test::VytvoritZip(slozka + "Data.CFG.zip", {{"data.cfg", "obsah"}, {"jiny", "y"}});
  RozbalitPresShell(slozka, "Data.CFG");
  EXPECT_EQ(s.Cist("t/Data.CFG"), "obsah");
  RozbalitPresShell(slozka, "chybi");
  EXPECT_FALSE(test::Existuje(slozka + "chybi"));
  RozbalitPresShell(slozka, "neni_archiv");
  EXPECT_FALSE(test::Existuje(slozka + "neni_archiv"));
}

TEST(Pockat, WaitsTheGivenTimeLettingEventsRun) {
  test::FalesnaPlatforma p;
  test::FalesneUi ui;
  auto zacatek = p.monotonni;
  Pockat(4);
  EXPECT_GE(p.monotonni - zacatek, std::chrono::seconds(4));
  EXPECT_LT(p.monotonni - zacatek, std::chrono::milliseconds(4100));
  EXPECT_GT(ui.udalosti, 100);
}

}  // namespace
}  // namespace zevlon
