#include "tools/publikace/klice.h"

#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <vector>

#include "common/chyba.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "tools/publikace/heslo.h"

namespace zevlon::publikace {

namespace {

// Writes a file that must not exist yet: the content goes to a temporary file in the same
// folder, which is then linked under the name; the link fails when the name is taken (a
// symbolic link included), so nothing is overwritten and no half-written file ever
// stands under the name. Answers 0 or errno.
int ZapsatNovySoubor(const std::string& cesta, std::string_view obsah, mode_t rezim) {
  std::vector<char> sablona(cesta.begin(), cesta.end());
  for (char c : std::string_view(".XXXXXX"))
    sablona.push_back(c);
  sablona.push_back('\0');
  Popisovac fd(::mkstemp(sablona.data()));
  if (!fd.Platny()) return errno;
  const std::string docasny = sablona.data();
  int e = ::fchmod(fd.Fd(), rezim) != 0 ? errno : ZapsatVse(fd.Fd(), obsah);
  if (e == 0 && ::fsync(fd.Fd()) != 0) e = errno;
  if (int z = fd.Zavrit(); e == 0) e = z;
  if (e == 0 && ::link(docasny.c_str(), cesta.c_str()) != 0) e = errno;
  ::unlink(docasny.c_str());
  return e;
}

std::string Duvod(int e, const std::string& cesta) {
  return e == EEXIST ? "Soubor už existuje." : ss::ChybaSystemu(e, cesta).popis;
}

}  // namespace

void VytvoritKlic(const std::string& soubor, bool bezHesla) {
  const std::string verejny = soubor + ".pub";
  for (const std::string& cesta : {soubor, verejny}) {
    struct stat st {};
    if (::lstat(cesta.c_str(), &st) == 0)
      VyvolatChybu("Soubor " + cesta + " už existuje; klíč nebyl vytvořen.");
  }
  std::optional<std::string> heslo;
  if (!bezHesla) heslo = NoveHeslo();
  auto [tajny, verejnyKlic] = podpis::NovyPar();
  std::string text = podpis::SouborTajnehoKlice(tajny, heslo);
  sodium_memzero(tajny.klic.data(), tajny.klic.size());
  if (heslo) sodium_memzero(heslo->data(), heslo->size());
  const int e = ZapsatNovySoubor(soubor, text, 0600);
  sodium_memzero(text.data(), text.size());
  if (e != 0) VyvolatChybu("Tajný klíč " + soubor + " nelze zapsat. " + Duvod(e, soubor));
  if (int v = ZapsatNovySoubor(verejny, podpis::SouborVerejnehoKlice(verejnyKlic), 0644)) {
    ::unlink(soubor.c_str());  // a secret key without its public key is of no use
    VyvolatChybu("Veřejný klíč " + verejny + " nelze zapsat. " + Duvod(v, verejny));
  }
  const std::string radek = podpis::TextVerejnehoKlice(verejnyKlic);
  std::printf(
      "Tajný klíč je v souboru %s (uchovejte ho v tajnosti), veřejný v souboru %s.\n"
      "Veřejný klíč:\n%s\n\n"
      "Aktualizace ověřuje podpis webu, když Zevlon.ini klienta obsahuje:\n"
      "[Server]\nVerejnyKlic=%s\n\n"
      "Podpis webu ověří i minisign:\nminisign -Vm download.ini -P %s\n",
      soubor.c_str(), verejny.c_str(), radek.c_str(), radek.c_str(), radek.c_str());
}

podpis::TajnyKlic NacistTajnyKlic(const std::string& soubor) {
  auto text = NacistSoubor(soubor);
  if (!text) VyvolatChybu("Tajný klíč " + soubor + " nelze přečíst.");
  auto klic =
      podpis::CistTajnyKlic(*text, [] { return ZeptatSeNaHeslo("Heslo k tajnému klíči: "); });
  sodium_memzero(text->data(), text->size());
  return klic;
}

void PodepsatSoubor(const podpis::TajnyKlic& klic, const std::string& soubor) {
  auto obsah = NacistSoubor(soubor);
  if (!obsah) VyvolatChybu("Soubor " + soubor + " nelze přečíst.");
  const std::string jmeno = std::filesystem::path(soubor).filename().string();
  const std::string text = podpis::Podepsat(
      klic, *obsah, "timestamp:" + std::to_string(std::time(nullptr)) + "\tfile:" + jmeno);
  if (int e = ZapsatSouborAtomicky(soubor + ".minisig", text))
    VyvolatChybu("Podpis " + soubor + ".minisig nelze zapsat. " +
                 ss::ChybaSystemu(e, soubor + ".minisig").popis);
}

}  // namespace zevlon::publikace
