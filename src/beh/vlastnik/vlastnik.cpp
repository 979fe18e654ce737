#include "beh/vlastnik/vlastnik.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <vector>

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
#include "rozhrani/rozhrani.h"
#include "rozhrani/stav.h"
#include "soubory/log.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

constexpr std::size_t kMaxTextu = 4096;  // one shown or logged text of the owner's process
constexpr int kMaxRadkuLogu = 10000;     // log lines taken from it in one run
constexpr std::size_t kMaxVydani = 64;   // a release number it reports
constexpr std::int64_t kMaxPoctu = std::int64_t{1} << 50;  // a count or size it reports

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

class Prostrednik {
 public:
  // `logovat`: the owner's log lines go into root's logs (a check changes no log).
  Prostrednik(Kanal& k, const std::string& vlastnik, bool logovat)
      : k_(k), vlastnik_(vlastnik), logovat_(logovat) {}
  // Relays until the owner's process closes its end; answers its outcome, if it gave one.
  std::optional<VysledekVlastnika> Prenaset();

 private:
  bool Zpracovat(const ZpravaKanalu& z);
  void Odpovedet(int odpoved) { (void)k_.Poslat({zpravy::kOdpoved, {std::to_string(odpoved)}}); }
  std::string Text(const std::string& t, bool radky = true) const {
    return OcistitText(t, kMaxTextu, radky);
  }

  Kanal& k_;
  const std::string& vlastnik_;
  const bool logovat_;
  std::optional<VysledekVlastnika> vysledek_;
  bool zruseniPoslano_ = false;
  int radkuLogu_ = 0;
};

bool Prostrednik::Zpracovat(const ZpravaKanalu& z) {
  const std::vector<std::string>& p = z.pole;
  auto ano = [](const std::string& s) { return s == "1"; };
  switch (z.typ) {
    case zpravy::kPrubeh: {
      if (p.size() != 7) return false;
      const auto hotovo = CisloPole(p[3], INT32_MIN, INT32_MAX);
      const auto celkem = CisloPole(p[4], INT32_MIN, INT32_MAX);
      if (!hotovo || !celkem) return false;
      const std::string podnadpis = Text(p[0], false), zprava = Text(p[1]);
      HlaseniPrubehu h{podnadpis,
                       zprava,
                       ano(p[2]),
                       static_cast<std::int32_t>(*hotovo),
                       static_cast<std::int32_t>(*celkem),
                       ano(p[5]),
                       ano(p[6])};
      Ui().Prubeh(h);
      return true;
    }
    case zpravy::kOtazka: {
      const auto styl = p.size() == 3 ? CisloPole(p[1], 0, 0xffff) : std::nullopt;
      if (!styl) return false;
      Odpovedet(Ui().Zprava(Text(p[0]), static_cast<int>(*styl), Text(p[2], false)));
      return true;
    }
    case zpravy::kVolba: {
      const auto cislo = p.size() == 7 ? CisloPole(p[4], INT32_MIN, INT32_MAX) : std::nullopt;
      if (!cislo) return false;
      ParametryVolby v{Text(p[0]),
                       Text(p[1], false),
                       Text(p[2]),
                       Text(p[3]),
                       static_cast<std::int32_t>(*cislo),
                       Text(p[5], false),
                       ano(p[6])};
      Odpovedet(Ui().Volba(v));
      return true;
    }
    case zpravy::kOkno:
      if (p.size() != 1) return false;
      if (p[0] == "m") Ui().Minimalizovat();
      if (p[0] == "o") Ui().Obnovit();
      return true;
    case zpravy::kLog: {
      if (p.size() != 2) return false;
      const char* log = p[0] == kChybovyLog     ? kChybovyLog
                        : p[0] == kPrenosovyLog ? kPrenosovyLog
                                                : nullptr;
      if (!log) return false;
      if (!logovat_) return true;
      // Root's log folder is not the owner's to fill.
      if (++radkuLogu_ <= kMaxRadkuLogu) ZapsatDoLogu(log, Text(p[1], false));
      if (radkuLogu_ == kMaxRadkuLogu + 1)
        ZapsatDoLogu(kChybovyLog, "Proces uživatele " + vlastnik_ + " zapsal přes " +
                                      std::to_string(kMaxRadkuLogu) +
                                      " řádků logu, další se nezapisují.");
      return true;
    }
    case zpravy::kVysledek: {
      if (p.size() != 12 || vysledek_) return false;
      VysledekVlastnika v;
      v.pokracovat = ano(p[3]);
      std::int64_t* pocty[] = {&v.souhrn.slozek, &v.souhrn.zkopirovano, &v.souhrn.stazeno,
                               &v.souhrn.zRozdilu, &v.souhrn.bajtu};
      for (std::size_t i = 0; i < std::size(pocty); ++i) {
        const auto c = CisloPole(p[4 + i], 0, kMaxPoctu);
        if (!c) return false;
        *pocty[i] = *c;
      }
      v.souhrn.vydaniPred = OcistitText(p[9], kMaxVydani, false);
      v.souhrn.vydaniPo = OcistitText(p[10], kMaxVydani, false);
      v.souhrn.odmitnuto = ano(p[11]);
      if (!p[0].empty()) {
        const auto cislo = CisloPole(p[0], INT32_MIN, INT32_MAX);
        if (!cislo) return false;
        v.chyba = true;
        v.cislo = static_cast<std::int32_t>(*cislo);
        v.popis = Text(p[1]);
        v.polozka = Text(p[2], false);
      }
      vysledek_ = v;
      return true;
    }
    default:
      return false;
  }
}

