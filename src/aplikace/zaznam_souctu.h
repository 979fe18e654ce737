// The SHA-256 of an installation folder's files, remembered between runs so that a file
// that did not change is not read again: a record per live folder, where only the acting
// user writes (Platforma::SlozkaZaznamu), keyed by what changes whenever a file's content
// may have changed: device, inode, size, modification time and status-change time (in
// nanoseconds). Writing a file, changing its times or mode, renaming or linking it all
// move the status-change time, which nobody can set back.
//
// The record is a text file "soucty-<16 hex digits of the folder path's SHA-256>.txt":
// a header line, one line per file "device inode size mtime-ns ctime-ns sha256", and a
// last line with the SHA-256 of everything above it. A record that cannot be read or does
// not match its checksum is left out whole and built again.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace zevlon {

// How installed files are opened for reading: never through a link, and a pipe laid under
// a file's name cannot stall the open.
inline constexpr int kCteniMistnich = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;

// What identifies one state of a file's content.
struct KlicSouboru {
  std::uint64_t zarizeni = 0, inode = 0;
  std::int64_t velikost = 0, zmena = 0, stav = 0;  // mtime and ctime in ns
  static KlicSouboru Z(const struct stat& st);
  bool operator==(const KlicSouboru&) const = default;
};

struct HashKlice {
  std::size_t operator()(const KlicSouboru& k) const;
};

class ZaznamSouctu {
 public:
  // The record of the live folder `slozka`; none (every file hashed) where the user has no
  // record place.
  explicit ZaznamSouctu(const std::string& slozka);

  // The SHA-256 of the open regular file whose status is `st`: the recorded one while the
  // key matches, otherwise read through the descriptor (its offset left alone) and
  // remembered when the file did not change while it was read and its status-change time
  // lies far enough back that a later write cannot share it. nullopt when it cannot be read.
  std::optional<std::string> Soucet(int fd, const struct stat& st);
  // The recorded SHA-256 of that state of a file, without reading it (kept for the next
  // record).
  const std::string* Zname(const KlicSouboru& k);
  // Remembers a file this run placed, whose content was checked against `sha256`; `st` its
  // status after its last change.
  void Zapsat(const struct stat& st, const std::string& sha256);

  // Writes what this run looked up or placed (nothing else: files gone or replaced drop
  // out), and logs the hashing done into Zevlon.log; failures are logged, never raised.
  void Ulozit() noexcept;

 private:
  std::string slozka_, cesta_;
  bool existuje_ = false, poskozen_ = false;
  // cerstve_: what was read of files changed too lately to be recorded, for this run only
  std::unordered_map<KlicSouboru, std::string, HashKlice> stary_, novy_, cerstve_;
  std::int64_t souboru_ = 0, bajtu_ = 0;
  double sekund_ = 0;
};

}  // namespace zevlon
