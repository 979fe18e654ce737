// Which keys sign the update site: "VerejnyKlic" of section "Server" of the options file
// (one minisign public key, or several separated by blanks, any of which may sign, so
// that a key can be rotated) and the key a vendor's build carries; and "PodpisPlatnyDni",
// the days a signature of the release information stays acceptable.
#pragma once

#include "prenos/podpisy/overeni.h"

namespace zevlon {

inline constexpr const char* kKlicVerejnehoKlice = "VerejnyKlic";
inline constexpr const char* kKlicPlatnostiPodpisu = "PodpisPlatnyDni";

// The run's verification settings; no keys: releases are not verified. A key text that
// is not a list of public keys, or a number of days that is not a whole number above 0,
// raises an error rather than quietly turning a check off.
NastaveniOvereni NastaveniOvereniWebu();

}  // namespace zevlon
