// Scan + compare of an installation folder against find(1) on the same tree.
//
//   zevlon_bench_sken [files] [folders] [runs]     (default 20,000 files in 500 folders)
//
// Times, alternately and several times each, (a) NacistObsahSlozky + PorovnatSnapshot
// against the folder's own snapshot (read beforehand), in a child process so that
// its peak memory is its own, and (b) `find DIR -type f -printf '%T@ %s %p\n'`; prints the medians,
// their ratio and the peak memory.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "aplikace/instalacni_slozka.h"
#include "pomucky.h"

namespace fs = std::filesystem;
using namespace zevlon;

int main(int argc, char** argv) {
  int soubory = argc > 1 ? std::atoi(argv[1]) : 20000;
  int slozky = argc > 2 ? std::atoi(argv[2]) : 500;
  int behy = argc > 3 ? std::atoi(argv[3]) : 7;
  std::string d = bench::DocasnaSlozka("sken");
  bench::VytvoritStrom(d + "/strom", soubory, slozky, 300, 0, 1419940800);
  {
    InstalacniSlozka vzor;
    vzor.NacistObsahSlozky(d + "/strom/");
    vzor.UlozitSnapshot(d + "/strom.snapshot", *vzor.DejObsahSlozky(VsechnySoubory));
  }

  std::vector<double> nase, find;
  long pamet = 0, nejvic = 0;
  bench::SpustitProces({"find", d + "/strom", "-type", "f"});  // warm the cache
  for (int i = 0; i < behy; ++i) {
    nase.push_back(bench::ZmeritVPotomkovi(
        [&] {
          // The snapshot is read first and not timed: the case is the scan and the
          // comparison, as find does the listing.
          InstalacniSlozka sl;
          SeznamSouboru snapshot = sl.NacistSnapshot(d + "/strom.snapshot");
          double t = bench::Zmerit([&] {
            sl.NacistObsahSlozky(d + "/strom/");
            if (!sl.PorovnatSnapshot(snapshot, VsechnySoubory).Prazdny()) std::exit(1);
          });
          return t;
        },
        &pamet));
    nejvic = std::max(nejvic, pamet);
    find.push_back(
        bench::SpustitProces({"find", d + "/strom", "-type", "f", "-printf", "%T@ %s %p\n"}));
  }
  std::printf("scan + compare of %d files in %d folders, %d runs, %ld cores\n", soubory, slozky,
              behy, sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("  ours   median %.3f s, peak memory %.1f MiB\n", bench::Median(nase),
              nejvic / 1024.0);
  std::printf("  find   median %.3f s\n", bench::Median(find));
  std::printf("  ratio  %.2fx\n", bench::Median(nase) / bench::Median(find));
  fs::remove_all(d);
  return 0;
}
