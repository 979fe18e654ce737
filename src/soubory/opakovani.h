// The shared way of the file and folder operations to fail: a Czech sentence that
// says what failed, on which path and why, an optional yes/no question whether to
// try again (repeated for as long as the user answers Yes), and otherwise an error
// carrying that sentence. Used by the operations only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/soubory/souborovy_system.h"
#include "rozhrani/rozhrani.h"

namespace zevlon {

// Message box style of every retry question: Yes/No buttons and the warning icon.
inline constexpr int kStylOtazkyOpakovani = mb::kAnoNe + mb::kVykricnik;  // 52

// The reasons appended to an opening for the codes 53, 70 and 76; nullptr gives
// the generic reason with the platform's description.
struct DuvodySelhani {
  const char* souborNenalezen = nullptr;
  const char* pristupOdepren = nullptr;
  const char* cestaNenalezena = nullptr;
};

extern const DuvodySelhani kDuvodyKopirovaniSouboru;
extern const DuvodySelhani kDuvodyMazaniSouboru;
extern const DuvodySelhani kDuvodySlozek;  // deleting and creating folders

// The reason for a failure: a text of the table, or "." CR LF "Chyba: " + description.
std::string Duvod(const ss::Vysledek& v, const DuvodySelhani& duvody);

// One operation that may fail: its opening (with the paths), its reasons and its
// retry question.
struct PopisOperace {
  std::string uvod;
  const DuvodySelhani& duvody;
  const char* otazka;
  bool askRetry;
};

// A failure the user did not (or could not) retry: code and the message without the
// question.
struct Selhani {
  std::int32_t kod;
  std::string zprava;
};

// Runs krok until it succeeds; after each failure asks the retry question when
// askRetry allows it and repeats on Yes. Answers the failure that stayed, if any.
std::optional<Selhani> ProvestSOpakovanim(const PopisOperace& op,
                                          const std::function<ss::Vysledek()>& krok);

// Raises the failure as the operation's error.
[[noreturn]] void VyvolatSelhani(const Selhani& s, const std::string& zdroj);

}  // namespace zevlon
