// Private-profile INI files with the semantics of the Windows profile functions:
// section and key names compare without regard to letter case (Czech letters
// folded), the first matching section and key win, names and values are trimmed of
// blanks and tabs and a value enclosed in matching quotes ("..." or '...') loses
// them. A line whose first non-blank character is ";" is a comment; "[name]" is a
// header (the name runs to the last "]" on the line); a line without "=" inside a
// section is a key with an empty value; lines before the first header belong to no
// section. Files are read whole, without any length limit on values or sections;
// lines end in LF or CR LF.
//
// Writing rewrites only the affected lines and keeps every other byte of the file
// and its encoding (UTF-8 with or without BOM, or Windows-1250). A Windows-1250 file
// that cannot hold the new text is converted to UTF-8 as a whole. Added lines end in
// LF when the file's line ends are all LF, otherwise in CR LF; a new file is UTF-8
// with CR LF. Every write goes through a temporary file renamed over the target.
// A write is refused (false, nothing written) for a read-only file (no owner write
// bit, also for the superuser), for text with CR, LF or NUL or that is not UTF-8,
// and for a key that would not read back as itself (blank, with "=", starting with
// ";" or looking like a header).
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

// The same of a file's bytes read by the caller.
std::optional<std::string> CistKlicTextu(std::string bajty, std::string_view sekce,
                                         std::string_view klic);

// The "key=value" lines of the first section of that name, in file order, with key
// and value trimmed (quotes kept); a line without "=" comes trimmed as it is; blank
// lines and comments (";") are left out. No value when the file or the section is
// missing.
std::optional<std::vector<std::string>> CistSekci(const std::string& soubor,
                                                  std::string_view sekce);

// The names of the file's sections in file order, as written (trimmed); no value when
// the file cannot be read.
std::optional<std::vector<std::string>> CistNazvySekci(const std::string& soubor);

// Writes key=value into section: replaces the first matching key line (keeping its
// indentation, its key's spelling and its line end), or adds the line after the
// last non-blank line of the section, or adds the section at the end of the file.
// False when the file cannot be written: a read-only file (no owner write bit), a
// folder that refuses the write, a file that cannot be read, or a refused text.
bool ZapsatKlic(const std::string& soubor, std::string_view sekce, std::string_view klic,
                std::string_view hodnota);

// Removes the first line of the section that names the key. True when the key is gone
// afterwards (also when there was none, even in a read-only or missing file).
bool SmazatKlic(const std::string& soubor, std::string_view sekce, std::string_view klic);

// Removes the first section of that name: its header and every line up to the next
// header. True when the section is gone afterwards (also when there was none, even
// in a read-only or missing file).
bool SmazatSekci(const std::string& soubor, std::string_view sekce);

// Replaces the lines of section up to its last non-blank line by the given lines
// (written as given; none may look like a header), creating the section (and the
// file) when missing.
bool ZapsatSekci(const std::string& soubor, std::string_view sekce,
                 const std::vector<std::string>& radky);

}  // namespace zevlon::ini
