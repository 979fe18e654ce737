#include "platform/soubory/znacka_slozky.h"

#include <sys/random.h>

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/soubory/cizi_soubor.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"

namespace zevlon {

namespace {

constexpr std::size_t kDelka = 32;

std::string BezLomitkaNaKonci(std::string s) {
  while (s.size() > 1 && s.back() == '/')
    s.pop_back();
  return s;
}

bool JeZnacka(std::string_view s) {
  if (s.size() != kDelka) return false;
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace

ZnackaSlozky CistZnacku(const std::string& slozka) {
  // The process acts as the folder's user: the path may lead through that user's links.
  CiziSoubor s =
      NacistCiziSoubor(BezLomitkaNaKonci(slozka) + "/" + kZnackaSlozky, 256, ::geteuid());
  if (!s.obsah) return {{}, s.duvod};
  std::string_view t = *s.obsah;
  if (!t.empty() && t.back() == '\n') t.remove_suffix(1);
  if (!JeZnacka(t)) return {{}, std::string("soubor ") + kZnackaSlozky + " není značka složky"};
  return {std::string(t), {}};
}

std::string OznacitSlozku(const std::string& slozka, std::string* chyba) {
  const std::string cesta = BezLomitkaNaKonci(slozka);
  unsigned char nahoda[kDelka / 2];
  if (::getrandom(nahoda, sizeof nahoda, 0) != static_cast<ssize_t>(sizeof nahoda)) {
    *chyba = ss::ChybaSystemu(errno, cesta).popis;
    return {};
  }
  static constexpr char kCislice[] = "0123456789abcdef";
  std::string znacka;
  for (unsigned char c : nahoda) {
    znacka += kCislice[c >> 4];
    znacka += kCislice[c & 15];
  }
  // Under a hidden name first, then in the mark's place, whatever stands there (a link is
  // replaced, never followed).
  const std::string predpona = std::string(kPredponaRozepsanych) + "znacka.";
  std::vector<ss::PolozkaSlozky> polozky;
  if (ss::CistSlozku(cesta, polozky).Uspech())
    for (const ss::PolozkaSlozky& p : polozky)
      if (!p.slozka && p.jmeno.starts_with(predpona))
        (void)::unlink((cesta + "/" + p.jmeno).c_str());
  if (int e = ZapsatCitelnySoubor(cesta, kZnackaSlozky, znacka + "\n", predpona.c_str(), true)) {
    *chyba = ss::ChybaSystemu(e, cesta + "/" + kZnackaSlozky).popis;
    return {};
  }
  if (ss::Vysledek v = ss::ZapsatSlozkuNaDisk(cesta); !v.Uspech()) {
    *chyba = v.popis;
    return {};
  }
  return znacka;
}

}  // namespace zevlon
