// The unzip half of our zip layer: UzpVersion2 and Wiz_SingleEntryUnzip.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "platform/soubor.h"
#include "prenos/zip32_knihovna.h"
#include "prenos/zip32_pomucky.h"

namespace zevlon::zip32 {

namespace {

// Version of the layer as UzpVersion2 reports it.
constexpr std::uint8_t kVerze[4] = {6, 0, 0, 0};
constexpr std::uint8_t kVerzeApi[4] = {5, 5, 0, 0};
constexpr const char* kDatumVerze = "3 November 2026";

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

// Creates a folder with the missing folders above it. False when something other
// than a folder stands in the way or a folder cannot be made.
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

int KodCteni(int chyba) {
  return chyba == ZIP_ER_MEMORY ? PK_MEM : PK_ERR;
}

// One entry chosen for extraction.
struct Polozka {
  zip_uint64_t index = 0;
  std::string jmeno;  // as stored, "\" read as "/"
  std::string cil;    // safe relative path; empty for the target folder itself
  bool slozka = false;
};

// One call of Wiz_SingleEntryUnzip over an open archive.
class Rozbalovani {
 public:
  Rozbalovani(const DCLIST& volby, USERFUNCTION& funkce, zip_t* archiv)
      : v_(volby), f_(funkce), za_(archiv) {
    slozka_ = (volby.ExtractDir && *volby.ExtractDir) ? volby.ExtractDir : ".";
  }

  int Provest(int ifnc, const char* const* ifnv, int xfnc, const char* const* xfnv) {
    zip_int64_t pocet = zip_get_num_entries(za_, 0);
    if (pocet <= 0) {
      Hlasit("warning: zipfile is empty");
      return PK_WARN;
    }
    if (v_.nzflag) {
      int delka = 0;
      const char* komentar = zip_get_archive_comment(za_, &delka, 0);
      if (komentar) Tisknout(f_.print, std::string(komentar, static_cast<std::size_t>(delka)));
      return PK_OK;
    }
    bool rozbalovat = !v_.nvflag && !v_.ntflag;
    std::vector<Polozka> vybrane;
    std::vector<bool> nalezeno(static_cast<std::size_t>(ifnc), false);
    bool nebezpecne = false;
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(pocet); ++i) {
      const char* nazev = zip_get_name(za_, i, 0);
      if (!nazev) return PK_BADERR;
      std::string jmeno = NahraditVse(nazev, "\\", "/");
      auto cil = BezpecnaCesta(jmeno);
      if (rozbalovat && (!cil || JeOdkaz(za_, i))) {
        Hlasit(std::string("error: unsafe entry refused: ") + nazev);
        nebezpecne = true;
        continue;
      }
      if (rozbalovat && PrilisVelka(i)) {
        Hlasit(std::string("error: entry larger than allowed refused: ") + nazev);
        nebezpecne = true;
        continue;
      }
      if (!Vybrana(v_.fExactNames ? cil.value_or(jmeno) : jmeno, ifnc, ifnv, xfnc, xfnv, nalezeno))
        continue;
      bool slozka = !jmeno.empty() && jmeno.back() == '/';
      // The one file asked for by its exact path must be a file of an allowed size.
      if (rozbalovat && ((v_.fExactNames && slozka) || !VelikostPovolena(i))) {
        Hlasit(std::string("error: entry of another size or kind than allowed refused: ") + nazev);
        nebezpecne = true;
        continue;
      }
      if (rozbalovat && !slozka && cil && cil->empty()) {
        Hlasit(std::string("error: entry without a name refused: ") + nazev);
        nebezpecne = true;
        continue;
      }
      vybrane.push_back({i, jmeno, cil.value_or(jmeno), slozka});
    }
    // Nothing is written from an archive that holds a single unsafe entry.
    if (nebezpecne) return PK_BADERR;
    for (int i = 0; i < ifnc; ++i)
      if (!nalezeno[static_cast<std::size_t>(i)]) {
        Hlasit(std::string("caution: filename not matched: ") + (ifnv[i] ? ifnv[i] : ""));
        Zhorsit(PK_FIND);
      }
    Secist(vybrane);
    if (v_.nvflag) {
      for (const auto& p : vybrane)
        Vypsat(p);
      return vysledek_;
    }
    if (rozbalovat && !vybrane.empty() && !VytvoritSlozky(slozka_)) {
      Hlasit("error: cannot create extraction folder " + slozka_);
      return PK_DISK;
    }
    for (const auto& p : vybrane) {
      if (f_.ServCallBk && f_.ServCallBk(p.jmeno.c_str(), Velikost(p.index))) return IZ_CTRLC;
      if (p.slozka)
        Zhorsit(Slozka(p));
      else
        Zhorsit(Soubor(p));
    }
    // Folder times last: writing the files into them changed them.
    for (auto it = casySlozek_.rbegin(); it != casySlozek_.rend(); ++it)
      (void)NastavitCasCesty(it->first, it->second);
    if (bezHesla_ > 0) {
      if (hotovo_ == 0 && vysledek_ == PK_OK) return IZ_BADPWD;
      Zhorsit(PK_WARN);
    }
    return vysledek_;
  }

