// zevlon-publikovat: publishes a release as an update site, signed when given a key,
// makes key pairs and signs files in minisign's formats, serves a site folder over HTTP
// on a loopback port, and uploads to or mirrors an FTP update server.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "beh/nastaveni_prenosu.h"
#include "common/adresa.h"
#include "common/chyba.h"
#include "common/text.h"
#include "platform/nahrady/platforma.h"
#include "prenos/stahovani/informace_vydani.h"
#include "tools/publikace/ftp_prikazy.h"
#include "tools/publikace/klice.h"
#include "tools/publikace/port.h"
#include "tools/publikace/preruseni.h"
#include "tools/publikace/publikace.h"
#include "tools/publikace/server.h"
#include "tools/publikace/stary_web.h"

namespace {

constexpr const char* kPouziti =
    "Použití:\n"
    "  zevlon-publikovat vydat --vydani R --adresa URL [--zmena-dat R] [--verze-zevlonu V]\n"
    "                    [--zevlon PROGRAM] [--klic TAJNY_KLIC] [--predchozi WEB]...\n"
    "                    [--bez-delt] [--prepsat-vydani] [--vratit-vydani] [--ponechat N]\n"
    "                    SLOZKA_VYDANI SLOZKA_WEBU\n"
    "                    (vydání do nové složky vydani/R/, pak download.ini a podpis)\n"
    "  zevlon-publikovat nasadit --procent N [--klic TAJNY_KLIC] SLOZKA_WEBU\n"
    "  zevlon-publikovat stahnout [--klic TAJNY_KLIC] SLOZKA_WEBU\n"
    "  zevlon-publikovat klic [--bez-hesla] TAJNY_KLIC\n"
    "                    (nový pár klíčů minisign; veřejný klíč do TAJNY_KLIC.pub)\n"
    "  zevlon-publikovat podepsat --klic TAJNY_KLIC SOUBOR   (podpis do SOUBOR.minisig)\n"
    "  zevlon-publikovat servirovat [--port P] [--log SOUBOR] SLOZKA_WEBU\n"
    "  zevlon-publikovat nahrat [--aktivni] [--prazdny] MANIFEST SLOZKA\n"
    "                    (na FTP server z manifestu; z webu celá nejnovější složka\n"
    "                    vydání, download.ini a podpis nakonec)\n"
    "  zevlon-publikovat zrcadlit [--aktivni] MANIFEST SLOZKA   (z FTP serveru do místní složky)\n"
    "  zevlon-publikovat --help                     (tento přehled)\n"
    "  zevlon-publikovat --version                  (verze nástroje)\n";

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
    "                      rozdíly proti jeho verzím (volbu lze opakovat); web, který se\n"
    "                      nahrazuje, je mezi nimi vždy\n"
    "  --bez-delt          žádné rozdíly, ani proti nahrazovanému webu\n"
    "  --prepsat-vydani    znovu vydání, jež web už má; převezmou je jen klienti,\n"
    "                      kteří je ještě nenainstalovali\n"
    "  --vratit-vydani     starší vydání, než má web; klienti je odmítnou,\n"
    "                      pokud nemají PovolitStarsi=1\n"
    "  --ponechat N        kolik složek vydání (i s novou) ponechat, výchozí 3, nejméně 2;\n"
    "                      starší odstraní, jen pokud je vytvořil tento nástroj\n"
    "  --procent N         nasadit: kolik procent počítačů smí vydání instalovat hned\n"
    "                      (0 až 100); zastaví jen běhy bez obsluhy nových klientů\n"
    "                      (Zevlon s vlnami); běh spuštěný uživatelem instaluje hned,\n"
    "                      dnešní klienti a počítače s Windows Nasazeni neznají\n"
    "                      a instalují dál\n"
    "  --bez-hesla         tajný klíč se neuloží pod heslem\n"
    "  --port P            port HTTP serveru (výchozí 8080, 0 kterýkoli volný)\n"
    "  --log SOUBOR        záznam přístupů (bez volby standardní výstup)\n"
    "  --aktivni           aktivní přenosy FTP (PORT/EPRT); bez volby pasivní (PASV/EPSV)\n"
    "  --prazdny           nahrát i prázdnou složku (snímek bez souborů vyprázdní server)\n"
    "\n"
    "nasadit zapíše jen Nasazeni=N do download.ini webu a znovu jej podepíše;\n"
    "stahnout vrátí download.ini na předchozí složku staršího vydání, jež na webu zůstala\n"
    "a nikdy nebyla stažena, a znovu jej podepíše. stahnout zastaví všechny klienty,\n"
    "staré i nové: žádný už stažené vydání nenainstaluje; kdo je už má, odmítne starší\n"
    "vydání webu a zůstane na svém.\n"
    "\n"
    "MANIFEST je manifest aplikace s prvkem UpdateOnLine (server, port 1 až 65535, user,\n"
    "password, remoteLocation, snapshot). Co se nepřeneslo, vypíše se s příčinou,\n"
    "a s ním i místo záznamu Zevlon.log.\n";

// Set by SIGINT or SIGTERM in servirovat, whose normal end they are.
std::atomic<bool> konec{false};

// The publisher's tools keep their transfer log apart from the updater's, in the user's
// state folder ($XDG_STATE_HOME/zevlon/), packaged or not: never in the system's log folder
// nor beside the tool. Installed for the process while the object lives.
class PlatformaNastroje : public zevlon::Platforma {
 public:
  PlatformaNastroje() { zevlon::NastavitPlatformu(this); }
  ~PlatformaNastroje() override { zevlon::NastavitPlatformu(nullptr); }
  std::string SlozkaLogu() override { return std::string(); }
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

// A mistake of the command line: what is wrong; the short usage follows it.
struct ChybaPouziti : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A command's arguments: the options that take a value (each may be given again), the
// switches, and the rest in order. Any other argument beginning with "--", and an option
// without its value, is a mistake of the command line.
struct Argumenty {
  std::map<std::string, std::vector<std::string>> hodnoty;
  std::set<std::string> prepinace;
  std::vector<std::string> pozice;

