#include "rozhrani/prubeh.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "common/adresa.h"
#include "common/chyba.h"
#include "common/text.h"
#include "platform/procesy/ukonceni.h"
#include "rozhrani/stav.h"

namespace zevlon {

namespace {

// The stop that waits for the swaps: whether they are under way, when a stop came during
// them, and whether one came too late to break them off (then no stop is raised any more).
struct StavOdkladu {
  bool vymeny = false;
  std::optional<std::chrono::steady_clock::time_point> pozadavek;
  bool pozde = false;
};
StavOdkladu& Odklad() {
  static StavOdkladu s;
  return s;
}

// Whether a stop that was asked waits now instead of being raised.
bool Odlozit() {
  StavOdkladu& o = Odklad();
  if (o.pozde) return true;
  if (!o.vymeny) return false;
  const auto ted = std::chrono::steady_clock::now();
  if (!o.pozadavek) o.pozadavek = ted;
  return ted - *o.pozadavek < kOdkladZastaveni;
}

// n ÷ d rounded to the nearest whole number, halves to even (d > 0).
std::int64_t ZaokrouhlitSudou(std::int64_t n, std::int64_t d) {
  std::int64_t q = n / d, r = n % d;
  if (r < 0) {
    --q;
    r += d;
  }
  if (2 * r > d || (2 * r == d && (q % 2 != 0))) ++q;
  return q;
}

// How ZobrazPrubehSouboru joins the message and the parts of a file's progress.
constexpr std::string_view kPredSouborem = " – ", kMeziCastmi = ", ", kZbyva = "zbývá ";

// The message line and buttons of the last report, which the progress inside a file
// extends.
struct PosledniHlaseni {
  std::string zprava;
  bool storno = false, zavrit = false;
};
PosledniHlaseni& Posledni() {
  static PosledniHlaseni p;
  return p;
}

void PosunoutEtapu(std::int32_t etapa) {
  Etapa& e = EtapaPrubehu;
  if (etapa == -1) return;
  if (etapa == 0) {
    e.Konec = e.Zacatek = 0;
    return;
  }
  if (e.Konec < etapa) {
    e.Zacatek = e.Konec;
    e.Konec = etapa;
    if (e.Zacatek > e.Konec) e.Zacatek = 0;
    if (e.Konec > 100) e.Konec = e.Zacatek = 0;
  }
}

}  // namespace

void ZobrazPrubeh(const std::string& nadpis, const std::string& zprava, std::int32_t hodnota,
                  std::int32_t celkem, std::int32_t etapa, bool stornoZobrazeno,
                  bool zavritZobrazeno) {
  PosunoutEtapu(etapa);

  const std::string bezUdaju = BezPristupovychUdaju(zprava);
  HlaseniPrubehu h;
  h.podnadpis = nadpis;
  h.zprava = bezUdaju;
  h.stornoZobrazeno = stornoZobrazeno;
  h.zavritZobrazeno = zavritZobrazeno;
  Posledni() = {bezUdaju, stornoZobrazeno, zavritZobrazeno};
  // A negative value leaves the meter alone; the stage mapping (in 64 bits, so large
  // totals cannot overflow) applies to real values only.
  if (hodnota >= 0) {
    std::int64_t v = hodnota, c = celkem;
    const Etapa& e = EtapaPrubehu;
    if (e.Konec != 0 && celkem != 0) {
      std::int64_t citatel = std::int64_t{e.Konec - e.Zacatek} * 10 * v;
      if (c < 0) {
        citatel = -citatel;
        c = -c;
      }
      v = std::int64_t{e.Zacatek} * 10 + ZaokrouhlitSudou(citatel, c);
      c = 1000;
    }
    h.zmenitMetr = true;
    h.hotovo = static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
    h.celkem = static_cast<std::int32_t>(c);
  }
  Ui().Prubeh(h);
  Ui().ZpracovatUdalosti();
  if (Ui().Zruseno() && !Odlozit()) VyvolatZruseni();
  if (UkonceniVyzadano() && !Odlozit()) throw Chyba(kChybaZruseno, kTextPreruseno);
}

void ZobrazPrubehSouboru(std::int64_t prijato, std::int64_t celkem, double rychlost,
                         std::int64_t omezeno) {
  std::string velikost = CitelnaVelikost(prijato), rychle, zbyva;
  if (celkem >= 0) velikost += " z " + CitelnaVelikost(celkem);
  if (rychlost >= 1) {
    rychle = CitelnaVelikost(static_cast<long long>(rychlost)) + "/s";
    if (celkem >= prijato)
      zbyva = std::string(kZbyva) + CitelnaDoba(static_cast<long long>(std::ceil(
                                        static_cast<double>(celkem - prijato) / rychlost)));
  }
  // The run's bound holding the transfers back.
  if (omezeno > 0 && !rychle.empty()) rychle += " omezeno na " + CitelnaVelikost(omezeno) + "/s";
  const PosledniHlaseni& p = Posledni();
  const std::string zprava = SlozitZpravuSouboru({p.zprava, velikost, rychle, zbyva});
  HlaseniPrubehu h;
  h.zprava = zprava;
  h.stornoZobrazeno = p.storno;
  h.zavritZobrazeno = p.zavrit;
  Ui().Prubeh(h);
}

std::string SlozitZpravuSouboru(const ZpravaSouboru& z) {
  std::string text(z.zprava);
  bool prvni = true;
  for (std::string_view cast : {z.velikost, z.rychlost, z.zbyva}) {
    if (cast.empty()) continue;
    if (prvni && !text.empty()) text += kPredSouborem;
    if (!prvni) text += kMeziCastmi;
    text += cast;
    prvni = false;
  }
  return text;
}

std::optional<ZpravaSouboru> RozlozitZpravuSouboru(std::string_view text) {
  ZpravaSouboru s;
  std::string_view prubeh = text;
  if (const std::size_t k = text.rfind(kPredSouborem); k != std::string_view::npos) {
    s.zprava = text.substr(0, k);
    prubeh = text.substr(k + kPredSouborem.size());
  }
  auto dalsi = [&prubeh] {
    const std::size_t k = prubeh.find(kMeziCastmi);
    const std::string_view cast = prubeh.substr(0, k);
    prubeh =
        k == std::string_view::npos ? std::string_view() : prubeh.substr(k + kMeziCastmi.size());
    return cast;
  };
  // A size or a rate: a number first, bound to its unit.
  auto velikost = [](std::string_view c) {
    return !c.empty() && c[0] >= '0' && c[0] <= '9' &&
           c.find(kPevnaMezera) != std::string_view::npos;
  };
  s.velikost = dalsi();
  if (!velikost(s.velikost)) return std::nullopt;
  std::string_view cast = dalsi();
  if (velikost(cast) && KonciNa(cast, "/s")) {
    s.rychlost = cast;
    cast = dalsi();
  }
  if (ZacinaNa(cast, kZbyva)) {
    s.zbyva = cast;
    cast = dalsi();
  }
  if (!cast.empty() || !prubeh.empty()) return std::nullopt;
  return s;
}

void OveritPreruseni() {
  if (UkonceniVyzadano() && !Odlozit()) throw Chyba(kChybaZruseno, kTextPreruseno);
  static thread_local std::chrono::steady_clock::time_point dalsi{};
  const auto ted = std::chrono::steady_clock::now();
  if (ted < dalsi) return;
  dalsi = ted + std::chrono::milliseconds(100);
  Ui().ZpracovatUdalosti();
  if (Ui().Zruseno() && !Odlozit()) throw Chyba(kChybaZruseno, kTextPreruseno);
}

VymenyBezPreruseni::VymenyBezPreruseni() {
  Odklad() = {true, std::nullopt, Odklad().pozde};
  Ui().Vymeny(true);
}

VymenyBezPreruseni::~VymenyBezPreruseni() {
  if (Odklad().vymeny) Ui().Vymeny(false);
  Odklad().vymeny = false;
}

bool VymenyBezPreruseni::Dokonceno() {
  const bool cekal = Odklad().pozadavek.has_value();
  if (cekal) OznacitStopPozde();
  Odklad().vymeny = false;
  Ui().Vymeny(false);
  return cekal;
}

bool StopPrislaPozde() {
  return Odklad().pozde;
}

void OznacitStopPozde() {
  Odklad().pozde = true;
}

std::int64_t SirkaUkazatele(double sirkaMetru, double odsazeni, std::int32_t hotovo,
                            std::int32_t celkem) {
  if (celkem == 0) return 0;
  auto vnitrni = static_cast<std::int64_t>(std::nearbyint(sirkaMetru - 2 * odsazeni));
  return vnitrni * hotovo / celkem;
}

int ZobrazZpravu(const std::string& text, int styl, const std::string& titulek) {
  if (RezimSystem) return mb::kIdOk;
  return Ui().Zprava(BezPristupovychUdaju(text), styl | mb::kSystemoveModalni, titulek);
}

}  // namespace zevlon