 private:
  bool Vybrana(const std::string& jmeno, int ifnc, const char* const* ifnv, int xfnc,
               const char* const* xfnv, std::vector<bool>& nalezeno) const {
    auto odpovida = [&](const char* vzor) {
      return v_.fExactNames ? jmeno == vzor : OdpovidaMasce(jmeno, vzor);
    };
    for (int i = 0; i < xfnc; ++i)
      if (xfnv[i] && odpovida(xfnv[i])) return false;
    if (ifnc == 0) return true;
    bool ano = false;
    for (int i = 0; i < ifnc; ++i)
      if (ifnv[i] && odpovida(ifnv[i])) {
        nalezeno[static_cast<std::size_t>(i)] = true;
        ano = true;
      }
    return ano;
  }

  // Keeps the first error; a warning gives way to an error.
  void Zhorsit(int kod) {
    if (kod != PK_OK && (vysledek_ == PK_OK || vysledek_ == PK_WARN)) vysledek_ = kod;
  }

  // Messages of errors and warnings: hidden only with fQuiet 2.
  void Hlasit(const std::string& zprava) const {
    if (v_.fQuiet < 2) Tisknout(f_.print, zprava + "\n");
  }
  // Messages of each file: hidden with any fQuiet.
  void Oznamit(const std::string& zprava) const {
    if (v_.fQuiet == 0) Tisknout(f_.print, zprava + "\n");
  }

  bool PrilisVelka(zip_uint64_t index) const {
    zip_stat_t st = Udaje(index);
    return (st.valid & ZIP_STAT_SIZE) && st.size > kMaxVelikostPolozky;
  }

  // Whether a selected entry declares a size the caller allows (any, unless one file is
  // asked for by its exact path).
  bool VelikostPovolena(zip_uint64_t index) const {
    return !v_.fExactNames || MaVelikost(za_, index, v_.MaxSize, v_.fExactSize != 0);
  }

