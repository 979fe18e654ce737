#include "soubory/operace_slozek.h"

#include <algorithm>

#include "common/chyba.h"
#include "platform/soubory/souborovy_system.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/rozhrani.h"
#include "soubory/cesty.h"
#include "soubory/log.h"
#include "soubory/opakovani.h"

namespace zevlon {

void VytvoritSlozku(const std::string& slozka, bool askRetry) {
  if (ExistujeSlozka(slozka)) return;
  PopisOperace op{"Nepodařilo se vytvořit složku '" + slozka + "'", kDuvodySlozek,
                  "Přejete si opakovat pokus o vytvoření složky?", askRetry};
  std::string uroven;
  for (const std::string& cast : CastiCesty(slozka)) {
    if (!uroven.empty()) uroven += kOddelovac;
    uroven += cast;
    auto s = ProvestSOpakovanim(op, [&]() -> ss::Vysledek {
      if (ExistujeSlozka(uroven)) return {};
      return ss::VytvoritSlozku(uroven);
    });
    if (s) VyvolatSelhani(*s, "mPomucky::VytvoritSlozku");
  }
}

std::string VytvoritNovouSlozku(const std::string& predpona, bool askRetry) {
  PopisOperace op{"Nepodařilo se vytvořit složku '" + predpona + "'", kDuvodySlozek,
                  "Přejete si opakovat pokus o vytvoření složky?", askRetry};
  std::string cesta;
  auto s = ProvestSOpakovanim(op, [&] { return ss::VytvoritNovouSlozku(predpona, &cesta); });
  if (s) VyvolatSelhani(*s, "mPomucky::VytvoritSlozku");
  return cesta + "/";
}

Popisovac OtevritPodslozku(int koren, const std::string& korenCesta, const std::string& relativni,
                           bool askRetry) {
  PopisOperace op{"Nepodařilo se vytvořit složku '" + korenCesta + relativni + "'", kDuvodySlozek,
                  "Přejete si opakovat pokus o vytvoření složky?", askRetry};
  Popisovac fd;
  auto s = ProvestSOpakovanim(
      op, [&] { return ss::OtevritPodslozku(koren, korenCesta, relativni, fd); });
  if (s) VyvolatSelhani(*s, "mPomucky::VytvoritSlozku");
  return fd;
}

namespace {

// A copy of folder content with the copy's question and failure text; `sPopisem` adds the
// copy's own description of what failed (the merge names the file there).
template <typename Kopie>
bool KopirovatObsah(std::string zdroj, std::string cil, const char* zdrojChyby, Kopie&& kopie,
                    bool sPopisem = false) {
  if (zdroj.empty() || zdroj.back() != kOddelovac) zdroj += kOddelovac;
  if (cil.empty() || cil.back() != kOddelovac) cil += kOddelovac;
  for (;;) {
    ss::Vysledek v = kopie(zdroj, cil);
    if (v.Uspech()) return true;
    std::string otazka = "Složku '" + zdroj + "' se nepodařilo zkopírovat do složky '" + cil +
                         "'.\r\n\r\nPřejete si opakovat pokus o zkopírování složky?";
    if (ZobrazZpravu(otazka, kStylOtazkyOpakovani) == mb::kIdAno) continue;
    throw Chyba(kChybaUzivatele,
                "Kopírování složky do umístění " + cil + " se nezdařilo. (kód chyby:" +
                    std::to_string(v.kod) + ")" + (sPopisem ? " " + v.popis : std::string()),
                zdrojChyby);
  }
}

}  // namespace

bool KopirovatSlozku(std::string zdroj, std::string cil) {
  return KopirovatObsah(std::move(zdroj), std::move(cil), "mPomucky::KopirovatSlozku",
                        ss::ZkopirovatObsahSlozky);
}

namespace {

// Nothing of the user's stays behind without a line that says so. The target takes (or
// took) the source's place: a new name is told as it is seen there.
void ZapsatZmeny(const ss::ZmenyDoplneni& zmeny, const std::string& z, const std::string& c) {
  const auto tam = [&](const std::string& cesta) {
    return z + cesta.substr(std::min(c.size(), cesta.size()));
  };
  for (const auto& [puvodni, nove] : zmeny.prejmenovano)
    ZapsatDoLogu(kPrenosovyLog, "Položka " + puvodni +
                                    " se střetla s položkou nového vydání, proto je v nové " +
                                    "verzi pod jménem " + tam(nove) + ".");
  for (const std::string& p : zmeny.vynechano)
    ZapsatDoLogu(kPrenosovyLog, "Zvláštní soubor " + p +
                                    " (roura, soket nebo zařízení) nebyl do nové verze přenesen; " +
                                    "zůstává jen v záloze.");
  for (const auto& [puvodni, nove] : zmeny.preneseno)
    ZapsatDoLogu(kPrenosovyLog, "Soubor " + puvodni +
                                    " se změnil během aktualizace, proto byl přenesen do nové " +
                                    "verze jako " + tam(nove) + ".");
}

}  // namespace

void DoplnitSlozku(std::string zdroj, std::string cil, ss::VidenyStrom* videno) {
  ss::ZmenyDoplneni zmeny;
  const std::string z = PridatLomitko(zdroj), c = PridatLomitko(cil);
  (void)KopirovatObsah(
      std::move(zdroj), std::move(cil), "mPomucky::DoplnitSlozku",
      [&](const std::string& z, const std::string& c) {
        zmeny = {};
        if (videno) {
          videno->clear();
          zmeny.videno = videno;
        }
        return ss::DoplnitStrom(z, c, &zmeny);
      },
      true);
  ZapsatZmeny(zmeny, z, c);
}

bool DorovnatSlozku(const std::string& zaloha, const std::string& cil,
                    const ss::VidenyStrom& videno) {
  ss::ZmenyDoplneni zmeny;
  const std::string z = PridatLomitko(zaloha), c = PridatLomitko(cil);
  ss::Vysledek v = ss::DorovnatStrom(z, c, videno, &zmeny);
  // The carried files are live under their names: c is both where they are and where
  // they are seen.
  ZapsatZmeny(zmeny, c, c);
  // Their names reach the disk too, in whatever folder they went.
  if (v.Uspech() && !zmeny.preneseno.empty()) v = ss::DrzenySystem(BezLomitka(c)).Zapsat();
  if (v.Uspech()) return true;
  const std::string text = "Změny složky " + z + " z doby aktualizace se nepodařilo přenést do " +
                           c + ": " + v.popis +
                           "; co nebylo přeneseno, zůstává jen ve staré verzi.";
  ZapsatDoLogu(kPrenosovyLog, text);
  ZapsatChybuBehu(text, "mPomucky::DorovnatSlozku");
  return false;
}

void PrejmenovatSlozku(const std::string& zdroj, const std::string& cil) {
  // The folder move first; when it fails for any reason, the plain rename, which
  // also takes folders. Only the second failure is reported.
  if (ss::PresunoutSlozku(zdroj, cil).Uspech()) return;
  if (ss::Presunout(zdroj, cil).Uspech()) return;
  throw Chyba(kChybaUzivatele, "Složku " + zdroj + " se nepodařilo přejmenovat.",
              "mPomucky::PrejmenovatSlozku");
}

void SmazatSlozku(const std::string& slozka, bool askRetry) {
  std::string cesta = BezLomitka(slozka);
  PopisOperace op{"Nepodařilo se odstranit složku '" + slozka + "'", kDuvodySlozek,
                  "Přejete si opakovat pokus o odstranění složky?", askRetry};
  // The run goes on without it (a sibling of its own, a backup already replaced), but says
  // what it left behind.
  if (const auto s = ProvestSOpakovanim(op, [&] { return ss::SmazatStrom(cesta); }))
    ZapsatDoLogu(kPrenosovyLog, s->zprava + ".");
}

}  // namespace zevlon
