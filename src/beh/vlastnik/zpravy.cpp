#include "beh/vlastnik/zpravy.h"

#include <charconv>
#include <cstdlib>

#include "common/text.h"

namespace zevlon {

namespace {

std::string Ano(bool b) {
  return b ? "1" : "0";
}

}  // namespace

std::optional<std::int64_t> CisloPole(const std::string& pole, std::int64_t min, std::int64_t max) {
  std::int64_t c = 0;
  auto [konec, chyba] = std::from_chars(pole.data(), pole.data() + pole.size(), c);
  if (chyba != std::errc() || konec != pole.data() + pole.size() || c < min || c > max)
    return std::nullopt;
  return c;
}

ZpravaKanalu ZpravaPrubehu(const HlaseniPrubehu& h) {
  return {
      zpravy::kPrubeh,
      {std::string(h.podnadpis), std::string(h.zprava), Ano(h.zmenitMetr), std::to_string(h.hotovo),
       std::to_string(h.celkem), Ano(h.stornoZobrazeno), Ano(h.zavritZobrazeno)}};
}

ZpravaKanalu ZpravaVolby(const ParametryVolby& p) {
  return {zpravy::kVolba,
          {p.zprava, p.titulek, p.volby, p.poznamka, std::to_string(p.cislo), p.textZaskrtavatka,
           Ano(p.zaskrtnuto)}};
}

ZpravaKanalu ZpravaVysledku(const VysledekVlastnika& v) {
  const SouhrnObnovy& s = v.souhrn;
  return {zpravy::kVysledek,
          {v.chyba ? std::to_string(v.cislo) : "", v.chyba ? v.popis : "", v.chyba ? v.polozka : "",
           Ano(v.pokracovat), std::to_string(s.slozek), std::to_string(s.zkopirovano),
           std::to_string(s.stazeno), std::to_string(s.zRozdilu), std::to_string(s.bajtu),
           s.vydaniPred, s.vydaniPo, Ano(s.odmitnuto), s.vraceno}};
}

KlientHttp::Proxy ProxyZProstredi() {
  auto promenna = [](std::initializer_list<const char*> jmena) {
    for (const char* j : jmena)
      if (const char* h = std::getenv(j); h && *h) return std::string(h);
    return std::string();
  };
  // libcurl never takes HTTP_PROXY in capitals, which a web server may set from a request.
  return {promenna({"http_proxy"}), promenna({"https_proxy", "HTTPS_PROXY"}),
          promenna({"all_proxy", "ALL_PROXY"}), promenna({"no_proxy", "NO_PROXY"})};
}

// The four texts one after another, each ended by a NUL, which no variable's value holds.
std::string ZakodovatProxy(const KlientHttp::Proxy& p) {
  std::string b;
  for (const std::string* s : {&p.http, &p.https, &p.vse, &p.vyjimky})
    b += *s + '\0';
  return b;
}

std::optional<KlientHttp::Proxy> DekodovatProxy(std::string_view bajty) {
  KlientHttp::Proxy p;
  for (std::string* s : {&p.http, &p.https, &p.vse, &p.vyjimky}) {
    const std::size_t konec = bajty.find('\0');
    if (konec == std::string_view::npos) return std::nullopt;
    *s = std::string(bajty.substr(0, konec));
    bajty.remove_prefix(konec + 1);
  }
  if (!bajty.empty()) return std::nullopt;
  return p;
}

}  // namespace zevlon
