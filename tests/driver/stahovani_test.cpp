#include "driver/stahovani.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "installers/pomoc_operaci.h"
#include "support/archivy.h"
#include "support/falesna_platforma.h"
#include "support/http_server.h"

namespace zevlon {
namespace {

using test::PozadavekHttp;

// Each package name stands for one way the site answers: a package holding the named
// file, an error page, a package holding another name, both of those in turn, a
// package cut in half.
TEST(StahnoutARozbalit, PackagesAreUnpackedOrFailAfterAtMostFourDownloadsLeavingNoTarget) {
  test::Sandbox s;
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
    if (p.cesta == "/d.zip") return test::Telo(n++ % 2 == 0 ? std::string("chyba") : jiny);
    return test::Telo(velky.substr(0, velky.size() / 2));
  });
  s.Zapsat("tmp/Setup.exe", "stary");  // a stale target never counts as unpacked
  const std::string url = server.Adresa() + "/",
                    dekomprimovat = "Nepodařilo se dekomprimovat soubor (" + slozka;
  const struct {
    std::string jmeno, cesta, popis;  // no description: no error
    long stazeni;
    std::string polozka, zbyva;  // files that begin with the name, joined by ","
  } kPripady[] = {
      {"Setup.exe", "Setup.exe.zip", "", 1, "", "Setup.exe"},
      {"a.dll", "html/a.dll.zip", "Nepodařilo se stáhnout soubor " + slozka + "a.dll.zip", 2,
       url + "html/a.dll.zip->" + slozka + "a.dll.zip", "a.dll.zip"},
      {"c.dll", "c.dll.zip", dekomprimovat + "c.dll.zip).", 2, slozka + "c.dll.zip", ""},
      {"d", "d.zip", dekomprimovat + "d.zip).", 4, slozka + "d.zip", ""},
      {"velky.dll", "velky.dll.zip", dekomprimovat + "velky.dll.zip).", 2, slozka + "velky.dll.zip",
       ""},
  };
  for (const auto& p : kPripady) {
    SCOPED_TRACE(p.jmeno);
    std::string popis;
    try {
      StahnoutARozbalit(url + p.cesta, slozka, p.jmeno, "");
    } catch (const Chyba& c) {
      popis = c.Popis();
    }
    EXPECT_EQ(popis, p.popis);
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

}  // namespace
}  // namespace zevlon
