// Opening a file of the update site for the server: only a regular file below the site
// folder, reached without following any symbolic link, with the validators a client
// resumes a download against.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/soubory/soubor.h"

namespace zevlon::publikace {

struct SouborWebu {
  Popisovac fd;
  std::uint64_t velikost = 0;
  std::string etag;     // changes whenever the file is replaced or rewritten
  std::string zmeneno;  // the time of the last change as an HTTP date (Last-Modified)
  std::string cache;    // the Cache-Control value, "" for none
};

inline constexpr const char* kCacheVydani = "public, max-age=31536000, immutable";
inline constexpr const char* kCacheInformaci = "no-cache";

// Opens `cesta` (decoded, starting with "/", without "..") below the folder `slozka`;
// none when it is missing, is no regular file or a link stands on the way. A file below a
// release folder (vydani/ beside a download.ini) never changes and may be cached for good;
// download.ini and its signature change with each release and are revalidated each time.
std::optional<SouborWebu> OtevritSouborWebu(const std::string& slozka, const std::string& cesta);

}  // namespace zevlon::publikace
