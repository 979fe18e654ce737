// A look over the options file for what the program does not know: a section or key
// written wrongly would otherwise be passed over in silence (a mistyped key of the
// publisher's key leaves releases unverified), so every unknown one is named, with the
// known name it most probably meant.
#pragma once

#include <string>
#include <vector>

namespace zevlon {

// The unknown sections and keys of the options file, one Czech sentence each, in file
// order; none when the file is missing or all is known.
std::vector<std::string> NeznameVolby(const std::string& soubor);

// Names each unknown section or key of the run's options file in Zevlon.log and on
// the standard error output (which cron mails to the administrator).
void OznamitNeznameVolby();

// A scheduled run of the packaged program as root installs nothing unverified: with no
// publisher's key configured it raises an error that says so, unless "BezOvereni=1" in
// section "Server" records that the administrator accepts unverified releases.
void OveritPovinnyKlic();

}  // namespace zevlon
