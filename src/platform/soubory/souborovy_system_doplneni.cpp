// The merge of one tree into another (DoplnitStrom): what the target already holds wins.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/souborovy_system_pomucky.h"
#include "platform/soubory/znacka_slozky.h"

namespace zevlon::ss {

namespace {

// A failure of the merge names the file or folder it concerns, for the message that the
// whole merge failed.
Vysledek Pojmenovana(int cislo, const std::string& cesta, Druh druh = Druh::kSoubor) {
  Vysledek v = ChybaSystemu(cislo, cesta, druh);
  v.popis = cesta + ": " + v.popis;
  return v;
}

// A merge of one folder into another, walked through descriptors opened without
// following links, so that nothing swapped in under a name after it was looked at
// leads the copy out of the source tree. What is copied takes its owner and mode from
// the descriptor that was read.
//
// The walk holds the descriptors of one folder pair at a time, however deep the tree:
// each folder waits in a list with its names from the two roots and the identity
// (device, inode) of every level as it was first seen, and is reached again level by
// level when its turn comes; a level that is no longer the folder seen stops the merge.
struct Doplneni {
  struct Uroven {
    std::string jmeno, cilJmeno;  // in the source, in the target
    dev_t zz = 0, cz = 0;         // the source's and the target's device and inode
    ino_t zu = 0, cu = 0;
  };
  struct Ukol {
    std::vector<Uroven> cesta;  // below the roots
    struct stat zs {};          // the source folder, for a folder the merge made
  };

  int zkoren, ckoren;
  std::string z, c;
  ZmenyDoplneni* zmeny;
  std::vector<Ukol> nove;  // folders made, in the order made
  // A carry (DorovnatStrom): what the merge saw; only what changed since is carried.
  const VidenyStrom* dorovnat = nullptr;

  static std::string Cesta(std::string koren, const std::vector<Uroven>& cesta, bool zdroj) {
    for (const Uroven& u : cesta)
      koren = Spojit(koren, zdroj ? u.jmeno : u.cilJmeno);
    return koren;
  }

  // The folder at the end of the path below the root, reached level by level.
  static Vysledek Dojit(int koren, const std::string& korenCesta, const std::vector<Uroven>& cesta,
                        bool zdroj, Popisovac& fd) {
    fd = Popisovac(::fcntl(koren, F_DUPFD_CLOEXEC, 0));
    if (!fd.Platny()) return Pojmenovana(errno, korenCesta, Druh::kSlozka);
    std::string p = korenCesta;
    for (const Uroven& u : cesta) {
      p = Spojit(p, zdroj ? u.jmeno : u.cilJmeno);
      Popisovac dalsi = OtevritSlozku(fd.Fd(), zdroj ? u.jmeno : u.cilJmeno);
      struct stat st {};
      if (!dalsi.Platny() || ::fstat(dalsi.Fd(), &st) != 0)
        return Pojmenovana(errno, p, Druh::kSlozka);
      if (st.st_dev != (zdroj ? u.zz : u.cz) || st.st_ino != (zdroj ? u.zu : u.cu))
        return Pojmenovana(ENOENT, p, Druh::kSlozka);  // replaced during the merge
      fd = std::move(dalsi);
    }
    return Uspech();
  }

  Vysledek Provest() {
    std::vector<Ukol> zbyva{Ukol{}};
    while (!zbyva.empty()) {
      Ukol u = std::move(zbyva.back());
      zbyva.pop_back();
      Popisovac zfd, cfd;
      if (Vysledek v = Dojit(zkoren, z, u.cesta, true, zfd); !v.Uspech()) return v;
      if (Vysledek v = Dojit(ckoren, c, u.cesta, false, cfd); !v.Uspech()) return v;
      if (Vysledek v = Slozka(zfd.Fd(), Cesta(z, u.cesta, true), cfd.Fd(), Cesta(c, u.cesta, false),
                              u, zbyva);
          !v.Uspech())
        return v;
    }
    // A folder made takes its source's owner, mode and times once everything in it is
    // there, the deepest first.
    for (auto n = nove.rbegin(); n != nove.rend(); ++n) {
      Popisovac fd;
      if (Vysledek v = Dojit(ckoren, c, n->cesta, false, fd); !v.Uspech()) return v;
      Prevzit(fd.Fd(), n->zs);
      const struct timespec casy[2] = {n->zs.st_atim, n->zs.st_mtim};
      (void)::futimens(fd.Fd(), casy);
    }
    return Uspech();
  }

