#include "beh/kontrola_voleb.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "aplikace/aktualizace_aplikace.h"
#include "beh/drzeni.h"
#include "beh/metriky.h"
#include "beh/nasazeni.h"
#include "beh/nastaveni_prenosu.h"
#include "beh/vlastnik/zpravy.h"
#include "beh/vydani.h"
#include "common/adresa.h"
#include "common/chyba.h"
#include "common/text.h"
#include "instalace/kontrola_po_aktualizaci.h"
#include "platform/http/http.h"
#include "platform/nahrady/ini.h"
#include "platform/nahrady/platforma.h"
#include "prenos/podpisy/klice_webu.h"
#include "prenos/podpisy/podpis.h"
#include "prenos/stahovani/informace_vydani.h"
#include "prenos/stahovani/zrcadlo.h"
#include "rozhrani/pomucky.h"
#include "soubory/log.h"
#include "soubory/pravo.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

inline constexpr const char* kKlicBezOvereni = "BezOvereni";

constexpr bool kVlastnik = true, kJenRoot = false;

}  // namespace

const std::vector<ZnamaSekce>& ZnameSekce() {
  static const std::vector<ZnamaSekce> sekce{
      {"Server",
       {{"Adresa", kVlastnik},
        {kKlicVerejnehoKlice, kVlastnik},
        {kKlicPlatnostiPodpisu, kVlastnik},
        {"PovolitStarsi", kVlastnik},
        {kKlicBezOvereni, kJenRoot},
        {kKlicLhutyPrenosu, kVlastnik},
        {kKlicMinRychlosti, kVlastnik},
        {kKlicDobyMinRychlosti, kVlastnik},
        {kKlicSoubeznychStahovani, kVlastnik},
        {kKlicLhutyBehu, kVlastnik},
        {kKlicLhutyTicha, kJenRoot},
        {kKlicObnovaOdkazy, kVlastnik},
        {kKlicDelty, kVlastnik},
        {kKlicNahodnehoZpozdeni, kJenRoot},
        {kKlicZrcadla, kVlastnik},
        {kKlicDrzetVydani, kJenRoot},
        {kKlicSkupinyNasazeni, kJenRoot},
        {kKlicKontroly, kVlastnik},
        {kKlicLhutyKontroly, kVlastnik},
        {kKlicSlozkyMetrik, kJenRoot},
        {kKlicProxy, kVlastnik},
        {kKlicBezProxy, kVlastnik},
        {kKlicProxyUdaju, kJenRoot},
        {kKlicMaxRychlosti, kVlastnik},
        {kKlicOknaMaxRychlosti, kVlastnik},
        {kKlicJenNaSiti, kJenRoot}}},
      {"Nastaveni",
       {{"SlozkaDat", kJenRoot}, {"Cas", kJenRoot}, {"Cetnost", kJenRoot}, {"Den", kJenRoot}}},
      {"Uloha", {{"ID", kJenRoot}}},
  };
  return sekce;
}

namespace {

// How many letters must be inserted, removed, replaced or swapped to turn one name into
// the other, letter case aside.
std::size_t Vzdalenost(std::string_view a0, std::string_view b0) {
  const std::string a = SlozitVelikost(a0), b = SlozitVelikost(b0);
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i)
    d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j)
    d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0u : 1u)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

// The known name closest to `nazev`, when it is near enough to be a slip of the hand.
template <typename Nazvy, typename Nazev>
std::string Podobny(std::string_view nazev, const Nazvy& zname, Nazev jmeno) {
  std::string nejlepsi;
  std::size_t nejmene = 3;  // at most two slips
  for (const auto& z : zname)
    if (std::size_t v = Vzdalenost(nazev, jmeno(z)); v < nejmene) {
      nejmene = v;
      nejlepsi = jmeno(z);
    }
  return nejlepsi;
}

std::string Navrh(const std::string& podobny, const char* pred, const char* za) {
  return podobny.empty() ? "" : std::string(" (myslíte ") + pred + podobny + za + "?)";
}

}  // namespace

