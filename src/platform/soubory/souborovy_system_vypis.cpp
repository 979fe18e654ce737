// Folder listings: by path (CistSlozku), of an open folder (JmenaVeSlozce), and what one
// tree holds that another lacks (ChybejiciVCili).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string_view>

#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/souborovy_system_pomucky.h"
#include "platform/soubory/znacka_slozky.h"

namespace zevlon::ss {

namespace {

struct ZavritAdresar {
  void operator()(DIR* d) const { ::closedir(d); }
};
using Adresar = std::unique_ptr<DIR, ZavritAdresar>;

}  // namespace

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

Vysledek ChybejiciVCili(const std::string& zdroj, const std::string& cil, std::size_t max,
                        std::vector<std::string>& chybejici, std::size_t& celkem) {
  chybejici.clear();
  celkem = 0;
  std::vector<std::string> zbyva{""};
  while (!zbyva.empty()) {
    const std::string rel = std::move(zbyva.back());
    zbyva.pop_back();
    std::vector<PolozkaSlozky> polozky;
    if (Vysledek v = CistSlozku(Spojit(zdroj, rel), polozky); !v.Uspech()) return v;
    std::sort(polozky.begin(), polozky.end(),
              [](const PolozkaSlozky& a, const PolozkaSlozky& b) { return a.jmeno < b.jmeno; });
    std::vector<std::string> podslozky;
    for (const PolozkaSlozky& p : polozky) {
      if (JeVlastniSouborZevlonu(p.jmeno)) continue;
      const std::string r = rel.empty() ? p.jmeno : rel + "/" + p.jmeno;
      struct stat st {};
      if (::lstat(Spojit(cil, r).c_str(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) return ChybaSystemu(errno, Spojit(cil, r));
        if (chybejici.size() < max) chybejici.push_back(r);
        ++celkem;
      } else if (p.slozka && S_ISDIR(st.st_mode)) {
        podslozky.push_back(r);
      }
    }
    zbyva.insert(zbyva.end(), podslozky.rbegin(), podslozky.rend());
  }
  return Uspech();
}

}  // namespace zevlon::ss
