// Local rebuild: AktualizaceAplikace of a folder whose snapshot matches it, so every
// file is copied locally, against `cp -a` of the same folder.
//
//   zevlon_bench_obnova [files] [MiB] [runs]     (default 10,000 files, 1024 MiB, 3 runs)
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "aplikace/aktualizace_aplikace.h"
#include "aplikace/instalacni_slozka.h"
#include "pomucky.h"
#include "prenos/zip/mzip32.h"
#include "tools/publikace/publikace.h"

namespace fs = std::filesystem;
using namespace zevlon;

int main(int argc, char** argv) {
  int soubory = argc > 1 ? std::atoi(argv[1]) : 10000;
  long mib = argc > 2 ? std::atol(argv[2]) : 1024;
  int behy = argc > 3 ? std::atoi(argv[3]) : 3;
  std::string d = bench::DocasnaSlozka("obnova");
  bench::VytvoritStrom(d + "/zdroj", soubory, soubory / 100,
                       static_cast<std::size_t>(mib * 1024 * 1024 / soubory), 1, 1419940800);

  // The site holds only the snapshot: every file is found locally.
  InstalacniSlozka sl;
  sl.NacistObsahSlozky(d + "/zdroj/");
  fs::create_directories(d + "/web/app");
  sl.UlozitSnapshot(d + "/web/app/master.snapshot", *sl.DejObsahSlozky(VsechnySoubory));
  ZazipovatJednoduse(d + "/web/app/master.snapshot", d + "/web/app/master.snapshot.zip", true, "",
                     false);
  bench::Web web(d + "/web");
  fs::create_directories(d + "/temp");

  std::vector<double> nase, cp;
  for (int i = 0; i < behy; ++i) {
    nase.push_back(bench::Zmerit([&] {
      AktualizaceAplikace(d + "/temp/", web.Adresa() + "app/", d + "/zdroj/", d + "/nova/");
    }));
    fs::remove_all(d + "/nova");
    cp.push_back(bench::SpustitProces({"cp", "-a", d + "/zdroj", d + "/kopie"}));
    fs::remove_all(d + "/kopie");
  }
  std::printf("local rebuild of %d files, %ld MiB, %d runs\n", soubory, mib, behy);
  std::printf("  ours   median %.3f s\n  cp -a  median %.3f s\n  ratio  %.2fx (target <= 1.2x)\n",
              bench::Median(nase), bench::Median(cp), bench::Median(nase) / bench::Median(cp));
  fs::remove_all(d);
  return 0;
}
