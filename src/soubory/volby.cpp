#include "soubory/volby.h"

#include "platform/platforma.h"
#include "rozhrani/pomucky.h"

namespace zevlon {

std::string CestaVolebIni() {
  // The new updater reads the options of the program whose place it takes.
  const std::string jmeno = JmenoProgramu();
  return platforma().SlozkaVoleb() + "/" + (jmeno == kNovyZevlon ? kTitulProgramu : jmeno) + ".ini";
}

std::string AdresaWebu() {
  std::string a = CistIni(CestaVolebIni(), "Server", "Adresa");
  if (a.empty()) a = kVychoziAdresaWebu;
  if (a.back() != '/') a += '/';
  return a;
}

}  // namespace zevlon
