// The zip half of our zip layer: ZpInit, ZpSetOptions, ZpGetOptions, ZpArchive.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/zip/zip32_knihovna.h"
#include "prenos/zip/zip32_pomucky.h"

namespace zevlon::zip32 {

namespace {

// Largest archive comment.
constexpr std::size_t kDelkaKomentare = 65535;

// DOS attribute bits stored beside the Unix mode.
constexpr std::uint32_t kDosJenProCteni = 0x01;
constexpr std::uint32_t kDosSlozka = 0x10;

struct StavZipu {
  ZIPUSERFUNCTIONS funkce;
  bool inicializovano = false;
  ZPOPT volby;
  // Owned copies of the option texts; volby points into them.
  std::string datum, koren, docasna;
};

StavZipu& Stav() {
  static StavZipu stav;
  return stav;
}

const char* Text(const std::string& s, const char* puvodni) {
  return puvodni ? s.c_str() : nullptr;
}

bool NepodporovaneVolby(const ZPOPT& v) {
  return v.fExcludeDate || v.fIncludeDate || v.fCRLF_LF || v.fLF_CRLF || v.fMove ||
         v.fDeleteEntries || v.fRepair;
}

// A path with "//", "." and ".." worked out lexically; relative paths are first made
// absolute with the current folder.
std::string NormalizovatCestu(const std::string& cesta) {
  std::string plna = cesta;
  if (plna.empty() || plna.front() != '/') {
    char buf[4096];
    std::string aktualni = ::getcwd(buf, sizeof buf) ? buf : "/";
    plna = aktualni + "/" + plna;
  }
  std::vector<std::string> casti;
  for (const auto& cast : Rozdelit(plna, '/')) {
    if (cast.empty() || cast == ".") continue;
    if (cast == "..") {
      if (!casti.empty()) casti.pop_back();
    } else {
      casti.push_back(cast);
    }
  }
  std::string vysledek;
  for (const auto& c : casti)
    vysledek += "/" + c;
  return vysledek.empty() ? "/" : vysledek;
}

std::string PosledniCast(const std::string& cesta) {
  auto lomitko = cesta.find_last_of('/');
  return lomitko == std::string::npos ? cesta : cesta.substr(lomitko + 1);
}

// One file or folder to be stored.
struct Kandidat {
  std::string cesta;  // on disk, absolute
  std::string jmeno;  // in the archive; folders end with "/"
  bool slozka = false;
  struct stat st {};
};

// Expands the names of the command line into the files and folders to store.
class Sber {
 public:
  Sber(const ZPOPT& volby, const struct stat* archiv)
      : volby_(volby), archiv_(archiv ? std::optional<struct stat>(*archiv) : std::nullopt) {
    std::string koren = volby.szRootDir ? volby.szRootDir : "";
    koren_ = NormalizovatCestu(koren);
  }

  // ZE_OK, or ZE_PARMS when two different files would get the same name.
  int Pridat(const std::string& nazev) {
    std::string cesta = nazev.front() == '/' ? nazev : koren_ + "/" + nazev;
    std::string slozka = cesta.substr(0, cesta.find_last_of('/') + 1);
    std::string maska = PosledniCast(cesta);
    if (ObsahujeZastupneZnaky(maska)) return PridatPodleMasky(NormalizovatCestu(slozka), maska);
    struct stat st {};
    std::string plna = NormalizovatCestu(cesta);
    if (::stat(plna.c_str(), &st) != 0 || (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))) {
      Upozornit("zip warning: name not matched: " + nazev);
      return ZE_OK;
    }
    return PridatCestu(plna, st);
  }

  std::vector<Kandidat> polozky;

 private:
  int PridatPodleMasky(const std::string& slozka, const std::string& maska) {
    std::vector<ss::PolozkaSlozky> obsah;
    (void)ss::CistSlozku(slozka, obsah);
    std::vector<std::string> jmena;
    for (const auto& p : obsah)
      if (OdpovidaMasceSouboru(p.jmeno, maska) && Viditelne(p.jmeno)) jmena.push_back(p.jmeno);
    std::sort(jmena.begin(), jmena.end());
    if (jmena.empty()) Upozornit("zip warning: name not matched: " + slozka + "/" + maska);
    for (const auto& j : jmena) {
      std::string plna = slozka == "/" ? "/" + j : slozka + "/" + j;
      struct stat st {};
      if (::stat(plna.c_str(), &st) != 0) continue;
      if (int k = PridatCestu(plna, st)) return k;
    }
    return ZE_OK;
  }

