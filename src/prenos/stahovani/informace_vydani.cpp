#include "prenos/stahovani/informace_vydani.h"

#include "common/adresa.h"
#include "common/cas.h"
#include "common/chyba.h"
#include "platform/http/http.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/stahovani/stahovani.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/stav.h"
#include "soubory/operace_souboru.h"

namespace zevlon {

namespace {

// The numeric value of a release as two digit strings, exactly (no floating point).
struct Cislo {
  std::string cela;    // without leading zeros
  std::string zlomek;  // without trailing zeros
};

Cislo Hodnota(std::string_view text) {
  Cislo c;
  bool tecka = false;
  for (char z : text) {
    if (z == ' ' || z == '\t' || z == '\n') continue;
    if (z == '.' && !tecka) {
      tecka = true;
      continue;
    }
    if (z < '0' || z > '9') break;
    (tecka ? c.zlomek : c.cela) += z;
  }
  c.cela.erase(0, c.cela.find_first_not_of('0') == std::string::npos
                      ? c.cela.size()
                      : c.cela.find_first_not_of('0'));
  while (!c.zlomek.empty() && c.zlomek.back() == '0')
    c.zlomek.pop_back();
  return c;
}

}  // namespace

int PorovnatVydani(std::string_view a, std::string_view b) {
  Cislo x = Hodnota(a), y = Hodnota(b);
  if (x.cela.size() != y.cela.size()) return x.cela.size() < y.cela.size() ? -1 : 1;
  if (int r = x.cela.compare(y.cela)) return r < 0 ? -1 : 1;
  if (int r = x.zlomek.compare(y.zlomek)) return r < 0 ? -1 : 1;
  return 0;
}

bool JeCisloVydani(std::string_view v) {
  if (v.size() < 8 || v.find_first_not_of("0123456789") != std::string_view::npos) return false;
  auto cislo = [&](std::size_t od, std::size_t delka) {
    int n = 0;
    for (char c : v.substr(od, delka))
      n = n * 10 + (c - '0');
    return n;
  };
  const int rok = cislo(0, 4), mesic = cislo(4, 2), den = cislo(6, 2);
  static constexpr int kDni[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool prestupny = (rok % 4 == 0 && rok % 100 != 0) || rok % 400 == 0;
  return mesic >= 1 && mesic <= 12 && den >= 1 &&
         den <= (mesic == 2 && !prestupny ? 28 : kDni[mesic - 1]);
}

std::string AdresaInformaci(const std::string& zakladniAdresa) {
  return zakladniAdresa + kSouborVydani + "?id=" + MistniRazitko14(platforma().Ted());
}

void OveritInformace(const std::string& zakladniAdresa, const std::string& mistniKopie,
                     const NastaveniOvereni& overeni) {
  if (!overeni.Zapnuto()) return;
  const std::string podpis = mistniKopie + kPriponaPodpisu;
  const std::string nazev = BezPristupovychUdaju(zakladniAdresa + kSouborVydani);
  try {
    if (ExistujeSoubor(podpis)) SmazatSoubor(podpis, false);
    AktualniPolozka = nazev + kPriponaPodpisu + "->" + podpis;
    // A site without the file is an unsigned site; any other failure is the download's.
    OdpovedHttp o = Http().Stahnout(zakladniAdresa + kSouborVydani + kPriponaPodpisu +
                                        "?id=" + MistniRazitko14(platforma().Ted()),
                                    podpis, kMaxPodpisu);
    if (o.status != 200 && o.status != 404)
      VyvolatChybu("http error: " + std::to_string(o.status) + " " + o.textStavu);
    AktualniPolozka = nazev;
    OveritPodpisSouboru(mistniKopie, podpis, overeni.klice, overeni.platnostDni, platforma().Ted(),
                        nazev);
    AktualniPolozka.clear();
  } catch (...) {
    (void)ss::SmazatSoubor(mistniKopie);
    (void)ss::SmazatSoubor(podpis);
    throw;
  }
}

}  // namespace zevlon
