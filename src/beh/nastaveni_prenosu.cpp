#include "beh/nastaveni_prenosu.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

#include "common/adresa.h"
#include "common/chyba.h"
#include "common/text.h"
#include "platform/http/http.h"
#include "platform/procesy/ukonceni.h"
#include "prenos/podpisy/klice_webu.h"
#include "prenos/podpisy/podpis.h"
#include "prenos/stahovani/zrcadlo.h"
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

std::string ChybaZrcadla(const std::string& volby) {
  const std::string z(Orezat(CistIni(volby, "Server", kKlicZrcadla), " \t"));
  if (z.empty()) return {};
  std::string proc;
  if (!JeAbsolutniAdresa(z, {"http://", "https://"}))
    proc = "není to úplná adresa http:// ani https://";
  else if (ZacinaNa(Orezat(CistIni(volby, "Server", "Adresa"), " \t"), "https://") &&
           !ZacinaNa(z, "https://") &&
           podpis::CistVerejneKlice(Orezat(CistIni(volby, "Server", kKlicVerejnehoKlice), " \t"))
               .value_or(std::vector<podpis::VerejnyKlic>{})
               .empty())
    proc =
        "aktualizační web je na https a soubory z nezabezpečeného zrcadla by bez veřejného "
        "klíče vydavatele nebylo možné ověřit; uveďte zrcadlo na https, nebo veřejný klíč "
        "(VerejnyKlic v sekci Server)";
  else
    return {};
  return "Hodnotu " + std::string(kKlicZrcadla) + "=" + BezPristupovychUdaju(z) +
         " v sekci [Server] souboru voleb " + volby + " nelze použít: " + proc + ".";
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
  http.zrcadleni.reset();
  http.httpPovoleno.clear();
  if (const std::string z(Orezat(CistIni(volby, "Server", kKlicZrcadla), " \t"));
      !z.empty() && ChybaZrcadla(volby).empty()) {
    http.zrcadleni = KlientHttp::Zrcadleni{AdresaWebu(), z.back() == '/' ? z : z + "/"};
    if (!ZacinaNa(z, "https://")) http.httpPovoleno = http.zrcadleni->zrcadlo;
  }
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
