// Remote paths of the FTP client: a path taken from the current remote folder, with
// "." and ".." resolved in its text, and the splitting and joining of paths.
#include <string>
#include <vector>

#include "common/text.h"
#include "prenos/ftp/ftp.h"
#include "prenos/ftp/ftp_vnitrni.h"

namespace zevlon {

namespace ftp {

std::string JmenoZCesty(const std::string& cesta) {
  auto i = cesta.rfind('/');
  return i == std::string::npos ? cesta : cesta.substr(i + 1);
}

std::string SlozkaZCesty(const std::string& cesta) {
  auto i = cesta.rfind('/');
  if (i == std::string::npos) return {};
  return i == 0 ? "/" : cesta.substr(0, i);
}

std::string Spojit(const std::string& slozka, const std::string& jmeno) {
  return slozka == "/" ? "/" + jmeno : slozka + "/" + jmeno;
}

}  // namespace ftp

bool CFTPManager::AbsolutniCesta(const std::string& cesta, std::string& vysledek) {
  for (unsigned char c : cesta)
    if (c < 0x20 || c == 0x7f) {
      Zaznamenat(ftpkod::kNeplatnyNazev);
      return false;
    }
  std::string cela = !cesta.empty() && cesta[0] == '/' ? cesta : slozka_ + "/" + cesta;
  std::vector<std::string> casti;
  for (std::string& cast : Rozdelit(cela, '/')) {
    if (cast.empty() || cast == ".") continue;
    if (cast == "..") {
      if (!casti.empty()) casti.pop_back();
      continue;
    }
    casti.push_back(std::move(cast));
  }
  vysledek.clear();
  for (const std::string& cast : casti)
    vysledek += "/" + cast;
  if (vysledek.empty()) vysledek = "/";
  return true;
}

}  // namespace zevlon
