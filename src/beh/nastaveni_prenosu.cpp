#include "beh/nastaveni_prenosu.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include "beh/vlastnik/zpravy.h"
#include "common/adresa.h"
#include "common/cas.h"
#include "common/chyba.h"
#include "common/text.h"
#include "platform/http/http.h"
#include "platform/nahrady/platforma.h"
#include "platform/procesy/ukonceni.h"
#include "platform/soubory/rozliseni_cesty.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/podpisy/klice_webu.h"
#include "prenos/podpisy/podpis.h"
#include "prenos/stahovani/zrcadlo.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/rozhrani.h"
#include "soubory/volby.h"

namespace zevlon {

std::optional<std::int64_t> KladneCisloServeru(const std::string& volby, const char* klic) {
  const std::string text(Orezat(CistIni(volby, "Server", klic), " \t"));
  std::int64_t cislo = 0;
  auto [konec, chyba] = std::from_chars(text.data(), text.data() + text.size(), cislo);
  if (chyba != std::errc() || konec != text.data() + text.size() || cislo <= 0) return std::nullopt;
  return cislo;
}

std::string ChybaZrcadla(const std::string& volby) {
  const std::string z(Orezat(CistIni(volby, "Server", kKlicZrcadla), " \t"));
  if (z.empty()) return {};
  std::string proc;
  if (!JeAbsolutniAdresa(z, {"http://", "https://"}))
    proc = "není to úplná adresa http:// ani https://";
  else if (ZacinaNa(Orezat(CistIni(volby, "Server", "Adresa"), " \t"), "https://") &&
           !ZacinaNa(z, "https://") &&
           podpis::CistVerejneKlice(Orezat(CistIni(volby, "Server", kKlicVerejnehoKlice), " \t"))
               .value_or(std::vector<podpis::VerejnyKlic>{})
               .empty())
    proc =
        "aktualizační web je na https a soubory z nezabezpečeného zrcadla by bez veřejného "
        "klíče vydavatele nebylo možné ověřit; uveďte zrcadlo na https, nebo veřejný klíč "
        "(VerejnyKlic v sekci Server)";
  else
    return {};
  return "Hodnotu " + std::string(kKlicZrcadla) + "=" + BezPristupovychUdaju(z) +
         " v sekci [Server] souboru voleb " + volby + " nelze použít: " + proc + ".";
}

namespace {

constexpr std::size_t kMaxUdaju = 4096;

std::string HodnotaServeru(const std::string& volby, const char* klic) {
  return std::string(Orezat(CistIni(volby, "Server", klic), " \t"));
}

// The text with every byte but the unreserved ones percent-encoded, as a URL's user and
// password are written.
std::string Zakodovat(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string r;
  for (unsigned char c : text)
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~')
      r += static_cast<char>(c);
    else
      r += {'%', kHex[c >> 4], kHex[c & 15]};
  return r;
}

// The credentials of ProxyUdaje ("uživatel:heslo"), or the message why they cannot be used.
struct UdajeProxy {
  std::string udaje, chyba;
};
UdajeProxy CistUdajeProxy(const std::string& cesta) {
  const std::string uvod = "Soubor " + cesta + " s přihlašovacími údaji proxy (" + kKlicProxyUdaju +
                           " v sekci [Server]) nelze použít: ";
  const std::string pravidlo =
      "musí to být obyčejný soubor rootův nebo uživatele běhu, který může číst jen jeho "
      "vlastník";
  // Every folder on the way is root's or the running user's alone (a sticky one of
  // everybody, as /tmp, only above the file's own folder), reached through no link another
  // user laid: nobody else can lay another file under the name while it is opened.
  const std::size_t lomitko = cesta.rfind('/');
  const bool uplna = !cesta.empty() && cesta.front() == '/';
  const ss::Rozliseni r =
      uplna ? ss::RozlisitCestu(lomitko == 0 ? "/" : cesta.substr(0, lomitko), ::geteuid())
            : ss::Rozliseni{};
  if (!uplna || !ss::ZmenitJenSami(r, ::geteuid()))
    return {{}, uvod + pravidlo + " a neleží ve složce, do které smí zapisovat i jiní."};
  const std::string soubor = (r.cesta == "/" ? "" : r.cesta) + cesta.substr(lomitko);
  const int fd = ::open(soubor.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {{}, uvod + ss::ChybaSystemu(errno, cesta).popis + "."};
  Popisovac drzak(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      (st.st_uid != 0 && st.st_uid != ::geteuid()) || (st.st_mode & 077) != 0) {
    char prava[8];
    std::snprintf(prava, sizeof prava, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return {{}, uvod + pravidlo + ", a má práva " + prava + "."};
  }
  std::string obsah(kMaxUdaju + 1, '\0');
  const ssize_t n = ::read(fd, obsah.data(), obsah.size());
  obsah.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  obsah = obsah.substr(0, obsah.find('\n'));
  if (!obsah.empty() && obsah.back() == '\r') obsah.pop_back();
  const std::size_t dvojtecka = obsah.find(':');
  if (obsah.size() > kMaxUdaju || dvojtecka == std::string::npos || dvojtecka == 0)
    return {{}, uvod + "jeho první řádek není ve tvaru uživatel:heslo."};
  return {Zakodovat(obsah.substr(0, dvojtecka)) + ":" + Zakodovat(obsah.substr(dvojtecka + 1)), {}};
}

}  // namespace

std::string ChybaMaxRychlosti(const std::string& volby) {
  const std::string h = HodnotaServeru(volby, kKlicMaxRychlosti),
                    okno = HodnotaServeru(volby, kKlicOknaMaxRychlosti);
  auto nelze = [&](const char* klic, const std::string& hodnota, const std::string& proc) {
    return "Hodnotu " + std::string(klic) + "=" + hodnota + " v sekci [Server] souboru voleb " +
           volby + " nelze použít: " + proc + ".";
  };
  if (!okno.empty() && !CistUsekDne(okno))
    return nelze(kKlicOknaMaxRychlosti, okno, "není to rozsah času ve tvaru HH:MM-HH:MM");
  if (h.empty()) return {};
  const auto kb = CisloPole(h, 1, INT64_MAX / 1000);
  if (!kb) return nelze(kKlicMaxRychlosti, h, "musí být kladné celé číslo (kB za sekundu)");
  const std::int64_t min =
      KladneCisloServeru(volby, kKlicMinRychlosti).value_or(KlientHttp::kMinRychlost);
  if (*kb * 1000 < 2 * min)
    return nelze(kKlicMaxRychlosti, h,
                 "je menší než dvojnásobek " + std::string(kKlicMinRychlosti) + " (" +
                     std::to_string(min) +
                     " bajtů za sekundu), takže by omezené přenosy byly "
                     "ukončovány jako pomalé; zvyšte " +
                     kKlicMaxRychlosti + ", nebo snižte " + kKlicMinRychlosti);
  return {};
}

std::string ProxyBezUdaju(const std::string& proxy) {
  const std::size_t zavinac = proxy.rfind('@');
  if (zavinac == std::string::npos) return proxy;
  const std::size_t schema = proxy.find("://");
  return (schema < zavinac ? proxy.substr(0, schema + 3) : std::string()) +
         proxy.substr(zavinac + 1);
}

std::string ChybaProxy(const std::string& volby) {
  const std::string p = HodnotaServeru(volby, kKlicProxy), bez = ProxyBezUdaju(p);
  auto nelze = [&](const std::string& proc) {
    return "Hodnotu " + std::string(kKlicProxy) + "=" + bez + " v sekci [Server] souboru voleb " +
           volby + " nelze použít: " + proc + ".";
  };
  if (bez != p)
    return nelze(
        "obsahuje uživatele nebo heslo, které do souboru voleb čitelného všemi "
        "nepatří; uveďte je v souboru, který jmenuje " +
        std::string(kKlicProxyUdaju));
  if (!p.empty() &&
      !JeAbsolutniAdresa(p, {"http://", "https://", "socks4://", "socks5://", "socks5h://"}))
    return nelze("není to úplná adresa http://, https:// ani socks5://");
  if (const std::string u = HodnotaServeru(volby, kKlicProxyUdaju); !u.empty())
    return CistUdajeProxy(u).chyba;
  return {};
}

std::optional<KlientHttp::Proxy> ProxyZVoleb(const std::string& volby) {
  const std::string p = HodnotaServeru(volby, kKlicProxy),
                    bez = HodnotaServeru(volby, kKlicBezProxy);
  if (p.empty() && bez.empty()) return std::nullopt;
  if (p.empty()) {
    KlientHttp::Proxy z = ProxyZProstredi();
    z.vyjimky = bez;
    return z;
  }
  std::string adresa = p;
  if (const std::string u = HodnotaServeru(volby, kKlicProxyUdaju); !u.empty())
    if (const UdajeProxy udaje = CistUdajeProxy(u); udaje.chyba.empty())
      adresa.insert(adresa.find("://") + 3, udaje.udaje + "@");
  return KlientHttp::Proxy{{}, {}, adresa, bez};
}

void NastavitPrenosy() {
  KlientHttp& http = Http();
  const std::string volby = CestaVolebIni();
  http.lhutaPrenosu = std::chrono::seconds(
      KladneCisloServeru(volby, kKlicLhutyPrenosu).value_or(KlientHttp::kLhutaPrenosu.count()));
  http.minRychlost =
      KladneCisloServeru(volby, kKlicMinRychlosti).value_or(KlientHttp::kMinRychlost);
  http.casMinRychlosti = std::chrono::seconds(KladneCisloServeru(volby, kKlicDobyMinRychlosti)
                                                  .value_or(KlientHttp::kCasMinRychlosti.count()));
  http.soubeznaStahovani = static_cast<int>(std::min<std::int64_t>(
      KladneCisloServeru(volby, kKlicSoubeznychStahovani).value_or(KlientHttp::kMaxSpojeni),
      KlientHttp::kMaxSpojeni));
  http.jenHttps = ZacinaNa(AdresaWebu(), "https://");
  http.zrcadleni.reset();
  http.httpPovoleno.clear();
  if (const std::string z(Orezat(CistIni(volby, "Server", kKlicZrcadla), " \t"));
      !z.empty() && ChybaZrcadla(volby).empty()) {
    http.zrcadleni = KlientHttp::Zrcadleni{AdresaWebu(), z.back() == '/' ? z : z + "/"};
    if (!ZacinaNa(z, "https://")) http.httpPovoleno = http.zrcadleni->zrcadlo;
  }
  http.proxy = ChybaProxy(volby).empty() ? ProxyZVoleb(volby) : std::nullopt;
  // The run's bound, within its hours of the local day.
  const bool omezit = ChybaMaxRychlosti(volby).empty();
  http.maxRychlost = omezit ? KladneCisloServeru(volby, kKlicMaxRychlosti).value_or(0) * 1000 : 0;
  http.omezeniPlati = nullptr;
  if (const auto okno =
          omezit ? CistUsekDne(HodnotaServeru(volby, kKlicOknaMaxRychlosti)) : std::nullopt)
    http.omezeniPlati = [u = *okno] {
      const std::time_t t = std::chrono::system_clock::to_time_t(platforma().Ted());
      std::tm tm{};
      ::localtime_r(&t, &tm);
      return u.Obsahuje(tm.tm_hour * 60 + tm.tm_min);
    };
  http.lhutaBehu =
      std::chrono::seconds(KladneCisloServeru(volby, kKlicLhutyBehu).value_or(kLhutaBehu));
  http.konecBehu = std::chrono::steady_clock::now() + http.lhutaBehu;
  // Storno, Ctrl+C and SIGTERM end the transfers at once, not when the file has come.
  http.prerusit = [] {
    Ui().ZpracovatUdalosti();
    return Ui().Zruseno() || UkonceniVyzadano();
  };
  http.textPreruseni = kTextPreruseno;
  http.hlasitPrubeh = [](const KlientHttp::PrubehStazeni& p) {
    ZobrazPrubehSouboru(p.prijato, p.celkem, p.rychlost, p.omezeno);
  };
}

}  // namespace zevlon
