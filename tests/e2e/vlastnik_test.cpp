// The real Zevlon as root renewing a profile through its owner's process, as the owner
// would attack it: a stopped owner's process neither holds root's run nor its lock, and
// that process is handed only what its run uses, root's proxy never in its environment.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "beh/metriky.h"
#include "e2e/pripravka.h"
#include "platform/soubory/soubor.h"
#include "support/http_server.h"
#include "support/neprivilegovany.h"

namespace zevlon {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Hodiny = std::chrono::steady_clock;

class ProcesVlastnika : public test::CelyBeh {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "only a run as root hands a profile to its owner";
    CelyBeh::SetUp();
    u_ = *test::VlastnikProfilu();
    ::chmod(s_.Cesta().c_str(), 0755);
    test::PredatVlastnikovi(u_, profil_);
  }
  std::vector<pid_t> ProcesyVlastnika() {
    return test::ProcesyProgramu(s_ / "program/Zevlon", u_.uid);
  }

  test::UzivatelSDomovem u_;
};

// A profile that another user can write is renewed by a process of its owner: what it
// makes is that user's, and root's logs carry its lines and its outcome. Mixes of owners
// and an owner without a home folder are refused before anything is built.
TEST_F(ProcesVlastnika, RenewsAnotherUsersProfileAndRootKeepsTheLogs) {
  const test::UzivatelSDomovem& u = u_;
  // The check hands the dry run to the owner's process as the run hands the update.
  const auto predtim = ZiveSlozky();
  auto v = test::Spustit({s_ / "program/Zevlon", "--kontrola"}, Prostredi());
  EXPECT_EQ(v.kod, 0) << v.vystup;
  for (const std::string& t : {"aktualizuje proces vlastníka, uživatele " + u.jmeno + "\n",
                               std::string("Nainstalované vydání: 20140301\n"),
                               std::string("celkem 3 složky: zkopírovat 1 soubor, stáhnout 4 "
                                           "soubory")})
    EXPECT_NE(v.vystup.find(t), std::string::npos) << t << "\n" << v.vystup;
  EXPECT_EQ(ZiveSlozky(), predtim);
  EXPECT_EQ(test::LogProgramu(s_, "Zevlon.log"), "");
  v = Spustit();
  ASSERT_EQ(v.kod, 0) << v.vystup << Chyby();
  Obnoveno();
  for (const auto& e : fs::recursive_directory_iterator(profil_))
    EXPECT_EQ(test::Stav(e.path()).st_uid, u.uid) << e.path();
  const std::string log = test::LogProgramu(s_, "Zevlon.log");
  // Said by the owner's process, and marked so.
  EXPECT_NE(log.find("\t[uživatel " + u.jmeno + "] Vydání z aktualizačního webu nejsou ověřována"),
            std::string::npos)
      << log;
  EXPECT_NE(s_.Cist("program/stav.json").find("\"pocty_od_uzivatele\": \"" + u.jmeno + "\","),
            std::string::npos);
  EXPECT_NE(
      log.find("Profil " + profil_ + " aktualizoval proces uživatele " + u.jmeno + ": bez chyby."),
      std::string::npos)
      << log;
  EXPECT_EQ(Chyby(), "");
  // Root's record holds what the owner's process renewed.
  for (const char* pole :
       {"\tbez obsluhy\t", "\tvydání 20140301 → 20141231\tobnoveno 3 složky\t",
        "\tsouborů zkopírováno 1, staženo 4, z rozdílů 0\t", "\taktualizováno\tnávratový kód 0"})
    EXPECT_NE(PosledniBeh().find(pole), std::string::npos) << pole << "\n" << log;
  // Going back is the owner's process's too: its records stay the owner's.
  v = test::Spustit({s_ / "program/Zevlon", "--vratit", "--ano"}, Prostredi());
  ASSERT_EQ(v.kod, 0) << v.vystup << Chyby();
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20140301");
  EXPECT_EQ(test::Stav(profil_ + "Setup/~aktualizace.posledni").st_uid, u.uid);
  EXPECT_NE(test::LogProgramu(s_, "Zevlon.log")
                .find("\t[uživatel " + u.jmeno + "] Profil " + profil_ +
                      " byl vrácen z vydání 20141231 na vydání 20140301."),
            std::string::npos);
  // And lifting the refusal of the release gone back from.
  const std::string odmitnuti = profil_ + "Setup/~aktualizace.odmitnute";
  ASSERT_TRUE(test::Existuje(odmitnuti));
  v = test::Spustit({s_ / "program/Zevlon", "--uvolnit"}, Prostredi());
  EXPECT_EQ(v.kod, 0) << v.vystup << Chyby();
  EXPECT_NE(v.vystup.find("Odmítnutí vydání 20141231 v profilu " + profil_ + " zrušeno"),
            std::string::npos)
      << v.vystup;
  EXPECT_FALSE(test::Existuje(odmitnuti));
  // So is the check after an update: a failing one takes the profile back.
  Instalace();
  test::PredatVlastnikovi(u, profil_);
  ::chmod(s_.Zapsat("kontroly/kontrola.sh", "#!/bin/sh\nid -u\nexit 1\n").c_str(), 0755);
  Volby("KontrolaPoAktualizaci=" + (s_ / "kontroly/kontrola.sh") + "\r\n");
  EXPECT_EQ(Spustit().kod, 1);
  EXPECT_NE(test::LogProgramu(s_, "Zevlon.log")
                .find("skončila s návratovým kódem 1 (" + std::to_string(u.uid) + ")"),
            std::string::npos);
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20140301");
  Volby();

  struct Pripad {
    const char* popis;
    std::function<void()> pripravit;
    std::string chyba;
  };
  const Pripad pripady[] = {
      {"a setup folder of another user in the owner's profile",
       [&] {
         s_.Zapsat("data/Firma/Setup14/Merko/Merko.ini", "[Merko]\r\nRelease=20140301\r\n");
         test::PredatVlastnikovi(u, profil_);
         test::PredatNeprivilegovanemu(profil_ + "Setup14");
       },
       "složka '" + profil_ + "Setup14' na cestě ke složce '" + profil_ + "Setup14/' patří "},
      {"root's profile with a setup folder of the owner's",
       [&] { test::PredatVlastnikovi(u, profil_ + "Setup"); },
       "složka '" + profil_ + "Setup' na cestě ke složce '" + profil_ + "Setup/' patří uživateli " +
           u.jmeno},
      {"a folder of another user deep in root's shared folder",
       [&] { test::PredatNeprivilegovanemu(profil_ + "SetupCommon/System"); },
       "složka '" + profil_ + "SetupCommon/System/' patří uživateli "},
      {"an owner without a home folder",
       [&] {
         for (const auto& e : fs::recursive_directory_iterator(profil_))
           test::PredatNeprivilegovanemu(e.path());
         test::PredatNeprivilegovanemu(profil_);
       },
       "který nemá vlastní domovskou složku"},
  };
  for (const Pripad& p : pripady) {
    SCOPED_TRACE(p.popis);
    Instalace();
    fs::remove(s_ / "program/online_errors.log");
    p.pripravit();
    const auto predtim = ZiveSlozky();
    v = Spustit();
    EXPECT_EQ(v.kod, 1) << v.vystup;
    EXPECT_NE(Chyby().find(p.chyba), std::string::npos) << Chyby();
    EXPECT_NE(PosledniBeh().find("\tchyba: "), std::string::npos) << PosledniBeh();
    Nezmeneno(predtim);
  }
}

