// Runs programs, and the test helper also as user 65534 (through setpriv when root, as in
// CI) so that permission refusals are real; the helper prints what the operation answered.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zevlon::test {

struct VysledekProcesu {
  int kod = -1;  // the exit status, 128 + the signal for a killed program
  std::string vystup;
};
struct VysledekPomocnika {  // stdout alone
  int navratovyKod = -1;
  std::string vystup;
};

// Runs a program to its end (stdin from /dev/null, the variables NAME=VALUE set and
// DISPLAY/WAYLAND_DISPLAY removed); collects stdout and stderr.
VysledekProcesu Spustit(const std::vector<std::string>& argv,
                        const std::vector<std::string>& prostredi = {});
// The same with the bytes of `vstup` on stdin.
VysledekProcesu SpustitSeVstupem(const std::vector<std::string>& argv, std::string_view vstup,
                                 const std::vector<std::string>& prostredi = {});
// Starts a program the same way with stdout and stderr into the descriptor.
pid_t SpustitNaPozadi(const std::vector<std::string>& argv,
                      const std::vector<std::string>& prostredi, int vystup);

// The uid/gid that the helper runs under (65534 as root, else the current user).
unsigned NeprivilegovanyUid();
unsigned NeprivilegovanaGid();

// The helper program's file as every user can run it (a copy readable by all, as root).
std::string CestaPomocnika();

// The words that run a program after them as that user (setpriv as root, none otherwise).
std::vector<std::string> JakoNeprivilegovany();

// Runs the helper unprivileged, or as the current user (stdin from /dev/null, as cron).
VysledekPomocnika SpustitNeprivilegovane(const std::vector<std::string>& argumenty,
                                         const std::vector<std::string>& prostredi = {});
VysledekPomocnika SpustitPomocnika(const std::vector<std::string>& argumenty,
                                   const std::vector<std::string>& prostredi = {});

// Gives the unprivileged user ownership of a path (no-op when not root).
void PredatNeprivilegovanemu(const std::string& cesta);

// A user of the machine with a home folder of its own (made for root's tests when missing,
// with /var/tmp/<name> as its home), such as owns a profile that root's run hands to a
// process of its owner. Nothing when not root. Without a name, each test has a user of its
// own ("zevlon-t" and a hash of the test's name): an owner's process takes its user's run
// lock, and tests running at the same time must not find each other's.
struct UzivatelSDomovem {
  unsigned uid = 0, gid = 0;
  std::string jmeno, domov;
};
std::optional<UzivatelSDomovem> VlastnikProfilu(std::string jmeno = "");
// Gives a path and everything below it to that user (links themselves, never followed).
void PredatVlastnikovi(const UzivatelSDomovem& u, const std::string& cesta);

// The processes of that user (real uid) that run this program file, such as the process
// that root's run started for a profile's owner.
std::vector<pid_t> ProcesyProgramu(const std::string& program, unsigned uid);

}  // namespace zevlon::test
