// Pieces shared by the zip and unzip halves of our zip layer: owners of libzip's
// objects, the extended time stamp field, entry times, entry paths and permission
// bits. Internal to the layer (zip32_*.cpp).
#pragma once

#include <sys/types.h>
#include <zip.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/cas.h"
#include "prenos/zip/zip32_zaznamy.h"

namespace zevlon::zip32 {

// Owners of libzip objects. An archive that was not closed successfully is
// discarded: nothing of it is written.
struct ZahoditArchiv {
  void operator()(zip_t* a) const { zip_discard(a); }
};
using ArchivPtr = std::unique_ptr<zip_t, ZahoditArchiv>;

struct ZavritPolozku {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};
using PolozkaPtr = std::unique_ptr<zip_file_t, ZavritPolozku>;

struct UvolnitZdroj {
  void operator()(zip_source_t* z) const { zip_source_free(z); }
};
using ZdrojPtr = std::unique_ptr<zip_source_t, UvolnitZdroj>;

// The largest entry that is ever unpacked (4 GiB); a larger one refuses the archive.
inline constexpr std::uint64_t kMaxVelikostPolozky = std::uint64_t{4} << 30;

// Id of the extended time stamp extra field ("UT").
inline constexpr std::uint16_t kPoleCasu = 0x5455;

// The UT field as the local header carries it (modification and access time) and as
// the central directory carries it (modification time only); both announce the two
// times in their flag byte, as Info-ZIP zip writes them. No value for a time that
// does not fit the field's signed 32 bits.
std::optional<std::string> PoleCasuMistni(UtcCas zmena, UtcCas pristup);
std::optional<std::string> PoleCasuCentralni(UtcCas zmena);

// The modification time of a UT field; no value when the field carries none.
std::optional<UtcCas> CasZPoleCasu(const std::uint8_t* data, std::uint16_t delka);

// A time as the DOS fields can hold it: odd seconds rounded up, as Info-ZIP does.
inline UtcCas ZaokrouhlitNaDos(UtcCas t) {
  return (t + 1) & ~UtcCas{1};
}

// The modification time of an entry: from its UT field (central directory first,
// then the local header) when it has one, else its DOS date and time read as local
// time. *zPoleCasu tells which of the two it was.
std::optional<UtcCas> CasPolozky(zip_t* archiv, zip_uint64_t index, bool* zPoleCasu = nullptr);

// An entry path made safe for extraction: "\" taken as "/", empty and "." parts
// dropped, ".." taking back the part before it. No value when the path is absolute
// ("/..." or a drive "C:...") or climbs above the folder it is extracted into. An
// empty answer names that folder itself.
std::optional<std::string> BezpecnaCesta(std::string_view jmeno);

// True when the entry declares its size and it is at most `velikost` bytes (exactly
// that many with `presne`).
bool MaVelikost(zip_t* archiv, zip_uint64_t index, std::uint64_t velikost, bool presne);

// True when the entry's external attributes mark a symbolic link.
bool JeOdkaz(zip_t* archiv, zip_uint64_t index);

// Permission bits that nothing unpacked ever gets: those of the process's umask and,
// for a process of root, the write bits of group and others (root must never install
// a file that another user could change).
mode_t ZakazaneBity();

// Permission bits for an extracted file: the entry's Unix bits (at most 0777) when it
// has them, else 0644, without the write bits when the DOS read-only bit is set; never
// any of ZakazaneBity.
mode_t RezimSouboru(zip_t* archiv, zip_uint64_t index);

// Hands a message to a print callback (when there is one).
void Tisknout(DLLPRNT tisk, std::string_view zprava);

// The libzip error code of an archive.
int KodChyby(zip_t* archiv);

}  // namespace zevlon::zip32
