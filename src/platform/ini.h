// Private-profile INI files with the semantics of the Windows profile functions:
// section and key names compare without regard to letter case (Czech letters
// folded), the first matching section and key win, names and values are trimmed of
// blanks and a value enclosed in matching quotes loses them. Writing a key rewrites
// only that line and keeps every other byte of the file and its encoding (UTF-8 with
// or without BOM, or Windows-1250); a missing file or section is created. Files
// are read whole, without any length limit on values or sections.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zevlon::ini {

// The value of key in section, or no value when the file, section or key is missing
// or the file cannot be read.
std::optional<std::string> CistKlic(const std::string& soubor, std::string_view sekce,
                                    std::string_view klic);

// The "key=value" lines of the first section of that name, in file order, each
// trimmed; blank lines and comments (";") are left out. No value when the file or
// the section is missing.
std::optional<std::vector<std::string>> CistSekci(const std::string& soubor,
                                                  std::string_view sekce);

// Writes key=value into section (replacing the first matching key line, or adding
// the line at the end of the section, or adding the section at the end of the
// file). False when the file cannot be written: a read-only file (no owner write
// bit), a folder that refuses the write, or a value with CR, LF or NUL.
bool ZapsatKlic(const std::string& soubor, std::string_view sekce, std::string_view klic,
                std::string_view hodnota);

// Removes the first section of that name with all its lines. True when the section
// is gone afterwards (also when there was none).
bool SmazatSekci(const std::string& soubor, std::string_view sekce);

// Replaces the content of section by the given "key=value" lines, creating the
// section (and the file) when missing.
bool ZapsatSekci(const std::string& soubor, std::string_view sekce,
                 const std::vector<std::string>& radky);

}  // namespace zevlon::ini
