#include "prenos/ftp/ftp_seznam.h"

#include <ctime>
#include <optional>

#include "common/text.h"

namespace zevlon::ftp {

namespace {

constexpr std::string_view kMezery = " \t";

bool JeCislice(char c) {
  return c >= '0' && c <= '9';
}

bool JsouCislice(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!JeCislice(c)) return false;
  return true;
}

// A whole non-negative decimal number that fits in 64 bits.
std::optional<std::int64_t> Cislo(std::string_view s) {
  if (!JsouCislice(s) || s.size() > 18) return std::nullopt;
  std::int64_t n = 0;
  for (char c : s)
    n = n * 10 + (c - '0');
  return n;
}

// Seconds of a UTC calendar time; no value for a date or time out of range.
std::optional<UtcCas> Utc(std::int64_t rok, std::int64_t mesic, std::int64_t den, std::int64_t h,
                          std::int64_t m, std::int64_t s) {
  if (mesic < 1 || mesic > 12 || den < 1 || den > 31 || h > 23 || m > 59 || s > 60)
    return std::nullopt;
  return DnyOdEpochy(rok, mesic, den) * 86400 + h * 3600 + m * 60 + s;
}

// The lines of a reply body, without their CR LF or LF.
std::vector<std::string_view> Radky(std::string_view data) {
  std::vector<std::string_view> radky;
  while (!data.empty()) {
    auto konec = data.find('\n');
    std::string_view r = data.substr(0, konec);
    if (!r.empty() && r.back() == '\r') r.remove_suffix(1);
    radky.push_back(r);
    if (konec == std::string_view::npos) break;
    data.remove_prefix(konec + 1);
  }
  return radky;
}

// Whitespace-separated words of a line with the offset where each ends.
struct Slovo {
  std::string_view text;
  std::size_t konec = 0;
};

std::vector<Slovo> Slova(std::string_view radek) {
  std::vector<Slovo> slova;
  std::size_t i = 0;
  while (i < radek.size()) {
    while (i < radek.size() && kMezery.find(radek[i]) != std::string_view::npos)
      ++i;
    std::size_t zacatek = i;
    while (i < radek.size() && kMezery.find(radek[i]) == std::string_view::npos)
      ++i;
    if (i > zacatek) slova.push_back({radek.substr(zacatek, i - zacatek), i});
  }
  return slova;
}

// The text after offset `od` with the blanks in front of it removed.
std::string_view ZbytekPo(std::string_view radek, std::size_t od) {
  std::string_view z = radek.substr(od);
  while (!z.empty() && kMezery.find(z.front()) != std::string_view::npos)
    z.remove_prefix(1);
  return z;
}

int Mesic(std::string_view s) {
  static constexpr std::string_view kMesice[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
  if (s.size() != 3) return 0;
  for (int i = 0; i < 12; ++i)
    if (StejnyText(s, kMesice[i])) return i + 1;
  return 0;
}

int RokUtc(UtcCas t) {
  std::time_t s = static_cast<std::time_t>(t);
  std::tm tm{};
  gmtime_r(&s, &tm);
  return tm.tm_year + 1900;
}

// "HH:MM" as hours and minutes.
bool CasHodin(std::string_view s, int& h, int& m) {
  auto dvojtecka = s.find(':');
  if (dvojtecka == std::string_view::npos) return false;
  auto hh = Cislo(s.substr(0, dvojtecka));
  auto mm = Cislo(s.substr(dvojtecka + 1));
  if (!hh || !mm || s.size() - dvojtecka - 1 != 2 || *hh > 23 || *mm > 59) return false;
  h = static_cast<int>(*hh);
  m = static_cast<int>(*mm);
  return true;
}

// "YYYYMMDDHHMMSS" with an optional fraction, as MLSD writes its times.
std::optional<UtcCas> CasMlsd(std::string_view s) {
  s = s.substr(0, s.find('.'));
  if (s.size() != 14 || !JsouCislice(s)) return std::nullopt;
  auto c = [&](std::size_t od, std::size_t n) { return *Cislo(s.substr(od, n)); };
  return Utc(c(0, 4), c(4, 2), c(6, 2), c(8, 2), c(10, 2), c(12, 2));
}

// "-rw-r--r--   1 owner group  1234 Mar 14 09:30 name" and its variants without the
// link count or the group. The date is found as month, day, and time or year, right
// after the size; the usual column of the month is tried first, so that an owner
// named like a month does not mislead.
std::optional<PolozkaSeznamu> RadekUnix(std::string_view radek, UtcCas ted) {
  auto slova = Slova(radek);
  if (slova.size() < 5) return std::nullopt;
  std::string_view prava = slova[0].text;
  if (prava.size() < 10) return std::nullopt;
  char druh = prava[0];
  if (druh != '-' && druh != 'd' && druh != 'l') return std::nullopt;

  auto datum = [&](std::size_t i) {
    return i >= 2 && i + 2 < slova.size() && Cislo(slova[i - 1].text) && Mesic(slova[i].text) &&
           Cislo(slova[i + 1].text) && slova[i + 1].text.size() <= 2 &&
           (slova[i + 2].text.find(':') != std::string_view::npos ||
            (slova[i + 2].text.size() == 4 && JsouCislice(slova[i + 2].text)));
  };
  std::size_t i = 0;
  for (std::size_t kandidat : {std::size_t{5}, std::size_t{4}})
    if (datum(kandidat)) {
      i = kandidat;
      break;
    }
  for (std::size_t k = 2; i == 0 && k < slova.size(); ++k)
    if (datum(k)) i = k;
  if (i == 0) return std::nullopt;

  PolozkaSeznamu p;
  p.slozka = druh == 'd';
  p.velikost = *Cislo(slova[i - 1].text);
  int mesic = Mesic(slova[i].text);
  int den = static_cast<int>(*Cislo(slova[i + 1].text));
  std::string_view casNeboRok = slova[i + 2].text;
  int h = 0, m = 0;
  std::optional<UtcCas> cas;
  if (casNeboRok.find(':') != std::string_view::npos) {
    if (!CasHodin(casNeboRok, h, m)) return std::nullopt;
    int rok = RokUtc(ted);
    cas = Utc(rok, mesic, den, h, m, 0);
    if (cas && *cas > ted + 86400) cas = Utc(rok - 1, mesic, den, h, m, 0);
  } else {
    cas = Utc(*Cislo(casNeboRok), mesic, den, 0, 0, 0);
  }
  p.zmena = cas.value_or(0);
  p.vznik = p.zmena;

  std::string_view nazev = ZbytekPo(radek, slova[i + 2].konec);
  if (druh == 'l') {
    auto sipka = nazev.find(" -> ");
    if (sipka != std::string_view::npos) nazev = nazev.substr(0, sipka);
  }
  p.nazev = std::string(nazev);
  return p;
}

// "03-14-24  09:30AM       <DIR>          name" or "03-14-2024  21:30  1234 name".
std::optional<PolozkaSeznamu> RadekDos(std::string_view radek) {
  auto slova = Slova(radek);
  if (slova.size() < 4) return std::nullopt;
  std::string_view d = slova[0].text;
  if (d.size() != 8 && d.size() != 10) return std::nullopt;
  if (d[2] != '-' || d[5] != '-') return std::nullopt;
  auto mesic = Cislo(d.substr(0, 2));
  auto den = Cislo(d.substr(3, 2));
  auto rok = Cislo(d.substr(6));
  if (!mesic || !den || !rok) return std::nullopt;
  if (d.size() == 8) *rok += *rok < 70 ? 2000 : 1900;

  std::string_view t = slova[1].text;
  bool odpoledne = false, dopoledne = false;
  if (t.size() > 2 &&
      (StejnyText(t.substr(t.size() - 2), "PM") || StejnyText(t.substr(t.size() - 2), "AM"))) {
    odpoledne = StejnyText(t.substr(t.size() - 2), "PM");
    dopoledne = !odpoledne;
    t.remove_suffix(2);
  }
  int h = 0, m = 0;
  if (!CasHodin(t, h, m)) return std::nullopt;
  if (odpoledne || dopoledne) {
    if (h < 1 || h > 12) return std::nullopt;
    h = h % 12 + (odpoledne ? 12 : 0);
  }

  PolozkaSeznamu p;
  std::string_view velikost = slova[2].text;
  if (StejnyText(velikost, "<DIR>")) {
    p.slozka = true;
  } else {
    auto v = Cislo(velikost);
    if (!v) return std::nullopt;
    p.velikost = *v;
  }
  p.zmena = Utc(*rok, *mesic, *den, h, m, 0).value_or(0);
  p.vznik = p.zmena;
  p.nazev = std::string(ZbytekPo(radek, slova[2].konec));
  return p;
}

}  // namespace

bool JePouzitelnyNazev(std::string_view nazev) {
  if (nazev.empty() || nazev == "." || nazev == "..") return false;
  for (char c : nazev)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  return true;
}

std::vector<PolozkaSeznamu> ParsovatMlsd(std::string_view data) {
  std::vector<PolozkaSeznamu> vysledek;
  for (std::string_view radek : Radky(data)) {
    // The facts end at the first blank; the name is everything after that blank.
    auto mezera = radek.find(' ');
    if (mezera == std::string_view::npos) continue;
    std::string_view fakta = radek.substr(0, mezera);
    PolozkaSeznamu p;
    p.nazev = std::string(radek.substr(mezera + 1));
    std::optional<UtcCas> vznik;
    bool preskocit = false;
    for (std::string_view fakt : Rozdelit(fakta, ';')) {
      auto rovno = fakt.find('=');
      if (rovno == std::string_view::npos) continue;
      std::string_view jmeno = fakt.substr(0, rovno);
      std::string_view hodnota = fakt.substr(rovno + 1);
      if (StejnyText(jmeno, "type")) {
        if (StejnyText(hodnota, "cdir") || StejnyText(hodnota, "pdir")) preskocit = true;
        p.slozka = StejnyText(hodnota, "dir");
      } else if (StejnyText(jmeno, "size") || StejnyText(jmeno, "sizd")) {
        if (auto v = Cislo(hodnota)) p.velikost = *v;
      } else if (StejnyText(jmeno, "modify")) {
        p.zmena = CasMlsd(hodnota).value_or(0);
      } else if (StejnyText(jmeno, "create")) {
        vznik = CasMlsd(hodnota);
      }
    }
    if (preskocit || !JePouzitelnyNazev(p.nazev)) continue;
    p.vznik = vznik.value_or(p.zmena);
    vysledek.push_back(std::move(p));
  }
  return vysledek;
}

std::vector<PolozkaSeznamu> ParsovatList(std::string_view data, UtcCas ted) {
  std::vector<PolozkaSeznamu> vysledek;
  for (std::string_view radek : Radky(data)) {
    if (radek.empty()) continue;
    std::optional<PolozkaSeznamu> p =
        JeCislice(radek.front()) ? RadekDos(radek) : RadekUnix(radek, ted);
    if (p && JePouzitelnyNazev(p->nazev)) vysledek.push_back(std::move(*p));
  }
  return vysledek;
}

}  // namespace zevlon::ftp
