// Reading an HTTP/1.x request head as the site server needs it: the request line, the
// headers, whether the connection stays open, the path asked for and a byte range.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zevlon::publikace {

struct Pozadavek {
  bool platny = false;  // a request line of three parts and well-formed headers
  std::string metoda;
  std::string cil;                                            // the request target as sent
  std::string verze;                                          // "HTTP/1.0" or "HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> hlavicky;  // names in lower case

  // The value of the first header of that (lower-case) name.
  std::optional<std::string> Hlavicka(std::string_view jmeno) const;
};

// Parses a head without its closing empty line. Whatever of the request line could be
// read is kept for the log even when the head is not valid.
Pozadavek RozebratHlavu(std::string_view hlava);

// Whether the connection stays open after the answer: HTTP/1.1 unless the client says
// "close", HTTP/1.0 only when it says "keep-alive".
bool PonechatSpojeni(const Pozadavek& p);

// Whether a body follows the head; the server reads none and so cannot go on after it.
bool MaTelo(const Pozadavek& p);

// Decodes %XX of the target's path into `cesta`; false for a path that is malformed or
// leaves the site.
bool Dekodovat(const std::string& url, std::string& cesta);

// A byte range of a file, both ends included.
struct Rozsah {
  std::uint64_t od = 0;
  std::uint64_t po = 0;
};

enum class Vyber {
  kCely,          // no range asked, or one the server does not serve: the whole file
  kCast,          // the range
  kNesplnitelny,  // a range that starts past the end
};

// Reads a Range header for a file of `velikost` bytes. Only a single byte range is
// served ("N-", "N-M", "-N"); several ranges or a malformed one give the whole file.
Vyber VybratRozsah(std::string_view hodnota, std::uint64_t velikost, Rozsah& r);

}  // namespace zevlon::publikace
