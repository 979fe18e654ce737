// Fuzzes the registry stand-in's reader with the input as the regedit file. Nothing in
// any content may make it fail; the names the file holds read alike however they are
// spelled (root abbreviated or in full, letter case, doubled backslashes, "@" for the
// default value); a string reads as valid UTF-8; and values appended to the file in
// its own encoding read back as written (a later definition wins) until a deletion
// appended after them takes them away again, while nothing else reads differently.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/kodovani.h"
#include "common/text.h"
#include "platform/nahrady/registr.h"
#include "pomucky.h"

namespace {

using namespace zevlon;
using fuzz::JinaVelikost;
using fuzz::Pracoviste;
using fuzz::Ukazat;
using registr::Hodnota;
using registr::Typ;

constexpr std::string_view kMezery = " \t";
constexpr std::size_t kNejviceDotazu = 8;

// Roots as the reader knows them: abbreviation and full name.
constexpr std::pair<std::string_view, std::string_view> kKoreny[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE"}, {"HKCU", "HKEY_CURRENT_USER"},   {"HKCR", "HKEY_CLASSES_ROOT"},
    {"HKU", "HKEY_USERS"},          {"HKCC", "HKEY_CURRENT_CONFIG"},
};

// The other spelling of a root (abbreviation for the full name and back), or no value
// for a root the reader does not know.
std::optional<std::string> JinyKoren(std::string_view koren) {
  for (auto [zkratka, plny] : kKoreny) {
    if (StejnyText(koren, zkratka)) return std::string(plny);
    if (StejnyText(koren, plny)) return std::string(zkratka);
  }
  return std::nullopt;
}

bool Stejne(const std::optional<Hodnota>& a, const std::optional<Hodnota>& b) {
  if (!a || !b) return !a && !b;
  return a->typ == b->typ && a->text == b->text && a->cislo == b->cislo;
}

std::string Popis(const std::optional<Hodnota>& h) {
  if (!h) return "<nic>";
  switch (h->typ) {
    case Typ::kRetezec:
      return "text " + Ukazat(h->text);
    case Typ::kDword:
      return "dword " + std::to_string(h->cislo);
    case Typ::kJiny:
      return "jiný";
  }
  return "?";
}

// UTF-16LE (without BOM) to UTF-8, a lone surrogate as U+FFFD, an odd last byte dropped.
std::string ZUtf16(std::string_view b) {
  std::u32string znaky;
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
    char32_t u = static_cast<unsigned char>(b[i]) | (static_cast<unsigned char>(b[i + 1]) << 8);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < b.size()) {
      char32_t d =
          static_cast<unsigned char>(b[i + 2]) | (static_cast<unsigned char>(b[i + 3]) << 8);
      if (d >= 0xDC00 && d <= 0xDFFF) {
        znaky.push_back(0x10000 + ((u - 0xD800) << 10) + (d - 0xDC00));
        i += 2;
        continue;
      }
    }
    znaky.push_back(u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
  }
  std::string out;
  for (char32_t z : znaky) {
    if (z < 0x80) {
      out += static_cast<char>(z);
    } else if (z < 0x800) {
      out += static_cast<char>(0xC0 | (z >> 6));
      out += static_cast<char>(0x80 | (z & 0x3F));
    } else if (z < 0x10000) {
      out += static_cast<char>(0xE0 | (z >> 12));
      out += static_cast<char>(0x80 | ((z >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (z & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (z >> 18));
      out += static_cast<char>(0x80 | ((z >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((z >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (z & 0x3F));
    }
  }
  return out;
}

// Valid UTF-8 to UTF-16LE.
std::string DoUtf16(std::string_view utf8) {
  std::string out;
  auto pridat = [&](char32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  for (std::size_t i = 0; i < utf8.size();) {
    auto c = static_cast<unsigned char>(utf8[i]);
    int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t z = n == 1 ? c : c & (0x7F >> n);
    for (int k = 1; k < n; ++k)
      z = (z << 6) | (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3F);
    i += static_cast<std::size_t>(n);
    if (z >= 0x10000) {
      pridat(0xD800 + ((z - 0x10000) >> 10));
      pridat(0xDC00 + ((z - 0x10000) & 0x3FF));
    } else {
      pridat(z);
    }
  }
  return out;
}

// The file's text and how text is appended to it.
struct Soubor {
  std::string text;  // UTF-8
  enum class Druh { kUtf16, kUtf16Lichy, kCp1250, kUtf8 } druh = Druh::kUtf8;
};

Soubor Rozebrat(std::string_view bajty) {
  Soubor s;
  if (bajty.size() >= 2 && bajty[0] == '\xFF' && bajty[1] == '\xFE') {
    s.text = ZUtf16(bajty.substr(2));
    s.druh = bajty.size() % 2 == 0 ? Soubor::Druh::kUtf16 : Soubor::Druh::kUtf16Lichy;
    return s;
  }
  DekodovanyText d = Dekodovat(bajty);
  s.text = std::move(d.text);
  s.druh = d.kodovani == Kodovani::kCp1250 ? Soubor::Druh::kCp1250 : Soubor::Druh::kUtf8;
  return s;
}

// UTF-8 text in the file's encoding; no value when it cannot be appended.
std::optional<std::string> Kodovat(const Soubor& s, std::string_view text) {
  switch (s.druh) {
    case Soubor::Druh::kUtf16:
      return DoUtf16(text);
    case Soubor::Druh::kUtf16Lichy:
      return std::nullopt;
    case Soubor::Druh::kCp1250:
      return Do1250(text);
    case Soubor::Druh::kUtf8:
      return std::string(text);
  }
  return std::nullopt;
}

// A name between quotes at the start of s with \\ and \" resolved.
std::optional<std::string> VUvozovkach(std::string_view s) {
  std::string out;
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (s[i] == '"') return out;
    if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) ++i;
    out += s[i];
  }
  return std::nullopt;
}

// What the file names: key paths (as written between the brackets) and the value
// names under them.
struct Dotaz {
  std::string cesta;
  std::string nazev;
};

struct Nazvy {
  bool hlavicka = false;  // the first non-blank line is a header
  std::vector<std::string> cesty;
  std::vector<Dotaz> dotazy;
};

Nazvy NajitNazvy(const std::string& text) {
  Nazvy n;
  std::optional<std::string> cesta;
  bool prvni = true;
  for (const std::string& radek : Rozdelit(text, '\n')) {
    std::string_view t = radek;
    if (!t.empty() && t.back() == '\r') t.remove_suffix(1);
    t = Orezat(t, kMezery);
    if (t.empty()) continue;
    if (prvni) {
      n.hlavicka = t == "REGEDIT4" || t == "Windows Registry Editor Version 5.00";
      prvni = false;
      continue;
    }
    if (t.front() == '[') {
      std::size_t zavorka = t.rfind(']');
      cesta.reset();
      if (zavorka == std::string_view::npos || t[1] == '-') continue;
      cesta = std::string(t.substr(1, zavorka - 1));
      if (n.cesty.size() < kNejviceDotazu) n.cesty.push_back(*cesta);
      continue;
    }
    if (!cesta || n.dotazy.size() >= kNejviceDotazu) continue;
    if (t.front() == '@') n.dotazy.push_back({*cesta, "@"});
    if (t.front() == '"')
      if (auto jmeno = VUvozovkach(t)) n.dotazy.push_back({*cesta, *jmeno});
  }
  return n;
}

// Root and key of a path as the reader splits it: the first non-empty part is the
// root. No value for an unknown root.
std::optional<std::pair<std::string, std::string>> KorenAKlic(std::string_view cesta) {
  std::vector<std::string> casti;
  for (const std::string& c : Rozdelit(cesta, '\\'))
    if (!c.empty()) casti.push_back(c);
  if (casti.empty() || !JinyKoren(casti.front())) return std::nullopt;
  std::string klic;
  for (std::size_t i = 1; i < casti.size(); ++i)
    klic += (i > 1 ? "\\" : "") + casti[i];
  return std::pair(casti.front(), klic);
}

std::optional<Hodnota> Cist(const std::string& soubor, const Dotaz& d) {
  auto rk = KorenAKlic(d.cesta);
  if (!rk) return std::nullopt;
  return registr::CistHodnotu(soubor, rk->first, rk->second, d.nazev);
}

// One value read every way it may be spelled.
void OveritDotaz(const std::string& soubor, const Dotaz& d) {
  auto rk = KorenAKlic(d.cesta);
  if (!rk) return;
  const auto& [koren, klic] = *rk;
  std::optional<Hodnota> h = registr::CistHodnotu(soubor, koren, klic, d.nazev);
  if (h && h->typ == Typ::kRetezec)
    OVERIT(JePlatneUtf8(h->text), "text není UTF-8: " + Ukazat(h->text));
  const std::string co = Ukazat(d.cesta) + " " + Ukazat(d.nazev) + " čte " + Popis(h);
  OVERIT(Stejne(registr::CistHodnotu(soubor, *JinyKoren(koren), klic, d.nazev), h),
         "jinak zapsaný kořen: " + co);
  OVERIT(Stejne(registr::CistHodnotu(soubor, JinaVelikost(koren),
                                     "\\" + JinaVelikost(klic) + "\\\\", JinaVelikost(d.nazev)),
                h),
         "jiná velikost písmen a zpětná lomítka: " + co);
  if (d.nazev.empty() || d.nazev == "@")
    OVERIT(Stejne(registr::CistHodnotu(soubor, koren, klic, d.nazev.empty() ? "@" : ""), h),
           "\"\" a \"@\" čtou jinak: " + co);
}

// Appends text to the file (in its encoding) and checks what reads back.
void OveritPripojeni(const std::string& bajty, const Soubor& s, const Nazvy& n) {
  if (!n.hlavicka) return;
  // The first path of the file with a known root, else one of ours.
  std::string cesta = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zevlon";
  for (const std::string& c : n.cesty)
    if (KorenAKlic(c) && Kodovat(s, c) && c.find('\r') == std::string::npos) {
      cesta = c;
      break;
    }
  static const std::string kPridane =
      "\"ZevlonText\"=\"hodnota \\\"v uvozovkách\\\" \\\\\"\r\n"
      "\"ZevlonCislo\"=dword:0000abcd\r\n"
      "\"ZevlonHex\"=hex(1):7a,00,ed,00,\\\r\n"
      "  00,00\r\n"
      "\"ZevlonBinarni\"=hex:01,02\r\n";
  auto pridane = Kodovat(s, "\r\n[" + cesta + "]\r\n" + kPridane);
  if (!pridane) return;

  const std::string soubor = Pracoviste::Instance().Cesta("pridano.reg");
  fuzz::Zapsat(soubor, bajty + *pridane);
  const std::string puvodni = Pracoviste::Instance().Cesta("registry.reg");
  const std::string co = " po připojení ke klíči " + Ukazat(cesta);
  auto text = Cist(soubor, {cesta, "ZevlonText"});
  OVERIT(text && text->typ == Typ::kRetezec && text->text == "hodnota \"v uvozovkách\" \\",
         "ZevlonText čte " + Popis(text) + co);
  auto cislo = Cist(soubor, {cesta, "zevloncislo"});
  OVERIT(cislo && cislo->typ == Typ::kDword && cislo->cislo == 0xabcd,
         "ZevlonCislo čte " + Popis(cislo) + co);
  auto hex = Cist(soubor, {cesta, "ZEVLONHEX"});
  OVERIT(hex && hex->typ == Typ::kRetezec && hex->text == "zí", "ZevlonHex čte " + Popis(hex) + co);
  auto binarni = Cist(soubor, {cesta, "ZevlonBinarni"});
  OVERIT(binarni && binarni->typ == Typ::kJiny, "ZevlonBinarni čte " + Popis(binarni) + co);
  for (const Dotaz& d : n.dotazy)
    if (!ZacinaNa(d.nazev, "Zevlon"))
      OVERIT(Stejne(Cist(soubor, d), Cist(puvodni, d)),
             "hodnota " + Ukazat(d.cesta) + " " + Ukazat(d.nazev) + " se změnila" + co);

  // A deleted value, then the whole key deleted.
  auto smazano = Kodovat(s, "\"ZevlonText\"=-\r\n");
  fuzz::Zapsat(soubor, bajty + *pridane + *smazano);
  OVERIT(!Cist(soubor, {cesta, "ZevlonText"}), "smazaná hodnota zůstala" + co);
  OVERIT(Cist(soubor, {cesta, "ZevlonCislo"}), "smazána i jiná hodnota" + co);
  auto klic = Kodovat(s, "[-" + cesta + "]\r\n");
  fuzz::Zapsat(soubor, bajty + *pridane + *klic);
  OVERIT(!Cist(soubor, {cesta, "ZevlonCislo"}), "hodnota smazaného klíče zůstala" + co);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Pracoviste& p = Pracoviste::Instance();
  p.Vycistit();
  const std::string bajty(reinterpret_cast<const char*>(data), size);
  const std::string soubor = p.Cesta("registry.reg");
  fuzz::Zapsat(soubor, bajty);

  const Soubor s = Rozebrat(bajty);
  const Nazvy n = NajitNazvy(s.text);
  for (const Dotaz& d : n.dotazy)
    OveritDotaz(soubor, d);
  for (const std::string& c : n.cesty)
    OveritDotaz(soubor, {c, "@"});
  OveritDotaz(soubor, {"HKLM\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace", "Slozka_Merka"});
  OveritPripojeni(bajty, s, n);

  p.Vycistit();
  return 0;
}
