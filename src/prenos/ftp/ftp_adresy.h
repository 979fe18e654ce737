// The addresses the libcurl session of the FTP client builds: the host part of the
// server's URL and the URL path of a remote path.
#pragma once

#include <string>

namespace zevlon::ftp {

// The URL path of an absolute remote path. The leading "/" goes as %2F, which makes
// libcurl treat the path as absolute rather than relative to the login folder; a
// folder ends with "/" so that libcurl does not take its last part for a file.
std::string CestaUrl(const std::string& cesta, bool slozka);

// The server's name as the host part of a URL, an IPv6 address in brackets. False
// for a name that cannot stand in a URL: empty, with a blank, a control character
// or a URL delimiter in it, or "host:port".
bool AdresaServeru(const std::string& server, std::string& vysledek);

}  // namespace zevlon::ftp
