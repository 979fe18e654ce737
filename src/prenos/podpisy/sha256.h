// SHA-256 checksums as the update site writes them: 64 lowercase hex digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zevlon {

inline constexpr std::size_t kDelkaSha256 = 64;

// The SHA-256 of the bytes.
std::string Sha256(std::string_view bajty);

// The SHA-256 of a file's content, read through one descriptor opened without following
// a final symbolic link; nullopt when the file cannot be opened or read.
std::optional<std::string> Sha256Souboru(const std::string& cesta);

// The SHA-256 of an open file's content from its start, read without moving its offset;
// the bytes read are added to *bajtu when given. nullopt when it cannot be read.
std::optional<std::string> Sha256Popisovace(int fd, std::int64_t* bajtu = nullptr);

// Whether the text is a SHA-256 as written on the site (64 lowercase hex digits).
bool JeSha256(std::string_view text);

}  // namespace zevlon
