// The copy of one named entry out of an archive into a folder, as a file manager
// would do it: the second way of unpacking a package when the unzip operation left
// nothing.
#pragma once

#include <string>

#include "prenos/zip/mzip32.h"

namespace zevlon {

// Copies the entry polozka.jmeno at the root of the archive (its name compared
// without regard to letter case) into `slozka` under that name, keeping its time,
// when it unpacks to no more bytes than it declares and within polozka's size. The
// file appears complete or not at all. An archive that the unzip would refuse (an
// entry that is a link, or whose path is absolute or climbs out) is refused here too,
// and so are names with a path. False when anything failed.
bool ZkopirovatZArchivu(const std::string& archiv, const JedinaPolozka& polozka,
                        const std::string& slozka);

}  // namespace zevlon
