#include "common/adresa.h"

#include "common/text.h"

namespace zevlon {

std::string BezPristupovychUdaju(std::string_view text) {
  constexpr std::string_view kSchema = "://";
  // The authority part of an address ends with the path, query or fragment, and an
  // address within a text ends at a blank or line break.
  constexpr std::string_view kKonecAutority = "/?#\\ \t\r\n";
  std::string vysledek;
  vysledek.reserve(text.size());
  for (;;) {
    const auto schema = text.find(kSchema);
    if (schema == std::string_view::npos) break;
    const auto zacatek = schema + kSchema.size();
    const std::string_view autorita =
        text.substr(zacatek, text.find_first_of(kKonecAutority, zacatek) - zacatek);
    vysledek.append(text.substr(0, zacatek));
    text.remove_prefix(zacatek);
    // The host follows the last "@": a password may hold one unencoded.
    if (const auto zavinac = autorita.rfind('@'); zavinac != std::string_view::npos)
      text.remove_prefix(zavinac + 1);
  }
  vysledek.append(text);
  return vysledek;
}

bool JeAbsolutniAdresa(std::string_view adresa, std::initializer_list<std::string_view> schemata) {
  for (unsigned char c : adresa)
    if (c <= 0x20 || c == 0x7f) return false;
  for (std::string_view s : schemata)
    if (adresa.size() > s.size() && ZacinaNa(adresa, s) && adresa[s.size()] != '/') return true;
  return false;
}

}  // namespace zevlon
