#include "prenos/zip/zip32_pomucky.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace zevlon::zip32 {

namespace {

// Flag byte of the UT field: modification and access time present.
constexpr std::uint8_t kZmenaAPristup = 0x03;

// DOS attribute bit of a read-only file.
constexpr std::uint32_t kDosJenProCteni = 0x01;

bool VejdeSeDo32(UtcCas t) {
  return t >= std::numeric_limits<std::int32_t>::min() &&
         t <= std::numeric_limits<std::int32_t>::max();
}

void PripojitCas(std::string& pole, UtcCas t) {
  auto u = static_cast<std::uint32_t>(static_cast<std::int32_t>(t));
  for (int i = 0; i < 4; ++i)
    pole.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

std::optional<UtcCas> CasZPole(zip_t* archiv, zip_uint64_t index, zip_flags_t kde) {
  zip_uint16_t delka = 0;
  const zip_uint8_t* data =
      zip_file_extra_field_get_by_id(archiv, index, kPoleCasu, 0, &delka, kde);
  if (!data) return std::nullopt;
  return CasZPoleCasu(data, delka);
}

}  // namespace

std::optional<std::string> PoleCasuMistni(UtcCas zmena, UtcCas pristup) {
  if (!VejdeSeDo32(zmena) || !VejdeSeDo32(pristup)) return std::nullopt;
  std::string pole(1, static_cast<char>(kZmenaAPristup));
  PripojitCas(pole, zmena);
  PripojitCas(pole, pristup);
  return pole;
}

std::optional<std::string> PoleCasuCentralni(UtcCas zmena) {
  if (!VejdeSeDo32(zmena)) return std::nullopt;
  std::string pole(1, static_cast<char>(kZmenaAPristup));
  PripojitCas(pole, zmena);
  return pole;
}

std::optional<UtcCas> CasZPoleCasu(const std::uint8_t* data, std::uint16_t delka) {
  if (!data || delka < 5 || (data[0] & 0x01) == 0) return std::nullopt;
  std::uint32_t u = 0;
  for (int i = 0; i < 4; ++i)
    u |= static_cast<std::uint32_t>(data[1 + i]) << (8 * i);
  return static_cast<UtcCas>(static_cast<std::int32_t>(u));
}

std::optional<UtcCas> CasPolozky(zip_t* archiv, zip_uint64_t index, bool* zPoleCasu) {
  if (zPoleCasu) *zPoleCasu = true;
  if (auto t = CasZPole(archiv, index, ZIP_FL_CENTRAL)) return t;
  if (auto t = CasZPole(archiv, index, ZIP_FL_LOCAL)) return t;
  if (zPoleCasu) *zPoleCasu = false;
  // libzip turns the DOS fields into a time with mktime: local time.
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archiv, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_MTIME))
    return std::nullopt;
  return static_cast<UtcCas>(st.mtime);
}

std::optional<std::string> BezpecnaCesta(std::string_view jmeno) {
  std::string cesta(jmeno);
  for (char& c : cesta)
    if (c == '\\') c = '/';
  if (!cesta.empty() && cesta.front() == '/') return std::nullopt;
  if (cesta.size() >= 2 && cesta[1] == ':' &&
      ((cesta[0] >= 'A' && cesta[0] <= 'Z') || (cesta[0] >= 'a' && cesta[0] <= 'z')))
    return std::nullopt;
  std::vector<std::string> casti;
  std::size_t zacatek = 0;
  while (zacatek <= cesta.size()) {
    std::size_t konec = cesta.find('/', zacatek);
    if (konec == std::string::npos) konec = cesta.size();
    std::string cast = cesta.substr(zacatek, konec - zacatek);
    if (cast == "..") {
      if (casti.empty()) return std::nullopt;
      casti.pop_back();
    } else if (!cast.empty() && cast != ".") {
      casti.push_back(std::move(cast));
    }
    zacatek = konec + 1;
  }
  std::string vysledek;
  for (const auto& c : casti) {
    if (!vysledek.empty()) vysledek += '/';
    vysledek += c;
  }
  return vysledek;
}

bool MaVelikost(zip_t* archiv, zip_uint64_t index, std::uint64_t velikost, bool presne) {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archiv, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) return false;
  return presne ? st.size == velikost : st.size <= velikost;
}

bool JeOdkaz(zip_t* archiv, zip_uint64_t index) {
  zip_uint8_t system = 0;
  zip_uint32_t atributy = 0;
  if (zip_file_get_external_attributes(archiv, index, 0, &system, &atributy) != 0) return false;
  // Unix mode bits in the high half; other systems leave them zero.
  return ((atributy >> 16) & S_IFMT) == S_IFLNK;
}

mode_t ZakazaneBity() {
  // The umask can be read without changing it only from /proc (Linux 4.7 on); else it
  // is set and put back at once.
  mode_t maska = 0;
  bool precteno = false;
  std::ifstream stav("/proc/self/status");
  for (std::string radek; !precteno && std::getline(stav, radek);)
    if (radek.rfind("Umask:", 0) == 0) {
      maska = static_cast<mode_t>(std::strtoul(radek.c_str() + 6, nullptr, 8));
      precteno = true;
    }
  if (!precteno) {
    maska = ::umask(022);
    ::umask(maska);
  }
  if (::geteuid() == 0) maska |= S_IWGRP | S_IWOTH;
  return maska & 0777;
}

mode_t RezimSouboru(zip_t* archiv, zip_uint64_t index) {
  zip_uint8_t system = 0;
  zip_uint32_t atributy = 0;
  mode_t rezim = 0644;
  if (zip_file_get_external_attributes(archiv, index, 0, &system, &atributy) == 0) {
    mode_t unixove = static_cast<mode_t>(atributy >> 16);
    if (unixove & 0777)
      rezim = unixove & 0777;
    else if (atributy & kDosJenProCteni)
      rezim = 0444;
  }
  return rezim & ~ZakazaneBity();
}

void Tisknout(DLLPRNT tisk, std::string_view zprava) {
  if (!tisk) return;
  std::string kopie(zprava);
  tisk(kopie.data(), static_cast<unsigned long>(kopie.size()));
}

int KodChyby(zip_t* archiv) {
  return zip_error_code_zip(zip_get_error(archiv));
}

}  // namespace zevlon::zip32
