#include "beh/vlastnik/vlastnik.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <vector>

#include "beh/kontrola_voleb.h"
#include "beh/nastaveni_prenosu.h"
#include "beh/vlastnik/prostrednik.h"
#include "beh/vlastnik/zpravy.h"
#include "common/chyba.h"
#include "platform/http/http.h"
#include "platform/nahrady/platforma.h"
#include "platform/procesy/kanal.h"
#include "platform/procesy/proces_vlastnika.h"
#include "platform/procesy/ucty.h"
#include "platform/procesy/ukonceni.h"
#include "platform/soubory/rozliseni_cesty.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/podpisy/klice_webu.h"
#include "prenos/podpisy/overeni.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/rozhrani.h"
#include "rozhrani/stav.h"
#include "soubory/log.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

// The owner's home folder, resolved as root resolves any path: a real folder of theirs.
void OveritDomov(const Ucet& u, const std::string& profil) {
  const ss::Rozliseni r =
      u.domov.empty() || u.domov.front() != '/' ? ss::Rozliseni{} : ss::RozlisitCestu(u.domov, 0);
  const bool jeho = r.chyba.Uspech() && r.odmitnutyOdkaz.empty() && r.existuje &&
                    !r.slozky.empty() && r.slozky.back().cesta == r.cesta &&
                    r.slozky.back().vlastnik == u.uid;
  if (!jeho)
    VyvolatChybu("Profil " + profil + " patří uživateli " + u.jmeno +
                 ", který nemá vlastní domovskou složku (" +
                 (u.domov.empty() ? std::string("žádná") : u.domov) +
                 "), proto za něj nelze profil aktualizovat.");
}

std::string Precist(const std::string& cesta, bool povinny) {
  int chyba = 0;
  std::optional<std::string> obsah = NacistSoubor(cesta, &chyba);
  if (obsah) return *obsah;
  if (!povinny && chyba == ENOENT) return {};
  AktualniPolozka = cesta;
  VyvolatChybu("Soubor " + cesta + " nelze přečíst: " + ss::ChybaSystemu(chyba, cesta).popis);
}

// The seconds of [Server] LhutaTicha, at least kMinLhutaTicha.
std::chrono::seconds LhutaTicha() {
  const std::int64_t s =
      KladneCisloServeru(CestaVolebIni(), kKlicLhutyTicha).value_or(kLhutaTicha.count());
  return std::max(std::chrono::seconds(s), kMinLhutaTicha);
}

// Ends the owner's process and its process group: at once, or after it had `lhuta` to end
// by itself; then takes its status. Answers how it ended, for the log.
std::string Ukoncit(pid_t pid, std::chrono::seconds lhuta) {
  const auto zacatek = std::chrono::steady_clock::now();
  for (;;) {
    // Seen ended but not yet taken, so that its number cannot yet go to another process.
    siginfo_t info{};
    const int r = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    if (r < 0 && errno != EINTR) return "stav neznámý";
    const bool skoncil = r == 0 && info.si_pid == pid;
    const auto uplynulo = std::chrono::steady_clock::now() - zacatek;
    if (skoncil || uplynulo >= lhuta) {
      // What it started and left behind goes with it.
      ::kill(-pid, SIGKILL);
      if (!skoncil) ::kill(pid, SIGKILL);
    }
    if (skoncil) break;
    // A process that not even SIGKILL ends (a hung file system) is left to the system.
    if (uplynulo >= lhuta + std::chrono::seconds(5)) return "neukončen";
    platforma().Uspat(std::chrono::milliseconds(50));
  }
  int stav = 0;
  while (::waitpid(pid, &stav, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(stav)) return "signál " + std::to_string(WTERMSIG(stav));
  return "návratový kód " + std::to_string(WEXITSTATUS(stav));
}

}  // namespace

