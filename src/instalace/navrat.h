// Going back from the last update of a profile to the release before it, installing
// nothing: each folder that update swapped trades places with its "_old" backup by one
// exchange, the top-level files it placed trade places with those kept in "Soubory_old"
// (or go there), and the record of the last update then describes the way back, so that
// going back once more brings the update again. Nothing is deleted.
#pragma once

#include <string>

#include "aplikace/souhrn_obnovy.h"
#include "instalace/aktualizace_setupu.h"

namespace zevlon {

// The section of the small file by which a run hands the way back to whoever carries it
// out (this process or the owner's): besides [Merko] SlozkaProfilu, whether it was
// confirmed ahead ("1") and whether it may cross a change of the data structure ("1").
inline constexpr const char* kSekceNavratu = "Navrat";
inline constexpr const char* kKlicAno = "Ano";
inline constexpr const char* kKlicPresZmenuDat = "PresZmenuDat";

// The way back for the profile that `ini` names, with the folders locked as by an update
// run: a run as root carries it out for a profile only root can change, any other goes
// through `predat`. Raises the refusal, with nothing changed, when a backup is missing or
// is not the one the record names, an update is unfinished, the data structure changed
// between the two releases (unless allowed), or nobody confirmed it; the question, where
// someone is asked, names what goes back to what. The releases before and after go to
// `souhrn`, with the folders exchanged.
bool NavratSetupDunmor(const std::string& ini, const PredaniVlastnikovi& predat,
                       SouhrnObnovy* souhrn);

// Completes a way back that a stopped run left in the profile's setup folders (its record
// of the unfinished update says so), under the locks the caller holds. Answers whether
// there was one.
bool DokoncitNavrat(const std::string& profil, const SlozkySetupu& slozky);

}  // namespace zevlon
