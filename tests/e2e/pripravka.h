// What the whole runs of the real Zevlon share: a program folder of its own in the
// sandbox, with its options and the registry that names the profile, the publisher of
// the site, and the preloaded interventions.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/nahrady/ini.h"
#include "soubory/pomoc_operaci.h"
#include "support/http_server.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon::test {

using Cesty = std::vector<std::string>;

// Zevlon.ini for the site `web` and the profile, with further [Server] lines; a run as
// root accepts only options that others cannot change.
inline void ZapsatVolby(const Sandbox& s, const std::string& web, const std::string& profil,
                        const std::string& dalsi = "") {
  ::chmod(s.Zapsat("program/Zevlon.ini", "[Server]\r\nAdresa=" + web + "\r\n" + dalsi +
                                             "[Nastaveni]\r\nSlozkaDat=" + profil + "\r\n")
              .c_str(),
          0644);
}

// The program folder with Zevlon and its options, with the modes a run as root requires
// whatever the umask, and the registry naming the suite's folder whose Merko.ini names
// the profile "Firma".
inline void PripravitProgram(const Sandbox& s, const std::string& web, const std::string& profil) {
  s.Zapsat("registry.reg",
           "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\12.0\\Aplikace]\r\n"
           "\"Slozka_Merka\"=\"" +
               (s / "merko/") + "\"\r\n");
  s.Zapsat("merko/Merko.ini", "[Profily]\r\nFirma=" + profil + "\r\n");
  ZapsatVolby(s, web, profil);
  std::filesystem::copy_file(ZEVLON_PROGRAM, s / "program/Zevlon");
  for (const char* cesta : {"program", "program/Zevlon"})
    ::chmod((s / cesta).c_str(), 0755);
}

// Publishes the release in "vydani" onto the site's folder "www/aktualizace-online"; its
// Merko.ini names that release first, as the publisher requires. The tests publish one
// release again and older ones on purpose.
inline void Publikovat(const Sandbox& s, const std::string& web, const std::string& vydani,
                       const Cesty& dalsi = {}) {
  const std::string ini = s / "vydani/Setup/Merko/Merko.ini";
  if (Existuje(s / "vydani/Setup/Merko") && ini::CistKlic(ini, "Merko", "Release") != vydani)
    ini::ZapsatKlic(ini, "Merko", "Release", vydani);
  Cesty a{ZEVLON_PUBLIKOVAT, "vydat", "--vydani", vydani, "--adresa", web};
  a.insert(a.end(), {"--prepsat-vydani", "--vratit-vydani"});
  a.insert(a.end(), dalsi.begin(), dalsi.end());
  a.insert(a.end(), {s / "vydani", s / "www/aktualizace-online"});
  auto v = Spustit(a);
  ASSERT_EQ(v.kod, 0) << v.vystup;
}

// A key pair of the stock minisign in the folder "klice", no password; its public key.
inline std::string KlicMinisign(const Sandbox& s, const std::string& jmeno) {
  auto v = Spustit({"/usr/bin/minisign", "-G", "-W", "-p", s / ("klice/" + jmeno + ".pub"), "-s",
                    s / ("klice/" + jmeno + ".key")});
  EXPECT_EQ(v.kod, 0) << v.vystup;
  const std::string pub = s.Cist("klice/" + jmeno + ".pub");
  const std::size_t radek = pub.find('\n') + 1;
  return pub.substr(radek, pub.find('\n', radek) - radek);
}

// The environment that preloads the interventions (see the preload library) into Zevlon.
inline Cesty PrednacteneZasahy() {
  EXPECT_TRUE(Existuje(ZEVLON_ZASAHY));         // the loader would pass over it in silence
  const char* a = std::getenv("ASAN_OPTIONS");  // the sanitizer runtime is not preloaded first
  return {std::string("LD_PRELOAD=") + ZEVLON_ZASAHY,
          "ASAN_OPTIONS=" + std::string(a ? a : "") + ":verify_asan_link_order=0"};
}

// A log of the program folder, or "" when there is none.
inline std::string LogProgramu(const Sandbox& s, const std::string& jmeno = "online_errors.log") {
  return Existuje(s / ("program/" + jmeno)) ? s.Cist("program/" + jmeno) : "";
}

using Stromy = std::array<Strom, 3>;
constexpr const char* kZive[] = {"Setup/Merko", "SetupCommon", "Setup/Upravy"};
constexpr time_t kDrive = 1393632000;  // 2014-03-01, long before the release

