#include "soubory/pravo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/text.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/soubor.h"
#include "rozhrani/pomucky.h"

namespace zevlon {

namespace {

constexpr const char* kRadekZnacky = "Uživatel má právo aktualizovat.\r\n";

// Removes a marker left behind; true when none is there afterwards. A link of that
// name is removed as a link, never followed.
bool OdstranitZnacku(const std::string& cesta) {
  struct stat st {};
  if (::lstat(cesta.c_str(), &st) != 0) return errno == ENOENT;
  if (S_ISDIR(st.st_mode)) return false;
  return ::unlink(cesta.c_str()) == 0;
}

std::string Jmeno(std::string jmeno) {
  std::string s(Orezat(OriznoutNaNule(jmeno)));
  return s.empty() ? std::string(kBezeJmena) : s;
}

}  // namespace

bool MaPravoAktualizovat(const std::string& slozka) {
  const std::string znacka = slozka + kZnackaPrava;
  if (!OdstranitZnacku(znacka)) return false;
  Popisovac fd(::open(znacka.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd.Platny()) return false;
  bool zapsano = ZapsatVse(fd.Fd(), kRadekZnacky) == 0;
  zapsano = fd.Zavrit() == 0 && zapsano;
  // The marker never stays behind, whatever happened while writing it.
  bool odstraneno = ::unlink(znacka.c_str()) == 0;
  return zapsano && odstraneno;
}

std::string JmenoUzivatele() {
  return Jmeno(platforma().JmenoUzivatele());
}

std::string JmenoPocitace() {
  return Jmeno(platforma().JmenoPocitace());
}

}  // namespace zevlon
