#include "aplikace/seznam_delt.h"

#include <charconv>
#include <string_view>

#include "aplikace/instalacni_slozka.h"
#include "common/chyba.h"
#include "common/kodovani.h"
#include "common/text.h"
#include "prenos/podpisy/sha256.h"
#include "soubory/cesty.h"

namespace zevlon {

std::string JmenoDelty(const std::string& cesta, const std::string& zaklad) {
  return cesta + "." + zaklad.substr(0, 16) + ".zstd";
}

bool JeJmenoDelty(const std::string& soubor) {
  if (!JeBezpecnaRelativniCesta(soubor)) return false;
  const std::size_t lomitko = soubor.rfind('/');
  const std::string_view jmeno =
      std::string_view(soubor).substr(lomitko == std::string::npos ? 0 : lomitko + 1);
  return !jmeno.empty() && jmeno.front() != '.' && !KonciNa(jmeno, ".zip");
}

std::string ZapsatSeznamDelt(const std::vector<Delta>& delty) {
  std::string text;
  for (const Delta& d : delty)
    text += NaDratovouCestu(d.Cesta) + '\t' + d.Zaklad + '\t' + NaDratovouCestu(d.Soubor) + '\t' +
            std::to_string(d.Velikost) + '\t' + d.Vysledek + "\r\n";
  return BajtySnapshotu(text);
}

std::vector<Delta> NacistSeznamDelt(const std::string& bajty, const std::string& soubor) {
  if (static_cast<std::int64_t>(bajty.size()) > kMaxVelikostSnapshotu)
    VyvolatChybu("Soubor " + soubor + " je větší než povolených " +
                 std::to_string(kMaxVelikostSnapshotu) + " bajtů.");
  const std::string text = Dekodovat(bajty).text;
  std::vector<Delta> delty;
  std::size_t cislo = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t lf = text.find('\n', pos);
    std::string_view radek(text.data() + pos, (lf == std::string::npos ? text.size() : lf) - pos);
    pos = lf == std::string::npos ? text.size() : lf + 1;
    ++cislo;
    if (!radek.empty() && radek.back() == '\r') radek.remove_suffix(1);
    if (radek.empty()) continue;
    std::vector<std::string_view> pole;
    for (std::size_t z = 0;;) {
      const std::size_t tab = radek.find('\t', z);
      pole.push_back(radek.substr(z, tab == std::string_view::npos ? radek.npos : tab - z));
      if (tab == std::string_view::npos) break;
      z = tab + 1;
    }
    Delta d;
    bool dobre = pole.size() == 5;
    if (dobre) {
      d.Cesta = ZDratoveCesty(pole[0]);
      d.Zaklad = pole[1];
      d.Soubor = ZDratoveCesty(pole[2]);
      d.Vysledek = pole[4];
      auto [konec, chyba] =
          std::from_chars(pole[3].data(), pole[3].data() + pole[3].size(), d.Velikost);
      dobre = chyba == std::errc() && konec == pole[3].data() + pole[3].size() && d.Velikost >= 0 &&
              JeBezpecnaRelativniCesta(d.Cesta) && JeJmenoDelty(d.Soubor) && JeSha256(d.Zaklad) &&
              JeSha256(d.Vysledek);
    }
    if (!dobre)
      VyvolatChybu("Soubor " + soubor + " obsahuje na řádku " + std::to_string(cislo) +
                   " neplatný záznam rozdílu.");
    delty.push_back(std::move(d));
  }
  return delty;
}

}  // namespace zevlon
