// Zevlon, the online updater of Dunmor Merko.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "beh/beh.h"
#include "beh/drzeni.h"
#include "beh/kontrola.h"
#include "beh/metriky.h"
#include "beh/navraty.h"
#include "beh/vlastnik/vlastnik.h"
#include "beh/vlastnik/za_vlastnika.h"
#include "beh/vlastnik/zpravy.h"
#include "beh/volby_prikazu.h"
#include "beh/zaznam_behu.h"
#include "beh/zpozdeni.h"
#include "instalace/aktualizace_setupu.h"
#include "instalace/navrat.h"
#include "instalace/odhad_profilu.h"
#include "platform/nahrady/platforma.h"
#include "platform/procesy/ukonceni.h"
#include "rozhrani/rozhrani.h"
#include "soubory/volby.h"
#include "tvare/vyber_rozhrani.h"

namespace {

constexpr const char* kPouziti =
    "Použití: Zevlon [Hotovo | soubor s informacemi o vydání]\n"
    "        Zevlon [--zpozdeni MINUT] [Hotovo | soubor]\n"
    "        Zevlon --moznosti\n"
    "        Zevlon --stav [--json]\n"
    "        Zevlon --stav --nagios [--varovani HODIN] [--kriticke HODIN]\n"
    "        Zevlon --kontrola\n"
    "        Zevlon --drzet [VYDANI] | --uvolnit\n"
    "        Zevlon --vratit [--ano] [--i-pres-zmenu-dat]\n"
    "        Zevlon --help | --version\n"
    "\n";

constexpr const char* kPopis =
    "Bez argumentu vyhledá aktualizace Dunmor Merko na aktualizačním webu, nabídne\n"
    "profil k aktualizaci (nebo vezme složku dat z volby SlozkaDat v souboru Zevlon.ini\n"
    "vedle programu) a stáhne nové vydání. Bez terminálu a bez displeje (cron, služba\n"
    "systemd) běží bez oken a bez otázek. Chyby každého běhu zapisuje do\n"
    "online_errors.log vedle programu (nesmí-li tam uživatel zapisovat, do\n"
    "$XDG_STATE_HOME/zevlon, jinak do ~/.local/state/zevlon), záznam každého běhu\n"
    "do Zevlon.log a jeho stav do stav.json (root vedle logů, jiný uživatel do\n"
    "$XDG_STATE_HOME/zevlon).\n"
    "\n";

// The same for the program installed from a package, with the system's folders.
constexpr const char* kPopisBalicku =
    "Bez argumentu vyhledá aktualizace Dunmor Merko na aktualizačním webu, nabídne\n"
    "profil k aktualizaci (nebo vezme složku dat z volby SlozkaDat v souboru\n"
    "/etc/zevlon/Zevlon.ini) a stáhne nové vydání. Bez terminálu a bez displeje (cron,\n"
    "služba systemd) běží bez oken a bez otázek. Chyby každého běhu zapisuje do\n"
    "online_errors.log v /var/log/zevlon (jiný uživatel než root do\n"
    "$XDG_STATE_HOME/zevlon, jinak do ~/.local/state/zevlon), záznam každého běhu do\n"
    "Zevlon.log tamtéž a jeho stav do /var/lib/zevlon/stav.json (jiný uživatel do\n"
    "$XDG_STATE_HOME/zevlon/stav.json). Program z balíčku se sám nenahrazuje\n"
    "novějším z webu: aktualizuje jej správce balíčků.\n"
    "\n";

constexpr const char* kNapoveda =
    "  Hotovo      jen oznámí, že aktualizace byla stažena\n"
    "  soubor      provede instalační krok pro daný soubor download.ini\n"
    "  --moznosti  možnosti aktualizací: na displeji otevře okno Možnosti aktualizací,\n"
    "              na terminálu se zeptá na totéž (složka profilu ze seznamu profilů,\n"
    "              automatické spouštění, čas, četnost a den) a uloží to jako okno;\n"
    "              úloha se zapíše jako časovač systemd (root, běží-li systemd),\n"
    "              jinak do /etc/cron.d (root) nebo do crontabu uživatele\n"
    "  --zpozdeni N  před během počká náhodnou dobu od 0 do N minut (nic přitom\n"
    "              nedrží); naplánované běhy ji mají z volby NahodneZpozdeni\n"
    "              v sekci [Server] (výchozí 30 minut); SIGTERM nebo Ctrl+C čekání\n"
    "              ukončí i s programem: běh nezačne, nic se nezaznamená a návratový\n"
    "              kód je signálu (v shellu 143 nebo 130), ne 2\n"
    "  --stav      stav posledního běhu (začátek a konec, výsledek, vydání před a po,\n"
    "              obnovené složky, soubory a stažené bajty, poslední úspěšná\n"
    "              aktualizace); s --json tak, jak jej zapsal běh; návratový kód\n"
    "              0 poslední běh uspěl, 1 selhal, 3 žádný běh není zaznamenán\n"
    "  --nagios    po --stav jeden řádek pro Nagios podle stáří posledního úspěšného\n"
    "              běhu: --varovani (výchozí 48 hodin) a --kriticke (168 hodin),\n"
    "              návratový kód 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN\n"
    "  --kontrola  zkontroluje nastavení a nic nezmění: neznámé a nepoužitelné volby\n"
    "              v Zevlon.ini, instalaci a profil a kdo jej aktualizuje, stažení\n"
    "              a podpis informací o vydání, a které složky a kolik souborů\n"
    "              a bajtů by aktualizace obnovila; návratový kód 0 aktualizace by\n"
    "              proběhla nebo není co aktualizovat, 1 s důvody jinak\n"
    "  --drzet [R]  drží počítač na vydání R (DrzetVydani v sekci [Server]): žádný běh\n"
    "              nenainstaluje vyšší vydání a skončí výsledkem drzeno; bez R na vydání\n"
    "              nainstalovaném v profilu SlozkaDat; zapisuje Zevlon.ini jako okno\n"
    "              Možnosti (soubor roota jen root)\n"
    "  --uvolnit   zruší držení vydání a odmítnutí vydání, z něhož se profil\n"
    "              SlozkaDat vrátil (--vratit)\n"
    "  --vratit    vrátí profil z poslední aktualizace na vydání před ní: každá\n"
    "              vyměněná složka se vymění se svou zálohou _old, soubory instalační\n"
    "              složky se souborem ze Soubory_old; nic se nestáhne ani nesmaže\n"
    "              a další --vratit aktualizaci vrátí zpět; s obsluhou se nejdřív zeptá,\n"
    "              bez obsluhy potřebuje --ano; přes změnu datové struktury jen\n"
    "              s --i-pres-zmenu-dat; výsledek vraceno, návratový kód 0; vrácené\n"
    "              vydání a starší se pak neinstalují (výsledek vraceno_ceka), dokud\n"
    "              nevyjde novější\n"
    "  --help      tato nápověda\n"
    "  --version   verze programu\n"
    "\n"
    "Klíče souboru Zevlon.ini (popisuje je man zevlon):\n"
    "  [Server]     Adresa VerejnyKlic PodpisPlatnyDni PovolitStarsi BezOvereni\n"
    "               LhutaPrenosu MinRychlost DobaMinRychlosti SoubeznaStahovani\n"
    "               LhutaBehu LhutaTicha ObnovaOdkazy Delty NahodneZpozdeni Zrcadlo\n"
    "               DrzetVydani SkupinaNasazeni KontrolaPoAktualizaci LhutaKontroly\n"
    "               SlozkaMetrik Proxy BezProxy ProxyUdaje MaxRychlost MaxRychlostOkno\n"
    "               JenNaSiti\n"
    "  [Nastaveni]  SlozkaDat Cas Cetnost Den\n"
    "  [Uloha]      ID\n"
    "\n"
    "Návratový kód:\n"
    "  0  bez chyby:\n"
    "       aktualizace stažena (nebo spuštěn nový program aktualizace, který ji provede)\n"
    "       nic nového k instalaci (vydání na webu není novější, soubory jsou aktuální,\n"
    "         žádný profil k aktualizaci při běhu s obsluhou, odpověď Ne při výběru\n"
    "         profilu)\n"
    "       starší vydání na webu odmítnuto (řádek v Zevlon.log)\n"
    "       odmítnuté varování o změně datové struktury\n"
    "       drženo na vydání (DrzetVydani); odloženo, vlna nasazení N % (běh bez\n"
    "         obsluhy, na nějž vlna vydání ještě nepřišla); uložené --drzet a --uvolnit\n"
    "       bez připojení (běh bez obsluhy s JenNaSiti=1 na počítači mimo síť)\n"
    "       soubor zadaný na příkazovém řádku neexistuje (nic se neprovede ani\n"
    "         nezaznamená, řádek na standardní chybový výstup)\n"
    "       Hotovo, uložené --moznosti, --help, --version; --kontrola bez chyby\n"
    "  1  chyba: není připojení, web nebo soubor nelze stáhnout, chybí oprávnění,\n"
    "       podpis nesouhlasí, běží jiná aktualizace, běh bez obsluhy nemá profil\n"
    "       k aktualizaci (SlozkaDat), ...; také chyba, jejíž hlášení\n"
    "       uživatel zavřel tlačítkem Storno; --moznosti bez displeje i terminálu;\n"
    "       --kontrola, která našla chybu\n"
    "  2  zrušeno uživatelem: Storno nebo Ctrl+C během běhu, výběr profilu zavřený\n"
    "       bez volby, --moznosti ukončené bez uložení; běh zastavený signálem SIGTERM\n"
    "  3  jen --stav: žádný běh není zaznamenán (nebo jeho stav nelze přečíst)\n"
    "  64  chybný příkazový řádek: neznámá volba (první argument začínající \"-\",\n"
    "       který není volbou) nebo volba s argumenty navíc; --drzet s textem,\n"
    "       který není číslo vydání, nebo bez vydání v profilu i na řádku\n"
    "       (nic se neprovede)\n";

// A usage error: what is wrong, the short usage, exit status 64 (EX_USAGE).
int ChybaPouziti(const std::string& co) {
  std::fprintf(stderr, "%s\n%sPodrobnosti: Zevlon --help\n", co.c_str(), kPouziti);
  return zevlon::kNavratPouziti;
}

// A run (`spustit` with its argument) with the face chosen for it: windows on a display,
// the prompt at a terminal, nothing when unattended. Its install step (`krok`) hands a
// profile of another user to that user's process, for the task `uloha`.
template <typename Spustit, typename Argument, typename Krok>
int SRozhranim(Spustit spustit, const Argument& argument, Krok krok, const char* uloha) {
  zevlon::ZvoleneRozhrani rozhrani;
  zevlon::NastavitUi(&rozhrani.Aktivni());
  int navrat = spustit(argument, [&](const std::string& ini, zevlon::SouhrnObnovy& souhrn) {
    return krok(
        ini,
        [&](uid_t vlastnik, const std::string& i, zevlon::SouhrnObnovy& s) {
          return zevlon::AktualizovatZaVlastnika(vlastnik, i, s, uloha);
        },
        &souhrn);
  });
  zevlon::NastavitUi(nullptr);
  return navrat;
}

// `--vratit [--ano] [--i-pres-zmenu-dat]`: back from the last update, as a run of its own.
int Vratit(int argc, char** argv) {
  zevlon::VolbyNavratu volby;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], zevlon::kVolbaAno) == 0)
      volby.ano = true;
    else if (std::strcmp(argv[i], zevlon::kVolbaPresZmenuDat) == 0)
      volby.presZmenuDat = true;
    else
      return ChybaPouziti("Volba --vratit má jen argumenty --ano a --i-pres-zmenu-dat.");
  }
  return SRozhranim(zevlon::MainNavratu, volby, zevlon::NavratSetupDunmor,
                    zevlon::kNavratZaVlastnika);
}

