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

// The local refusal of a release, beside the record of the last update in the setup folder:
// going back from release R writes it ("[Merko] Release=R"), and no later update installs a
// release up to R; the first release above R is installed as usual and clears it, and so
// does going forward again to R.
inline constexpr const char* kZaznamOdmitnuti = "~aktualizace.odmitnute";
// The highest release that the profile's setup folders refuse; "" for none.
std::string OdmitnuteVydani(const SlozkySetupu& slozky);
// Removes the refusal from the profile's setup folders, each removal flushed, once they pass
// the checks of OveritSlozkyProfilu; answers the release it refused ("" for none) and raises
// what failed. (Run as the profile's owner where
// root acts for one.)
std::string ZrusitOdmitnutiVydani(const std::string& profil);

// Goes back from the update just made, asking nothing and whatever the data structure did
// (nothing has run on the new release yet), and refuses that release, even one older than
// the release gone back to; answers the release gone back to. Raises the refusal or failure.
std::string VratitHned(const std::string& profil, const SlozkySetupu& slozky);

// Completes a way back that a stopped run left in the profile's setup folders (its record
// of the unfinished update says so), under the locks the caller holds. Answers whether
// there was one.
bool DokoncitNavrat(const std::string& profil, const SlozkySetupu& slozky);

}  // namespace zevlon
