// The setup update of a profile: a private download folder for the run, the updater's
// own replacement when the site offers a newer one, the write-right check of every
// setup folder, and the profile update of "Setup" and "Setup14". Every temporary
// folder of the run is deleted before it returns or fails.
#pragma once

#include <string>

#include "soubory/volby.h"

namespace zevlon {

// The highest updater version this program stands for: the site's "ZevlonVerze"
// above it (any text other than "" and "1" .. "8") starts the self-update.
inline constexpr int kVerzeZevlonu = 8;
// Keys of section "Merko" that an updater writes into the release information it hands
// to the new one: whether it verified that file ("1"), and its own program file's name.
inline constexpr const char* kKlicOvereno = "ZevlonOvereno";
inline constexpr const char* kKlicPuvodnihoProgramu = "ZevlonProgram";

// Answers true when the setup folders were processed, false when a newly downloaded
// updater was started in this program's place.
bool AktualizaceSetupDunmor(const std::string& iniAktualizace);

}  // namespace zevlon
