// Per-file deltas in zstd's patch mode: a new file compressed against an earlier version of
// it (the base) taken as the window's prefix, and the new file rebuilt from a delta and the
// same base.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zevlon {

// Neither a base nor a result above this is ever patched (both are held in memory).
inline constexpr std::int64_t kMaxDelta = std::int64_t{1} << 30;

// The delta of `novy` against `zaklad` at level 19, the window raised to cover the larger of
// the two and long-distance matching on, as `zstd --patch-from` makes it; the frame carries
// the result's size. nullopt when either is above kMaxDelta or the library fails.
std::optional<std::string> VytvoritDeltu(std::string_view zaklad, std::string_view novy);

// The file rebuilt from `delta` against `zaklad`, which must be exactly `velikost` bytes: a
// single frame that names that size and asks no larger window than the two files need.
// nullopt, with the reason in *proc (Czech), for anything else; nothing beyond `velikost`
// bytes and the frame's own state is allocated.
std::optional<std::string> PouzitDeltu(std::string_view zaklad, std::string_view delta,
                                       std::int64_t velikost, std::string* proc = nullptr);

}  // namespace zevlon
