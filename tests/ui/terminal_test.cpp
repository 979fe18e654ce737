#include "ui/terminal/terminal.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "common/chyba.h"
#include "common/text.h"
#include "driver/prubeh.h"
#include "driver/stav.h"
#include "platform/soubor.h"

namespace zevlon {
namespace {

using namespace std::chrono_literals;

// A child process with a pseudo-terminal as its controlling terminal, standard
// input and error: the backend runs in it as it would for a person, the test plays
// the person on the other side.
class Terminal {
 public:
  Terminal(std::function<int()> telo, unsigned short sloupcu = 80) {
    winsize w{};
    w.ws_col = sloupcu;
    w.ws_row = 24;
    pid_ = forkpty(&master_, nullptr, nullptr, &w);
    if (pid_ == 0) _exit(telo());
  }
  ~Terminal() {
    if (pid_ > 0 && !skonceno_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  // Reads until the output so far contains co (or the child ended, or 10 s passed).
  bool CekatNa(std::string_view co) {
    auto konec = std::chrono::steady_clock::now() + 10s;
    while (vystup_.find(co, precteno_) == std::string::npos) {
      if (std::chrono::steady_clock::now() > konec || !Cist()) return false;
    }
    precteno_ = vystup_.find(co, precteno_) + co.size();
    return true;
  }
  void Napsat(std::string_view text) {
    ASSERT_EQ(write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // The child's exit status, after reading the rest of its output.
  int Konec() {
    while (Cist()) {
    }
    int stav = 0;
    auto konec = std::chrono::steady_clock::now() + 10s;
    while (waitpid(pid_, &stav, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > konec) return -1;
      std::this_thread::sleep_for(10ms);
    }
    skonceno_ = true;
    return WIFEXITED(stav) ? WEXITSTATUS(stav) : -1;
  }
  const std::string& Vystup() const { return vystup_; }

 private:
  bool Cist() {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 10'000) <= 0) return false;
    char buf[4096];
    ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) return false;  // EIO: the child closed the terminal
    vystup_.append(buf, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  bool skonceno_ = false;
  std::string vystup_;
  std::size_t precteno_ = 0;
};

// The status lines written: the texts between "\r" and "erase to the end of line".
std::vector<std::string> StavoveRadky(const std::string& vystup) {
  std::vector<std::string> radky;
  for (std::size_t konec = vystup.find("\x1b[K"); konec != std::string::npos;
       konec = vystup.find("\x1b[K", konec + 1)) {
    std::size_t zacatek = vystup.rfind('\r', konec);
    if (zacatek != std::string::npos)
      radky.push_back(vystup.substr(zacatek + 1, konec - zacatek - 1));
  }
  return radky;
}

std::size_t Znaku(const std::string& s) {
  std::size_t n = 0;
  for (char z : s)
    n += (static_cast<unsigned char>(z) & 0xC0) != 0x80;
  return n;
}

HlaseniPrubehu Hlaseni(std::string_view podnadpis, std::string_view zprava, std::int32_t hotovo,
                       std::int32_t celkem, bool storno = true, bool zavrit = false) {
  HlaseniPrubehu h;
  h.podnadpis = podnadpis;
  h.zprava = zprava;
  h.zmenitMetr = true;
  h.hotovo = hotovo;
  h.celkem = celkem;
  h.stornoZobrazeno = storno;
  h.zavritZobrazeno = zavrit;
  return h;
}

TEST(TerminalTest, StatusLineComposition) {
  EXPECT_EQ(TerminaloveRozhrani::StavovyRadek("Stahování", "soubor.zip", true, 350, 1000, 80),
            "[ 35 %] Stahování – soubor.zip");
  EXPECT_EQ(TerminaloveRozhrani::StavovyRadek("Příprava", "", false, 0, 0, 80), "Příprava");
  EXPECT_EQ(TerminaloveRozhrani::StavovyRadek("", "a\r\nb\tc", true, 5, 0, 80), "a b c");
  EXPECT_EQ(TerminaloveRozhrani::StavovyRadek("", "", true, 1000, 1000, 80), "[100 %] ");
  // Cut to width - 1 characters (not bytes), the last one an ellipsis.
  std::string r =
      TerminaloveRozhrani::StavovyRadek("Čeština", "žluťoučký kůň úpěl", false, 0, 0, 12);
  EXPECT_EQ(r, "Čeština – …");
  EXPECT_EQ(Znaku(r), 11u);
}

TEST(TerminalTest, ProgressIsOneLineRewrittenInPlaceAndCutToTheTerminal) {
  Terminal t(
      [] {
        TerminaloveRozhrani ui;
        ui.Prubeh(Hlaseni("Stahování souborů", "Setup/Merko/velmi/dlouha/cesta/k/souboru.zip", 350,
                          1000));
        ui.Prubeh(Hlaseni("Stahování souborů", "Setup/Merko/velmi/dlouha/cesta/k/souboru.zip", 350,
                          1000));  // the same line: nothing written
        HlaseniPrubehu dalsi = Hlaseni("", "b.zip", 500, 1000);
        ui.Prubeh(dalsi);
        HlaseniPrubehu bezMetru = Hlaseni("", "c.zip", 0, 0);
        bezMetru.zmenitMetr = false;  // the meter stays as it was
        ui.Prubeh(bezMetru);
        return 0;
      },
      40);
  ASSERT_EQ(t.Konec(), 0);
  std::vector<std::string> radky = StavoveRadky(t.Vystup());
  ASSERT_EQ(radky.size(), 3u) << t.Vystup();
  EXPECT_EQ(radky[0], "[ 35 %] Stahování souborů – Setup/Merk…");
  EXPECT_EQ(radky[1], "[ 50 %] Stahování souborů – b.zip");
  EXPECT_EQ(radky[2], "[ 50 %] Stahování souborů – c.zip");
  for (const auto& r : radky) {
    EXPECT_LE(Znaku(r), 39u);
    EXPECT_EQ(r.find('\n'), std::string::npos);
  }
}

TEST(TerminalTest, TheEndOfTheRunIsPrintedInFull) {
  Terminal t(
      [] {
        TerminaloveRozhrani ui;
        ui.Prubeh(Hlaseni("Příprava aktualizace", "", 0, 1, false, false));
        ui.Prubeh(Hlaseni("", "Chyba při stahování souboru download.ini\r\nSoubor: /tmp/x", 0, 0,
                          false, true));
        ui.CekatNaZavreni();
        return 0;
      },
      20);
  ASSERT_EQ(t.Konec(), 0);
  EXPECT_NE(t.Vystup().find("Příprava aktualizace\r\nChyba při stahování souboru download.ini\r\n"
                            "Soubor: /tmp/x\r\n"),
            std::string::npos)
      << t.Vystup();
}

TEST(TerminalTest, MessageBoxButtonsAreNumberedAndAnswerTheirIds) {
  auto zprava = [](int styl) {
    return [styl] {
      TerminaloveRozhrani ui;
      return ui.Zprava("Soubor nelze smazat.\r\nZkusit znovu?", styl, "Dunmor Merko - aktualizace");
    };
  };
  {
    Terminal t(zprava(mb::kOpakovatStorno | mb::kKriticka));
    ASSERT_TRUE(t.CekatNa("Volba [1]: "));
    EXPECT_NE(t.Vystup().find("[Chyba] Dunmor Merko - aktualizace\r\nSoubor nelze smazat.\r\n"
                              "Zkusit znovu?\r\n  1) Opakovat\r\n  0) Storno\r\n"),
              std::string::npos)
        << t.Vystup();
    t.Napsat("0\n");
    EXPECT_EQ(t.Konec(), mb::kIdStorno);
  }
  {
    Terminal t(zprava(mb::kOpakovatStorno | mb::kKriticka));
    ASSERT_TRUE(t.CekatNa("Volba [1]: "));
    t.Napsat("\n");  // the default button
    EXPECT_EQ(t.Konec(), mb::kIdOpakovat);
  }
  {
    Terminal t(zprava(mb::kAnoNe | mb::kOtaznik));
    ASSERT_TRUE(t.CekatNa("Volba [1]: "));
    t.Napsat("7\n");
    ASSERT_TRUE(t.CekatNa("Neplatná volba."));
    t.Napsat("ne\n");
    EXPECT_EQ(t.Konec(), mb::kIdNe);
  }
  {
    Terminal t(zprava(mb::kAnoNe | 0x100));  // the second button is the default
    ASSERT_TRUE(t.CekatNa("  1) Ano\r\n  2) Ne\r\nVolba [2]: "));
    t.Napsat("1\n");
    EXPECT_EQ(t.Konec(), mb::kIdAno);
  }
  {
    Terminal t(zprava(mb::kOk | mb::kInformace));
    ASSERT_TRUE(t.CekatNa("[Informace] "));
    ASSERT_TRUE(t.CekatNa("Volba [1]: "));
    t.Napsat("\n");
    EXPECT_EQ(t.Konec(), mb::kIdOk);
  }
  {
    // The end of input closes a yes/no question with No.
    Terminal t(zprava(mb::kAnoNe));
    ASSERT_TRUE(t.CekatNa("Volba [1]: "));
    t.Napsat("\x04");
    EXPECT_EQ(t.Konec(), mb::kIdNe);
  }
}

ParametryVolby Otazka(bool zaskrtavatko) {
  ParametryVolby p;
  p.zprava = "Je k dispozici nové vydání.@Chcete je stáhnout?";
  p.volby = "Ano - stáhnout aktualizaci@Stáhne se 120 MB@Potom se nainstaluje;Ne - nyní nestahovat";
  p.poznamka = "Aktualizaci lze spustit i později.";
  if (zaskrtavatko) {
    p.textZaskrtavatka = "Příště se neptat";
    p.zaskrtnuto = true;
  }
  return p;
}

int Volba(const ParametryVolby& p) {
  TerminaloveRozhrani ui;
  return ui.Volba(p);
}

TEST(TerminalTest, ChoicesAreNumberedWithStornoAsZero) {
  {
    Terminal t([] { return Volba(Otazka(false)); });
    ASSERT_TRUE(t.CekatNa("Volba [1]: "));
    EXPECT_NE(
        t.Vystup().find("Dunmor Merko\r\nJe k dispozici nové vydání.\r\nChcete je stáhnout?\r\n"
                        "  1) Ano - stáhnout aktualizaci\r\n     Stáhne se 120 MB\r\n"
                        "     Potom se nainstaluje\r\n  2) Ne - nyní nestahovat\r\n"
                        "  0) Storno\r\nPoznámka: Aktualizaci lze spustit i později.\r\n"),
        std::string::npos)
        << t.Vystup();
    t.Napsat("2\n");
    EXPECT_EQ(t.Konec(), 2);
  }
  {
    Terminal t([] { return Volba(Otazka(false)); });
    ASSERT_TRUE(t.CekatNa("Volba [1]: "));
    t.Napsat("3\n");
    ASSERT_TRUE(t.CekatNa("Neplatná volba."));
    t.Napsat("storno\n");
    EXPECT_EQ(t.Konec(), 0);
  }
  {
    Terminal t([] { return Volba(Otazka(false)); });
    ASSERT_TRUE(t.CekatNa("Volba [1]: "));
    t.Napsat("\n");
    EXPECT_EQ(t.Konec(), 1);
  }
}

TEST(TerminalTest, TheTickedBoxAddsTen) {
  struct Pripad {
    const char* volba;
    const char* zaskrtnuti;
    int vysledek;
  };
  for (Pripad p : {Pripad{"2\n", "\n", 12}, Pripad{"0\n", "\n", 10}, Pripad{"1\n", "a\n", 11},
                   Pripad{"1\n", "n\n", 1}}) {
    Terminal t([] { return Volba(Otazka(true)); });
    ASSERT_TRUE(t.CekatNa("Volba [1]: "));
    t.Napsat(p.volba);
    ASSERT_TRUE(t.CekatNa("Příště se neptat [A/n]: "));
    t.Napsat(p.zaskrtnuti);
    EXPECT_EQ(t.Konec(), p.vysledek) << p.volba << p.zaskrtnuti;
  }
}

// The handler that stands before the backend and must stand after it.
extern "C" void PuvodniObsluha(int) {}

TEST(TerminalTest, CtrlCIsStornoAtTheNextReportAndTheHandlerIsRestored) {
  Terminal t([] {
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
      auto konec = std::chrono::steady_clock::now() + 10s;
      while (!ui.Zruseno() && std::chrono::steady_clock::now() < konec)
        std::this_thread::sleep_for(5ms);
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
    if (ted.sa_handler != PuvodniObsluha) vysledek |= 8;
    return vysledek;
  });
  ASSERT_TRUE(t.CekatNa("PRIPRAVEN"));
  t.Napsat("\x03");
  EXPECT_EQ(t.Konec(), 0) << t.Vystup();
}

TEST(TerminalTest, CtrlCAtAPromptAnswersStorno) {
  Terminal t([] {
    TerminaloveRozhrani ui;
    int odpoved = ui.Zprava("Opakovat?", mb::kOpakovatStorno, "");
    return odpoved + (ui.Zruseno() ? 100 : 0);
  });
  ASSERT_TRUE(t.CekatNa("Volba [1]: "));
  t.Napsat("\x03");
  EXPECT_EQ(t.Konec(), 100 + mb::kIdStorno);
}

}  // namespace
}  // namespace zevlon
