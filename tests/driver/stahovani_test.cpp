#include "driver/stahovani.h"

#include <gtest/gtest.h>

#include <algorithm>
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

using test::PozadavekHttp;
using test::Sandbox;

// Each package name stands for one way the site answers: a package holding the named
// file, an error page, a package holding another name, both of those in turn, a
// package cut in half, a missing file.
TEST(StahnoutARozbalit, PackagesAreUnpackedOrFailAfterAtMostFourDownloadsLeavingNoTarget) {
  Sandbox s;
  test::FalesnaPlatforma platforma;
  platforma.program = s / "Zevlon";
  test::FalesneUi ui;
  const std::string slozka = s.Vytvorit("tmp") + "/";
  auto archiv = [&](const std::string& jmeno, const std::string& obsah) {
    test::VytvoritZip(s / "archiv.zip", {{jmeno, obsah}});
    return s.Cist("archiv.zip");
  };
  const std::string setup = archiv("Setup.exe", "program"), jiny = archiv("jiny.txt", "x");
  const std::string velky = archiv("velky.dll", std::string(200000, 'v'));
  std::atomic<int> n{0};
  test::TestHttpServer server([&](const PozadavekHttp& p) {
    if (p.cesta == "/Setup.exe.zip") return test::Telo(setup);
    if (p.cesta.starts_with("/html")) return test::Telo("<html>chyba</html>");
    if (p.cesta == "/c.dll.zip") return test::Telo(jiny);
    if (p.cesta == "/velky.dll.zip") return test::Telo(velky.substr(0, velky.size() / 2));
    if (p.cesta == "/d.zip") return test::Telo(n++ % 2 == 0 ? std::string("chyba") : jiny);
    return test::Stav(404, "Not Found", "nic");
  });
  s.Zapsat("tmp/Setup.exe", "stary");  // a stale target never counts as unpacked
  const std::string url = server.Adresa() + "/",
                    dekomprimovat = "Nepodařilo se dekomprimovat soubor (" + slozka;
  const struct {
    std::string jmeno, cesta, zprava, popis;  // no description: no error
    long stazeni;
    std::string polozka, zbyva;  // files that begin with the name, joined by ","
  } kPripady[] = {
      {"Setup.exe", "Setup.exe.zip", "", "", 1, "", "Setup.exe"},
      {"a.dll", "html/a.dll.zip", "", "Nepodařilo se stáhnout soubor " + slozka + "a.dll.zip", 2,
       url + "html/a.dll.zip->" + slozka + "a.dll.zip", "a.dll.zip"},
      {"b.dll", "html/b.dll.zip", "Vlastní zpráva.", "Vlastní zpráva.", 2,
       url + "html/b.dll.zip->" + slozka + "b.dll.zip", "b.dll.zip"},
      {"c.dll", "c.dll.zip", "", dekomprimovat + "c.dll.zip).", 2, slozka + "c.dll.zip", ""},
      {"d", "d.zip", "", dekomprimovat + "d.zip).", 4, slozka + "d.zip", ""},
      {"velky.dll", "velky.dll.zip", "", dekomprimovat + "velky.dll.zip).", 2,
       slozka + "velky.dll.zip", ""},
      {"e", "e.zip", "", "http error: 404 Not Found", 1, url + "e.zip->" + slozka + "e.zip", ""},
  };
  for (const auto& p : kPripady) {
    SCOPED_TRACE(p.jmeno);
    try {
      StahnoutARozbalit(url + p.cesta, slozka, p.jmeno, p.zprava);
      EXPECT_EQ(p.popis, "");
    } catch (const Chyba& c) {
      EXPECT_EQ(c.Popis(), p.popis);
    }
    auto dotazy = server.Pozadavky();
    EXPECT_EQ(std::count_if(dotazy.begin(), dotazy.end(),
                            [&](const PozadavekHttp& d) { return d.cesta == "/" + p.cesta; }),
              p.stazeni);
    EXPECT_EQ(AktualniPolozka, p.polozka);
    std::string zbyva;
    for (const auto& e : std::filesystem::directory_iterator(slozka))
      if (e.path().filename().string().starts_with(p.jmeno))
        zbyva += (zbyva.empty() ? "" : ",") + e.path().filename().string();
    EXPECT_EQ(zbyva, p.zbyva);
  }
  EXPECT_EQ(s.Cist("tmp/Setup.exe"), "program");
  AktualniPolozka.clear();
}

TEST(JeZipARozbaleni, SignatureIgnoresCaseAndTheShellCopiesTheNamedEntryOrNothing) {
  Sandbox s;
  for (std::string obsah : {"PK\x03\x04", "pk"})
    EXPECT_TRUE(JeZip(s.Zapsat("a", obsah))) << obsah;
  for (std::string obsah : {"P", "", "<html>"})
    EXPECT_FALSE(JeZip(s.Zapsat("a", obsah))) << obsah;
  EXPECT_FALSE(JeZip(s / "chybi"));

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
