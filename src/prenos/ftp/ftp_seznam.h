// Reading of FTP folder listings: the machine-readable MLSD form (RFC 3659) and the
// two LIST forms that servers write, the Unix "ls -l" lines and the DOS/IIS lines.
// Only names that can be used as one plain entry of the listed folder come out: an
// empty name, ".", "..", and a name with "/", "\" or a control character in it are
// dropped, so nothing read from a server can climb out of the folder it was listed
// in or name a path of its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/cas.h"

namespace zevlon::ftp {

// One entry of a listing. Times are UTC seconds; 0 when the listing gave none.
struct PolozkaSeznamu {
  std::string nazev;
  std::int64_t velikost = 0;
  UtcCas zmena = 0;  // last write
  UtcCas vznik = 0;  // creation; the last-write time when the listing has none
  bool slozka = false;
};

// Whether a listed name may be used (see above).
bool JePouzitelnyNazev(std::string_view nazev);

// The entries of an MLSD reply body ("fact=value;...; name" per line). "cdir" and
// "pdir" entries are left out; "modify" and "create" are UTC by definition.
std::vector<PolozkaSeznamu> ParsovatMlsd(std::string_view data);

// The entries of a LIST reply body; every line is recognised on its own as a Unix
// or a DOS/IIS line, anything else ("total 12", devices, blank lines) is skipped.
// LIST does not say in which zone its times are; they are taken as UTC. A Unix time
// without a year ("Mar 14 09:30") lies in the year of `ted` unless that would put it
// more than a day after `ted`, in which case it lies in the year before.
std::vector<PolozkaSeznamu> ParsovatList(std::string_view data, UtcCas ted);

}  // namespace zevlon::ftp