std::vector<std::string> NeznameVolby(const std::string& soubor) {
  std::vector<std::string> zpravy;
  const auto nazvy = ini::CistNazvySekci(soubor);
  if (!nazvy) return zpravy;
  for (const std::string& nazev : *nazvy) {
    auto znama = std::find_if(ZnameSekce().begin(), ZnameSekce().end(),
                              [&](const ZnamaSekce& z) { return StejnyText(z.nazev, nazev); });
    if (znama == ZnameSekce().end()) {
      zpravy.push_back(
          "Soubor voleb " + soubor + " obsahuje neznámou sekci [" + nazev + "]" +
          Navrh(Podobny(nazev, ZnameSekce(), [](const ZnamaSekce& z) { return z.nazev; }), "[",
                "]") +
          ", program ji nepoužívá.");
      continue;
    }
    // Only the first section of a name is read; a second one is reported with its keys.
    const auto radky = ini::CistSekci(soubor, nazev);
    std::vector<std::string> videne;  // folded: a key is one whatever its letter case
    for (const std::string& radek : radky.value_or(std::vector<std::string>{})) {
      const std::string klic(Orezat(std::string_view(radek).substr(0, radek.find('=')), " \t"));
      const bool znam = std::any_of(znama->klice.begin(), znama->klice.end(),
                                    [&](const ZnamyKlic& k) { return StejnyText(k.nazev, klic); });
      const std::string slozeny = SlozitVelikost(klic);
      // The first of a key counts; any further one is named (without its value, which may
      // hold a password).
      if (std::find(videne.begin(), videne.end(), slozeny) != videne.end()) {
        zpravy.push_back("Soubor voleb " + soubor + " obsahuje v sekci [" + znama->nazev +
                         "] klíč " + klic + " podruhé, program použije jeho první hodnotu.");
        continue;
      }
      videne.push_back(slozeny);
      if (!znam)
        zpravy.push_back(
            "Soubor voleb " + soubor + " obsahuje v sekci [" + znama->nazev + "] neznámý klíč " +
            klic +
            Navrh(Podobny(klic, znama->klice, [](const ZnamyKlic& k) { return k.nazev; }), "", "") +
            ", program jej nepoužívá.");
    }
  }
  return zpravy;
}

std::vector<NepouzitelnaHodnota> NepouzitelneHodnoty(const std::string& soubor) {
  std::vector<NepouzitelnaHodnota> zpravy;
  auto hodnota = [&](const char* sekce, const char* klic) {
    return std::string(Orezat(CistIni(soubor, sekce, klic), " \t"));
  };
  // `nahrada`: what the run takes instead; empty where it stops on the value.
  auto nelze = [&](const char* sekce, const char* klic, const std::string& h, const char* proc,
                   std::string nahrada = {}, std::string pokracovani = {}) {
    zpravy.push_back({"Hodnotu " + std::string(klic) + "=" + h + " v sekci [" + sekce +
                          "] souboru voleb " + soubor + " nelze použít: " + proc + ".",
                      std::move(nahrada), std::move(pokracovani)});
  };
  // A number key; the run takes any positive number (within [min, max] where it bounds it
  // itself, `omezuje`) and the default for anything else.
  auto cislo = [&](const char* klic, std::int64_t max, std::int64_t vychozi, std::int64_t min = 1,
                   bool omezuje = false) {
    const std::string h = hodnota("Server", klic);
    std::int64_t c = 0;
    auto [konec, chyba] = std::from_chars(h.data(), h.data() + h.size(), c);
    const bool cele = chyba == std::errc() && konec == h.data() + h.size();
    if (h.empty() || (cele && c >= min && c <= max)) return;
    const std::int64_t bere = !cele || c <= 0 ? vychozi : omezuje ? std::clamp(c, min, max) : c;
    const std::string rozsah =
        "musí být celé číslo od " + std::to_string(min) + " do " + std::to_string(max);
    if (bere == vychozi)
      nelze("Server", klic, h, rozsah.c_str(), std::to_string(vychozi));
    else
      nelze("Server", klic, h, rozsah.c_str(), {}, "s hodnotou " + std::to_string(bere));
  };
  if (const std::string a = hodnota("Server", "Adresa");
      !a.empty() && !JeAbsolutniAdresa(a, {"http://", "https://", "ftp://"}))
    nelze("Server", "Adresa", BezPristupovychUdaju(a),
          "není to úplná adresa http://, https:// ani ftp://");
  if (std::string z = ChybaZrcadla(soubor); !z.empty()) zpravy.push_back({std::move(z), {}, {}});
  for (std::string z : {ChybaProxy(soubor), ChybaMaxRychlosti(soubor)})
    if (!z.empty()) zpravy.push_back({std::move(z), {}, {}});
  if (const std::string k = hodnota("Server", kKlicVerejnehoKlice);
      !k.empty() && !podpis::CistVerejneKlice(k))
    nelze("Server", kKlicVerejnehoKlice, k, "nejsou to veřejné klíče minisign");
  if (const std::string d = hodnota("Server", kKlicPlatnostiPodpisu); !d.empty()) {
    std::int64_t c = 0;
    auto [konec, chyba] = std::from_chars(d.data(), d.data() + d.size(), c);
    if (chyba != std::errc() || konec != d.data() + d.size() || c < 1 || c > 36500)
      nelze("Server", kKlicPlatnostiPodpisu, d, "musí být celé číslo od 1 do 36500");
  }
  cislo(kKlicLhutyPrenosu, INT32_MAX, KlientHttp::kLhutaPrenosu.count());
  cislo(kKlicMinRychlosti, INT32_MAX, KlientHttp::kMinRychlost);
  cislo(kKlicDobyMinRychlosti, INT32_MAX, KlientHttp::kCasMinRychlosti.count());
  cislo(kKlicLhutyBehu, INT32_MAX, kLhutaBehu);
  cislo(kKlicSoubeznychStahovani, KlientHttp::kMaxSpojeni, KlientHttp::kMaxSpojeni, 1, true);
  // (Its own reading takes the default for anything out of its range.)
  if (const std::string h = hodnota("Server", kKlicNahodnehoZpozdeni);
      !h.empty() && !CisloPole(h, 0, kMaxNahodnehoZpozdeni))
    nelze("Server", kKlicNahodnehoZpozdeni, h,
          ("musí být celé číslo od 0 do " + std::to_string(kMaxNahodnehoZpozdeni)).c_str(),
          std::to_string(kVychoziNahodneZpozdeni));
  if (const std::string h = hodnota("Server", kKlicDrzetVydani); !h.empty() && !JeCisloVydani(h))
    nelze("Server", kKlicDrzetVydani, h, "není to číslo vydání (datum RRRRMMDD a číslice)");
  cislo(kKlicLhutyTicha, INT32_MAX, kLhutaTicha.count(), kMinLhutaTicha.count(), true);
  cislo(kKlicLhutyKontroly, INT32_MAX, kLhutaKontroly.count());
  if (const std::string k = hodnota("Server", kKlicKontroly); !k.empty() && k.front() != '/')
    nelze("Server", kKlicKontroly, k, "není to úplná cesta k programu");
  // Only "1" switches these on, and only "0" the deltas off.
  for (const auto& [klic, vychozi] : {std::pair{"PovolitStarsi", "0"},
                                      {kKlicBezOvereni, "0"},
                                      {kKlicObnovaOdkazy, "0"},
                                      {kKlicJenNaSiti, "0"},
                                      {kKlicDelty, "1"}})
    if (const std::string h = hodnota("Server", klic); !h.empty() && h != "0" && h != "1")
      nelze("Server", klic, h, "musí být 0 nebo 1", vychozi);

  if (const std::string d = hodnota("Nastaveni", "SlozkaDat"); !d.empty() && d.front() != '/')
    nelze("Nastaveni", "SlozkaDat", d, "není to úplná cesta ke složce");
  // The schedule's own keys: the run does not read them; the job stays as it was scheduled.
  const char* plan = "úloha zůstává naplánovaná, jak byla";
  if (const std::string c = hodnota("Nastaveni", "Cas"); !c.empty() && !JeCasDne(c))
    nelze("Nastaveni", "Cas", c, "není to čas dne ve tvaru H:MM", {}, plan);
  const std::string cetnost = hodnota("Nastaveni", "Cetnost"), den = hodnota("Nastaveni", "Den");
  const bool tydne = StejnyText(cetnost, kCetnostTydne),
             mesicne = StejnyText(cetnost, kCetnostMesicne);
  if (!cetnost.empty() && !tydne && !mesicne && !StejnyText(cetnost, kCetnostDenne))
    nelze("Nastaveni", "Cetnost", cetnost, "četnost je Denně, Týdně nebo Měsíčně", {}, plan);
  bool denPlati = std::any_of(kDnyTydne.begin(), kDnyTydne.end(),
                              [&](const char* d) { return tydne && StejnyText(d, den); });
  for (int d = 1; d <= 28 && mesicne; ++d)
    denPlati = denPlati || den == std::to_string(d) + ".";
  if ((tydne || mesicne) && !denPlati)
    nelze("Nastaveni", "Den", den,
          tydne ? "týdenní běh potřebuje den v týdnu (Pondělí až Neděle)"
                : "měsíční běh potřebuje den v měsíci (1. až 28.)",
          {}, plan);
  return zpravy;
}

