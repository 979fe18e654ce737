// Starting a program as another user, the way a privilege-separated daemon starts its
// worker: in a session of its own (no terminal) and a new session keyring of its own,
// with that user's uid, primary group and supplementary groups and nothing of the
// starter's (no capabilities, no way to regain them, no keys), in that user's home
// folder, with only the environment and descriptors given, and no core dump.
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

struct SpustenyUcet {
  pid_t pid = -1;  // also its process group and its session
  // The errno with which the system refused a new session keyring (a restrictive seccomp
  // profile: ENOSYS, EPERM); the program then runs in the starter's. 0 when it has its own.
  int chybaKlicenky = 0;
};

// Starts the program; standard input and outputs are /dev/null and every other
// descriptor is closed. A failure before the program ran (the change of user, the home
// folder, the exec) throws std::system_error with its errno.
SpustenyUcet SpustitJakoUcet(const SpusteniJakoUcet& s);

}  // namespace zevlon
