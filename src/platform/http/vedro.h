// The bound of a run's transfers together: a token bucket that fills at the bound and holds
// at most a tenth of a second of it. A transfer takes what it received from it while it is
// not empty (it may go below zero by that much, paid back before the next one); one that
// finds it empty waits until it fills again.
#pragma once

#include <chrono>
#include <cstdint>

namespace zevlon {

class Vedro {
 public:
  using Hodiny = std::chrono::steady_clock;

  // The bytes a bucket of the bound holds at most.
  static std::int64_t Objem(std::int64_t bajtuZaSekundu) { return bajtuZaSekundu / 10; }

  // The bound in bytes per second, 0 for none; a new bound starts with a full bucket.
  void Nastavit(std::int64_t bajtuZaSekundu, Hodiny::time_point ted);
  std::int64_t Rychlost() const { return rychlost_; }

  // Takes `bajtu` when the bucket holds anything (always without a bound); false: wait.
  bool Vzit(std::int64_t bajtu, Hodiny::time_point ted);
  // How long until it holds something again (0 when it does).
  std::chrono::milliseconds Cekani(Hodiny::time_point ted);
  // Whether it made a transfer wait within the last second.
  bool Zdrzuje(Hodiny::time_point ted) const;

 private:
  void Doplnit(Hodiny::time_point ted);

  std::int64_t rychlost_ = 0;
  double tokeny_ = 0;
  Hodiny::time_point naposled_{}, zdrzelo_{};
};

}  // namespace zevlon
