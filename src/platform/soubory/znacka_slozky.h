// The mark that tells a folder from every other, wherever it lies: a small file of a
// random text in the folder itself. It goes with the folder through renames, copies of
// the disk and devices numbered anew at boot, where a device and inode number do not.
// The updater's own file: no scan, snapshot, copy, merge or hash record takes it for
// content.
#pragma once

#include <string>
#include <string_view>

namespace zevlon {

inline constexpr const char* kZnackaSlozky = "~zevlon.znacka";
// The hidden names under which the updater writes a file into a folder in use before it
// renames it into place; one left by a killed run is nobody's content either.
inline constexpr std::string_view kPredponaRozepsanych = ".~zevlon.";

// Whether a name within a folder is the mark.
inline bool JeZnackaSlozky(std::string_view jmeno) {
  return jmeno == kZnackaSlozky;
}
// Whether it is the mark or a file half written by the updater.
inline bool JeVlastniSouborZevlonu(std::string_view jmeno) {
  return JeZnackaSlozky(jmeno) || jmeno.starts_with(kPredponaRozepsanych);
}

struct ZnackaSlozky {
  std::string znacka;  // empty when the folder has none that could be read
  std::string duvod;   // why not, in Czech (empty when the folder simply has none)
};

// The mark of a folder (its path may end with "/"), read through no link: a file of the
// folder's owner holding 32 hexadecimal digits. Anything else counts as no mark, with
// its reason.
ZnackaSlozky CistZnacku(const std::string& slozka);

// Gives the folder a new mark, replacing any it has (and removing what a killed marking
// left), written whole and flushed with the folder; answers the mark, or "" with what failed, in
// Czech, in *chyba.
std::string OznacitSlozku(const std::string& slozka, std::string* chyba);

}  // namespace zevlon
