// Unchanged files laid into a folder being rebuilt (copied, or with links hard-linked to
// the live files) ahead of the rebuild's own pass, folder by folder on a few threads: a copy
// or a link costs a few transactions of the file system, and those in different folders go
// side by side.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "aplikace/instalovany_soubor.h"
#include "platform/soubory/soubor.h"

namespace zevlon {

// The installed folder `relativni` below the open folder `koren`, reached level by level
// without following a link; invalid when it cannot be (the file is then reached by its path).
Popisovac OtevritZdrojovou(int koren, const std::string& relativni);

// What became of one file: placed, and its status after its last change.
struct PolozenoPredem {
  bool hotovo = false;
  struct stat st {};
};

// Places each file i with kopirovat[i] (the line soubory[i], the local file mistni[i]) from
// the live folder `puvodni` (open as `zdrojovyKoren`, -1 to go by path) into the new folder
// `nova` (open as `koren`), whose folders are made as needed: a hard link with `odkazy`,
// else a copy. Only the very file the scan saw is placed (same device, inode, size and
// modification time; for a copy, also the same status-change time before and after it was
// read), and a file known by its SHA-256 takes the line's time. Anything else leaves nothing
// placed and hotovo false: the rebuild's own pass then looks at the file again. Raises as
// making the new folders raises, and when the run is stopped.
std::vector<PolozenoPredem> PolozitNezmenenePredem(
    const std::vector<const InstalovanySoubor*>& soubory,
    const std::vector<std::shared_ptr<InstalovanySoubor>>& mistni,
    const std::vector<char>& kopirovat, const std::string& puvodni, int zdrojovyKoren,
    const std::string& nova, int koren, bool odkazy);

}  // namespace zevlon
