// Whether the user may update a folder (decided by writing a marker file and
// removing it again), and the names of the user and of the computer.
#pragma once

#include <string>

namespace zevlon {

inline constexpr const char* kBezeJmena = "Beze jména";
inline constexpr const char* kZnackaPrava = "~pravo.aktualizovat";

// folder ends with "/". True when the marker file could be written and removed.
bool MaPravoAktualizovat(const std::string& slozka);

// The account the process runs under ("System" for a scheduled run), or "Beze jména".
std::string JmenoUzivatele();
// The computer's name, or "Beze jména".
std::string JmenoPocitace();

}  // namespace zevlon