bool AktualizovatZaVlastnika(uid_t vlastnik, const std::string& ini, SouhrnObnovy& souhrn,
                             const char* uloha) {
  const bool jenOdhad = uloha && std::string_view(uloha) == kOdhadZaVlastnika;
  const std::string profil = CistIni(ini, "Merko", "SlozkaProfilu");
  const std::optional<Ucet> ucet = NajitUcet(vlastnik);
  if (!ucet)
    VyvolatChybu("Profil " + profil + " patří uživateli s číslem " + std::to_string(vlastnik) +
                 ", kterého databáze uživatelů nezná, proto jej nelze aktualizovat.");
  OveritDomov(*ucet, profil);

  // What the owner's process is handed, sealed: the options its run uses (with the keys
  // to verify by), the release information as this run holds it and, when releases are
  // verified, as its signature covers it, with the signature; root's way to the site.
  const bool overovat = NastaveniOvereniWebu().Zapnuto() &&
                        !(uloha && (std::string_view(uloha) == kNavratZaVlastnika ||
                                    std::string_view(uloha) == kUvolnitZaVlastnika));
  std::vector<Popisovac> predane;
  auto predat = [&](const char* nazev, const std::string& bajty) {
    predane.emplace_back(ZapecetenySoubor(nazev, bajty));
  };
  try {
    predat("volby", VolbyProVlastnika(CestaVolebIni()));
    predat("informace", Precist(ini, true));
    predat("overene", overovat ? Precist(ini + kPriponaOverenych, true) : std::string());
    predat("podpis", overovat ? Precist(ini + kPriponaPodpisu, true) : std::string());
    // The options' proxy (with root's credentials for it), else root's environment's.
    predat("prenos", ZakodovatProxy(Http().proxy.value_or(ProxyZProstredi())));
  } catch (const std::system_error& e) {
    VyvolatChybu("Nelze připravit aktualizaci za uživatele " + ucet->jmeno + ": " +
                 ss::ChybaSystemu(e.code().value(), "").popis);
  }
  auto [nase, jeho] = VytvoritKanal();

  SpusteniJakoUcet s;
  s.ucet = *ucet;
  s.program = platforma().CestaProgramu();
  s.argumenty = {kVolbaZaVlastnika, RezimSystem ? "1" : "0", Ui().BezObsluhy() ? "1" : "0"};
  if (uloha) s.argumenty.push_back(uloha);
  s.prostredi = {"HOME=" + ucet->domov, "USER=" + ucet->jmeno, "LOGNAME=" + ucet->jmeno,
                 "PATH=/usr/local/bin:/usr/bin:/bin"};
  // The certificate authorities are root's choice; its proxy comes as the transfers'
  // options above, so that nothing the process starts inherits its credentials.
  for (const char* promenna : {"SSL_CERT_FILE", "SSL_CERT_DIR"})
    if (const char* h = std::getenv(promenna))
      s.prostredi.push_back(std::string(promenna) + "=" + h);
  s.popisovace = {jeho.Fd()};
  for (const Popisovac& p : predane)
    s.popisovace.push_back(p.Fd());
  SpustenyUcet spusteny;
  try {
    spusteny = SpustitJakoUcet(s);
  } catch (const std::system_error& e) {
    VyvolatChybu("Proces, který by aktualizoval profil " + profil + " za uživatele " + ucet->jmeno +
                 ", se nepodařilo spustit: " + ss::ChybaSystemu(e.code().value(), s.program).popis);
  }
  jeho = Kanal();
  predane.clear();
  if (spusteny.chybaKlicenky != 0 && !jenOdhad)
    ZapsatDoLogu(kPrenosovyLog, "Proces uživatele " + ucet->jmeno +
                                    " nedostal vlastní svazek klíčů jádra (" +
                                    ss::ChybaSystemu(spusteny.chybaKlicenky, "").popis +
                                    "), běží se svazkem relace správce.");

  LhutyVlastnika lhuty;
  lhuty.konecBehu = Http().konecBehu;
  lhuty.ticho = LhutaTicha();
  const PrenosVlastnika p = PrenasetZVlastnika(nase, ucet->jmeno, !jenOdhad, lhuty);
  nase = Kanal();
  // A process that closed its channel has a moment to end; one that root stops, or that
  // lingers, is ended with everything it started, so that it never holds root's run.
  const std::string konec =
      Ukoncit(spusteny.pid, p.zavreno ? std::chrono::seconds(10) : std::chrono::seconds(0));
  const std::optional<VysledekVlastnika>& v = p.vysledek;
  if (!jenOdhad)
    ZapsatDoLogu(kPrenosovyLog, "Profil " + profil + " aktualizoval proces uživatele " +
                                    ucet->jmeno + ": " +
                                    (!v          ? "skončil bez výsledku (" + konec + ")."
                                     : !v->chyba ? std::string("bez chyby.")
                                                 : v->popis));
  if (v) {
    souhrn = v->souhrn;
    souhrn.odUzivatele = ucet->jmeno;
  }
  const std::string kdo = "Proces uživatele " + ucet->jmeno;
  switch (p.konec) {
    case KonecVlastnika::kZadny:
      break;
    case KonecVlastnika::kNeplatnaZprava:
      VyvolatChybu(kdo + " poslal neplatnou zprávu a byl ukončen.");
    case KonecVlastnika::kTicho:
      VyvolatChybu(kdo + " neodpovídal " +
                   std::to_string(std::chrono::ceil<std::chrono::seconds>(lhuty.ticho).count()) +
                   " s a byl ukončen.");
    case KonecVlastnika::kNecte:
      VyvolatChybu(kdo + " nepřijímal zprávy a byl ukončen.");
    case KonecVlastnika::kZruseno:
      // What it reported stands (an update it completed before the stop came, its own
      // cancel); a process that had to be ended was cancelled. One that completed its
      // swaps while the stop waited spent the stop: this run does no further work either.
      if (!v) throw Chyba(kChybaZruseno, kTextPreruseno);
      if (!v->chyba) {
        OznacitStopPozde();
        ZapsatDoLogu(kPrenosovyLog, kStopPozde);
      }
      break;
    case KonecVlastnika::kLhutaBehu:
      if (!v || v->chyba) Http().OveritLhutuBehu();
      break;
  }
  if (!v)
    VyvolatChybu("Proces, který aktualizoval profil " + profil + " za uživatele " + ucet->jmeno +
                 ", skončil bez výsledku (" + konec + ").");
  if (v->chyba) {
    AktualniPolozka = v->polozka;
    throw Chyba(v->cislo, v->popis);
  }
  return v->pokracovat;
}

}  // namespace zevlon
