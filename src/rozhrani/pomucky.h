// Configuration and small utilities used everywhere: the INI functions with their
// own error box and retry, the file-existence test with wildcards, and path and
// value helpers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/chyba.h"
#include "common/seznam.h"

namespace zevlon {

// Title of the program's own error boxes.
inline constexpr const char* kTitulProgramu = "Zevlon";
// The title of the run's message boxes.
inline constexpr const char* kTitulekAktualizace = "Dunmor Merko - aktualizace";

// The value of key in section of file; "" when the key or the file is missing. An
// empty section is refused with an error box (never raised to the caller).
std::string CistIni(const std::string& soubor, const std::string& sekce, const std::string& klic);

// Writes key=value into section of file, creating the file or section. A failure is
// shown in an error box (never raised to the caller): the run goes on.
void ZapsatIni(const std::string& soubor, const std::string& sekce, const std::string& klic,
               const std::string& hodnota);

// The key names of one section, each under its own name (first occurrence wins);
// no list when the section cannot be read because of an error shown to the user.
std::optional<KlicovanySeznam<std::string>> CistSekciIni(const std::string& soubor,
                                                         const std::string& sekce);

// True when a file (not a folder) matching path exists, hidden files included. The
// last component may hold "*" and "?" and is matched without regard to letter case
// ("*.*" matches every name); any error gives false.
bool ExistujeSoubor(const std::string& cesta);

// Appends "/" to a path that is not blank and does not already end with one.
std::string PridatLomitko(const std::string& cesta);

// The text before the first NUL character.
std::string OriznoutNaNule(std::string_view text);

template <typename T>
bool ObsahujeKlic(const KlicovanySeznam<T>& seznam, std::string_view klic) {
  return seznam.Obsahuje(klic);
}

inline bool MaPriznak(std::int64_t hodnota, std::int64_t maska) {
  return (hodnota & maska) == maska;
}

inline std::string HodnotaNeboVychozi(const std::optional<std::string>& hodnota,
                                      const std::string& vychozi = {}) {
  return hodnota ? *hodnota : vychozi;
}

// Shows the error's description in a box titled with the program's name and answers
// the button pressed: Opakovat/Storno for error 75, otherwise OK; an exclamation
// mark for 0xBFFE0000, otherwise a critical stop. Silent (OK) when unattended.
int ZobrazChybu(const Chyba& chyba);

}  // namespace zevlon
