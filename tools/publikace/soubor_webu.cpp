#include "tools/publikace/soubor_webu.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "tools/publikace/stary_web.h"

namespace zevlon::publikace {

namespace {

// An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT"), whatever the locale.
std::string DatumHttp(std::time_t t) {
  static const char* const kDny[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMesice[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDny[tm.tm_wday % 7],
                tm.tm_mday, kMesice[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return buf;
}

std::string Etag(const struct stat& st) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "\"%llx-%llx-%llx.%lx\"",
                static_cast<unsigned long long>(st.st_ino),
                static_cast<unsigned long long>(st.st_size),
                static_cast<unsigned long long>(st.st_mtim.tv_sec),
                static_cast<unsigned long>(st.st_mtim.tv_nsec));
  return buf;
}

// Whether the site that holds the path (the nearest folder above it with a download.ini)
// names it in a snapshot: a name beginning with "." is served only then, so that notes
// and other hidden files beside a site stay unseen. A site in a hidden folder (vydat's
// working folders among them) is never served.
bool ZnamVeSnimku(const std::string& slozka, const std::vector<std::string>& casti) {
  for (std::size_t k = casti.size(); k-- > 0;) {
    if (std::any_of(casti.begin(), casti.begin() + static_cast<std::ptrdiff_t>(k),
                    [](const std::string& c) { return c[0] == '.'; }))
      continue;
    std::string web = slozka;
    for (std::size_t i = 0; i < k; ++i)
      web += "/" + casti[i];
    struct stat st {};
    if (::lstat((web + "/download.ini").c_str(), &st) != 0) continue;
    std::string relativni;
    for (std::size_t i = k; i < casti.size(); ++i)
      relativni += (relativni.empty() ? "" : "/") + casti[i];
    try {
      return SouboryWebu(web).count(relativni) > 0;
    } catch (const std::exception&) {
      return false;
    }
  }
  return false;
}

// How long a client or cache may keep the file at `casti` below `slozka`.
std::string Cache(const std::string& slozka, const std::vector<std::string>& casti) {
  std::string web = slozka;
  for (std::size_t k = 0; k + 2 < casti.size(); web += "/" + casti[k++]) {
    struct stat st {};
    if (casti[k] == kVydani && ::lstat((web + "/download.ini").c_str(), &st) == 0)
      return kCacheVydani;
  }
  return casti.back() == "download.ini" || casti.back() == "download.ini.minisig" ? kCacheInformaci
                                                                                  : "";
}

}  // namespace

std::optional<SouborWebu> OtevritSouborWebu(const std::string& slozka, const std::string& cesta) {
  std::vector<std::string> casti;
  std::string cast;
  for (char c : cesta + "/") {
    if (c != '/') {
      cast += c;
      continue;
    }
    if (!cast.empty() && cast != ".") casti.push_back(cast);
    cast.clear();
  }
  if (casti.empty() || cesta.back() == '/') return std::nullopt;
  if (std::any_of(casti.begin(), casti.end(), [](const std::string& c) { return c[0] == '.'; }) &&
      !ZnamVeSnimku(slozka, casti))
    return std::nullopt;

  // The site folder itself is the operator's choice and may be reached through a link;
  // nothing below it is.
  Popisovac slozkaFd(::open(slozka.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!slozkaFd.Platny()) return std::nullopt;
  for (std::size_t i = 0; i + 1 < casti.size(); ++i) {
    slozkaFd = Popisovac(
        ::openat(slozkaFd.Fd(), casti[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!slozkaFd.Platny()) return std::nullopt;
  }
  // Without waiting for a writer, should a FIFO stand there.
  SouborWebu s;
  s.fd = Popisovac(::openat(slozkaFd.Fd(), casti.back().c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat st {};
  if (!s.fd.Platny() || ::fstat(s.fd.Fd(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  s.velikost = static_cast<std::uint64_t>(st.st_size);
  s.etag = Etag(st);
  s.zmeneno = DatumHttp(st.st_mtim.tv_sec);
  s.cache = Cache(slozka, casti);
  return s;
}

}  // namespace zevlon::publikace
