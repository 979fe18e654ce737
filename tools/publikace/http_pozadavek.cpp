#include "tools/publikace/http_pozadavek.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <sstream>

namespace zevlon::publikace {

namespace {

std::string MalymiPismeny(std::string_view s) {
  std::string v(s);
  for (char& c : v)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return v;
}

std::string_view Orezat(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

// Splits off the part before `oddelovac` (all of `s` when there is none).
std::string_view Odtrhnout(std::string_view& s, std::string_view oddelovac) {
  auto i = s.find(oddelovac);
  std::string_view cast = s.substr(0, i);
  s.remove_prefix(i == std::string_view::npos ? s.size() : i + oddelovac.size());
  return cast;
}

// Whether a comma-separated header list holds the token (compared without case).
bool ObsahujeZnacku(const Pozadavek& p, std::string_view jmeno, std::string_view znacka) {
  for (const auto& [j, hodnota] : p.hlavicky) {
    if (j != jmeno) continue;
    std::string_view zbytek = hodnota;
    while (!zbytek.empty())
      if (MalymiPismeny(Orezat(Odtrhnout(zbytek, ","))) == znacka) return true;
  }
  return false;
}

// A decimal number of digits only; none when empty, with other characters or too big.
std::optional<std::uint64_t> Cislo(std::string_view s) {
  std::uint64_t v = 0;
  if (s.empty()) return std::nullopt;
  auto [konec, chyba] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (chyba != std::errc() || konec != s.data() + s.size()) return std::nullopt;
  return v;
}

}  // namespace

std::optional<std::string> Pozadavek::Hlavicka(std::string_view jmeno) const {
  for (const auto& [j, hodnota] : hlavicky)
    if (j == jmeno) return hodnota;
  return std::nullopt;
}

Pozadavek RozebratHlavu(std::string_view hlava) {
  Pozadavek p;
  std::string_view radek = Odtrhnout(hlava, "\r\n");
  p.metoda = Odtrhnout(radek, " ");
  p.cil = Odtrhnout(radek, " ");
  p.verze = radek;
  if (p.metoda.empty() || p.cil.empty() || (p.verze != "HTTP/1.1" && p.verze != "HTTP/1.0"))
    return p;
  while (!hlava.empty()) {
    std::string_view hlavicka = Odtrhnout(hlava, "\r\n");
    auto dvojtecka = hlavicka.find(':');
    if (dvojtecka == 0 || dvojtecka == std::string_view::npos ||
        hlavicka.find_first_of(" \t") < dvojtecka)
      return p;  // also a continuation line, which HTTP/1.1 no longer allows
    p.hlavicky.emplace_back(MalymiPismeny(hlavicka.substr(0, dvojtecka)),
                            Orezat(hlavicka.substr(dvojtecka + 1)));
  }
  p.platny = true;
  return p;
}

bool PonechatSpojeni(const Pozadavek& p) {
  if (p.verze == "HTTP/1.1") return !ObsahujeZnacku(p, "connection", "close");
  return ObsahujeZnacku(p, "connection", "keep-alive");
}

bool MaTelo(const Pozadavek& p) {
  auto delka = p.Hlavicka("content-length");
  return p.Hlavicka("transfer-encoding") || (delka && Cislo(*delka) != std::uint64_t{0});
}

bool Dekodovat(const std::string& url, std::string& cesta) {
  cesta.clear();
  std::string surova = url.substr(0, url.find('?'));
  for (std::size_t i = 0; i < surova.size(); ++i) {
    if (surova[i] == '%') {
      if (i + 2 >= surova.size()) return false;
      auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
      };
      int a = hex(surova[i + 1]), b = hex(surova[i + 2]);
      if (a < 0 || b < 0) return false;
      cesta += static_cast<char>(a * 16 + b);
      i += 2;
    } else {
      cesta += surova[i];
    }
  }
  if (cesta.empty() || cesta.front() != '/' || cesta.find('\0') != std::string::npos) return false;
  std::istringstream casti(cesta);
  std::string cast;
  while (std::getline(casti, cast, '/'))
    if (cast == "..") return false;
  return true;
}

Vyber VybratRozsah(std::string_view hodnota, std::uint64_t velikost, Rozsah& r) {
  hodnota = Orezat(hodnota);
  if (MalymiPismeny(Odtrhnout(hodnota, "=")) != "bytes" || hodnota.find(',') != hodnota.npos)
    return Vyber::kCely;
  if (hodnota.find('-') == hodnota.npos) return Vyber::kCely;
  std::string_view prvni = Orezat(Odtrhnout(hodnota, "-"));
  std::string_view druhy = Orezat(hodnota);
  if (prvni.empty()) {  // "-N": the last N bytes
    auto n = Cislo(druhy);
    if (!n) return Vyber::kCely;
    if (*n == 0 || velikost == 0) return Vyber::kNesplnitelny;
    r = {velikost - std::min(*n, velikost), velikost - 1};
    return Vyber::kCast;
  }
  auto od = Cislo(prvni);
  auto po = druhy.empty() ? std::optional<std::uint64_t>(UINT64_MAX) : Cislo(druhy);
  if (!od || !po || *po < *od) return Vyber::kCely;
  if (*od >= velikost) return Vyber::kNesplnitelny;
  r = {*od, std::min(*po, velikost - 1)};
  return Vyber::kCast;
}

}  // namespace zevlon::publikace
