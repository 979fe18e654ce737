// One client connection of the site server: request after request until the client
// closes it, asks to, goes silent for the idle time or the server stops.
#pragma once

#include <atomic>

#include "platform/soubory/soubor.h"
#include "tools/publikace/server.h"

namespace zevlon::publikace {

// Serves the connection (a non-blocking socket) and closes it. Notices `konec` within
// a tenth of a second whatever the client does, and `tlak` (another client waits for a
// place) as soon as it is idle between requests, and then closes.
void ObslouzitSpojeni(const NastaveniServeru& n, Popisovac spojeni, const std::atomic<bool>& konec,
                      const std::atomic<bool>& tlak);

}  // namespace zevlon::publikace
