// Changed files: 1,000 files of 10 KiB downloaded and unpacked from the publisher's
// site on loopback by AktualizaceAplikace, against one curl process fetching the same
// archives over one keep-alive connection followed by unzip of each.
//
//   zevlon_bench_zmeny [files] [KiB] [runs]     (default 1,000 files of 10 KiB, 3 runs)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "aplikace/aktualizace_aplikace.h"
#include "aplikace/instalacni_slozka.h"
#include "pomucky.h"
#include "tools/publikace/publikace.h"

namespace fs = std::filesystem;
using namespace zevlon;

int main(int argc, char** argv) {
  int soubory = argc > 1 ? std::atoi(argv[1]) : 1000;
  long kib = argc > 2 ? std::atol(argv[2]) : 10;
  int behy = argc > 3 ? std::atoi(argv[3]) : 3;
  std::string d = bench::DocasnaSlozka("zmeny");
  bench::VytvoritStrom(d + "/vydani", soubory, soubory / 50, static_cast<std::size_t>(kib * 1024),
                       2, 1419940800);
  bench::VytvoritStrom(d + "/stara", soubory, soubory / 50, static_cast<std::size_t>(kib * 1024), 3,
                       1400000000);
  publikace::PublikovatSlozku(d + "/vydani/", d + "/web/app/");
  bench::Web web(d + "/web");
  fs::create_directories(d + "/temp");

  // The reference: one curl for all archives, then unzip of each.
  InstalacniSlozka sl;
  sl.NacistObsahSlozky(d + "/vydani/");
  std::ofstream konfigurace(d + "/curl.txt");
  std::vector<std::string> archivy;
  for (const auto& p : *sl.DejObsahSlozky(VsechnySoubory)) {
    std::string cil = d + "/curl/" + p.hodnota->Cesta + ".zip";
    konfigurace << "url = \"" << web.Adresa() << "app/" << p.hodnota->Cesta << ".zip\"\n"
                << "output = \"" << cil << "\"\n";
    archivy.push_back(cil);
  }
  konfigurace.close();

  std::vector<double> nase, ref;
  for (int i = 0; i < behy; ++i) {
    nase.push_back(bench::Zmerit([&] {
      AktualizaceAplikace(d + "/temp/", web.Adresa() + "app/", d + "/stara/", d + "/nova/");
    }));
    fs::remove_all(d + "/nova");
    double t = bench::SpustitProces({"curl", "-s", "--create-dirs", "-K", d + "/curl.txt"});
    for (const auto& a : archivy)
      t += bench::SpustitProces({"unzip", "-q", "-o", a, "-d", fs::path(a).parent_path().string()});
    ref.push_back(t);
    fs::remove_all(d + "/curl");
  }
  std::printf("changed files: %d files of %ld KiB, %d runs\n", soubory, kib, behy);
  std::printf(
      "  ours          median %.3f s\n  curl + unzip  median %.3f s\n"
      "  ratio         %.2fx (target <= 1.5x)\n",
      bench::Median(nase), bench::Median(ref), bench::Median(nase) / bench::Median(ref));
  fs::remove_all(d);
  return 0;
}
