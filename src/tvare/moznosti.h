// The options window `MoznostiAktualizace` without its toolkit: which profile data
// folder the unattended update works on and whether and when the updater runs by
// itself. Keeps the choices in the options file beside the program (section
// "Nastaveni", and "Uloha" with the number of the registered job) and registers the
// unattended run with the scheduler. A view shows the fields below, passes the
// user's actions on and closes itself when Ok() says so.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/planovani/planovac.h"
#include "soubory/volby.h"

namespace zevlon {

inline constexpr const char* kTitulekMoznosti = "Možnosti aktualizací";
inline constexpr const char* kChybaVyplnte = "Chyba. Vyplňte možnosti.";
inline constexpr const char* kChybaUlohy =
    "Nemáte oprávnění pro vytvoření úlohy plánovaného spuštění.";

// One combo box: its list and its text (which need not be in the list).
struct SeznamVolby {
  std::vector<std::string> polozky;
  std::string text;
  bool povoleno = true;
};

class ModelMoznosti {
 public:
  // Opening the window: fills the frequency and hour lists, loads the saved
  // settings and lists the data folder of every profile of both suite versions.
  ModelMoznosti();

  SeznamVolby comProfily;
  SeznamVolby comHodiny;
  SeznamVolby comMoznosti;
  SeznamVolby comDen;
  bool OptAktualizovat = true;  // false: OptNeaktualizovat is selected
  // The office's mirror of the site ("Zrcadlo" of section "Server"), empty for none.
  std::string txtZrcadlo;
  // The office's proxy ("Proxy", an address without user or password) and the hosts reached
  // without it ("BezProxy"), both of section "Server"; empty for none.
  std::string txtProxy, txtBezProxy;

  // OptAktualizovat chosen: the hour and frequency boxes come alive, then the day
  // box as for a change of frequency.
  void ZvolitAktualizovat();
  // OptNeaktualizovat chosen: the three schedule boxes go dead.
  void ZvolitNeaktualizovat();
  // A frequency picked from the list: the day box is alive unless "Denně"; its list
  // becomes the weekdays for "Týdně" and the days 1. to 28. for "Měsíčně".
  void ZmenitCetnost(const std::string& cetnost);

  // OK: checks the input (a mirror must be an absolute http or https address), registers the new
  // job, saves the settings, deletes the job it replaces and answers whether the window may close.
  // Every refusal is shown as a message; a job that cannot be registered leaves the settings as
  // they were.
  bool Ok();

 private:
  // The fields of section "Server", by key.
  std::array<std::pair<const char*, std::string*>, 3> PoleServeru();
  void Nacist();
  bool Ulozit();
  // Registers the chosen schedule; false (shown to the user, nothing registered) when
  // it cannot be.
  bool ZaregistrovatUlohu(std::uint32_t& cislo);
  // Deletes the job stored in "Uloha" and stores the new one's number (0: none).
  void NahraditUlohu(std::uint32_t nova);
};

// The scheduler's record for the time, frequency and day texts: JobTime from the
// time of day, DaysOfWeek (Denně: all seven; Týdně: the day's bit), DaysOfMonth
// (Měsíčně: the day's bit), the periodic and non-interactive flags and the
// program's own path in double quotes. Raises an error for a text that is no time
// of day or no day.
ZaznamUlohy SestavitZaznamUlohy(const std::string& cas, const std::string& cetnost,
                                const std::string& den);

}  // namespace zevlon
