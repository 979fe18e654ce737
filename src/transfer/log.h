// The two plain-text logs in the program's folder (or the user's state folder):
// "online_errors.log" (errors that the classes and the zip layer catch, and the
// unattended run's failures) and "Zevlon.log" (files the update server could not
// transfer). One line per event, fields separated by TAB, each line opened, appended
// and closed on its own.
#pragma once

#include <cstdint>
#include <string>

namespace zevlon {

inline constexpr const char* kChybovyLog = "online_errors.log";
inline constexpr const char* kPrenosovyLog = "Zevlon.log";

// Program folder + "/" + name of the log; where the process may not write into the
// program folder, the user's state folder (Platforma::SlozkaStavu) when there is one.
std::string CestaLogu(const char* jmeno);

// The local date and time as the logs write it.
std::string CasovaZnackaLogu();

// Appends text and CR LF to the file (creating it), in one write so that
// concurrent writers never interleave parts of lines. Failures are ignored.
void PripsatRadek(const std::string& soubor, const std::string& text);

// Appends the run's own line "time TAB text TAB item" to the error log.
void ZapsatChybuBehu(const std::string& text, const std::string& polozka);

// Appends "time TAB source TAB number TAB description" to the error log, then raises
// the error again with the same number, description and source.
[[noreturn]] void ZalogovatChybu(std::int32_t cislo, const std::string& popis,
                                 const std::string& zdroj);

// Runs f; any error that escapes it is logged under `zdroj` and raised again.
template <typename F>
decltype(auto) SLogovanim(const std::string& zdroj, F&& f);

}  // namespace zevlon

#include "common/chyba.h"

namespace zevlon {

template <typename F>
decltype(auto) SLogovanim(const std::string& zdroj, F&& f) {
  try {
    return f();
  } catch (const Chyba& c) {
    ZalogovatChybu(c.Cislo(), c.Popis(), zdroj);
  } catch (const std::exception& e) {
    Chyba c = JakoChyba(e);
    ZalogovatChybu(c.Cislo(), c.Popis(), zdroj);
  }
}

}  // namespace zevlon
