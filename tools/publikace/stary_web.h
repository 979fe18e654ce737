// What a site made by this tool holds; and what `vydat` may replace: only a site folder it
// made itself, and never one that holds or lies in the release folder or the secret key.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "aplikace/instalovany_soubor.h"
#include "aplikace/seznam_delt.h"

namespace zevlon::publikace {

// Each release lies in a folder of its own below kVydani/ of the site, named after it;
// the record of the folders this tool made there is kVydani/kZaznamSlozek.
inline constexpr const char* kVydani = "vydani";
inline constexpr const char* kZaznamSlozek = ".zevlon-slozky";

// Raises a Czech message, before anything is written, when the site folder `web` (an
// absolute path without a trailing "/") is, holds or lies in the release folder `vydani`,
// holds the key file `klic` (empty: none), or holds anything but a site: download.ini, its
// signature, and the snapshots and packages that download.ini and those snapshots name.
// A folder that does not exist, or holds no file, may be written.
void OveritCilWebu(const std::string& web, const std::string& vydani, const std::string& klic);

// A private working folder in the system's temporary folder, removed with the object or
// when the command is stopped; `cesta` (without a trailing "/") is empty when it could not
// be made.
struct DocasnaSlozka {
  DocasnaSlozka();
  ~DocasnaSlozka();
  DocasnaSlozka(const DocasnaSlozka&) = delete;
  DocasnaSlozka& operator=(const DocasnaSlozka&) = delete;
  std::string cesta;
};

// The folders of the site in the folder `web` (absolute, without a trailing "/") as its
// download.ini names them ("Setup/", "Upravy/Doplnky/<name>/", ...), each with where it
// lies in the site (below the release folder that download.ini points at), its snapshot's
// lines, and the lines of its delta list where it has one; raises when it is no such site.
struct SlozkaWebu {
  std::string slozka;
  std::string kde;  // relative to the site: "vydani/<folder>/Setup/", or "Setup/" as before
  SeznamSouboru soubory;
  bool seznamDelt = false;  // download.ini lists its delta list
  std::vector<Delta> delty;
};
std::vector<SlozkaWebu> SlozkyWebu(const std::string& web);

// The folder of the site in `web` (absolute, without a trailing "/") that holds the
// packages of its release: "vydani/<folder>/" when the Url of download.ini's [Merko]
// section ends with that and such a folder (no link) exists, "" for a site whose packages
// lie beside download.ini.
std::string SlozkaVydaniWebu(const std::string& web);

// The release that the site in the folder `web` (absolute, without a trailing "/") names in
// its download.ini; none when the folder holds no download.ini.
std::optional<std::string> VydaniWebu(const std::string& web);

// The files of the site in the folder `web` (absolute, without a trailing "/") that its
// download.ini and snapshots name, as paths relative to it; raises when it is no such site.
std::set<std::string> SouboryWebu(const std::string& web);

}  // namespace zevlon::publikace
