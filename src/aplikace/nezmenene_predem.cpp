#include "aplikace/nezmenene_predem.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <optional>

#include "common/na_vlaknech.h"
#include "common/text.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/podpisy/sha256.h"
#include "rozhrani/prubeh.h"
#include "soubory/cesty.h"
#include "soubory/operace_slozek.h"

namespace zevlon {

namespace {

// Between rounds the window is kept alive and the run may be stopped. A round takes at most
// 64 groups (two descriptors open each, well below the limit of a process) of at most 128
// files each, and for copies at most 64 MiB.
constexpr std::size_t kSkupinNaraz = 64;
constexpr std::size_t kSouboruVeSkupine = 128;
constexpr std::int64_t kBajtuNaraz = std::int64_t{64} << 20;
constexpr unsigned kNejvicVlaken = 4;

// Files of one folder of the new tree that come from one folder of the live one.
struct Skupina {
  std::string cil, zdroj;  // relative folders, "" or ending with "/"
  std::vector<std::size_t> soubory;
  std::int64_t bajtu = 0;
  Popisovac cilFd, zdrojFd;
};

// Links `jmenoZdroje` in `zdroj` (AT_FDCWD with a path) as `jmeno` in `cil`; true with the
// link's status in `st` when it is the very file the scan saw (`r.Stav`, status-change time
// included, right before the link; all but that time, which the link changes, right after
// it) and holds the line's time where the line is known by its SHA-256. Otherwise nothing
// stays placed. (A write in place that restores the file's time between the check and the
// link is the one change that still passes.)
bool Propojit(const InstalovanySoubor& s, const InstalovanySoubor& r, int zdroj,
              const char* jmenoZdroje, int cil, const char* jmeno, struct stat& st) {
  {
    const Popisovac fd(::openat(zdroj, jmenoZdroje, kCteniMistnich));
    struct stat pred {};
    if (!fd.Platny() || ::fstat(fd.Fd(), &pred) != 0 || !S_ISREG(pred.st_mode) ||
        !(KlicSouboru::Z(pred) == r.Stav))
      return false;
  }
  if (::linkat(zdroj, jmenoZdroje, cil, jmeno, 0) != 0) return false;
  const bool ten =
      ::fstatat(cil, jmeno, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) && [&] {
        const KlicSouboru k = KlicSouboru::Z(st);
        return k.zarizeni == r.Stav.zarizeni && k.inode == r.Stav.inode &&
               k.velikost == r.Stav.velikost && k.zmena == r.Stav.zmena;
      }();
  // A file known by its SHA-256 takes the line's time, as a copy does.
  const struct timespec casy[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(s.Datum), 0}};
  if (!ten ||
      (JeSha256(s.Sha256) && (st.st_mtim.tv_sec != casy[1].tv_sec || st.st_mtim.tv_nsec != 0) &&
       (::utimensat(cil, jmeno, casy, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::fstatat(cil, jmeno, &st, AT_SYMLINK_NOFOLLOW) != 0))) {
    ::unlinkat(cil, jmeno, 0);
    return false;
  }
  return true;
}

// Copies `jmenoZdroje` in `zdroj` (AT_FDCWD with a path) as `jmeno` in `cil` when it is the
// very file the scan saw (`r.Stav`, status-change time included) and was not written to while
// it was read; true with the copy's status in `st`. The copy takes the line's time where the
// line is known by its SHA-256. Otherwise nothing stays placed.
bool Zkopirovat(const InstalovanySoubor& s, const InstalovanySoubor& r, int zdroj,
                const char* jmenoZdroje, int cil, const char* jmeno, const std::string& nova,
                struct stat& st) {
  Popisovac fd(::openat(zdroj, jmenoZdroje, kCteniMistnich));
  struct stat pred {};
  if (!fd.Platny() || ::fstat(fd.Fd(), &pred) != 0 || !S_ISREG(pred.st_mode) ||
      !(KlicSouboru::Z(pred) == r.Stav))
    return false;
  bool zmenen = true;
  const ss::Vysledek v = ss::ZkopirovatOtevrenyDo(
      fd.Fd(), pred, r.Cesta, {cil, jmeno, nova + s.Cesta},
      JeSha256(s.Sha256) ? std::optional<UtcCas>(s.Datum) : std::nullopt, &zmenen);
  if (!v.Uspech() || zmenen) return false;
  if (::fstatat(cil, jmeno, &st, AT_SYMLINK_NOFOLLOW) == 0) return true;
  ::unlinkat(cil, jmeno, 0);
  return false;
}

}  // namespace

Popisovac OtevritZdrojovou(int koren, const std::string& relativni) {
  Popisovac fd(::fcntl(koren, F_DUPFD_CLOEXEC, 0));
  for (std::size_t zacatek = 0; fd.Platny() && zacatek < relativni.size();) {
    std::size_t konec = relativni.find('/', zacatek);
    if (konec == std::string::npos) konec = relativni.size();
    const std::string cast = relativni.substr(zacatek, konec - zacatek);
    zacatek = konec + 1;
    if (!cast.empty())
      fd = Popisovac(
          ::openat(fd.Fd(), cast.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return fd;
}

std::vector<PolozenoPredem> PolozitNezmenenePredem(
    const std::vector<const InstalovanySoubor*>& soubory,
    const std::vector<std::shared_ptr<InstalovanySoubor>>& mistni,
    const std::vector<char>& kopirovat, const std::string& puvodni, int zdrojovyKoren,
    const std::string& nova, int koren, bool odkazy) {
  std::vector<PolozenoPredem> vysledek(soubory.size());
  std::vector<Skupina> skupiny;
  for (std::size_t i = 0; i < soubory.size(); ++i) {
    if (!kopirovat[i] || !mistni[i]) continue;
    std::string cil, zdroj, jmeno;
    RozdelitCestu(soubory[i]->Cesta, cil, jmeno);
    RozdelitCestu(mistni[i]->Cesta, zdroj, jmeno);
    if (skupiny.empty() || skupiny.back().cil != cil || skupiny.back().zdroj != zdroj ||
        skupiny.back().soubory.size() >= kSouboruVeSkupine)
      skupiny.push_back({cil, zdroj, {}, 0, {}, {}});
    skupiny.back().soubory.push_back(i);
    skupiny.back().bajtu += std::max<std::int64_t>(mistni[i]->Velikost, 0);
  }
  for (std::size_t od = 0, po = 0; od < skupiny.size(); od = po) {
    if (od > 0)
      ZobrazPrubeh("", "Kopíruje se " + soubory[skupiny[od - 1].soubory.back()]->Cesta, -1, 0, -1,
                   true, false);
    OveritPreruseni();
    std::int64_t bajtu = 0;
    do
      bajtu += skupiny[po++].bajtu;
    while (po < skupiny.size() && po - od < kSkupinNaraz && (odkazy || bajtu < kBajtuNaraz));
    for (std::size_t g = od; g < po; ++g) {
      Skupina& k = skupiny[g];
      k.cilFd = OtevritPodslozku(koren, nova, k.cil, true);
      if (zdrojovyKoren >= 0) k.zdrojFd = OtevritZdrojovou(zdrojovyKoren, k.zdroj);
    }
    // Each thread takes the next folder; each file's outcome goes to its own slot.
    std::atomic<std::size_t> dalsi{od};
    auto prace = [&]() noexcept {
      std::string cesta;
      for (std::size_t g; (g = dalsi.fetch_add(1)) < po;) {
        const Skupina& k = skupiny[g];
        for (std::size_t i : k.soubory) {
          const InstalovanySoubor& r = *mistni[i];
          const char* jmeno = soubory[i]->Cesta.c_str() + k.cil.size();
          // A local folder that cannot be opened is gone by its path.
          int zdroj = k.zdrojFd.Fd();
          const char* jmenoZdroje = r.Cesta.c_str() + k.zdroj.size();
          if (!k.zdrojFd.Platny()) {
            try {
              cesta = puvodni + r.Cesta;
            } catch (...) {
              continue;
            }
            zdroj = AT_FDCWD;
            jmenoZdroje = cesta.c_str();
          }
          try {
            vysledek[i].hotovo = odkazy ? Propojit(*soubory[i], r, zdroj, jmenoZdroje, k.cilFd.Fd(),
                                                   jmeno, vysledek[i].st)
                                        : Zkopirovat(*soubory[i], r, zdroj, jmenoZdroje,
                                                     k.cilFd.Fd(), jmeno, nova, vysledek[i].st);
          } catch (...) {
            // Out of memory: the rebuild's own pass tries the file again.
          }
        }
      }
    };
    NaVlaknech(static_cast<unsigned>(std::min<std::size_t>(kNejvicVlaken, po - od)), prace);
    for (std::size_t g = od; g < po; ++g) {
      skupiny[g].cilFd = Popisovac();
      skupiny[g].zdrojFd = Popisovac();
    }
  }
  return vysledek;
}

}  // namespace zevlon
