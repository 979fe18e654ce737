// The process that renews a profile for its owner, started by a run as root (vlastnik.h)
// with the internal option kVolbaZaVlastnika. It opens no window and reads no terminal:
// its reports and questions go to root's run over the channel, its log lines too. It
// takes the owner's own run lock, verifies the release information it was handed with
// the keys it was handed, and carries out the install step in a private folder of the
// owner's; it never replaces the updater (root decided that before it started this).
#pragma once

#include <string>
#include <vector>

#include "beh/beh.h"

namespace zevlon {

// Runs the install step for the owner; `argumenty` are those after the internal option
// (whether the run is unattended, whether nobody can be asked). Answers the exit status;
// the outcome itself goes to root over the channel.
// With kOdhadZaVlastnika after them, `odhad` runs in place of `instalace`: it finds what an
// update would renew and changes nothing; with kNavratZaVlastnika, `navrat` goes back from
// the last update.
int MainZaVlastnika(const std::vector<std::string>& argumenty, const AktualizaceSetup& instalace,
                    const AktualizaceSetup& odhad, const AktualizaceSetup& navrat);

}  // namespace zevlon