  Vysledek Slozka(int zfd, const std::string& z, int cfd, const std::string& c, const Ukol& u,
                  std::vector<Ukol>& zbyva) {
    std::vector<std::string> jmena;
    if (Vysledek v = JmenaVeSlozce(zfd, z, jmena); !v.Uspech()) return v;
    std::vector<std::string> vCili;
    if (Vysledek v = JmenaVeSlozce(cfd, c, vCili); !v.Uspech()) return v;
    // Names taken, in any letter case: the target's, the source's and those given here.
    std::set<std::string> slozena;
    for (const auto* seznam : {&vCili, &jmena})
      for (const std::string& j : *seznam)
        slozena.insert(SlozitVelikost(j));
    const std::set<std::string> presne(vCili.begin(), vCili.end());
    for (const std::string& j : jmena) {
      // A mark tells its own folder, never a copy; a half-written file is nobody's.
      if (JeVlastniSouborZevlonu(j)) continue;
      const std::string zp = Spojit(z, j);
      struct stat st {};
      if (::fstatat(zfd, j.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) continue;
        return Pojmenovana(errno, zp);
      }
      const std::string rel = Relativni(u.cesta, j);
      const VidenaPolozka* videna = nullptr;
      if (dorovnat) {
        if (auto it = dorovnat->find(rel); it != dorovnat->end()) videna = &it->second;
        if (videna && !S_ISDIR(st.st_mode) && Nezmenena(*videna, st)) continue;
      }
      if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        // Devices, pipes and sockets have no place in an installation.
        if (zmeny && !videna) zmeny->vynechano.push_back(zp);
        if (!dorovnat) Videt(rel, st, "", {});
        continue;
      }
      if (dorovnat) {
        if (Vysledek v = Prenest(zfd, j, zp, st, videna, cfd, c, vCili, slozena, u, zbyva);
            !v.Uspech())
          return v;
        continue;
      }
      // Where the target has an entry of the name: a folder into a folder of exactly the
      // name is merged; a file or link where the target has one of exactly its name gives
      // way to it (the release's); anything else clashes and keeps a name of its own.
      struct stat cs {};
      const bool stejne =
          presne.count(j) && ::fstatat(cfd, j.c_str(), &cs, AT_SYMLINK_NOFOLLOW) == 0;
      std::string jc = j;
      if (stejne && S_ISDIR(st.st_mode) == S_ISDIR(cs.st_mode)) {
        if (!S_ISDIR(st.st_mode)) {
          Videt(rel, st, "", {});
          continue;
        }
      } else if (stejne || (!presne.count(j) && JinaVelikostVCili(vCili, j))) {
        jc = VolneJmeno(j, slozena);
        if (zmeny) zmeny->prejmenovano.emplace_back(zp, Spojit(c, jc));
      }
      const std::string cp = Spojit(c, jc);
      Vysledek v;
      if (S_ISDIR(st.st_mode)) {
        v = Podslozka(j, jc, st, cfd, cp, u, zbyva);
      } else if (S_ISLNK(st.st_mode)) {
        v = Odkaz(zfd, j, zp, cfd, jc, cp, st);
      } else {
        v = Soubor(zfd, j, zp, cfd, jc, cp);
      }
      if (!v.Uspech()) return v;
      struct stat kopie {};
      if (S_ISDIR(st.st_mode) || ::fstatat(cfd, jc.c_str(), &kopie, AT_SYMLINK_NOFOLLOW) != 0)
        kopie = {};
      Videt(rel, st, jc, kopie);
    }
    return Uspech();
  }

  static std::string Relativni(const std::vector<Uroven>& cesta, const std::string& j) {
    std::string r;
    for (const Uroven& u : cesta)
      r += u.jmeno + "/";
    return r + j;
  }

