// Starting a program as another user, the way a privilege-separated daemon starts its
// worker: in a session of its own (no terminal), with that user's uid, primary group and
// supplementary groups and nothing of the starter's (no capabilities, no way to regain
// them), in that user's home folder, with only the environment and descriptors given.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/procesy/ucty.h"

namespace zevlon {

struct SpusteniJakoUcet {
  Ucet ucet;
  std::string program;                 // an absolute path, executed as it is
  std::vector<std::string> argumenty;  // argv[1] on
  std::vector<std::string> prostredi;  // NAME=VALUE, the whole environment
  std::vector<int> popisovace;         // become descriptors 3, 4, ... of the program
};

// Starts the program and answers its process id; standard input and outputs are
// /dev/null and every other descriptor is closed. A failure before the program ran (the
// change of user, the home folder, the exec) throws std::system_error with its errno.
pid_t SpustitJakoUcet(const SpusteniJakoUcet& s);

}  // namespace zevlon
