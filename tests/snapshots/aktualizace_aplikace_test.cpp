// The rebuild of an application folder from its update server, and the lookup of an
// add-on's server through its manifests and release information, both on loopback.
#include "snapshots/aktualizace_aplikace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "common/chyba.h"
#include "driver/stav.h"
#include "installers/pomoc_operaci.h"
#include "snapshots/najit_server.h"
#include "support/falesna_platforma.h"
#include "support/http_server.h"
#include "tools/publikace/publikace.h"

namespace zevlon {
namespace {

using test::Existuje;
using test::ZachytitChybu;
using Cesty = std::vector<std::string>;

constexpr time_t kVydani = 1419940800;  // 2014-12-30 12:00 UTC

class AplikaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = s_ / "program/Zevlon";
    temp_ = s_.Vytvorit("temp") + "/";
  }
  // The server's folder: written, dated and published.
  void Server(const std::vector<std::pair<std::string, std::string>>& soubory,
              const std::string& slozka = "app") {
    s_.Vytvorit(slozka);
    for (auto& [cesta, obsah] : soubory)
      test::NastavitCas(s_.Zapsat(slozka + "/" + cesta, obsah), kVydani, 0);
    publikace::PublikovatSlozku(s_ / (slozka + "/"), s_ / ("web/" + slozka + "/"));
  }
  void Aktualizovat(const std::string& stara, const std::string& slozka = "app",
                    const Cesty& jen = {}) {
    AktualizaceAplikace(temp_, server_.Adresa() + "/" + slozka + "/", s_ / stara, s_ / "nova/",
                        jen);
  }
  // Files downloaded since the last look, without the snapshots.
  Cesty Stazene() {
    Cesty c;
    auto p = server_.Pozadavky();
    for (std::size_t i = videno_; i < p.size(); ++i)
      if (p[i].cesta.find("master.snapshot") == std::string::npos) c.push_back(p[i].cesta);
    videno_ = p.size();
    std::sort(c.begin(), c.end());
    return c;
  }

  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  test::TestHttpServer server_{test::TestHttpServer::SlozkaSouboru(s_ / "web")};
  std::string temp_;
  std::size_t videno_ = 0;
};

TEST_F(AplikaceTest, UnchangedFilesAreCopiedFromTheirRealNamesAndTheRestDownloaded) {
  Server({{"program.exe", "program"},
          {"sub/Data Účtů.cfg", "data"},
          {"beze/zmeny.txt", "x"},
          {"vetsi.txt", "abc"}});
  test::NastavitCas(s_.Zapsat("stara/PROGRAM.EXE", "program"), kVydani - 10, 0);  // case only
  test::NastavitCas(s_.Zapsat("stara/beze/zmeny.txt", "x"), kVydani + 29, 0);
  test::NastavitCas(s_.Zapsat("stara/vetsi.txt", "abcd"), kVydani, 0);  // another size
  s_.Zapsat("stara/nezname.txt", "server nezná");
  // Stale files of an earlier run are replaced.
  s_.Zapsat("temp/master.snapshot", "stary\tsnapshot");
  s_.Zapsat("temp/master.snapshot.zip", "stary zip");

  Aktualizovat("stara/");
  EXPECT_EQ(test::CistStrom(s_ / "nova"), (test::Strom{{"beze/zmeny.txt", "x"},
                                                       {"program.exe", "program"},
                                                       {"sub/Data Účtů.cfg", "data"},
                                                       {"vetsi.txt", "abc"}}));
  EXPECT_EQ(Stazene(),
            (Cesty{"/app/sub/Data%20%C3%9A%C4%8Dt%C5%AF.cfg.zip", "/app/vetsi.txt.zip"}));
  // Copies and downloads keep the server's times, so the next run copies everything.
  EXPECT_EQ(test::Stav(s_ / "nova/sub/Data Účtů.cfg").st_mtime, kVydani);
  EXPECT_EQ(AktualniPolozka, "");
  EXPECT_TRUE(Existuje(temp_ + "master.snapshot"));
  EXPECT_FALSE(Existuje(temp_ + "vetsi.txt"));
  auto hlaseno = [&](const std::string& z) {
    return std::any_of(ui_.hlaseni.begin(), ui_.hlaseni.end(),
                       [&](const auto& h) { return h.zprava == z; });
  };
  EXPECT_TRUE(hlaseno("Kopíruje se program.exe"));
  EXPECT_TRUE(hlaseno("Stahuje se nový soubor vetsi.txt"));
}

TEST_F(AplikaceTest, MissingOldFolderDownloadsEverythingAndAnEmptySnapshotBuildsNothing) {
  Server({{"a.txt", "a"}});
  Aktualizovat("neni/");
  EXPECT_EQ(s_.Cist("nova/a.txt"), "a");
  EXPECT_EQ(Stazene(), Cesty{"/app/a.txt.zip"});

  Server({}, "prazdna");
  std::filesystem::remove_all(s_ / "nova");
  Aktualizovat("neni/", "prazdna");
  EXPECT_FALSE(Existuje(s_ / "nova"));
  EXPECT_TRUE(Stazene().empty());
}

