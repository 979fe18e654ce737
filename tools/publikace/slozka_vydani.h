// What `vydat` takes for a release folder: the folders of one release as they are to be
// published, never a site (the tool's own output given back to it, or the release folder
// and the site folder swapped on the command line).
#pragma once

#include <string>

namespace zevlon::publikace {

// Raises a Czech message that names what it found, before anything is written, when the
// release folder `zdroj` (absolute, with a trailing "/") holds neither Setup/ nor
// Setup14/, holds download.ini at its top or a master.snapshot.zip anywhere, or has a
// Setup*/Merko/ folder without a Merko.ini whose [Merko] Release is `vydani`.
void OveritSlozkuVydani(const std::string& zdroj, const std::string& vydani);

}  // namespace zevlon::publikace
