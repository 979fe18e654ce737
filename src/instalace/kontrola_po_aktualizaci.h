// The check after an update that the options may name: a program of the administrator's,
// run once the swaps are done with the profile folder as its argument. Exit status 0 keeps
// the update; anything else, or its bound, goes back at once (instalace/navrat.h) and
// refuses the release.
#pragma once

#include <chrono>
#include <string>

#include "aplikace/souhrn_obnovy.h"
#include "instalace/aktualizace_setupu.h"

namespace zevlon {

// [Server] "KontrolaPoAktualizaci": the absolute path of the check; "LhutaKontroly": the
// seconds it may take (default 300).
inline constexpr const char* kKlicKontroly = "KontrolaPoAktualizaci";
inline constexpr const char* kKlicLhutyKontroly = "LhutaKontroly";
inline constexpr std::chrono::seconds kLhutaKontroly{300};

// Runs the check for the updates of the profile's setup folders that await it (this run's,
// or one whose run was killed before its check passed), when the options name one (else
// they await it no more), as the process that updated the profile (its
// owner's where root acts for one), provided neither it nor a folder on the way to it can
// be changed by anyone but that user or root. A check that fails, or is not run, is logged
// with its last line of output, cleaned; the profile goes back and the error that says so
// is raised, with the release gone back to in `souhrn`.
void KontrolovatPoAktualizaci(const std::string& profil, const SlozkySetupu& slozky,
                              SouhrnObnovy& souhrn);

}  // namespace zevlon
