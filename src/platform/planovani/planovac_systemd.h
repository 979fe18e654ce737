// Root's scheduler where systemd runs the machine: each job is a timer and a service,
// "zevlon-<n>.timer" and "zevlon-<n>.service" in the unit folder, so that the runs spread
// over a random delay (RandomizedDelaySec, from the job's "--zpozdeni N") and a machine
// that was off at the time catches up after boot (Persistent=true). Numbers are shared
// with the cron jobs of the cron folder, whose job for the same schedule goes when the
// timer is made; removing a job disables and removes both units and any cron job of the
// number. A job that runs once stays a cron job.
#pragma once

#include <cstdint>
#include <string>

#include "platform/planovani/planovac.h"

namespace zevlon {

inline constexpr const char* kSlozkaJednotek = "/etc/systemd/system";
// Present while systemd runs the machine.
inline constexpr const char* kZnakSystemd = "/run/systemd/system";

class PlanovacSystemd : public Planovac {
 public:
  // systemctl: the program that reloads, enables and disables the units.
  explicit PlanovacSystemd(std::string slozkaJednotek = kSlozkaJednotek,
                           std::string slozkaCron = kVychoziSlozkaCron,
                           std::string systemctl = "/usr/bin/systemctl")
      : Planovac(std::move(slozkaCron)),
        jednotky_(std::move(slozkaJednotek)),
        systemctl_(std::move(systemctl)) {}

  std::uint32_t PridatUlohu(const std::string& pocitac, const ZaznamUlohy& zaznam,
                            std::uint32_t& cislo) override;
  std::uint32_t SmazatUlohy(const std::string& pocitac, std::uint32_t od,
                            std::uint32_t do_) override;

 private:
  // Runs systemctl with the words; false, with its reason kept, when it fails.
  bool Systemctl(const std::vector<std::string>& slova);

  std::string jednotky_, systemctl_;
};

// The units of a repeating job as files hold them: the service, then the timer; false for
// a record they cannot express (as RadekCron).
bool JednotkySystemd(const ZaznamUlohy& zaznam, std::uint32_t cislo, std::string& sluzba,
                     std::string& casovac);

}  // namespace zevlon
