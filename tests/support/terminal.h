// A person at a terminal, for tests: the program runs with a new pseudo-terminal as its
// controlling terminal, standard input, output and error, and the test reads what it
// shows and types the answers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/neprivilegovany.h"

namespace zevlon::test {

// What the person types once the output (since the last answer) holds `cekat`; with
// `signal`, that signal is sent to the program instead (a stop from outside).
struct Odpoved {
  std::string cekat;
  std::string napsat;
  int signal = 0;
};

// Runs telo in a child process at the terminal and answers in order. The result is the
// child's exit status (-1 when it was killed, or when an awaited text never came and the
// child was killed after 10 s without output) and everything the terminal showed.
VysledekProcesu VTerminalu(const std::function<int()>& telo, std::vector<Odpoved> odpovedi = {});

// The same for a program, with the variables NAME=VALUE set and DISPLAY/WAYLAND_DISPLAY
// removed.
VysledekProcesu ProgramVTerminalu(const std::vector<std::string>& argv,
                                  const std::vector<std::string>& prostredi,
                                  std::vector<Odpoved> odpovedi = {});

}  // namespace zevlon::test