  // A file, or a folder: its entry, and its content when recursion is asked for.
  int PridatCestu(const std::string& cesta, const struct stat& st) {
    if (JeArchiv(st)) return ZE_OK;
    if (S_ISREG(st.st_mode)) return Vlozit(cesta, st, false);
    if (!S_ISDIR(st.st_mode)) return ZE_OK;
    if (!volby_.fNoDirEntries && !volby_.fJunkDir)
      if (int k = Vlozit(cesta, st, true)) return k;
    if (volby_.fRecurse) return PridatStrom(cesta);
    return ZE_OK;
  }

  // The content of a folder, subfolders included. Links to files are followed,
  // links to folders are not (no cycles); pipes, devices and sockets are left out.
  int PridatStrom(const std::string& slozka) {
    std::vector<ss::PolozkaSlozky> obsah;
    (void)ss::CistSlozku(slozka, obsah);
    std::sort(obsah.begin(), obsah.end(),
              [](const auto& a, const auto& b) { return a.jmeno < b.jmeno; });
    for (const auto& p : obsah) {
      if (!Viditelne(p.jmeno)) continue;
      std::string plna = slozka == "/" ? "/" + p.jmeno : slozka + "/" + p.jmeno;
      struct stat st {};
      if (::stat(plna.c_str(), &st) != 0) continue;
      if (p.odkaz && S_ISDIR(st.st_mode)) continue;
      if (int k = PridatCestu(plna, st)) return k;
    }
    return ZE_OK;
  }

  int Vlozit(const std::string& cesta, const struct stat& st, bool slozka) {
    std::string jmeno = JmenoVArchivu(cesta);
    if (jmeno.empty()) return ZE_OK;  // the root folder itself
    if (slozka) jmeno += '/';
    auto [it, nove] = cesty_.emplace(jmeno, cesta);
    if (!nove) {
      if (it->second == cesta) return ZE_OK;
      Upozornit("zip error: name in zip file repeated: " + jmeno);
      return ZE_PARMS;
    }
    polozky.push_back({cesta, jmeno, slozka, st});
    return ZE_OK;
  }

  std::string JmenoVArchivu(const std::string& cesta) const {
    if (volby_.fJunkDir) return PosledniCast(cesta);
    std::string predpona = koren_ == "/" ? "/" : koren_ + "/";
    if (cesta.rfind(predpona, 0) == 0) return cesta.substr(predpona.size());
    if (cesta == koren_) return {};
    return cesta.substr(1);
  }

  bool Viditelne(const std::string& jmeno) const {
    return volby_.fSystem || jmeno.empty() || jmeno.front() != '.';
  }

  bool JeArchiv(const struct stat& st) const {
    return archiv_ && archiv_->st_dev == st.st_dev && archiv_->st_ino == st.st_ino;
  }

  void Upozornit(const std::string& zprava) const {
    if (!volby_.fQuiet) Tisknout(Stav().funkce.print, zprava + "\n");
  }

