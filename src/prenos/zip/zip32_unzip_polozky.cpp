// The unzip half's work on each chosen entry: opened (asking for its password when it
// is encrypted), tested, or written to disk through a temporary name, with the
// overwrite questions and the folders it needs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/soubory/soubor.h"
#include "prenos/zip/zip32_pomucky.h"
#include "prenos/zip/zip32_rozbalovani.h"

namespace zevlon::zip32 {

namespace {

// How many times the password callback is asked for one entry.
constexpr int kPokusuOHeslo = 3;

// Size of the buffer handed to the replace callback.
constexpr std::size_t kDelkaJmena = 4096;

// Size of one read from an entry.
constexpr std::size_t kDavka = 65536;

std::string PosledniCast(const std::string& cesta) {
  auto lomitko = cesta.find_last_of('/');
  return lomitko == std::string::npos ? cesta : cesta.substr(lomitko + 1);
}

std::string Spojit(const std::string& slozka, const std::string& relativni) {
  if (relativni.empty()) return slozka;
  if (slozka.empty()) return relativni;
  return slozka.back() == '/' ? slozka + relativni : slozka + "/" + relativni;
}

int KodCteni(int chyba) {
  return chyba == ZIP_ER_MEMORY ? PK_MEM : PK_ERR;
}

}  // namespace

bool VytvoritSlozky(const std::string& cesta) {
  if (cesta.empty()) return true;
  std::string cast;
  std::size_t pozice = 0;
  while (pozice != std::string::npos) {
    pozice = cesta.find('/', pozice + 1);
    cast = cesta.substr(0, pozice);
    if (cast.empty()) continue;
    struct stat st {};
    if (::stat(cast.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return false;
      continue;
    }
    if (::mkdir(cast.c_str(), 0777 & ~ZakazaneBity()) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool NastavitCasCesty(const std::string& cesta, UtcCas cas) {
  struct timespec casy[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(cas), 0}};
  return ::utimensat(AT_FDCWD, cesta.c_str(), casy, 0) == 0;
}

std::string Rozbalovani::Cil(const Polozka& p) const {
  std::string relativni = v_.ndflag ? p.cil : PosledniCast(p.cil);
  if (v_.SpaceToUnderscore)
    for (char& c : relativni)
      if (c == ' ') c = '_';
  return relativni;
}

int Rozbalovani::Slozka(const Polozka& p) {
  if (v_.ntflag || !v_.ndflag || p.cil.empty()) return PK_OK;
  std::string cesta = Spojit(slozka_, Cil(p));
  if (!VytvoritSlozky(cesta)) {
    Hlasit("error: cannot create folder " + cesta);
    return PK_DISK;
  }
  Oznamit("   creating: " + cesta + "/");
  if (auto cas = CasPolozky(za_, p.index)) casySlozek_.emplace_back(cesta, *cas);
  return PK_OK;
}

bool Rozbalovani::Prepsat(const std::string& cesta) {
  if (v_.noflag && !v_.PromptToOverwrite) return true;
  if (prepsatVse_) return true;
  if (neprepisovat_) return false;
  if (!f_.replace) return v_.noflag != 0;
  std::vector<char> jmeno(std::max(kDelkaJmena, cesta.size() + 1), '\0');
  std::memcpy(jmeno.data(), cesta.data(), cesta.size());
  switch (f_.replace(jmeno.data(), static_cast<unsigned>(jmeno.size()))) {
    case IDM_REPLACE_YES:
      return true;
    case IDM_REPLACE_ALL:
      prepsatVse_ = true;
      return true;
    case IDM_REPLACE_NONE:
      neprepisovat_ = true;
      return false;
    default:
      return false;
  }
}

PolozkaPtr Rozbalovani::Otevrit(const Polozka& p, int& kod) {
  kod = PK_OK;
  zip_stat_t st = Udaje(p.index);
  bool sifrovana = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
  if (!sifrovana) {
    PolozkaPtr f(zip_fopen_index(za_, p.index, 0));
    if (!f) {
      Hlasit("error: cannot read " + p.jmeno + ": " + zip_strerror(za_));
      kod = KodCteni(KodChyby(za_));
    }
    return f;
  }
  // An encryption libzip does not know fails as libzip would fail it, without asking
  // libzip: its 1.7 series leaks the entry's data source on that path.
  if (!zip_encryption_method_supported(st.encryption_method, 0)) {
    Hlasit("error: cannot read " + p.jmeno + ": Encryption method not supported");
    kod = PK_ERR;
    return nullptr;
  }
  auto zkusit = [&](const std::string& heslo, bool& spatne) {
    zip_error_clear(za_);
    PolozkaPtr f(zip_fopen_index_encrypted(za_, p.index, 0, heslo.c_str()));
    spatne = !f && KodChyby(za_) == ZIP_ER_WRONGPASSWD;
    if (!f && !spatne) {
      Hlasit("error: cannot read " + p.jmeno + ": " + zip_strerror(za_));
      kod = KodCteni(KodChyby(za_));
    }
    return f;
  };
  bool spatne = true;
  if (heslo_) {
    if (auto f = zkusit(*heslo_, spatne); f || !spatne) return f;
  }
  for (int pokus = 0; pokus < kPokusuOHeslo && !zrusenoVse_ && f_.password; ++pokus) {
    char buf[kDelkaBufferuHesla] = {};
    int odpoved = f_.password(buf, sizeof buf, "Enter password: ", p.jmeno.c_str());
    if (odpoved == IZ_PW_CANCELALL) zrusenoVse_ = true;
    if (odpoved != IZ_PW_ENTERED) break;
    std::string heslo(buf, ::strnlen(buf, sizeof buf));
    if (auto f = zkusit(heslo, spatne); f || !spatne) {
      if (f) heslo_ = heslo;
      return f;
    }
  }
  Hlasit("skipping: " + p.jmeno + "  incorrect or missing password");
  ++bezHesla_;
  return nullptr;
}

int Rozbalovani::Soubor(const Polozka& p) {
  std::string cesta = Spojit(slozka_, Cil(p));
  if (!v_.ntflag) {
    struct stat st {};
    bool existuje = ::lstat(cesta.c_str(), &st) == 0;
    if (existuje && S_ISDIR(st.st_mode)) {
      Hlasit("error: a folder stands in the way of " + cesta);
      return PK_DISK;
    }
    auto cas = CasPolozky(za_, p.index);
    if (existuje) {
      if ((v_.ExtractOnlyNewer || v_.nfflag) && cas && st.st_mtime >= *cas) return PK_OK;
      // "Update" replaces an older file without asking; everything else may ask.
      if (!v_.ExtractOnlyNewer && !Prepsat(cesta)) return PK_OK;
    } else if (v_.nfflag) {
      return PK_OK;
    }
  }
  int kod = PK_OK;
  PolozkaPtr f = Otevrit(p, kod);
  if (!f) return kod;
  if (v_.ntflag) return Otestovat(p, f.get());
  return Zapsat(p, cesta, f.get());
}

int Rozbalovani::Otestovat(const Polozka& p, zip_file_t* f) {
  std::vector<char> buf(kDavka);
  for (;;) {
    zip_int64_t n = zip_fread(f, buf.data(), buf.size());
    if (n == 0) break;
    if (n < 0) {
      Hlasit("    testing: " + p.jmeno + "   bad: " + zip_file_strerror(f));
      return PK_ERR;
    }
  }
  Oznamit("    testing: " + p.jmeno + "   OK");
  ++hotovo_;
  return PK_OK;
}

int Rozbalovani::Zapsat(const Polozka& p, const std::string& cesta, zip_file_t* f) {
  std::string slozka = cesta.substr(0, cesta.find_last_of('/') + 1);
  if (!VytvoritSlozky(slozka)) {
    Hlasit("error: cannot create folder " + slozka);
    return PK_DISK;
  }
  std::string sablona = (slozka.empty() ? std::string("./") : slozka) + ".zip32-XXXXXX";
  std::vector<char> docasna(sablona.begin(), sablona.end());
  docasna.push_back('\0');
  Popisovac fd(::mkstemp(docasna.data()));
  if (!fd.Platny()) {
    Hlasit("error: cannot create " + cesta + ": " + std::strerror(errno));
    return PK_DISK;
  }
  auto selhat = [&](int kod, const std::string& proc) {
    fd.Zavrit();
    ::unlink(docasna.data());
    Hlasit("error: " + cesta + ": " + proc);
    return kod;
  };
  // An entry never unpacks to more than it declares (nor than the hard limit or the
  // caller's), and to no less than it declares: libzip itself checks neither.
  zip_stat_t udaje = Udaje(p.index);
  zip_uint64_t mez = (udaje.valid & ZIP_STAT_SIZE) ? std::min(udaje.size, kMaxVelikostPolozky)
                                                   : kMaxVelikostPolozky;
  if (v_.fExactNames) mez = std::min<zip_uint64_t>(mez, v_.MaxSize);
  zip_uint64_t zapsano = 0;
  std::vector<char> buf(kDavka);
  for (;;) {
    zip_int64_t n = zip_fread(f, buf.data(), buf.size());
    if (n == 0) break;
    if (n < 0) return selhat(PK_ERR, zip_file_strerror(f));
    zapsano += static_cast<zip_uint64_t>(n);
    if (zapsano > mez) return selhat(PK_BADERR, "more data than the entry declares");
    if (int e = ZapsatVse(fd.Fd(), std::string_view(buf.data(), static_cast<std::size_t>(n))))
      return selhat(PK_DISK, std::strerror(e));
  }
  if ((udaje.valid & ZIP_STAT_SIZE) && zapsano != udaje.size)
    return selhat(PK_BADERR, "less data than the entry declares");
  // No flush per file: the swap that makes unpacked files live flushes them all.
  if (::fchmod(fd.Fd(), RezimSouboru(za_, p.index)) != 0)
    return selhat(PK_DISK, std::strerror(errno));
  if (auto cas = CasPolozky(za_, p.index)) {
    struct timespec casy[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(*cas), 0}};
    if (::futimens(fd.Fd(), casy) != 0) return selhat(PK_DISK, std::strerror(errno));
  }
  if (int e = fd.Zavrit()) return selhat(PK_DISK, std::strerror(e));
  if (::rename(docasna.data(), cesta.c_str()) != 0) return selhat(PK_DISK, std::strerror(errno));
  zip_stat_t st = Udaje(p.index);
  Oznamit((st.comp_method == ZIP_CM_STORE ? " extracting: " : "  inflating: ") + cesta);
  ++hotovo_;
  return PK_OK;
}

}  // namespace zevlon::zip32
