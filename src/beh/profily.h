// The installed suite and its profiles: the registry value naming each version's
// application folder, the suite INI with its "Profily" section, and each profile's
// own INI.
#pragma once

#include <string>
#include <vector>

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
// application folder is not known has no profiles. A profile whose Merko.ini root cannot
// read safely (VydaniProfilu) is left out and named in `neprectene` ("Profil P nelze
// přečíst: důvod."). Names, folders and releases come cleaned of control characters.
SeznamZaznamuProfilu SeznamProfilu(std::vector<std::string>* neprectene = nullptr);

// The release in the Merko.ini of a profile folder (with "/"), cleaned of control
// characters; "" when the file or the key is missing. Root reads the file as another
// user's (NacistCiziSoubor): a link, anything but a regular file of the folder's owner, or
// more than 64 KiB gives no release, and `duvod` says why.
std::string VydaniProfilu(const std::string& slozka, std::string& duvod);

}  // namespace zevlon
