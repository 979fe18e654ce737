// The updater's options file beside the program (Zevlon.ini) and the update site it
// names.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>

namespace zevlon {

inline constexpr const char* kVychoziAdresaWebu =
    "http://aktualizace.dunmor.invalid/aktualizace-online/";
// The name under which an updater starts the new one it downloaded.
inline constexpr const char* kNovyZevlon = "ZevlonNew";

// The options file beside the program: its folder + "/" + its name + ".ini"; the new
// updater reads the options of the program whose place it takes (Zevlon.ini).
std::string CestaVolebIni();

// The update site's base address (ending in "/"): "Adresa" of section "Server" of
// the options file, else the built-in default.
std::string AdresaWebu();

// "NahodneZpozdeni" of section "Server": the scheduled run waits a random time of up to
// these many minutes before it starts (0 to kMaxNahodnehoZpozdeni, default 30), so that
// the machines of an office do not all call the site at one minute.
inline constexpr const char* kKlicNahodnehoZpozdeni = "NahodneZpozdeni";
inline constexpr int kVychoziNahodneZpozdeni = 30;
inline constexpr int kMaxNahodnehoZpozdeni = 1440;
// The minutes the options give, the default for a value that is missing or no whole number
// within the bounds.
int NahodneZpozdeni();
// The program's option that waits that random time first: "--zpozdeni N".
inline constexpr const char* kVolbaZpozdeni = "--zpozdeni";

// The values of the schedule in section "Nastaveni": "Cetnost" and, for a weekly run, the
// weekday of "Den" (a monthly run's "Den" is "1." to "28.").
inline constexpr const char* kCetnostDenne = "Denně";
inline constexpr const char* kCetnostTydne = "Týdně";
inline constexpr const char* kCetnostMesicne = "Měsíčně";
inline constexpr std::array<const char*, 7> kDnyTydne = {"Pondělí", "Úterý",  "Středa", "Čtvrtek",
                                                         "Pátek",   "Sobota", "Neděle"};

// Hour and minute of a text "H:MM" or "HH:MM" (":SS" may follow), whatever their
// size; no value for any other text.
std::optional<std::pair<int, int>> PrecistCas(const std::string& cas);

// Whether an hour text names a time of the day: "H:MM" or "HH:MM" (":SS" may
// follow), below 24:00.
bool JeCasDne(const std::string& cas);

}  // namespace zevlon
