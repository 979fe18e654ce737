// What an update of a profile would renew, found without changing anything: the dry run
// behind `Zevlon --kontrola`.
#pragma once

#include <string>
#include <vector>

#include "aplikace/souhrn_obnovy.h"

namespace zevlon {

// One folder an update would look at: current (nothing to renew) or its counts of files
// to copy and to download, and the bytes the snapshot lists for those.
struct OdhadSlozky {
  std::string slozka;
  bool aktualni = false;
  SouhrnObnovy souhrn;
  std::string vydani;  // a program folder's installed release
};

// For the profile that the release information names (its SlozkaProfilu): the program
// folder of each setup folder, the shared components and every add-on or module whose
// section of the release information gives its server, each estimated as a run would
// build it (snapshots fetched into `temp` and checked against the signed checksums when
// releases are verified). Add-ons with servers of their own are not looked at. Raises what
// a run would raise for an installation it cannot trust or find.
std::vector<OdhadSlozky> OdhadnoutProfil(const std::string& ini, const std::string& temp);

// The counts of all folders in one summary (folders to renew, files, bytes, the installed
// release, the release a way back refused when the site offers none newer).
SouhrnObnovy SoucetOdhadu(const std::vector<OdhadSlozky>& odhad);

}  // namespace zevlon
