// A small static HTTP/1.1 server for an update site on a loopback port: GET and HEAD
// of the regular files below one folder (no link followed; a name beginning with "." only
// when a snapshot of its site lists it), single byte ranges for
// resumed downloads, keep-alive connections served side by side up to a limit (each for a
// bounded number of requests and time, idle ones giving way to waiting clients), one
// access-log line per request. For demos, tests and benchmarks, not for the internet.
#pragma once

#include <atomic>
#include <string>

namespace zevlon::publikace {

struct NastaveniServeru {
  std::string slozka;  // the site folder
  std::string adresa = "127.0.0.1";
  int port = 8080;  // 0: any free port
  std::string log;  // access log file ("" for standard output)
  // Connections served at once, at most half of them from one client address; further
  // ones wait for a free place.
  int spojeni = 64;
  // Seconds a connection may stay silent: idle between requests, in an unfinished
  // request head, or not taking an answer.
  int necinnost = 15;
  // Seconds in which the next request head must have come whole after the last answer.
  int lhutaHlavy = 5;
  // The requests one connection serves and the seconds it is kept, whatever its client
  // does; a connection idle between requests ends at once when another client waits.
  int pozadavku = 100;
  int zivot = 60;
};

// Serves until `konec` is set, then ends every connection and returns within a fraction
// of a second; calls `pripraven` with the port once listening.
// Answers 0; raises the program's error, saying why, when the port cannot be opened.
int Servirovat(const NastaveniServeru& n, const std::atomic<bool>& konec,
               void (*pripraven)(int port));

}  // namespace zevlon::publikace
