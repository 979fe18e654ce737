#include "prenos/podpisy/klice_webu.h"

#include <charconv>

#include "common/chyba.h"
#include "common/text.h"
#include "rozhrani/pomucky.h"
#include "soubory/volby.h"

#ifndef ZEVLON_VESTAVENY_KLIC
#define ZEVLON_VESTAVENY_KLIC ""
#endif

namespace zevlon {

NastaveniOvereni NastaveniOvereniWebu() {
  const std::string volby = CestaVolebIni();
  NastaveniOvereni n;
  const std::string text =
      std::string(ZEVLON_VESTAVENY_KLIC) + " " + CistIni(volby, "Server", kKlicVerejnehoKlice);
  std::optional<std::vector<podpis::VerejnyKlic>> klice = podpis::CistVerejneKlice(text);
  if (!klice)
    VyvolatChybu("Klíč " + std::string(kKlicVerejnehoKlice) + " v souboru " + volby +
                 " neobsahuje platné veřejné klíče minisign.");
  n.klice = std::move(*klice);

  const std::string dni(Orezat(CistIni(volby, "Server", kKlicPlatnostiPodpisu), " \t"));
  if (!dni.empty()) {
    std::int64_t cislo = 0;
    auto [konec, chyba] = std::from_chars(dni.data(), dni.data() + dni.size(), cislo);
    if (chyba != std::errc() || konec != dni.data() + dni.size() || cislo <= 0 || cislo > 36500)
      VyvolatChybu("Klíč " + std::string(kKlicPlatnostiPodpisu) + " v souboru " + volby +
                   " musí být počet dní (celé číslo větší než 0).");
    n.platnostDni = cislo;
  }
  return n;
}

}  // namespace zevlon
