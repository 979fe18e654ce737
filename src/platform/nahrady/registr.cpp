#include "platform/nahrady/registr.h"

#include <vector>

#include "common/kodovani.h"
#include "common/text.h"
#include "platform/soubory/soubor.h"

namespace zevlon::registr {

namespace {

constexpr std::string_view kMezery = " \t";

void PridatUtf8(std::string& out, char32_t b) {
  if (b < 0x80) {
    out.push_back(static_cast<char>(b));
  } else if (b < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (b >> 6)));
    out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
  } else if (b < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (b >> 12)));
    out.push_back(static_cast<char>(0x80 | ((b >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (b >> 18)));
    out.push_back(static_cast<char>(0x80 | ((b >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((b >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
  }
}

// UTF-16LE to UTF-8; a lone surrogate becomes U+FFFD, an odd last byte is dropped.
std::string ZUtf16(std::string_view b) {
  std::string out;
  out.reserve(b.size());
  auto jednotka = [&](std::size_t i) -> char32_t {
    return static_cast<unsigned char>(b[i]) | (static_cast<unsigned char>(b[i + 1]) << 8);
  };
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
    char32_t u = jednotka(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < b.size()) {
      char32_t d = jednotka(i + 2);
      if (d >= 0xDC00 && d <= 0xDFFF) {
        PridatUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (d - 0xDC00));
        i += 2;
        continue;
      }
    }
    PridatUtf8(out, u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
  }
  return out;
}

// The file as UTF-8: UTF-16LE with BOM (regedit 5 exports), else UTF-8 or Windows-1250.
std::string Text(std::string_view bajty) {
  if (bajty.size() >= 2 && bajty[0] == '\xFF' && bajty[1] == '\xFE') return ZUtf16(bajty.substr(2));
  return Dekodovat(bajty).text;
}

// Root names as the registry spells them in full.
std::string PlnyKoren(std::string_view koren) {
  static constexpr std::pair<std::string_view, std::string_view> kZkratky[] = {
      {"hklm", "HKEY_LOCAL_MACHINE"},  {"hkcu", "HKEY_CURRENT_USER"},
      {"hkcr", "HKEY_CLASSES_ROOT"},   {"hku", "HKEY_USERS"},
      {"hkcc", "HKEY_CURRENT_CONFIG"},
  };
  for (auto [zkratka, plny] : kZkratky)
    if (StejnyText(koren, zkratka) || StejnyText(koren, plny)) return std::string(plny);
  return {};
}

// Case-folded key path "root\a\b" with the root in full and empty parts dropped; ""
// for an unknown root.
std::string KlicovaCesta(std::string_view cesta) {
  std::vector<std::string> casti;
  for (const std::string& c : Rozdelit(cesta, '\\'))
    if (!c.empty()) casti.push_back(c);
  if (casti.empty()) return {};
  std::string koren = PlnyKoren(casti.front());
  if (koren.empty()) return {};
  std::string out = koren;
  for (std::size_t i = 1; i < casti.size(); ++i)
    out += "\\" + casti[i];
  return SlozitVelikost(out);
}

bool JeHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned HexCislice(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  return static_cast<unsigned>(c - 'A' + 10);
}

// What may follow data on a line: blanks, then nothing or a ";" comment.
bool JenKonec(std::string_view zbytek) {
  zbytek = Orezat(zbytek, kMezery);
  return zbytek.empty() || zbytek.front() == ';';
}

// A quoted text at the start of s with \\ and \" resolved; `delka` gets the length
// consumed, closing quote included. No value when the quote is not closed.
std::optional<std::string> CistUvozovky(std::string_view s, std::size_t& delka) {
  if (s.empty() || s.front() != '"') return std::nullopt;
  std::string out;
  for (std::size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      delka = i + 1;
      return out;
    }
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out.push_back(s[++i]);
      continue;
    }
    out.push_back(c);
  }
  return std::nullopt;
}

// Bytes of hex data "0a,00, 1f"; no value when malformed.
std::optional<std::string> HexBajty(std::string_view s) {
  std::string out;
  s = Orezat(s, kMezery);
  if (s.empty()) return out;
  for (const std::string& kus : Rozdelit(s, ',')) {
    std::string_view k = Orezat(kus, kMezery);
    if (k.empty() || k.size() > 2 || !JeHex(k[0]) || (k.size() == 2 && !JeHex(k[1])))
      return std::nullopt;
    unsigned b = HexCislice(k[0]);
    if (k.size() == 2) b = b * 16 + HexCislice(k[1]);
    out.push_back(static_cast<char>(b));
  }
  return out;
}

// A continuation line of hex data: hex digits, commas and blanks, maybe a final "\".
bool JeHexPokracovani(std::string_view radek) {
  radek = Orezat(radek, kMezery);
  if (!radek.empty() && radek.back() == '\\') radek.remove_suffix(1);
  for (char c : radek)
    if (!JeHex(c) && c != ',' && c != ' ' && c != '\t') return false;
  return true;
}

// Registry data of type `typ` given as hex bytes, read as the registry would hand it out.
Hodnota ZHexu(unsigned long typ, const std::string& bajty) {
  Hodnota h;
  if (typ == 1) {  // REG_SZ: UTF-16LE, up to the first NUL
    h.typ = Typ::kRetezec;
    h.text = ZUtf16(bajty);
    h.text = h.text.substr(0, h.text.find('\0'));
  } else if (typ == 4 && bajty.size() == 4) {  // REG_DWORD, little-endian
    h.typ = Typ::kDword;
    for (int i = 3; i >= 0; --i)
      h.cislo = (h.cislo << 8) | static_cast<unsigned char>(bajty[static_cast<std::size_t>(i)]);
  }
  return h;
}

struct Radky {
  std::vector<std::string> radky;
  std::size_t i = 0;
};

enum class Vysledek { kNastavit, kSmazat, kVadny };

// The data after "=" of a value line, joining continued hex lines from `r`.
Vysledek CistData(std::string_view data, Radky& r, Hodnota& h) {
  data = Orezat(data, kMezery);
  if (data.empty()) return Vysledek::kVadny;
  if (data.front() == '-') return JenKonec(data.substr(1)) ? Vysledek::kSmazat : Vysledek::kVadny;
  if (data.front() == '"') {
    std::size_t delka = 0;
    auto text = CistUvozovky(data, delka);
    if (!text || !JenKonec(data.substr(delka))) return Vysledek::kVadny;
    h = Hodnota{Typ::kRetezec, std::move(*text), 0};
    return Vysledek::kNastavit;
  }
  if (ZacinaNa(data, "dword:")) {
    std::string_view cislice = data.substr(6);
    std::size_t n = 0;
    while (n < cislice.size() && JeHex(cislice[n]))
      ++n;
    if (n == 0 || n > 8 || !JenKonec(cislice.substr(n))) return Vysledek::kVadny;
    std::uint32_t c = 0;
    for (std::size_t k = 0; k < n; ++k)
      c = (c << 4) | HexCislice(cislice[k]);
    h = Hodnota{Typ::kDword, {}, c};
    return Vysledek::kNastavit;
  }
  if (ZacinaNa(data, "hex")) {
    // "hex:" is REG_BINARY, "hex(N):" the type N written as bytes.
    unsigned long typ = 3;
    std::string_view zbytek = data.substr(3);
    if (!zbytek.empty() && zbytek.front() == '(') {
      std::size_t zavorka = zbytek.find(')');
      if (zavorka == std::string_view::npos || zavorka == 1 || zavorka > 9) return Vysledek::kVadny;
      typ = 0;
      for (char c : zbytek.substr(1, zavorka - 1)) {
        if (!JeHex(c)) return Vysledek::kVadny;
        typ = typ * 16 + HexCislice(c);
      }
      zbytek = zbytek.substr(zavorka + 1);
    }
    if (zbytek.empty() || zbytek.front() != ':') return Vysledek::kVadny;
    std::string vse = std::string(Orezat(zbytek.substr(1), kMezery));
    while (!vse.empty() && vse.back() == '\\') {
      vse.pop_back();
      if (r.i >= r.radky.size() || !JeHexPokracovani(r.radky[r.i])) break;
      vse += Orezat(r.radky[r.i++], kMezery);
    }
    auto bajty = HexBajty(vse);
    if (!bajty) return Vysledek::kVadny;
    h = ZHexu(typ, *bajty);
    return Vysledek::kNastavit;
  }
  return Vysledek::kVadny;
}

}  // namespace

std::optional<Hodnota> CistHodnotu(const std::string& soubor, std::string_view koren,
                                   std::string_view klic, std::string_view nazev) {
  const std::string cil = KlicovaCesta(std::string(koren) + "\\" + std::string(klic));
  if (cil.empty()) return std::nullopt;
  const std::string hledany = nazev == "@" ? std::string() : SlozitVelikost(nazev);

  auto bajty = NacistSoubor(soubor);
  if (!bajty) return std::nullopt;
  Radky r;
  for (std::string& radek : Rozdelit(Text(*bajty), '\n')) {
    // CR CR LF (a CR LF file converted once more) ends a line like CR LF.
    while (!radek.empty() && radek.back() == '\r')
      radek.pop_back();
    r.radky.push_back(std::move(radek));
  }

  // The header comes first; blank lines before it are tolerated.
  while (r.i < r.radky.size() && Orezat(r.radky[r.i], kMezery).empty())
    ++r.i;
  if (r.i >= r.radky.size()) return std::nullopt;
  std::string_view hlavicka = Orezat(r.radky[r.i++], kMezery);
  if (hlavicka != "REGEDIT4" && hlavicka != "Windows Registry Editor Version 5.00")
    return std::nullopt;

  std::optional<Hodnota> vysledek;
  bool vCili = false;  // the values that follow belong to the wanted key
  while (r.i < r.radky.size()) {
    std::string_view radek = Orezat(r.radky[r.i++], kMezery);
    if (radek.empty() || radek.front() == ';') continue;

    if (radek.front() == '[') {
      vCili = false;
      std::size_t zavorka = radek.rfind(']');
      if (zavorka == std::string_view::npos || !JenKonec(radek.substr(zavorka + 1))) continue;
      std::string_view cesta = radek.substr(1, zavorka - 1);
      bool smazat = !cesta.empty() && cesta.front() == '-';
      if (smazat) cesta.remove_prefix(1);
      std::string k = KlicovaCesta(cesta);
      if (k.empty()) continue;
      if (smazat) {
        if (cil == k || cil.starts_with(k + "\\")) vysledek.reset();
      } else {
        vCili = cil == k;
      }
      continue;
    }

    std::string jmeno;
    std::string_view zbytek;
    if (radek.front() == '@') {
      zbytek = radek.substr(1);
    } else if (radek.front() == '"') {
      std::size_t delka = 0;
      auto j = CistUvozovky(radek, delka);
      if (!j) continue;
      jmeno = SlozitVelikost(*j);
      zbytek = radek.substr(delka);
    } else {
      continue;
    }
    zbytek = Orezat(zbytek, kMezery);
    if (zbytek.empty() || zbytek.front() != '=') continue;
    Hodnota h;
    // The data is read even for other keys, so continued hex lines are consumed.
    Vysledek v = CistData(zbytek.substr(1), r, h);
    if (!vCili || jmeno != hledany) continue;
    if (v == Vysledek::kNastavit)
      vysledek = std::move(h);
    else if (v == Vysledek::kSmazat)
      vysledek.reset();
  }
  return vysledek;
}

}  // namespace zevlon::registr
