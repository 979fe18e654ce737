// The record of one file of an installation folder: where it lies relative to the
// folder, how large it is and when it was last written. The relative path is the
// file's identity: lists of records are keyed by it, without regard to letter case.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "aplikace/zaznam_souctu.h"
#include "common/cas.h"
#include "common/seznam.h"

namespace zevlon {

class InstalovanySoubor {
 public:
  // Path relative to the installation folder, native separators ("merko/app.exe").
  std::string Cesta;
  // File name as the folder listing gave it; empty for records read from a snapshot.
  std::string Jmeno;
  // Last-write time, UTC whole seconds.
  UtcCas Datum = 0;
  // Size in bytes (64 bits: files over 2 GiB are ordinary).
  std::int64_t Velikost = 0;
  // SHA-256 of the content as a snapshot lists it (64 lowercase hex digits); empty when
  // the line has none or the record comes from a folder scan.
  std::string Sha256;
  // What the folder scan saw of the file (all 0 for records read from a snapshot).
  KlicSouboru Stav;
  // Transfer flags kept by the update server.
  bool Downloaded = false;
  bool Unzipped = false;

  // A copy with Cesta, Jmeno, Datum, Velikost and Sha256; the transfer flags are false.
  std::shared_ptr<InstalovanySoubor> Clone() const;

  // Copies the file from source folder + Cesta to target folder + Cesta, creating the
  // target's folders and replacing an existing file. Both folders end with "/".
  void Stahnout(const std::string& InstalacniSlozka, const std::string& LokalniSlozka) const;

  // True when the file name (after the last "/") matches "*.manifest.xml", case ignored.
  bool JeManifest() const;
};

// List of installed files keyed by Cesta.
using SeznamSouboru = KlicovanySeznam<InstalovanySoubor>;

}  // namespace zevlon
