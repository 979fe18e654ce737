// The updater's options file beside the program (Zevlon.ini) and the update site it
// names.
#pragma once

#include <string>

namespace zevlon {

inline constexpr const char* kVychoziAdresaWebu =
    "http://aktualizace.dunmor.invalid/aktualizace-online/";
// The name under which an updater starts the new one it downloaded.
inline constexpr const char* kNovyZevlon = "ZevlonNew";

// The options file beside the program: its folder + "/" + its name + ".ini"; the new
// updater reads the options of the program whose place it takes (Zevlon.ini).
std::string CestaVolebIni();

// The update site's base address (ending in "/"): "Adresa" of section "Server" of
// the options file, else the built-in default.
std::string AdresaWebu();

}  // namespace zevlon