std::string VolbyProVlastnika(const std::string& soubor) {
  std::string volby;
  for (const ZnamaSekce& sekce : ZnameSekce()) {
    std::string radky;
    for (const ZnamyKlic& k : sekce.klice)
      if (k.proVlastnika)
        if (const auto h = ini::CistKlic(soubor, sekce.nazev, k.nazev))
          // Quoted, so that the value reads back as it was read, quotes and blanks included.
          radky += std::string(k.nazev) + "=\"" + *h + "\"\r\n";
    if (!radky.empty()) volby += "[" + std::string(sekce.nazev) + "]\r\n" + radky;
  }
  return volby;
}

void OznamitNeznameVolby() {
  for (const std::string& zprava : NeznameVolby(CestaVolebIni())) {
    ZapsatDoLogu(kPrenosovyLog, zprava);
    std::fprintf(stderr, "%s\n", zprava.c_str());
  }
}

void OveritPovinnyKlic(bool jakoNaplanovany) {
  const bool naplanovany =
      jakoNaplanovany ? ::geteuid() == 0 : StejnyText(JmenoUzivatele(), "System");
  if (!platforma().ZBalicku() || !naplanovany) return;
  if (NastaveniOvereniWebu().Zapnuto()) return;
  if (Orezat(CistIni(CestaVolebIni(), "Server", kKlicBezOvereni), " \t") == "1") return;
  VyvolatChybu("Naplánovaná aktualizace pod účtem root nic neinstaluje, protože v souboru " +
               CestaVolebIni() +
               " není nastaven veřejný klíč aktualizačního webu (VerejnyKlic v sekci Server) a "
               "vydání by nebylo možné ověřit. Doplňte veřejný klíč vydavatele, nebo volbou "
               "BezOvereni=1 v sekci Server potvrďte, že přijímáte neověřená vydání.");
}

}  // namespace zevlon
