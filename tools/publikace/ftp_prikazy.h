// The update server's transfers from the command line: upload a folder to the FTP
// server that a manifest names, or mirror that server into a local folder.
#pragma once

#include <string>

namespace zevlon::publikace {

// Uploads every file of the folder as an archive, then the folder's snapshot with each
// file's SHA-256; answers the number of files that did not arrive.
int Nahrat(const std::string& manifest, const std::string& slozka);

// Mirrors the server into the folder from its snapshot; answers the number of files
// that did not arrive (0: the mirror was replaced).
int Zrcadlit(const std::string& manifest, const std::string& slozka);

}  // namespace zevlon::publikace
