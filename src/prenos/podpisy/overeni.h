// The checks of what an update site sends, once public keys are configured: the
// signature of a release information file, and the checksums that the signed file
// vouches for (of a folder's snapshot, of each downloaded file, of the updater).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/cas.h"
#include "common/chyba.h"
#include "prenos/podpisy/podpis.h"

namespace zevlon {

inline constexpr const char* kPriponaPodpisu = ".minisig";
// The largest signature file that is downloaded.
inline constexpr std::int64_t kMaxPodpisu = std::int64_t{64} << 10;

// Which keys may sign the site (none: nothing is verified) and, optionally, for how many
// days a signature of the release information stays acceptable.
struct NastaveniOvereni {
  std::vector<podpis::VerejnyKlic> klice;
  std::optional<std::int64_t> platnostDni;
  bool Zapnuto() const { return !klice.empty(); }
};

// The number of the error raised when a signature by a configured key does not match the
// file: a pair read while the site replaced it may match when read again.
inline constexpr std::int32_t kChybaPodpisNeodpovida = kChybaUzivatele + 0x101;

// Checks that `podpisSoubor` is a signature of the bytes of `soubor` by one of the keys,
// made no earlier than the allowed days before `ted`. Otherwise raises "Soubor <adresa>
// nemá platný podpis" with the reason; `adresa` names the file as the site serves it.
void OveritPodpisSouboru(const std::string& soubor, const std::string& podpisSoubor,
                         std::span<const podpis::VerejnyKlic> klice,
                         std::optional<std::int64_t> platnostDni, Okamzik ted,
                         const std::string& adresa);

// Where an expected checksum came from, as the message names it.
inline constexpr const char* kZPodepsanychInformaci = "z podepsaných informací o vydání";
inline constexpr const char* kZNepodepsanehoSnapshotu =
    "ze seznamu souborů master.snapshot, který web nepodepsal";

// Raises "Soubor <nazev> neodpovídá kontrolnímu součtu <odkud>." unless the file's SHA-256
// is `ocekavano`.
void OveritKontrolniSoucet(const std::string& soubor, const std::string& ocekavano,
                           const std::string& nazev, const char* odkud = kZPodepsanychInformaci);

}  // namespace zevlon
