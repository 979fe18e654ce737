// What monitoring reads of the runs besides the state file: a file per profile for
// node_exporter's textfile collector, and a one-line check as Nagios plugins answer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "beh/zaznam_behu.h"
#include "common/cas.h"

namespace zevlon {

// "SlozkaMetrik" in section "Server": the folder of the metrics files instead of the state
// file's; it must be root's alone (as node_exporter's textfile folder of the distributions is).
inline constexpr const char* kKlicSlozkyMetrik = "SlozkaMetrik";

// "zevlon-<the first 8 hex digits of the SHA-256 of the profile's folder>.prom".
std::string JmenoSouboruMetrik(const std::string& profil);

// The metrics of the run in the text format of Prometheus, each with its HELP and TYPE and
// the label "profil"; `posledniUspech` is the end of the profile's last successful run,
// this one's when it succeeded (kVysledky's column).
std::string TextMetrik(const ZaznamBehu& z, std::optional<UtcCas> posledniUspech);

// Writes the metrics file of the run's profile (the profile of the options' SlozkaDat where
// the run chose none; nothing without either) under a temporary name that does not end in
// ".prom", then renamed (0644); the last success comes over from the file it replaces.
// A folder that cannot be written is said in online_errors.log and fails nothing.
void ZapsatMetriky(const ZaznamBehu& z);

// `zevlon --stav --nagios`: one line "ZEVLON OK|WARNING|CRITICAL|UNKNOWN - text |
// stari=<s>s;<w>;<c>" and its status 0 to 3, by the age of the last success against the
// thresholds (seconds) and the last run's outcome: no state is UNKNOWN, never a success
// CRITICAL, a failed last run at least WARNING.
struct PrahyNagios {
  std::int64_t varovani = 48 * 3600, kriticke = 168 * 3600;
};
int StavNagios(const PrahyNagios& prahy, std::FILE* out);

}  // namespace zevlon
