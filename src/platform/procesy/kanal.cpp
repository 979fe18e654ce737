#include "platform/procesy/kanal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/soubory/soubor.h"

namespace zevlon {

namespace {

// A message on the wire: its type, the count of fields, each field's length (four bytes,
// least significant first), then the fields one after another.
std::string Zakodovat(const ZpravaKanalu& z) {
  std::string b;
  b += z.typ;
  b += static_cast<char>(z.pole.size());
  for (const std::string& p : z.pole)
    for (int i = 0; i < 4; ++i)
      b += static_cast<char>((p.size() >> (8 * i)) & 0xff);
  for (const std::string& p : z.pole)
    b += p;
  return b;
}

std::optional<ZpravaKanalu> Dekodovat(const char* b, std::size_t n) {
  if (n < 2) return std::nullopt;
  ZpravaKanalu z;
  z.typ = b[0];
  const std::size_t pocet = static_cast<unsigned char>(b[1]);
  if (pocet > kMaxPoli || n < 2 + 4 * pocet) return std::nullopt;
  std::size_t pozice = 2 + 4 * pocet;
  for (std::size_t i = 0; i < pocet; ++i) {
    std::size_t delka = 0;
    for (int j = 0; j < 4; ++j)
      delka |= static_cast<std::size_t>(static_cast<unsigned char>(b[2 + 4 * i + j])) << (8 * j);
    if (delka > n - pozice) return std::nullopt;
    z.pole.emplace_back(b + pozice, delka);
    pozice += delka;
  }
  if (pozice != n) return std::nullopt;
  return z;
}

}  // namespace

Kanal::~Kanal() {
  if (fd_ >= 0) ::close(fd_);
}

Kanal& Kanal::operator=(Kanal&& k) noexcept {
  if (this != &k) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = k.fd_;
    k.fd_ = -1;
  }
  return *this;
}

int Kanal::Uvolnit() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

bool Kanal::Poslat(const ZpravaKanalu& z) {
  return Odeslat(z, 0) == Odeslani::kOdeslano;
}

Kanal::Odeslani Kanal::PoslatBezCekani(const ZpravaKanalu& z) {
  return Odeslat(z, MSG_DONTWAIT);
}

Kanal::Odeslani Kanal::Odeslat(const ZpravaKanalu& z, int priznaky) {
  if (z.pole.size() > kMaxPoli) return Odeslani::kNelze;
  const std::string b = Zakodovat(z);
  if (b.size() > kMaxZpravy) return Odeslani::kNelze;
  for (;;) {
    const ssize_t n = ::send(fd_, b.data(), b.size(), MSG_NOSIGNAL | priznaky);
    if (n == static_cast<ssize_t>(b.size())) return Odeslani::kOdeslano;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Odeslani::kPlno;
    return Odeslani::kNelze;
  }
}

void Kanal::OmezitFrontu(int bajtu) {
  (void)::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &bajtu, sizeof bajtu);
}

std::optional<ZpravaKanalu> Kanal::Prijmout(std::chrono::milliseconds doba, bool& konec) {
  konec = false;
  struct pollfd p {
    fd_, POLLIN, 0
  };
  const int r = ::poll(&p, 1, static_cast<int>(doba.count()));
  if (r < 0 && errno == EINTR) return std::nullopt;
  if (r < 0) {
    konec = true;
    return std::nullopt;
  }
  if (r == 0) return std::nullopt;
  std::string b(kMaxZpravy + 1, '\0');
  ssize_t n;
  do
    n = ::recv(fd_, b.data(), b.size(), MSG_TRUNC);
  while (n < 0 && errno == EINTR);
  // A peer that closed its end with messages of ours unread is reported once as a reset,
  // ahead of the messages it sent before: those still come.
  if (n < 0 && errno == ECONNRESET) n = ::recv(fd_, b.data(), b.size(), MSG_TRUNC | MSG_DONTWAIT);
  if (n <= 0 || static_cast<std::size_t>(n) > kMaxZpravy) {
    konec = true;
    return std::nullopt;
  }
  std::optional<ZpravaKanalu> z = Dekodovat(b.data(), static_cast<std::size_t>(n));
  if (!z) konec = true;
  return z;
}

std::pair<Kanal, Kanal> VytvoritKanal() {
  int fd[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fd) != 0)
    throw std::system_error(errno, std::generic_category(), "socketpair");
  return {Kanal(fd[0]), Kanal(fd[1])};
}

int ZapecetenySoubor(const std::string& nazev, const std::string& bajty) {
  Popisovac fd(::memfd_create(nazev.c_str(), MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (!fd.Platny()) throw std::system_error(errno, std::generic_category(), "memfd_create");
  if (int e = ZapsatVse(fd.Fd(), bajty))
    throw std::system_error(e, std::generic_category(), "memfd write");
  if (::fcntl(fd.Fd(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
    throw std::system_error(errno, std::generic_category(), "memfd seal");
  return fd.Uvolnit();
}

std::optional<std::string> CistZapecetenySoubor(int fd, std::size_t max) {
  const int pecete = ::fcntl(fd, F_GET_SEALS);
  if (pecete < 0 || (pecete & F_SEAL_WRITE) == 0 || (pecete & F_SEAL_GROW) == 0)
    return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > max)
    return std::nullopt;
  std::string b(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t hotovo = 0;
  while (hotovo < b.size()) {
    const ssize_t n = ::pread(fd, b.data() + hotovo, b.size() - hotovo, static_cast<off_t>(hotovo));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    hotovo += static_cast<std::size_t>(n);
  }
  return b;
}

}  // namespace zevlon
