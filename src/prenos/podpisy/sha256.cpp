#include "prenos/podpisy/sha256.h"

#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/soubor.h"

namespace zevlon {

namespace {

std::string Hex(const unsigned char (&h)[crypto_hash_sha256_BYTES]) {
  static constexpr char kCislice[] = "0123456789abcdef";
  std::string text;
  text.reserve(kDelkaSha256);
  for (unsigned char b : h) {
    text += kCislice[b >> 4];
    text += kCislice[b & 15];
  }
  return text;
}

}  // namespace

std::string Sha256(std::string_view bajty) {
  unsigned char h[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(h, reinterpret_cast<const unsigned char*>(bajty.data()), bajty.size());
  return Hex(h);
}

std::optional<std::string> Sha256Souboru(const std::string& cesta) {
  Popisovac fd(::open(cesta.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.Platny()) return std::nullopt;
  return Sha256Popisovace(fd.Fd());
}

std::optional<std::string> Sha256Popisovace(int fd, std::int64_t* bajtu) {
  crypto_hash_sha256_state stav;
  crypto_hash_sha256_init(&stav);
  std::vector<unsigned char> blok(std::size_t{1} << 18);
  for (off_t kde = 0;;) {
    const ssize_t n = ::pread(fd, blok.data(), blok.size(), kde);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    crypto_hash_sha256_update(&stav, blok.data(), static_cast<unsigned long long>(n));
    kde += n;
    if (bajtu) *bajtu += n;
  }
  unsigned char h[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(&stav, h);
  return Hex(h);
}

bool JeSha256(std::string_view text) {
  return text.size() == kDelkaSha256 &&
         text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

}  // namespace zevlon
