// The release information file of an update site ("download.ini") as the run and the
// add-ons' own servers share it: its address, the check of its signature, and the
// comparison of releases.
#pragma once

#include <string>
#include <string_view>

#include "prenos/podpisy/overeni.h"

namespace zevlon {

inline constexpr const char* kSouborVydani = "download.ini";
// A key of section "Merko" that root's run writes into the release information it works
// with: the add-on sections whose wave has not reached this machine, with the wave's
// percent ("<section>=<percent>", separated by "|"); their add-ons stay as they are.
inline constexpr const char* kKlicMimoVlnu = "ZevlonMimoVlnu";

// Compares two releases as numbers: the numeric value of the leading part of each
// text (blanks, tabs and line feeds skipped wherever they stand; digits with at most
// one "."); a text that does not begin with a number is 0. Answers -1, 0 or 1.
int PorovnatVydani(std::string_view a, std::string_view b);

// Whether a text is a release number: digits that begin with a date written YYYYMMDD.
bool JeCisloVydani(std::string_view vydani);

// The release information fetch, step by step, so that a failed step can be repeated:
// the query "?id=" + local "YYYYMMDDHHNNSS" keeps caches out of the way.
std::string AdresaInformaci(const std::string& zakladniAdresa);
// With keys: downloads the signature of the release information (base address +
// "download.ini.minisig") beside the local copy and checks the copy with it. A copy that
// fails is deleted, so that nothing reads it, and the error is raised ("Soubor …
// download.ini nemá platný podpis: …"). Without keys nothing is checked.
void OveritInformace(const std::string& zakladniAdresa, const std::string& mistniKopie,
                     const NastaveniOvereni& overeni);

}  // namespace zevlon
