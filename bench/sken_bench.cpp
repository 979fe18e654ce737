// Scan + compare of an installation folder against find(1) on the same tree.
//
//   zevlon_bench_sken [files] [folders] [runs]
//
// Generates a tree (default 20,000 files in 500 folders) in a temporary folder, then
// times, alternately and several times each, (a) NacistObsahSlozky + PorovnatSnapshot
// against the folder's own snapshot and (b) `find DIR -type f -printf '%T@ %s %p\n'`,
// and prints the medians and their ratio.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "snapshots/instalacni_slozka.h"

namespace fs = std::filesystem;
using Hodiny = std::chrono::steady_clock;

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void VytvoritStrom(const std::string& koren, int soubory, int slozky) {
  // Folders two levels deep, files spread evenly, small contents of varying size.
  std::vector<std::string> cesty;
  for (int i = 0; i < slozky; ++i) {
    std::string s = koren + "/modul" + std::to_string(i % 25) + "/cast" + std::to_string(i);
    fs::create_directories(s);
    cesty.push_back(s);
  }
  for (int i = 0; i < soubory; ++i) {
    std::ofstream f(cesty[i % slozky] + "/soubor" + std::to_string(i) + ".dat", std::ios::binary);
    f << std::string(static_cast<std::size_t>(i % 700), 'x');
  }
}

double CasNaseho(const std::string& koren, const zevlon::SeznamSouboru& snapshot,
                 std::size_t& rozdilu) {
  auto t0 = Hodiny::now();
  zevlon::InstalacniSlozka sl;
  sl.NacistObsahSlozky(koren + "/");
  rozdilu = sl.PorovnatSnapshot(snapshot, zevlon::VsechnySoubory).Pocet();
  return std::chrono::duration<double>(Hodiny::now() - t0).count();
}

double CasFind(const std::string& koren) {
  auto t0 = Hodiny::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout)) _exit(127);
    execlp("find", "find", koren.c_str(), "-type", "f", "-printf", "%T@ %s %p\\n",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return std::chrono::duration<double>(Hodiny::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  int soubory = argc > 1 ? std::atoi(argv[1]) : 20000;
  int slozky = argc > 2 ? std::atoi(argv[2]) : 500;
  int behy = argc > 3 ? std::atoi(argv[3]) : 7;
  std::string koren =
      (fs::temp_directory_path() / ("zevlon-bench-" + std::to_string(getpid()))).string();
  VytvoritStrom(koren, soubory, slozky);

  zevlon::InstalacniSlozka vzor;
  vzor.NacistObsahSlozky(koren + "/");
  vzor.UlozitSnapshot(koren + ".snapshot", *vzor.DejObsahSlozky(zevlon::VsechnySoubory));
  zevlon::SeznamSouboru snapshot = vzor.NacistSnapshot(koren + ".snapshot");

  std::vector<double> nase, find;
  std::size_t rozdilu = 0;
  CasFind(koren);  // warm the cache
  for (int i = 0; i < behy; ++i) {
    nase.push_back(CasNaseho(koren, snapshot, rozdilu));
    find.push_back(CasFind(koren));
  }
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);

  std::printf("scan+compare of %d files in %d folders, %d runs, %ld cores\n", soubory, slozky, behy,
              sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("  ours   median %.3f s (differences found: %zu)\n", Median(nase), rozdilu);
  std::printf("  find   median %.3f s\n", Median(find));
  std::printf("  ratio  %.2fx (target <= 2x)\n", Median(nase) / Median(find));
  std::printf("  peak memory of this process %.1f MiB\n", ru.ru_maxrss / 1024.0);
  fs::remove_all(koren);
  fs::remove(koren + ".snapshot");
  return rozdilu == 0 ? 0 : 1;
}
