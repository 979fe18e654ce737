// The setup update of a profile: a private download folder for the run, the updater's
// own replacement when the site offers a newer one, the write-right check of every
// setup folder, and the profile update of "Setup" and "Setup14". Every temporary
// folder of the run is deleted before it returns or fails.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "aplikace/souhrn_obnovy.h"
#include "soubory/volby.h"

namespace zevlon {

// The highest updater version this program stands for: the site's "ZevlonVerze"
// above it (any text other than "" and "1" .. "8") starts the self-update.
inline constexpr int kVerzeZevlonu = 8;
// Keys of section "Merko" that an updater writes into the release information it hands
// to the new one: whether it verified that file ("1"), and its own program file's name.
inline constexpr const char* kKlicOvereno = "ZevlonOvereno";
inline constexpr const char* kKlicPuvodnihoProgramu = "ZevlonProgram";

// The setup folders of a profile ("Setup", "Setup14", the shared "SetupCommon") where
// the profile's Merko.ini names them, else below the profile; each ending with "/".
struct SlozkySetupu {
  std::string setup, setup14, sdilena;
};
SlozkySetupu NajitSlozkySetupu(const std::string& profil);

// The folders of the profile that a run rebuilds or renames, for the trust checks before
// anything in them is read.
std::vector<std::string> KontrolovaneSlozky(const std::string& profil, const SlozkySetupu& s);

// Answers true when the setup folders were processed, false when a newly downloaded
// updater was started in this program's place.
// Hands the renewal of a profile that another user can change to a process of that
// user (the profile's owner); answers whether the run goes on, or raises its error, and
// fills the summary with what that process renewed.
using PredaniVlastnikovi =
    std::function<bool(uid_t vlastnik, const std::string& ini, SouhrnObnovy& souhrn)>;

// The install step for the release information file. A run as root renews a profile
// that only root can change itself; any other profile goes through `predat` (after a
// newer updater on the site has been started in this one's place, when it is due). What
// the run renewed, and the profile's release before and after, go to `souhrn`.
bool AktualizaceSetupDunmor(const std::string& iniAktualizace,
                            const PredaniVlastnikovi& predat = {}, SouhrnObnovy* souhrn = nullptr);

}  // namespace zevlon
