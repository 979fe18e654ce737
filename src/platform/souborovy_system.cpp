#include "platform/souborovy_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string_view>

#include "common/chyba.h"
#include "common/text.h"
#include "platform/soubor.h"

namespace zevlon::ss {

namespace {

struct ZavritAdresar {
  void operator()(DIR* d) const { ::closedir(d); }
};
using Adresar = std::unique_ptr<DIR, ZavritAdresar>;

// A temporary file beside a target; removed when it was not handed over by a rename.
class DocasnySoubor {
 public:
  DocasnySoubor() = default;
  DocasnySoubor(const DocasnySoubor&) = delete;
  DocasnySoubor& operator=(const DocasnySoubor&) = delete;
  ~DocasnySoubor() {
    if (!cesta_.empty()) ::unlink(cesta_.c_str());
  }
  void Nastavit(std::string cesta) { cesta_ = std::move(cesta); }
  const std::string& Cesta() const { return cesta_; }
  void Predano() { cesta_.clear(); }

 private:
  std::string cesta_;
};

Vysledek Uspech() {
  return {};
}

// The path without trailing separators ("/" stays "/").
std::string BezLomitek(std::string p) {
  while (p.size() > 1 && p.back() == '/')
    p.pop_back();
  return p;
}

// The folder that holds the path: "." for a bare name, "/" for a name in the root.
std::string Rodic(const std::string& cesta) {
  std::string p = BezLomitek(cesta);
  auto i = p.rfind('/');
  if (i == std::string::npos) return ".";
  if (i == 0) return "/";
  return p.substr(0, i);
}

std::string_view Jmeno(std::string_view p) {
  while (p.size() > 1 && p.back() == '/')
    p.remove_suffix(1);
  auto i = p.rfind('/');
  return i == std::string_view::npos ? p : p.substr(i + 1);
}

std::string Spojit(const std::string& slozka, std::string_view jmeno) {
  std::string p = slozka;
  if (p.empty() || p.back() != '/') p += '/';
  p += jmeno;
  return p;
}

const char* CeskyPopis(int cislo) {
  switch (cislo) {
    case ENOSPC:
      return "Na disku není dost místa.";
    case EDQUOT:
      return "Byla překročena disková kvóta.";
    case EEXIST:
      return "Soubor nebo složka tohoto názvu již existuje.";
    case ENOTEMPTY:
      return "Složka není prázdná.";
    case EIO:
      return "Chyba vstupu nebo výstupu zařízení.";
    case ENAMETOOLONG:
      return "Název souboru nebo cesta je příliš dlouhá.";
    case EFBIG:
      return "Soubor je příliš velký.";
    case EXDEV:
      return "Nelze přesunout na jiný disk.";
    case ELOOP:
      return "Příliš mnoho úrovní symbolických odkazů.";
    case EMFILE:
    case ENFILE:
      return "Je otevřeno příliš mnoho souborů.";
    case ENOMEM:
      return "Nedostatek paměti.";
    default:
      return nullptr;
  }
}

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

// Copies the rest of file z into file c: copy_file_range while the kernel can do it
// for this pair of files, then plain reads and writes, which also finish the job on
// file systems that report an early end to copy_file_range. Once the kernel has
// copied the `velikost` bytes the source's stat announced, the copy is complete: a
// source that grows meanwhile is copied up to the size it had when opened. Answers 0
// or the errno; cteni tells whether the source failed.
int PrenestData(int z, int c, std::int64_t velikost, bool& cteni) {
  std::int64_t zkopirovano = 0;
  for (;;) {
    ssize_t n = ::copy_file_range(z, nullptr, c, nullptr, std::size_t{1} << 30, 0);
    if (n > 0) {
      zkopirovano += n;
      if (velikost > 0 && zkopirovano == velikost) return 0;
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
    ssize_t n = ::read(z, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      cteni = true;
      return errno;
    }
    if (n == 0) return 0;
    if (int e = ZapsatVse(c, std::string_view(buf, static_cast<std::size_t>(n)))) return e;
  }
}

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

// One copy of a tree into an existing target folder.
struct KopieStromu {
  bool presun = false;    // a move: folders keep their permissions and times as well
  dev_t cilZarizeni = 0;  // the target root, never copied into itself when it lies
  ino_t cilUzel = 0;      // inside the source

  Vysledek Slozka(const std::string& z, const std::string& c) const {
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
      }  // devices, pipes and sockets have no place in an installation: skipped
      if (!v.Uspech()) return v;
    }
    return Uspech();
  }

