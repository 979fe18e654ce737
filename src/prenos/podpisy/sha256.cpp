#include "prenos/podpisy/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>

#include "platform/soubory/soubor.h"

namespace zevlon {

namespace {

// OpenSSL's SHA-256 uses the processor's SHA extensions where it has them: several times
// the pace of a portable implementation, which matters when an installation is read whole.
constexpr unsigned kBajtuSouctu = 32;

struct UvolnitKontext {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using Kontext = std::unique_ptr<EVP_MD_CTX, UvolnitKontext>;

struct UvolnitAlgoritmus {
  void operator()(EVP_MD* m) const { EVP_MD_free(m); }
};

// The algorithm is looked up once: a lookup per file would cost more than hashing a small
// one.
const EVP_MD* Algoritmus() {
  static const std::unique_ptr<EVP_MD, UvolnitAlgoritmus> md(
      EVP_MD_fetch(nullptr, "SHA256", nullptr));
  return md.get();
}

std::string Hex(const unsigned char (&h)[kBajtuSouctu]) {
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
  unsigned char h[kBajtuSouctu];
  unsigned delka = 0;
  if (!Algoritmus() || !EVP_Digest(bajty.data(), bajty.size(), h, &delka, Algoritmus(), nullptr) ||
      delka != kBajtuSouctu)
    throw std::bad_alloc();
  return Hex(h);
}

std::optional<std::string> Sha256Souboru(const std::string& cesta) {
  Popisovac fd(::open(cesta.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.Platny()) return std::nullopt;
  return Sha256Popisovace(fd.Fd());
}

std::optional<std::string> Sha256Popisovace(int fd, std::int64_t* bajtu) {
  Kontext kontext(EVP_MD_CTX_new());
  if (!kontext || !Algoritmus() || !EVP_DigestInit_ex(kontext.get(), Algoritmus(), nullptr))
    throw std::bad_alloc();
  // Not zeroed: most files are far smaller than the block, and it is only ever read where
  // pread filled it.
  constexpr std::size_t kBlok = std::size_t{1} << 18;
  const auto blok = std::make_unique_for_overwrite<unsigned char[]>(kBlok);
  for (off_t kde = 0;;) {
    const ssize_t n = ::pread(fd, blok.get(), kBlok, kde);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    if (!EVP_DigestUpdate(kontext.get(), blok.get(), static_cast<std::size_t>(n)))
      throw std::bad_alloc();
    kde += n;
    if (bajtu) *bajtu += n;
  }
  unsigned char h[kBajtuSouctu];
  unsigned delka = 0;
  if (!EVP_DigestFinal_ex(kontext.get(), h, &delka) || delka != kBajtuSouctu)
    throw std::bad_alloc();
  return Hex(h);
}

bool JeSha256(std::string_view text) {
  // Asked of every line of a snapshot and a record, several times per file: one pass, no
  // search of the digit set per character.
  if (text.size() != kDelkaSha256) return false;
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace zevlon