std::optional<VysledekVlastnika> Prostrednik::Prenaset() {
  for (;;) {
    bool konec = false;
    const std::optional<ZpravaKanalu> z = k_.Prijmout(std::chrono::milliseconds(50), konec);
    // What is not a message of the channel ends the relay: the process is stopped.
    if (z && !Zpracovat(*z)) {
      ZapsatChybuBehu("Proces uživatele " + vlastnik_ + " poslal neplatnou zprávu a byl ukončen.",
                      "");
      return std::nullopt;
    }
    if (konec) return vysledek_;
    Ui().ZpracovatUdalosti();
    if (!zruseniPoslano_ && (Ui().Zruseno() || UkonceniVyzadano()))
      zruseniPoslano_ = k_.Poslat({zpravy::kZruseni, {}});
  }
}

}  // namespace

bool AktualizovatZaVlastnika(uid_t vlastnik, const std::string& ini, SouhrnObnovy& souhrn,
                             bool jenOdhad) {
  const std::string profil = CistIni(ini, "Merko", "SlozkaProfilu");
  const std::optional<Ucet> ucet = NajitUcet(vlastnik);
  if (!ucet)
    VyvolatChybu("Profil " + profil + " patří uživateli s číslem " + std::to_string(vlastnik) +
                 ", kterého databáze uživatelů nezná, proto jej nelze aktualizovat.");
  OveritDomov(*ucet, profil);

  // What the owner's process is handed, sealed: the options (with the keys to verify by),
  // the release information as this run holds it and, when releases are verified, as
  // its signature covers it, with the signature.
  const bool overovat = NastaveniOvereniWebu().Zapnuto();
  std::vector<Popisovac> predane;
  auto predat = [&](const char* nazev, const std::string& bajty) {
    predane.emplace_back(ZapecetenySoubor(nazev, bajty));
  };
  try {
    predat("volby", Precist(CestaVolebIni(), false));
    predat("informace", Precist(ini, true));
    predat("overene", overovat ? Precist(ini + kPriponaOverenych, true) : std::string());
    predat("podpis", overovat ? Precist(ini + kPriponaPodpisu, true) : std::string());
  } catch (const std::system_error& e) {
    VyvolatChybu("Nelze připravit aktualizaci za uživatele " + ucet->jmeno + ": " +
                 ss::ChybaSystemu(e.code().value(), "").popis);
  }
  auto [nase, jeho] = VytvoritKanal();

  SpusteniJakoUcet s;
  s.ucet = *ucet;
  s.program = platforma().CestaProgramu();
  s.argumenty = {kVolbaZaVlastnika, RezimSystem ? "1" : "0", Ui().BezObsluhy() ? "1" : "0"};
  if (jenOdhad) s.argumenty.push_back(kOdhadZaVlastnika);
  s.prostredi = {"HOME=" + ucet->domov, "USER=" + ucet->jmeno, "LOGNAME=" + ucet->jmeno,
                 "PATH=/usr/local/bin:/usr/bin:/bin"};
  // The way to the site is root's choice: its proxy and its certificate authorities.
  for (const char* promenna :
       {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY",
        "ALL_PROXY", "NO_PROXY", "SSL_CERT_FILE", "SSL_CERT_DIR", "CURL_CA_BUNDLE"})
    if (const char* h = std::getenv(promenna))
      s.prostredi.push_back(std::string(promenna) + "=" + h);
  s.popisovace = {jeho.Fd()};
  for (const Popisovac& p : predane)
    s.popisovace.push_back(p.Fd());
  pid_t pid = -1;
  try {
    pid = SpustitJakoUcet(s);
  } catch (const std::system_error& e) {
    VyvolatChybu("Proces, který by aktualizoval profil " + profil + " za uživatele " + ucet->jmeno +
                 ", se nepodařilo spustit: " + ss::ChybaSystemu(e.code().value(), s.program).popis);
  }
  jeho = Kanal();
  predane.clear();

  const std::optional<VysledekVlastnika> v = Prostrednik(nase, ucet->jmeno, !jenOdhad).Prenaset();
  nase = Kanal();
  // Once its channel is closed the process has nothing left to do: one that lingers, or
  // that broke the channel's rules, does not keep root's run (and its lock) waiting.
  if (!v) ::kill(pid, SIGKILL);
  int stav = 0;
  for (int i = 0;; ++i) {
    const pid_t r = ::waitpid(pid, &stav, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) break;
    if (i == 100) ::kill(pid, SIGKILL);
    platforma().Uspat(std::chrono::milliseconds(100));
  }
  const std::string konec = WIFSIGNALED(stav)
                                ? "signál " + std::to_string(WTERMSIG(stav))
                                : "návratový kód " + std::to_string(WEXITSTATUS(stav));
  if (!jenOdhad)
    ZapsatDoLogu(kPrenosovyLog, "Profil " + profil + " aktualizoval proces uživatele " +
                                    ucet->jmeno + ": " +
                                    (!v          ? "skončil bez výsledku (" + konec + ")."
                                     : !v->chyba ? std::string("bez chyby.")
                                                 : v->popis));
  if (v) souhrn = v->souhrn;
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
