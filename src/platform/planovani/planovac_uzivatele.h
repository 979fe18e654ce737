// The scheduler of a user who is not root: the jobs are lines of the user's own crontab
// (read with "crontab -l", written whole with "crontab -"), and cron runs them as that
// user. Each job is one line that ends with the shell comment " # zevlon-" + its number;
// only such lines are ours, every other line of the user's crontab is kept as it is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/planovani/planovac.h"

namespace zevlon {

class PlanovacUzivatele : public Planovac {
 public:
  // crontab: the program that reads and writes the user's crontab (found on PATH when
  // it has no "/").
  explicit PlanovacUzivatele(std::string crontab = "crontab")
      : Planovac(""), crontab_(std::move(crontab)) {}

  // Only a job that repeats can be a crontab line; one that would run once answers 87.
  std::uint32_t PridatUlohu(const std::string& pocitac, const ZaznamUlohy& zaznam,
                            std::uint32_t& cislo) override;
  std::uint32_t SmazatUlohy(const std::string& pocitac, std::uint32_t od,
                            std::uint32_t do_) override;

 private:
  // The crontab's lines (none when the user has none); false, with the reason in
  // PosledniChyba(), when it cannot be read.
  bool Precist(std::vector<std::string>& radky);
  bool Zapsat(const std::vector<std::string>& radky);
  bool Nespusten(int chyba);  // the crontab program could not be started
  std::uint32_t Nelze(const std::string& co, const std::string& proc);

  std::string crontab_;
};

// The number of our job that a crontab line carries, 0 for a line that is not ours.
std::uint32_t CisloUlohyNaRadku(std::string_view radek);

}  // namespace zevlon
