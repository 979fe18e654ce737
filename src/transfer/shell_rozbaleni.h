// The copy of one named entry out of an archive into a folder, as a file manager
// would do it: the second way of unpacking a package when the unzip operation left
// nothing.
#pragma once

#include <string>

namespace zevlon {

// Copies the entry `polozka` at the root of the archive (its name compared without
// regard to letter case) into `slozka` under that name, keeping its time. The file
// appears complete or not at all; links and names with a path are refused. False
// when anything failed.
bool ZkopirovatZArchivu(const std::string& archiv, const std::string& polozka,
                        const std::string& slozka);

}  // namespace zevlon
