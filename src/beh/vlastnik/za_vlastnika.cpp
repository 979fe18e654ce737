#include "beh/vlastnik/za_vlastnika.h"

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "beh/nastaveni_prenosu.h"
#include "beh/vlastnik/vlastnik.h"
#include "beh/vlastnik/zpravy.h"
#include "beh/zamek.h"
#include "common/adresa.h"
#include "common/chyba.h"
#include "instalace/navrat.h"
#include "platform/http/http.h"
#include "platform/nahrady/platforma.h"
#include "platform/procesy/kanal.h"
#include "platform/procesy/ukonceni.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/soukromy_temp.h"
#include "prenos/podpisy/klice_webu.h"
#include "prenos/podpisy/overeni.h"
#include "prenos/stahovani/informace_vydani.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/rozhrani.h"
#include "rozhrani/stav.h"
#include "soubory/log.h"
#include "soubory/operace_slozek.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

// The face of the run is root's: every report and question goes there.
class PredavaciRozhrani : public Rozhrani {
 public:
  PredavaciRozhrani(Kanal& k, bool bezObsluhy) : k_(k), bezObsluhy_(bezObsluhy) {}

  void Prubeh(const HlaseniPrubehu& h) override { Poslat(ZpravaPrubehu(h)); }
  void ZpracovatUdalosti() override {
    while (Prijmout(std::chrono::milliseconds(0))) {
    }
  }
  bool Zruseno() const override { return zruseno_; }
  int Zprava(const std::string& text, int styl, const std::string& titulek) override {
    Poslat({zpravy::kOtazka, {text, std::to_string(styl), titulek}});
    return Odpoved(mb::kIdStorno);
  }
  int Volba(const ParametryVolby& p) override {
    Poslat(ZpravaVolby(p));
    return Odpoved(0);
  }
  bool BezObsluhy() const override { return bezObsluhy_; }
  void Minimalizovat() override { Poslat({zpravy::kOkno, {"m"}}); }
  void Vymeny(bool zacatek) override { Poslat({zpravy::kVymeny, {zacatek ? "1" : "0"}}); }
  void Obnovit() override { Poslat({zpravy::kOkno, {"o"}}); }

 private:
  // A root run that is gone, or that no longer listens, stops this one as Storno would.
  void Poslat(const ZpravaKanalu& z) {
    if (!k_.Poslat(z)) zruseno_ = true;
  }
  // Takes one message from root; the answer to a question is handed back.
  std::optional<int> Prijmout(std::chrono::milliseconds doba) {
    bool konec = false;
    std::optional<zevlon::ZpravaKanalu> z = k_.Prijmout(doba, konec);
    if (konec) zruseno_ = true;
    if (!z) return std::nullopt;
    if (z->typ == zpravy::kZruseni) zruseno_ = true;
    if (z->typ == zpravy::kOdpoved && z->pole.size() == 1)
      if (auto c = CisloPole(z->pole[0], INT32_MIN, INT32_MAX)) return static_cast<int>(*c);
    return 0;
  }
  // Waits for root's answer; without one (root gone) the question counts as cancelled.
  int Odpoved(int bezOdpovedi) {
    for (;;) {
      bool konec = false;
      std::optional<zevlon::ZpravaKanalu> z = k_.Prijmout(std::chrono::milliseconds(1000), konec);
      if (konec) {
        zruseno_ = true;
        break;
      }
      if (!z) continue;
      if (z->typ == zpravy::kZruseni) zruseno_ = true;
      if (z->typ == zpravy::kOdpoved && z->pole.size() == 1)
        if (auto c = CisloPole(z->pole[0], INT32_MIN, INT32_MAX)) return static_cast<int>(*c);
    }
    return bezOdpovedi;
  }

  Kanal& k_;
  const bool bezObsluhy_;
  bool zruseno_ = false;
};

// The options are the copy root handed over; the logs are root's.
class PlatformaVlastnika : public Platforma {
 public:
  explicit PlatformaVlastnika(Kanal& k) : k_(k) {}
  void NastavitSlozkuVoleb(std::string s) { voleb_ = std::move(s); }

  std::string SlozkaVoleb() override { return voleb_; }
  bool ZaVlastnika() override { return true; }
  bool PredatRadekLogu(const char* log, const std::string& text) override {
    (void)k_.Poslat({zpravy::kLog, {log, text}});
    return true;
  }

 private:
  Kanal& k_;
  std::string voleb_;
};

// Tells root from a thread of its own, every kDobaTepu, that this process lives, whatever its
// run is busy with (a long flush or scan sends nothing); it never waits for root.
class Tep {
 public:
  explicit Tep(Kanal& k)
      : vlakno_([this, &k] {
          std::unique_lock<std::mutex> z(zamek_);
          while (!konec_) {
            (void)k.PoslatBezCekani({zpravy::kTep, {}});  // a full queue: root sees messages
            podminka_.wait_for(z, kDobaTepu, [this] { return konec_; });
          }
        }) {}
  ~Tep() {
    {
      std::lock_guard<std::mutex> z(zamek_);
      konec_ = true;
    }
    podminka_.notify_one();
    vlakno_.join();
  }
  Tep(const Tep&) = delete;
  Tep& operator=(const Tep&) = delete;

 private:
  std::mutex zamek_;
  std::condition_variable podminka_;
  bool konec_ = false;
  std::thread vlakno_;
};

