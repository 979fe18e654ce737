#include "instalace/vymena.h"

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "common/chyba.h"
#include "platform/soubor.h"
#include "platform/souborovy_system.h"
#include "rozhrani/stav.h"
#include "soubory/cesty.h"
#include "soubory/log.h"
#include "soubory/opakovani.h"
#include "soubory/operace_slozek.h"

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
  // The new content waits under the backup's name, then the two folders trade places in
  // one step. Whenever the run stops, the live folder is whole (old or new), and the old
  // content never lies under a name that a clean-up deletes.
  if (!ss::Presunout(novy, zaloha).Uspech()) ChybaPrejmenovani(novy);
  ss::Vysledek v = ss::VymenitSlozky(zaloha, zivy);
  if (v.Uspech()) return;
  // Without the exchange the new folder takes its own name back, and the swap is two
  // renames; when the second fails, the first is undone.
  if (!ss::Presunout(zaloha, novy).Uspech()) ChybaPrejmenovani(zaloha);
  if (v.kod != EINVAL) ChybaPrejmenovani(zivy);
  if (!ss::Presunout(zivy, zaloha).Uspech()) ChybaPrejmenovani(zivy);
  if (!ss::Presunout(novy, zivy).Uspech()) {
    (void)ss::Presunout(zaloha, zivy);
    ChybaPrejmenovani(novy);
  }
}

bool ObnovitPrerusenouVymenu(const std::string& zivy, const std::string& zaloha) {
  if (ExistujeSlozka(zivy) || !ExistujeSlozka(zaloha)) return false;
  PrejmenovatSlozku(zaloha, zivy);
  ZapsatChybuBehu("Složka " + zivy +
                      " chyběla po přerušené aktualizaci a byla obnovena ze zálohy " + zaloha + ".",
                  "");
  return true;
}

std::string ZalohaSdilene(const std::string& slozkaProfilu, const std::string& sdilena) {
  if (ss::StejnySystemSouboru(slozkaProfilu, sdilena)) return slozkaProfilu + "SetupCommon_old/";
  return BezLomitka(sdilena) + "_old/";
}

void ZapsatNedokoncenou(const std::string& slozkaSetupu, const std::string& vydani) {
  const std::string cesta = slozkaSetupu + kZaznamNedokoncene;
  PopisOperace op{"Nepodařilo se zapsat soubor '" + cesta + "'", kDuvodyKopirovaniSouboru,
                  "Přejete si opakovat pokus o zapsání souboru?", !RezimSystem};
  auto s = ProvestSOpakovanim(op, [&] {
    int e = ZapsatSouborAtomicky(cesta, "[Merko]\r\nRelease=" + vydani + "\r\n");
    return e == 0 ? ss::Vysledek{} : ss::ChybaSystemu(e, cesta);
  });
  if (s) VyvolatSelhani(*s, "mMain::AktualizaceProfilu");
}

bool JeNedokoncena(const std::string& slozkaSetupu) {
  return NecoTamJe(slozkaSetupu + kZaznamNedokoncene);
}

void SmazatZaznamNedokoncene(const std::string& slozkaSetupu) {
  // One that stays only makes the next run check every folder again.
  (void)ss::SmazatSoubor(slozkaSetupu + kZaznamNedokoncene);
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
