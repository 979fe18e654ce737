// The installed suite and its profiles: the registry value naming each version's
// application folder, the suite INI with its "Profily" section, and each profile's
// own INI.
#pragma once

#include <string>

#include "common/seznam.h"

namespace zevlon {

inline constexpr const char* kKoren = "HKEY_LOCAL_MACHINE";
inline constexpr const char* kKlicMerko12 = "SOFTWARE\\Dunmor\\Merko\\12.0\\Aplikace";
inline constexpr const char* kKlicMerko14 = "SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace";
inline constexpr const char* kHodnotaSlozky = "Slozka_Merka";
inline constexpr const char* kIniMerka = "Merko.ini";

// One profile: data folder (with trailing "/"), name, installed release.
struct ZaznamProfilu {
  std::string SlozkaDat;
  std::string Nazev;
  std::string Vydani;
};

using SeznamZaznamuProfilu = KlicovanySeznam<ZaznamProfilu>;

// A registry value as text: a string up to its first NUL, trimmed of blanks; a
// 32-bit number in decimal; "" for anything else or when missing.
std::string CistRegistr(const std::string& koren, const std::string& klic,
                        const std::string& nazev);

// The application folder of a suite version ("" when not installed), with "/".
std::string SlozkaAplikace(const char* klic);

// The profiles of both suite versions, keyed by data folder, version 12.0 first; a
// profile both list is taken once. Raises "Nepodařilo se nalézt složku aplikací
// Dunmor Merko." when neither version lists a profile. A version whose
// application folder is not known has no profiles.
SeznamZaznamuProfilu SeznamProfilu();

}  // namespace zevlon