// A file system mounted for a test (root only), unmounted when the object goes.
struct Pripojeni {
  // mount with the words given (options, the device) onto `kde`; answers whether it did.
  bool Pripojit(Cesty slova, const std::string& kde) {
    slova.insert(slova.begin(), "/usr/bin/mount");
    slova.push_back(kde);
    if (Spustit(slova).kod != 0) return false;
    bod = kde;
    return true;
  }
  void Odpojit() {
    if (!bod.empty()) Spustit({"/usr/bin/umount", bod});
    bod.clear();
  }
  ~Pripojeni() { Odpojit(); }
  std::string bod;
};

// A program folder, a site published from a release folder and served on loopback, and an
// installation of an older release; whole runs of Zevlon against them.
class CelyBeh : public ::testing::Test {
 protected:
  void SetUp() override {
    s_.Vytvorit("www/aktualizace-online");
    s_.Vytvorit("temp");
    s_.Vytvorit("stav");
    PripravitProgram(s_, web_, profil_);
    for (auto [cesta, obsah] : {std::pair{"Setup/Merko/Merko.exe", "Merko 20141231"},
                                {"Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20141231\r\n"},
                                {"Setup/Merko/Merko.dll", "knihovna"},
                                {"SetupCommon/System/spolecne.dll", "společné 20141231"},
                                {"Upravy/Doplnky/Fakturace/fakturace.dll", "fakturace 20141231"}})
      s_.Zapsat(std::string("vydani/") + cesta, obsah);
    NastavitCas(s_ / "vydani/Setup/Merko/Merko.dll", kDrive, 0);
    Publikovat("20141231");
    Instalace();
  }
  void Volby(const std::string& dalsi = "") { test::ZapsatVolby(s_, web_, profil_, dalsi); }
  void Publikovat(const std::string& vydani, const Cesty& dalsi = {}) {
    test::Publikovat(s_, web_, vydani, dalsi);
  }
  // An installation of an older release, laid out anew; Merko.dll equals the published one.
  void Instalace() {
    std::filesystem::remove_all(profil_);
    for (auto [cesta, obsah] : {std::pair{"Merko.ini", "[Merko]\r\nRelease=20140301\r\n"},
                                {"Setup/Merko/Merko.exe", "Merko 20140301"},
                                {"Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20140301\r\n"},
                                {"Setup/Merko/Merko.dll", "knihovna"},
                                {"Setup/Upravy/Doplnky/Fakturace/fakturace.dll", "fakturace 2014"},
                                {"Setup/Upravy/Doplnky/Fakturace/mistni.txt", "jen tady"},
                                {"SetupCommon/System/spolecne.dll", "společné 20140301"}})
      NastavitCas(s_.Zapsat(std::string("data/Firma/") + cesta, obsah), kDrive, 0);
  }

  // Runs Zevlon to its end, behind the given command (such as setpriv) when one is given.
  VysledekProcesu Spustit(Cesty pred = {}) {
    pred.push_back(s_ / "program/Zevlon");
    return test::Spustit(pred, Prostredi());
  }
  Cesty Prostredi() {
    // The state folder too: what a run records for the next ones stays in the sandbox.
    Cesty p{"TEMP=" + (s_ / "temp"), "DUNMOR_REGISTRY=" + (s_ / "registry.reg"),
            "XDG_STATE_HOME=" + (s_ / "stav")};
    p.insert(p.end(), prostredi_.begin(), prostredi_.end());
    return p;
  }
  // Further runs get the preloaded interventions (see the preload library), such as
  // "ZASAH_BEZ_VYMENY=1": a file system that cannot exchange folders, each swap two renames.
  void Zasah(const std::string& promenna) {
    if (prostredi_.empty()) prostredi_ = PrednacteneZasahy();
    prostredi_.push_back(promenna);
  }
  void BezZasahu() { prostredi_.clear(); }
  // The files downloaded since the last look, without release information and snapshots.
  Cesty Stazene() {
    Cesty s;
    auto p = server_.Pozadavky();
    for (; videno_ < p.size(); ++videno_)
      if (std::string c = p[videno_].cesta.substr(20);  // below "/aktualizace-online/"
          !c.starts_with("download.ini") && !c.ends_with("master.snapshot.zip"))
        s.push_back(
            c.substr(0, c.find('?')).substr(c.starts_with("vydani/") ? c.find('/', 7) + 1 : 0));
    std::sort(s.begin(), s.end());
    return s;
  }

