// The update server of an add-on or module: from its manifests ("*.manifest.xml" in
// its folder), or from a release information file that a manifest points to, in
// which case the application's package must suit the suite release being installed.
#pragma once

#include <string>

namespace zevlon {

inline constexpr const char* kSouborVydaniUprav = "upravy_download.ini";

// ZakladniSlozka + NazevAplikace is the application's folder (ending with "/");
// NazevAplikace is also, in its wire form ("Upravy\Doplnky\X\"), the section of the
// application's release information. Answers the server address or "".
std::string NajitServerAplikace(const std::string& ZakladniSlozka, const std::string& NazevAplikace,
                                const std::string& CiloveVydani);

}  // namespace zevlon
