// What a run as root may trust. Root takes its program and its settings only from
// places that only root can change: the program file, the program's folder and the
// options file beside the program (CestaVolebIni) must belong to root and must not be
// writable by group or others. Either file may be missing; neither may be a link.
#pragma once

namespace zevlon {

// For a process running as root, raises an error naming the first place that fails
// these conditions; for any other user does nothing.
void OveritMistaRoota();

}  // namespace zevlon