std::string Predane(int fd, const char* co) {
  std::optional<std::string> b = CistZapecetenySoubor(fd, KlientHttp::kMaxInformaci);
  if (!b) VyvolatChybu(std::string("Proces aktualizace nedostal ") + co + ".");
  return *b;
}

void Zapsat(const std::string& cesta, const std::string& obsah) {
  if (int e = ZapsatSouborAtomicky(cesta, obsah)) {
    AktualniPolozka = cesta;
    VyvolatChybu("Soubor " + cesta + " se nepodařilo zapsat: " + ss::ChybaSystemu(e, cesta).popis);
  }
}

// The release information this process works with: as the signature covers it, verified
// again with the keys of the handed options, plus the profile's folder that root's run
// chose; without keys, as root's run holds it.
std::string PripravitInformace(const std::string& slozka, bool overit) {
  const std::string volby = Predane(kFdVoleb, "volby");
  const std::string informace = Predane(kFdInformaci, "informace o vydání");
  const std::string overene = Predane(kFdOverenych, "ověřené informace o vydání");
  const std::string podpis = Predane(kFdPodpisu, "podpis informací o vydání");
  Zapsat(CestaVolebIni(), volby);
  const std::string ini = slozka + "/" + kSouborVydani;
  Zapsat(ini, informace);
  const NastaveniOvereni overeni = NastaveniOvereniWebu();
  if (!overit || !overeni.Zapnuto()) return ini;
  const std::string profil = CistIni(ini, "Merko", "SlozkaProfilu");
  const std::string mimoVlnu = CistIni(ini, "Merko", kKlicMimoVlnu);
  Zapsat(ini, overene);
  Zapsat(ini + kPriponaPodpisu, podpis);
  OveritPodpisSouboru(ini, ini + kPriponaPodpisu, overeni.klice, overeni.platnostDni,
                      platforma().Ted(), BezPristupovychUdaju(AdresaWebu() + kSouborVydani));
  ZapsatIni(ini, "Merko", "SlozkaProfilu", profil);
  ZapsatIni(ini, "Merko", kKlicMimoVlnu, mimoVlnu);
  return ini;
}

}  // namespace

int MainZaVlastnika(const std::vector<std::string>& argumenty, const AktualizaceSetup& instalace,
                    const AktualizaceSetup& odhad, const AktualizaceSetup& navrat) {
  // Only a process that root started for another user, with its channel.
  const bool jenOdhad = argumenty.size() == 3 && argumenty[2] == kOdhadZaVlastnika;
  const bool vratit = argumenty.size() == 3 && argumenty[2] == kNavratZaVlastnika;
  const bool uvolnit = argumenty.size() == 3 && argumenty[2] == kUvolnitZaVlastnika;
  if (::geteuid() == 0 || (argumenty.size() != 2 && !jenOdhad && !vratit && !uvolnit))
    return kNavratChyba;
  ZachytavatUkonceni();
  Kanal kanal(kFdKanalu);
  PlatformaVlastnika platforma(kanal);
  PredavaciRozhrani rozhrani(kanal, argumenty[1] == "1");
  NastavitPlatformu(&platforma);
  NastavitUi(&rozhrani);
  RezimSystem = argumenty[0] == "1";

  VysledekVlastnika v;
  std::optional<Tep> tep(std::in_place, kanal);
  try {
    ZamekBehu zamek;
    zamek.Zamknout(kCekaniNaZamek);
    TempBehu temp;
    temp.Zvolit();
    SlozkaVTempu slozka(temp.Slozka(), "vlastnik");
    if (slozka.Cesta().empty())
      VyvolatChybu("Ve složce " + temp.Slozka() + " se nepodařilo vytvořit složku aktualizace.");
    platforma.NastavitSlozkuVoleb(slozka.Cesta());
    const std::string ini = PripravitInformace(slozka.Cesta(), !vratit && !uvolnit);
    NastavitPrenosy();
    // Root's way to the site, for this process's transfers alone.
    const std::optional<KlientHttp::Proxy> proxy =
        DekodovatProxy(Predane(kFdPrenosu, "nastavení přenosů"));
    // Its password is this process's alone: nothing it starts inherits the descriptor.
    ::close(kFdPrenosu);
    if (!proxy) VyvolatChybu("Proces aktualizace nedostal nastavení přenosů.");
    Http().proxy = proxy;
    // The run that started this one decided on the updater already.
    ZapsatIni(ini, "Merko", "ZevlonVerze", "");
    if (uvolnit) {
      v.souhrn.vraceno = ZrusitOdmitnutiVydani(CistIni(ini, "Merko", "SlozkaProfilu"));
      v.pokracovat = true;
    } else {
      v.pokracovat = (jenOdhad ? odhad : vratit ? navrat : instalace)(ini, v.souhrn);
    }
  } catch (const std::exception& e) {
    const Chyba c = JakoChyba(e);
    v.chyba = true;
    v.cislo = c.Cislo();
    v.popis = c.Popis();
    v.polozka = AktualniPolozka;
  }
  tep.reset();
  (void)kanal.Poslat(ZpravaVysledku(v));
  NastavitUi(nullptr);
  NastavitPlatformu(nullptr);
  if (!v.chyba) return kNavratUspech;
  return v.cislo == kChybaZruseno ? kNavratZruseno : kNavratChyba;
}

}  // namespace zevlon
