// `Zevlon --kontrola`: checks a set-up before anyone trusts it, as `nginx -t` does. It
// names every unknown or unusable option, finds the installation and the profile and who
// would renew it, fetches and verifies the release information, and lists which folders
// an update would renew with how many files and bytes, all without changing anything:
// no installation, option, log, record or state file (the snapshots it fetches lie in a
// folder of its own in the private temp folder, removed at its end).
#pragma once

#include <cstdio>

namespace zevlon {

// Writes the findings to `out`; answers 0 when an update would succeed or there is
// nothing to do, 1 when something stands in its way (each reason said as "Chyba: ...").
int Kontrola(std::FILE* out);

}  // namespace zevlon
