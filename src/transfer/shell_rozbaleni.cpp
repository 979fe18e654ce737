#include "transfer/shell_rozbaleni.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "common/text.h"
#include "platform/soubor.h"
#include "transfer/zip32_pomucky.h"

namespace zevlon {

bool ZkopirovatZArchivu(const std::string& archiv, const std::string& polozka,
                        const std::string& slozka) {
  using namespace zip32;
  if (polozka.empty() || polozka.find_first_of("/\\") != std::string::npos || polozka == "..")
    return false;
  int chyba = 0;
  ArchivPtr a(zip_open(archiv.c_str(), ZIP_RDONLY, &chyba));
  if (!a) return false;

  zip_int64_t pocet = zip_get_num_entries(a.get(), 0);
  for (zip_int64_t i = 0; i < pocet; ++i) {
    auto index = static_cast<zip_uint64_t>(i);
    const char* jmeno = zip_get_name(a.get(), index, 0);
    if (!jmeno || !StejnyText(jmeno, polozka) || JeOdkaz(a.get(), index)) continue;

    PolozkaPtr f(zip_fopen_index(a.get(), index, 0));
    if (!f) return false;
    std::string cil = slozka + polozka;
    std::string sablona = cil + ".XXXXXX";
    std::vector<char> buf(sablona.begin(), sablona.end());
    buf.push_back('\0');
    Popisovac fd(::mkstemp(buf.data()));
    if (!fd.Platny()) return false;
    std::string docasny(buf.data());
    bool dobre = true;
    char data[65536];
    for (;;) {
      zip_int64_t n = zip_fread(f.get(), data, sizeof data);
      if (n < 0) dobre = false;
      if (n <= 0) break;
      if (ZapsatVse(fd.Fd(), std::string_view(data, static_cast<std::size_t>(n))) != 0) {
        dobre = false;
        break;
      }
    }
    dobre = dobre && ::fchmod(fd.Fd(), RezimSouboru(a.get(), index)) == 0;
    if (auto cas = CasPolozky(a.get(), index)) {
      timespec casy[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(*cas), 0}};
      dobre = dobre && ::futimens(fd.Fd(), casy) == 0;
    }
    dobre = fd.Zavrit() == 0 && dobre;
    dobre = dobre && ::rename(docasny.c_str(), cil.c_str()) == 0;
    if (!dobre) ::unlink(docasny.c_str());
    return dobre;
  }
  return false;
}

}  // namespace zevlon
