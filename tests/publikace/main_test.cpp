// zevlon-publikovat's command line: its help and relative paths.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <thread>

#include "common/text.h"
#include "soubory/pomoc_operaci.h"
#include "support/http_server.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"
#include "tools/publikace/preruseni.h"

namespace zevlon {
namespace {

namespace fs = std::filesystem;

// --help names every command (its options: the agreement test of the documents).
TEST(PublikovatPrikazy, HelpListsEveryCommandAndDescribesEachOption) {
  auto v = test::Spustit({ZEVLON_PUBLIKOVAT, "--help"});
  EXPECT_EQ(v.kod, 0) << v.vystup;
  for (const char* prikaz : {"vydat", "klic", "podepsat", "servirovat", "nahrat", "zrcadlit"})
    EXPECT_NE(v.vystup.find(std::string("  zevlon-publikovat ") + prikaz + " "), std::string::npos)
        << prikaz;
  for (const char* klienti : {"kteří je ještě nenainstalovali", "PovolitStarsi=1"})
    EXPECT_NE(v.vystup.find(klienti), std::string::npos) << klienti;
}

// Every mistake of the command line is named, with a short usage and exit status 64,
// before anything is written: an option the tool does not know, a missing one, an address
// that is no absolute http, https or ftp address, a release that is no release number, the
// site's release or an older one. A folder that is no release (a site, a copy of one, a
// Merko/ without its Merko.ini) and a release other than its Merko.ini names are refused
// too (exit 1). servirovat says why it cannot serve (a port that is no number from 0 to
// 65535 among it). --version answers.
TEST(PublikovatPrikazy, EveryMistakeOfTheCommandLineIsNamedBeforeAnythingIsWritten) {
  test::Sandbox s;
  s.Zapsat("vydani/Setup/Merko/Merko.exe", "merko");
  s.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20150101\r\n");
  s.Zapsat("starsi/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20141231\r\n");
  s.Zapsat("bezini/Setup/Merko/Merko.exe", "merko");
  s.Zapsat("kopie/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20150101\r\n");
  s.Zapsat("kopie/Upravy/Doplnky/F/master.snapshot.zip", "snímek");
  s.Vytvorit("prazdna");
  const std::string vydani = s / "vydani", web = s / "web";
  auto vydat = [&](const char* cislo, const char* adresa, const std::string& z = "vydani",
                   const std::string& w = "web") {
    return std::vector<std::string>{"vydat", "--vydani", cislo, "--adresa", adresa, s / z, s / w};
  };
  auto prvni = vydat("20150101", "http://x/");
  prvni.insert(prvni.begin(), ZEVLON_PUBLIKOVAT);
  ASSERT_EQ(test::Spustit(prvni).kod, 0);
  const std::string rada =
      " by klienti nepřevzali. Použijte --prepsat-vydani (stejné číslo) "
      "nebo --vratit-vydani (starší), víte-li proč.";
  struct Pripad {
    std::vector<std::string> a;
    int kod;
    std::string zprava;
  };
  std::vector<Pripad> pripady{
      {{"--dry-run"}, 64, "Neznámá volba --dry-run."},
      {{"vydat", "--vydanii", "20150101", "--adresa", "http://x/", vydani, web},
       64,
       "Neznámá volba --vydanii."},
      {{"servirovat", "--potr", "80", web}, 64, "Neznámá volba --potr."},
      {{"klic", "--heslo", s / "k.key"}, 64, "Neznámá volba --heslo."},
      {{"vydat", "--adresa", "http://x/", vydani, web}, 64, "Chybí volba --vydani."},
      {{"vydat", "--vydani", "20150101", vydani, web}, 64, "Chybí volba --adresa."},
      {vydat("20150101", "127.0.0.1/a/"), 64,
       "Adresa „127.0.0.1/a/“ není absolutní adresa http, https ani ftp."},
      {vydat("20150101", "/aktualizace/"), 64, "není absolutní adresa"},
      {vydat("2015-03-15", "http://x/"), 64, "Vydání „2015-03-15“ není číslo vydání"},
      {vydat("20150132", "http://x/"), 64, "není číslo vydání"},
      {{"vydat", "--vydani", "20150102", "--adresa", "http://x/", "--ponechat", "1", vydani, web},
       64,
       "Počet „1“ u --ponechat není celé číslo od 2 do 999999 (předchozí vydání může ještě "
       "číst klient uprostřed běhu)."},
      {vydat("20150102", "http://x/"), 1,
       "Vydání 20150102 nesouhlasí s vydáním 20150101 v souboru"},
      {vydat("20150101", "http://x/"), 64, "Web již má vydání 20150101; vydání 20150101" + rada},
      {vydat("20141231", "http://x/", "starsi"), 64, "vydání 20150101; vydání 20141231" + rada},
      {vydat("20150102", "http://x/", "web", "novy"), 1,
       "Složka vydání " + web + "/ obsahuje download.ini"},
      {vydat("20150102", "http://x/", "kopie", "novy"), 1,
       "obsahuje Upravy/Doplnky/F/master.snapshot.zip"},
      {vydat("20150102", "http://x/", "bezini", "novy"), 1,
       "chybí " + s / "bezini/Setup/Merko/Merko.ini" + " s vydáním 20150102"},
      {{"servirovat", "--port", "0", s / "neni"}, 1, "Složka " + s / "neni" + " neexistuje."},
  };
  for (const char* port : {"abc", "65536", "-1", "80x", ""})
    pripady.push_back({{"servirovat", "--port", port, web},
                       64,
                       std::string("Port „") + port + "“ není číslo od 0 do 65535."});
  const test::Strom predtim = test::CistStrom(s.Cesta());
  for (const auto& p : pripady) {
    std::vector<std::string> a{ZEVLON_PUBLIKOVAT};
    a.insert(a.end(), p.a.begin(), p.a.end());
    auto v = test::Spustit(a);
    EXPECT_EQ(v.kod, p.kod) << p.a[0] << " " << p.a[1] << "\n" << v.vystup;
    EXPECT_NE(v.vystup.find(p.zprava), std::string::npos) << v.vystup;
    EXPECT_EQ(v.vystup.find("Použití:") != std::string::npos, p.kod == 64) << v.vystup;
    EXPECT_LT(v.vystup.size(), 1500u) << "a short usage";
    EXPECT_EQ(test::CistStrom(s.Cesta()), predtim);
  }
  auto verze = test::Spustit({ZEVLON_PUBLIKOVAT, "--version"});
  EXPECT_EQ(verze.kod, 0);
  EXPECT_EQ(verze.vystup, std::string("zevlon-publikovat ") + ZEVLON_VERZE + "\n");

  // A port in use is named with the reason.
  test::TestHttpServer obsazeny([](const test::PozadavekHttp&) { return test::Stav(200, "OK"); });
  const std::string port = std::to_string(obsazeny.Port());
  auto v = test::Spustit({ZEVLON_PUBLIKOVAT, "servirovat", "--port", port, s / "prazdna"});
  EXPECT_EQ(v.kod, 1);
  EXPECT_NE(v.vystup.find("Na portu " + port + " nelze naslouchat: "), std::string::npos)
      << v.vystup;
}

// Relative paths are taken from the folder the tool was started in.
TEST(PublikovatPrikazy, RelativePathsWork) {
  test::Sandbox s;
  s.Zapsat("vydani/Setup/Merko/Merko.exe", "merko");
  s.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20150101\r\n");
  s.Zapsat("Zevlon", "aktualizátor");
  s.Vytvorit("klice");
  auto V = [&](std::vector<std::string> a) {
    a.insert(a.begin(), {"/usr/bin/env", "-C", s.Cesta(), ZEVLON_PUBLIKOVAT});
    return test::Spustit(a);
  };
  auto klic = V({"klic", "--bez-hesla", "klice/k.key"});
  EXPECT_EQ(klic.kod, 0) << klic.vystup;
  auto vydani = V({"vydat", "--vydani", "20150101", "--adresa", "http://127.0.0.1/a/", "--zevlon",
                   "Zevlon", "--klic", "klice/k.key", "vydani", "web"});
  EXPECT_EQ(vydani.kod, 0) << vydani.vystup;
  EXPECT_NE(vydani.vystup.find(": 1 složka, 2 soubory."), std::string::npos) << vydani.vystup;
  for (const char* soubor :
       {"vydani/20150101/Setup/master.snapshot.zip", "vydani/20150101/Setup/Merko/Merko.exe.zip",
        "vydani/20150101/SetupCommon/Zevlon.zip", "download.ini.minisig"})
    EXPECT_TRUE(test::Existuje(s / "web/" + soubor)) << soubor;
  // The site replaced is what the deltas are made against, unless --bez-delt.
  for (auto [cislo, volba, souhrn] :
       {std::tuple{"20150102", "--prepsat-vydani", "2 rozdíly proti vydání 20150101."},
        {"20150103", "--bez-delt", "bez rozdílů (--bez-delt)."}}) {
    s.Zapsat("vydani/Setup/Merko/Merko.exe", std::string("merko ") + cislo);
    s.Zapsat("vydani/Setup/Merko/Merko.ini", std::string("[Merko]\r\nRelease=") + cislo + "\r\n");
    auto v = V({"vydat", "--vydani", cislo, "--adresa", "http://x/", volba, "vydani", "web"});
    EXPECT_NE(v.vystup.find(std::string(": 1 složka, 2 soubory, ") + souhrn + "\n"),
              std::string::npos)
        << v.vystup;
    EXPECT_EQ(test::Existuje(s / ("web/vydani/" + std::string(cislo) + "/Setup/master.delty.zip")),
              std::string(volba) != "--bez-delt");
  }
  auto podpis = V({"podepsat", "--klic", "klice/k.key", "vydani/Setup/Merko/Merko.exe"});
  EXPECT_EQ(podpis.kod, 0) << podpis.vystup;
  auto overeni = test::Spustit({"/usr/bin/minisign", "-V", "-p", s / "klice/k.key.pub", "-m",
                                s / "vydani/Setup/Merko/Merko.exe"});
  EXPECT_EQ(overeni.kod, 0) << overeni.vystup;
}

// The switch as its system calls show it: the release folder renamed into place and vydani/
// flushed, then download.ini renamed and the site folder flushed, then the signature so;
// should the signature fail, the download.ini before it is back.
TEST(PublikovatPrikazy, VydatSwitchesTheFolderThenDownloadIniThenItsSignatureEachOnTheDisk) {
  if (!test::Existuje("/usr/bin/strace")) GTEST_SKIP() << "strace chybí";
  test::Sandbox s;
  s.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20150101\r\n");
  ASSERT_EQ(test::Spustit({ZEVLON_PUBLIKOVAT, "klic", "--bez-hesla", s / "k.key"}).kod, 0);
  std::vector<std::string> a = Rozdelit("/usr/bin/strace -f -qq -y -s 4096 -o", ' ');
  a.insert(a.end(), {s / "volani", "-e", "trace=fsync,rename,renameat,renameat2", ZEVLON_PUBLIKOVAT,
                     "vydat", "--vydani", "20150101", "--adresa", "http://x/", "--klic",
                     s / "k.key", s / "vydani", s / "web"});
  auto v = test::Spustit(a, {"ASAN_OPTIONS=detect_leaks=0"});  // no leak check under a tracer
  ASSERT_EQ(v.kod, 0) << v.vystup;
  std::string poradi;
  for (const std::string& r : Rozdelit(s.Cist("volani"), '\n'))
    for (auto [vzor, znak] : {std::pair{"/web/vydani/20150101\", RENAME_NOREPLACE)", 'S'},
                              {"/web/download.ini\")", 'I'},
                              {"/web/download.ini.minisig\")", 'P'},
                              {"/web/vydani>)", 'v'},
                              {"/web>)", 'w'}})
      if (r.find(vzor) != std::string::npos) poradi += znak;
  EXPECT_NE(poradi.find("SvIwPw"), std::string::npos) << poradi;
  // A signature that cannot take its place puts the download.ini before it back.
  const std::string ini = s.Cist("web/download.ini");
  fs::remove(s / "web/download.ini.minisig");
  s.Vytvorit("web/download.ini.minisig");
  s.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20150102\r\n");
  v = test::Spustit({ZEVLON_PUBLIKOVAT, "vydat", "--vydani", "20150102", "--adresa", "http://x/",
                     "--klic", s / "k.key", s / "vydani", s / "web"});
  EXPECT_EQ(v.kod, 1) << v.vystup;
  EXPECT_EQ(s.Cist("web/download.ini"), ini) << v.vystup;
}

// vydat replaces only a site it made itself, or an empty or missing folder: a site folder
// that is, holds or lies in the release folder, holds the key, or holds anything but a
// site is refused with a Czech message before anything is written, and nothing of the
// tool's is left behind.
TEST(PublikovatPrikazy, VydatReplacesOnlyASiteItMadeAndNeverTheReleaseOrTheKey) {
  test::Sandbox s;
  s.Zapsat("t/rel/Setup/Merko/Merko.exe", "merko");
  s.Zapsat("t/rel/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20150101\r\n");
  s.Zapsat("t/rel/Upravy/Doplnky/Fakt/f.dll", "fakturace");
  s.Zapsat("Zevlon", "aktualizátor");
  s.Zapsat("jine/poznamky.txt", "moje");
  auto V = [&](const std::string& kde, std::vector<std::string> a) {
    a.insert(a.begin(), {"/usr/bin/env", "-C", s / kde, ZEVLON_PUBLIKOVAT});
    return test::Spustit(a);
  };
  auto vydat = [&](const std::string& kde, const std::string& rel, const std::string& web) {
    return V(kde, {"vydat", "--vydani", "20150101", "--adresa", "http://127.0.0.1/a/", "--zevlon",
                   s / "Zevlon", "--klic", s / "t/k.key", "--prepsat-vydani", rel, web});
  };
  ASSERT_EQ(V("", {"klic", "--bez-hesla", "t/k.key"}).kod, 0);
  // Its own site, made and then replaced; its own site with a file laid in it is not.
  for (int i = 0; i < 2; ++i) {
    auto v = vydat("", "t/rel", "web");
    ASSERT_EQ(v.kod, 0) << v.vystup;
  }
  fs::copy(s / "web", s / "web2", fs::copy_options::recursive);
  s.Zapsat("web2/vydani/20150101/Setup/navic.txt", "cizí");
  const struct {
    const char *kde, *rel, *web, *chyba;
  } pripady[] = {
      {"", "t/rel", "t", "obsahuje"},
      {"t", "rel", ".", "obsahuje"},
      {"", "t/rel", "t/rel", "je složkou vydání"},
      {"", "t/rel", "t/rel/web", "leží v ní"},
      {"", "t/rel", "jine", "chybí download.ini"},
      {"", "t/rel", "web2", "obsahuje vydani/20150101/Setup/navic.txt"},
  };
  const test::Strom predtim = test::CistStrom(s.Cesta());
  for (const auto& p : pripady) {
    SCOPED_TRACE(std::string(p.rel) + " -> " + p.web);
    auto v = vydat(p.kde, p.rel, p.web);
    EXPECT_EQ(v.kod, 1) << v.vystup;
    EXPECT_NE(v.vystup.find("Chyba: "), std::string::npos) << v.vystup;
    EXPECT_NE(v.vystup.find(p.chyba), std::string::npos) << v.vystup;
    EXPECT_EQ(test::CistStrom(s.Cesta()), predtim);
  }
}

// Ctrl+C, SIGTERM or a kill at several points of vydat: the live site stays as it was; a
// stop (exit status 2) leaves nothing of the run's, beside the site or in the temp folder;
// what a kill leaves, the next run removes.
TEST(PublikovatPrikazy, AStoppedVydatLeavesTheLiveSiteAsItWasAndNothingOfItsOwn) {
  test::Sandbox s;
  s.Vytvorit("tmp");
  s.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20150101\r\n");
  for (int i = 0; i < 400; ++i)
    s.Zapsat("vydani/Setup/Merko/m" + std::to_string(i) + ".dll", std::string(20000 + i, 'a'));
  const std::vector<std::string> tmp{"TMPDIR=" + s / "tmp"},
      vydat{ZEVLON_PUBLIKOVAT,  "vydat",      "--vydani",   "20150101", "--adresa", "http://x/",
            "--prepsat-vydani", s / "vydani", s / "www/web"};
  ASSERT_EQ(test::Spustit(vydat, tmp).kod, 0);
  auto zivy = [&] {  // the site as served: without the runs' working folders
    test::Strom w = test::CistStrom(s / "www/web");
    std::erase_if(w, [](const auto& p) { return p.first.find("/.zevlon-vydat.") != p.first.npos; });
    return w;
  };
  const test::Strom web = zivy();
  auto pracovni = [&](const std::string& uvnitr) {  // the run's working folder holding that
    for (const auto& p : fs::directory_iterator(s / "www/web/vydani"))
      if (p.path().filename().string().starts_with(".zevlon-vydat.") &&
          fs::exists(p.path() / uvnitr))
        return p.path().string();
    return std::string();
  };
  for (auto [signal, uvnitr] : {std::pair{SIGINT, ""},
                                {SIGTERM, "Setup/Merko/m1.dll.zip"},
                                {SIGKILL, "Setup/Merko/m3.dll.zip"}}) {
    const pid_t pid = test::SpustitNaPozadi(vydat, tmp, STDERR_FILENO);
    std::string prace;
    for (int i = 0; i < 2000 && (prace = pracovni(uvnitr)).empty(); ++i)
      ::usleep(1000);
    ::kill(pid, signal);
    int stav = 0;
    ASSERT_EQ(::waitpid(pid, &stav, 0), pid);
    EXPECT_TRUE(!prace.empty() && zivy() == web) << signal;
    if (signal == SIGKILL) continue;
    EXPECT_TRUE(WIFEXITED(stav) && WEXITSTATUS(stav) == 2) << signal << " " << stav;
    EXPECT_TRUE(test::CistStrom(s / "tmp").empty() && pracovni("").empty()) << signal;
  }
  EXPECT_NE(pracovni(""), "");  // the killed run's, which the next run removes
  ASSERT_EQ(test::Spustit(vydat, tmp).kod, 0);
  EXPECT_TRUE(test::CistStrom(s / "tmp").empty() && pracovni("").empty());

  // A command that starts while another removes leftovers from the same temp folder gets a
  // working folder of its own all the same, which that removal leaves alone.
  std::atomic<bool> hotovo{false};
  std::thread uklid([&] {
    while (!hotovo)
      publikace::UklidititPozustatky(s / "tmp");
  });
  int chyb = 0;
  for (int i = 0; i < 2000; ++i) {
    const std::string prace = publikace::ZalozitPracovniSlozku(s / "tmp");
    chyb += prace.empty() || !test::Existuje(prace);
    publikace::Dokoncit(prace, true);
  }
  hotovo = true;
  uklid.join();
  EXPECT_EQ(chyb, 0);
}

}  // namespace
}  // namespace zevlon
