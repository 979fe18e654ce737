// Runs programs for the tests, all through one runner: any program to its end or in
// the background, and the test helper program as an unprivileged user (uid/gid 65534
// through setpriv when the tests run as root, as in CI), so that permission refusals
// are real. The helper prints what the operation answered; tests read that back.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zevlon::test {

struct VysledekProcesu {
  int kod = -1;  // the exit status, 128 + the signal for a killed program
  std::string vystup;
};

// Runs a program to its end with stdin from /dev/null, the given variables set
// (NAME=VALUE) and DISPLAY/WAYLAND_DISPLAY removed; collects stdout and stderr.
VysledekProcesu Spustit(const std::vector<std::string>& argv,
                        const std::vector<std::string>& prostredi = {});
// Starts a program the same way with stdout and stderr into the descriptor; answers
// its process id.
pid_t SpustitNaPozadi(const std::vector<std::string>& argv,
                      const std::vector<std::string>& prostredi, int vystup);

struct VysledekPomocnika {
  int navratovyKod = -1;
  std::string vystup;  // everything the helper printed on stdout
};

// The uid/gid that the helper runs under (65534 as root, else the current user).
unsigned NeprivilegovanyUid();
unsigned NeprivilegovanaGid();

// Runs the helper with the given arguments; when running as root it first copies
// the helper into a world-readable folder, since the build tree may not be.
VysledekPomocnika SpustitNeprivilegovane(const std::vector<std::string>& argumenty,
                                         const std::vector<std::string>& prostredi = {});

// Runs the helper as the current user (stdin from /dev/null, as cron starts programs).
VysledekPomocnika SpustitPomocnika(const std::vector<std::string>& argumenty,
                                   const std::vector<std::string>& prostredi = {});

// Gives the unprivileged user ownership of a path (no-op when not root).
void PredatNeprivilegovanemu(const std::string& cesta);

}  // namespace zevlon::test
