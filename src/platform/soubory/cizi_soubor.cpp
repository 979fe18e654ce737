#include "platform/soubory/cizi_soubor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/soubory/rozliseni_cesty.h"
#include "platform/soubory/soubor.h"

namespace zevlon {

namespace {

// The resolved folder, opened from the root one folder at a time, never through a link.
Popisovac OtevritSlozku(const std::string& cesta) {
  Popisovac fd(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  for (std::size_t od = 1; fd.Platny() && od < cesta.size();) {
    std::size_t konec = cesta.find('/', od);
    if (konec == std::string::npos) konec = cesta.size();
    const std::string cast = cesta.substr(od, konec - od);
    od = konec + 1;
    if (cast.empty()) continue;
    fd =
        Popisovac(::openat(fd.Fd(), cast.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return fd;
}

std::string Popis(int chyba) {
  return ss::ChybaSystemu(chyba, "").popis;
}

}  // namespace

CiziSoubor NacistCiziSoubor(const std::string& cesta, std::size_t max, uid_t jednajici) {
  const std::size_t lomitko = cesta.rfind('/');
  if (cesta.empty() || cesta.front() != '/' || lomitko + 1 >= cesta.size())
    return {std::nullopt, "není to úplná cesta k souboru"};
  const std::string jmeno = cesta.substr(lomitko + 1);
  const ss::Rozliseni r =
      ss::RozlisitCestu(lomitko == 0 ? "/" : cesta.substr(0, lomitko), jednajici);
  if (!r.odmitnutyOdkaz.empty())
    return {std::nullopt, "cesta vede přes symbolický odkaz " + r.odmitnutyOdkaz};
  if (!r.chyba.Uspech()) return {std::nullopt, r.chyba.popis};
  if (!r.existuje) return {};
  const Popisovac slozka = OtevritSlozku(r.cesta);
  struct stat ss {};
  if (!slozka.Platny() || ::fstat(slozka.Fd(), &ss) != 0)
    return {std::nullopt,
            errno == ELOOP || errno == ENOTDIR ? "cesta vede přes symbolický odkaz" : Popis(errno)};
  const Popisovac fd(::openat(slozka.Fd(), jmeno.c_str(),
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.Platny()) {
    if (errno == ENOENT) return {};
    return {std::nullopt,
            errno == ELOOP ? "soubor " + jmeno + " je symbolický odkaz" : Popis(errno)};
  }
  struct stat st {};
  if (::fstat(fd.Fd(), &st) != 0) return {std::nullopt, Popis(errno)};
  if (!S_ISREG(st.st_mode)) return {std::nullopt, "soubor " + jmeno + " není obyčejný soubor"};
  if (st.st_uid != ss.st_uid)
    return {std::nullopt, "soubor " + jmeno + " nepatří vlastníkovi složky, ve které leží"};
  std::string obsah(max + 1, '\0');
  std::size_t precteno = 0;
  for (ssize_t n; precteno < obsah.size(); precteno += static_cast<std::size_t>(n)) {
    n = ::read(fd.Fd(), obsah.data() + precteno, obsah.size() - precteno);
    if (n < 0 && errno == EINTR)
      n = 0;
    else if (n < 0)
      return {std::nullopt, Popis(errno)};
    else if (n == 0)
      break;
  }
  if (precteno > max)
    return {std::nullopt,
            "soubor " + jmeno + " je větší než " + std::to_string(max / 1024) + " KiB"};
  obsah.resize(precteno);
  return {std::move(obsah), {}};
}

}  // namespace zevlon
