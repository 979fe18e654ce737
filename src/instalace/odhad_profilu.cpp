#include "instalace/odhad_profilu.h"

#include <optional>

#include "aplikace/aktualizace_aplikace.h"
#include "common/chyba.h"
#include "instalace/aktualizace_setupu.h"
#include "instalace/navrat.h"
#include "instalace/vymena.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/podpisy/klice_webu.h"
#include "prenos/stahovani/informace_vydani.h"
#include "rozhrani/pomucky.h"
#include "soubory/cesty.h"
#include "soubory/duvera.h"
#include "soubory/operace_slozek.h"

namespace zevlon {

namespace {

// The add-ons and modules of a customisation folder, as "Upravy/<kind>/<name>/".
std::vector<std::string> PolozkyUprav(const std::string& upravy) {
  std::vector<std::string> r;
  for (const char* druh : {"Doplnky", "Moduly"}) {
    std::vector<ss::PolozkaSlozky> polozky;
    if (!ss::CistSlozku(upravy + druh + "/", polozky).Uspech()) continue;
    for (const auto& e : polozky)
      if (e.slozka && !e.odkaz && e.jmeno.front() != '.')
        r.push_back(std::string("Upravy/") + druh + "/" + e.jmeno + "/");
  }
  return r;
}

}  // namespace

std::vector<OdhadSlozky> OdhadnoutProfil(const std::string& ini, const std::string& temp) {
  const std::string profil = CistIni(ini, "Merko", "SlozkaProfilu");
  const std::string vydani = CistIni(ini, "Merko", "Release");
  const std::string url = CistIni(ini, "Merko", "Url");
  const bool overovat = NastaveniOvereniWebu().Zapnuto();
  auto soucet = [&](const std::string& sekce, const char* klic) -> std::optional<std::string> {
    if (!overovat) return std::nullopt;
    return CistIni(ini, sekce, klic);
  };
  const SlozkySetupu slozky = NajitSlozkySetupu(profil);
  OveritSlozkyProfilu(profil, KontrolovaneSlozky(profil, slozky), platforma().ZaVlastnika());

  std::vector<OdhadSlozky> odhad;
  // The folder `slozka` as a run builds it: from the installed folder `puvodni` (only the
  // folders `jen` of it, when given).
  auto pridat = [&](const std::string& slozka, const std::string& puvodni,
                    const std::string& server, const std::vector<std::string>& jen,
                    const std::optional<std::string>& sha) {
    OdhadSlozky o;
    o.slozka = slozka;
    o.souhrn = OdhadnoutAplikaci(temp, server, puvodni, jen, sha);
    odhad.push_back(std::move(o));
  };
  bool sdilena = false;
  for (const std::string* setup : {&slozky.setup, &slozky.setup14}) {
    if (!ExistujeSlozka(*setup)) continue;
    const bool s14 = setup == &slozky.setup14;
    const std::string program = *setup + "Merko/";
    const std::string nainstalovano = CistIni(program + "Merko.ini", "Merko", "Release");
    if (StejnyText(nainstalovano, vydani) && !JeNedokoncena(*setup)) {
      OdhadSlozky o;
      o.slozka = program;
      o.aktualni = true;
      o.vydani = nainstalovano;
      odhad.push_back(std::move(o));
      continue;
    }
    pridat(program, *setup, url + (s14 ? "Setup14/" : "Setup/"), {program},
           soucet("Merko", s14 ? "Sha256Setup14" : "Sha256Setup"));
    odhad.back().vydani = nainstalovano;
    if (!sdilena && ExistujeSlozka(slozky.sdilena))
      pridat(slozky.sdilena, slozky.sdilena, url + "SetupCommon/", {},
             soucet("Merko", "Sha256SetupCommon"));
    sdilena = true;
    for (const std::string& polozka : PolozkyUprav(*setup + "Upravy/")) {
      const std::string sekce = NaDratovouCestu((s14 ? "Upravy14" : "Upravy") + polozka.substr(6));
      const std::string server = CistIni(ini, sekce, "Url");
      if (!server.empty())
        pridat(*setup + polozka, *setup + polozka, server, {}, soucet(sekce, "Sha256"));
    }
  }
  if (odhad.empty())
    VyvolatChybu("Nelze aktualizovat profil " + profil +
                 ", protože v něm nebyla nalezena instalace Merka.");
  // A release that a way back refused, which a run would not install.
  if (const std::string r = OdmitnuteVydani(slozky); !r.empty() && PorovnatVydani(vydani, r) <= 0)
    odhad.front().souhrn.vraceno = r;
  return odhad;
}

SouhrnObnovy SoucetOdhadu(const std::vector<OdhadSlozky>& odhad) {
  SouhrnObnovy s;
  for (const OdhadSlozky& o : odhad) {
    if (s.vydaniPred.empty()) s.vydaniPred = o.vydani;
    if (s.vraceno.empty()) s.vraceno = o.souhrn.vraceno;
    if (o.aktualni) continue;
    ++s.slozek;
    s.zkopirovano += o.souhrn.zkopirovano;
    s.stazeno += o.souhrn.stazeno;
    s.bajtu += o.souhrn.bajtu;
  }
  return s;
}

}  // namespace zevlon
