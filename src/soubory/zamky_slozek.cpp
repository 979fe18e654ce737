#include "soubory/zamky_slozek.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/chyba.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/souborovy_system.h"
#include "soubory/cesty.h"

namespace zevlon {

namespace {

[[noreturn]] void Nebezpecny(const std::string& slozka, const std::string& proc) {
  VyvolatChybu("Složku " + slozka + " nelze bezpečně zamknout pro tento běh (" + proc +
               "), proto nebyla aktualizována žádná složka.");
}

std::string Jmeno(const std::string& slozka) {
  std::string rodic, jmeno;
  RozdelitCestu(BezLomitka(slozka), rodic, jmeno);
  return "." + jmeno + ".zevlon.lock";
}

}  // namespace

void ZamkySlozek::Otevrit(Zamek& z) {
  z.fd =
      Popisovac(::openat(z.rodic.Fd(), Jmeno(z.slozka).c_str(),
                         O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
  struct stat st {};
  if (!z.fd.Platny() || ::fstat(z.fd.Fd(), &st) != 0)
    Nebezpecny(z.slozka, ss::ChybaSystemu(errno, SouborZamkuSlozky(z.slozka)).popis);
  if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != ::geteuid() ||
      (st.st_mode & 077) != 0)
    Nebezpecny(z.slozka, "soubor " + SouborZamkuSlozky(z.slozka) +
                             " není soubor tohoto uživatele s právy jen pro něj");
  z.zarizeni = st.st_dev;
  z.uzel = st.st_ino;
}

std::string SouborZamkuSlozky(const std::string& slozka) {
  std::string rodic, jmeno;
  RozdelitCestu(BezLomitka(slozka), rodic, jmeno);
  return (rodic.empty() || rodic.back() != '/' ? rodic + "/" : rodic) + Jmeno(slozka);
}

void ZamkySlozek::Zamknout(const std::vector<std::string>& slozky,
                           std::chrono::milliseconds cekani) {
  std::vector<Zamek> nove;
  for (const std::string& s : slozky) {
    std::string rodic, jmeno;
    RozdelitCestu(BezLomitka(s), rodic, jmeno);
    Zamek z{
        BezLomitka(s),
        Popisovac(::open(rodic.empty() ? "/" : rodic.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
        Popisovac(), 0, 0};
    struct stat st {};
    if (!z.rodic.Platny() || ::fstat(z.rodic.Fd(), &st) != 0)
      Nebezpecny(z.slozka, ss::ChybaSystemu(errno, rodic, ss::Druh::kSlozka).popis);
    // Only a folder that nobody else can write keeps a fixed name safe.
    if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
      Nebezpecny(z.slozka, "do složky " + rodic + " smí zapisovat i jiný uživatel");
    nove.push_back(std::move(z));
  }
  // Each lock file opened and checked before any is waited for.
  for (Zamek& z : nove)
    Otevrit(z);
  std::sort(nove.begin(), nove.end(), [](const Zamek& a, const Zamek& b) {
    return std::pair(a.zarizeni, a.uzel) < std::pair(b.zarizeni, b.uzel);
  });
  for (Zamek& z : nove) {
    const bool drzeno = std::any_of(zamky_.begin(), zamky_.end(), [&](const Zamek& d) {
      return d.zarizeni == z.zarizeni && d.uzel == z.uzel;
    });
    if (drzeno) continue;
    const auto konec = platforma().Monotonni() + cekani;
    for (;;) {
      if (::flock(z.fd.Fd(), LOCK_EX | LOCK_NB) == 0) {
        // The name must still lead to the file locked: a file that was removed or
        // replaced meanwhile locks nothing that others see.
        struct stat podJmenem {};
        if (::fstatat(z.rodic.Fd(), Jmeno(z.slozka).c_str(), &podJmenem, AT_SYMLINK_NOFOLLOW) ==
                0 &&
            podJmenem.st_dev == z.zarizeni && podJmenem.st_ino == z.uzel)
          break;
        Otevrit(z);
        continue;
      }
      if (errno != EWOULDBLOCK && errno != EINTR)
        Nebezpecny(z.slozka, ss::ChybaSystemu(errno, SouborZamkuSlozky(z.slozka)).popis);
      if (platforma().Monotonni() >= konec) VyvolatChybu(kUzBezi);
      platforma().Uspat(std::chrono::milliseconds(100));
    }
    zamky_.push_back(std::move(z));
  }
}

}  // namespace zevlon
