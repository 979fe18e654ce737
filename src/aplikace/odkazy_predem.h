// Unchanged files laid into a folder being rebuilt as hard links to the live files, ahead
// of the rebuild's own pass and folder by folder on a few threads: a link costs a
// transaction of the file system, and transactions in different folders go side by side.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "aplikace/instalovany_soubor.h"
#include "platform/soubor.h"

namespace zevlon {

// The installed folder `relativni` below the open folder `koren`, reached level by level
// without following a link; invalid when it cannot be (the file is then reached by its path).
Popisovac OtevritZdrojovou(int koren, const std::string& relativni);

// What became of one file: linked, and its status once it holds the line's time.
struct OdkazPredem {
  bool hotovo = false;
  struct stat st {};
};

// Links each file i with kopirovat[i] (the line soubory[i], the local file mistni[i]) from
// the live folder `puvodni` (open as `zdrojovyKoren`, invalid to go by path) into the new
// folder `nova` (open as `koren`), whose folders are made as needed. A link is kept only
// when it is the very file the scan saw (same device, inode, size and modification time);
// a file known by its SHA-256 takes the line's time. Anything else leaves nothing placed
// and hotovo false: the file is then copied. Raises as making the new folders raises.
std::vector<OdkazPredem> PropojitPredem(
    const std::vector<const InstalovanySoubor*>& soubory,
    const std::vector<std::shared_ptr<InstalovanySoubor>>& mistni,
    const std::vector<char>& kopirovat, const std::string& puvodni, int zdrojovyKoren,
    const std::string& nova, int koren);

}  // namespace zevlon
