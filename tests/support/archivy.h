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

}  // namespace zevlon::test
