// One run at a time: a run holds an exclusive lock on its lock file for its whole
// length. The lock belongs to the open file, so it ends with the process, however the
// process ends.
//
// Whoever can open the lock file can hold the lock and keep every run waiting, so the
// file must be one that only the user the program runs as can open: a regular file of
// that user, mode 0600, not a link, in a folder of that user that nobody else may write
// (for root: root's). The place is the program's folder when it is such a folder, else
// the user's state folder (Platforma::SlozkaStavu). A place that fails any of this is
// passed over, never repaired; with no place left the run does not go on.
#pragma once

#include <chrono>
#include <string>

#include "platform/soubory/soubor.h"
#include "soubory/zamky_slozek.h"

namespace zevlon {

inline constexpr const char* kSouborZamku = "Zevlon-beh.lock";

class ZamekBehu {
 public:
  // Takes the lock, waiting at most `cekani` for a run that is just ending (a program
  // that replaced itself starts its successor before it exits). Raises kUzBezi when
  // another run holds it, and that no lock could be had when there is no place for it.
  void Zamknout(std::chrono::milliseconds cekani);
  const std::string& Cesta() const { return cesta_; }

 private:
  Popisovac fd_;
  std::string cesta_;
};

}  // namespace zevlon
