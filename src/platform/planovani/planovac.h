// The scheduling room of the platform floor: the scheduler interface and root's cron
// files (planovac.h), root's systemd timers (planovac_systemd.h), and other users' own
// crontabs (planovac_uzivatele.h).
//
// The job scheduler: add a job from its record and delete jobs by number, with the
// statuses of the platform's network scheduler (0 success, 3806 no such job). For root
// a job is one file in a cron directory ("/etc/cron.d" unless another is given), named
// "zevlon-" + its number; for any other user, whom only their own crontab serves, it is
// one marked line of that crontab (planovac_uzivatele.h). The number is the lowest free
// one from 1. One process-wide instance; tests install one of their own.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/soubory/souborovy_system.h"

namespace zevlon {

// The job record: when and what to run.
struct ZaznamUlohy {
  std::uint32_t JobTime = 0;      // milliseconds after midnight
  std::uint32_t DaysOfMonth = 0;  // bit 0 day 1 ... bit 30 day 31
  std::uint8_t DaysOfWeek = 0;    // bit 0 Monday ... bit 6 Sunday
  std::uint8_t Flags = 0;         // kUlohaOpakovana, kUlohaNeinteraktivni
  std::string Command;            // a command line; the program may stand in "..."
};

inline constexpr std::uint8_t kUlohaOpakovana = 0x01;       // repeats on every chosen day
inline constexpr std::uint8_t kUlohaNeinteraktivni = 0x10;  // no desktop

// Statuses.
inline constexpr std::uint32_t kPlanovacOk = 0;
inline constexpr std::uint32_t kPlanovacCestaNenalezena = 3;  // no cron directory
inline constexpr std::uint32_t kPlanovacPristupOdepren = 5;
inline constexpr std::uint32_t kPlanovacNeplatnyParametr = 87;
inline constexpr std::uint32_t kPlanovacSelhani = 31;  // any other failure of the file system
inline constexpr std::uint32_t kUlohaNenalezena = 3806;

inline constexpr const char* kVychoziSlozkaCron = "/etc/cron.d";
inline constexpr const char* kPredponaUlohy = "zevlon-";
inline constexpr const char* kNelzeVyjadrit =
    "Čas, den nebo příkaz úlohy nelze zapsat jako úlohu cronu.";

class Planovac {
 public:
  explicit Planovac(std::string slozka = kVychoziSlozkaCron) : slozka_(std::move(slozka)) {}
  virtual ~Planovac() = default;

  // Registers the job on the computer (only this one is served; the name is
  // accepted as it comes); answers a status and, on success, the job's number.
  virtual std::uint32_t PridatUlohu(const std::string& pocitac, const ZaznamUlohy& zaznam,
                                    std::uint32_t& cislo);
  // Deletes every job numbered from od to do_ (both included); 3806 when there is
  // none.
  virtual std::uint32_t SmazatUlohy(const std::string& pocitac, std::uint32_t od,
                                    std::uint32_t do_);

  const std::string& Slozka() const { return slozka_; }
  // Why the last addition or deletion failed, as a Czech sentence for the user; empty
  // after a success.
  const std::string& PosledniChyba() const { return posledniChyba_; }

 protected:
  std::string posledniChyba_;

  // Keeps the reason of a failed call on cesta and answers its status.
  std::uint32_t Selhani(int chyba, const std::string& cesta, ss::Druh druh = ss::Druh::kSoubor);

 private:
  std::string slozka_;
};

// The cron.d line ("m h dom mon dow user command") of a record, run as root; false
// for a record that cannot be expressed (a time outside the day, a day outside the
// month or week, a command that is empty or holds a line break or NUL). A job that
// does not repeat removes its own file (souborUlohy) after its run. With an empty
// uzivatel the user field is left out, as a user's own crontab wants it.
bool RadekCron(const ZaznamUlohy& zaznam, const std::string& souborUlohy, std::string& radek,
               const std::string& uzivatel = "root");

// The job number in a file name "zevlon-<n>" (n from 1, no leading zeros), or 0.
std::uint32_t CisloZeJmena(std::string_view jmeno);

// The numbers of the jobs in the folder; false (and errno in chyba) when the folder
// cannot be read.
bool CislaUloh(const std::string& slozka, std::set<std::uint32_t>& cisla, int& chyba);

// The items of a command line: a part in double quotes is one item, blanks separate
// the others.
std::vector<std::string> PolozkyPrikazu(const std::string& prikaz);

// Whether a record repeats on the days it names (with no day it runs once).
bool JeOpakovana(const ZaznamUlohy& zaznam);

// A text quoted for sh inside a cron line: in single quotes (a quote inside written
// as '\''), "%" escaped as "\%" because cron would otherwise end the command there.
std::string CitovatProCron(const std::string& text);

// The scheduler of the process: the cron directory for root, the user's own crontab for
// anyone else.
Planovac& planovac();
// Installs another scheduler for the process (nullptr restores the default); the
// caller keeps ownership.
void NastavitPlanovac(Planovac* p);

}  // namespace zevlon
