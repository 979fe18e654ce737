#include "tvare/terminal/stavovy_radek.h"

#include <algorithm>
#include <cstddef>

#include "common/text.h"
#include "rozhrani/prubeh.h"

namespace zevlon {

namespace {

constexpr std::string_view kPomlcka = " – ";

// The number of characters of a UTF-8 text (continuation bytes do not count).
std::ptrdiff_t Znaku(std::string_view text) {
  return std::count_if(text.begin(), text.end(),
                       [](char z) { return (static_cast<unsigned char>(z) & 0xC0) != 0x80; });
}

// The last n characters of a UTF-8 text.
std::string_view PoslednichZnaku(std::string_view text, std::ptrdiff_t n) {
  std::size_t i = text.size();
  while (i > 0 && n > 0) {
    --i;
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) --n;
  }
  return text.substr(i);
}

// The text in at most n characters: cut from its start behind "…", at the start of a
// word when the cut leaves one whole.
std::string Zkratit(std::string_view text, std::ptrdiff_t n) {
  if (Znaku(text) <= n) return std::string(text);
  std::string_view konec = PoslednichZnaku(text, n - 1);
  const bool vSlove = text.size() > konec.size() && text[text.size() - konec.size() - 1] != ' ';
  if (const std::size_t mezera = konec.find(' ');
      vSlove && mezera != std::string_view::npos && mezera + 1 < konec.size())
    konec.remove_prefix(mezera + 1);
  return "…" + std::string(konec);
}

// The line of a file's download in misto characters, its message cut from its start as
// far as needed, but not into its last word unless `doNazvu`. No text when it does not
// fit so.
std::string Soubor(ZpravaSouboru z, std::ptrdiff_t misto, bool doNazvu) {
  const std::string_view zprava = z.zprava;
  const std::ptrdiff_t zbyva = misto - (Znaku(SlozitZpravuSouboru(z)) - Znaku(zprava));
  const std::size_t mezera = zprava.rfind(' ');
  const std::string_view nazev =
      mezera == std::string_view::npos ? zprava : zprava.substr(mezera + 1);
  const std::ptrdiff_t nejmene = doNazvu ? std::min<std::ptrdiff_t>(Znaku(zprava), 2)
                                         : std::min(Znaku(zprava), Znaku(nazev) + 1);
  if (zbyva < nejmene) return {};
  const std::string zkracena = Zkratit(zprava, zbyva);
  z.zprava = zkracena;
  return SlozitZpravuSouboru(z);
}

}  // namespace

std::string JedenRadek(std::string_view text) {
  std::string s = NahraditVse(text, "\r\n", " ");
  for (char& z : s)
    if (static_cast<unsigned char>(z) < 0x20 || z == 0x7F) z = ' ';
  return s;
}

std::string StavovyRadek(std::string_view podnadpis, std::string_view zprava, bool metr,
                         std::int32_t hotovo, std::int32_t celkem, int sirka) {
  std::string radek;
  if (metr && celkem != 0) {
    std::int64_t procenta = std::clamp<std::int64_t>(std::int64_t{hotovo} * 100 / celkem, 0, 100);
    std::string p = std::to_string(procenta);
    radek = "[" + std::string(3 - p.size(), ' ') + p + " %] ";
  }
  const std::ptrdiff_t misto = std::max(sirka - 1, 1) - Znaku(radek);
  const std::string nadpis = JedenRadek(podnadpis), text = JedenRadek(zprava);
  const std::string cely =
      nadpis.empty() || text.empty() ? nadpis + text : nadpis + std::string(kPomlcka) + text;
  if (Znaku(cely) <= misto || text.empty()) return radek + Zkratit(cely, misto);
  if (Znaku(text) <= misto) return radek + text;
  // A download: the rate goes, then the time left unless the file's name fits with it.
  if (const auto s = RozlozitZpravuSouboru(text)) {
    const ZpravaSouboru bezRychlosti{s->zprava, s->velikost, {}, s->zbyva},
        jenVelikost{s->zprava, s->velikost, {}, {}};
    for (const std::string& r :
         {Soubor(bezRychlosti, misto, false), Soubor(jenVelikost, misto, false),
          Soubor(jenVelikost, misto, true)})
      if (!r.empty()) return radek + r;
  }
  return radek + Zkratit(text, misto);
}

}  // namespace zevlon
