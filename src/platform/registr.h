// The registry stand-in: a text file in the regedit export format ("REGEDIT4" or
// "Windows Registry Editor Version 5.00", UTF-8, Windows-1250 or UTF-16LE with BOM),
// with keys such as [HKEY_LOCAL_MACHINE\SOFTWARE\Dunmor\Merko\14.0\Aplikace] and
// values "Name"="text", "Name"=dword:00000005, @="default", "Name"=hex(..):..
// (continued lines ending in "\"). Key paths and value names compare without regard
// to letter case. A missing, unreadable or malformed file reads as an empty registry;
// nothing in any content makes the reader fail.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zevlon::registr {

enum class Typ { kRetezec, kDword, kJiny };

struct Hodnota {
  Typ typ = Typ::kJiny;
  std::string text;         // kRetezec: the string, escapes resolved
  std::uint32_t cislo = 0;  // kDword
};

// The value `nazev` ("" or "@" for the default value) of key `klic` below the root
// `koren` ("HKEY_LOCAL_MACHINE" or "HKLM"), as the file at `soubor` holds it; a
// later definition of the same value wins, a deleted key ("[-...]") or value
// ("Name"=-) reads as missing. No value when missing.
std::optional<Hodnota> CistHodnotu(const std::string& soubor, std::string_view koren,
                                   std::string_view klic, std::string_view nazev);

}  // namespace zevlon::registr
