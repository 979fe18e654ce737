#include "prenos/zip/shell_rozbaleni.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include "common/text.h"
#include "platform/soubory/soubor.h"
#include "prenos/zip/zip32_pomucky.h"

namespace zevlon {

namespace {

using namespace zip32;

// The index of the entry to copy: the file whose path is the name asked for (letter
// case aside). Nothing when the archive holds an entry that the unzip would refuse
// (a link, an absolute path, a path that climbs out), or no such file.
std::optional<zip_uint64_t> NajitPolozku(zip_t* a, const std::string& polozka) {
  std::optional<zip_uint64_t> nalezena;
  const zip_int64_t pocet = zip_get_num_entries(a, 0);
  for (zip_int64_t i = 0; i < pocet; ++i) {
    auto index = static_cast<zip_uint64_t>(i);
    const char* jmeno = zip_get_name(a, index, 0);
    if (!jmeno) return std::nullopt;
    auto cesta = BezpecnaCesta(jmeno);
    if (!cesta || JeOdkaz(a, index)) return std::nullopt;
    const std::string_view j(jmeno);
    const bool slozka = !j.empty() && (j.back() == '/' || j.back() == '\\');
    if (!nalezena && !slozka && StejnyText(*cesta, polozka)) nalezena = index;
  }
  return nalezena;
}

}  // namespace

bool ZkopirovatZArchivu(const std::string& archiv, const JedinaPolozka& jedina,
                        const std::string& slozka) {
  const std::string& polozka = jedina.jmeno;
  if (polozka.empty() || polozka.find_first_of("/\\") != std::string::npos || polozka == "..")
    return false;
  int chyba = 0;
  ArchivPtr a(zip_open(archiv.c_str(), ZIP_RDONLY, &chyba));
  if (!a) return false;
  const std::optional<zip_uint64_t> index = NajitPolozku(a.get(), polozka);
  if (!index) return false;
  zip_stat_t st;
  zip_stat_init(&st);
  if (!MaVelikost(a.get(), *index, jedina.velikost, jedina.presne) ||
      zip_stat_index(a.get(), *index, 0, &st) != 0 || st.size > kMaxVelikostPolozky)
    return false;

  PolozkaPtr f(zip_fopen_index(a.get(), *index, 0));
  if (!f) return false;
  const std::string cil = slozka + polozka;
  std::string sablona = cil + ".XXXXXX";
  std::vector<char> buf(sablona.begin(), sablona.end());
  buf.push_back('\0');
  Popisovac fd(::mkstemp(buf.data()));
  if (!fd.Platny()) return false;
  const std::string docasny(buf.data());
  // Exactly the declared bytes: libzip checks neither more nor fewer.
  bool dobre = true;
  zip_uint64_t zapsano = 0;
  char data[65536];
  for (;;) {
    zip_int64_t n = zip_fread(f.get(), data, sizeof data);
    if (n < 0) dobre = false;
    if (n <= 0) break;
    zapsano += static_cast<zip_uint64_t>(n);
    if (zapsano > st.size ||
        ZapsatVse(fd.Fd(), std::string_view(data, static_cast<std::size_t>(n))) != 0) {
      dobre = false;
      break;
    }
  }
  dobre = dobre && zapsano == st.size;
  dobre = dobre && ::fchmod(fd.Fd(), RezimSouboru(a.get(), *index)) == 0;
  if (auto cas = CasPolozky(a.get(), *index)) {
    timespec casy[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(*cas), 0}};
    dobre = dobre && ::futimens(fd.Fd(), casy) == 0;
  }
  dobre = fd.Zavrit() == 0 && dobre;
  dobre = dobre && ::rename(docasny.c_str(), cil.c_str()) == 0;
  if (!dobre) ::unlink(docasny.c_str());
  return dobre;
}

}  // namespace zevlon