  static void PrevzitSlozku(const std::string& c, const struct stat& st) {
    (void)::fchmodat(AT_FDCWD, c.c_str(), st.st_mode & 07777, AT_SYMLINK_NOFOLLOW);
    const struct timespec casy[2] = {st.st_atim, st.st_mtim};
    (void)::utimensat(AT_FDCWD, c.c_str(), casy, AT_SYMLINK_NOFOLLOW);
  }
};

// The names in the open folder fd (named cesta in messages), without "." and "..".
Vysledek JmenaVeSlozce(int fd, const std::string& cesta, std::vector<std::string>& jmena) {
  int kopie = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (kopie < 0) return ChybaSystemu(errno, cesta, Druh::kSlozka);
  Adresar d(::fdopendir(kopie));
  if (!d) {
    int e = errno;
    ::close(kopie);
    return ChybaSystemu(e, cesta, Druh::kSlozka);
  }
  ::rewinddir(d.get());
  for (;;) {
    errno = 0;
    dirent* e = ::readdir(d.get());
    if (!e) return errno != 0 ? ChybaSystemu(errno, cesta, Druh::kSlozka) : Uspech();
    std::string_view j = e->d_name;
    if (j != "." && j != "..") jmena.emplace_back(j);
  }
}

// A merge of one folder into another, walked through descriptors opened without
// following links, so that nothing swapped in under a name after it was looked at
// leads the copy out of the source tree. What is copied takes its owner and mode from
// the descriptor that was read.
struct Doplneni {
  static Vysledek Slozka(int zfd, const std::string& z, int cfd, const std::string& c) {
    std::vector<std::string> jmena;
    if (Vysledek v = JmenaVeSlozce(zfd, z, jmena); !v.Uspech()) return v;
    std::vector<std::string> vCili;
    if (Vysledek v = JmenaVeSlozce(cfd, c, vCili); !v.Uspech()) return v;
    std::set<std::string> slozena;
    for (const std::string& j : vCili)
      slozena.insert(SlozitVelikost(j));
    for (const std::string& j : jmena) {
      const std::string zp = Spojit(z, j), cp = Spojit(c, j);
      struct stat st {};
      if (::fstatat(zfd, j.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) continue;
        return ChybaSystemu(errno, zp);
      }
      Vysledek v;
      if (S_ISDIR(st.st_mode)) {
        v = Podslozka(zfd, j, zp, cfd, cp);
      } else if (slozena.count(SlozitVelikost(j))) {
        continue;  // what the target holds wins, in any letter case
      } else if (S_ISLNK(st.st_mode)) {
        v = Odkaz(zfd, j, zp, cfd, cp, st);
      } else if (S_ISREG(st.st_mode)) {
        v = Soubor(zfd, j, zp, cfd, cp);
      }  // devices, pipes and sockets have no place in an installation: skipped
      if (!v.Uspech()) return v;
    }
    return Uspech();
  }

