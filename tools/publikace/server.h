// A small static HTTP/1.1 server for an update site on a loopback port: GET and HEAD
// of the files below one folder, keep-alive connections, one access-log line per
// request. For demos and tests, not for the internet.
#pragma once

#include <atomic>
#include <string>

namespace zevlon::publikace {

struct NastaveniServeru {
  std::string slozka;  // the site folder
  std::string adresa = "127.0.0.1";
  int port = 8080;  // 0: any free port
  std::string log;  // access log file ("" for standard output)
};

// Serves until `konec` is set; calls `pripraven` with the port once listening.
// Answers 0, or 1 when the port could not be opened.
int Servirovat(const NastaveniServeru& n, const std::atomic<bool>& konec,
               void (*pripraven)(int port));

}  // namespace zevlon::publikace