TEST_F(AplikaceTest, OnlyTheNamedFoldersOfTheOldCopyAreConsidered) {
  Server({{"Merko/app.exe", "nova"}, {"Setup.exe", "instalator"}});
  test::NastavitCas(s_.Zapsat("setup/Merko/app.exe", "nova"), kVydani, 0);
  s_.Zapsat("setup/Upravy/app.exe", "nova");
  Aktualizovat("setup/", "app", {s_ / "setup/Merko/"});
  EXPECT_EQ(Stazene(), Cesty{"/app/Setup.exe.zip"});
  EXPECT_FALSE(Existuje(s_ / "nova/Upravy"));
}

TEST_F(AplikaceTest, FailuresNameTheirSourceAndLeaveTheFileInTheReport) {
  Chyba c = ZachytitChybu([&] { Aktualizovat("stara/", "chybi"); });
  EXPECT_EQ(c.Popis(), "http error: 404 Not Found");
  EXPECT_EQ(c.Zdroj(), "mMain::AktualizaceAplikace");
  EXPECT_EQ(AktualniPolozka,
            server_.Adresa() + "/chybi/master.snapshot.zip->" + temp_ + "master.snapshot.zip");
  // A snapshot that is no archive at all gives the snapshot's own message.
  s_.Zapsat("web/spatny/master.snapshot.zip", "<html/>");
  EXPECT_EQ(ZachytitChybu([&] { Aktualizovat("stara/", "spatny"); }).Popis(),
            "Nepodařilo se stáhnout informace o aktualizaci z internetu.");
}

class NajitServer : public ::testing::Test {
 protected:
  void SetUp() override { platforma_.temp = s_.Vytvorit("temp"); }
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

  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  std::string informace_;
  test::TestHttpServer server_{
      [this](const test::PozadavekHttp&) { return test::Telo(informace_); }};
};

TEST_F(NajitServer, TheFirstManifestWithAnAddressDecidesAndUrlWinsAtOnce) {
  EXPECT_EQ(Najit(), "");
  Manifest("a.manifest.xml", "<UpdateOnLine server=\"ftp\"/>");          // the other element
  Manifest("b.manifest.xml", "<updateOnLine url=\"http://nedokonceny");  // does not parse
  EXPECT_EQ(Najit(), "");

  Manifest("a.manifest.xml", "<updateOnLine url=\"http://a/\" urlIni=\"http://ini/\"/>");
  EXPECT_EQ(Najit(), "http://a/");
  EXPECT_TRUE(server_.Pozadavky().empty());

  Manifest("a.manifest.xml", "<updateOnLine urlIni=\"" + server_.Adresa() + "/upravy/\"/>");
  Manifest("b.manifest.xml", "<updateOnLine url=\"http://b/\"/>");
  Informace("http://z-informaci/", "");
  EXPECT_EQ(Najit(), "http://z-informaci/");
  ASSERT_EQ(server_.Pozadavky().size(), 1u);
  EXPECT_EQ(server_.Pozadavky()[0].cesta.substr(0, 28), "/upravy/download.ini?id=2026");
  EXPECT_FALSE(Existuje(s_ / "temp/upravy_download.ini"));
  EXPECT_EQ(AktualniPolozka, "");
}

TEST_F(NajitServer, RequiredSuiteReleaseMustBeMoreThan190DaysOlder) {
  Manifest("a.manifest.xml", "<updateOnLine urlIni=\"" + server_.Adresa() + "/\"/>");
  // Equal releases are not compared; 303 and 191 days are enough.
  for (auto [vyzaduje, cil] : {std::pair{"20140331", "20140331"}, std::pair{"20130601", "20140331"},
                               std::pair{"20130920", "20140330"}}) {
    Informace("http://x/", vyzaduje);
    EXPECT_EQ(Najit(cil), "http://x/") << vyzaduje;
  }
  for (const char* vyzaduje : {"20130921" /* 190 days */, "20140110", "20150101"}) {
    Informace("http://x/", vyzaduje);
    EXPECT_EQ(ZachytitChybu([&] { Najit("20140330"); }).Popis(),
              std::string("Nelze stáhnout aktualizace Merka, protože aplikace "
                          "'Upravy\\Doplnky\\X\\' vyžaduje Merko vydání ") +
                  vyzaduje +
                  ". Zopakujte pokus o stažení později nebo se obraťte na dodavatele aplikace.");
    EXPECT_EQ(AktualniPolozka, s_ / "temp/upravy_download.ini");
    EXPECT_TRUE(Existuje(s_ / "temp/upravy_download.ini"));
  }
  Informace("", "20150101");  // no address: no check
  EXPECT_EQ(Najit("20140330"), "");
  Informace("http://x/", "2014");
  EXPECT_THROW(Najit("20140330"), Chyba);  // not a date
}

}  // namespace
}  // namespace zevlon
