// The rebuild of an application folder from its update server, and the release check
// of an add-on's own release information, both on loopback.
#include "aplikace/aktualizace_aplikace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>

#include "aplikace/najit_server.h"
#include "aplikace/seznam_delt.h"
#include "prenos/delty/zstd_delta.h"
#include "prenos/podpisy/sha256.h"
#include "soubory/pomoc_operaci.h"
#include "support/archivy.h"
#include "support/falesna_platforma.h"
#include "support/http_server.h"
#include "tools/publikace/publikace.h"

namespace fs = std::filesystem;

namespace zevlon {
namespace {

constexpr time_t kVydani = 1419940800;  // 2014-12-30 12:00 UTC

class Aplikace : public ::testing::Test {
 protected:
  void SetUp() override { platforma_.temp = s_.Vytvorit("temp"); }
  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  std::string informace_;
  test::TestHttpServer server_{[this](const test::PozadavekHttp& p) {
    return p.cesta.starts_with("/info") ? test::Telo(informace_)
                                        : test::TestHttpServer::SlozkaSouboru(s_ / "web")(p);
  }};
};

// The files fetched from the site since the last look, snapshots left out, sorted.
std::vector<std::string> Stazene(const test::TestHttpServer& server, std::size_t& videno) {
  std::vector<std::string> stazene;
  const auto p = server.Pozadavky();
  for (; videno < p.size(); ++videno)
    if (p[videno].cesta.find("master.snapshot") == std::string::npos)
      stazene.push_back(p[videno].cesta);
  std::sort(stazene.begin(), stazene.end());
  return stazene;
}

// Unchanged files are copied and the rest downloaded. Where the snapshot lists a file's
// SHA-256 the bytes decide whatever the times, and a copy takes the line's time; a line
// without one decides by the size and a time less than 30 seconds apart.
TEST_F(Aplikace, UnchangedFilesAreCopiedByTheirBytesOrWithoutAChecksumByTheirSizeAndTime) {
  for (auto [cesta, obsah] : {std::pair{"program.exe", "program"},
                              {"sub/Data Účtů.cfg", "data"},
                              {"beze/zmeny.txt", "x"},
                              {"pozdni.txt", "y"},
                              {"vetsi.txt", "abc"},
                              {"jiny.txt", "q"}})
    test::NastavitCas(s_.Zapsat(std::string("app/") + cesta, obsah), kVydani, 0);
  publikace::PublikovatSlozku(s_ / "app/", s_ / "web/app/");
  test::NastavitCas(s_.Zapsat("stara/PROGRAM.EXE", "program"), kVydani - 10, 0);  // case only
  test::NastavitCas(s_.Zapsat("stara/beze/zmeny.txt", "x"), kVydani + 29, 0);
  test::NastavitCas(s_.Zapsat("stara/pozdni.txt", "y"), kVydani + 3600, 0);
  test::NastavitCas(s_.Zapsat("stara/vetsi.txt", "abcd"), kVydani, 0);  // another size
  test::NastavitCas(s_.Zapsat("stara/jiny.txt", "r"), kVydani, 0);      // other bytes only
  s_.Zapsat("stara/nezname.txt", "server nezná");

  AktualizaceAplikace(s_ / "temp/", server_.Adresa() + "/app/", s_ / "stara/", s_ / "nova/", {});
  EXPECT_EQ(test::CistStrom(s_ / "nova"), test::CistStrom(s_ / "app"));
  std::size_t videno = 0;
  EXPECT_EQ(
      Stazene(server_, videno),
      (std::vector<std::string>{"/app/jiny.txt.zip", "/app/sub/Data%20%C3%9A%C4%8Dt%C5%AF.cfg.zip",
                                "/app/vetsi.txt.zip"}));
  for (const char* cesta : {"nova/sub/Data Účtů.cfg", "nova/pozdni.txt", "nova/program.exe"})
    EXPECT_EQ(test::Stav(s_ / cesta).st_mtime, kVydani) << cesta;

  // A snapshot without checksums, as an older publisher wrote it.
  const std::string snapshot =
      "program.exe\t2014-12-30 12:00:00\t7\t\r\nbeze\\zmeny.txt\t2014-12-30 12:00:00\t1\t\r\n"
      "pozdni.txt\t2014-12-30 12:00:00\t1\t\r\njiny.txt\t2014-12-30 12:00:00\t1\t\r\n";
  test::VytvoritZip(s_ / "web/app/master.snapshot.zip", {{"master.snapshot", snapshot}});
  AktualizaceAplikace(s_ / "temp/", server_.Adresa() + "/app/", s_ / "stara/", s_ / "nova2/", {});
  EXPECT_EQ(Stazene(server_, videno), std::vector<std::string>{"/app/pozdni.txt.zip"});
  EXPECT_EQ(s_.Cist("nova2/jiny.txt"), "r");  // what size and time cannot tell
}

// The checksums of the files a run placed are recorded where only the user writes, so that
// the next run reads no file that did not change; a file rewritten in place with its size
// and time set back is caught by its status-change time, and a damaged record is built
// anew. With ObnovaOdkazy=1 the unchanged files are links to the live ones.
TEST_F(Aplikace, TheChecksumRecordSparesReadingUnchangedFilesAndIsNeverTrustedBlindly) {
  platforma_.zaznamy = s_.Vytvorit("stav");
  platforma_.logy = s_.Vytvorit("logy");
  platforma_.voleb = s_.Vytvorit("volby");
  for (auto [cesta, obsah] : {std::pair{"a.txt", "aaaa"}, {"b.txt", "bbbb"}, {"c/d.txt", "dddd"}})
    for (const char* slozka : {"app/", "stara/"})
      test::NastavitCas(s_.Zapsat(slozka + std::string(cesta), obsah), kVydani, 0);
  publikace::PublikovatSlozku(s_ / "app/", s_ / "web/app/");
  std::size_t videno = 0, radku = 0;
  // One update and its swap; answers what it logged.
  auto obnovit = [&] {
    AktualizaceAplikace(s_ / "temp/", server_.Adresa() + "/app/", s_ / "stara/", s_ / "nova/", {});
    fs::remove_all(s_ / "stara_old");
    fs::rename(s_ / "stara", s_ / "stara_old");
    fs::rename(s_ / "nova", s_ / "stara");
    EXPECT_EQ(test::CistStrom(s_ / "stara"), test::CistStrom(s_ / "app"));
    const std::string log =
        test::Existuje(s_ / "logy/Zevlon.log") ? s_.Cist("logy/Zevlon.log") : "";
    const std::string nove = log.substr(radku);
    radku = log.size();
    return nove;
  };
  const std::string spocitano =
      "Kontrolní součty místních souborů složky " + (s_ / "stara") + " spočítány: souborů ";
  EXPECT_NE(obnovit().find(spocitano + "3, bajtů 12, za "), std::string::npos);
  EXPECT_EQ(obnovit(), "");
  EXPECT_TRUE(Stazene(server_, videno).empty());

  s_.Zapsat("stara/b.txt", "BBBB");
  test::NastavitCas(s_ / "stara/b.txt", kVydani, 0);
  EXPECT_NE(obnovit().find(spocitano + "1, bajtů 4, za "), std::string::npos);
  EXPECT_EQ(Stazene(server_, videno), std::vector<std::string>{"/app/b.txt.zip"});

  for (const auto& e : fs::directory_iterator(s_ / "stav")) {
    std::string zaznam = s_.Cist(e.path().lexically_relative(s_.Cesta()).string());
    zaznam[zaznam.size() / 2] ^= 1;
    s_.Zapsat(e.path().lexically_relative(s_.Cesta()).string(), zaznam);
  }
  const std::string log = obnovit();
  EXPECT_NE(log.find("byl poškozený, proto byl sestaven znovu"), std::string::npos) << log;
  EXPECT_NE(log.find(spocitano + "3, bajtů 12, za "), std::string::npos) << log;
  EXPECT_TRUE(Stazene(server_, videno).empty());

  // Links: each file of the new folder is the live one, and is recorded as such (the link
  // moved its status-change time), so that the next run reads nothing either.
  s_.Zapsat("volby/Zevlon.ini", "[Server]\r\nObnovaOdkazy=1\r\n");
  for (int beh = 0; beh < 2; ++beh) {
    EXPECT_EQ(obnovit(), "") << beh;
    for (const char* cesta : {"a.txt", "b.txt", "c/d.txt"}) {
      EXPECT_EQ(test::Stav(s_ / ("stara/" + std::string(cesta))).st_ino,
                test::Stav(s_ / ("stara_old/" + std::string(cesta))).st_ino);
      EXPECT_EQ(test::Stav(s_ / ("stara/" + std::string(cesta))).st_nlink, 2u);
    }
  }
  EXPECT_TRUE(Stazene(server_, videno).empty());
}

// A changed file comes as a delta against the installed bytes where the folder's list has
// one, and is rebuilt byte for byte. Every way a delta can fail (none for these bytes, a
// damaged frame, one that claims another size, a missing delta, a base over the bound, an
// altered list that leads elsewhere) costs one request more and one line in Zevlon.log,
// and the file comes whole. Delty=0, or a list that is not the one vouched for, fetch
// every file whole.
TEST_F(Aplikace, ChangedFilesComeAsDeltasAndEveryFailingDeltaFallsBackToTheWholeFile) {
  platforma_.logy = s_.Vytvorit("logy");
  platforma_.voleb = s_.Vytvorit("volby");
  std::mt19937 nahoda(7);
  const std::vector<std::string> jmena{"zaplatany.bin", "mistni.bin", "poskozeny.bin",
                                       "velikost.bin",  "chybi.bin",  "podvrzeny.bin",
                                       "velky.bin"};
  std::map<std::string, std::string> stary, novy;
  for (const std::string& j : jmena) {
    // Random bytes: the archive of a file is about its size, its delta a few dozen bytes.
    std::string obsah(40000, '\0');
    for (char& c : obsah)
      c = static_cast<char>(nahoda());
    stary[j] = obsah;
    novy[j] = obsah.replace(20000, 16, "nové vydání " + j.substr(0, 4));
    s_.Zapsat("v1/Setup/" + j, stary[j]);
    s_.Zapsat("v2/Setup/" + j, novy[j]);
    s_.Zapsat("stara/" + j, stary[j]);
  }
  s_.Zapsat("stara/mistni.bin", stary["mistni.bin"] + "místní změna");
  fs::resize_file(s_ / "stara/velky.bin", kMaxDelta + 1);
  for (const char* v : {"v1", "v2"}) {
    publikace::Zadani z;
    z.zdroj = s_ / v;
    z.cil = s_ / ("web/" + std::string(v));
    z.adresa = "http://x/";
    z.vydani = "20141231";
    if (v == std::string("v2")) z.predchozi = {s_ / "web/v1"};
    publikace::Publikovat(z);
  }
  // The list altered as an unsigned site may be: each delta as the case needs it.
  const std::string web = s_ / "web/v2/vydani/20141231/Setup/";
  std::vector<Delta> seznam;
  for (const std::string& j : jmena) {
    Delta d{j, Sha256(stary[j]), JmenoDelty(j, Sha256(stary[j])), 0, Sha256(novy[j])};
    std::string delta = test::CistSoubor(web + d.Soubor);
    if (j == "poskozeny.bin") delta[delta.size() / 2] ^= 0x55;
    if (j == "velikost.bin") delta = *VytvoritDeltu(stary[j], novy[j] + "!");
    if (j == "podvrzeny.bin") delta = *VytvoritDeltu(stary[j], novy["zaplatany.bin"]);
    test::ZapsatSoubor(web + d.Soubor, delta);
    d.Velikost = static_cast<std::int64_t>(delta.size());
    if (j == "chybi.bin") fs::remove(web + d.Soubor);
    seznam.push_back(d);
  }
  test::VytvoritZip(web + "master.delty.zip", {{"master.delty", ZapsatSeznamDelt(seznam)}});

  std::size_t videno = 0, logu = 0;
  auto obnovit = [&](const char* nova, const UvedeneDelty& delty) {
    AktualizaceAplikace(s_ / "temp/", server_.Adresa() + "/v2/vydani/20141231/Setup/",
                        s_ / "stara/", s_ / nova, {}, std::nullopt, nullptr, nullptr, delty);
    EXPECT_EQ(test::CistStrom(s_ / nova), test::CistStrom(s_ / "v2/Setup"));
    const std::string log = s_.Cist("logy/Zevlon.log");
    const std::string nove = log.substr(logu);
    logu = log.size();
    return nove;
  };
  const std::string log = obnovit("nova", {true, std::nullopt});
  std::vector<std::string> ocekavane{"/v2/vydani/20141231/Setup/master.delty.zip"};
  for (const std::string& j : jmena) {
    if (j != "mistni.bin" && j != "velky.bin")
      ocekavane.push_back("/v2/vydani/20141231/Setup/" + JmenoDelty(j, Sha256(stary[j])));
    if (j != "zaplatany.bin") ocekavane.push_back("/v2/vydani/20141231/Setup/" + j + ".zip");
    const std::string radek =
        "Rozdíl souboru " + server_.Adresa() + "/v2/vydani/20141231/Setup/" + j + " nelze";
    EXPECT_EQ(log.find(radek) != std::string::npos, j != "zaplatany.bin") << j << "\n" << log;
    EXPECT_EQ(log.find(radek), log.rfind(radek)) << log;
  }
  std::sort(ocekavane.begin(), ocekavane.end());
  EXPECT_EQ(Stazene(server_, videno), ocekavane);
  EXPECT_NE(log.find("velky.bin nelze použít (soubor je větší než 1 GiB)"), std::string::npos);
  EXPECT_NE(log.find("podvrzeny.bin nelze použít (výsledek nemá kontrolní součet"),
            std::string::npos);
  EXPECT_EQ(test::Stav(s_ / "nova/zaplatany.bin").st_mtime,
            test::Stav(s_ / "v2/Setup/zaplatany.bin").st_mtime);

  // Switched off, or a list other than the one vouched for: every file whole.
  std::vector<std::string> cele;
  for (const std::string& j : jmena)
    cele.push_back("/v2/vydani/20141231/Setup/" + j + ".zip");
  std::sort(cele.begin(), cele.end());
  s_.Zapsat("volby/Zevlon.ini", "[Server]\r\nDelty=0\r\n");
  EXPECT_EQ(obnovit("nova2", {true, std::nullopt}).find("ozdíl"), std::string::npos);
  EXPECT_EQ(Stazene(server_, videno), cele);
  s_.Zapsat("volby/Zevlon.ini", "");
  EXPECT_NE(obnovit("nova3", {true, std::string(64, '0')})
                .find("master.delty.zip nelze použít (nemá kontrolní součet"),
            std::string::npos);
  cele.insert(cele.begin() + 1,
              "/v2/vydani/20141231/Setup/master.delty.zip");  // after chybi.bin.zip
  EXPECT_EQ(Stazene(server_, videno), cele);
}

// An add-on's release information may ask for a suite release more than 190 days older
// than the target; equal releases are not compared.
TEST_F(Aplikace, RequiredSuiteReleaseMustBeMoreThan190DaysOlder) {
  s_.Zapsat(
      "setup/Upravy/Doplnky/X/a.manifest.xml",
      "<?xml version=\"1.0\"?><a><updateOnLine urlIni=\"" + server_.Adresa() + "/info/\"/></a>");
  auto najit = [&](const char* vyzaduje, const char* cil) {
    informace_ =
        std::string("[Upravy\\Doplnky\\X\\]\r\nUrl=http://x/\r\nReleaseMerko=") + vyzaduje + "\r\n";
    return NajitServerAplikace(s_ / "setup/", "Upravy/Doplnky/X/", cil).url;
  };
  EXPECT_EQ(najit("20140331", "20140331"), "http://x/");
  EXPECT_EQ(najit("20130920", "20140330"), "http://x/");  // 191 days
  EXPECT_THROW(najit("20150101", "20140330"), Chyba);
  EXPECT_EQ(test::ZachytitChybu([&] { najit("20130921", "20140330"); }).Popis(),  // 190 days
            "Nelze stáhnout aktualizace Merka, protože aplikace 'Upravy\\Doplnky\\X\\' vyžaduje "
            "Merko vydání 20130921. Zopakujte pokus o stažení později nebo se obraťte na "
            "dodavatele aplikace.");
}

// A server that answers each file's package first with junk has every file fetched
// twice: the packages of a snapshot bring in no more than twice its total size (with
// a small allowance per file), so the update ends long before its last file.
TEST_F(Aplikace, PackagesFetchedAgainAndAgainEndTheUpdateOnceTheSnapshotsBudgetIsSpent) {
  for (int i = 0; i < 40; ++i)
    s_.Zapsat("app/f" + std::to_string(i) + ".dll", "0123456789");
  publikace::PublikovatSlozku(s_ / "app/", s_ / "web/app/");
  std::mutex zamek;
  std::set<std::string> videne;
  test::TestHttpServer server([&](const test::PozadavekHttp& p) {
    std::lock_guard<std::mutex> z(zamek);
    if (p.cesta.find("master.snapshot") == std::string::npos && videne.insert(p.cesta).second)
      return test::Telo(std::string(60 << 10, 'j'));
    return test::TestHttpServer::SlozkaSouboru(s_ / "web")(p);
  });
  Chyba c = test::ZachytitChybu([&] {
    AktualizaceAplikace(s_ / "temp/", server.Adresa() + "/app/", s_ / "stara/", s_ / "nova/", {});
  });
  // 2 * 400 + 40 * 1024 + 1 MiB
  EXPECT_EQ(c.Popis(),
            "Server poslal víc dat, než odpovídá seznamu souborů aktualizace (povoleno 1090336 "
            "bajtů). Stahování bylo přerušeno.");
  EXPECT_GT(test::CistStrom(s_ / "nova").size(), 10u);
  EXPECT_LT(test::CistStrom(s_ / "nova").size(), 20u);
  AktualniPolozka.clear();
}

// Downloads go ahead of their turn, several at once, but what the user sees keeps the
// snapshot's order: files are reported and placed one by one, a failed download ahead is
// reported when its turn comes, and a failure or Storno leaves no download behind.
TEST_F(Aplikace, DownloadsGoAheadWhileReportsFailuresAndStornoKeepTheSnapshotsOrder) {
  char jmeno[16];
  for (int i = 0; i < 30; ++i) {
    std::snprintf(jmeno, sizeof jmeno, "f%02d.dll", i);
    s_.Zapsat(std::string("app/") + jmeno, std::string("obsah ") + jmeno);
  }
  publikace::PublikovatSlozku(s_ / "app/", s_ / "web/app/");
  test::TestHttpServer server([&](const test::PozadavekHttp& p) {
    if (p.cesta == "/app/f10.dll.zip") return test::Stav(404, "Nenalezeno");
    return test::TestHttpServer::SlozkaSouboru(s_ / "web")(p);
  });
  auto zbytky = [&] {
    std::vector<std::string> z;
    for (const std::string& c : test::Obsah(s_ / "temp"))
      if (c.find(".predstih/") != std::string::npos || c.ends_with(".part")) z.push_back(c);
    return z;
  };
  Chyba c = test::ZachytitChybu([&] {
    AktualizaceAplikace(s_ / "temp/", server.Adresa() + "/app/", s_ / "stara/", s_ / "nova/", {});
  });
  EXPECT_EQ(c.Popis(), "http error: 404 Nenalezeno");
  EXPECT_NE(AktualniPolozka.find("/app/f10.dll.zip->"), std::string::npos) << AktualniPolozka;
  AktualniPolozka.clear();
  const std::string predpona = "Stahuje se nový soubor ";
  std::vector<std::string> hlasene;
  for (const auto& h : ui_.hlaseni)
    if (h.zprava.starts_with(predpona)) hlasene.push_back(h.zprava.substr(predpona.size()));
  ASSERT_EQ(hlasene.size(), 11u);
  for (int i = 0; i <= 10; ++i) {
    std::snprintf(jmeno, sizeof jmeno, "f%02d.dll", i);
    EXPECT_EQ(hlasene[static_cast<std::size_t>(i)], jmeno);
  }
  EXPECT_EQ(test::CistStrom(s_ / "nova").size(), 10u);
  // Files after the failed one had been asked for already.
  bool predem = false;
  for (const auto& p : server.Pozadavky())
    predem = predem || p.cesta == "/app/f11.dll.zip";
  EXPECT_TRUE(predem);
  EXPECT_EQ(zbytky(), std::vector<std::string>{});

  ui_.hlaseni.clear();
  ui_.stornoPoHlaseni = 6;
  EXPECT_TRUE(test::ZachytitChybu([&] {
                AktualizaceAplikace(s_ / "temp/", server.Adresa() + "/app/", s_ / "stara/",
                                    s_ / "nova2/", {});
              }).JeZruseni());
  AktualniPolozka.clear();
  EXPECT_EQ(zbytky(), std::vector<std::string>{});
}

}  // namespace
}  // namespace zevlon