  Argumenty(const std::vector<std::string>& a, std::initializer_list<std::string> sHodnotou,
            std::initializer_list<std::string> bezHodnoty) {
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (!a[i].starts_with("--")) {
        pozice.push_back(a[i]);
      } else if (std::find(sHodnotou.begin(), sHodnotou.end(), a[i]) != sHodnotou.end()) {
        if (i + 1 >= a.size()) throw ChybaPouziti("Chybí hodnota volby " + a[i] + ".");
        hodnoty[a[i]].push_back(a[i + 1]);
        ++i;
      } else if (std::find(bezHodnoty.begin(), bezHodnoty.end(), a[i]) != bezHodnoty.end()) {
        prepinace.insert(a[i]);
      } else {
        throw ChybaPouziti("Neznámá volba " + a[i] + ".");
      }
    }
  }
  // The last value given, if any.
  std::optional<std::string> Hodnota(const std::string& volba) const {
    auto i = hodnoty.find(volba);
    if (i == hodnoty.end()) return std::nullopt;
    return i->second.back();
  }
  std::string Povinna(const std::string& volba) const {
    auto h = Hodnota(volba);
    if (!h) throw ChybaPouziti("Chybí volba " + volba + ".");
    return *h;
  }
  void Pozic(std::size_t n, const char* co) const {
    if (pozice.size() != n) throw ChybaPouziti(std::string("Příkaz potřebuje ") + co + ".");
  }
};

int Vydat(const std::vector<std::string>& a) {
  const Argumenty p(a,
                    {"--vydani", "--adresa", "--zmena-dat", "--verze-zevlonu", "--zevlon", "--klic",
                     "--predchozi", "--ponechat"},
                    {"--bez-delt", "--prepsat-vydani", "--vratit-vydani"});
  zevlon::publikace::Zadani z;
  z.vydani = p.Povinna("--vydani");
  z.adresa = p.Povinna("--adresa");
  p.Pozic(2, "složku vydání a složku webu");
  if (!zevlon::JeAbsolutniAdresa(z.adresa, {"http://", "https://", "ftp://"}))
    throw ChybaPouziti("Adresa „" + z.adresa + "“ není absolutní adresa http, https ani ftp.");
  if (!zevlon::JeCisloVydani(z.vydani))
    throw ChybaPouziti("Vydání „" + z.vydani +
                       "“ není číslo vydání (číslice začínající datem RRRRMMDD, např. 20141231).");
  z.zmenaDat = p.Hodnota("--zmena-dat");
  if (auto v = p.Hodnota("--verze-zevlonu")) z.verzeZevlonu = *v;
  if (auto v = p.Hodnota("--zevlon")) z.zevlon = Absolutni(*v);
  if (auto v = p.hodnoty.find("--predchozi"); v != p.hodnoty.end())
    for (const std::string& w : v->second)
      z.predchozi.push_back(Absolutni(w));
  if (auto v = p.Hodnota("--ponechat")) {
    if (v->empty() || v->size() > 6 || v->find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(*v) < 2)
      throw ChybaPouziti("Počet „" + *v +
                         "“ u --ponechat není celé číslo od 2 do 999999 (předchozí vydání může "
                         "ještě číst klient uprostřed běhu).");
    z.ponechat = std::stoi(*v);
  }
  z.bezDelt = p.prepinace.count("--bez-delt") > 0;
  z.prepsatVydani = p.prepinace.count("--prepsat-vydani") > 0;
  z.vratitVydani = p.prepinace.count("--vratit-vydani") > 0;
  z.zdroj = Absolutni(p.pozice[0]);
  z.cil = Absolutni(p.pozice[1]);
  // The key first: a wrong password must end the run before anything is built.
  if (auto klic = p.Hodnota("--klic")) {
    z.souborKlice = Absolutni(*klic);
    z.klic = zevlon::publikace::NacistTajnyKlic(z.souborKlice);
  }
  if (z.adresa.back() != '/') z.adresa += '/';
  auto s = zevlon::publikace::Publikovat(z);
  std::printf("Vydání %s publikováno do %s (složka %s/%s/): %s, %s", z.vydani.c_str(),
              z.cil.c_str(), zevlon::publikace::kVydani, s.slozka.c_str(),
              zevlon::Pocet(s.slozek, "složka", "složky", "složek").c_str(),
              zevlon::Pocet(s.souboru, "soubor", "soubory", "souborů").c_str());
  if (z.bezDelt) std::printf(", bez rozdílů (--bez-delt)");
  std::string proti;
  for (const std::string& v : s.protiVydanim)
    proti += (proti.empty() ? "" : ", ") + v;
  if (!proti.empty())
    std::printf(", %s proti vydání %s",
                zevlon::Pocet(s.delt, "rozdíl", "rozdíly", "rozdílů").c_str(), proti.c_str());
  std::printf(".\n");
  return 0;
}

// The secret key of --klic, if given: read before anything is changed.
std::optional<zevlon::podpis::TajnyKlic> KlicZVolby(const Argumenty& p) {
  if (auto klic = p.Hodnota("--klic")) return zevlon::publikace::NacistTajnyKlic(Absolutni(*klic));
  return std::nullopt;
}

int Nasadit(const std::vector<std::string>& a) {
  const Argumenty p(a, {"--procent", "--klic"}, {});
  const std::string procento = p.Povinna("--procent");
  p.Pozic(1, "složku webu");
  if (procento.empty() || procento.size() > 3 ||
      procento.find_first_not_of("0123456789") != std::string::npos || std::stoi(procento) > 100)
    throw ChybaPouziti("Procento „" + procento + "“ u --procent není celé číslo od 0 do 100.");
  zevlon::publikace::Nasadit(Absolutni(p.pozice[0]), std::stoi(procento), KlicZVolby(p));
  std::printf("Vydání webu %s smí instalovat %d %% počítačů (Nasazeni=%d).\n", p.pozice[0].c_str(),
              std::stoi(procento), std::stoi(procento));
  return 0;
}

int Stahnout(const std::vector<std::string>& a) {
  const Argumenty p(a, {"--klic"}, {});
  p.Pozic(1, "složku webu");
  const std::string vydani = zevlon::publikace::Stahnout(Absolutni(p.pozice[0]), KlicZVolby(p));
  std::printf("Web %s nabízí opět vydání %s.\n", p.pozice[0].c_str(), vydani.c_str());
  return 0;
}

int Klic(const std::vector<std::string>& a) {
  const Argumenty p(a, {}, {"--bez-hesla"});
  p.Pozic(1, "soubor tajného klíče");
  zevlon::publikace::VytvoritKlic(Absolutni(p.pozice[0]), p.prepinace.count("--bez-hesla") > 0);
  return 0;
}

int Podepsat(const std::vector<std::string>& a) {
  const Argumenty p(a, {"--klic"}, {});
  const std::string klic = p.Povinna("--klic");
  p.Pozic(1, "soubor k podpisu");
  zevlon::publikace::PodepsatSoubor(zevlon::publikace::NacistTajnyKlic(Absolutni(klic)),
                                    Absolutni(p.pozice[0]));
  std::printf("Podpis uložen do %s.minisig.\n", p.pozice[0].c_str());
  return 0;
}

int Servirovat(const std::vector<std::string>& a) {
  const Argumenty p(a, {"--port", "--log"}, {});
  zevlon::publikace::NastaveniServeru n;
  if (auto text = p.Hodnota("--port")) {
    const std::optional<int> port = zevlon::publikace::PortZTextu(*text);
    if (!port) throw ChybaPouziti("Port „" + *text + "“ není číslo od 0 do 65535.");
    n.port = *port;
  }
  if (auto log = p.Hodnota("--log")) n.log = Absolutni(*log);
  p.Pozic(1, "složku webu");
  n.slozka = Absolutni(p.pozice[0]);
  while (n.slozka.size() > 1 && n.slozka.back() == '/')
    n.slozka.pop_back();
  if (!std::filesystem::is_directory(n.slozka))
    throw zevlon::Chyba(zevlon::kChybaUzivatele, "Složka " + n.slozka + " neexistuje.");
  return zevlon::publikace::Servirovat(n, konec, Pripraven);
}

// nahrat and zrcadlit: [--aktivni] MANIFEST SLOZKA.
int Prenos(const std::vector<std::string>& a, bool nahrat) {
  const Argumenty p =
      nahrat ? Argumenty(a, {}, {"--aktivni", "--prazdny"}) : Argumenty(a, {}, {"--aktivni"});
  p.Pozic(2, "manifest a složku");
  std::vector<std::string> pozice;
  for (const std::string& x : p.pozice)
    pozice.push_back(Absolutni(x));
  const bool aktivni = p.prepinace.count("--aktivni") > 0;
  const bool prazdny = p.prepinace.count("--prazdny") > 0;
  // A mirror's downloads keep to the updater's bounds, from the same options file.
  if (!nahrat) zevlon::NastavitPrenosy();
  const int chybi = nahrat ? zevlon::publikace::Nahrat(pozice[0], pozice[1], aktivni, prazdny)
                           : zevlon::publikace::Zrcadlit(pozice[0], pozice[1], aktivni);
  return chybi == 0 ? 0 : 1;
}

// A usage error: what is wrong and the short usage, exit status 64 (EX_USAGE).
int ChybaPrikazu(const std::string& co) {
  std::fprintf(stderr, "%s\n%sPodrobnosti: zevlon-publikovat --help\n", co.c_str(), kPouziti);
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  PlatformaNastroje platforma;
  std::vector<std::string> a(argv + std::min(argc, 2), argv + argc);
  const std::string prikaz = argc >= 2 ? argv[1] : "";
  zevlon::publikace::HlidatPreruseni(prikaz == "servirovat" ? &konec : nullptr);
  try {
    if (prikaz == "vydat") return Vydat(a);
    if (prikaz == "klic") return Klic(a);
    if (prikaz == "nasadit") return Nasadit(a);
    if (prikaz == "stahnout") return Stahnout(a);
    if (prikaz == "podepsat") return Podepsat(a);
    if (prikaz == "servirovat") return Servirovat(a);
    if (prikaz == "nahrat") return Prenos(a, true);
    if (prikaz == "zrcadlit") return Prenos(a, false);
    if (argc == 2 && (prikaz == "--help" || prikaz == "-h")) {
      std::fputs(kPouziti, stdout);
      std::fputs(kVolby, stdout);
      return 0;
    }
    if (argc == 2 && prikaz == "--version") {
      std::printf("zevlon-publikovat %s\n", ZEVLON_VERZE);
      return 0;
    }
    if (prikaz.starts_with("--")) throw ChybaPouziti("Neznámá volba " + prikaz + ".");
    throw ChybaPouziti(prikaz.empty() ? "Chybí příkaz." : "Neznámý příkaz " + prikaz + ".");
  } catch (const ChybaPouziti& c) {
    return ChybaPrikazu(c.what());
  } catch (const zevlon::Chyba& c) {
    if (c.Cislo() == zevlon::publikace::kChybaVydaniWebu) return ChybaPrikazu(c.Popis());
    std::fprintf(stderr, "Chyba: %s\n", c.Popis().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Chyba: %s\n", e.what());
    return 1;
  }
}
