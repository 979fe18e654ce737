#include "ui/terminal/terminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "common/chyba.h"
#include "driver/prubeh.h"
#include "platform/soubor.h"

namespace zevlon {
namespace {

// What the test types at the terminal once the output so far holds a text.
struct Krok {
  const char* cekat;
  const char* napsat;
};
struct Beh {
  int navrat = -1;  // -1: killed, or a text waited for never came
  std::string vystup;
};

// Runs telo in a child process with a pseudo-terminal as its controlling terminal,
// standard input and error, as the backend runs for a person; the test plays the
// person on the other side. Answers the child's exit status and all it wrote.
Beh VTerminalu(const std::function<int()>& telo, const std::vector<Krok>& kroky,
               unsigned short sloupcu = 80) {
  winsize w{};
  w.ws_col = sloupcu;
  w.ws_row = 24;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, &w);
  if (pid == 0) _exit(telo());
  Beh b;
  auto cist = [&] {  // false at the end of the output (EIO) or after 10 s without any
    pollfd p{master, POLLIN, 0};
    char buf[4096];
    ssize_t n = poll(&p, 1, 10'000) > 0 ? read(master, buf, sizeof buf) : 0;
    if (n > 0) b.vystup.append(buf, static_cast<std::size_t>(n));
    return n > 0;
  };
  bool vse = true;
  std::size_t precteno = 0;
  for (const Krok& k : kroky) {
    while (vse && b.vystup.find(k.cekat, precteno) == std::string::npos)
      vse = cist();
    if (!vse) break;
    precteno = b.vystup.find(k.cekat, precteno) + std::string_view(k.cekat).size();
    EXPECT_GE(write(master, k.napsat, strlen(k.napsat)), 0);
  }
  while (vse && cist()) {
  }
  kill(pid, SIGKILL);  // reaches only a child that hung
  int stav = 0;
  waitpid(pid, &stav, 0);
  close(master);
  if (vse && WIFEXITED(stav)) b.navrat = WEXITSTATUS(stav);
  return b;
}

TEST(TerminalTest, StatusLineComposition) {
  EXPECT_EQ(TerminaloveRozhrani::StavovyRadek("Příprava", "", false, 0, 0, 80), "Příprava");
  EXPECT_EQ(TerminaloveRozhrani::StavovyRadek("", "a\r\nb\tc", true, 5, 0, 80), "a b c");
  EXPECT_EQ(TerminaloveRozhrani::StavovyRadek("", "", true, 1000, 1000, 80), "[100 %] ");
  // Cut to width - 1 characters (not bytes), the last one an ellipsis.
  EXPECT_EQ(TerminaloveRozhrani::StavovyRadek("Čeština", "žluťoučký kůň úpěl", false, 0, 0, 12),
            "Čeština – …");
}

TEST(TerminalTest, ProgressIsOneLineRewrittenInPlaceAndTheEndIsPrintedInFull) {
  auto hlaseni = [](std::string_view podnadpis, std::string_view zprava, std::int32_t hotovo,
                    std::int32_t celkem, bool zavrit = false) {
    return HlaseniPrubehu{podnadpis, zprava, true, hotovo, celkem, !zavrit, zavrit};
  };
  Beh b = VTerminalu(
      [&] {
        TerminaloveRozhrani ui;
        const char* dlouha = "Setup/Merko/velmi/dlouha/cesta/k/souboru.zip";
        ui.Prubeh(hlaseni("Stahování souborů", dlouha, 350, 1000));
        ui.Prubeh(hlaseni("Stahování souborů", dlouha, 350, 1000));  // the same: not written
        ui.Prubeh(hlaseni("", "b.zip", 500, 1000));
        HlaseniPrubehu bezMetru = hlaseni("", "c.zip", 0, 0);
        bezMetru.zmenitMetr = false;  // the meter stays as it was
        ui.Prubeh(bezMetru);
        ui.Prubeh(hlaseni("", "Chyba při stahování souboru download.ini\r\nSoubor: x", 0, 0, true));
        ui.CekatNaZavreni();
        return 0;
      },
      {}, 40);
  // Each status line replaces the one before ("\r", then "erase to the end of line");
  // the end of the run erases it and is printed in full.
  EXPECT_EQ(b.navrat, 0);
  EXPECT_EQ(b.vystup,
            "\r[ 35 %] Stahování souborů – Setup/Merk…\x1b[K\r[ 50 %] Stahování souborů – b.zip"
            "\x1b[K\r[ 50 %] Stahování souborů – c.zip\x1b[K\r\x1b[KStahování souborů\r\n"
            "Chyba při stahování souboru download.ini\r\nSoubor: x\r\n");
}

TEST(TerminalTest, PromptsNumberTheButtonsAndRowsWithStornoAsZero) {
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
      return ui.Volba(
          {"Nové@Stáhnout?", "", "Ano@120 MB@Potom;Ne", "Později.", 0, zaskrtavatko, true});
    };
  };
  const char* volba = "Volba [1]: ";
  const char* zaskrtnout = "Příště ne [A/n]: ";
  struct Pripad {
    std::function<int()> telo;
    std::vector<Krok> kroky;
    int vysledek;
  };
  const Pripad pripady[] = {
      {zprava(mb::kOpakovatStorno | mb::kKriticka),
       {{"[Chyba] T\r\nNelze.\r\nZnovu?\r\n  1) Opakovat\r\n  0) Storno\r\nVolba [1]: ", "0\n"}},
       mb::kIdStorno},
      {zprava(mb::kOpakovatStorno), {{volba, "\n"}}, mb::kIdOpakovat},  // the default button
      {zprava(mb::kAnoNe | mb::kOtaznik),
       {{"[Otázka] ", ""}, {volba, "7\n"}, {"Neplatná volba.", "ne\n"}},
       mb::kIdNe},
      {zprava(mb::kAnoNe | 0x100), {{"  1) Ano\r\n  2) Ne\r\nVolba [2]: ", "1\n"}}, mb::kIdAno},
      {zprava(mb::kOk | mb::kInformace), {{"[Informace] ", ""}, {volba, "\n"}}, mb::kIdOk},
      // The end of input closes a yes/no question with No; Ctrl+C answers Storno.
      {zprava(mb::kAnoNe), {{volba, "\x04"}}, mb::kIdNe},
      {zprava(mb::kOpakovatStorno), {{volba, "\x03"}}, 100 + mb::kIdStorno},
      {otazka(""),
       {{"Dunmor Merko\r\nNové\r\nStáhnout?\r\n  1) Ano\r\n     120 MB\r\n     Potom\r\n"
         "  2) Ne\r\n  0) Storno\r\nPoznámka: Později.\r\nVolba [1]: ",
         "2\n"}},
       2},
      {otazka(""), {{volba, "3\n"}, {"Neplatná volba.", "storno\n"}}, 0},
      {otazka(""), {{volba, "\n"}}, 1},
      // A ticked box adds ten.
      {otazka("Příště ne"), {{volba, "2\n"}, {zaskrtnout, "\n"}}, 12},
      {otazka("Příště ne"), {{volba, "0\n"}, {zaskrtnout, "\n"}}, 10},
      {otazka("Příště ne"), {{volba, "1\n"}, {zaskrtnout, "a\n"}}, 11},
      {otazka("Příště ne"), {{volba, "1\n"}, {zaskrtnout, "n\n"}}, 1},
  };
  for (const Pripad& p : pripady) {
    Beh b = VTerminalu(p.telo, p.kroky);
    EXPECT_EQ(b.navrat, p.vysledek) << b.vystup;
  }
}

