// Deletion: one file, and a whole tree walked through descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/souborovy_system_pomucky.h"

namespace zevlon::ss {

namespace {

// Below this depth a folder is not entered but moved up into the folder being deleted and
// deleted from there later, so that a tree of any depth holds this many descriptors at most.
constexpr int kHloubka = 32;

struct Mazani {
  int koren;              // the folder being deleted
  unsigned vyneseno = 0;  // folders moved up so far

  // Deletes everything inside the open folder fd (named cesta in messages), `hloubka`
  // levels below the root.
  Vysledek Obsah(int fd, const std::string& cesta, int hloubka);
};

Vysledek Mazani::Obsah(int fd, const std::string& cesta, int hloubka) {
  std::vector<std::string> jmena;
  if (Vysledek v = JmenaVeSlozce(fd, cesta, jmena); !v.Uspech()) return v;
  for (const std::string& j : jmena) {
    std::string cp = Spojit(cesta, j);
    struct stat st {};
    if (::fstatat(fd, j.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;
      return ChybaSystemu(errno, cp);
    }
    if (!S_ISDIR(st.st_mode)) {
      if (::unlinkat(fd, j.c_str(), 0) != 0 && errno != ENOENT) return ChybaSystemu(errno, cp);
      continue;
    }
    if (hloubka >= kHloubka) {
      // Any free name in the root will do: all of it goes.
      int e = EEXIST;
      while (e == EEXIST) {
        const std::string nove = ".hluboko." + std::to_string(vyneseno++);
        e = ::renameat2(fd, j.c_str(), koren, nove.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
      }
      if (e != 0) return ChybaSystemu(e, cp, Druh::kSlozka);
      continue;
    }
    if ((st.st_mode & S_IRWXU) != S_IRWXU)
      Nepovinne(::fchmodat(fd, j.c_str(), (st.st_mode & 07777) | S_IRWXU, AT_SYMLINK_NOFOLLOW));
    {
      Popisovac pod(::openat(fd, j.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!pod.Platny()) return ChybaSystemu(errno, cp, Druh::kSlozka);
      if (Vysledek v = Obsah(pod.Fd(), cp, hloubka + 1); !v.Uspech()) return v;
    }
    if (::unlinkat(fd, j.c_str(), AT_REMOVEDIR) != 0) return ChybaSystemu(errno, cp, Druh::kSlozka);
  }
  return Uspech();
}

}  // namespace

Vysledek SmazatSoubor(const std::string& cesta) {
  if (::unlink(cesta.c_str()) != 0) return ChybaSystemu(errno, cesta);
  return Uspech();
}

Vysledek SmazatStrom(const std::string& slozka) {
  std::string p = BezLomitek(slozka);
  if (p == "/") return ChybaSystemu(EPERM, p, Druh::kSlozka);
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return ChybaSystemu(errno, p, Druh::kSlozka);
  if (S_ISLNK(st.st_mode)) {
    if (!JeSlozka(p)) return ChybaSystemu(ENOTDIR, p, Druh::kSlozka);
    if (::unlink(p.c_str()) != 0) return ChybaSystemu(errno, p);
    return Uspech();
  }
  if (!S_ISDIR(st.st_mode)) return ChybaSystemu(ENOTDIR, p, Druh::kSlozka);
  if ((st.st_mode & S_IRWXU) != S_IRWXU)
    Nepovinne(::fchmodat(AT_FDCWD, p.c_str(), (st.st_mode & 07777) | S_IRWXU, AT_SYMLINK_NOFOLLOW));
  {
    Popisovac fd(::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.Platny()) return ChybaSystemu(errno, p, Druh::kSlozka);
    // Again while folders were moved up into it.
    Mazani m{fd.Fd()};
    for (unsigned pred = 1; pred != m.vyneseno;) {
      pred = m.vyneseno;
      if (Vysledek v = m.Obsah(fd.Fd(), p, 0); !v.Uspech()) return v;
    }
  }
  if (::rmdir(p.c_str()) != 0) return ChybaSystemu(errno, p, Druh::kSlozka);
  return Uspech();
}

}  // namespace zevlon::ss
