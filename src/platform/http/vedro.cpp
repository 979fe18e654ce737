#include "platform/http/vedro.h"

#include <algorithm>
#include <cmath>

namespace zevlon {

void Vedro::Nastavit(std::int64_t bajtuZaSekundu, Hodiny::time_point ted) {
  if (bajtuZaSekundu == rychlost_) return;
  rychlost_ = std::max<std::int64_t>(bajtuZaSekundu, 0);
  tokeny_ = static_cast<double>(Objem(rychlost_));
  naposled_ = ted;
}

void Vedro::Doplnit(Hodiny::time_point ted) {
  const double sekund = std::chrono::duration<double>(ted - naposled_).count();
  naposled_ = ted;
  if (sekund > 0)
    tokeny_ = std::min(tokeny_ + sekund * static_cast<double>(rychlost_),
                       static_cast<double>(Objem(rychlost_)));
}

bool Vedro::Vzit(std::int64_t bajtu, Hodiny::time_point ted) {
  if (rychlost_ <= 0) return true;
  Doplnit(ted);
  if (tokeny_ <= 0) {
    zdrzelo_ = ted;
    return false;
  }
  tokeny_ -= static_cast<double>(bajtu);
  return true;
}

std::chrono::milliseconds Vedro::Cekani(Hodiny::time_point ted) {
  if (rychlost_ <= 0) return std::chrono::milliseconds(0);
  Doplnit(ted);
  if (tokeny_ > 0) return std::chrono::milliseconds(0);
  return std::chrono::milliseconds(
      static_cast<std::int64_t>(std::ceil(-tokeny_ * 1000 / static_cast<double>(rychlost_))) + 1);
}

bool Vedro::Zdrzuje(Hodiny::time_point ted) const {
  return rychlost_ > 0 && zdrzelo_ != Hodiny::time_point{} &&
         ted - zdrzelo_ < std::chrono::seconds(1);
}

}  // namespace zevlon
