// One run at a time: a run holds an exclusive lock on "Zevlon.lock" in the program's
// folder (or, where that folder cannot be written, in the temp folder) for its whole
// length. The lock belongs to the open file, so it ends with the process, however
// the process ends.
#pragma once

#include <chrono>
#include <string>

#include "platform/soubor.h"

namespace zevlon {

inline constexpr const char* kSouborZamku = "Zevlon.lock";
inline constexpr const char* kUzBezi =
    "Aktualizace Dunmor Merko již probíhá v jiném spuštění programu. Počkejte, až skončí, a "
    "potom spusťte program znovu.";

class ZamekBehu {
 public:
  // Takes the lock, waiting at most `cekani` for a run that is just ending (a program
  // that replaced itself starts its successor before it exits). False when another
  // run holds it.
  bool Ziskat(std::chrono::milliseconds cekani);
  const std::string& Cesta() const { return cesta_; }

 private:
  Popisovac fd_;
  std::string cesta_;
};

}  // namespace zevlon
