// The state of one unzip over an open archive, shared by the two files of the unzip
// half: zip32_unzip.cpp chooses and checks the entries, zip32_unzip_polozky.cpp opens
// each one (asking for its password), tests it or writes it to disk. Internal to the
// unzip half.
#pragma once

#include <zip.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/cas.h"
#include "prenos/zip/zip32_pomucky.h"
#include "prenos/zip/zip32_zaznamy.h"

namespace zevlon::zip32 {

// Creates a folder with the missing folders above it. False when something other
// than a folder stands in the way or a folder cannot be made.
bool VytvoritSlozky(const std::string& cesta);

// Sets the modification time of a path (UTC, whole seconds); false on failure.
bool NastavitCasCesty(const std::string& cesta, UtcCas cas);

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

  int Provest(int ifnc, const char* const* ifnv, int xfnc, const char* const* xfnv);

 private:
  // The choice of the entries (zip32_unzip.cpp).
  bool Vybrana(const std::string& jmeno, int ifnc, const char* const* ifnv, int xfnc,
               const char* const* xfnv, std::vector<bool>& nalezeno) const;
  bool PrilisVelka(zip_uint64_t index) const;
  // Whether a selected entry declares a size the caller allows (any, unless one file is
  // asked for by its exact path).
  bool VelikostPovolena(zip_uint64_t index) const;
  std::uint64_t Velikost(zip_uint64_t index) const;
  void Secist(const std::vector<Polozka>& vybrane);
  static unsigned PomerKomprese(std::uint64_t velikost, std::uint64_t komprimovana);
  void Vypsat(const Polozka& p) const;

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

  zip_stat_t Udaje(zip_uint64_t index) const {
    zip_stat_t st;
    zip_stat_init(&st);
    (void)zip_stat_index(za_, index, 0, &st);
    return st;
  }

  // Each entry opened, tested or written (zip32_unzip_polozky.cpp).
  std::string Cil(const Polozka& p) const;
  int Slozka(const Polozka& p);
  // Whether an existing file may be replaced: noflag says yes unasked (unless
  // PromptToOverwrite), otherwise the replace callback decides.
  bool Prepsat(const std::string& cesta);
  // Opens an entry for reading, asking for a password when it is encrypted. Without
  // a fitting password the entry is skipped (counted in bezHesla_).
  PolozkaPtr Otevrit(const Polozka& p, int& kod);
  int Soubor(const Polozka& p);
  int Otestovat(const Polozka& p, zip_file_t* f);
  // Writes the entry to a temporary name in its folder and renames it into place
  // once the data, permission bits and time are all written.
  int Zapsat(const Polozka& p, const std::string& cesta, zip_file_t* f);

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

}  // namespace zevlon::zip32
