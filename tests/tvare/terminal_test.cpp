#include "tvare/terminal/terminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "common/chyba.h"
#include "rozhrani/prubeh.h"
#include "support/terminal.h"

namespace zevlon {
namespace {

// Runs telo at a terminal, typing napsat once the output holds cekat; the child must
// exit with vysledek.
void VTerminalu(const std::function<int()>& telo, const char* cekat, const char* napsat,
                int vysledek) {
  auto v = test::VTerminalu(telo, {{cekat, napsat}});
  EXPECT_EQ(v.kod, vysledek) << v.vystup;
}

TEST(TerminalTest, PromptsNumberTheButtonsAndRowsWithStornoAsZeroAndCtrlCCancels) {
  // A message box; the answer plus 100 when it left the cancel flag set.
  auto zprava = [](int styl) {
    return [styl] {
      TerminaloveRozhrani ui;
      return ui.Zprava("Nelze.\r\nZnovu?", styl, "T") + (ui.Zruseno() ? 100 : 0);
    };
  };
  // The choice dialog, with a check box (ticked) when its text is given.
  auto otazka = [](const char* zaskrtavatko) {
    return [zaskrtavatko] {
      TerminaloveRozhrani ui;
      return ui.Volba({"Nové@Stáhnout?", "", "Ano@120 MB;Ne", "Později.", 0, zaskrtavatko, true});
    };
  };
  // A run: Ctrl+C while the progress is shown raises the cancel error at the next report.
  auto beh = [] {
    TerminaloveRozhrani ui;
    NastavitUi(&ui);
    try {
      for (int i = 0; i < 1000; ++i) {
        ZobrazPrubeh("Stahování", "", i % 10, 10, 0, true, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    } catch (const Chyba& c) {
      return c.JeZruseni() ? 0 : 2;
    }
    return 1;
  };
  // Each row: the prompt, what is typed (an answer per line) and the result. The
  // end of input closes a yes/no question with No; Ctrl+C answers Storno.
  const std::tuple<std::function<int()>, const char*, const char*, int> pripady[] = {
      {zprava(mb::kOpakovatStorno | mb::kKriticka),
       "[Chyba] T\r\nNelze.\r\nZnovu?\r\n  1) Opakovat\r\n  0) Storno\r\nVolba [1]: ", "0\n",
       mb::kIdStorno},
      {zprava(mb::kAnoNe | 0x100), "Volba [2]: ", "7\n\n", mb::kIdNe},
      {zprava(mb::kAnoNe), "Volba [1]: ", "\x04", mb::kIdNe},
      {zprava(mb::kOpakovatStorno), "Volba [1]: ", "\x03", 100 + mb::kIdStorno},
      {beh, "Stahování", "\x03", 0},
      {otazka(""),
       "Dunmor Merko\r\nNové\r\nStáhnout?\r\n  1) Ano\r\n     120 MB\r\n  2) Ne\r\n  0) Storno\r\n"
       "Poznámka: Později.\r\nVolba [1]: ",
       "3\n2\n", 2},
      // A ticked box adds ten, also to Storno.
      {otazka("Příště ne"), "Volba [1]: ", "0\n\n", 10},
      {otazka("Příště ne"), "Volba [1]: ", "1\nn\n", 1},
  };
  for (const auto& [telo, cekat, napsat, vysledek] : pripady)
    VTerminalu(telo, cekat, napsat, vysledek);
}

}  // namespace
}  // namespace zevlon
