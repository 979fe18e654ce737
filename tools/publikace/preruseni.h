// Ctrl+C and SIGTERM in the publisher's commands: what the command made and has not
// finished is removed, and it ends with exit status 2, as the updater's stop does. The
// signals are taken by a thread of their own, which removes under the same lock that a
// step taking a folder into place holds, so a stop never cuts such a step in two. The
// folders a command works in carry the prefix kPrefixPrace and are locked while it lives:
// a later command removes those that no living command holds.
#pragma once

#include <atomic>
#include <functional>
#include <string>

namespace zevlon::publikace {

inline constexpr const char* kPrefixPrace = ".zevlon-vydat.";

// Blocks SIGINT and SIGTERM in the calling thread and in those it starts later, and starts
// the thread that takes them. Called first in main, before any other thread starts. With
// `konec`, a signal only sets it (a server, whose normal end it is).
void HlidatPreruseni(std::atomic<bool>* konec = nullptr);

// Makes a new folder `slozka` + kPrefixPrace + a random end (mkdtemp, 0700), locked and
// removed with all below if the command is stopped before Dokoncit; "" when it cannot be
// made (errno says why).
std::string ZalozitPracovniSlozku(const std::string& slozka);

// A path the command will make (a folder of a lower layer): removed if it is stopped before
// Dokoncit.
void Zaznamenat(const std::string& cesta);

// The path is finished with: removed with all below when `smazat`, and no longer touched by
// a stop.
void Dokoncit(const std::string& cesta, bool smazat);

// Runs `krok` with stops held off until it returns.
void BezPreruseni(const std::function<void()>& krok);

// Removes the entries of `slozka` named with kPrefixPrace that this user owns and no
// living command holds: what a killed command left behind. Never follows a link.
void UklidititPozustatky(const std::string& slozka);

}  // namespace zevlon::publikace
