#include "driver/zamek.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "platform/platforma.h"

namespace zevlon {

bool ZamekBehu::Ziskat(std::chrono::milliseconds cekani) {
  for (const std::string& slozka : {SlozkaProgramu(), platforma().SlozkaTemp()}) {
    cesta_ = slozka + "/" + kSouborZamku;
    fd_ = Popisovac(::open(cesta_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (fd_.Platny()) break;
  }
  // Without any place for the lock the run goes on unguarded rather than not at all.
  if (!fd_.Platny()) return true;
  const auto konec = platforma().Monotonni() + cekani;
  for (;;) {
    if (::flock(fd_.Fd(), LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return true;
    if (platforma().Monotonni() >= konec) return false;
    platforma().Uspat(std::chrono::milliseconds(100));
  }
}

}  // namespace zevlon
