// The few process-wide values of one run.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace zevlon {

// Set when the run is unattended (the process runs as "System", or no one can be
// asked through the user interface): no message box or question is shown; boxes
// count as answered with OK, questions return their default.
extern bool RezimSystem;

// The file operation under way (a path, or source + "->" + target); empty when
// none. The run's error report names it after "Soubor: ".
extern std::string AktualniPolozka;

// Temporary folders of the run, deleted at the end of the setup update.
extern std::vector<std::string> DocasneSlozky;

// Stage of the progress meter in percent: end and start of the current stage.
struct Etapa {
  std::int32_t Konec = 0;
  std::int32_t Zacatek = 0;
};
extern Etapa EtapaPrubehu;

// Sets AktualniPolozka for one operation and clears it when the operation ends
// normally; an error leaves it set, so the error report names the file.
class OznacenaPolozka {
 public:
  explicit OznacenaPolozka(std::string polozka) : vyjimky_(std::uncaught_exceptions()) {
    AktualniPolozka = std::move(polozka);
  }
  OznacenaPolozka(const OznacenaPolozka&) = delete;
  OznacenaPolozka& operator=(const OznacenaPolozka&) = delete;
  ~OznacenaPolozka() {
    if (std::uncaught_exceptions() == vyjimky_) AktualniPolozka.clear();
  }

 private:
  int vyjimky_;
};

}  // namespace zevlon
