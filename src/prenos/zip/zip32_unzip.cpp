// The unzip half of our zip layer: UzpVersion2 and Wiz_SingleEntryUnzip, and the choice
// of the entries an unzip takes (checked, matched, listed); zip32_unzip_polozky.cpp does
// the work on each entry.
#include <sys/stat.h>
#include <zlib.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "common/text.h"
#include "prenos/zip/zip32_knihovna.h"
#include "prenos/zip/zip32_pomucky.h"
#include "prenos/zip/zip32_rozbalovani.h"

namespace zevlon::zip32 {

namespace {

// Version of the layer as UzpVersion2 reports it.
constexpr std::uint8_t kVerze[4] = {6, 0, 0, 0};
constexpr std::uint8_t kVerzeApi[4] = {5, 5, 0, 0};
constexpr const char* kDatumVerze = "3 November 2026";

}  // namespace

int Rozbalovani::Provest(int ifnc, const char* const* ifnv, int xfnc, const char* const* xfnv) {
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

bool Rozbalovani::Vybrana(const std::string& jmeno, int ifnc, const char* const* ifnv, int xfnc,
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

bool Rozbalovani::PrilisVelka(zip_uint64_t index) const {
  zip_stat_t st = Udaje(index);
  return (st.valid & ZIP_STAT_SIZE) && st.size > kMaxVelikostPolozky;
}

bool Rozbalovani::VelikostPovolena(zip_uint64_t index) const {
  return !v_.fExactNames || MaVelikost(za_, index, v_.MaxSize, v_.fExactSize != 0);
}

std::uint64_t Rozbalovani::Velikost(zip_uint64_t index) const {
  zip_stat_t st = Udaje(index);
  return (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
}

void Rozbalovani::Secist(const std::vector<Polozka>& vybrane) {
  f_.TotalSize = f_.TotalSizeComp = 0;
  for (const auto& p : vybrane) {
    zip_stat_t st = Udaje(p.index);
    if (st.valid & ZIP_STAT_SIZE) f_.TotalSize += st.size;
    if (st.valid & ZIP_STAT_COMP_SIZE) f_.TotalSizeComp += st.comp_size;
  }
  f_.NumMembers = static_cast<unsigned>(vybrane.size());
  f_.CompFactor = PomerKomprese(f_.TotalSize, f_.TotalSizeComp);
}

unsigned Rozbalovani::PomerKomprese(std::uint64_t velikost, std::uint64_t komprimovana) {
  if (velikost == 0 || komprimovana >= velikost) return 0;
  return static_cast<unsigned>(100 - komprimovana * 100 / velikost);
}

void Rozbalovani::Vypsat(const Polozka& p) const {
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
  f_.SendApplicationMessage(st.size, st.comp_size, PomerKomprese(st.size, st.comp_size),
                            static_cast<unsigned>(tm.tm_mon + 1), static_cast<unsigned>(tm.tm_mday),
                            static_cast<unsigned>((tm.tm_year + 1900) % 100),
                            static_cast<unsigned>(tm.tm_hour), static_cast<unsigned>(tm.tm_min),
                            ' ', p.jmeno.c_str(), metoda, static_cast<unsigned long>(st.crc),
                            sifrovana ? 'E' : ' ');
}

namespace {

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
