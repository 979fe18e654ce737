#include "installers/vymena.h"

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "common/chyba.h"
#include "driver/stav.h"
#include "installers/cesty.h"
#include "installers/operace_slozek.h"
#include "platform/souborovy_system.h"
#include "transfer/log.h"

namespace zevlon {

namespace {

// Whether anything at all (folder, file, link) stands at the path.
bool NecoTamJe(const std::string& cesta) {
  struct stat st {};
  return ::lstat(BezLomitka(cesta).c_str(), &st) == 0;
}

[[noreturn]] void ChybaPrejmenovani(const std::string& slozka) {
  throw Chyba(kChybaUzivatele, "Složku " + slozka + " se nepodařilo přejmenovat.",
              "mPomucky::PrejmenovatSlozku");
}

}  // namespace

void VymenitSeZalohou(const std::string& zivy, const std::string& zaloha, const std::string& novy) {
  if (ExistujeSlozka(zaloha)) SmazatSlozku(BezLomitka(zaloha), !RezimSystem);
  if (!ExistujeSlozka(novy)) ChybaPrejmenovani(novy);
  if (!ExistujeSlozka(zivy)) {
    PrejmenovatSlozku(novy, zivy);
    return;
  }
  // The backup's place must be free before the live folder changes at all.
  if (NecoTamJe(zaloha)) ChybaPrejmenovani(zivy);
  (void)ss::ZapsatNaDisk(novy);
  ss::Vysledek v = ss::VymenitSlozky(novy, zivy);
  if (v.Uspech()) {
    // The old content now lies under the new folder's name.
    PrejmenovatSlozku(novy, zaloha);
    return;
  }
  if (v.kod != EINVAL) ChybaPrejmenovani(zivy);
  PrejmenovatSlozku(zivy, zaloha);
  PrejmenovatSlozku(novy, zivy);
}

bool ObnovitPrerusenouVymenu(const std::string& zivy, const std::string& zaloha) {
  if (ExistujeSlozka(zivy) || !ExistujeSlozka(zaloha)) return false;
  PrejmenovatSlozku(zaloha, zivy);
  PripsatRadek(CestaLogu(kChybovyLog), CasovaZnackaLogu() + "\tSložka " + zivy +
                                           " chyběla po přerušené aktualizaci a byla obnovena "
                                           "ze zálohy " +
                                           zaloha + ".\t");
  return true;
}

bool SmazatZbytkyBehu(const std::string& slozka, const std::string& predpona) {
  std::vector<ss::PolozkaSlozky> polozky;
  if (!ss::CistSlozku(slozka, polozky).Uspech()) return false;
  const std::string hledane = predpona + "dwnld_";
  bool nejake = false;
  for (const auto& p : polozky)
    if (p.slozka && p.jmeno.compare(0, hledane.size(), hledane) == 0) {
      SmazatSlozku(slozka + p.jmeno, false);
      nejake = true;
    }
  return nejake;
}

}  // namespace zevlon
