// Operations on single files: copy, delete (by name or by a wildcard pattern) and
// the attribute word. A failure becomes a Czech sentence naming the file and the
// reason; with askRetry the user is asked whether to try again, and without a retry
// the operation raises an error with the failure's code (53, 70, 76 or another) and
// that sentence.
#pragma once

#include <cstdint>
#include <string>

#include "platform/soubory/souborovy_system.h"

namespace zevlon {

// Copies one file over the target (which is replaced whole or not at all); the copy
// keeps the source's modification time.
void KopirovatSoubor(const std::string& zdroj, const std::string& cil, bool askRetry);

// Moves a file to a target that does not exist yet, by one rename where that can be done
// (the same file system); otherwise, or when the target exists, it is copied over the
// target (KopirovatSoubor) and then deleted (SmazatSoubor), with their questions and errors.
void PresunoutSoubor(const std::string& zdroj, const std::string& cil, bool askRetry);

// The same two into a folder held open (ss::CilVeSlozce), with the same questions and errors.
void KopirovatSouborDo(const std::string& zdroj, const ss::CilVeSlozce& cil, bool askRetry);
// The same from an open file, with the given time (ss::ZkopirovatOtevrenyDo); false, with
// nothing placed, when the source was written to while it was read.
bool KopirovatOtevrenyDo(int vstup, const struct stat& zs, const std::string& zdroj,
                         const ss::CilVeSlozce& cil, std::optional<UtcCas> cas, bool askRetry);
void PresunoutSouborDo(const std::string& zdroj, const ss::CilVeSlozce& cil, bool askRetry);

// Deletes a file, first clearing its hidden, read-only and system attributes; or,
// when the last component holds "*" or "?", every file of that folder whose name
// matches the pattern without regard to letter case (attributes left alone). A
// pattern that matches nothing fails with code 53.
void SmazatSoubor(const std::string& cesta, bool askRetry);

// Sets the attribute word (atribut::...) of a file; raises on failure.
void NastavitAtributy(const std::string& cesta, std::uint32_t atributy);
// Reads it; raises on failure.
std::uint32_t CistAtributy(const std::string& cesta);

}  // namespace zevlon
