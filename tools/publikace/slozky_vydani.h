// The release folders of a site (vydani/<folder>/): the record of those this tool made,
// the name of a new one, its files shared with the release before it, and its flush.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zevlon::publikace {

// What vydani/.zevlon-slozky says: the release folders this tool made, oldest first (a
// name stays there once used, so that it is never used again), and the top-level folders
// of the site's former layout (packages beside download.ini) that the next vydat removes,
// and the release folders that stahnout withdrew, never offered again.
struct ZaznamSlozek {
  std::vector<std::string> vydani;
  std::vector<std::string> stare;
  std::vector<std::string> stazena;
};

// Reads the record of the site in `web` (absolute, without a trailing "/"); empty when there
// is none. Raises, naming the line, when a line is no entry of it.
ZaznamSlozek NacistZaznamSlozek(const std::string& web);

// Writes the record under a hidden name, flushed, and renames it into place, readable as the
// umask `maska` allows.
void UlozitZaznamSlozek(const std::string& web, const ZaznamSlozek& z, mode_t maska);

// The folder name for the release `vydani`: the release itself, else "<release>.<n>" with
// the smallest n from 1 that neither the record nor vydani/ holds.
std::string NazevSlozky(const std::string& web, const ZaznamSlozek& z, const std::string& vydani);

// Each file below `novy` (with a trailing "/") whose bytes, owner and permissions equal the
// regular file's at the same path below `predchozi` (with a trailing "/") becomes a hard link
// to that file;
// download.ini is left as it is. Answers how many were linked.
int PropojitShodne(const std::string& novy, const std::string& predchozi);

// Writes each file and folder below `slozka`, and the folder itself, to the disk; raises
// naming the first that fails.
void ZapsatStromNaDisk(const std::string& slozka);

}  // namespace zevlon::publikace
