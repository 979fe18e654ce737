#include "tools/publikace/heslo.h"

#include <fcntl.h>
#include <sodium.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>

#include "common/chyba.h"
#include "platform/soubory/soubor.h"

namespace zevlon::publikace {

namespace {

// minisign takes no longer password either.
constexpr std::size_t kNejdelsiHeslo = 1024;

// Turns the terminal's echo off for the object's lifetime.
class BezOzveny {
 public:
  explicit BezOzveny(int fd) : fd_(fd) {
    vypnuto_ = ::tcgetattr(fd_, &puvodni_) == 0;
    if (!vypnuto_) return;
    termios t = puvodni_;
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    vypnuto_ = ::tcsetattr(fd_, TCSAFLUSH, &t) == 0;
  }
  ~BezOzveny() {
    if (vypnuto_) ::tcsetattr(fd_, TCSAFLUSH, &puvodni_);
  }
  BezOzveny(const BezOzveny&) = delete;
  BezOzveny& operator=(const BezOzveny&) = delete;

 private:
  int fd_;
  termios puvodni_{};
  bool vypnuto_ = false;
};

// One line without its line end, read byte by byte so that nothing after it is taken
// from a pipe; nullopt at the end of the input before anything was read.
std::optional<std::string> CistRadek(int fd) {
  std::string radek;
  for (char c;;) {
    ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) VyvolatChybu("Heslo se nepodařilo přečíst.");
    if (n == 0) {
      if (radek.empty()) return std::nullopt;
      break;
    }
    if (c == '\n') break;
    if (radek.size() == kNejdelsiHeslo) {
      sodium_memzero(radek.data(), radek.size());
      VyvolatChybu("Heslo je delší než " + std::to_string(kNejdelsiHeslo) + " bajtů.");
    }
    radek += c;
  }
  if (!radek.empty() && radek.back() == '\r') radek.pop_back();
  return radek;
}

std::string ZTerminalu(const std::string& vyzva) {
  Popisovac tty(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!tty.Platny()) VyvolatChybu("Terminál pro zadání hesla nelze otevřít.");
  std::optional<std::string> heslo;
  {
    BezOzveny bez(tty.Fd());
    (void)ZapsatVse(tty.Fd(), vyzva);
    heslo = CistRadek(tty.Fd());
  }
  (void)ZapsatVse(tty.Fd(), "\n");  // the Enter was not echoed either
  if (!heslo) VyvolatChybu("Heslo nebylo zadáno.");
  return std::move(*heslo);
}

std::string ZeVstupu() {
  auto heslo = CistRadek(STDIN_FILENO);
  if (!heslo) VyvolatChybu("Heslo nebylo zadáno.");
  return std::move(*heslo);
}

}  // namespace

std::string ZeptatSeNaHeslo(const std::string& vyzva) {
  return ::isatty(STDIN_FILENO) ? ZTerminalu(vyzva) : ZeVstupu();
}

std::string NoveHeslo() {
  std::string heslo;
  if (::isatty(STDIN_FILENO)) {
    heslo = ZTerminalu("Heslo k novému klíči: ");
    std::string znovu = ZTerminalu("Heslo znovu: ");
    const bool shoda = znovu == heslo;
    sodium_memzero(znovu.data(), znovu.size());
    if (!shoda) {
      sodium_memzero(heslo.data(), heslo.size());
      VyvolatChybu("Zadaná hesla se neshodují; klíč nebyl vytvořen.");
    }
  } else {
    heslo = ZeVstupu();
  }
  if (heslo.empty())
    VyvolatChybu("Prázdné heslo nelze použít; klíč bez hesla vytvoří volba --bez-hesla.");
  return heslo;
}

}  // namespace zevlon::publikace
