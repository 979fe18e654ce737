#include "beh/zpozdeni.h"

#include <chrono>
#include <random>

#include "platform/nahrady/platforma.h"

namespace zevlon {

void PockatNahodne(int minut) {
  if (minut <= 0) return;
  std::random_device zdroj;
  std::uniform_int_distribution<long> sekund(0, 60L * minut);
  const auto konec = platforma().Monotonni() + std::chrono::seconds(sekund(zdroj));
  while (platforma().Monotonni() < konec)
    platforma().Uspat(std::chrono::milliseconds(1000));
}

}  // namespace zevlon