  const ZPOPT& volby_;
  std::optional<struct stat> archiv_;
  std::string koren_;
  std::map<std::string, std::string> cesty_;  // archive name -> path on disk
};

int KodOtevreni(int chyba) {
  switch (chyba) {
    case ZIP_ER_MEMORY:
      return ZE_MEM;
    case ZIP_ER_NOZIP:
    case ZIP_ER_INCONS:
    case ZIP_ER_MULTIDISK:
    case ZIP_ER_EOF:
      return ZE_FORM;
    default:
      return ZE_CREAT;
  }
}

int KodZavreni(int chyba) {
  switch (chyba) {
    case ZIP_ER_MEMORY:
      return ZE_MEM;
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
    case ZIP_ER_NOENT:
      return ZE_OPEN;
    case ZIP_ER_TMPOPEN:
    case ZIP_ER_RENAME:
    case ZIP_ER_REMOVE:
    case ZIP_ER_CLOSE:
      return ZE_CREAT;
    case ZIP_ER_CRC:
    case ZIP_ER_INCONS:
    case ZIP_ER_COMPRESSED_DATA:
    case ZIP_ER_EOF:
      return ZE_FORM;
    default:
      return ZE_WRITE;
  }
}

int KodKroku(zip_t* archiv) {
  return KodChyby(archiv) == ZIP_ER_MEMORY ? ZE_MEM : ZE_LOGIC;
}

// True when the file is newer than the entry of the same name.
bool Novejsi(const Kandidat& k, zip_t* archiv, zip_uint64_t index) {
  bool zPoleCasu = false;
  auto cas = CasPolozky(archiv, index, &zPoleCasu);
  if (!cas) return true;
  UtcCas soubor = k.st.st_mtime;
  return zPoleCasu ? soubor > *cas : ZaokrouhlitNaDos(soubor) > *cas;
}

// Time, time stamp field, attributes, compression and encryption of a new entry.
int NastavitPolozku(zip_t* archiv, zip_uint64_t index, const Kandidat& k, const ZPOPT& v,
                    const std::string& heslo) {
  UtcCas zmena = k.st.st_mtime;
  if (zip_file_set_mtime(archiv, index, static_cast<time_t>(ZaokrouhlitNaDos(zmena)), 0) != 0)
    return KodKroku(archiv);
  (void)zip_file_extra_field_delete_by_id(archiv, index, kPoleCasu, ZIP_EXTRA_FIELD_ALL,
                                          ZIP_FL_LOCAL | ZIP_FL_CENTRAL);
  if (!v.fExtra) {
    auto mistni = PoleCasuMistni(zmena, k.st.st_atime);
    auto centralni = PoleCasuCentralni(zmena);
    if (mistni && centralni) {
      auto zapsat = [&](const std::string& pole, zip_flags_t kde) {
        return zip_file_extra_field_set(archiv, index, kPoleCasu, ZIP_EXTRA_FIELD_NEW,
                                        reinterpret_cast<const zip_uint8_t*>(pole.data()),
                                        static_cast<zip_uint16_t>(pole.size()), kde);
      };
      if (zapsat(*mistni, ZIP_FL_LOCAL) != 0 || zapsat(*centralni, ZIP_FL_CENTRAL) != 0)
        return KodKroku(archiv);
    }
  }
  std::uint32_t dos = 0;
  if (k.slozka) dos |= kDosSlozka;
  if (!(k.st.st_mode & S_IWUSR)) dos |= kDosJenProCteni;
  std::uint32_t atributy = (static_cast<std::uint32_t>(k.st.st_mode & 0xFFFF) << 16) | dos;
  if (zip_file_set_external_attributes(archiv, index, 0, ZIP_OPSYS_UNIX, atributy) != 0)
    return KodKroku(archiv);
  if (k.slozka) return ZE_OK;
  if (v.fLevel >= '0' && v.fLevel <= '9') {
    bool ulozit = v.fLevel == '0';
    if (zip_set_file_compression(archiv, index, ulozit ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                 ulozit ? 0 : static_cast<zip_uint32_t>(v.fLevel - '0')) != 0)
      return KodKroku(archiv);
  }
  if (!heslo.empty()) {
    // Traditional PKWARE encryption is what every unzip reads; AES where it is missing.
    zip_uint16_t metoda = zip_encryption_method_supported(ZIP_EM_TRAD_PKWARE, 1)
                              ? ZIP_EM_TRAD_PKWARE
                              : ZIP_EM_AES_256;
    if (zip_file_set_encryption(archiv, index, metoda, heslo.c_str()) != 0) return KodKroku(archiv);
  }
  return ZE_OK;
}

// Asks the password callback; no value when it declines or answers an empty text.
std::optional<std::string> ZiskatHeslo(const std::string& archiv) {
  DLLPASSWORD heslo = Stav().funkce.password;
  if (!heslo) return std::nullopt;
  char buf[kDelkaBufferuHesla] = {};
  int odpoved = heslo(buf, sizeof buf, "Enter password: ", archiv.c_str());
  std::string text(buf, ::strnlen(buf, sizeof buf));
  if (odpoved != 0 || text.empty()) return std::nullopt;
  return text;
}

void NastavitKomentar(zip_t* archiv) {
  DLLCOMMENT komentar = Stav().funkce.comment;
  if (!komentar) return;
  std::vector<char> buf(kDelkaKomentare + 1, '\0');
  int delka = 0;
  if (const char* stary = zip_get_archive_comment(archiv, &delka, 0))
    std::memcpy(buf.data(), stary,
                std::min<std::size_t>(static_cast<std::size_t>(delka), kDelkaKomentare));
  const char* novy = komentar(buf.data());
  if (!novy) return;
  (void)zip_set_archive_comment(archiv, novy,
                                static_cast<zip_uint16_t>(::strnlen(novy, kDelkaKomentare)));
}

int Archivovat(const ZCL& c) {
  const StavZipu& s = Stav();
  if (!s.inicializovano || !c.lpszZipFN || !*c.lpszZipFN || c.argc < 0 || (c.argc > 0 && !c.FNV))
    return ZE_PARMS;
  const ZPOPT& v = s.volby;
  auto tisk = [&](const std::string& zprava) {
    if (!v.fQuiet) Tisknout(s.funkce.print, zprava + "\n");
  };
  if (NepodporovaneVolby(v)) {
    tisk("zip error: option not supported");
    return ZE_PARMS;
  }
  std::string archiv = c.lpszZipFN;
  struct stat stArchivu {};
  bool existuje = ::stat(archiv.c_str(), &stArchivu) == 0;

  Sber sber(v, existuje ? &stArchivu : nullptr);
  for (int i = 0; i < c.argc; ++i)
    if (c.FNV[i] && *c.FNV[i])
      if (int k = sber.Pridat(c.FNV[i])) return k;
  if (sber.polozky.empty()) {
    tisk("zip warning: nothing to do");
    return ZE_NONE;
  }
  for (const auto& k : sber.polozky) {
    if (k.slozka) continue;
    Popisovac fd(::open(k.cesta.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Platny()) {
      tisk("zip error: could not open for reading: " + k.cesta);
      return ZE_OPEN;
    }
  }
  std::string heslo;
  if (v.fEncrypt) {
    auto zadane = ZiskatHeslo(archiv);
    if (!zadane) {
      tisk("zip error: no password given");
      return ZE_PARMS;
    }
    heslo = *zadane;
  }

  int chyba = 0;
  ArchivPtr za(zip_open(archiv.c_str(), ZIP_CREATE, &chyba));
  if (!za) return KodOtevreni(chyba);
  int pridano = 0;
  for (const auto& k : sber.polozky) {
    if (s.funkce.ServiceApplication &&
        s.funkce.ServiceApplication(k.jmeno.c_str(), static_cast<std::uint64_t>(k.st.st_size)))
      return ZE_ABORT;
    zip_int64_t existujici = zip_name_locate(za.get(), k.jmeno.c_str(), 0);
    bool jenNovejsi = v.fUpdate || v.fFreshen;
    if (existujici < 0 && v.fFreshen) continue;
    if (existujici >= 0 && jenNovejsi &&
        (k.slozka || !Novejsi(k, za.get(), static_cast<zip_uint64_t>(existujici))))
      continue;
    zip_int64_t index = existujici;
    if (k.slozka) {
      if (index < 0) index = zip_dir_add(za.get(), k.jmeno.c_str(), ZIP_FL_ENC_UTF_8);
    } else {
      zip_error_t chybaZdroje;
      zip_error_init(&chybaZdroje);
      ZdrojPtr zdroj(zip_source_file_create(k.cesta.c_str(), 0, -1, &chybaZdroje));
      zip_error_fini(&chybaZdroje);
      if (!zdroj) return ZE_OPEN;
      index =
          zip_file_add(za.get(), k.jmeno.c_str(), zdroj.get(), ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
      if (index >= 0) zdroj.release();  // the archive owns it now
    }
    if (index < 0) return KodKroku(za.get());
    if (int kod = NastavitPolozku(za.get(), static_cast<zip_uint64_t>(index), k, v, heslo))
      return kod;
    tisk((existujici >= 0 ? "updating: " : "  adding: ") + k.jmeno);
    ++pridano;
  }
  if (pridano == 0) {
    tisk("zip warning: nothing to do");
    return ZE_NONE;
  }
  if (v.fComment) NastavitKomentar(za.get());
  if (zip_close(za.get()) != 0) return KodZavreni(KodChyby(za.get()));
  (void)za.release();  // closed: nothing left to discard
  return ZE_OK;
}

}  // namespace

int ZpInit(const ZIPUSERFUNCTIONS* funkce) {
  if (!funkce || !funkce->print) return 0;
  Stav().funkce = *funkce;
  Stav().inicializovano = true;
  return 1;
}

int ZpSetOptions(const ZPOPT* volby) {
  if (!volby) return 0;
  try {
    StavZipu& s = Stav();
    s.datum = volby->Date ? volby->Date : "";
    s.koren = volby->szRootDir ? volby->szRootDir : "";
    s.docasna = volby->szTempDir ? volby->szTempDir : "";
    s.volby = *volby;
    s.volby.Date = Text(s.datum, volby->Date);
    s.volby.szRootDir = Text(s.koren, volby->szRootDir);
    s.volby.szTempDir = Text(s.docasna, volby->szTempDir);
    return 1;
  } catch (...) {
    return 0;
  }
}

ZPOPT ZpGetOptions() {
  ZPOPT v = Stav().volby;
  v.fEncryption = 1;
  return v;
}

int ZpArchive(ZCL c) {
  try {
    return Archivovat(c);
  } catch (const std::bad_alloc&) {
    return ZE_MEM;
  } catch (...) {
    return ZE_LOGIC;
  }
}

}  // namespace zevlon::zip32
