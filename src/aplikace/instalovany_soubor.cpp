#include "aplikace/instalovany_soubor.h"

#include "common/text.h"
#include "rozhrani/pomucky.h"
#include "soubory/cesty.h"
#include "soubory/log.h"
#include "soubory/operace_slozek.h"
#include "soubory/operace_souboru.h"

namespace zevlon {

std::shared_ptr<InstalovanySoubor> InstalovanySoubor::Clone() const {
  return SLogovanim("InstalovanySoubor::InstalovanySoubor", [&] {
    auto kopie = std::make_shared<InstalovanySoubor>();
    kopie->Cesta = Cesta;
    kopie->Jmeno = Jmeno;
    kopie->Datum = Datum;
    kopie->Velikost = Velikost;
    kopie->Sha256 = Sha256;
    return kopie;
  });
}

void InstalovanySoubor::Stahnout(const std::string& InstalacniSlozka,
                                 const std::string& LokalniSlozka) const {
  SLogovanim("InstalovanySoubor::Stahnout", [&] {
    const std::string cil = LokalniSlozka + Cesta;
    std::string slozka, jmeno;
    RozdelitCestu(cil, slozka, jmeno);
    if (!ExistujeSlozka(slozka)) VytvoritSlozku(slozka, false);
    // A hidden file is not seen here; the copy replaces it all the same.
    if (!jmeno.empty() && jmeno.front() != '.' && ExistujeSoubor(cil)) SmazatSoubor(cil, true);
    KopirovatSoubor(InstalacniSlozka + Cesta, cil, true);
  });
}

bool InstalovanySoubor::JeManifest() const {
  return SLogovanim("InstalovanySoubor::JeManifest [get]", [&] {
    std::string_view jmeno = Cesta;
    if (auto lomitko = jmeno.rfind('/'); lomitko != std::string_view::npos)
      jmeno.remove_prefix(lomitko + 1);
    return KonciNa(jmeno, ".manifest.xml");  // the same as matching "*.manifest.xml"
  });
}

}  // namespace zevlon
