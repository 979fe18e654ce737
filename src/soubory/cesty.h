// Path utilities of the file and folder operations. Paths are native: "/" separates
// their parts, and a folder path may carry a trailing "/". None of these fails.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zevlon {

inline constexpr char kOddelovac = '/';

// True when the path names an existing folder, hidden folders and links to folders
// included; a missing trailing "/" is added before the test, an empty path names
// nothing, and any failure of the test counts as false. Nothing stays open.
bool ExistujeSlozka(const std::string& cesta);

// Removes one trailing "/" if present, in the caller's string.
void OdebratLomitko(std::string& cesta);
// The same as a shortened copy.
[[nodiscard]] std::string BezLomitka(std::string_view cesta);

// Splits at the last "/": the folder up to and including it, and the name after
// it. Without a "/" the folder is empty and the name is the whole input.
void RozdelitCestu(std::string_view cesta, std::string& slozka, std::string& jmeno);

// The components of a folder path in order, used to create it level by level: the
// first one holds the root ("/a/b/c" gives "/a", "b", "c"), the root alone gives none.
// Empty components of repeated separators are skipped.
std::vector<std::string> CastiCesty(std::string_view slozka);

// The wire form of relative paths (snapshot lines, archive names on Windows peers,
// INI section names) separates with "\"; these convert at exactly those boundaries.
std::string ZDratoveCesty(std::string_view dratova);    // "\" becomes "/"
std::string NaDratovouCestu(std::string_view nativni);  // "/" becomes "\"

// True for a relative path that stays inside the folder it is joined to: not empty,
// not absolute, no "..", no empty part, no drive (":") and no NUL. Paths that come
// from outside (snapshots, archives, listings) must pass before any file operation.
bool JeBezpecnaRelativniCesta(std::string_view nativni);

}  // namespace zevlon
