// The release check against the update site: the connection test, the fetch of the
// release information file, the comparison of releases, the choice of the profile to
// update and the warning before a release that changes the data structure.
#pragma once

#include <string>
#include <string_view>

#include "prenos/overeni.h"

namespace zevlon {

inline constexpr const char* kSouborVydani = "download.ini";
inline constexpr const char* kTitulekAktualizace = "Dunmor Merko - aktualizace";

// Compares two releases as numbers: the numeric value of the leading part of each
// text (blanks, tabs and line feeds skipped wherever they stand; digits with at most
// one "."); a text that does not begin with a number is 0. Answers -1, 0 or 1.
int PorovnatVydani(std::string_view a, std::string_view b);

// Whether the machine is connected (without contacting the site at `adresa`).
bool JePripojenInternet(const std::string& adresa);

// The host part of an http(s) address.
std::string HostitelAdresy(std::string_view adresa);

// The release information fetch, step by step, so that a failed step can be repeated:
// the query "?id=" + local "YYYYMMDDHHNNSS" keeps caches out of the way.
std::string AdresaInformaci(const std::string& zakladniAdresa);
// With keys: downloads the signature of the release information (base address +
// "download.ini.minisig") beside the local copy and checks the copy with it. A copy that
// fails is deleted, so that nothing reads it, and the error is raised ("Soubor …
// download.ini nemá platný podpis: …"). Without keys nothing is checked.
void OveritInformace(const std::string& zakladniAdresa, const std::string& mistniKopie,
                     const NastaveniOvereni& overeni);
// Raises "Nepodařilo se stáhnout informace o aktualizacích." when the file has no
// release; answers the release.
std::string CistVydaniWebu(const std::string& mistniKopie);

// The outcome of the profile choice.
struct VolbaProfilu {
  enum class Druh { kSlozka, kZadna, kZruseno } druh = Druh::kZadna;
  std::string slozka;
};

// Offers every profile whose release is older than the site's, in order, and answers
// the one the user accepted; an unattended run never picks one.
VolbaProfilu VybratProfil(const std::string& vydaniWebu);

// The warning before a release that changes the data structure; false when the user
// declined.
bool VarovaniZmenyDat(const std::string& souborVydani);

}  // namespace zevlon