// The handler that stands before the backend and must stand after it.
extern "C" void PuvodniObsluha(int) {}

// Ctrl+C during a run: the next report raises the cancel error. Answers 0 when all
// went as it should.
int PrerusitBeh() {
  struct sigaction puvodni {};
  puvodni.sa_handler = PuvodniObsluha;
  sigaction(SIGINT, &puvodni, nullptr);
  int vysledek = 0;
  {
    TerminaloveRozhrani ui;
    NastavitUi(&ui);
    ZobrazPrubeh("Stahování", "", 0, 10, 0, true, false);
    if (ui.Zruseno()) vysledek |= 1;
    ZapsatVse(STDERR_FILENO, "\nPRIPRAVEN\n");
    for (int i = 0; i < 1000 && !ui.Zruseno(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    try {
      ZobrazPrubeh("", "", 1, 10, -1, true, false);
      vysledek |= 2;
    } catch (const Chyba& c) {
      if (!c.JeZruseni() || c.Popis() != "Aktualizace zrušena uživatelem") vysledek |= 4;
    }
    NastavitUi(nullptr);
  }
  struct sigaction ted {};
  sigaction(SIGINT, nullptr, &ted);
  return vysledek | (ted.sa_handler != PuvodniObsluha ? 8 : 0);
}

TEST(TerminalTest, CtrlCIsStornoAtTheNextReportAndTheHandlerIsRestored) {
  Beh b = VTerminalu(PrerusitBeh, {{"PRIPRAVEN", "\x03"}});
  EXPECT_EQ(b.navrat, 0) << b.vystup;
}

// The real program, started with the path of a release file that does not exist
// (the run only shows "Příprava aktualizace" and ends), without our display
// settings but on the display given; with input from /dev/null unless at the
// terminal.
int Program(const char* displej, bool terminal) {
  for (const char* promenna : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    unsetenv(promenna);
  if (displej) setenv("DISPLAY", displej, 1);
  if (!terminal) dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
  execl(ZEVLON_PROGRAM, "Zevlon", "/nonexistent/download.ini", static_cast<char*>(nullptr));
  return 127;
}

TEST(VyberRozhraniTest, TheProgramUsesTheTerminalWithoutADisplayAndNothingWithoutEither) {
  // Also when the display cannot be opened; Qt's complaints about it are kept quiet.
  for (const char* displej : {static_cast<const char*>(nullptr), ":4711"}) {
    Beh b = VTerminalu([displej] { return Program(displej, true); }, {});
    EXPECT_EQ(b.navrat, 0);
    EXPECT_NE(b.vystup.find("\r[  0 %] Příprava aktualizace\x1b[K"), std::string::npos) << b.vystup;
    EXPECT_EQ(b.vystup.find("xcb"), std::string::npos) << b.vystup;
    EXPECT_EQ(b.vystup.find("qt."), std::string::npos) << b.vystup;
  }
  Beh b = VTerminalu([] { return Program(nullptr, false); }, {});
  EXPECT_EQ(b.navrat, 0);
  EXPECT_EQ(b.vystup, "");
}

}  // namespace
}  // namespace zevlon
