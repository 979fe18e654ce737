// What the readers and writers of minisign's files share: base64 of exact lengths,
// lines with CRLF tolerated, comment lines, and the wiping of secret bytes.
#pragma once

#include <sodium.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zevlon::podpis::detail {

inline constexpr std::string_view kNeduveryhodny = "untrusted comment: ";
inline constexpr std::string_view kDuveryhodny = "trusted comment: ";
// minisign's own bounds: the untrusted comment line, the trusted comment's text.
inline constexpr std::size_t kNejdelsiKomentar = 1024;
inline constexpr std::size_t kNejdelsiDuveryhodny = 8192;

inline constexpr std::array<std::uint8_t, 2> kAlgoritmus{'E', 'd'};
inline constexpr std::array<std::uint8_t, 2> kAlgoritmusHash{'E', 'D'};

// libsodium initialised (once, whichever thread comes first); raises the error when it
// cannot be.
void InicializovatSodium();

std::string Base64(std::span<const std::uint8_t> bajty);

// Decodes padded base64 of the original alphabet into exactly cil.size() bytes; false
// for anything else (another length, a stray character, bits left in the padding).
bool ZBase64(std::string_view text, std::span<std::uint8_t> cil);

// The lines of a text split at "\n", each without a final "\r"; the empty lines at the
// end (a final line end or more) are dropped.
std::vector<std::string_view> Radky(std::string_view text);

// Whether the line is minisign's untrusted comment within its bound.
bool JeNeduveryhodnyKomentar(std::string_view radek);

// Bytes of secret material, wiped when they go.
template <std::size_t N>
struct TajneBajty {
  std::array<std::uint8_t, N> b{};
  TajneBajty() = default;
  TajneBajty(const TajneBajty&) = delete;
  TajneBajty& operator=(const TajneBajty&) = delete;
  ~TajneBajty() { sodium_memzero(b.data(), b.size()); }
};

}  // namespace zevlon::podpis::detail
