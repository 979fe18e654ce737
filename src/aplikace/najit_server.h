// The update server of an add-on or module: from its manifests ("*.manifest.xml" in
// its folder), or from a release information file that a manifest points to, in
// which case the application's package must suit the suite release being installed.
#pragma once

#include <optional>
#include <string>

#include "aplikace/delty_slozky.h"
#include "prenos/podpisy/overeni.h"

namespace zevlon {

inline constexpr const char* kSouborVydaniUprav = "upravy_download.ini";

struct ServerAplikace {
  std::string url;  // the server's address, or "" when the application has none
  // With verification: the checksum of the server's snapshot that its signed release
  // information lists (in the section's "Sha256").
  std::optional<std::string> sha256Snapshotu;
  // Its delta list, as the section's "Sha256Delty" lists it.
  UvedeneDelty delty;
  // With verification: why the server cannot be trusted; "" when it can.
  std::string neovereno;
};

// ZakladniSlozka + NazevAplikace is the application's folder (ending with "/");
// NazevAplikace is also, in its wire form ("Upravy\Doplnky\X\"), the section of the
// application's release information. With keys in `overeni`, only a server named by a
// release information file (a manifest's "urlIni") can be trusted, and only when that
// file's signature verifies with the site's keys or with the key that the manifest names
// in its attribute "verejnyKlic".
ServerAplikace NajitServerAplikace(const std::string& ZakladniSlozka,
                                   const std::string& NazevAplikace,
                                   const std::string& CiloveVydani,
                                   const NastaveniOvereni& overeni = {});

}  // namespace zevlon
