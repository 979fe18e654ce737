// Renames that never replace anything, moves of folders (across file systems as a copy),
// and the exchange of two folders.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/souborovy_system_pomucky.h"

namespace zevlon::ss {

namespace {

// rename() that never replaces an existing target. A file system that cannot do
// RENAME_NOREPLACE answers EINVAL; there the target's absence is checked first.
int PrejmenovatBezNahrazeni(const std::string& z, const std::string& c) {
  if (::renameat2(AT_FDCWD, z.c_str(), AT_FDCWD, c.c_str(), RENAME_NOREPLACE) == 0) return 0;
  int e = errno;
  if (e != EINVAL && e != ENOSYS) return e;
  struct stat st {};
  if (::lstat(c.c_str(), &st) == 0) return EEXIST;
  return ::rename(z.c_str(), c.c_str()) == 0 ? 0 : errno;
}

Vysledek ChybaPresunu(int e, const std::string& z, const std::string& c, Druh druh) {
  struct stat st {};
  if (e == ENOENT && ::lstat(z.c_str(), &st) != 0) return ChybaSystemu(e, z, druh);
  return ChybaSystemu(e, c, Druh::kSlozka);
}

}  // namespace

Vysledek VymenitSlozky(const std::string& a, const std::string& b) {
  std::string x = BezLomitek(a), y = BezLomitek(b);
  if (::renameat2(AT_FDCWD, x.c_str(), AT_FDCWD, y.c_str(), RENAME_EXCHANGE) != 0) {
    int e = errno;
    if (e == EINVAL || e == ENOSYS || e == EOPNOTSUPP) return {EINVAL, "Výměna není podporována."};
    return ChybaSystemu(e, y, Druh::kSlozka);
  }
  return Uspech();
}

Vysledek PresunoutSlozku(const std::string& zdroj, const std::string& cil) {
  std::string z = BezLomitek(zdroj), c = BezLomitek(cil);
  struct stat st {};
  if (::lstat(z.c_str(), &st) != 0) return ChybaSystemu(errno, z, Druh::kSlozka);
  if (!S_ISDIR(st.st_mode)) return ChybaSystemu(ENOTDIR, z, Druh::kSlozka);
  int e = PrejmenovatBezNahrazeni(z, c);
  if (e == 0) return Uspech();
  if (e != EXDEV) return ChybaPresunu(e, z, c, Druh::kSlozka);

  // Another file system: copy the tree, make the copy lasting, then delete the source. The
  // target's file system is held from before the copy, so that its flush reports every
  // write of the copy that failed on its way to the disk.
  struct stat cs {};
  if (::lstat(c.c_str(), &cs) == 0) return ChybaSystemu(EEXIST, c, Druh::kSlozka);
  std::string rodic = c.substr(0, c.find_last_of('/'));
  if (rodic.empty()) rodic = "/";
  const DrzenySystem disk(rodic);
  if (::mkdir(c.c_str(), 0700) != 0) return ChybaSystemu(errno, c, Druh::kSlozka);
  if (::lstat(c.c_str(), &cs) != 0) return ChybaSystemu(errno, c, Druh::kSlozka);
  KopieStromu kopie{true, cs.st_dev, cs.st_ino};
  Vysledek v = kopie.Slozka(z, c);
  if (v.Uspech()) {
    KopieStromu::PrevzitSlozku(c, st);
    v = disk.Zapsat();
  }
  if (v.Uspech()) v = ZapsatSlozkuNaDisk(rodic);
  if (!v.Uspech()) {
    (void)SmazatStrom(c);
    return v;
  }
  return SmazatStrom(z);
}

Vysledek Presunout(const std::string& zdroj, const std::string& cil) {
  std::string z = BezLomitek(zdroj), c = BezLomitek(cil);
  int e = PrejmenovatBezNahrazeni(z, c);
  return e == 0 ? Uspech() : ChybaPresunu(e, z, c, Druh::kSoubor);
}

Vysledek NahraditSouborem(const std::string& zdroj, const std::string& cil) {
  struct stat st {};
  if (::lstat(zdroj.c_str(), &st) != 0) return ChybaSystemu(errno, zdroj);
  if (!S_ISREG(st.st_mode)) return ChybaSystemu(EISDIR, zdroj);
  if (::lstat(cil.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return ChybaSystemu(EISDIR, cil);
  if (::rename(zdroj.c_str(), cil.c_str()) != 0) return ChybaSystemu(errno, cil);
  return Uspech();
}

}  // namespace zevlon::ss
