#include "tools/publikace/slozky_vydani.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>

#include "common/chyba.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "soubory/cesty.h"
#include "tools/publikace/preruseni.h"
#include "tools/publikace/stary_web.h"

namespace fs = std::filesystem;

namespace zevlon::publikace {

namespace {

constexpr const char* kRadekVydani = "vydani ";
constexpr const char* kRadekStary = "stary ";
constexpr const char* kRadekStazeno = "stazeno ";

std::string CestaZaznamu(const std::string& web) {
  return web + "/" + kVydani + "/" + kZaznamSlozek;
}

// A name of one folder entry that no working folder or hidden file has.
bool JeJmenoSlozky(const std::string& jmeno) {
  return !jmeno.empty() && jmeno[0] != '.' && jmeno.find('/') == std::string::npos &&
         JeBezpecnaRelativniCesta(jmeno);
}

// Whether the two regular files, opened without following a link, hold the same bytes under
// the same owner and permissions (a link gives the new release the file's as they are).
bool StejneBajty(const std::string& a, const std::string& b) {
  Popisovac fa(::open(a.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  Popisovac fb(::open(b.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat sa {
  }, sb{};
  if (!fa.Platny() || !fb.Platny() || ::fstat(fa.Fd(), &sa) != 0 || ::fstat(fb.Fd(), &sb) != 0 ||
      !S_ISREG(sa.st_mode) || sa.st_mode != sb.st_mode || sa.st_uid != sb.st_uid ||
      sa.st_size != sb.st_size)
    return false;
  char ba[65536], bb[65536];
  for (;;) {
    const ssize_t na = ::read(fa.Fd(), ba, sizeof ba);
    if (na < 0) return false;
    if (na == 0) return ::read(fb.Fd(), bb, 1) == 0;
    ssize_t nb = 0;
    while (nb < na) {
      const ssize_t n = ::read(fb.Fd(), bb + nb, static_cast<std::size_t>(na - nb));
      if (n <= 0) return false;
      nb += n;
    }
    if (std::memcmp(ba, bb, static_cast<std::size_t>(na)) != 0) return false;
  }
}

void ZapsatNaDiskJeden(const std::string& cesta, bool slozka) {
  Popisovac fd(::open(cesta.c_str(),
                      O_RDONLY | O_NOFOLLOW | O_CLOEXEC | (slozka ? O_DIRECTORY : O_NONBLOCK)));
  if (!fd.Platny() || ::fsync(fd.Fd()) != 0)
    VyvolatChybu(
        "Nelze zapsat na disk " + cesta + ": " +
        ss::ChybaSystemu(errno, cesta, slozka ? ss::Druh::kSlozka : ss::Druh::kSoubor).popis);
}

}  // namespace

ZaznamSlozek NacistZaznamSlozek(const std::string& web) {
  ZaznamSlozek z;
  const std::string cesta = CestaZaznamu(web);
  struct stat st {};
  if (::lstat(cesta.c_str(), &st) != 0 && errno == ENOENT) return z;
  int chyba = 0;
  const std::optional<std::string> text =
      S_ISREG(st.st_mode) ? NacistSoubor(cesta, &chyba) : std::nullopt;
  if (!text)
    VyvolatChybu("Záznam složek vydání " + cesta + " nelze přečíst: " +
                 (S_ISREG(st.st_mode) ? ss::ChybaSystemu(chyba, cesta).popis
                                      : std::string("není to soubor")) +
                 ".");
  std::istringstream radky(*text);
  for (std::string r; std::getline(radky, r);) {
    if (!r.empty() && r.back() == '\r') r.pop_back();
    if (r.empty()) continue;
    if (r.starts_with(kRadekVydani) && JeJmenoSlozky(r.substr(7)))
      z.vydani.push_back(r.substr(7));
    else if (r.starts_with(kRadekStary) && JeJmenoSlozky(r.substr(6)) && r.substr(6) != kVydani)
      z.stare.push_back(r.substr(6));
    else if (r.starts_with(kRadekStazeno) && JeJmenoSlozky(r.substr(8)))
      z.stazena.push_back(r.substr(8));
    else
      VyvolatChybu("Záznam složek vydání " + cesta + " obsahuje řádek „" + r +
                   "“, který není jeho položkou; web tedy nezapsal tento nástroj.");
  }
  return z;
}

void UlozitZaznamSlozek(const std::string& web, const ZaznamSlozek& z, mode_t maska) {
  std::string text;
  for (const std::string& v : z.vydani)
    text += kRadekVydani + v + "\n";
  for (const std::string& s : z.stare)
    text += kRadekStary + s + "\n";
  for (const std::string& s : z.stazena)
    text += kRadekStazeno + s + "\n";
  const std::string slozka = web + "/" + kVydani;
  if (int e = ZapsatCitelnySoubor(slozka, kZaznamSlozek, text, kPrefixPrace, true))
    VyvolatChybu("Záznam složek vydání " + CestaZaznamu(web) +
                 " nelze zapsat: " + ss::ChybaSystemu(e, CestaZaznamu(web)).popis);
  Popisovac fd(::open(CestaZaznamu(web).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.Platny() || ::fchmod(fd.Fd(), 0666 & ~maska) != 0)
    VyvolatChybu("Záznamu složek vydání " + CestaZaznamu(web) +
                 " nelze nastavit práva: " + ss::ChybaSystemu(errno, CestaZaznamu(web)).popis);
  ZapsatNaDiskJeden(slozka, true);
}

std::string NazevSlozky(const std::string& web, const ZaznamSlozek& z, const std::string& vydani) {
  if (!JeJmenoSlozky(vydani)) VyvolatChybu("Vydání „" + vydani + "“ nemůže být názvem složky.");
  for (int n = 0;; ++n) {
    const std::string jmeno = n == 0 ? vydani : vydani + "." + std::to_string(n);
    if (std::find(z.vydani.begin(), z.vydani.end(), jmeno) == z.vydani.end() &&
        !fs::exists(fs::symlink_status(web + "/" + kVydani + "/" + jmeno)))
      return jmeno;
  }
}

int PropojitShodne(const std::string& novy, const std::string& predchozi) {
  int spojeno = 0;
  for (const auto& e : fs::recursive_directory_iterator(novy)) {
    if (!fs::is_regular_file(e.symlink_status())) continue;
    const std::string relativni = e.path().string().substr(novy.size());
    const std::string stary = predchozi + relativni;
    if (relativni == "download.ini" || !StejneBajty(e.path().string(), stary)) continue;
    // The new folder is no one's but this run's (its working folder admits no other): the
    // earlier file's link takes the name of the new one. A file system that cannot link
    // keeps the copy.
    const std::string odkaz = e.path().string() + ".odkaz";
    if (::link(stary.c_str(), odkaz.c_str()) != 0) {
      if (errno == EXDEV || errno == EMLINK || errno == EPERM || errno == ENOTSUP) continue;
      VyvolatChybu("Soubor " + stary + " nelze propojit do " + e.path().string() + ": " +
                   ss::ChybaSystemu(errno, odkaz).popis);
    }
    fs::rename(odkaz, e.path());
    ++spojeno;
  }
  return spojeno;
}

void ZapsatStromNaDisk(const std::string& slozka) {
  for (const auto& e : fs::recursive_directory_iterator(slozka)) {
    const fs::file_status st = e.symlink_status();
    if (fs::is_regular_file(st) || fs::is_directory(st))
      ZapsatNaDiskJeden(e.path().string(), fs::is_directory(st));
  }
  ZapsatNaDiskJeden(slozka, true);
}

}  // namespace zevlon::publikace
