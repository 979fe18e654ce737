// Whole-file reads and safe whole-file writes. A write goes to a temporary name in
// the same folder and is renamed over the target only after the data were written,
// flushed and closed, so no half-written file ever stands under the final name.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zevlon {

// Drops the status of a call whose failure the caller accepts on purpose: an owner, mode
// or time carried over as a nicety where the file itself is already right. (A cast to
// void does not quiet the results that the C library marks as not to be ignored.)
inline void Nepovinne(int /*stav*/) {}

// Owns a file descriptor.
class Popisovac {
 public:
  Popisovac() = default;
  explicit Popisovac(int fd) : fd_(fd) {}
  Popisovac(const Popisovac&) = delete;
  Popisovac& operator=(const Popisovac&) = delete;
  Popisovac(Popisovac&& o) noexcept : fd_(o.Uvolnit()) {}
  Popisovac& operator=(Popisovac&& o) noexcept {
    if (this != &o) {
      Zavrit();
      fd_ = o.Uvolnit();
    }
    return *this;
  }
  ~Popisovac() { Zavrit(); }

  int Fd() const { return fd_; }
  bool Platny() const { return fd_ >= 0; }
  int Uvolnit() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor; answers the errno of a failed close, 0 otherwise.
  int Zavrit();

 private:
  int fd_ = -1;
};

// Reads a whole file; on failure no value and the errno in *chyba when given.
std::optional<std::string> NacistSoubor(const std::string& cesta, int* chyba = nullptr);

// Writes a whole file atomically. A new file gets mode 0666 less the umask; an
// existing one keeps its mode (and owner when the process may set it), and a symbolic
// link is written through to the file it names. In a folder that others may write
// (VeSdileneSlozce), another user's file there is not taken for the writer's: the
// result is a new file of the writer's, and another user's link is refused (EACCES).
// Answers 0 or the errno of the step that failed; the target is untouched on failure.
// With `rezim` (not 0) the file gets exactly that mode, new or not.
int ZapsatSouborAtomicky(const std::string& cesta, std::string_view obsah, mode_t rezim = 0);

// Writes a whole file readable by all (0644) in one step: a new file under a random name
// beginning with `predpona` in `slozka`, flushed, then renamed to `jmeno` there (only while
// that name is free unless `nahradit`). Answers 0 or the errno of the step that failed
// (EEXIST: the name was taken); nothing is left on failure.
int ZapsatCitelnySoubor(const std::string& slozka, const std::string& jmeno, std::string_view obsah,
                        const char* predpona, bool nahradit);

// True when the folder holding the path lets others than its owner add, remove or
// replace entries (group or other write bit), as /tmp does: whatever stands there under
// a name may have been laid by anyone.
bool VeSdileneSlozce(const std::string& cesta);

// Writes all bytes to a descriptor, retrying short writes; answers 0 or errno.
int ZapsatVse(int fd, std::string_view data);

}  // namespace zevlon