  // Notes what the merge saw of a source entry and where it went.
  void Videt(const std::string& rel, const struct stat& st, const std::string& cilJmeno,
             const struct stat& kopie) {
    if (!zmeny || !zmeny->videno) return;
    (*zmeny->videno)[rel] = {st.st_dev,     st.st_ino,  kopie.st_ino,
                             st.st_size,    st.st_mtim, st.st_ctim,
                             kopie.st_ctim, cilJmeno,   S_ISDIR(st.st_mode)};
  }

  // Whether the entry is the one the merge saw, unchanged: any write, truncation, mode
  // change or replacement shows in its identity, size or times.
  static bool Nezmenena(const VidenaPolozka& v, const struct stat& st) {
    return !v.slozka && v.zarizeni == st.st_dev && v.uzel == st.st_ino &&
           v.velikost == st.st_size && v.zmena.tv_sec == st.st_mtim.tv_sec &&
           v.zmena.tv_nsec == st.st_mtim.tv_nsec && v.stav.tv_sec == st.st_ctim.tv_sec &&
           v.stav.tv_nsec == st.st_ctim.tv_nsec;
  }

  // A carry of one entry that changed or is new (see DorovnatStrom).
  Vysledek Prenest(int zfd, const std::string& j, const std::string& zp, const struct stat& st,
                   const VidenaPolozka* videna, int cfd, const std::string& c,
                   const std::vector<std::string>& vCili, std::set<std::string>& slozena,
                   const Ukol& u, std::vector<Ukol>& zbyva) {
    const bool volne = !std::count(vCili.begin(), vCili.end(), j) && !JinaVelikostVCili(vCili, j);
    struct stat cs {};
    if (S_ISDIR(st.st_mode)) {
      // Into the folder the merge made or merged it into, while that is still a folder.
      std::string jc = videna && videna->slozka && !videna->cilJmeno.empty() ? videna->cilJmeno : j;
      const bool existuje = ::fstatat(cfd, jc.c_str(), &cs, AT_SYMLINK_NOFOLLOW) == 0;
      if (!(existuje ? S_ISDIR(cs.st_mode) : (jc != j || volne))) {
        jc = VolneJmeno(j, slozena);
      }
      return Podslozka(j, jc, st, cfd, Spojit(c, jc), u, zbyva);
    }
    std::string jc = j;
    bool nahradit = false;
    // The merge's copy untouched since it was made (a write, a rename or a new file there
    // moves its status-change time), else the new content keeps a name of its own.
    if (videna && videna->kopie != 0 &&
        ::fstatat(cfd, videna->cilJmeno.c_str(), &cs, AT_SYMLINK_NOFOLLOW) == 0 &&
        cs.st_ino == videna->kopie && cs.st_ctim.tv_sec == videna->stavKopie.tv_sec &&
        cs.st_ctim.tv_nsec == videna->stavKopie.tv_nsec &&
        (cs.st_mode & S_IFMT) == (st.st_mode & S_IFMT)) {
      jc = videna->cilJmeno;  // still the merge's own copy: the new content takes its place
      nahradit = true;
    } else if (!volne) {
      jc = VolneJmeno(j, slozena);
    }
    const std::string cp = Spojit(c, jc);
    bool preneseno = false;
    if (Vysledek v = Umistit(zfd, j, zp, cfd, jc, cp, st, nahradit, &preneseno); !v.Uspech())
      return v;
    if (preneseno && zmeny) zmeny->preneseno.emplace_back(zp, cp);
    return Uspech();
  }

