// Everything taken from the update site comes through here: single files over HTTP,
// and packages (zip archives that each hold one file of the same name) that are
// downloaded, tested, unpacked and retried.
#pragma once

#include <cstdint>
#include <string>

namespace zevlon {

// One GET of url; the body replaces `soubor` byte for byte. A status other than 200
// raises "http error: " + status + " " + the status text as the server sent it.
// A body larger than maxBajtu (default 4 GiB) is refused with an error.
void StahnoutSoubor(const std::string& url, const std::string& soubor,
                    std::int64_t maxBajtu = std::int64_t{4} << 30);

// True when the file begins with "PK" (letter case ignored); any error gives false.
bool JeZip(const std::string& soubor);

// Copies the entry `jmeno` out of slozka + jmeno + ".zip" into slozka, or leaves
// nothing; errors are ignored.
void RozbalitPresShell(const std::string& slozka, const std::string& jmeno);

// Downloads url into slozka + jmeno + ".zip" and unpacks it to slozka + jmeno. A
// download that is not a zip archive is fetched once more, a package that unpacks to
// nothing is processed once more from the download: at most four downloads. Then the
// error: `zprava`, or the standard text when it is empty. Returns only when
// slozka + jmeno exists.
void StahnoutARozbalit(const std::string& url, const std::string& slozka, const std::string& jmeno,
                       const std::string& zprava);

// Waits the given number of seconds, letting window events run meanwhile.
void Pockat(float sekundy);

}  // namespace zevlon
