// The private temp folder of a run. The program's temp folder (TEMP, else TMPDIR, else
// /tmp) is on most machines shared with every other user, who may lay folders, files and
// links there under any name before a run as root comes. Everything the run fetches,
// unpacks, copies or starts therefore lies in a folder that only the effective user can
// change:
//
// - the temp folder itself, when it is private: a real folder (not a link) owned by the
//   effective user that neither group nor others may write;
// - otherwise, when it is sticky (as /tmp) or not writable by others, and owned by the
//   effective user or root, its subfolder "zevlon-<uid>", made with mode 0700;
// - when that name is taken by anything but such a private folder of the user (a link, a
//   file, another user's folder, a folder others may write), a fresh folder beside it,
//   "zevlon-<uid>.XXXXXX" made by mkdtemp; it is removed at the end of the run, or by the
//   process the run handed it to (the copy started with "Hotovo", a new updater).
//
// A temp folder owned by another user, or one that others may write without being
// sticky, is refused: anyone could replace a folder of the run in it.
#pragma once

#include <string>

namespace zevlon {

// A real folder (not a link) owned by the effective user, not writable by group or others.
bool JeSoukromaSlozka(const std::string& slozka);

struct SoukromyTemp {
  std::string slozka;     // without a trailing separator
  bool nahradni = false;  // a fresh folder beside a taken "zevlon-<uid>"
};

// Chooses (and makes when needed) the private folder in the temp folder `temp` by the
// rules above. Raises an error with a Czech text when the temp folder is refused or
// missing, or no folder could be made; without `nahradniPovolena` also when only a fresh
// folder would do.
SoukromyTemp ZvolitSoukromyTemp(const std::string& temp, bool nahradniPovolena = true);

// True when `slozka` is a fresh folder made in `temp` instead of a taken "zevlon-<uid>"
// (its name, directly in the temp folder) and is still private: such a folder is taken
// over by the process it was handed to.
bool JeNahradniSlozka(const std::string& slozka, const std::string& temp);

// The private temp folder of one run, for the process while the object lives. A fresh
// folder is removed with the object, unless a started process took it over.
class TempBehu {
 public:
  TempBehu();
  ~TempBehu();
  TempBehu(const TempBehu&) = delete;
  TempBehu& operator=(const TempBehu&) = delete;

  // Chooses the folder in the platform's temp folder by the rules (once; raises).
  void Zvolit();
  // Takes over a fresh folder handed to this process: true when `slozka` is one.
  bool Prevzit(const std::string& slozka);
  // The folder, without a trailing separator; empty before a choice.
  const std::string& Slozka() const { return temp_.slozka; }

 private:
  friend void PredatTempBehu(const std::string& soubor);
  SoukromyTemp temp_;
  bool predano_ = false;
};

// The private temp folder of the process: the run's, else the one the rules give for
// the platform's temp folder (never a fresh folder, which only a run removes again).
std::string SlozkaTempBehu();

// A process was started with `soubor` (its program file or its argument): when that
// lies directly in the run's fresh folder, the process owns the folder from now on and
// the run leaves it in place.
void PredatTempBehu(const std::string& soubor);

// A fresh folder "<predpona>.XXXXXX" of the process in a private temp folder, removed
// with everything in it when the object ends; an empty path when it could not be made.
class SlozkaVTempu {
 public:
  SlozkaVTempu(const std::string& temp, const char* predpona);
  ~SlozkaVTempu();
  SlozkaVTempu(const SlozkaVTempu&) = delete;
  SlozkaVTempu& operator=(const SlozkaVTempu&) = delete;
  const std::string& Cesta() const { return cesta_; }

 private:
  std::string cesta_;
};

}  // namespace zevlon
