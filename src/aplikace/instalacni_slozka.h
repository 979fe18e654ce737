// One installation folder scanned into lists of installed files: all files, and the
// files by content type (system core, normal files, sample databases, application
// manifests). The same object reads, writes and compares snapshot files: text lists
// of a folder's files with their UTC times and sizes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "aplikace/instalovany_soubor.h"
#include "common/cas.h"

namespace zevlon {

class Manifest;

enum TypObsahuInstalacniSlozky : std::int32_t {
  VsechnySoubory = -255,
  JadroSystemu = -1,
  NormalniSoubory = 0,
  VzoroveDatabaze = 1,
  Manifesty = 2,
};

class InstalacniSlozka {
 public:
  InstalacniSlozka();

  // Scans the folder tree below CestaSlozky (ending with "/"). With JenSlozky (full
  // folder paths inside the root), only the root's own files and those folders with
  // their subfolders are read. Folders whose name begins with "_" or ends with ".scc",
  // hidden entries and symbolic links (to folders and to files alike: nothing behind a
  // link is an installed file) are passed over.
  void NacistObsahSlozky(const std::string& CestaSlozky,
                         const std::vector<std::string>* JenSlozky = nullptr);

  // The list of that content type from the last scan (the list itself); no list for
  // a value outside the type table.
  std::shared_ptr<SeznamSouboru> DejObsahSlozky(std::int32_t typ) const;

  const std::string& Koren() const { return koren_; }

  // Reads a snapshot file; a file that cannot be opened reads as an empty list. A
  // line with fewer than three fields, an unreadable time or size, a path that is
  // absolute or climbs out of the folder, or a repeated path fails the read.
  SeznamSouboru NacistSnapshot(const std::string& CestaSnapshotu) const;

  // Writes a snapshot file (replacing one that exists): one line per record,
  // "path TAB yyyy-MM-dd hh:mm:ss TAB size TAB" with CR LF, backslashes in paths,
  // Windows-1250 when every path fits and the bytes read back as the same text, else
  // UTF-8. A file that cannot be created is logged and left unwritten; the caller is
  // not told.
  void UlozitSnapshot(const std::string& CestaSnapshotu, const SeznamSouboru& snapshot) const;
  void UlozitJadroSystemuJakoSnapshot(const std::string& CestaSnapshotu) const;
  void UlozitNormalniSouboryJakoSnapshot(const std::string& CestaSnapshotu) const;
  void UlozitManifestyJakoSnapshot(const std::string& CestaSnapshotu) const;
  void UlozitVzoroveDatabazeJakoSnapshot(const std::string& CestaSnapshotu) const;

  // Copies of the records of zastupceSouboru that the snapshot does not hold, or holds
  // with another size or a time 30 or more seconds apart, in their order.
  SeznamSouboru PorovnatSnapshoty(const SeznamSouboru& snapshot,
                                  const SeznamSouboru& zastupceSouboru) const;
  SeznamSouboru PorovnatSnapshot(const SeznamSouboru& snapshot, std::int32_t typ) const;

  // The manifest of a file of the last scan (the root path + S.Cesta); not read yet.
  std::unique_ptr<Manifest> VytvoritManifestZeSouboru(const InstalovanySoubor& S) const;

 private:
  void UlozitSeznam(const char* navesti, std::int32_t typ, const std::string& cesta) const;

  std::string koren_;
  std::shared_ptr<SeznamSouboru> vsechny_, jadro_, normalni_, vzorove_, manifesty_;
};

// The largest snapshot file that is read (16 MiB).
inline constexpr std::int64_t kMaxVelikostSnapshotu = std::int64_t{16} << 20;

// The bytes of a snapshot file (or a list written as one) holding `text`, UTF-8 lines
// ending with CR LF: in Windows-1250 where the text reads back the same from it, else UTF-8.
std::string BajtySnapshotu(const std::string& text);

// Two time stamps count as equal when they are less than 30 seconds apart.
inline bool StejnyCas(UtcCas a, UtcCas b) {
  return (a > b ? a - b : b - a) < 30;
}

// Last-write time of a file in UTC, whole seconds.
UtcCas FileDateTimeModifiedUTC(const std::string& cesta);

}  // namespace zevlon
