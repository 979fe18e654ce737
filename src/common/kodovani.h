// Encodings of text files: UTF-8 inside the program; a file read from disk is UTF-8
// (a BOM dropped) when it is valid UTF-8, otherwise Windows-1250, the code page in
// which the Windows peers of the update site write.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zevlon {

enum class Kodovani { kUtf8, kUtf8Bom, kCp1250 };

struct DekodovanyText {
  std::string text;  // UTF-8
  Kodovani kodovani = Kodovani::kUtf8;
};

bool JePlatneUtf8(std::string_view bajty);

// Windows-1250 bytes to UTF-8 (bytes the code page leaves undefined become U+FFFD).
std::string Z1250(std::string_view bajty);

// UTF-8 to Windows-1250; no value when a character does not fit the code page.
std::optional<std::string> Do1250(std::string_view utf8);

DekodovanyText Dekodovat(std::string_view bajty);

// Encodes UTF-8 text in the given encoding (with BOM for kUtf8Bom); no value when
// the text does not fit Windows-1250.
std::optional<std::string> Kodovat(std::string_view utf8, Kodovani kodovani);

}  // namespace zevlon
