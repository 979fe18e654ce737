#include "common/text.h"

#include <unicode/unistr.h>

#include <optional>

#include "common/kodovani.h"

namespace zevlon {

namespace {

bool JeAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// Decodes UTF-8 into code points; an invalid byte stands for itself so that
// texts that are not UTF-8 still compare byte for byte.
std::u32string NaKodoveBody(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int delka = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (delka <= 1 || i + delka > s.size()) {
      out.push_back(c < 0x80 ? c : 0x110000u + c);
      ++i;
      continue;
    }
    char32_t bod = c & (0x7F >> delka);
    bool dobre = true;
    for (int k = 1; k < delka; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) dobre = false;
      bod = (bod << 6) | (d & 0x3F);
    }
    if (!dobre) {
      out.push_back(0x110000u + c);
      ++i;
      continue;
    }
    out.push_back(bod);
    i += delka;
  }
  return out;
}

}  // namespace

std::string_view Orezat(std::string_view s, std::string_view znaky) {
  auto zacatek = s.find_first_not_of(znaky);
  if (zacatek == std::string_view::npos) return {};
  auto konec = s.find_last_not_of(znaky);
  return s.substr(zacatek, konec - zacatek + 1);
}

std::string SlozitVelikost(std::string_view s) {
  // ASCII in one pass; anything else is folded by ICU.
  std::string out(s);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      out.clear();
      icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())))
          .foldCase()
          .toUTF8String(out);
      return out;
    }
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool StejnyText(std::string_view a, std::string_view b) {
  if (JeAscii(a) && JeAscii(b)) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      char x = a[i], y = b[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
      if (x != y) return false;
    }
    return true;
  }
  return SlozitVelikost(a) == SlozitVelikost(b);
}

namespace {

// Case-insensitive equality of two pieces of equal length, ASCII only; no value when
// a piece holds other characters.
std::optional<bool> StejneAscii(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (static_cast<unsigned char>(x) >= 0x80 || static_cast<unsigned char>(y) >= 0x80)
      return std::nullopt;
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

bool ZacinaNa(std::string_view s, std::string_view predpona) {
  if (JeAscii(predpona) && JeAscii(s))
    return s.size() >= predpona.size() && *StejneAscii(s.substr(0, predpona.size()), predpona);
  std::string a = SlozitVelikost(s), b = SlozitVelikost(predpona);
  return a.size() >= b.size() && a.compare(0, b.size(), b) == 0;
}

bool KonciNa(std::string_view s, std::string_view pripona) {
  if (s.size() >= pripona.size() && JeAscii(pripona)) {
    // An ASCII suffix needs only the same number of trailing bytes, when they are ASCII.
    if (auto r = StejneAscii(s.substr(s.size() - pripona.size()), pripona)) {
      if (s.size() == pripona.size() ||
          static_cast<unsigned char>(s[s.size() - pripona.size()]) < 0x80 ||
          (static_cast<unsigned char>(s[s.size() - pripona.size()]) & 0xC0) != 0x80)
        return *r;
    }
  }
  std::string a = SlozitVelikost(s), b = SlozitVelikost(pripona);
  return a.size() >= b.size() && a.compare(a.size() - b.size(), b.size(), b) == 0;
}

bool OdpovidaMasce(std::string_view text, std::string_view maska) {
  const std::u32string t = NaKodoveBody(SlozitVelikost(text));
  const std::u32string m = NaKodoveBody(SlozitVelikost(maska));
  // Greedy match remembering the last "*": linear in practice, never exponential.
  std::size_t ti = 0, mi = 0, hvezda = std::u32string::npos, zpet = 0;
  while (ti < t.size()) {
    if (mi < m.size() && (m[mi] == U'?' || m[mi] == t[ti])) {
      ++ti;
      ++mi;
    } else if (mi < m.size() && m[mi] == U'*') {
      hvezda = mi++;
      zpet = ti;
    } else if (hvezda != std::u32string::npos) {
      mi = hvezda + 1;
      ti = ++zpet;
    } else {
      return false;
    }
  }
  while (mi < m.size() && m[mi] == U'*')
    ++mi;
  return mi == m.size();
}

bool OdpovidaMasceSouboru(std::string_view jmeno, std::string_view maska) {
  if (OdpovidaMasce(jmeno, maska)) return true;
  if (maska.size() >= 2 && maska.substr(maska.size() - 2) == ".*") {
    maska.remove_suffix(2);
    return jmeno.find('.') == std::string_view::npos && OdpovidaMasce(jmeno, maska);
  }
  return false;
}

bool ObsahujeZastupneZnaky(std::string_view s) {
  return s.find_first_of("*?") != std::string_view::npos;
}

std::string NahraditVse(std::string_view s, std::string_view co, std::string_view cim) {
  if (co.empty()) return std::string(s);
  std::string out;
  std::size_t pos = 0;
  for (;;) {
    auto nalez = s.find(co, pos);
    if (nalez == std::string_view::npos) break;
    out.append(s.substr(pos, nalez - pos));
    out.append(cim);
    pos = nalez + co.size();
  }
  out.append(s.substr(pos));
  return out;
}

std::vector<std::string> Rozdelit(std::string_view s, char oddelovac) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  for (;;) {
    auto nalez = s.find(oddelovac, pos);
    if (nalez == std::string_view::npos) {
      out.emplace_back(s.substr(pos));
      return out;
    }
    out.emplace_back(s.substr(pos, nalez - pos));
    pos = nalez + 1;
  }
}

std::string KodovatProUrl(std::string_view s, bool lomitka) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~' || (lomitka && c == '/')) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string Pocet(long long n, std::string_view jeden, std::string_view malo,
                  std::string_view mnoho) {
  return std::to_string(n) + " " + std::string(n == 1 ? jeden : n >= 2 && n <= 4 ? malo : mnoho);
}

