// The processes room of the platform floor: programs run to their end (proces.h), a
// program started as another user (proces_vlastnika.h), the channel between root and
// that process (kanal.h), the user database (ucty.h), and the signals that ask the run
// to stop (ukonceni.h).
//
// Running another program to its end and hearing what it said: the bytes for its
// standard input, its standard output and error output, and how it ended.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zevlon {

struct VysledekPrikazu {
  int chybaSpusteni = 0;  // errno when the program could not be started (ENOENT: not found)
  int kod = -1;           // the exit status; 128 + the signal that ended it
  std::string vystup;     // standard output
  std::string chyby;      // error output
  bool vyprselo = false;  // ended at its bound (ProvestSLhutou)
};

// Runs argv[0] (looked up on PATH when it has no "/") with the further items as its
// arguments and `vstup` on its standard input, and waits for it.
VysledekPrikazu ProvestPrikaz(const std::vector<std::string>& argv, std::string_view vstup = {});

// Runs the program at the absolute path argv[0] with the further items as its arguments, in
// a process group of its own, nothing on its standard input, its standard and error output
// together into `vystup` (of which the last `maxVystupu` bytes are kept). At `lhuta` the
// whole group is killed and `vyprselo` set; whatever it left behind goes with it. It gets
// no descriptor beyond these and only PATH and the caller's HOME, USER, LOGNAME, LANG,
// LC_ALL and TZ: nothing of a proxy's credentials, nothing of a channel to root.
VysledekPrikazu ProvestSLhutou(const std::vector<std::string>& argv,
                               std::chrono::milliseconds lhuta, std::size_t maxVystupu);

// When a process started, in clock ticks since the boot (/proc/<pid>/stat, which any
// account may read): with its number it names one process, whatever number reuse does.
// Nothing when there is no such process.
std::optional<long long> ZacatekProcesu(pid_t pid);

}  // namespace zevlon
