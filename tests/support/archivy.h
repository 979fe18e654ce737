// Zip archives for tests, made by the Info-ZIP `zip` program as a peer would make them.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zevlon::test {

// Writes an archive at `archiv` holding the given entries (name, content); the names
// are plain file names or relative paths with "/".
void VytvoritZip(const std::string& archiv,
                 const std::vector<std::pair<std::string, std::string>>& polozky);

// Names of an archive's entries, in order (none for what libzip cannot open).
std::vector<std::string> Polozky(const std::string& archiv);

// Everything under a folder (what an unpack left there), relative and sorted.
std::vector<std::string> Obsah(const std::string& slozka);

}  // namespace zevlon::test
