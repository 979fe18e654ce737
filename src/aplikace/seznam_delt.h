// The delta list of a folder on the update site: which per-file deltas lie beside the
// files' archives. "master.delty", zipped as "master.delty.zip" beside the snapshot, one
// line per delta with TAB-separated fields: the file's path, the SHA-256 of the base the
// delta was made against, the delta's file name relative to the folder, its size in bytes,
// and the SHA-256 of the file it gives. Written as a snapshot is (Windows-1250 where the
// text fits it, CR LF, backslash paths), so that Windows peers read it as they read one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zevlon {

inline constexpr const char* kSeznamDelt = "master.delty";

struct Delta {
  std::string Cesta;   // the file's path below the folder, "/"-separated
  std::string Zaklad;  // SHA-256 of the base
  std::string Soubor;  // the delta's file, relative to the folder, "/"-separated
  std::int64_t Velikost = 0;
  std::string Vysledek;  // SHA-256 of the file the delta gives
};

// The name of the delta of the file `cesta` made against a base of SHA-256 `zaklad`:
// the file's path with the first 16 hex digits of the base's SHA-256 and ".zstd".
std::string JmenoDelty(const std::string& cesta, const std::string& zaklad);

// Whether the name can be a delta's on a site: a safe relative path whose last part
// neither begins with "." nor ends with ".zip" (those belong to the site's other files).
bool JeJmenoDelty(const std::string& soubor);

// The list's bytes as they are written to "master.delty".
std::string ZapsatSeznamDelt(const std::vector<Delta>& delty);

// Reads a list from its bytes. A line that is not a well-formed delta (an unsafe path or
// name, a size that is no number, a checksum that is not a SHA-256) makes the whole list
// untrusted: raises the program's error naming `soubor` and the line.
std::vector<Delta> NacistSeznamDelt(const std::string& bajty, const std::string& soubor);

}  // namespace zevlon
