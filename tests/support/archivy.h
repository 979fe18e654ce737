// Zip archives for tests, made by the Info-ZIP `zip` program as a peer would make them,
// and the ways a hostile server would doctor them afterwards.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zevlon::test {

// One entry: a file with its content and mode, or a symbolic link to `obsah`.
struct PolozkaZipu {
  std::string jmeno;  // a plain file name or a relative path with "/"
  std::string obsah;
  mode_t rezim = 0644;
  bool odkaz = false;
};

// Writes an archive at `archiv` holding the given entries, links stored as links.
void VytvoritZip(const std::string& archiv, const std::vector<PolozkaZipu>& polozky);

// Changes the size that the archive declares for the entry `jmeno` (local header and
// central directory alike); the compressed data stay as they were.
void ZmenitVelikostPolozky(const std::string& archiv, const std::string& jmeno,
                           std::uint32_t velikost);

// Renames an entry in place; the new name has the old one's length (so "../x" can
// stand where zip would never write it).
void PrejmenovatPolozku(const std::string& archiv, const std::string& jmeno,
                        const std::string& nove);

// Names of an archive's entries, in order (none for what libzip cannot open).
std::vector<std::string> Polozky(const std::string& archiv);

// Everything under a folder (what an unpack left there), relative and sorted.
std::vector<std::string> Obsah(const std::string& slozka);

}  // namespace zevlon::test
