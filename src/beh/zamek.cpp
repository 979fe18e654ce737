#include "beh/zamek.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/chyba.h"
#include "platform/nahrady/platforma.h"

namespace zevlon {

namespace {

// Nobody but this user may write into the folder, nor open the file.
bool JenProUzivatele(const struct stat& st, mode_t zakazano) {
  return st.st_uid == ::geteuid() && (st.st_mode & zakazano) == 0;
}

// The lock file in the folder, opened, when both are this user's alone.
Popisovac OtevritVeSlozce(const std::string& slozka) {
  if (slozka.empty()) return Popisovac();
  Popisovac d(::open(slozka.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  if (!d.Platny() || ::fstat(d.Fd(), &st) != 0 || !JenProUzivatele(st, S_IWGRP | S_IWOTH))
    return Popisovac();
  Popisovac fd(::openat(d.Fd(), kSouborZamku,
                        O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
  if (!fd.Platny() || ::fstat(fd.Fd(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
      !JenProUzivatele(st, S_IRWXG | S_IRWXO))
    return Popisovac();
  return fd;
}

[[noreturn]] void BezZamku() {
  VyvolatChybu(std::string("Aktualizace nebyla spuštěna, protože se nepodařilo získat zámek běhu "
                           "(soubor ") +
               kSouborZamku +
               ") ve složce programu ani ve složce stavu uživatele. Zámek musí být soubor "
               "uživatele, pod nímž program běží, s právy jen pro něj (0600), ve složce, do "
               "které nikdo jiný nesmí zapisovat.");
}

}  // namespace

void ZamekBehu::Zamknout(std::chrono::milliseconds cekani) {
  cesta_ = platforma().SlozkaZamku();
  fd_ = OtevritVeSlozce(cesta_);
  if (!fd_.Platny()) {
    // Asked only when needed: it makes the folder when it is missing.
    cesta_ = platforma().SlozkaStavu();
    fd_ = OtevritVeSlozce(cesta_);
  }
  if (!fd_.Platny()) BezZamku();
  cesta_ += std::string("/") + kSouborZamku;
  const auto konec = platforma().Monotonni() + cekani;
  for (;;) {
    if (::flock(fd_.Fd(), LOCK_EX | LOCK_NB) == 0) return;
    if (errno != EWOULDBLOCK && errno != EINTR) BezZamku();
    if (platforma().Monotonni() >= konec) VyvolatChybu(kUzBezi);
    platforma().Uspat(std::chrono::milliseconds(100));
  }
}

}  // namespace zevlon