// Two runs that reach one installation by different ways, each with its own run lock: the
// owner's own run and root's run handed to the owner. The later one waits for the folders
// the earlier one renews and then finds them current; nothing of either is taken for the
// other's leftovers, and the backups hold what was there before. Root's owner's process
// waits there in silence longer than root allows (LhutaTicha): its heartbeat keeps it.
TEST_F(ProcesVlastnika, RunsReachingOneInstallationByTwoWaysNeverBothChangeIt) {
  const test::UzivatelSDomovem& u = u_;
  std::atomic<bool> drzen{false}, pustit{false};
  std::atomic<int> stazeni{0};
  test::TestHttpServer drzici([&](const test::PozadavekHttp& p) {
    if (p.cesta.find("Merko.exe") != std::string::npos && stazeni++ == 0) {
      drzen = true;
      while (!pustit)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return test::TestHttpServer::SlozkaSouboru(s_ / "www")(p);
  });
  const std::string web = drzici.Adresa() + "/aktualizace-online/";
  test::Publikovat(s_, web, "20141231");
  test::ZapsatVolby(s_, web, profil_, "LhutaTicha=5\r\n");
  s_.Zapsat("data/Firma/Setup/Merko/licence.dat", "licence");
  test::PredatVlastnikovi(u, profil_);
  for (const char* slozka : {"temp-vlastnika", "stav-vlastnika"})
    test::PredatVlastnikovi(u, s_.Vytvorit(slozka));

  const int nic = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t jeho = test::SpustitNaPozadi(
      {"/usr/bin/setpriv", "--reuid=" + std::to_string(u.uid), "--regid=" + std::to_string(u.gid),
       "--clear-groups", "--", s_ / "program/Zevlon"},
      {"TEMP=" + (s_ / "temp-vlastnika"), "XDG_STATE_HOME=" + (s_ / "stav-vlastnika"),
       "DUNMOR_REGISTRY=" + (s_ / "registry.reg"), "HOME=" + u.domov},
      nic);
  ::close(nic);
  int stav = 0;
  while (!drzen && ::waitpid(jeho, &stav, WNOHANG) == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(drzen) << s_.Cist("stav-vlastnika/zevlon/online_errors.log");
  test::VysledekProcesu roota;
  std::thread b([&] { roota = Spustit(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(6000));
  pustit = true;
  ASSERT_EQ(::waitpid(jeho, &stav, 0), jeho);
  b.join();
  EXPECT_TRUE(WIFEXITED(stav) && WEXITSTATUS(stav) == 0)
      << s_.Cist("stav-vlastnika/zevlon/online_errors.log");
  EXPECT_EQ(roota.kod, 0) << roota.vystup << Chyby();
  EXPECT_EQ(stazeni, 1);
  Obnoveno();
  EXPECT_EQ(Profil("Setup/Merko_old/licence.dat"), "licence");
}

// The owner stops their process in the middle of a download. Root's run still ends: at
// its deadline (LhutaBehu), or at once when it is asked to stop, with its outcome; the
// stopped process is ended with it, and the next run takes the lock and updates.
TEST_F(ProcesVlastnika, AStoppedOwnersProcessHoldsNeitherRootsRunNorItsLock) {
  // The stopped process holds its owner's run lock for long: an owner of its own.
  u_ = *test::VlastnikProfilu("zevlon-zastaveny");
  std::atomic<bool> zacato{false};
  auto web = PomalyWeb(200ms, &zacato, "LhutaBehu=8\r\n");
  struct Pripad {
    bool sigterm;
    int kod;
    std::chrono::seconds lhuta;  // from the start, or from SIGTERM
  } const pripady[] = {{false, 1, 8s + 15s}, {true, 2, 15s}};
  for (const Pripad& p : pripady) {
    SCOPED_TRACE(p.sigterm ? "root is asked to stop" : "the run's deadline passes");
    Instalace();
    test::PredatVlastnikovi(u_, profil_);
    zacato = false;
    auto od = Hodiny::now();
    const int nic = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t root = test::SpustitNaPozadi({s_ / "program/Zevlon"}, Prostredi(), nic);
    ::close(nic);
    while (!zacato && Hodiny::now() - od < 30s)
      std::this_thread::sleep_for(20ms);
    const std::vector<pid_t> jeho = ProcesyVlastnika();
    ASSERT_FALSE(jeho.empty());
    // The owner stops their own process, as any user may.
    for (pid_t pid : jeho)
      ASSERT_EQ(test::Spustit({"/usr/bin/setpriv", "--reuid=" + std::to_string(u_.uid),
                               "--regid=" + std::to_string(u_.gid), "--clear-groups", "--",
                               "/bin/kill", "-STOP", std::to_string(pid)})
                    .kod,
                0);
    if (p.sigterm) {
      ::kill(root, SIGTERM);
      od = Hodiny::now();
    }
    int stav = 0;
    while (::waitpid(root, &stav, WNOHANG) == 0 && Hodiny::now() - od < p.lhuta)
      std::this_thread::sleep_for(50ms);
    if (Hodiny::now() - od >= p.lhuta) {
      for (pid_t pid : std::vector<pid_t>{root, jeho.front()})
        ::kill(pid, SIGKILL);
      ::waitpid(root, &stav, 0);
      FAIL() << "root's run still waits for the stopped process";
    }
    EXPECT_TRUE(WIFEXITED(stav) && WEXITSTATUS(stav) == p.kod) << stav << Chyby();
    EXPECT_TRUE(ProcesyVlastnika().empty());
    EXPECT_EQ(Chyby().find("LhutaBehu") != std::string::npos, !p.sigterm) << Chyby();
    fs::remove(s_ / "program/online_errors.log");
  }
  web_ = server_.Adresa() + "/aktualizace-online/";
  Volby();
  Publikovat("20141231");
  const auto v = Spustit();
  EXPECT_EQ(v.kod, 0) << v.vystup << Chyby();
  Obnoveno();
}

// Root's options hold keys of root's alone and root reaches the site through a proxy with
// a password: the owner's process gets only the keys its run reads, and the proxy as the
// options of its own transfers, so that nothing it starts inherits the password.
TEST_F(ProcesVlastnika, IsHandedOnlyTheKeysItsRunUsesAndRootsProxyNeverInItsEnvironment) {
  std::mutex zamek;
  std::vector<std::string> pres;  // the path and the Proxy-Authorization of each request
  std::string prostredi, volby, popisovace;
  test::TestHttpServer proxy(
      [&, soubory = test::TestHttpServer::SlozkaSouboru(s_ / "www")](test::PozadavekHttp p) {
        std::lock_guard<std::mutex> z(zamek);
        p.cesta.erase(0, p.cesta.find('/', std::string_view("http://").size()));
        pres.push_back(p.cesta + " " + p.hlavicky["proxy-authorization"]);
        // The owner's process waits for this file: what it was given is there to see.
        if (p.cesta.ends_with("/Merko.exe.zip"))
          for (pid_t pid : ProcesyVlastnika()) {
            const std::string proc = "/proc/" + std::to_string(pid);
            for (auto [soubor, kam] : {std::pair{"/environ", &prostredi}, {"/fd/4", &volby}})
              *kam += NacistSoubor(proc + soubor).value_or("");
            std::error_code ec;
            for (const auto& e : std::filesystem::directory_iterator(proc + "/fd", ec))
              popisovace += std::filesystem::read_symlink(e.path(), ec).string() + "\n";
          }
        return soubory(p);
      });
  const std::string heslo = "Heslo-Proxy-Roota",
                    adresa = "127.0.0.1:" + std::to_string(proxy.Port());
  // The proxy from root's environment, or from the options with the password in a file of
  // root's alone (and the environment's proxy, which they override, leading nowhere).
  ::chmod(s_.Zapsat("udaje", "spravce:" + heslo + "\n").c_str(), 0600);
  for (bool zVoleb : {false, true}) {
    SCOPED_TRACE(zVoleb ? "options" : "environment");
    Volby("NahodneZpozdeni=0\r\nBezOvereni=1\r\nLhutaBehu=3600\r\nLhutaTicha=600\r\n" +
          (zVoleb ? "Proxy=http://" + adresa + "\r\nProxyUdaje=" + (s_ / "udaje") + "\r\n" : ""));
    Instalace();
    test::PredatVlastnikovi(u_, profil_);
    pres.clear(), prostredi.clear(), volby.clear(), popisovace.clear();
    test::Cesty p = Prostredi();
    for (const char* promenna : {"http_proxy=", "https_proxy=", "HTTPS_PROXY=", "all_proxy="})
      p.push_back(promenna +
                  (zVoleb ? "http://127.0.0.1:9" : "http://spravce:" + heslo + "@" + adresa));
    p.insert(p.end(), {"no_proxy=", "NO_PROXY="});
    const std::size_t primo = server_.Pozadavky().size();
    const auto v = test::Spustit({s_ / "program/Zevlon"}, p);
    ASSERT_EQ(v.kod, 0) << v.vystup << Chyby();
    Obnoveno();
    // Every request, root's and the owner's, went through the proxy with its password.
    EXPECT_EQ(server_.Pozadavky().size(), primo);
    for (const char* soubor : {"/download.ini", "/Setup/Merko/Merko.exe.zip"})
      EXPECT_TRUE(std::any_of(pres.begin(), pres.end(), [&](const std::string& r) {
        return r.find(soubor) != std::string::npos &&
               r.ends_with(" Basic c3ByYXZjZTpIZXNsby1Qcm94eS1Sb290YQ==");  // spravce:Heslo-…
      })) << soubor;
    // Its environment holds neither the proxy nor its password; its options only its keys.
    EXPECT_NE(prostredi.find("HOME=" + u_.domov), std::string::npos) << prostredi;
    for (const std::string& nesmi : {heslo, std::string("proxy="), std::string("PROXY=")})
      EXPECT_EQ(prostredi.find(nesmi), std::string::npos) << nesmi << "\n" << prostredi;
    // Nor does what it keeps open, which whatever it starts would inherit.
    EXPECT_NE(popisovace.find("memfd:volby"), std::string::npos) << popisovace;
    EXPECT_EQ(popisovace.find("memfd:prenos"), std::string::npos) << popisovace;
    for (const std::string& musi : {"Adresa=\"" + web_ + "\"", std::string("LhutaBehu=\"3600\"")})
      EXPECT_NE(volby.find(musi), std::string::npos) << volby;
    for (const char* nesmi :
         {"NahodneZpozdeni", "BezOvereni", "LhutaTicha", "Nastaveni", "SlozkaDat", "ProxyUdaje"})
      EXPECT_EQ(volby.find(nesmi), std::string::npos) << nesmi << "\n" << volby;
    // Nor do the logs, the state or the metrics.
    for (const std::string& log :
         {Chyby(), test::LogProgramu(s_, "Zevlon.log"), v.vystup, s_.Cist("program/stav.json"),
          s_.Cist("program/" + JmenoSouboruMetrik(profil_))})
      EXPECT_EQ(log.find(heslo), std::string::npos) << log;
  }
}

// Root's run started by hand through sudo -E from another user's login carries that
// user's HOME and XDG_STATE_HOME: its records (the checksums of what it installed) still go
// where only root can change them, and only root can read them.
TEST_F(ProcesVlastnika, RootKeepsItsRecordsWhereOnlyRootWritesWhateverHomeItIsHanded) {
  test::PredatVlastnikovi({0, 0, "root", "/"}, profil_);  // root's own profile
  std::this_thread::sleep_for(2100ms);  // files changed two seconds ago get recorded
  const std::string roota = std::string(::getpwuid(0)->pw_dir) + "/.local/state/zevlon";
  auto zaznamy = [&] {
    std::set<std::string> z;
    std::error_code e;
    for (const auto& s : fs::directory_iterator(roota, e))
      if (s.path().filename().string().starts_with("soucty-")) z.insert(s.path());
    return z;
  };
  const std::set<std::string> drive = zaznamy();
  test::Cesty p = Prostredi();
  std::erase_if(p, [](const std::string& v) { return v.starts_with("XDG_STATE_HOME="); });
  p.insert(p.end(), {"HOME=" + u_.domov, "XDG_STATE_HOME=" + u_.domov + "/.local/state"});
  const auto v = test::Spustit({s_ / "program/Zevlon"}, p);
  ASSERT_EQ(v.kod, 0) << v.vystup << Chyby();
  Obnoveno();
  for (const auto& e : fs::recursive_directory_iterator(u_.domov))
    EXPECT_NE(test::Stav(e.path()).st_uid, 0u) << e.path();  // nothing of root's there
  std::set<std::string> nove = zaznamy();
  for (const std::string& d : drive)
    nove.erase(d);
  EXPECT_FALSE(nove.empty());
  for (const std::string& z : nove) {
    EXPECT_EQ(test::Stav(z).st_mode & 07777, 0600u) << z;
    EXPECT_EQ(test::Stav(z).st_uid, 0u) << z;
    fs::remove(z);
  }
}

}  // namespace
}  // namespace zevlon
