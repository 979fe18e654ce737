// The user interface for a person at a terminal without a display. The progress is
// one status line (StavovyRadek), rewritten in place ("\r") as wide as the terminal; the
// end of a run (Zavřít shown) is printed in full. Message boxes and choices are
// asked at the prompt: the buttons and rows are numbered, Storno is 0 and an empty
// answer takes the default. Ctrl+C stands for Storno: it sets the cancel flag that
// the next progress report turns into the cancel error (a second Ctrl+C ends the
// program at once). The previous SIGINT handler is restored when the object goes.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rozhrani/rozhrani.h"

namespace zevlon {

class TerminaloveRozhrani : public Rozhrani {
 public:
  // Answers are read from vstup, everything is written to vystup.
  explicit TerminaloveRozhrani(int vstup = STDIN_FILENO, int vystup = STDERR_FILENO);
  ~TerminaloveRozhrani() override;
  TerminaloveRozhrani(const TerminaloveRozhrani&) = delete;
  TerminaloveRozhrani& operator=(const TerminaloveRozhrani&) = delete;

  void Prubeh(const HlaseniPrubehu& h) override;
  void ZpracovatUdalosti() override {}
  bool Zruseno() const override;
  int Zprava(const std::string& text, int styl, const std::string& titulek) override;
  int Volba(const ParametryVolby& p) override;
  bool NaTerminalu() const override { return true; }
  void Zavrit() override { UkoncitRadek(); }
  void CekatNaZavreni() override { UkoncitRadek(); }

  // Asks for one value: the heading (when not empty), the items numbered from 1, then
  // the prompt with the default in brackets. The number of an item answers that item,
  // an empty answer the default, any other text itself; with `jenPolozky` only an item
  // (by its number or its text, in any letter case) is an answer, and anything else is
  // asked again with the items named. No value at the end of input, on Ctrl+C or SIGTERM.
  std::optional<std::string> Zeptat(const std::string& nadpis,
                                    const std::vector<std::string>& polozky,
                                    const std::string& vychozi, const std::string& vyzva,
                                    bool jenPolozky = false);
  // A heading after an empty line, and a line of text.
  void Nadpis(const std::string& text);
  void Oznamit(const std::string& text);

 private:
  struct Tlacitko {
    const char* text;
    int id;
  };

  void Psat(std::string_view text);
  // Ends an open status line, so that what follows starts on a line of its own.
  void UkoncitRadek();
  int Sirka() const;
  // One line of input without its line end; no value at the end of input, on an
  // error or when Ctrl+C interrupted the wait.
  std::optional<std::string> PrecistRadek();
  void Hlavicka(const std::string& titulek, int styl);

  int vstup_;
  int vystup_;
  std::string podnadpis_;
  std::string zprava_;
  bool metr_ = false;
  std::int32_t hotovo_ = 0;
  std::int32_t celkem_ = 0;
  std::string posledniRadek_;  // the status line on screen, "" when none is open
  std::string posledniKonec_;  // the last end-of-run text printed
  struct sigaction puvodni_ {};
};

}  // namespace zevlon