  // The release published anew onto a site of a server of its own, whose
  // Setup/Merko/Merko.exe.zip comes one byte every `kapka` (`zacato` is set once it is asked
  // for); the options name that site, with the further [Server] lines.
  std::unique_ptr<TestHttpServer> PomalyWeb(std::chrono::milliseconds kapka,
                                            std::atomic<bool>* zacato = nullptr,
                                            const std::string& dalsi = "") {
    auto server = std::make_unique<TestHttpServer>(
        [kapka, zacato,
         soubory = TestHttpServer::SlozkaSouboru(s_ / "www")](const PozadavekHttp& p) {
          auto o = soubory(p);
          if (p.cesta.find("/Merko.exe.zip") != std::string::npos) {
            o.kapka = kapka;
            if (zacato) *zacato = true;
          }
          return o;
        });
    web_ = server->Adresa() + "/aktualizace-online/";
    Volby(dalsi);
    Publikovat("20141231");
    return server;
  }

  // A file of the site: download.ini* at the top, any other in the folder its Url names.
  std::string NaWebu(const std::string& cesta) {
    const std::string web = s_ / "www/aktualizace-online/";
    if (cesta.starts_with("download.ini")) return web + cesta;
    const std::string url = ini::CistKlic(web + "download.ini", "Merko", "Url").value_or("");
    return web + url.substr(url.find("/aktualizace-online/") + 20) + cesta;
  }

  // Zevlon started in the background, once `zacato` holds (within 30 s).
  pid_t NaPozadi(const std::function<bool()>& zacato) {
    const int nic = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t pid = test::SpustitNaPozadi({s_ / "program/Zevlon"}, Prostredi(), nic);
    ::close(nic);
    for (int i = 0; i < 1500 && !zacato(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(zacato());
    return pid;
  }
  // The same against PomalyWeb's site (kept in `web`), once the slow file is asked for.
  pid_t PomalyBeh(std::unique_ptr<TestHttpServer>& web, std::chrono::milliseconds kapka) {
    web = PomalyWeb(kapka, &zacato_);
    return NaPozadi([this] { return zacato_.load(); });
  }

  Stromy ZiveSlozky() {
    return {CistStrom(profil_ + kZive[0]), CistStrom(profil_ + kZive[1]),
            CistStrom(profil_ + kZive[2])};
  }
  // A run that failed or waited left the live folders as they were, no backup and no
  // sibling folder of a run ("...dwnld_...").
  void Nezmeneno(const Stromy& predtim) {
    EXPECT_EQ(ZiveSlozky(), predtim);
    EXPECT_FALSE(Existuje(profil_ + "Setup/Merko_old/Merko.exe"));
    for (const auto& e : std::filesystem::recursive_directory_iterator(s_.Cesta()))
      EXPECT_EQ(e.path().filename().string().find("dwnld_"), std::string::npos) << e.path();
  }
  std::string Profil(const std::string& cesta) { return s_.Cist("data/Firma/" + cesta); }
  // The installation renewed to the release laid out by SetUp: its files in every live
  // folder, the add-on's own file kept, the old content in the backups.
  void Obnoveno() {
    for (auto [cesta, obsah] :
         {std::pair{"Setup/Merko/Merko.exe", "Merko 20141231"},
          {"SetupCommon/System/spolecne.dll", "společné 20141231"},
          {"Setup/Upravy/Doplnky/Fakturace/fakturace.dll", "fakturace 20141231"},
          {"Setup/Upravy/Doplnky/Fakturace/mistni.txt", "jen tady"},
          {"Setup/Merko_old/Merko.exe", "Merko 20140301"},
          {"SetupCommon_old/System/spolecne.dll", "společné 20140301"}})
      EXPECT_EQ(Profil(cesta), obsah) << cesta;
  }
  std::string Chyby() { return LogProgramu(s_); }
  // The last run's record in the program folder's Zevlon.log (from "Běh" to the line's
  // end), "" when there is none.
  std::string PosledniBeh() {
    const std::string log = LogProgramu(s_, "Zevlon.log");
    const std::size_t i = log.rfind("\tBěh\t");
    return i == std::string::npos ? "" : log.substr(i + 1, log.find("\r\n", i) - i - 1);
  }

  Sandbox s_;
  TestHttpServer server_{TestHttpServer::SlozkaSouboru(s_ / "www")};
  std::string profil_ = s_ / "data/Firma/", web_ = server_.Adresa() + "/aktualizace-online/";
  std::size_t videno_ = 0;
  Cesty prostredi_;
  std::atomic<bool> zacato_{false};
};

}  // namespace zevlon::test
