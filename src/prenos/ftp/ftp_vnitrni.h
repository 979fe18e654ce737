// Pieces shared by the parts of CFTPManager: the source its errors name and the text
// helpers of remote paths (defined in ftp_cesty.cpp). Internal to the FTP client
// (ftp*.cpp).
#pragma once

#include <string>

namespace zevlon::ftp {

// The source named in the errors of the FTP client.
inline constexpr const char* kZdroj = "CFTPManager";

// The file name after the last "/".
std::string JmenoZCesty(const std::string& cesta);

// The folder part before the last "/" ("" when there is none, "/" for the root).
std::string SlozkaZCesty(const std::string& cesta);

// An absolute folder and a name in it joined into one path.
std::string Spojit(const std::string& slozka, const std::string& jmeno);

}  // namespace zevlon::ftp
