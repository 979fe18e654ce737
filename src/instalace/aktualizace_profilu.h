// Brings one setup folder of a profile up to the release being installed: the suite's
// program folder, the shared components and every add-on and module are built anew
// in sibling folders, and only then the live folders are moved aside to "_old"
// backups and the new ones take their places.
#pragma once

#include <string>

#include "aplikace/souhrn_obnovy.h"
#include "prenos/podpisy/overeni.h"

namespace zevlon {

// One add-on or module to be renewed.
struct PolozkaUpravy {
  std::string NazevAplikace;   // "Upravy/Doplnky/<name>/" or "Upravy/Moduly/<name>/"
  std::string NovaSlozka;      // where its new content is built; the record's key
  std::string ZakladniSlozka;  // the setup folder or the profile's own setup folder
  std::string SekceIni;        // its section in the release information (wire form)
};

// All folders end with "/"; an empty sdilenaSlozka leaves the shared components
// alone. With keys in `overeni`, every folder is checked against the checksums of the
// (already verified) release information, and an add-on whose own server cannot be
// verified is carried over unchanged. What it renewed is added to `souhrn`. Answers true
// when it completed.
bool AktualizaceProfilu(const std::string& slozkaProfilu, const std::string& slozkaSetupu,
                        const std::string& vydani, const std::string& docasnaSlozka,
                        const std::string& iniAktualizace, const std::string& nazevBehu,
                        const std::string& sdilenaSlozka, const NastaveniOvereni& overeni = {},
                        SouhrnObnovy* souhrn = nullptr);

}  // namespace zevlon
