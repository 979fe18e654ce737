#include "common/na_vlaknech.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace zevlon {

void NaVlaknech(unsigned nejvic, const std::function<void()>& prace) {
  const unsigned vlaken = std::clamp(std::thread::hardware_concurrency(), 1u, std::max(nejvic, 1u));
  std::vector<std::jthread> pomocnici;
  try {
    for (unsigned v = 1; v < vlaken; ++v)
      pomocnici.emplace_back(prace);
  } catch (const std::system_error&) {
    // No thread to be had: fewer do the work.
  }
  prace();
}  // the helpers are joined here

}  // namespace zevlon
