// The options of the updater asked at the prompt (Zevlon --moznosti at a terminal): the
// same questions as the options window, one after another, saved the same way.
#pragma once

#include "tvare/terminal/terminal.h"

namespace zevlon {

// Asks for the profile folder (from the list of profiles, or typed), automatic or
// manual updating and, for automatic, the time, the frequency and the day; then saves
// as the window's OK does. A refusal is shown and the questions come again with the
// answers given as defaults. Answers 0 when the options were saved, 2 when the user
// ended the questions (Ctrl+C, end of input) and nothing was saved.
int MoznostiNaTerminalu(TerminaloveRozhrani& ui);

}  // namespace zevlon
