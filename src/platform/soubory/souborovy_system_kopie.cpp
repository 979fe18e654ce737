// Copies: one file through a temporary name beside its target, and whole trees (files,
// folders and symbolic links) into a target folder.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/souborovy_system_pomucky.h"

namespace zevlon::ss {

namespace {

// A temporary file beside a target, in the target's open folder; removed when it was not
// handed over by a rename.
class DocasnySoubor {
 public:
  explicit DocasnySoubor(int slozka) : slozka_(slozka) {}
  DocasnySoubor(const DocasnySoubor&) = delete;
  DocasnySoubor& operator=(const DocasnySoubor&) = delete;
  ~DocasnySoubor() {
    if (!jmeno_.empty()) ::unlinkat(slozka_, jmeno_.c_str(), 0);
  }
  // Makes it under a new name (never one that was there) and answers its descriptor.
  Popisovac Vytvorit() {
    static constexpr char kZnaky[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int pokus = 0; pokus < 100; ++pokus) {
      unsigned char nahoda[6];
      if (::getrandom(nahoda, sizeof nahoda, 0) != static_cast<ssize_t>(sizeof nahoda))
        return Popisovac();
      std::string jmeno = ".zevlon-kopie-";
      for (unsigned char c : nahoda)
        jmeno += kZnaky[c % (sizeof kZnaky - 1)];
      Popisovac fd(::openat(slozka_, jmeno.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
      if (fd.Platny()) {
        jmeno_ = jmeno;
        return fd;
      }
      if (errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return Popisovac();
  }
  const std::string& Jmeno() const { return jmeno_; }
  void Predano() { jmeno_.clear(); }

 private:
  int slozka_;
  std::string jmeno_;
};

// Another user's file in a folder that group or others may write, or that belongs to
// another user than root, is not taken for that user's.
bool SdilenaSlozka(int slozka) {
  struct stat st {};
  return ::fstat(slozka, &st) == 0 &&
         ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 || (st.st_uid != 0 && st.st_uid != ::geteuid()));
}

}  // namespace

int PrenestData(int z, int c, std::int64_t velikost, bool& cteni) {
  // From the source's start by explicit offsets: its own offset never moves, so a copy that
  // is tried again reads it whole again.
  loff_t odkud = 0;
  for (;;) {
    ssize_t n = ::copy_file_range(z, &odkud, c, nullptr, std::size_t{1} << 30, 0);
    if (n > 0) {
      if (velikost > 0 && odkud == velikost) return 0;
      continue;
    }
    if (n == 0) break;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
        errno == EBADF)
      break;
    return errno;
  }
  char buf[65536];
  for (;;) {
    ssize_t n = ::pread(z, buf, sizeof buf, odkud);
    if (n < 0) {
      if (errno == EINTR) continue;
      cteni = true;
      return errno;
    }
    if (n == 0) return 0;
    odkud += n;
    if (int e = ZapsatVse(c, std::string_view(buf, static_cast<std::size_t>(n)))) return e;
  }
}

Vysledek ZkopirovatSoubor(const std::string& zdroj, const std::string& cil) {
  const std::string rodic = Rodic(cil);
  Popisovac slozka(::open(rodic.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!slozka.Platny()) return ChybaSystemu(errno, cil);
  std::string jmeno = BezLomitek(cil);
  jmeno = jmeno.substr(jmeno.rfind('/') + 1);
  return ZkopirovatSouborDo(zdroj, {slozka.Fd(), jmeno, cil});
}

Vysledek ZkopirovatSouborDo(const std::string& zdroj, const CilVeSlozce& cil) {
  // Non-blocking, so that a pipe under the source's name cannot stall the open; a link
  // under the source's name is never read through.
  Popisovac vstup(::open(zdroj.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
  if (!vstup.Platny()) return ChybaSystemu(errno, zdroj);
  struct stat zs {};
  if (::fstat(vstup.Fd(), &zs) != 0) return ChybaSystemu(errno, zdroj);
  return ZkopirovatOtevrenyDo(vstup.Fd(), zs, zdroj, cil, std::nullopt);
}

Vysledek ZkopirovatOtevrenyDo(int vstup, const struct stat& zs, const std::string& zdroj,
                              const CilVeSlozce& cil, std::optional<UtcCas> cas, bool* zmenen) {
  if (!S_ISREG(zs.st_mode)) return ChybaSystemu(EISDIR, zdroj);  // only files are copied
  const struct timespec casy[2] = {zs.st_atim,
                                   cas ? timespec{static_cast<time_t>(*cas), 0} : zs.st_mtim};
  if (zmenen) *zmenen = false;

  DocasnySoubor docasny(cil.slozka);
  Popisovac vystup = docasny.Vytvorit();
  if (!vystup.Platny()) return ChybaSystemu(errno, cil.cesta);

  bool cteni = false;
  if (int e = PrenestData(vstup, vystup.Fd(), zs.st_size, cteni))
    return ChybaSystemu(e, cteni ? zdroj : cil.cesta);
  // A source written to while it was read may have given a mixture of its contents.
  if (zmenen) {
    struct stat po {};
    if (::fstat(vstup, &po) != 0) return ChybaSystemu(errno, zdroj);
    if (po.st_dev != zs.st_dev || po.st_ino != zs.st_ino || po.st_size != zs.st_size ||
        po.st_mtim.tv_sec != zs.st_mtim.tv_sec || po.st_mtim.tv_nsec != zs.st_mtim.tv_nsec ||
        po.st_ctim.tv_sec != zs.st_ctim.tv_sec || po.st_ctim.tv_nsec != zs.st_ctim.tv_nsec) {
      *zmenen = true;
      return Uspech();
    }
  }
  if (::fchmod(vystup.Fd(), zs.st_mode & 0777) != 0) return ChybaSystemu(errno, cil.cesta);
  if (::futimens(vystup.Fd(), casy) != 0) return ChybaSystemu(errno, cil.cesta);
  // No flush per file: a rebuild copies thousands of them, and the swap that makes
  // them live flushes the whole file system once first (ZapsatNaDisk).
  if (int e = vystup.Zavrit()) return ChybaSystemu(e, cil.cesta);
  // Into a new folder nothing stands under the name: the rename alone finds that out.
  if (::renameat2(cil.slozka, docasny.Jmeno().c_str(), cil.slozka, cil.jmeno.c_str(),
                  RENAME_NOREPLACE) == 0) {
    docasny.Predano();
    return Uspech();
  }
  if (errno != EEXIST && errno != EINVAL && errno != ENOSYS) return ChybaSystemu(errno, cil.cesta);
  struct stat cs {};
  if (::fstatat(cil.slozka, cil.jmeno.c_str(), &cs, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(cs.st_mode)) return ChybaSystemu(EISDIR, cil.cesta);
    if (S_ISREG(cs.st_mode) && (cs.st_mode & S_IWUSR) == 0) return ChybaSystemu(EACCES, cil.cesta);
    // A replaced file keeps its owner, as an overwrite in place would; not so in a folder
    // that others may write, where the file may have been laid by anyone.
    if (S_ISREG(cs.st_mode) && ::geteuid() == 0 && !SdilenaSlozka(cil.slozka))
      Nepovinne(::fchownat(cil.slozka, docasny.Jmeno().c_str(), cs.st_uid, cs.st_gid,
                           AT_SYMLINK_NOFOLLOW));
  } else if (errno != ENOENT) {
    return ChybaSystemu(errno, cil.cesta);
  }
  if (::renameat(cil.slozka, docasny.Jmeno().c_str(), cil.slozka, cil.jmeno.c_str()) != 0)
    return ChybaSystemu(errno, cil.cesta);
  docasny.Predano();
  return Uspech();
}

Vysledek PrejmenovatDo(const std::string& zdroj, const CilVeSlozce& cil) {
  if (::renameat2(AT_FDCWD, zdroj.c_str(), cil.slozka, cil.jmeno.c_str(), RENAME_NOREPLACE) != 0)
    return ChybaSystemu(errno, cil.cesta);
  return Uspech();
}

Vysledek OtevritPodslozku(int koren, const std::string& korenCesta, const std::string& relativni,
                          Popisovac& fd) {
  fd = Popisovac(koren == AT_FDCWD ? ::open(BezLomitek(korenCesta).c_str(),
                                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                                   : ::fcntl(koren, F_DUPFD_CLOEXEC, 0));
  if (!fd.Platny()) return ChybaSystemu(errno, korenCesta, Druh::kSlozka);
  std::string cesta = BezLomitek(korenCesta);
  for (std::size_t zacatek = 0; zacatek < relativni.size();) {
    std::size_t konec = relativni.find('/', zacatek);
    if (konec == std::string::npos) konec = relativni.size();
    const std::string cast = relativni.substr(zacatek, konec - zacatek);
    zacatek = konec + 1;
    if (cast.empty() || cast == ".") continue;
    cesta = Spojit(cesta, cast);
    if (cast == "..") return ChybaSystemu(EACCES, cesta, Druh::kSlozka);
    const int priznaky = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    Popisovac dalsi(::openat(fd.Fd(), cast.c_str(), priznaky));
    if (!dalsi.Platny() && errno == ENOENT) {
      if (::mkdirat(fd.Fd(), cast.c_str(), 0777) != 0 && errno != EEXIST)
        return ChybaSystemu(errno, cesta, Druh::kSlozka);
      dalsi = Popisovac(::openat(fd.Fd(), cast.c_str(), priznaky));
    }
    if (!dalsi.Platny())
      return ChybaSystemu(errno == ELOOP ? ENOTDIR : errno, cesta, Druh::kSlozka);
    fd = std::move(dalsi);
  }
  return Uspech();
}

namespace {

// Creates the folder with every missing parent.
Vysledek VytvoritVcetneRodicu(const std::string& c) {
  if (JeSlozka(c)) return Uspech();
  for (std::size_t i = 1; i <= c.size(); ++i) {
    if (i < c.size() && c[i] != '/') continue;
    std::string cast = c.substr(0, i);
    if (JeSlozka(cast)) continue;
    if (::mkdir(cast.c_str(), 0777) != 0 && errno != EEXIST)
      return ChybaSystemu(errno, cast, Druh::kSlozka);
  }
  return JeSlozka(c) ? Uspech() : ChybaSystemu(ENOTDIR, c, Druh::kSlozka);
}

// A folder of the target: kept when it exists, created when missing; a symbolic link
// in its place is replaced by a real folder, so nothing is written through it.
Vysledek PripravitSlozku(const std::string& c) {
  struct stat st {};
  if (::lstat(c.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return Uspech();
    if (!S_ISLNK(st.st_mode)) return ChybaSystemu(EEXIST, c, Druh::kSlozka);
    if (::unlink(c.c_str()) != 0) return ChybaSystemu(errno, c);
  }
  if (::mkdir(c.c_str(), 0777) != 0) return ChybaSystemu(errno, c, Druh::kSlozka);
  return Uspech();
}

// Recreates a symbolic link at c, replacing a file or link there, with the link's
// own modification time.
Vysledek ZkopirovatOdkaz(const std::string& z, const std::string& c, const struct stat& st) {
  std::string cil(static_cast<std::size_t>(st.st_size) + 1, '\0');
  for (;;) {
    ssize_t n = ::readlink(z.c_str(), cil.data(), cil.size());
    if (n < 0) return ChybaSystemu(errno, z);
    if (static_cast<std::size_t>(n) < cil.size()) {
      cil.resize(static_cast<std::size_t>(n));
      break;
    }
    cil.resize(cil.size() * 2);
  }
  if (::symlink(cil.c_str(), c.c_str()) != 0) {
    if (errno != EEXIST) return ChybaSystemu(errno, c);
    struct stat cs {};
    if (::lstat(c.c_str(), &cs) == 0 && S_ISDIR(cs.st_mode)) return ChybaSystemu(EISDIR, c);
    if (::unlink(c.c_str()) != 0) return ChybaSystemu(errno, c);
    if (::symlink(cil.c_str(), c.c_str()) != 0) return ChybaSystemu(errno, c);
  }
  const struct timespec casy[2] = {st.st_atim, st.st_mtim};
  (void)::utimensat(AT_FDCWD, c.c_str(), casy, AT_SYMLINK_NOFOLLOW);
  return Uspech();
}

}  // namespace

Vysledek KopieStromu::Slozka(const std::string& z, const std::string& c) const {
  std::vector<PolozkaSlozky> polozky;
  if (Vysledek v = CistSlozku(z, polozky); !v.Uspech()) return v;
  for (const PolozkaSlozky& p : polozky) {
    std::string zp = Spojit(z, p.jmeno), cp = Spojit(c, p.jmeno);
    struct stat st {};
    if (::lstat(zp.c_str(), &st) != 0) return ChybaSystemu(errno, zp);
    Vysledek v;
    if (S_ISDIR(st.st_mode)) {
      if (st.st_dev == cilZarizeni && st.st_ino == cilUzel) continue;
      v = PripravitSlozku(cp);
      if (v.Uspech()) v = Slozka(zp, cp);
      if (v.Uspech() && presun) PrevzitSlozku(cp, st);
    } else if (S_ISLNK(st.st_mode)) {
      v = ZkopirovatOdkaz(zp, cp, st);
    } else if (S_ISREG(st.st_mode)) {
      v = ZkopirovatSoubor(zp, cp);
    } else if (presun) {
      // A move deletes the source afterwards: what it cannot carry stops it, by name.
      v = {EOPNOTSUPP, zp + ": zvláštní soubor (roura, soket nebo zařízení) nelze přesunout "
                            "na jiný systém souborů."};
    }  // a copy passes devices, pipes and sockets over: they have no place in an installation
    if (!v.Uspech()) return v;
  }
  return Uspech();
}

void KopieStromu::PrevzitSlozku(const std::string& c, const struct stat& st) {
  Nepovinne(::fchmodat(AT_FDCWD, c.c_str(), st.st_mode & 07777, AT_SYMLINK_NOFOLLOW));
  const struct timespec casy[2] = {st.st_atim, st.st_mtim};
  (void)::utimensat(AT_FDCWD, c.c_str(), casy, AT_SYMLINK_NOFOLLOW);
}

Vysledek ZkopirovatObsahSlozky(const std::string& zdroj, const std::string& cil) {
  std::string z = BezLomitek(zdroj), c = BezLomitek(cil);
  struct stat st {};
  if (::stat(z.c_str(), &st) != 0) return ChybaSystemu(errno, z, Druh::kSlozka);
  if (!S_ISDIR(st.st_mode)) return ChybaSystemu(ENOTDIR, z, Druh::kSlozka);
  if (Vysledek v = VytvoritVcetneRodicu(c); !v.Uspech()) return v;
  if (::stat(c.c_str(), &st) != 0) return ChybaSystemu(errno, c, Druh::kSlozka);
  return KopieStromu{false, st.st_dev, st.st_ino}.Slozka(z, c);
}

}  // namespace zevlon::ss
