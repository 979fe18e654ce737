// The office's mirror of the update site ("Zrcadlo" of section "Server"): the release
// folders below the site's address are fetched from the mirror, everything else where it
// points. What comes from the mirror is verified as what comes from the vendor; a mirror
// that fails for a file is left for the rest of the run.
#pragma once

#include <functional>
#include <string>

namespace zevlon {

inline constexpr const char* kKlicZrcadla = "Zrcadlo";

// Where the run fetches `url` now: the mirror + the rest of an address below the site
// while the mirror is in use, else `url` itself.
std::string AdresaZeZrcadla(const std::string& url);

// Runs `stahnout(adresa)` for a package at `url`, from the mirror while it is in use
// (or when `predem`: a download of it started ahead may have gone to the mirror). When
// that fails (any error but the cancellation: no connection, an error status, a broken
// archive, a wrong checksum), the mirror is left for the rest of the run with one line in
// Zevlon.log, and `stahnout(url, true)` runs once more from the vendor, taking nothing
// started ahead; its error is the run's.
void ZeZrcadla(const std::string& url, bool predem,
               const std::function<void(const std::string& adresa, bool znovu)>& stahnout);

}  // namespace zevlon
