#include "aplikace/delty_slozky.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "aplikace/zaznam_souctu.h"
#include "common/adresa.h"
#include "common/chyba.h"
#include "common/text.h"
#include "platform/soubory/soubor.h"
#include "prenos/delty/zstd_delta.h"
#include "prenos/podpisy/sha256.h"
#include "prenos/stahovani/stahovani.h"
#include "prenos/zip/zip32_pomucky.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/stav.h"
#include "soubory/log.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

// The whole content of an open regular file of `velikost` bytes, read (never mapped: a file
// that others may change could be cut short under a mapping); nullopt when it has another
// size by now or cannot be read.
std::optional<std::string> Precist(int fd, std::int64_t velikost) {
  std::string obsah(static_cast<std::size_t>(velikost), '\0');
  std::size_t hotovo = 0;
  while (hotovo < obsah.size()) {
    const ssize_t n =
        ::pread(fd, obsah.data() + hotovo, obsah.size() - hotovo, static_cast<off_t>(hotovo));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    hotovo += static_cast<std::size_t>(n);
  }
  char navic = 0;
  if (::pread(fd, &navic, 1, static_cast<off_t>(hotovo)) != 0) return std::nullopt;
  return obsah;
}

// Writes the result as a new file with the line's time and the given mode.
bool Zapsat(const std::string& cil, const std::string& obsah, mode_t rezim, UtcCas cas) {
  Popisovac fd(::open(cil.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.Platny()) return false;
  std::size_t hotovo = 0;
  while (hotovo < obsah.size()) {
    const ssize_t n = ::write(fd.Fd(), obsah.data() + hotovo, obsah.size() - hotovo);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    hotovo += static_cast<std::size_t>(n);
  }
  const struct timespec casy[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(cas), 0}};
  const bool dobre = hotovo == obsah.size() &&
                     ::fchmod(fd.Fd(), rezim & 0777 & ~zip32::ZakazaneBity()) == 0 &&
                     ::futimens(fd.Fd(), casy) == 0 && fd.Zavrit() == 0;
  if (!dobre) ::unlink(cil.c_str());
  return dobre;
}

}  // namespace

DeltySlozky::DeltySlozky(const std::string& TempSlozka, const std::string& UrlServeru,
                         const UvedeneDelty& uvedene)
    : url_(UrlServeru) {
  if (!uvedene.uvedeny) return;
  if (Orezat(CistIni(CestaVolebIni(), "Server", kKlicDelty), " \t") == "0") return;
  const std::string seznam = TempSlozka + kSeznamDelt;
  const std::string nazev = BezPristupovychUdaju(UrlServeru) + kSeznamDelt + ".zip";
  std::string proc;
  try {
    (void)::unlink(seznam.c_str());
    StahnoutARozbalit(UrlServeru + kSeznamDelt + ".zip", TempSlozka, kSeznamDelt, "",
                      kBalicekSnapshotu);
    AktualniPolozka.clear();
    const std::optional<std::string> bajty = NacistSoubor(seznam);
    (void)::unlink(seznam.c_str());
    if (!bajty)
      proc = "nelze jej přečíst";
    else if (uvedene.sha256 && Sha256(*bajty) != *uvedene.sha256)
      proc = "nemá kontrolní součet, který uvádějí podepsané informace o vydání";
    else
      for (Delta& d : NacistSeznamDelt(*bajty, nazev))
        podleCesty_[d.Cesta].push_back(std::move(d));
  } catch (const Chyba& c) {
    if (c.JeZruseni()) throw;
    AktualniPolozka.clear();
    (void)::unlink(seznam.c_str());
    proc = c.what();
  }
  if (!proc.empty())
    ZapsatDoLogu(kPrenosovyLog, "Seznam rozdílů " + nazev + " nelze použít (" + proc +
                                    "), soubory se stahují celé.");
}

void DeltySlozky::Zalogovat(const std::string& cesta, const std::string& proc) const {
  ZapsatDoLogu(kPrenosovyLog, "Rozdíl souboru " + BezPristupovychUdaju(url_) + cesta +
                                  " nelze použít (" + proc + "), soubor se stahuje celý.");
}

const Delta* DeltySlozky::Vybrat(const InstalovanySoubor& s, const InstalovanySoubor& r,
                                 const std::string& slozka, ZaznamSouctu& zaznam) {
  const auto it = podleCesty_.find(s.Cesta);
  if (it == podleCesty_.end() || !JeSha256(s.Sha256)) return nullptr;
  if (s.Velikost > kMaxDelta || r.Velikost > kMaxDelta) {
    Zalogovat(s.Cesta, "soubor je větší než 1 GiB");
    return nullptr;
  }
  std::optional<std::string_view> soucet = zaznam.Zname(r.Stav);
  if (!soucet) {
    struct stat st {};
    Popisovac fd(::open((slozka + r.Cesta).c_str(), kCteniMistnich));
    if (fd.Platny() && ::fstat(fd.Fd(), &st) == 0 && S_ISREG(st.st_mode))
      soucet = zaznam.Soucet(fd.Fd(), st);
  }
  // Never larger than the file's own archive may be: a fallback then costs at most that.
  const std::int64_t strop = NejvetsiArchiv(BalicekSouboru(s.Velikost));
  for (const Delta& d : it->second)
    if (soucet && d.Zaklad == *soucet && d.Vysledek == s.Sha256 && d.Velikost <= strop) return &d;
  Zalogovat(s.Cesta, "seznam rozdílů nemá rozdíl k instalované verzi souboru");
  return nullptr;
}

bool DeltySlozky::Pouzit(const Delta& d, const InstalovanySoubor& s, const std::string& zdroj,
                         const std::string& delta, const std::string& cil) {
  std::string proc;
  auto pouzit = [&] {
    struct stat st {};
    Popisovac fd(::open(zdroj.c_str(), kCteniMistnich));
    if (!fd.Platny() || ::fstat(fd.Fd(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > kMaxDelta) {
      proc = "instalovaný soubor nelze přečíst";
      return;
    }
    const std::optional<std::string> zaklad = Precist(fd.Fd(), st.st_size);
    if (!zaklad || Sha256(*zaklad) != d.Zaklad) {
      proc = "instalovaný soubor se mezitím změnil";
      return;
    }
    const std::optional<std::string> rozdil = NacistSoubor(delta);
    if (!rozdil || static_cast<std::int64_t>(rozdil->size()) != d.Velikost) {
      proc = "rozdíl nemá velikost ze seznamu rozdílů";
      return;
    }
    const std::optional<std::string> novy = PouzitDeltu(*zaklad, *rozdil, s.Velikost, &proc);
    if (!novy) return;
    if (Sha256(*novy) != s.Sha256) {
      proc = "výsledek nemá kontrolní součet ze seznamu souborů";
      return;
    }
    if (!Zapsat(cil, *novy, st.st_mode, s.Datum)) proc = "výsledek nelze zapsat";
  };
  try {
    pouzit();
  } catch (const std::bad_alloc&) {
    proc = "nedostatek paměti";
  }
  (void)::unlink(delta.c_str());
  if (!proc.empty()) {
    Zalogovat(s.Cesta, proc);
    return false;
  }
  ++pouzito_;
  return true;
}

}  // namespace zevlon
