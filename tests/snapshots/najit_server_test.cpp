#include "snapshots/najit_server.h"

#include <gtest/gtest.h>

#include "common/chyba.h"
#include "driver/stav.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/http_server.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::PozadavekHttp;
using test::Sandbox;
using test::TestHttpServer;

class NajitServer : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.temp = s_.Vytvorit("temp");
    AktualniPolozka.clear();
  }
  void Manifest(const std::string& jmeno, const std::string& prvek) {
    s_.Zapsat("setup/Upravy/Doplnky/X/" + jmeno,
              "<?xml version=\"1.0\"?><kořen>" + prvek + "</kořen>");
  }
  void Informace(const std::string& url, const std::string& vyzaduje) {
    informace_ = "[Upravy\\Doplnky\\X\\]\r\nUrl=" + url + "\r\n" +
                 (vyzaduje.empty() ? "" : "ReleaseMerko=" + vyzaduje + "\r\n");
  }
  std::string Najit(const std::string& cil = "20140331") {
    return NajitServerAplikace(s_ / "setup/", "Upravy/Doplnky/X/", cil);
  }

  Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  std::string informace_;
  TestHttpServer server_{[this](const PozadavekHttp&) { return test::Telo(informace_); }};
};

TEST_F(NajitServer, NoManifestOrNoElementGivesNoAddressAndDownloadsNothing) {
  EXPECT_EQ(Najit(), "");
  Manifest("a.manifest.xml", "<UpdateOnLine server=\"ftp\"/>");          // the other element
  Manifest("b.manifest.xml", "<updateOnLine url=\"http://nedokonceny");  // does not parse
  EXPECT_EQ(Najit(), "");
  EXPECT_TRUE(server_.Pozadavky().empty());
}

TEST_F(NajitServer, UrlWinsAtOnceAndTheFirstUsefulManifestStopsTheSearch) {
  Manifest("a.manifest.xml", "<updateOnLine url=\"http://a/\" urlIni=\"http://ini/\"/>");
  EXPECT_EQ(Najit(), "http://a/");
  EXPECT_TRUE(server_.Pozadavky().empty());

  Manifest("a.manifest.xml", "<updateOnLine urlIni=\"" + server_.Adresa() + "/upravy/\"/>");
  Manifest("b.manifest.xml", "<updateOnLine url=\"http://b/\"/>");
  Informace("http://z-informaci/", "");
  EXPECT_EQ(Najit(), "http://z-informaci/");
  ASSERT_EQ(server_.Pozadavky().size(), 1u);
  EXPECT_EQ(server_.Pozadavky()[0].cesta.substr(0, 28), "/upravy/download.ini?id=2026");
  EXPECT_FALSE(test::Existuje(s_ / "temp/upravy_download.ini"));
  EXPECT_EQ(AktualniPolozka, "");
}

TEST_F(NajitServer, RequiredSuiteReleaseMustBeMoreThan190DaysOlder) {
  Manifest("a.manifest.xml", "<updateOnLine urlIni=\"" + server_.Adresa() + "/\"/>");
  Informace("http://x/", "20140331");
  EXPECT_EQ(Najit("20140331"), "http://x/");  // equal: no check
  Informace("http://x/", "20130601");
  EXPECT_EQ(Najit("20140331"), "http://x/");  // 303 days
  Informace("http://x/", "20130920");
  EXPECT_EQ(Najit("20140330"), "http://x/");  // 191 days
  for (const char* vyzaduje : {"20130921" /* 190 days */, "20140110", "20150101"}) {
    Informace("http://x/", vyzaduje);
    try {
      Najit("20140330");
      ADD_FAILURE() << vyzaduje;
    } catch (const Chyba& c) {
      EXPECT_EQ(c.Popis(), std::string("Nelze stáhnout aktualizace Merka, protože aplikace "
                                       "'Upravy\\Doplnky\\X\\' vyžaduje Merko vydání ") +
                               vyzaduje +
                               ". Zopakujte pokus o stažení později nebo se obraťte na "
                               "dodavatele aplikace.");
      EXPECT_EQ(AktualniPolozka, s_ / "temp/upravy_download.ini");
      EXPECT_TRUE(test::Existuje(s_ / "temp/upravy_download.ini"));
    }
  }
  Informace("", "20150101");  // no address: no check
  EXPECT_EQ(Najit("20140330"), "");
  Informace("http://x/", "2014");
  EXPECT_THROW(Najit("20140330"), Chyba);  // not a date
}

}  // namespace
}  // namespace zevlon
