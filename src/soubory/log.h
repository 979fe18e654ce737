// The two plain-text logs in the program's folder (or the user's state folder):
// "online_errors.log" (errors that the classes and the zip layer catch, and every run's
// failures, attended or not) and "Zevlon.log" (files the update server could not
// transfer). One line per event, fields separated by TAB, each line opened, appended
// and closed on its own.
//
// A log is created 0640 in the program's folder and 0600 in the user's state folder, and
// is appended to only while it is a regular file of the process's user with one name
// (never through a symbolic or hard link someone laid there). No line carries the user
// name or password of an address.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace zevlon {

inline constexpr const char* kChybovyLog = "online_errors.log";
inline constexpr const char* kPrenosovyLog = "Zevlon.log";

// Program folder + "/" + name of the log; where the process may not write into the
// program folder, the user's state folder (Platforma::SlozkaStavu) when there is one.
std::string CestaLogu(const char* jmeno);

// The local date and time as the logs write it.
std::string CasovaZnackaLogu();

// Appends text and CR LF to the file (creating it with the given permissions), in one
// write so that concurrent writers never interleave parts of lines. A file that is not
// a regular file of the process's user with a single name is left alone, and addresses
// in the text lose their user name and password. Failures are ignored.
void PripsatRadek(const std::string& soubor, const std::string& text, mode_t prava = 0640);

// The text as one record of a log: each line break inside it becomes " – " (none is left
// at its end) and an HTTP status ("http error: 404 Not Found") is said in Czech ("server
// odpověděl 404 (nenalezeno)"). Message boxes and the terminal keep the text as it is.
std::string RadekLogu(std::string_view text);

// Appends "time TAB text" to the log of that name in its place (CestaLogu), as one record
// (RadekLogu).
void ZapsatDoLogu(const char* jmeno, const std::string& text);

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