// "--stav --nagios [--varovani HODIN] [--kriticke HODIN]".
int StavNagios(int argc, char** argv) {
  zevlon::PrahyNagios prahy;
  for (int i = 3; i < argc; i += 2) {
    const bool varovani = std::strcmp(argv[i], zevlon::kVolbaVarovani) == 0;
    const auto hodin = i + 1 < argc ? zevlon::CisloPole(argv[i + 1], 1, 100000) : std::nullopt;
    if ((!varovani && std::strcmp(argv[i], zevlon::kVolbaKriticke) != 0) || !hodin)
      return ChybaPouziti("Volba --nagios má jen argumenty --varovani HODIN a --kriticke HODIN.");
    (varovani ? prahy.varovani : prahy.kriticke) = *hodin * 3600;
  }
  // A warning after the critical age would never come.
  if (prahy.varovani > prahy.kriticke)
    return ChybaPouziti(
        "Doba --varovani (výchozí 48 hodin) nesmí být delší než --kriticke "
        "(výchozí 168 hodin).");
  return zevlon::StavNagios(prahy, stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // A process of root makes nothing that group or others may write, whatever umask it was
  // started with (a shell's "umask 0", a service manager's): every folder and file it
  // creates, and every process it starts, keeps at least 022.
  if (::geteuid() == 0) ::umask(::umask(022) | 022);
  // "--zpozdeni N" before a run: a random wait of up to N minutes, holding nothing (no
  // lock, no connection), then the run the remaining arguments ask for.
  if (argc >= 2 && std::strcmp(argv[1], zevlon::kVolbaZpozdeni) == 0) {
    const auto minut =
        argc >= 3 ? zevlon::CisloPole(argv[2], 0, zevlon::kMaxNahodnehoZpozdeni) : std::nullopt;
    if (!minut)
      return ChybaPouziti("Volba " + std::string(zevlon::kVolbaZpozdeni) +
                          " potřebuje počet minut od 0 do " +
                          std::to_string(zevlon::kMaxNahodnehoZpozdeni) + ".");
    if (argc >= 4 && std::strncmp(argv[3], "--", 2) == 0)
      return ChybaPouziti("Volba " + std::string(zevlon::kVolbaZpozdeni) +
                          " patří jen před běh aktualizace.");
    zevlon::PockatNahodne(static_cast<int>(*minut));
    argv[2] = argv[0];
    argv += 2;
    argc -= 2;
  }
  // An argument that begins with "--" is one of the options, alone; never a file.
  if (argc >= 2 && std::strncmp(argv[1], "--", 2) == 0 &&
      std::strcmp(argv[1], zevlon::kVolbaZaVlastnika) != 0) {
    const std::string volba = argv[1];
    if (!zevlon::PrvniVolba(volba)) return ChybaPouziti("Neznámá volba " + volba + ".");
    if (volba == zevlon::kVolbaStav) {
      if (argc >= 3 && std::strcmp(argv[2], zevlon::kVolbaNagios) == 0)
        return StavNagios(argc, argv);
      if (argc > 3 || (argc == 3 && std::strcmp(argv[2], zevlon::kVolbaJson) != 0))
        return ChybaPouziti("Volba --stav má jen argument --json nebo --nagios.");
      return zevlon::VypsatStav(argc == 3, stdout);
    }
    if (volba == zevlon::kVolbaDrzet) {
      if (argc > 3) return ChybaPouziti("Volba --drzet má jen argument vydání.");
      return zevlon::Drzet(argc == 3 ? std::optional<std::string>(argv[2]) : std::nullopt, stdout);
    }
    if (volba == zevlon::kVolbaVratit) return Vratit(argc, argv);
    if (argc > 2) return ChybaPouziti("Volba " + volba + " nemá argumenty.");
    if (volba == zevlon::kVolbaUvolnit) return zevlon::Uvolnit(stdout);
    if (volba == zevlon::kVolbaKontrola) return zevlon::Kontrola(stdout);
  }
  if (argc == 2 &&
      (std::strcmp(argv[1], zevlon::kVolbaNapoveda) == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kPouziti, stdout);
    std::fputs(zevlon::platforma().ZBalicku() ? kPopisBalicku : kPopis, stdout);
    std::fputs(kNapoveda, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], zevlon::kVolbaMoznosti) == 0) {
    zevlon::ZvoleneRozhrani rozhrani;
    // SIGTERM ends the questions as Storno does, saving nothing (the face took SIGINT).
    zevlon::ZachytavatUkonceni();
    zevlon::NastavitUi(&rozhrani.Aktivni());
    int navrat = rozhrani.OtevritMoznosti();
    zevlon::NastavitUi(nullptr);
    return navrat;
  }
  // The process that root starts to renew a profile for its owner.
  if (argc > 1 && std::strcmp(argv[1], zevlon::kVolbaZaVlastnika) == 0)
    return zevlon::MainZaVlastnika(
        {argv + 2, argv + argc},
        [](const std::string& ini, zevlon::SouhrnObnovy& souhrn) {
          return zevlon::AktualizaceSetupDunmor(ini, {}, &souhrn);
        },
        [](const std::string& ini, zevlon::SouhrnObnovy& souhrn) {
          // The release information lies in the process's own folder, which takes the
          // snapshots too.
          souhrn =
              zevlon::SoucetOdhadu(zevlon::OdhadnoutProfil(ini, ini.substr(0, ini.rfind('/') + 1)));
          return true;
        },
        [](const std::string& ini, zevlon::SouhrnObnovy& souhrn) {
          return zevlon::NavratSetupDunmor(ini, {}, &souhrn);
        });
  if (argc == 2 && std::strcmp(argv[1], zevlon::kVolbaVerze) == 0) {
    std::printf("Zevlon %s\n", ZEVLON_VERZE);
    return 0;
  }
  // A first argument that begins with "-" is a mistyped option, never a file.
  if (argc >= 2 && argv[1][0] == '-')
    return ChybaPouziti("Neznámá volba " + std::string(argv[1]) + ".");
  // Several arguments are one text joined with blanks, so a path with blanks needs
  // no quoting.
  std::string prikaz;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) prikaz += ' ';
    prikaz += argv[i];
  }
  return SRozhranim(zevlon::Main, prikaz, zevlon::AktualizaceSetupDunmor, nullptr);
}
