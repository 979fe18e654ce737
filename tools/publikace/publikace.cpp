#include "tools/publikace/publikace.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "aplikace/instalacni_slozka.h"
#include "common/chyba.h"
#include "platform/ini.h"
#include "prenos/mzip32.h"
#include "prenos/sha256.h"
#include "soubory/cesty.h"
#include "soubory/operace_slozek.h"
#include "tools/publikace/klice.h"

namespace fs = std::filesystem;

namespace zevlon::publikace {

namespace {

void Zazipovat(const std::string& soubor, const std::string& archiv) {
  fs::create_directories(fs::path(archiv).parent_path());
  if (std::int32_t kod = ZazipovatJednoduse(soubor, archiv, true, "", false))
    VyvolatChybu("Soubor " + soubor + " se nepodařilo zazipovat (kód " + std::to_string(kod) +
                 ").");
}

void Zapsat(const std::string& ini, const std::string& sekce, const std::string& klic,
            const std::string& hodnota) {
  if (!ini::ZapsatKlic(ini, sekce, klic, hodnota)) VyvolatChybu("Nelze zapsat do souboru " + ini);
}

std::string OtiskSouboru(const std::string& soubor) {
  auto otisk = Sha256Souboru(soubor);
  if (!otisk) VyvolatChybu("Soubor " + soubor + " nelze přečíst pro kontrolní součet.");
  return *otisk;
}

}  // namespace

void DoplnitSha256(SeznamSouboru& soubory, const std::string& zdroj) {
  for (const auto& p : soubory)
    p.hodnota->Sha256 = OtiskSouboru(zdroj + p.hodnota->Cesta);
}

PublikovanaSlozka PublikovatSlozku(const std::string& zdroj, const std::string& cil) {
  InstalacniSlozka slozka;
  slozka.NacistObsahSlozky(zdroj);
  auto soubory = slozka.DejObsahSlozky(VsechnySoubory);
  DoplnitSha256(*soubory, zdroj);
  fs::create_directories(cil);
  const std::string snapshot = cil + "master.snapshot";
  slozka.UlozitSnapshot(snapshot, *soubory);
  if (!fs::exists(snapshot)) VyvolatChybu("Nelze zapsat soubor " + snapshot + ".");
  PublikovanaSlozka vysledek{static_cast<int>(soubory->Pocet()), OtiskSouboru(snapshot)};
  Zazipovat(snapshot, snapshot + ".zip");
  fs::remove(snapshot);
  for (const auto& p : *soubory)
    Zazipovat(zdroj + p.hodnota->Cesta, cil + p.hodnota->Cesta + ".zip");
  return vysledek;
}

Souhrn Publikovat(const Zadani& z) {
  const std::string zdroj = z.zdroj.back() == '/' ? z.zdroj : z.zdroj + "/";
  const std::string cil = z.cil.back() == '/' ? z.cil : z.cil + "/";
  if (!ExistujeSlozka(zdroj + "Setup/") && !ExistujeSlozka(zdroj + "Setup14/"))
    VyvolatChybu("Složka vydání " + zdroj + " neobsahuje složku Setup ani Setup14.");
  // Build beside the target and swap it in at the end, so a server never serves a
  // half-written site.
  const std::string novy = BezLomitka(cil) + ".nove/";
  fs::remove_all(novy);
  fs::create_directories(novy);

  Souhrn souhrn;
  const std::string ini = novy + "download.ini";
  Zapsat(ini, "Merko", "Release", z.vydani);
  if (z.zmenaDat) Zapsat(ini, "Merko", "ReleaseZmenyDat", *z.zmenaDat);
  Zapsat(ini, "Merko", "ZevlonVerze", z.verzeZevlonu);
  Zapsat(ini, "Merko", "Url", z.adresa);

  for (const char* setup : {"Setup", "Setup14", "SetupCommon"}) {
    if (!ExistujeSlozka(zdroj + setup + "/")) continue;
    auto slozka = PublikovatSlozku(zdroj + setup + "/", novy + setup + "/");
    Zapsat(ini, "Merko", std::string("Sha256") + setup, slozka.sha256Snapshotu);
    souhrn.souboru += slozka.souboru;
    ++souhrn.slozek;
  }

  for (const char* upravy : {"Upravy", "Upravy14"}) {
    for (const char* druh : {"Doplnky", "Moduly"}) {
      const std::string rodic = zdroj + upravy + "/" + druh + "/";
      if (!ExistujeSlozka(rodic)) continue;
      std::vector<std::string> jmena;
      for (const auto& e : fs::directory_iterator(rodic))
        if (e.is_directory()) jmena.push_back(e.path().filename().string());
      std::sort(jmena.begin(), jmena.end());
      for (const std::string& jmeno : jmena) {
        const std::string relativni = std::string(upravy) + "/" + druh + "/" + jmeno + "/";
        auto slozka = PublikovatSlozku(rodic + jmeno + "/", novy + relativni);
        souhrn.souboru += slozka.souboru;
        ++souhrn.slozek;
        Zapsat(ini, NaDratovouCestu(relativni), "Url", z.adresa + relativni);
        Zapsat(ini, NaDratovouCestu(relativni), "Sha256", slozka.sha256Snapshotu);
      }
    }
  }

  if (z.zevlon) {
    // The updater travels as SetupCommon/<its name>.zip holding that name.
    const std::string jmeno = fs::path(*z.zevlon).filename().string();
    const std::string docasny = novy + jmeno;
    fs::copy_file(*z.zevlon, docasny, fs::copy_options::overwrite_existing);
    const std::string archiv = novy + "SetupCommon/" + jmeno + ".zip";
    Zazipovat(docasny, archiv);
    fs::remove(docasny);
    Zapsat(ini, "Merko", "ZevlonSha256", OtiskSouboru(*z.zevlon));
  }

  // Signed last: the signature covers download.ini as it is served.
  if (z.klic) PodepsatSoubor(*z.klic, ini);

  const std::string stary = BezLomitka(cil) + ".stare";
  fs::remove_all(stary);
  if (fs::exists(BezLomitka(cil))) fs::rename(BezLomitka(cil), stary);
  fs::rename(BezLomitka(novy), BezLomitka(cil));
  fs::remove_all(stary);
  return souhrn;
}

}  // namespace zevlon::publikace
