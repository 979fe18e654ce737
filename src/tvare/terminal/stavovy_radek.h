// The terminal's status line: one line of the meter, the subheading and the message, as
// wide as the terminal allows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zevlon {

// One line: every control character (line breaks included) becomes a blank.
std::string JedenRadek(std::string_view text);

// The status line for a report: the meter in percent (when it is shown), the subheading
// and the message, at most sirka - 1 characters (the last column stays free so the
// terminal never wraps). A line too wide drops the subheading, then the rate of a file
// being downloaded, then its time left; only then the message is cut from its start
// ("…"), first down to its last word (the file's name), then into it. The sizes stay.
std::string StavovyRadek(std::string_view podnadpis, std::string_view zprava, bool metr,
                         std::int32_t hotovo, std::int32_t celkem, int sirka);

}  // namespace zevlon
