// Reading a small file that lies in a folder another user can change, as a process of
// root's must: through no link that user could have laid, without blocking on what is no
// file, and no more than a bound, so that the user can make it read neither a file of
// root's, nor a device, nor wait forever.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

namespace zevlon {

struct CiziSoubor {
  std::optional<std::string> obsah;
  std::string duvod;  // why there is none, in Czech (empty for a file that is missing)
};

// The folder of `cesta` is resolved as root resolves any path (ss::RozlisitCestu; with
// `jednajici`, also through that user's own links, for a process acting as that user) and
// opened folder by folder without following a link; the file is opened in it without
// following a link and without blocking. It must be a regular file of the folder's owner
// and at most `max` bytes long.
CiziSoubor NacistCiziSoubor(const std::string& cesta, std::size_t max, uid_t jednajici = 0);

}  // namespace zevlon
