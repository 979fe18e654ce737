// The registry stand-in: a text file in the regedit export format ("REGEDIT4" or
// "Windows Registry Editor Version 5.00", UTF-8, Windows-1250 or UTF-16LE with BOM),
// with keys such as [HKEY_LOCAL_MACHINE\SOFTWARE\Dunmor\Merko\14.0\Aplikace] and
// values "Name"="text", "Name"=dword:00000005, @="default", "Name"=hex(..):..
// (continued lines ending in "\"). Key paths and value names compare without regard
// to letter case. A missing, unreadable or malformed file reads as an empty registry;
// nothing in any content makes the reader fail.
//
// The first non-blank line must be one of the two headers, else the file is empty.
// UTF-16 is recognised by its BOM only. Roots may be abbreviated (HKLM, HKCU, ...).
// A line that does not parse (an unclosed string, dword with no or more than eight
// hex digits, bad hex data, text after the data other than a ";" comment) has no
// effect; a broken key line ends the current key, so the values after it are
// ignored until the next good key line. hex(1) (REG_SZ) and hex(4) (REG_DWORD, four
// bytes) read as the string or number they encode; every other hex type is kJiny.
// A continued hex line is joined only with following lines that are hex data.
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
