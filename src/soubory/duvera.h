// What a run as root may trust. Root takes its program and its settings only from
// places that only root can change: the program file, the program's folder and the
// options file beside the program (CestaVolebIni) must belong to root and must not be
// writable by group or others. Either file may be missing; neither may be a link.
#pragma once

#include <string>
#include <vector>

namespace zevlon {

// For a process running as root, raises an error naming the first place that fails
// these conditions; for any other user does nothing.
void OveritMistaRoota();

// For a process running as root, the setup and shared folders of the profile (all
// ending with "/"), where root is going to write: a folder outside the profile folder
// is taken from the profile's Merko.ini only when that file is root's and nobody else
// may write it, and no folder may be a link that another user laid. Raises an error
// naming the first folder that fails; for any other user does nothing.
void OveritSlozkyProfilu(const std::string& slozkaProfilu, const std::vector<std::string>& slozky);

}  // namespace zevlon