  // A file or link copied under a hidden name of its own, then renamed to `jc`: over what
  // stands there only with `nahradit`.
  static Vysledek Umistit(int zfd, const std::string& j, const std::string& zp, int cfd,
                          const std::string& jc, const std::string& cp, const struct stat& st,
                          bool nahradit, bool* preneseno) {
    static constexpr char kZnaky[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char nahoda[10];
    if (::getrandom(nahoda, sizeof nahoda, 0) != static_cast<ssize_t>(sizeof nahoda))
      return Pojmenovana(errno, cp);
    std::string docasne(kPredponaRozepsanych);
    for (unsigned char n : nahoda)
      docasne += kZnaky[n % (sizeof kZnaky - 1)];
    Vysledek v = S_ISLNK(st.st_mode) ? Odkaz(zfd, j, zp, cfd, docasne, cp, st)
                                     : Soubor(zfd, j, zp, cfd, docasne, cp);
    if (!v.Uspech()) return v;
    struct stat ds {};
    if (::fstatat(cfd, docasne.c_str(), &ds, AT_SYMLINK_NOFOLLOW) != 0)
      return Uspech();  // no longer a file or link: nothing to carry
    // The content reaches the disk before it takes the name (a link has none of its own).
    if (S_ISREG(ds.st_mode)) {
      Popisovac f(::openat(cfd, docasne.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
      if (!f.Platny() || ::fsync(f.Fd()) != 0) {
        const int e = errno;
        (void)::unlinkat(cfd, docasne.c_str(), 0);
        return Pojmenovana(e, cp);
      }
    }
    int e = 0;
    if (nahradit) {
      if (::renameat(cfd, docasne.c_str(), cfd, jc.c_str()) != 0) e = errno;
    } else if (::renameat2(cfd, docasne.c_str(), cfd, jc.c_str(), RENAME_NOREPLACE) != 0) {
      e = errno;
      // A file system that cannot refuse a rename's target: a new link refuses it.
      if (e == EINVAL) e = ::linkat(cfd, docasne.c_str(), cfd, jc.c_str(), 0) == 0 ? 0 : errno;
      if (e == 0) (void)::unlinkat(cfd, docasne.c_str(), 0);
    }
    if (e != 0) {
      (void)::unlinkat(cfd, docasne.c_str(), 0);
      return Pojmenovana(e, cp);
    }
    *preneseno = true;
    return Uspech();
  }

  // Whether the target has an entry of the name in another letter case.
  static bool JinaVelikostVCili(const std::vector<std::string>& vCili, const std::string& j) {
    const std::string s = SlozitVelikost(j);
    for (const std::string& c : vCili)
      if (SlozitVelikost(c) == s) return true;
    return false;
  }

  // "<name>.uzivatel", then ".uzivatel2", ... : the first that no name takes in any letter
  // case; it is taken from then on.
  static std::string VolneJmeno(const std::string& j, std::set<std::string>& slozena) {
    for (int n = 1;; ++n) {
      std::string k = j + ".uzivatel" + (n > 1 ? std::to_string(n) : std::string());
      if (slozena.insert(SlozitVelikost(k)).second) return k;
    }
  }

  static Popisovac OtevritSlozku(int fd, const std::string& jmeno) {
    return Popisovac(::openat(fd, jmeno.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }

  static void Prevzit(int fd, const struct stat& st) {
    if (::geteuid() == 0) Nepovinne(::fchown(fd, st.st_uid, st.st_gid));
    (void)::fchmod(fd, st.st_mode & (S_ISDIR(st.st_mode) ? 07777 : 0777));
  }

  // A folder of the source: walked later where the target has a folder of exactly its
  // name, made (and walked later) where the target has nothing of that name, passed over
  // where a file stands.
  Vysledek Podslozka(const std::string& j, const std::string& jc, const struct stat& zs, int cfd,
                     const std::string& cp, const Ukol& u, std::vector<Ukol>& zbyva) {
    struct stat cs {};
    const bool nova = ::fstatat(cfd, jc.c_str(), &cs, AT_SYMLINK_NOFOLLOW) != 0;
    if (!nova && !S_ISDIR(cs.st_mode)) return Pojmenovana(EEXIST, cp, Druh::kSlozka);
    if (nova && (::mkdirat(cfd, jc.c_str(), 0700) != 0 ||
                 ::fstatat(cfd, jc.c_str(), &cs, AT_SYMLINK_NOFOLLOW) != 0))
      return Pojmenovana(errno, cp, Druh::kSlozka);
    Ukol dalsi{u.cesta, zs};
    dalsi.cesta.push_back({j, jc, zs.st_dev, cs.st_dev, zs.st_ino, cs.st_ino});
    if (nova) nove.push_back(dalsi);
    zbyva.push_back(std::move(dalsi));
    return Uspech();
  }

  static Vysledek Odkaz(int zfd, const std::string& j, const std::string& zp, int cfd,
                        const std::string& jc, const std::string& cp, const struct stat& st) {
    std::string cilOdkazu(static_cast<std::size_t>(st.st_size) + 1, '\0');
    for (;;) {
      ssize_t n = ::readlinkat(zfd, j.c_str(), cilOdkazu.data(), cilOdkazu.size());
      if (n < 0) return errno == EINVAL ? Uspech() : Pojmenovana(errno, zp);
      if (static_cast<std::size_t>(n) < cilOdkazu.size()) {
        cilOdkazu.resize(static_cast<std::size_t>(n));
        break;
      }
      cilOdkazu.resize(cilOdkazu.size() * 2);
    }
    if (::symlinkat(cilOdkazu.c_str(), cfd, jc.c_str()) != 0) return Pojmenovana(errno, cp);
    if (::geteuid() == 0)
      Nepovinne(::fchownat(cfd, jc.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW));
    const struct timespec casy[2] = {st.st_atim, st.st_mtim};
    (void)::utimensat(cfd, jc.c_str(), casy, AT_SYMLINK_NOFOLLOW);
    return Uspech();
  }

  // A file is made under its own name in the new folder, which nothing uses before the
  // swap; a failed copy removes it again.
  static Vysledek Soubor(int zfd, const std::string& j, const std::string& zp, int cfd,
                         const std::string& jc, const std::string& cp) {
    Popisovac vstup(
        ::openat(zfd, j.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!vstup.Platny()) return Pojmenovana(errno, zp);
    struct stat zs {};
    if (::fstat(vstup.Fd(), &zs) != 0) return Pojmenovana(errno, zp);
    if (!S_ISREG(zs.st_mode)) return Uspech();
    Popisovac vystup(
        ::openat(cfd, jc.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!vystup.Platny()) return Pojmenovana(errno, cp);
    bool cteni = false;
    int e = PrenestData(vstup.Fd(), vystup.Fd(), zs.st_size, cteni);
    if (e == 0) {
      Prevzit(vystup.Fd(), zs);
      const struct timespec casy[2] = {zs.st_atim, zs.st_mtim};
      if (::futimens(vystup.Fd(), casy) != 0) e = errno;
    }
    if (int z = vystup.Zavrit(); e == 0) e = z;
    if (e == 0) return Uspech();
    (void)::unlinkat(cfd, jc.c_str(), 0);
    return Pojmenovana(e, cteni ? zp : cp);
  }
};

}  // namespace

namespace {

Vysledek Sloucit(const std::string& zdroj, const std::string& cil, ZmenyDoplneni* zmeny,
                 const VidenyStrom* dorovnat) {
  std::string z = BezLomitek(zdroj), c = BezLomitek(cil);
  Popisovac zfd(::open(z.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!zfd.Platny()) return ChybaSystemu(errno, z, Druh::kSlozka);
  Popisovac cfd(::open(c.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!cfd.Platny()) return ChybaSystemu(errno, c, Druh::kSlozka);
  struct stat zs {};
  if (::fstat(zfd.Fd(), &zs) != 0) return ChybaSystemu(errno, z, Druh::kSlozka);
  if (Vysledek v = Doplneni{zfd.Fd(), cfd.Fd(), z, c, zmeny, {}, dorovnat}.Provest(); !v.Uspech())
    return v;
  if (!dorovnat) Doplneni::Prevzit(cfd.Fd(), zs);
  return Uspech();
}

}  // namespace

Vysledek DoplnitStrom(const std::string& zdroj, const std::string& cil, ZmenyDoplneni* zmeny) {
  return Sloucit(zdroj, cil, zmeny, nullptr);
}

Vysledek DorovnatStrom(const std::string& zdroj, const std::string& cil, const VidenyStrom& videno,
                       ZmenyDoplneni* zmeny) {
  return Sloucit(zdroj, cil, zmeny, &videno);
}

}  // namespace zevlon::ss
