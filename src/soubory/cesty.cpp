#include "soubory/cesty.h"

#include "platform/soubory/souborovy_system.h"

namespace zevlon {

bool ExistujeSlozka(const std::string& cesta) {
  if (cesta.empty()) return false;
  if (cesta.back() == kOddelovac) return ss::JeSlozka(cesta);
  return ss::JeSlozka(cesta + kOddelovac);
}

void OdebratLomitko(std::string& cesta) {
  if (!cesta.empty() && cesta.back() == kOddelovac) cesta.pop_back();
}

std::string BezLomitka(std::string_view cesta) {
  std::string kopie(cesta);
  OdebratLomitko(kopie);
  return kopie;
}

void RozdelitCestu(std::string_view cesta, std::string& slozka, std::string& jmeno) {
  auto i = cesta.rfind(kOddelovac);
  if (i == std::string_view::npos) {
    slozka.clear();
    jmeno = std::string(cesta);
    return;
  }
  slozka = std::string(cesta.substr(0, i + 1));
  jmeno = std::string(cesta.substr(i + 1));
}

std::vector<std::string> CastiCesty(std::string_view slozka) {
  std::string p(slozka);
  if (p.empty() || p.back() != kOddelovac) p += kOddelovac;
  std::vector<std::string> casti;
  // The first piece ends at the first separator after the first character, so that
  // it carries the root with it.
  auto konec = p.find(kOddelovac, 1);
  if (konec == std::string::npos) return casti;
  casti.push_back(p.substr(0, konec));
  for (auto zacatek = konec + 1; zacatek < p.size(); zacatek = konec + 1) {
    konec = p.find(kOddelovac, zacatek);
    if (konec > zacatek) casti.push_back(p.substr(zacatek, konec - zacatek));
  }
  return casti;
}

std::string ZDratoveCesty(std::string_view dratova) {
  std::string s(dratova);
  for (char& c : s)
    if (c == '\\') c = kOddelovac;
  return s;
}

std::string NaDratovouCestu(std::string_view nativni) {
  std::string s(nativni);
  for (char& c : s)
    if (c == kOddelovac) c = '\\';
  return s;
}

bool JeBezpecnaRelativniCesta(std::string_view p) {
  if (p.empty() || p.front() == kOddelovac) return false;
  if (p.find(':') != std::string_view::npos || p.find('\0') != std::string_view::npos) return false;
  for (std::size_t zacatek = 0;;) {
    auto konec = p.find(kOddelovac, zacatek);
    std::string_view cast =
        p.substr(zacatek, konec == std::string_view::npos ? p.npos : konec - zacatek);
    if (cast.empty() || cast == "..") return false;
    if (konec == std::string_view::npos) return true;
    zacatek = konec + 1;
  }
}

}  // namespace zevlon
