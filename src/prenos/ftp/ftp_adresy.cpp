#include "prenos/ftp/ftp_adresy.h"

#include <string_view>

#include "common/text.h"

namespace zevlon::ftp {

std::string CestaUrl(const std::string& cesta, bool slozka) {
  std::string out = "%2F";
  std::string_view zbytek(cesta);
  if (!zbytek.empty() && zbytek.front() == '/') zbytek.remove_prefix(1);
  if (zbytek.empty()) return out;
  bool prvni = true;
  for (const std::string& segment : Rozdelit(zbytek, '/')) {
    if (!prvni) out += '/';
    out += KodovatProUrl(segment, false);
    prvni = false;
  }
  if (slozka) out += '/';
  return out;
}

bool AdresaServeru(const std::string& server, std::string& vysledek) {
  if (server.empty()) return false;
  int dvojtecek = 0;
  for (unsigned char c : server) {
    if (c <= 0x20 || c == 0x7f || c == '/' || c == '\\' || c == '?' || c == '#' || c == '@' ||
        c == '[' || c == ']' || c == '%')
      return false;
    if (c == ':') ++dvojtecek;
  }
  if (dvojtecek == 1) return false;  // "host:port" is not a host
  vysledek = dvojtecek ? "[" + server + "]" : server;
  return true;
}

}  // namespace zevlon::ftp
