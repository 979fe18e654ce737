// The SHA-256 of an installation folder's files, remembered between runs so that a file
// that did not change is not read again: a record per live folder, where only the acting
// user writes (Platforma::SlozkaZaznamu), keyed by what changes whenever a file's content
// may have changed: device, inode, size, modification time and status-change time (in
// nanoseconds). Writing a file, changing its times or mode, renaming or linking it all
// move the status-change time, which nobody can set back.
//
// The record is a text file "soucty-<16 hex digits of the folder path's SHA-256>.txt":
// a header line, one line per file "device inode size mtime-ns ctime-ns sha256", and a
// last line with a BLAKE2b-256 of everything above it. A record that cannot be read or
// does not match its checksum is left out whole and built again.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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
  // remembered for this run, and in the next record when its status-change time lies far
  // enough back that a later write cannot share it. nullopt when it cannot be read or was
  // written to while it was read. The text stays valid as long as the record.
  std::optional<std::string_view> Soucet(int fd, const struct stat& st);
  // The recorded SHA-256 of that state of a file, without reading it (kept for the next
  // record).
  std::optional<std::string_view> Zname(const KlicSouboru& k);
  // A file of the folder as the scan saw it: its path and status.
  struct Videny {
    std::string cesta;
    KlicSouboru stav;
  };
  // Whether that state of a file is known, without keeping it for the next record.
  bool Zna(const KlicSouboru& k) const { return mapa_.count(k) != 0; }
  // Reads the files whose state is not known yet on a few threads, each as Soucet reads one;
  // a file that is no longer the one the scan saw is left for later.
  void SpocitatNaraz(const std::vector<Videny>& soubory);
  // Remembers a file this run placed, whose content was checked against `sha256` (64 hex
  // digits); `st` its status after its last change.
  void Zapsat(const struct stat& st, std::string_view sha256);

  // Writes what this run looked up or placed (nothing else: files gone or replaced drop
  // out), and logs the hashing done into Zevlon.log; failures are logged, never raised.
  void Ulozit() noexcept;

 private:
  // One state of a file: its SHA-256 in hex, and what becomes of it.
  enum class Osud : std::uint8_t {
    kNepouzity,  // in the record read, not looked up by this run: dropped
    kZapsat,     // looked up or placed by this run: in the next record
    kCerstvy,    // read of a file changed too lately to be recorded: this run only
  };
  struct Polozka {
    std::array<char, 64> sha256;
    Osud osud;
    std::string_view Text() const { return {sha256.data(), sha256.size()}; }
  };
  using Mapa = std::unordered_map<KlicSouboru, Polozka, HashKlice>;
  static std::optional<Mapa> Precist(std::string_view text);
  // The entry for the open file whose key is `k`, read whole (its bytes added to `bajtu`);
  // nullopt when it cannot be read or changed while it was.
  static std::optional<Polozka> Spocitat(int fd, const KlicSouboru& k, std::int64_t& bajtu);

  std::string slozka_, cesta_;
  bool existuje_ = false, poskozen_ = false;
  Mapa mapa_;
  std::int64_t souboru_ = 0, bajtu_ = 0;
  double sekund_ = 0;
};

}  // namespace zevlon
