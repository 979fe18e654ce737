// Text helpers. Texts are UTF-8; comparisons of keys, paths and INI names ignore
// letter case with Czech letters folded ("Účetnictví" equals "ÚČETNICTVÍ").
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zevlon {

// Removes the given characters (blanks by default) from both ends.
std::string_view Orezat(std::string_view s, std::string_view znaky = " ");

// Case-folded form of a text, for comparisons and as a lookup key.
std::string SlozitVelikost(std::string_view s);

// Equality and affixes without regard to letter case.
bool StejnyText(std::string_view a, std::string_view b);
bool ZacinaNa(std::string_view s, std::string_view predpona);
bool KonciNa(std::string_view s, std::string_view pripona);

// A count with its noun in the Czech form it takes: "1 složka", "2 složky", "5 složek"
// (jeden: 1; malo: 2 to 4; mnoho: 0 and 5 on).
std::string Pocet(long long n, std::string_view jeden, std::string_view malo,
                  std::string_view mnoho);

// The no-break space (U+00A0) in UTF-8: a line never breaks at it.
inline constexpr std::string_view kPevnaMezera = "\u00a0";

// A size as a person reads it, in decimal units with a decimal comma, the number bound to
// its unit by a no-break space: "512 B", "12,3 kB", "4,0 MB", "1,2 GB".
std::string CitelnaVelikost(long long bajtu);

// A duration of whole seconds, each number bound to its unit by a no-break space: "45 s",
// "3 min 5 s", "2 h 10 min".
std::string CitelnaDoba(long long sekund);

// Wildcard match without regard to letter case: "*" any run of characters
// (none included), "?" exactly one character.
bool OdpovidaMasce(std::string_view text, std::string_view maska);

// File-name pattern as the Windows directory search reads it: OdpovidaMasce, except
// that a pattern ending in ".*" also matches names without any extension, so
// "*.*" matches every name.
bool OdpovidaMasceSouboru(std::string_view jmeno, std::string_view maska);

bool ObsahujeZastupneZnaky(std::string_view s);

// Every byte other than letters, digits, "-", ".", "_" and "~" (and "/" when
// lomitka is set) as %XX, for a piece of a URL.
std::string KodovatProUrl(std::string_view s, bool lomitka);

// The text without control characters (line breaks kept where `radky`), at most `max`
// bytes, cut at a character boundary; bytes that are not UTF-8 become "?". What another
// user or a server wrote goes through it before it reaches a terminal, a window or a log.
std::string OcistitText(std::string_view text, std::size_t max, bool radky);

std::string NahraditVse(std::string_view s, std::string_view co, std::string_view cim);
std::vector<std::string> Rozdelit(std::string_view s, char oddelovac);

}  // namespace zevlon