  static Popisovac OtevritSlozku(int fd, const std::string& jmeno) {
    return Popisovac(::openat(fd, jmeno.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }

  static void Prevzit(int fd, const struct stat& st) {
    if (::geteuid() == 0) (void)::fchown(fd, st.st_uid, st.st_gid);
    (void)::fchmod(fd, st.st_mode & (S_ISDIR(st.st_mode) ? 07777 : 0777));
  }

  // A folder of the source: entered where the target has a folder of exactly its name,
  // made where the target has nothing of that name, passed over where a file stands.
  static Vysledek Podslozka(int zfd, const std::string& j, const std::string& zp, int cfd,
                            const std::string& cp) {
    struct stat cs {};
    const bool nova = ::fstatat(cfd, j.c_str(), &cs, AT_SYMLINK_NOFOLLOW) != 0;
    if (!nova && !S_ISDIR(cs.st_mode)) return Uspech();
    Popisovac zdroj = OtevritSlozku(zfd, j);
    if (!zdroj.Platny()) return ChybaSystemu(errno, zp, Druh::kSlozka);
    struct stat zs {};
    if (::fstat(zdroj.Fd(), &zs) != 0) return ChybaSystemu(errno, zp, Druh::kSlozka);
    if (nova && ::mkdirat(cfd, j.c_str(), 0700) != 0) return ChybaSystemu(errno, cp, Druh::kSlozka);
    Popisovac cil = OtevritSlozku(cfd, j);
    if (!cil.Platny()) return ChybaSystemu(errno, cp, Druh::kSlozka);
    if (Vysledek v = Slozka(zdroj.Fd(), zp, cil.Fd(), cp); !v.Uspech()) return v;
    if (nova) {
      Prevzit(cil.Fd(), zs);
      const struct timespec casy[2] = {zs.st_atim, zs.st_mtim};
      (void)::futimens(cil.Fd(), casy);
    }
    return Uspech();
  }

  static Vysledek Odkaz(int zfd, const std::string& j, const std::string& zp, int cfd,
                        const std::string& cp, const struct stat& st) {
    std::string cilOdkazu(static_cast<std::size_t>(st.st_size) + 1, '\0');
    for (;;) {
      ssize_t n = ::readlinkat(zfd, j.c_str(), cilOdkazu.data(), cilOdkazu.size());
      if (n < 0) return errno == EINVAL ? Uspech() : ChybaSystemu(errno, zp);
      if (static_cast<std::size_t>(n) < cilOdkazu.size()) {
        cilOdkazu.resize(static_cast<std::size_t>(n));
        break;
      }
      cilOdkazu.resize(cilOdkazu.size() * 2);
    }
    if (::symlinkat(cilOdkazu.c_str(), cfd, j.c_str()) != 0) return ChybaSystemu(errno, cp);
    if (::geteuid() == 0)
      (void)::fchownat(cfd, j.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
    const struct timespec casy[2] = {st.st_atim, st.st_mtim};
    (void)::utimensat(cfd, j.c_str(), casy, AT_SYMLINK_NOFOLLOW);
    return Uspech();
  }

  // A file is made under its own name in the new folder, which nothing uses before the
  // swap; a failed copy removes it again.
  static Vysledek Soubor(int zfd, const std::string& j, const std::string& zp, int cfd,
                         const std::string& cp) {
    Popisovac vstup(
        ::openat(zfd, j.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!vstup.Platny()) return ChybaSystemu(errno, zp);
    struct stat zs {};
    if (::fstat(vstup.Fd(), &zs) != 0) return ChybaSystemu(errno, zp);
    if (!S_ISREG(zs.st_mode)) return Uspech();
    Popisovac vystup(
        ::openat(cfd, j.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!vystup.Platny()) return ChybaSystemu(errno, cp);
    bool cteni = false;
    int e = PrenestData(vstup.Fd(), vystup.Fd(), zs.st_size, cteni);
    if (e == 0) {
      Prevzit(vystup.Fd(), zs);
      const struct timespec casy[2] = {zs.st_atim, zs.st_mtim};
      if (::futimens(vystup.Fd(), casy) != 0) e = errno;
    }
    if (int z = vystup.Zavrit(); e == 0) e = z;
    if (e == 0) return Uspech();
    (void)::unlinkat(cfd, j.c_str(), 0);
    return ChybaSystemu(e, cteni ? zp : cp);
  }
};

// Deletes everything inside the open folder fd (named cesta in messages).
Vysledek SmazatObsah(int fd, const std::string& cesta) {
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
    if ((st.st_mode & S_IRWXU) != S_IRWXU)
      (void)::fchmodat(fd, j.c_str(), (st.st_mode & 07777) | S_IRWXU, AT_SYMLINK_NOFOLLOW);
    {
      Popisovac pod(::openat(fd, j.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!pod.Platny()) return ChybaSystemu(errno, cp, Druh::kSlozka);
      if (Vysledek v = SmazatObsah(pod.Fd(), cp); !v.Uspech()) return v;
    }
    if (::unlinkat(fd, j.c_str(), AT_REMOVEDIR) != 0) return ChybaSystemu(errno, cp, Druh::kSlozka);
  }
  return Uspech();
}

}  // namespace

Vysledek ChybaSystemu(int cislo, const std::string& cesta, Druh druh) {
  switch (cislo) {
    case ENOENT:
      if (druh == Druh::kSoubor && JeSlozka(Rodic(cesta)))
        return {kod::kSouborNenalezen, "Soubor nebyl nalezen."};
      return {kod::kCestaNenalezena, "Cesta nebyla nalezena."};
    case ENOTDIR:
      return {kod::kCestaNenalezena, "Cesta nebyla nalezena."};
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY:
    case EISDIR:
      return {kod::kPristupOdepren, "Přístup byl odepřen."};
    default:
      break;
  }
  if (cislo == 0) cislo = EIO;  // a failure is never reported as success
  const char* cesky = CeskyPopis(cislo);
  return {cislo, cesky ? std::string(cesky) : std::string(std::strerror(cislo))};
}

bool JeSlozka(const std::string& cesta) {
  struct stat st {};
  return !cesta.empty() && ::stat(cesta.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Vysledek ZkopirovatSoubor(const std::string& zdroj, const std::string& cil) {
  // Non-blocking, so that a pipe under the source's name cannot stall the open.
  Popisovac vstup(::open(zdroj.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!vstup.Platny()) return ChybaSystemu(errno, zdroj);
  struct stat zs {};
  if (::fstat(vstup.Fd(), &zs) != 0) return ChybaSystemu(errno, zdroj);
  if (!S_ISREG(zs.st_mode)) return ChybaSystemu(EISDIR, zdroj);  // only files are copied

  struct stat cs {};
  bool nahrazuje = false;
  if (::lstat(cil.c_str(), &cs) == 0) {
    if (S_ISDIR(cs.st_mode)) return ChybaSystemu(EISDIR, cil);
    if (S_ISREG(cs.st_mode) && (cs.st_mode & S_IWUSR) == 0) return ChybaSystemu(EACCES, cil);
    nahrazuje = S_ISREG(cs.st_mode);
  } else if (errno != ENOENT) {
    return ChybaSystemu(errno, cil);
  }

  std::string sablona = Spojit(Rodic(cil), ".zevlon-kopie-XXXXXX");
  std::vector<char> jmeno(sablona.begin(), sablona.end());
  jmeno.push_back('\0');
  Popisovac vystup(::mkostemp(jmeno.data(), O_CLOEXEC));
  if (!vystup.Platny()) return ChybaSystemu(errno, cil);
  DocasnySoubor docasny;
  docasny.Nastavit(jmeno.data());

  bool cteni = false;
  if (int e = PrenestData(vstup.Fd(), vystup.Fd(), zs.st_size, cteni))
    return ChybaSystemu(e, cteni ? zdroj : cil);
  // A replaced file keeps its owner, as an overwrite in place would; not so in a folder
  // that others may write, where the file may have been laid by anyone.
  if (nahrazuje && ::geteuid() == 0 && !VeSdileneSlozce(cil))
    (void)::fchown(vystup.Fd(), cs.st_uid, cs.st_gid);
  if (::fchmod(vystup.Fd(), zs.st_mode & 0777) != 0) return ChybaSystemu(errno, cil);
  const struct timespec casy[2] = {zs.st_atim, zs.st_mtim};
  if (::futimens(vystup.Fd(), casy) != 0) return ChybaSystemu(errno, cil);
  // No flush per file: a rebuild copies thousands of them, and the swap that makes
  // them live flushes the whole file system once first (ZapsatNaDisk).
  if (int e = vystup.Zavrit()) return ChybaSystemu(e, cil);
  if (::rename(docasny.Cesta().c_str(), cil.c_str()) != 0) return ChybaSystemu(errno, cil);
  docasny.Predano();
  return Uspech();
}

Vysledek SmazatSoubor(const std::string& cesta) {
  if (::unlink(cesta.c_str()) != 0) return ChybaSystemu(errno, cesta);
  return Uspech();
}

Vysledek CistAtributy(const std::string& cesta, std::uint32_t& atributy) {
  struct stat st {};
  if (::lstat(cesta.c_str(), &st) != 0) return ChybaSystemu(errno, cesta);
  atributy = atribut::kNormalni;
  if ((st.st_mode & S_IWUSR) == 0) atributy |= atribut::kJenProCteni;
  std::string_view j = Jmeno(cesta);
  if (!j.empty() && j.front() == '.' && j != "." && j != "..") atributy |= atribut::kSkryty;
  if (S_ISDIR(st.st_mode)) atributy |= atribut::kSlozka;
  return Uspech();
}

Vysledek NastavitAtributy(const std::string& cesta, std::uint32_t atributy) {
  struct stat st {};
  if (::lstat(cesta.c_str(), &st) != 0) return ChybaSystemu(errno, cesta);
  // A link has no permissions of its own, and the file it points to is not ours to change.
  if (S_ISLNK(st.st_mode)) return Uspech();
  bool chci = (atributy & atribut::kJenProCteni) != 0;
  bool je = (st.st_mode & S_IWUSR) == 0;
  if (chci == je) return Uspech();
  // A link swapped in meanwhile is refused here, not followed.
  if (::fchmodat(AT_FDCWD, cesta.c_str(), (st.st_mode & 07777) ^ S_IWUSR, AT_SYMLINK_NOFOLLOW) != 0)
    return ChybaSystemu(errno, cesta);
  return Uspech();
}

Vysledek CistUdaje(const std::string& cesta, UdajeSouboru& udaje) {
  struct stat st {};
  if (::stat(cesta.c_str(), &st) != 0) return ChybaSystemu(errno, cesta);
  udaje.casZmeny = st.st_mtim.tv_sec;  // whole seconds, the fraction dropped
  udaje.velikost = st.st_size;
  return Uspech();
}

Vysledek VymenitSlozky(const std::string& a, const std::string& b) {
  std::string x = BezLomitek(a), y = BezLomitek(b);
  if (::renameat2(AT_FDCWD, x.c_str(), AT_FDCWD, y.c_str(), RENAME_EXCHANGE) != 0) {
    int e = errno;
    if (e == EINVAL || e == ENOSYS || e == EOPNOTSUPP) return {EINVAL, "Výměna není podporována."};
    return ChybaSystemu(e, y, Druh::kSlozka);
  }
  Popisovac rodic(::open(Rodic(y).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (rodic.Platny()) (void)::fsync(rodic.Fd());
  return Uspech();
}

Vysledek ZapsatNaDisk(const std::string& cesta) {
  Popisovac fd(::open(cesta.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Platny()) return ChybaSystemu(errno, cesta, Druh::kSlozka);
  if (::syncfs(fd.Fd()) != 0) return ChybaSystemu(errno, cesta, Druh::kSlozka);
  return Uspech();
}

bool TenSamyObjekt(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

Vysledek NastavitCasZmeny(const std::string& cesta, UtcCas cas) {
  timespec casy[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(cas), 0}};
  if (::utimensat(AT_FDCWD, cesta.c_str(), casy, AT_SYMLINK_NOFOLLOW) != 0)
    return ChybaSystemu(errno, cesta);
  return Uspech();
}

Vysledek VytvoritSlozku(const std::string& cesta) {
  if (::mkdir(cesta.c_str(), 0777) != 0) return ChybaSystemu(errno, cesta, Druh::kSlozka);
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

  // Another file system: copy the tree, then delete the source.
  struct stat cs {};
  if (::lstat(c.c_str(), &cs) == 0) return ChybaSystemu(EEXIST, c, Druh::kSlozka);
  if (::mkdir(c.c_str(), 0700) != 0) return ChybaSystemu(errno, c, Druh::kSlozka);
  if (::lstat(c.c_str(), &cs) != 0) return ChybaSystemu(errno, c, Druh::kSlozka);
  KopieStromu kopie{true, cs.st_dev, cs.st_ino};
  if (Vysledek v = kopie.Slozka(z, c); !v.Uspech()) {
    (void)SmazatStrom(c);
    return v;
  }
  KopieStromu::PrevzitSlozku(c, st);
  return SmazatStrom(z);
}

Vysledek Presunout(const std::string& zdroj, const std::string& cil) {
  std::string z = BezLomitek(zdroj), c = BezLomitek(cil);
  int e = PrejmenovatBezNahrazeni(z, c);
  return e == 0 ? Uspech() : ChybaPresunu(e, z, c, Druh::kSoubor);
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
    (void)::fchmodat(AT_FDCWD, p.c_str(), (st.st_mode & 07777) | S_IRWXU, AT_SYMLINK_NOFOLLOW);
  {
    Popisovac fd(::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.Platny()) return ChybaSystemu(errno, p, Druh::kSlozka);
    if (Vysledek v = SmazatObsah(fd.Fd(), p); !v.Uspech()) return v;
  }
  if (::rmdir(p.c_str()) != 0) return ChybaSystemu(errno, p, Druh::kSlozka);
  return Uspech();
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

Vysledek DoplnitStrom(const std::string& zdroj, const std::string& cil) {
  std::string z = BezLomitek(zdroj), c = BezLomitek(cil);
  Popisovac zfd(::open(z.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!zfd.Platny()) return ChybaSystemu(errno, z, Druh::kSlozka);
  Popisovac cfd(::open(c.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!cfd.Platny()) return ChybaSystemu(errno, c, Druh::kSlozka);
  struct stat zs {};
  if (::fstat(zfd.Fd(), &zs) != 0) return ChybaSystemu(errno, z, Druh::kSlozka);
  if (Vysledek v = Doplneni::Slozka(zfd.Fd(), z, cfd.Fd(), c); !v.Uspech()) return v;
  Doplneni::Prevzit(cfd.Fd(), zs);
  return Uspech();
}

bool StejnySystemSouboru(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

Vysledek CistSlozku(const std::string& slozka, std::vector<PolozkaSlozky>& polozky) {
  polozky.clear();
  Adresar d(::opendir(slozka.c_str()));
  if (!d) return ChybaSystemu(errno, slozka, Druh::kSlozka);
  int fd = ::dirfd(d.get());
  for (;;) {
    errno = 0;
    dirent* e = ::readdir(d.get());
    if (!e) {
      if (errno != 0) return ChybaSystemu(errno, slozka, Druh::kSlozka);
      return Uspech();
    }
    std::string_view j = e->d_name;
    if (j == "." || j == "..") continue;
    PolozkaSlozky p;
    p.jmeno = std::string(j);
    unsigned char typ = e->d_type;
    if (typ == DT_UNKNOWN) {
      struct stat st {};
      if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
        typ = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
    }
    p.slozka = typ == DT_DIR;
    p.odkaz = typ == DT_LNK;
    polozky.push_back(std::move(p));
  }
}

}  // namespace zevlon::ss
