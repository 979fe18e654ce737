#include "beh/nastaveni_prenosu.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

#include "common/text.h"
#include "platform/http/http.h"
#include "platform/procesy/ukonceni.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/rozhrani.h"
#include "soubory/volby.h"

namespace zevlon {

std::optional<std::int64_t> KladneCisloServeru(const std::string& volby, const char* klic) {
  const std::string text(Orezat(CistIni(volby, "Server", klic), " \t"));
  std::int64_t cislo = 0;
  auto [konec, chyba] = std::from_chars(text.data(), text.data() + text.size(), cislo);
  if (chyba != std::errc() || konec != text.data() + text.size() || cislo <= 0) return std::nullopt;
  return cislo;
}

void NastavitPrenosy() {
  KlientHttp& http = Http();
  const std::string volby = CestaVolebIni();
  http.lhutaPrenosu = std::chrono::seconds(
      KladneCisloServeru(volby, kKlicLhutyPrenosu).value_or(KlientHttp::kLhutaPrenosu.count()));
  http.minRychlost =
      KladneCisloServeru(volby, kKlicMinRychlosti).value_or(KlientHttp::kMinRychlost);
  http.casMinRychlosti = std::chrono::seconds(KladneCisloServeru(volby, kKlicDobyMinRychlosti)
                                                  .value_or(KlientHttp::kCasMinRychlosti.count()));
  http.soubeznaStahovani = static_cast<int>(std::min<std::int64_t>(
      KladneCisloServeru(volby, kKlicSoubeznychStahovani).value_or(KlientHttp::kMaxSpojeni),
      KlientHttp::kMaxSpojeni));
  http.jenHttps = ZacinaNa(AdresaWebu(), "https://");
  http.lhutaBehu =
      std::chrono::seconds(KladneCisloServeru(volby, kKlicLhutyBehu).value_or(kLhutaBehu));
  http.konecBehu = std::chrono::steady_clock::now() + http.lhutaBehu;
  // Storno, Ctrl+C and SIGTERM end the transfers at once, not when the file has come.
  http.prerusit = [] {
    Ui().ZpracovatUdalosti();
    return Ui().Zruseno() || UkonceniVyzadano();
  };
  http.textPreruseni = kTextPreruseno;
  http.hlasitPrubeh = [](const KlientHttp::PrubehStazeni& p) {
    ZobrazPrubehSouboru(p.prijato, p.celkem, p.rychlost);
  };
}

}  // namespace zevlon
