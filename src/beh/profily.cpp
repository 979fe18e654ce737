#include "beh/profily.h"

#include "common/chyba.h"
#include "common/text.h"
#include "platform/nahrady/platforma.h"
#include "platform/nahrady/registr.h"
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

SeznamZaznamuProfilu SeznamProfilu() {
  const Verze verze[] = {NacistVerzi(kKlicMerko12), NacistVerzi(kKlicMerko14)};
  if (JePrazdna(verze[0]) && JePrazdna(verze[1]))
    VyvolatChybu("Nepodařilo se nalézt složku aplikací Dunmor Merko.");

  SeznamZaznamuProfilu seznam;
  for (const Verze& v : verze) {
    if (JePrazdna(v)) continue;
    for (const auto& polozka : *v.jmena) {
      std::string slozka = CistIni(v.slozka + kIniMerka, "Profily", polozka.klic);
      if (slozka.empty()) continue;
      slozka = PridatLomitko(slozka);
      if (seznam.Obsahuje(slozka)) continue;
      std::string vydani = CistIni(slozka + kIniMerka, "Merko", "Release");
      seznam.Pridat(slozka,
                    std::make_shared<ZaznamProfilu>(ZaznamProfilu{slozka, polozka.klic, vydani}));
    }
  }
  return seznam;
}

}  // namespace zevlon
