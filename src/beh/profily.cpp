#include "beh/profily.h"

#include <unistd.h>

#include "common/chyba.h"
#include "common/text.h"
#include "platform/nahrady/ini.h"
#include "platform/nahrady/platforma.h"
#include "platform/nahrady/registr.h"
#include "platform/soubory/cizi_soubor.h"
#include "rozhrani/pomucky.h"

namespace zevlon {

namespace {

struct Verze {
  std::string slozka;
  std::optional<KlicovanySeznam<std::string>> jmena;
};

Verze NacistVerzi(const char* klic) {
  Verze v;
  v.slozka = SlozkaAplikace(klic);
  if (!v.slozka.empty()) v.jmena = CistSekciIni(v.slozka + kIniMerka, "Profily");
  return v;
}

bool JePrazdna(const Verze& v) {
  return !v.jmena || v.jmena->Prazdny();
}

constexpr std::size_t kMaxIniProfilu = 64 * 1024;

std::string Cisty(const std::string& text) {
  return OcistitText(text, 4096, false);
}

}  // namespace

std::string CistRegistr(const std::string& koren, const std::string& klic,
                        const std::string& nazev) {
  auto h = registr::CistHodnotu(platforma().CestaRegistru(), koren, klic, nazev);
  if (!h) return {};
  switch (h->typ) {
    case registr::Typ::kRetezec:
      return std::string(Orezat(OriznoutNaNule(h->text)));
    case registr::Typ::kDword:
      return std::to_string(static_cast<std::int32_t>(h->cislo));
    case registr::Typ::kJiny:
      break;
  }
  return {};
}

std::string SlozkaAplikace(const char* klic) {
  return PridatLomitko(CistRegistr(kKoren, klic, kHodnotaSlozky));
}

std::string VydaniProfilu(const std::string& slozka, std::string& duvod) {
  duvod.clear();
  if (::geteuid() != 0) return Cisty(CistIni(slozka + kIniMerka, "Merko", "Release"));
  CiziSoubor ini = NacistCiziSoubor(slozka + kIniMerka, kMaxIniProfilu);
  duvod = Cisty(ini.duvod);
  if (!ini.obsah) return {};
  return Cisty(std::string(
      Orezat(ini::CistKlicTextu(std::move(*ini.obsah), "Merko", "Release").value_or(""))));
}

SeznamZaznamuProfilu SeznamProfilu(std::vector<std::string>* neprectene) {
  const Verze verze[] = {NacistVerzi(kKlicMerko12), NacistVerzi(kKlicMerko14)};
  if (JePrazdna(verze[0]) && JePrazdna(verze[1]))
    VyvolatChybu("Nepodařilo se nalézt složku aplikací Dunmor Merko.");

  SeznamZaznamuProfilu seznam;
  for (const Verze& v : verze) {
    if (JePrazdna(v)) continue;
    for (const auto& polozka : *v.jmena) {
      std::string slozka = Cisty(CistIni(v.slozka + kIniMerka, "Profily", polozka.klic));
      if (slozka.empty()) continue;
      slozka = PridatLomitko(slozka);
      if (seznam.Obsahuje(slozka)) continue;
      std::string duvod;
      const std::string vydani = VydaniProfilu(slozka, duvod);
      if (!duvod.empty()) {
        if (neprectene)
          neprectene->push_back("Profil " + slozka + " nelze přečíst: " + duvod + ".");
        continue;
      }
      seznam.Pridat(slozka, std::make_shared<ZaznamProfilu>(
                                ZaznamProfilu{slozka, Cisty(polozka.klic), vydani}));
    }
  }
  return seznam;
}

}  // namespace zevlon
