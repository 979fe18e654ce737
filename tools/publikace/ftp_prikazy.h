// The update server's transfers from the command line: upload a folder to the FTP
// server that a manifest names, or mirror that server into a local folder. Transfers
// are passive unless `aktivni` asks for active ones. What did not travel is named with
// its cause, and the place of the transfer log is printed.
#pragma once

#include <string>

namespace zevlon::publikace {

// Uploads every file of the folder as an archive (each under a temporary name, then
// renamed into place), then the folder's snapshot with each uploaded file and its SHA-256,
// and last download.ini and its signature, only once everything else arrived; answers the
// number of files that did not arrive (the snapshot is not uploaded when the server could
// not be reached or received nothing). A folder that does not exist, or one without files
// unless `prazdny` asks for an empty snapshot, is an error before any connection.
int Nahrat(const std::string& manifest, const std::string& slozka, bool aktivni = false,
           bool prazdny = false);

// Mirrors the server into the folder from its snapshot; answers the number of files
// that did not arrive (0: the mirror was replaced).
int Zrcadlit(const std::string& manifest, const std::string& slozka, bool aktivni = false);

}  // namespace zevlon::publikace
