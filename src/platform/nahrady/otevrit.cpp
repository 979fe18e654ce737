// Opening a document or an address with the desktop's usual program.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>

#include "platform/nahrady/platforma.h"

extern char** environ;

namespace zevlon {

namespace {

// A short shell hands the document to xdg-open in the background and ends at once:
// xdg-open then belongs to no one (no zombie is left behind) and runs in a session
// of its own; the shell answers 127 when there is no xdg-open to hand it to.
constexpr const char* kSkript =
    "command -v xdg-open >/dev/null 2>&1 || exit 127\n"
    "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &\n";

}  // namespace

bool Platforma::OtevritDokument(const std::string& dokument) {
  if (dokument.empty()) return false;
  std::string sh = "sh", c = "-c", skript = kSkript, jmeno = "zevlon-otevrit", d = dokument;
  char* argv[] = {sh.data(), c.data(), skript.data(), jmeno.data(), d.data(), nullptr};

  posix_spawnattr_t atributy;
  posix_spawnattr_init(&atributy);
  posix_spawnattr_setflags(&atributy, POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  int r = posix_spawn(&pid, "/bin/sh", nullptr, &atributy, argv, environ);
  posix_spawnattr_destroy(&atributy);
  if (r != 0) return false;
  int stav = 0;
  while (waitpid(pid, &stav, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(stav) && WEXITSTATUS(stav) == 0;
}

}  // namespace zevlon
