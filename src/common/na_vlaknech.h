// Work shared among a few threads of the process.
#pragma once

#include <functional>

namespace zevlon {

// Runs `prace` on the calling thread and on up to `nejvic` - 1 more (fewer where the machine
// has fewer processors or no thread can be had), and returns once every one has returned.
// `prace` takes its pieces of work from a shared counter and must not throw.
void NaVlaknech(unsigned nejvic, const std::function<void()>& prace);

}  // namespace zevlon
