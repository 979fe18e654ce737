// The choice dialog's logic, shared by every backend: how the message and the rows
// are split, the default title, and the result (0 for cancel, the row number from 1,
// plus 10 when the check box is ticked). And the wrapper through which the run asks.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "rozhrani/rozhrani.h"

namespace zevlon {

inline constexpr const char* kVychoziTitulekVolby = "Dunmor Merko";

class ModelVolby {
 public:
  explicit ModelVolby(const ParametryVolby& p);

  // Main and secondary instruction: split at the "@" when there is exactly one;
  // otherwise the text up to the first "@" is the main one.
  std::string hlavniInstrukce;
  std::string sekundarniInstrukce;
  std::string titulek;  // "Dunmor Merko" when empty
  std::string poznamka;
  // One row per ";"-separated piece, each with up to three lines split at "@".
  std::vector<std::array<std::string, 3>> radky;
  bool zaskrtavatkoViditelne = false;
  std::string textZaskrtavatka;
  bool zaskrtnuto = false;
  std::int32_t cislo = 0;

  std::int16_t Hodnota = 0;  // the chosen row, 0 until one is chosen

  void Zvolit(int radek) { Hodnota = static_cast<std::int16_t>(radek); }
  void Zrusit() { Hodnota = 0; }
  std::int16_t Vysledek() const {
    return static_cast<std::int16_t>(Hodnota + (zaskrtavatkoViditelne && zaskrtnuto ? 10 : 0));
  }
};

// Asks the choice question; in an unattended run answers `vychozi` without showing
// anything.
std::int16_t ZobrazVolbu(const ParametryVolby& p, std::int16_t vychozi);

}  // namespace zevlon
