// The platform's services that the program asks about its surroundings: who runs
// it, on which computer, where its file and the temp folder are, where the registry
// file lies, and what time it is. One process-wide instance; tests replace it with
// a subclass that overrides exactly what they need.
#pragma once

#include <string>

#include "common/cas.h"

namespace zevlon {

class Platforma {
 public:
  virtual ~Platforma() = default;

  // Account name of the process; "System" for the superuser started without a
  // terminal and without a display (how cron starts it); empty when unknown.
  virtual std::string JmenoUzivatele();
  // Host name; empty when unknown.
  virtual std::string JmenoPocitace();
  // TEMP, else TMPDIR, else /tmp; without a trailing separator.
  virtual std::string SlozkaTemp();
  // Full path of the running program file.
  virtual std::string CestaProgramu();
  // $DUNMOR_REGISTRY, else /etc/dunmor/registry.reg.
  virtual std::string CestaRegistru();
  virtual Okamzik Ted();
};

Platforma& platforma();
// Installs another platform for the process (nullptr restores the default); the
// caller keeps ownership.
void NastavitPlatformu(Platforma* p);

// Derived values.
std::string SlozkaProgramu();  // folder of the program file, no trailing separator
std::string JmenoProgramu();   // program file name without the executable suffix
inline constexpr const char* kPriponaSpustitelna = "";  // ".exe" on Windows

}  // namespace zevlon
