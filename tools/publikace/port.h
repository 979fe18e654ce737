// Port numbers given as text, on the command line or in a manifest.
#pragma once

#include <optional>
#include <string_view>

namespace zevlon::publikace {

// Decimal digits only, 0 to 65535 (surrounding blanks are not part of it); anything else
// has no value.
inline std::optional<int> PortZTextu(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n > 65535) return std::nullopt;
  return n;
}

}  // namespace zevlon::publikace
