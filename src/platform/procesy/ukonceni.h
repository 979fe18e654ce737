// A request to stop the run from outside: SIGTERM (how systemd, kill and shutdown ask) and
// SIGINT where nothing else handles it (the terminal's face takes Ctrl+C itself). The
// handler only notes the request; the run looks at it wherever it waits, ends its
// transfers and stops as Storno stops it.
#pragma once

namespace zevlon {

inline constexpr const char* kTextPreruseno = "Aktualizace byla přerušena.";

// Installs the handlers (once per process; SIGINT only while its action is the default).
void ZachytavatUkonceni();

// Whether a stop was asked since the handlers were installed.
bool UkonceniVyzadano();

}  // namespace zevlon
