#include "tvare/terminal/terminal.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "common/chyba.h"
#include "rozhrani/prubeh.h"

namespace zevlon {
namespace {

// Runs telo in a child process with a pseudo-terminal as its controlling terminal,
// standard input and error, as the backend runs for a person; the test plays the
// person, typing napsat once the output holds cekat. The child must exit with
// vysledek (-1 when it was killed or the text waited for never came).
void VTerminalu(const std::function<int()>& telo, const char* cekat, const char* napsat,
                int vysledek) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) _exit(telo());
  std::string vystup;
  for (;;) {
    pollfd p{master, POLLIN, 0};
    char buf[4096];
    ssize_t n = poll(&p, 1, 10'000) > 0 ? read(master, buf, sizeof buf) : 0;
    if (n <= 0) break;  // the end of the output (EIO), or 10 s without any
    vystup.append(buf, static_cast<std::size_t>(n));
    if (cekat && vystup.find(cekat) != std::string::npos) {
      EXPECT_GE(write(master, napsat, strlen(napsat)), 0);
      cekat = nullptr;
    }
  }
  kill(pid, SIGKILL);  // reaches only a child that hung
  int stav = 0;
  waitpid(pid, &stav, 0);
  close(master);
  EXPECT_EQ(!cekat && WIFEXITED(stav) ? WEXITSTATUS(stav) : -1, vysledek) << vystup;
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
