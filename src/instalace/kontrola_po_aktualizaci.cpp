#include "instalace/kontrola_po_aktualizaci.h"

#include <charconv>
#include <cstdint>
#include <vector>

#include "common/chyba.h"
#include "common/text.h"
#include "instalace/navrat.h"
#include "instalace/vymena.h"
#include "platform/procesy/proces.h"
#include "platform/soubory/souborovy_system.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "soubory/cesty.h"
#include "soubory/duvera.h"
#include "soubory/log.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

// The seconds of LhutaKontroly; the default for anything but a whole number above 0.
std::int64_t LhutaKontroly() {
  const std::string h(Orezat(CistIni(CestaVolebIni(), "Server", kKlicLhutyKontroly), " \t"));
  std::int64_t s = 0;
  const auto [konec, chyba] = std::from_chars(h.data(), h.data() + h.size(), s);
  if (chyba != std::errc() || konec != h.data() + h.size() || s <= 0 || s > INT32_MAX)
    return kLhutaKontroly.count();
  return s;
}

// The last line the program wrote, cleaned and bounded for the log, without a TAB.
std::string PosledniRadek(const std::string& vystup) {
  const std::string_view v = Orezat(vystup, " \t\r\n");
  const std::size_t zacatek = v.find_last_of('\n');
  const std::string_view radek = v.substr(zacatek == std::string_view::npos ? 0 : zacatek + 1);
  return NahraditVse(OcistitText(std::string(radek), 200, false), "\t", " ");
}

}  // namespace

void KontrolovatPoAktualizaci(const std::string& profil, const SlozkySetupu& slozky,
                              SouhrnObnovy& souhrn) {
  // The updates still unchecked: this run's, or one whose run was killed before its check.
  std::vector<std::string> cekaji;
  for (const std::string* setup : {&slozky.setup, &slozky.setup14})
    if (ExistujeSlozka(*setup) && CekaNaKontrolu(*setup)) cekaji.push_back(*setup);
  if (cekaji.empty()) return;
  const std::string program(Orezat(CistIni(CestaVolebIni(), "Server", kKlicKontroly), " \t"));
  const auto provedena = [&] {
    for (const std::string& setup : cekaji)
      KontrolaProvedena(setup);
  };
  if (program.empty()) return provedena();
  const std::int64_t lhuta = LhutaKontroly();
  ZobrazPrubeh("", "Kontrola po aktualizaci", 0, 0, -1, false, false);
  // Only a program that nobody but the acting user or root may change, nor any folder on
  // the way to it: anyone else could put their own in its place.
  const bool duveryhodny = DuveryhodnySoubor(program);
  const VysledekPrikazu v =
      duveryhodny ? ProvestSLhutou({program, profil}, std::chrono::seconds(lhuta), 4096)
                  : VysledekPrikazu{};
  if (duveryhodny && !v.vyprselo && v.chybaSpusteni == 0 && v.kod == 0) {
    ZapsatDoLogu(kPrenosovyLog, "Kontrola po aktualizaci " + program + " prošla.");
    return provedena();
  }
  const std::string radek = PosledniRadek(v.vystup);
  const std::string zaznam =
      "Kontrola po aktualizaci " + program + " " +
      (!duveryhodny ? std::string("se nepodařilo spustit: program nebo složku na cestě k němu "
                                  "smí měnit i jiný uživatel")
       : v.vyprselo ? "neskončila do " + std::to_string(lhuta) + " s a byla ukončena"
       : v.chybaSpusteni
           ? "se nepodařilo spustit: " + ss::ChybaSystemu(v.chybaSpusteni, program).popis
           : "skončila s návratovým kódem " + std::to_string(v.kod)) +
      (radek.empty() ? "" : " (" + radek + ")");
  ZapsatDoLogu(kPrenosovyLog, zaznam + "; aktualizace se vrací.");
  const std::string vydani = souhrn.vydaniPo;
  souhrn.vydaniPo = VratitHned(profil, slozky);
  VyvolatChybu(zaznam + ". Profil " + profil + " byl vrácen na vydání " + souhrn.vydaniPo +
               " a vydání " + vydani + " se nebude instalovat, dokud nevyjde novější.");
}

}  // namespace zevlon
