// The per-file deltas that a folder's update may fetch in place of whole files: a delta
// made against the bytes of the installed file, applied to them, and the result checked
// against the snapshot line before it is placed. Whatever fails falls back to the whole
// file, with one line in Zevlon.log.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "aplikace/instalovany_soubor.h"
#include "aplikace/seznam_delt.h"

namespace zevlon {

class ZaznamSouctu;

// "Delty" of section "Server": "0" switches deltas off (no delta list is asked for).
inline constexpr const char* kKlicDelty = "Delty";

// What the release information says of a folder's delta list.
struct UvedeneDelty {
  bool uvedeny = false;               // it lists one (a site without a list has no key)
  std::optional<std::string> sha256;  // under verification: what the unpacked list hashes to
};

class DeltySlozky {
 public:
  // Fetches the list of the folder at `UrlServeru` into `TempSlozka` when the release
  // information lists one and deltas are not switched off; a list that cannot be had, or
  // that does not have the checksum it must, is logged and none is used.
  DeltySlozky(const std::string& TempSlozka, const std::string& UrlServeru,
              const UvedeneDelty& uvedene);

  // The delta to fetch for the line `s` whose installed file `r` lies in `slozka`: one made
  // against the bytes that file has (its SHA-256 from the record, else read now) and giving
  // the line's, no larger than the file's archive may be. nullptr when the list has none;
  // logged when it has deltas of the file but none for its bytes, or the file is too large.
  const Delta* Vybrat(const InstalovanySoubor& s, const InstalovanySoubor& r,
                      const std::string& slozka, ZaznamSouctu& zaznam);

  // Rebuilds the file of the line `s` at `cil` (a new file) from the downloaded delta
  // `delta` and the installed file `zdroj`, read into memory; the result takes the line's
  // time and the installed file's mode. False, logged and with nothing at `cil`, when the
  // installed file no longer has the base's bytes, the delta is damaged or out of bounds, or
  // the result lacks the line's SHA-256. The delta's file is removed either way.
  bool Pouzit(const Delta& d, const InstalovanySoubor& s, const std::string& zdroj,
              const std::string& delta, const std::string& cil);

  // Logs that the file is fetched whole after all, and why.
  void Zalogovat(const std::string& cesta, const std::string& proc) const;

  int Pouzito() const { return pouzito_; }

 private:
  std::string url_;
  std::unordered_map<std::string, std::vector<Delta>> podleCesty_;
  int pouzito_ = 0;
};

}  // namespace zevlon
