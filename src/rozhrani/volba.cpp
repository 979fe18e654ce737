#include "rozhrani/volba.h"

#include <algorithm>

#include "common/text.h"
#include "rozhrani/stav.h"

namespace zevlon {

ModelVolby::ModelVolby(const ParametryVolby& p)
    : titulek(p.titulek.empty() ? kVychoziTitulekVolby : p.titulek),
      poznamka(p.poznamka),
      zaskrtavatkoViditelne(!p.textZaskrtavatka.empty()),
      textZaskrtavatka(p.textZaskrtavatka),
      zaskrtnuto(p.zaskrtnuto),
      cislo(p.cislo) {
  std::vector<std::string> casti = Rozdelit(p.zprava, '@');
  hlavniInstrukce = casti[0];
  if (casti.size() == 2) sekundarniInstrukce = casti[1];
  for (const std::string& radek : Rozdelit(p.volby, ';')) {
    std::vector<std::string> r = Rozdelit(radek, '@');
    std::array<std::string, 3> tri;
    for (std::size_t i = 0; i < std::min<std::size_t>(3, r.size()); ++i)
      tri[i] = r[i];
    radky.push_back(std::move(tri));
  }
}

std::int16_t ZobrazVolbu(const ParametryVolby& p, std::int16_t vychozi) {
  if (RezimSystem) return vychozi;
  return static_cast<std::int16_t>(Ui().Volba(p));
}

}  // namespace zevlon
