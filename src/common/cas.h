// Time helpers. File times are UTC seconds since 1970 (whole seconds, as the
// snapshots keep them); time stamps for names and logs are in local time.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zevlon {

using UtcCas = std::int64_t;  // seconds since 1970-01-01 00:00:00 UTC
using Okamzik = std::chrono::system_clock::time_point;

// Local date and time as "YYYYMMDDHHNNSS" (14 digits).
std::string MistniRazitko14(Okamzik t);

// Local date and time in ISO 8601 with the zone's offset: "2026-12-07T13:30:07+01:00".
std::string MistniCasIso(Okamzik t);

// Local date and time as the logs write it: "dd.MM.yyyy H:mm:ss".
std::string MistniRazitkoLogu(Okamzik t);

// UTC calendar form "YYYY-MM-dd hh:mm:ss" of a file time.
std::string FormatUtc(UtcCas t);

// Reads "YYYY-MM-dd hh:mm:ss" (also with "T" or several blanks between date and
// time, or a date alone) as a UTC time; no value for anything else.
std::optional<UtcCas> ParsovatUtc(std::string_view text);

// Reads MistniCasIso's form ("2026-12-07T13:30:07+01:00", or with "Z") as a UTC time;
// no value for anything else.
std::optional<UtcCas> ParsovatCasIso(std::string_view text);

// A span of the day from one minute to another ("HH:MM-HH:MM", the end not in it); one
// whose end comes before its start crosses midnight.
struct UsekDne {
  int od = 0, po = 0;  // minutes since midnight
  bool Obsahuje(int minutaDne) const {
    return od < po ? minutaDne >= od && minutaDne < po : minutaDne >= od || minutaDne < po;
  }
};
// "H:MM-H:MM" (hours 0 to 23, either end with one or two digits); nothing for anything
// else or a span of no length.
std::optional<UsekDne> CistUsekDne(std::string_view text);

// Days since 1970-01-01 of a calendar date; months and days outside their range
// carry over (month 13 is January of the next year).
std::int64_t DnyOdEpochy(std::int64_t rok, std::int64_t mesic, std::int64_t den);

}  // namespace zevlon
