// What one run renewed, for the run's record: counted where the work is done and carried
// up to the run (from the owner's process over its channel too).
#pragma once

#include <cstdint>
#include <string>

namespace zevlon {

struct SouhrnObnovy {
  std::int64_t slozek = 0;           // live folders swapped for renewed ones
  std::int64_t zkopirovano = 0;      // files taken from the installation (copied or linked)
  std::int64_t stazeno = 0;          // files downloaded whole
  std::int64_t zRozdilu = 0;         // files rebuilt from a downloaded delta
  std::int64_t bajtu = 0;            // bytes of files and deltas received
  std::string vydaniPred, vydaniPo;  // the profile's release before and after the run
  bool odmitnuto = false;            // the site's older release was refused
  bool novyProgram = false;          // a newer updater was started in this one's place
  std::string vraceno;  // the release gone back from, refused with any below it: nothing installed
  std::string odUzivatele;  // the user whose process reported these counts; "" for this run's
};

}  // namespace zevlon
