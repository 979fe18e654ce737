#include "common/cas.h"

#include <cstdlib>

#include <ctime>

namespace zevlon {

namespace {

std::tm MistniCas(Okamzik t) {
  std::time_t s = std::chrono::system_clock::to_time_t(t);
  std::tm tm{};
  localtime_r(&s, &tm);
  return tm;
}

void Pripojit(std::string& out, int hodnota, int sirka) {
  std::string cislo = std::to_string(hodnota);
  if (static_cast<int>(cislo.size()) < sirka) out.append(sirka - cislo.size(), '0');
  out += cislo;
}

bool CtiCislo(std::string_view& s, int min_cifer, int max_cifer, int& hodnota) {
  int n = 0;
  hodnota = 0;
  while (n < max_cifer && n < static_cast<int>(s.size()) && s[n] >= '0' && s[n] <= '9') {
    hodnota = hodnota * 10 + (s[n] - '0');
    ++n;
  }
  if (n < min_cifer) return false;
  s.remove_prefix(n);
  return true;
}

bool CtiZnak(std::string_view& s, char c) {
  if (s.empty() || s[0] != c) return false;
  s.remove_prefix(1);
  return true;
}

}  // namespace

std::string MistniRazitko14(Okamzik t) {
  std::tm tm = MistniCas(t);
  std::string out;
  Pripojit(out, tm.tm_year + 1900, 4);
  Pripojit(out, tm.tm_mon + 1, 2);
  Pripojit(out, tm.tm_mday, 2);
  Pripojit(out, tm.tm_hour, 2);
  Pripojit(out, tm.tm_min, 2);
  Pripojit(out, tm.tm_sec, 2);
  return out;
}

std::string MistniCasIso(Okamzik t) {
  const std::tm tm = MistniCas(t);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
  std::string out = text;
  const long posun = tm.tm_gmtoff;
  out += posun < 0 ? '-' : '+';
  Pripojit(out, static_cast<int>(std::labs(posun) / 3600), 2);
  out += ':';
  Pripojit(out, static_cast<int>(std::labs(posun) % 3600 / 60), 2);
  return out;
}

std::string MistniRazitkoLogu(Okamzik t) {
  std::tm tm = MistniCas(t);
  std::string out;
  Pripojit(out, tm.tm_mday, 2);
  out += '.';
  Pripojit(out, tm.tm_mon + 1, 2);
  out += '.';
  Pripojit(out, tm.tm_year + 1900, 4);
  out += ' ';
  Pripojit(out, tm.tm_hour, 1);
  out += ':';
  Pripojit(out, tm.tm_min, 2);
  out += ':';
  Pripojit(out, tm.tm_sec, 2);
  return out;
}

std::int64_t DnyOdEpochy(std::int64_t rok, std::int64_t mesic, std::int64_t den) {
  // Carry months outside 1..12 into the year, then count from the first of the month.
  rok += (mesic - 1) >= 0 ? (mesic - 1) / 12 : -((12 - mesic) / 12);
  mesic = ((mesic - 1) % 12 + 12) % 12 + 1;
  // Howard Hinnant's days_from_civil.
  rok -= mesic <= 2;
  const std::int64_t era = (rok >= 0 ? rok : rok - 399) / 400;
  const std::int64_t yoe = rok - era * 400;
  const std::int64_t doy = (153 * (mesic + (mesic > 2 ? -3 : 9)) + 2) / 5;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + (den - 1);
}

std::string FormatUtc(UtcCas t) {
  std::int64_t dny = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
  std::int64_t sekundy = t - dny * 86400;
  // civil_from_days
  std::int64_t z = dny + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t rok = yoe + era * 400;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t den = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t mesic = mp < 10 ? mp + 3 : mp - 9;
  rok += mesic <= 2;
  std::string out;
  Pripojit(out, static_cast<int>(rok), 4);
  out += '-';
  Pripojit(out, static_cast<int>(mesic), 2);
  out += '-';
  Pripojit(out, static_cast<int>(den), 2);
  out += ' ';
  Pripojit(out, static_cast<int>(sekundy / 3600), 2);
  out += ':';
  Pripojit(out, static_cast<int>(sekundy / 60 % 60), 2);
  out += ':';
  Pripojit(out, static_cast<int>(sekundy % 60), 2);
  return out;
}

std::optional<UtcCas> ParsovatUtc(std::string_view s) {
  while (!s.empty() && s.front() == ' ')
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r'))
    s.remove_suffix(1);
  int rok, mesic, den, h = 0, m = 0, sek = 0;
  if (!CtiCislo(s, 4, 4, rok) || !CtiZnak(s, '-') || !CtiCislo(s, 1, 2, mesic) ||
      !CtiZnak(s, '-') || !CtiCislo(s, 1, 2, den))
    return std::nullopt;
  if (!s.empty()) {
    if (s[0] != ' ' && s[0] != 'T') return std::nullopt;
    while (!s.empty() && (s[0] == ' ' || s[0] == 'T'))
      s.remove_prefix(1);
    if (!CtiCislo(s, 1, 2, h) || !CtiZnak(s, ':') || !CtiCislo(s, 1, 2, m)) return std::nullopt;
    if (!s.empty() && (!CtiZnak(s, ':') || !CtiCislo(s, 1, 2, sek))) return std::nullopt;
    if (!s.empty()) return std::nullopt;
  }
  if (mesic < 1 || mesic > 12 || den < 1 || h > 23 || m > 59 || sek > 59) return std::nullopt;
  static constexpr int kDnyMesice[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool prestupny = (rok % 4 == 0 && rok % 100 != 0) || rok % 400 == 0;
  if (den > kDnyMesice[mesic - 1] || (mesic == 2 && den == 29 && !prestupny)) return std::nullopt;
  return DnyOdEpochy(rok, mesic, den) * 86400 + h * 3600 + m * 60 + sek;
}

std::optional<UtcCas> ParsovatCasIso(std::string_view text) {
  if (text.size() < 20 || text[10] != 'T') return std::nullopt;
  const auto mistni = ParsovatUtc(text.substr(0, 19));
  std::string_view posun = text.substr(19);
  if (!mistni) return std::nullopt;
  if (posun == "Z") return mistni;
  int h = 0, m = 0;
  const char znamenko = posun[0];
  posun.remove_prefix(1);
  if ((znamenko != '+' && znamenko != '-') || !CtiCislo(posun, 2, 2, h) || !CtiZnak(posun, ':') ||
      !CtiCislo(posun, 2, 2, m) || !posun.empty() || h > 23 || m > 59)
    return std::nullopt;
  return *mistni - (znamenko == '-' ? -1 : 1) * (h * 3600 + m * 60);
}

std::optional<UsekDne> CistUsekDne(std::string_view text) {
  int h1 = 0, m1 = 0, h2 = 0, m2 = 0;
  if (!CtiCislo(text, 1, 2, h1) || !CtiZnak(text, ':') || !CtiCislo(text, 2, 2, m1) ||
      !CtiZnak(text, '-') || !CtiCislo(text, 1, 2, h2) || !CtiZnak(text, ':') ||
      !CtiCislo(text, 2, 2, m2) || !text.empty() || h1 > 23 || h2 > 23 || m1 > 59 || m2 > 59)
    return std::nullopt;
  UsekDne u{h1 * 60 + m1, h2 * 60 + m2};
  if (u.od == u.po) return std::nullopt;
  return u;
}

}  // namespace zevlon
