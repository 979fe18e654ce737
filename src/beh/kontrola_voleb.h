// A look over the options file for what the program does not know: a section or key
// written wrongly would otherwise be passed over in silence (a mistyped key of the
// publisher's key leaves releases unverified), so every unknown one is named, with the
// known name it most probably meant.
#pragma once

#include <string>
#include <vector>

namespace zevlon {

// One key of the options file, and whether it reaches the process that renews a profile
// for its owner: that process is handed only the keys that its own code reads.
struct ZnamyKlic {
  const char* nazev;
  bool proVlastnika;
};

struct ZnamaSekce {
  const char* nazev;
  std::vector<ZnamyKlic> klice;
};

// Everything any part of the program reads from the options file or writes into it: the
// help, the manual pages and README name exactly these keys.
const std::vector<ZnamaSekce>& ZnameSekce();

// The unknown sections and keys of the options file, one Czech sentence each, in file
// order; none when the file is missing or all is known.
std::vector<std::string> NeznameVolby(const std::string& soubor);

// A value the program cannot use, one Czech sentence, with what the run does about it: the value it
// takes instead (`nahrada`, said as "běh pokračuje s výchozí hodnotou <nahrada>", or a whole clause
// in `pokracovani`), or nothing (the run stops).
struct NepouzitelnaHodnota {
  std::string zprava;
  std::string nahrada;      // the default the run takes instead
  std::string pokracovani;  // or what else the run does; both empty: the run stops
  bool ZastaviBeh() const { return nahrada.empty() && pokracovani.empty(); }
};

// The values of the options file that the program cannot use: an address that is no
// absolute http, https or ftp address, a key that is no minisign public key, a number out
// of its range, a switch other than 0 or 1, a data folder that is no absolute path, a
// time, frequency or day the schedule does not know. A missing value is none of these (its
// default holds).
std::vector<NepouzitelnaHodnota> NepouzitelneHodnoty(const std::string& soubor);

// What of the options file `soubor` the process that renews a profile for its owner is
// handed: the known keys that its own code reads, each as the program reads it, in a file
// of its own (UTF-8, CR LF); nothing of the rest.
std::string VolbyProVlastnika(const std::string& soubor);

// Names each unknown section or key of the run's options file in Zevlon.log and on
// the standard error output (which cron mails to the administrator).
void OznamitNeznameVolby();

// A scheduled run of the packaged program as root installs nothing unverified: with no
// publisher's key configured it raises an error that says so, unless "BezOvereni=1" in
// section "Server" records that the administrator accepts unverified releases.
// With `jakoNaplanovany`, root's process checks as the scheduled run would.
void OveritPovinnyKlic(bool jakoNaplanovany = false);

}  // namespace zevlon
