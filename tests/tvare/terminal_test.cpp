#include "tvare/terminal/terminal.h"

#include "tvare/terminal/stavovy_radek.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "common/chyba.h"
#include "common/text.h"
#include "rozhrani/prubeh.h"
#include "support/falesne_ui.h"
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

TEST(TerminalTest, TheStatusLineDropsTheHeadingThenTheRateAndShortensTheFileNameLast) {
  // Each row: the width of the terminal, the heading, the message, the bytes received of
  // the file's whole (-1 unknown) at the rate (none below 1 B/s; a row of no bytes reports
  // no file), and the line at 42 %. "~" stands for the no-break space.
  const char* kNadpis = "Aktualizace sdílených komponent Dunmor Merko";
  const char* kSoubor = "Stahuje se nový soubor Common/Merko.Data.dll";
  const char* kDlouhy = "Stahuje se nový soubor Sestavy/Priznani_k_dani_z_prijmu_2014.rpt";
  const char* kSlozka = "Načítání obsahu instalační složky /srv/merko/Účetnictví a mzdy/Archiv/";
  const std::tuple<int, const char*, const char*, std::int64_t, std::int64_t, double, const char*>
      pripady[] = {
          {80, kNadpis, kSoubor, 1'234'567, 30'000'000, 1e6,
           "[ 42 %] …se nový soubor Common/Merko.Data.dll – 1,2~MB z 30,0~MB, zbývá 29~s"},
          {50, kNadpis, kSoubor, 1'234'567, 30'000'000, 1e6,
           "[ 42 %] …Common/Merko.Data.dll – 1,2~MB z 30,0~MB"},
          {120, kNadpis, kSoubor, 1'234'567, 30'000'000, 1e6,
           "[ 42 %] Stahuje se nový soubor Common/Merko.Data.dll – 1,2~MB z 30,0~MB, 1,0~MB/s, "
           "zbývá 29~s"},
          {80, "Stahování", kSoubor, 999, -1, 0,
           "[ 42 %] Stahování – Stahuje se nový soubor Common/Merko.Data.dll – 999~B"},
          {50, "Stahování", kSoubor, 999, -1, 0, "[ 42 %] …soubor Common/Merko.Data.dll – 999~B"},
          {80, kNadpis, kDlouhy, 1'234'567, 30'000'000, 1e6,
           "[ 42 %] …soubor Sestavy/Priznani_k_dani_z_prijmu_2014.rpt – 1,2~MB z 30,0~MB"},
          {50, kNadpis, kDlouhy, 1'234'567, 30'000'000, 1e6,
           "[ 42 %] …ani_z_prijmu_2014.rpt – 1,2~MB z 30,0~MB"},
          {80, kNadpis, kSlozka, 0, 0, 0,
           "[ 42 %] Načítání obsahu instalační složky /srv/merko/Účetnictví a mzdy/Archiv/"},
          {50, kNadpis, kSlozka, 0, 0, 0, "[ 42 %] …/srv/merko/Účetnictví a mzdy/Archiv/"},
          {50, "Příprava aktualizace", "Kontrola", 0, 0, 0,
           "[ 42 %] Příprava aktualizace – Kontrola"},
      };
  for (const auto& [sirka, nadpis, zprava, prijato, celkem, rychlost, radek] : pripady) {
    test::FalesneUi ui;
    ZobrazPrubeh(nadpis, zprava, 42, 100, 0, true, false);
    if (prijato > 0) ZobrazPrubehSouboru(prijato, celkem, rychlost);
    EXPECT_EQ(StavovyRadek(nadpis, ui.hlaseni.back().zprava, true, 42, 100, sirka),
              NahraditVse(radek, "~", "\u00a0"))
        << sirka << " " << zprava;
  }
  // The run's bound, when it holds the transfers back, stands with the rate.
  test::FalesneUi ui;
  ZobrazPrubeh(kNadpis, kSoubor, 42, 100, 0, true, false);
  ZobrazPrubehSouboru(1'234'567, 30'000'000, 240'000, 250'000);
  EXPECT_EQ(StavovyRadek(kNadpis, ui.hlaseni.back().zprava, true, 42, 100, 140),
            NahraditVse("[ 42 %] Stahuje se nový soubor Common/Merko.Data.dll – 1,2~MB z 30,0~MB, "
                        "240,0~kB/s omezeno na 250,0~kB/s, zbývá 2~min 0~s",
                        "~", "\u00a0"));
}

}  // namespace
}  // namespace zevlon
