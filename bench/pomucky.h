// Shared pieces of the benchmarks: trees of files, timing as medians, child processes
// measured from outside, and an update site served on loopback in the same process.
#pragma once

#include <sys/resource.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace zevlon::bench {

double Median(std::vector<double> v);

// Seconds taken by f.
double Zmerit(const std::function<void()>& f);

// Runs a command (argv) to its end with stdout/stderr to /dev/null; answers the
// seconds and fills the child's peak memory in KiB.
double SpustitProces(const std::vector<std::string>& argv, long* pametKiB = nullptr);

// Runs f in a forked child; answers the seconds f itself reports (its return value)
// and fills the child's peak memory in KiB.
double ZmeritVPotomkovi(const std::function<double()>& f, long* pametKiB);

// Writes `soubory` files spread over `slozky` folders below koren, each of `velikost`
// bytes (content derived from `semeno`), dated `cas` (UTC seconds).
void VytvoritStrom(const std::string& koren, int soubory, int slozky, std::size_t velikost,
                   unsigned semeno, long cas);

// A site folder served on a free loopback port for the life of the object.
class Web {
 public:
  explicit Web(const std::string& slozka);
  ~Web();
  std::string Adresa() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  std::atomic<bool> konec_{false};
  std::thread vlakno_;
  int port_ = 0;
};

std::string DocasnaSlozka(const std::string& jmeno);

}  // namespace zevlon::bench
