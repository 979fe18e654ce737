// zevlon-publikovat: publishes a release as an update site, signed when given a key,
// makes key pairs and signs files in minisign's formats, serves a site folder over HTTP
// on a loopback port, and uploads to or mirrors an FTP update server.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "beh/nastaveni_prenosu.h"
#include "common/chyba.h"
#include "platform/platforma.h"
#include "tools/publikace/ftp_prikazy.h"
#include "tools/publikace/klice.h"
#include "tools/publikace/port.h"
#include "tools/publikace/publikace.h"
#include "tools/publikace/server.h"

namespace {

constexpr const char* kPouziti =
    "Použití:\n"
    "  zevlon-publikovat vydat --vydani R --adresa URL [--zmena-dat R] [--verze-zevlonu V]\n"
    "                    [--zevlon PROGRAM] [--klic TAJNY_KLIC] [--predchozi WEB]...\n"
    "                    SLOZKA_VYDANI SLOZKA_WEBU\n"
    "                    (s klíčem podepíše download.ini do download.ini.minisig)\n"
    "  zevlon-publikovat klic [--bez-hesla] TAJNY_KLIC\n"
    "                    (nový pár klíčů minisign; veřejný klíč do TAJNY_KLIC.pub)\n"
    "  zevlon-publikovat podepsat --klic TAJNY_KLIC SOUBOR   (podpis do SOUBOR.minisig)\n"
    "  zevlon-publikovat servirovat [--port P] [--log SOUBOR] SLOZKA_WEBU\n"
    "  zevlon-publikovat nahrat [--aktivni] [--prazdny] MANIFEST SLOZKA\n"
    "                    (na FTP server z manifestu; download.ini a podpis nakonec)\n"
    "  zevlon-publikovat zrcadlit [--aktivni] MANIFEST SLOZKA   (z FTP serveru do místní složky)\n"
    "  zevlon-publikovat --help                     (tento přehled)\n";

constexpr const char* kVolby =
    "\n"
    "Volby:\n"
    "  --vydani R          vydání (Release v download.ini), například 20141231\n"
    "  --adresa URL        adresa webu, z níž aktualizátor stahuje\n"
    "  --zmena-dat R       vydání, jež mění strukturu dat (ReleaseZmenyDat)\n"
    "  --verze-zevlonu V   ZevlonVerze v download.ini (výchozí 8)\n"
    "  --zevlon PROGRAM    aktualizátor, který se publikuje do SetupCommon\n"
    "  --klic TAJNY_KLIC   tajný klíč minisign, jímž se podepisuje\n"
    "  --predchozi WEB     dřívější web tohoto nástroje; ke změněným souborům se přidají\n"
    "                      rozdíly proti jeho verzím (volbu lze opakovat)\n"
    "  --bez-hesla         tajný klíč se neuloží pod heslem\n"
    "  --port P            port HTTP serveru (výchozí 8080, 0 kterýkoli volný)\n"
    "  --log SOUBOR        záznam přístupů (bez volby standardní výstup)\n"
    "  --aktivni           aktivní přenosy FTP (PORT/EPRT); bez volby pasivní (PASV/EPSV)\n"
    "  --prazdny           nahrát i prázdnou složku (snímek bez souborů vyprázdní server)\n"
    "\n"
    "MANIFEST je manifest aplikace s prvkem UpdateOnLine (server, port 1 až 65535, user,\n"
    "password, remoteLocation, snapshot). Co se nepřeneslo, vypíše se s příčinou,\n"
    "a s ním i místo záznamu Zevlon.log.\n";

std::atomic<bool> konec{false};

void Ukoncit(int) {
  konec = true;
}

// The publisher's tools keep their transfer log apart from the updater's: installed from a
// package, in the user's state folder, never in the system's log folder.
// Installed for the process while the object lives.
class PlatformaNastroje : public zevlon::Platforma {
 public:
  PlatformaNastroje() { zevlon::NastavitPlatformu(this); }
  ~PlatformaNastroje() override { zevlon::NastavitPlatformu(nullptr); }
  std::string SlozkaLogu() override { return ZBalicku() ? std::string() : Platforma::SlozkaLogu(); }
};

// A path from the command line, taken from the current folder when relative.
std::string Absolutni(const std::string& cesta) {
  if (cesta.empty() || cesta.front() == '/') return cesta;
  return (std::filesystem::current_path() / cesta).string();
}

void Pripraven(int port) {
  std::fprintf(stderr, "Server naslouchá na http://127.0.0.1:%d/\n", port);
  std::fflush(stderr);
}

int Vydat(const std::vector<std::string>& a) {
  zevlon::publikace::Zadani z;
  std::optional<std::string> klic;
  std::vector<std::string> pozice;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto dalsi = [&]() -> std::string {
      if (i + 1 >= a.size()) throw std::runtime_error("chybí hodnota volby " + a[i]);
      return a[++i];
    };
    if (a[i] == "--vydani")
      z.vydani = dalsi();
    else if (a[i] == "--adresa")
      z.adresa = dalsi();
    else if (a[i] == "--zmena-dat")
      z.zmenaDat = dalsi();
    else if (a[i] == "--verze-zevlonu")
      z.verzeZevlonu = dalsi();
    else if (a[i] == "--zevlon")
      z.zevlon = Absolutni(dalsi());
    else if (a[i] == "--klic")
      klic = Absolutni(dalsi());
    else if (a[i] == "--predchozi")
      z.predchozi.push_back(Absolutni(dalsi()));
    else
      pozice.push_back(a[i]);
  }
  if (pozice.size() != 2 || z.vydani.empty() || z.adresa.empty()) {
    std::fputs(kPouziti, stderr);
    return 2;
  }
  // The key first: a wrong password must end the run before anything is built.
  if (klic) z.klic = zevlon::publikace::NacistTajnyKlic(*klic);
  if (klic) z.souborKlice = *klic;
  if (z.adresa.back() != '/') z.adresa += '/';
  z.zdroj = Absolutni(pozice[0]);
  z.cil = Absolutni(pozice[1]);
  auto s = zevlon::publikace::Publikovat(z);
  std::printf("Vydání %s publikováno do %s: %d složek, %d souborů", z.vydani.c_str(), z.cil.c_str(),
              s.slozek, s.souboru);
  if (!z.predchozi.empty()) std::printf(", %d rozdílů", s.delt);
  std::printf(".\n");
  return 0;
}

