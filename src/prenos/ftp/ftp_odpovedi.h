// The replies of an FTP server, read from the control connection's lines as libcurl
// hands them over: a one-line reply ("250 ...") stands alone, the lines of a
// multi-line reply ("211-" up to "211 ") are joined into one. Lines that are no reply
// (libcurl makes some up itself) are only kept.
#pragma once

#include <string>
#include <vector>

namespace zevlon::ftp {

struct OdpovediServeru {
  std::vector<std::string> radky;  // every line of the operation, without CR LF
  std::string posledni;            // the last complete reply
  std::string viceradkova;         // a multi-line reply being read
  std::string kodViceradkove;

  // Forgets the lines of the previous operation.
  void Vycistit();
  // Takes one line, with or without its line end.
  void PrijmoutRadek(std::string r);
};

}  // namespace zevlon::ftp