  zip_stat_t Udaje(zip_uint64_t index) const {
    zip_stat_t st;
    zip_stat_init(&st);
    (void)zip_stat_index(za_, index, 0, &st);
    return st;
  }
  std::uint64_t Velikost(zip_uint64_t index) const {
    zip_stat_t st = Udaje(index);
    return (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
  }

  void Secist(const std::vector<Polozka>& vybrane) {
    f_.TotalSize = f_.TotalSizeComp = 0;
    for (const auto& p : vybrane) {
      zip_stat_t st = Udaje(p.index);
      if (st.valid & ZIP_STAT_SIZE) f_.TotalSize += st.size;
      if (st.valid & ZIP_STAT_COMP_SIZE) f_.TotalSizeComp += st.comp_size;
    }
    f_.NumMembers = static_cast<unsigned>(vybrane.size());
    f_.CompFactor = PomerKomprese(f_.TotalSize, f_.TotalSizeComp);
  }

  static unsigned PomerKomprese(std::uint64_t velikost, std::uint64_t komprimovana) {
    if (velikost == 0 || komprimovana >= velikost) return 0;
    return static_cast<unsigned>(100 - komprimovana * 100 / velikost);
  }

  void Vypsat(const Polozka& p) const {
    if (!f_.SendApplicationMessage) return;
    zip_stat_t st = Udaje(p.index);
    std::tm tm{};
    if (auto cas = CasPolozky(za_, p.index)) {
      time_t t = static_cast<time_t>(*cas);
      ::localtime_r(&t, &tm);
    }
    char metoda[16];
    if (st.comp_method == ZIP_CM_STORE)
      std::snprintf(metoda, sizeof metoda, "Stored");
    else if (st.comp_method == ZIP_CM_DEFLATE)
      std::snprintf(metoda, sizeof metoda, "Defl:N");
    else
      std::snprintf(metoda, sizeof metoda, "Unk:%03u", static_cast<unsigned>(st.comp_method));
    bool sifrovana = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
    f_.SendApplicationMessage(
        st.size, st.comp_size, PomerKomprese(st.size, st.comp_size),
        static_cast<unsigned>(tm.tm_mon + 1), static_cast<unsigned>(tm.tm_mday),
        static_cast<unsigned>((tm.tm_year + 1900) % 100), static_cast<unsigned>(tm.tm_hour),
        static_cast<unsigned>(tm.tm_min), ' ', p.jmeno.c_str(), metoda,
        static_cast<unsigned long>(st.crc), sifrovana ? 'E' : ' ');
  }

  std::string Cil(const Polozka& p) const {
    std::string relativni = v_.ndflag ? p.cil : PosledniCast(p.cil);
    if (v_.SpaceToUnderscore)
      for (char& c : relativni)
        if (c == ' ') c = '_';
    return relativni;
  }

  int Slozka(const Polozka& p) {
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

  // Whether an existing file may be replaced: noflag says yes unasked (unless
  // PromptToOverwrite), otherwise the replace callback decides.
  bool Prepsat(const std::string& cesta) {
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

  // Opens an entry for reading, asking for a password when it is encrypted. Without
  // a fitting password the entry is skipped (counted in bezHesla_).
  PolozkaPtr Otevrit(const Polozka& p, int& kod) {
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

  int Soubor(const Polozka& p) {
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

  int Otestovat(const Polozka& p, zip_file_t* f) {
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

  // Writes the entry to a temporary name in its folder and renames it into place
  // once the data, permission bits and time are all written.
  int Zapsat(const Polozka& p, const std::string& cesta, zip_file_t* f) {
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

  const DCLIST& v_;
  USERFUNCTION& f_;
  zip_t* za_;
  std::string slozka_;
  int vysledek_ = PK_OK;
  int hotovo_ = 0;    // files written or tested
  int bezHesla_ = 0;  // encrypted entries skipped for want of a password
  bool prepsatVse_ = false;
  bool neprepisovat_ = false;
  bool zrusenoVse_ = false;
  std::optional<std::string> heslo_;  // the password that opened an entry last
  std::vector<std::pair<std::string, UtcCas>> casySlozek_;
};

int Rozbalit(int ifnc, const char* const* ifnv, int xfnc, const char* const* xfnv,
             const DCLIST* dcl, USERFUNCTION* funkce) {
  if (!dcl || !funkce || !dcl->Zip || !*dcl->Zip || ifnc < 0 || xfnc < 0 || (ifnc > 0 && !ifnv) ||
      (xfnc > 0 && !xfnv))
    return PK_PARAM;
  if (dcl->ncflag || dcl->naflag || dcl->nZIflag) {
    if (dcl->fQuiet < 2) Tisknout(funkce->print, "error: option not supported\n");
    return PK_PARAM;
  }
  struct stat st {};
  if (::stat(dcl->Zip, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
    if (dcl->fQuiet < 2)
      Tisknout(funkce->print, std::string("error: cannot find or open ") + dcl->Zip + "\n");
    return PK_NOZIP;
  }
  int chyba = 0;
  ArchivPtr za(zip_open(dcl->Zip, ZIP_RDONLY, &chyba));
  if (!za) {
    if (dcl->fQuiet < 2)
      Tisknout(funkce->print, std::string("error: not a zip archive: ") + dcl->Zip + "\n");
    if (chyba == ZIP_ER_MEMORY) return PK_MEM;
    return chyba == ZIP_ER_INCONS ? PK_BADERR : PK_NOZIP;
  }
  Rozbalovani rozbalovani(*dcl, *funkce, za.get());
  return rozbalovani.Provest(ifnc, ifnv, xfnc, xfnv);
}

template <std::size_t N>
void Vyplnit(char (&pole)[N], const char* text) {
  std::snprintf(pole, N, "%s", text);
}

}  // namespace

int UzpVersion2(UZPVER2* verze) {
  if (!verze) return static_cast<int>(sizeof(UZPVER2));
  auto vejde = [&](std::size_t konec) { return verze->structlen >= konec; };
  if (vejde(offsetof(UZPVER2, flag) + sizeof verze->flag)) verze->flag = 0x02;  // uses zlib
  if (vejde(offsetof(UZPVER2, beta) + sizeof verze->beta)) Vyplnit(verze->beta, "");
  if (vejde(offsetof(UZPVER2, date) + sizeof verze->date)) Vyplnit(verze->date, kDatumVerze);
  if (vejde(offsetof(UZPVER2, zlib) + sizeof verze->zlib)) Vyplnit(verze->zlib, ZLIB_VERSION);
  if (vejde(offsetof(UZPVER2, fEncryption) + sizeof verze->fEncryption)) verze->fEncryption = 1;
  auto kopirovat = [&](std::uint8_t(&pole)[4], std::size_t odkud, const std::uint8_t(&co)[4]) {
    if (vejde(odkud + sizeof pole)) std::memcpy(pole, co, sizeof pole);
  };
  kopirovat(verze->unzip, offsetof(UZPVER2, unzip), kVerze);
  kopirovat(verze->zipinfo, offsetof(UZPVER2, zipinfo), kVerze);
  kopirovat(verze->os2dll, offsetof(UZPVER2, os2dll), kVerze);
  kopirovat(verze->windll, offsetof(UZPVER2, windll), kVerze);
  kopirovat(verze->dllapimin, offsetof(UZPVER2, dllapimin), kVerzeApi);
  return verze->structlen >= sizeof(UZPVER2) ? 0 : static_cast<int>(sizeof(UZPVER2));
}

int Wiz_SingleEntryUnzip(int ifnc, const char* const* ifnv, int xfnc, const char* const* xfnv,
                         const DCLIST* dcl, USERFUNCTION* funkce) {
  try {
    return Rozbalit(ifnc, ifnv, xfnc, xfnv, dcl, funkce);
  } catch (const std::bad_alloc&) {
    return PK_MEM;
  } catch (...) {
    return PK_BADERR;
  }
}

}  // namespace zevlon::zip32