int Klic(const std::vector<std::string>& a) {
  const bool bezHesla = a.size() == 2 && a[0] == "--bez-hesla";
  if (a.size() != (bezHesla ? 2u : 1u)) {
    std::fputs(kPouziti, stderr);
    return 2;
  }
  zevlon::publikace::VytvoritKlic(Absolutni(a.back()), bezHesla);
  return 0;
}

int Podepsat(const std::vector<std::string>& a) {
  if (a.size() != 3 || a[0] != "--klic") {
    std::fputs(kPouziti, stderr);
    return 2;
  }
  zevlon::publikace::PodepsatSoubor(zevlon::publikace::NacistTajnyKlic(Absolutni(a[1])),
                                    Absolutni(a[2]));
  std::printf("Podpis uložen do %s.minisig.\n", a[2].c_str());
  return 0;
}

int Servirovat(const std::vector<std::string>& a) {
  zevlon::publikace::NastaveniServeru n;
  std::vector<std::string> pozice;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == "--port" && i + 1 < a.size()) {
      const std::optional<int> port = zevlon::publikace::PortZTextu(a[++i]);
      if (!port) {
        std::fprintf(stderr, "Port „%s“ není číslo od 0 do 65535.\n", a[i].c_str());
        return 2;
      }
      n.port = *port;
    } else if (a[i] == "--log" && i + 1 < a.size())
      n.log = Absolutni(a[++i]);
    else
      pozice.push_back(a[i]);
  }
  if (pozice.size() != 1) {
    std::fputs(kPouziti, stderr);
    return 2;
  }
  n.slozka = Absolutni(pozice[0]);
  while (n.slozka.size() > 1 && n.slozka.back() == '/')
    n.slozka.pop_back();
  std::signal(SIGINT, Ukoncit);
  std::signal(SIGTERM, Ukoncit);
  return zevlon::publikace::Servirovat(n, konec, Pripraven);
}

// nahrat and zrcadlit: [--aktivni] MANIFEST SLOZKA.
int Prenos(const std::vector<std::string>& a, bool nahrat) {
  bool aktivni = false, prazdny = false;
  std::vector<std::string> pozice;
  for (const std::string& x : a) {
    if (x == "--aktivni")
      aktivni = true;
    else if (x == "--prazdny" && nahrat)
      prazdny = true;
    else
      pozice.push_back(Absolutni(x));
  }
  if (pozice.size() != 2) {
    std::fputs(kPouziti, stderr);
    return 2;
  }
  // A mirror's downloads keep to the updater's bounds, from the same options file.
  if (!nahrat) zevlon::NastavitPrenosy();
  const int chybi = nahrat ? zevlon::publikace::Nahrat(pozice[0], pozice[1], aktivni, prazdny)
                           : zevlon::publikace::Zrcadlit(pozice[0], pozice[1], aktivni);
  return chybi == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  PlatformaNastroje platforma;
  std::vector<std::string> a(argv + std::min(argc, 2), argv + argc);
  try {
    if (argc >= 2 && std::strcmp(argv[1], "vydat") == 0) return Vydat(a);
    if (argc >= 2 && std::strcmp(argv[1], "klic") == 0) return Klic(a);
    if (argc >= 2 && std::strcmp(argv[1], "podepsat") == 0) return Podepsat(a);
    if (argc >= 2 && std::strcmp(argv[1], "servirovat") == 0) return Servirovat(a);
    if (argc >= 2 && std::strcmp(argv[1], "nahrat") == 0) return Prenos(a, true);
    if (argc >= 2 && std::strcmp(argv[1], "zrcadlit") == 0) return Prenos(a, false);
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
      std::fputs(kPouziti, stdout);
      std::fputs(kVolby, stdout);
      return 0;
    }
  } catch (const zevlon::Chyba& c) {
    std::fprintf(stderr, "Chyba: %s\n", c.Popis().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Chyba: %s\n", e.what());
    return 1;
  }
  std::fputs(kPouziti, stderr);
  return 2;
}