std::string CitelnaVelikost(long long bajtu) {
  const std::string mezera(kPevnaMezera);
  if (bajtu < 1000) return std::to_string(bajtu) + mezera + "B";
  static constexpr const char* kJednotky[] = {"kB", "MB", "GB", "TB", "PB"};
  long long desetiny = bajtu / 100;  // tenths of a kilobyte
  std::size_t j = 0;
  for (; desetiny >= 10000 && j + 1 < std::size(kJednotky); ++j)
    desetiny = (desetiny + 500) / 1000;
  return std::to_string(desetiny / 10) + "," + std::to_string(desetiny % 10) + mezera +
         kJednotky[j];
}

std::string CitelnaDoba(long long sekund) {
  auto cislo = [](long long n, const char* jednotka) {
    return std::to_string(n) + std::string(kPevnaMezera) + jednotka;
  };
  if (sekund < 60) return cislo(sekund, "s");
  if (sekund < 3600) return cislo(sekund / 60, "min") + " " + cislo(sekund % 60, "s");
  return cislo(sekund / 3600, "h") + " " + cislo(sekund % 3600 / 60, "min");
}

namespace {

// The length of the UTF-8 character that starts at i, or 0 when none does.
std::size_t DelkaZnaku(std::string_view t, std::size_t i) {
  for (std::size_t n = 1; n <= 4 && i + n <= t.size(); ++n)
    if (JePlatneUtf8(t.substr(i, n))) return n;
  return 0;
}

}  // namespace

std::string OcistitText(std::string_view text, std::size_t max, bool radky) {
  std::string r;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t n = c < 0x80 ? 1 : DelkaZnaku(text, i);
    std::string_view znak = n ? text.substr(i, n) : std::string_view("?");
    if (n == 0) n = 1;
    if (c < 0x20 || c == 0x7f) {
      const bool zachovat = c == '\t' || (radky && (c == '\r' || c == '\n'));
      znak = zachovat ? znak : std::string_view(" ");
    } else if (c == 0xc2 && n == 2 && static_cast<unsigned char>(text[i + 1]) < 0xa0) {
      znak = " ";  // the C1 controls, which terminals take as commands
    }
    if (r.size() + znak.size() > max) break;
    r += znak;
    i += n;
  }
  return r;
}

}  // namespace zevlon
