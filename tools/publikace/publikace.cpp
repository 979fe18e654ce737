#include "tools/publikace/publikace.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "aplikace/instalacni_slozka.h"
#include "common/chyba.h"
#include "platform/nahrady/ini.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/podpisy/sha256.h"
#include "prenos/stahovani/informace_vydani.h"
#include "prenos/zip/mzip32.h"
#include "rozhrani/pomucky.h"
#include "soubory/cesty.h"
#include "soubory/operace_slozek.h"
#include "tools/publikace/delty.h"
#include "tools/publikace/klice.h"
#include "tools/publikace/preruseni.h"
#include "tools/publikace/slozka_vydani.h"
#include "tools/publikace/stary_web.h"

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

// A new empty working folder beside `web`, removed should the command be stopped.
std::string NovaSlozkaVedle(const std::string& web) {
  const std::string rodic = fs::path(web).parent_path().string();
  fs::create_directories(rodic);
  const std::string slozka = ZalozitPracovniSlozku(rodic);
  if (slozka.empty())
    VyvolatChybu("Vedle složky " + web + " nelze vytvořit pracovní složku: " +
                 ss::ChybaSystemu(errno, rodic + "/" + kPrefixPrace, ss::Druh::kSlozka).popis);
  return slozka;
}

// The folder as mkdir would have made it, readable by all as far as the umask `maska`
// allows: mkdtemp's 0700 keeps out a web server running as another user. Opened without
// following a link, as it lies where others may write.
void Zpristupnit(const std::string& slozka, mode_t maska) {
  Popisovac fd(::open(slozka.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.Platny() || ::fchmod(fd.Fd(), 0777 & ~maska) != 0)
    VyvolatChybu("Složce " + slozka + " nelze nastavit práva: " +
                 ss::ChybaSystemu(errno, slozka, ss::Druh::kSlozka).popis);
}

// The new site takes the old one's place, with stops held off so that the site is never
// missing; the old one goes once the new one is there.
void Nahradit(const std::string& web, const std::string& novy) {
  std::string stary;
  BezPreruseni([&] {
    if (fs::exists(fs::symlink_status(web))) {
      stary = NovaSlozkaVedle(web);
      fs::rename(web, stary);  // over the empty folder just made
    }
    try {
      fs::rename(novy, web);
    } catch (...) {
      if (!stary.empty()) fs::rename(stary, web);
      throw;
    }
    Dokoncit(novy, false);  // the live site now
  });
  if (!stary.empty()) Dokoncit(stary, true);
}

}  // namespace

void DoplnitSha256(SeznamSouboru& soubory, const std::string& zdroj) {
  for (const auto& p : soubory)
    p.hodnota->Sha256 = OtiskSouboru(zdroj + p.hodnota->Cesta);
}

PublikovanaSlozka PublikovatSlozku(const std::string& zdroj, const std::string& cil,
                                   const PredchoziWeby* predchozi, const std::string& naWebu) {
  InstalacniSlozka slozka;
  slozka.NacistObsahSlozky(zdroj);
  auto soubory = slozka.DejObsahSlozky(VsechnySoubory);
  DoplnitSha256(*soubory, zdroj);
  fs::create_directories(cil);
  const std::string snapshot = cil + "master.snapshot";
  slozka.UlozitSnapshot(snapshot, *soubory);
  if (!fs::exists(snapshot)) VyvolatChybu("Nelze zapsat soubor " + snapshot + ".");
  PublikovanaSlozka vysledek;
  vysledek.souboru = static_cast<int>(soubory->Pocet());
  vysledek.sha256Snapshotu = OtiskSouboru(snapshot);
  Zazipovat(snapshot, snapshot + ".zip");
  fs::remove(snapshot);
  // The deltas are made while the archives are written.
  RozpracovaneDelty delty;
  if (predchozi) delty = predchozi->Zacit(naWebu, zdroj, *soubory);
  for (const auto& p : *soubory)
    Zazipovat(zdroj + p.hodnota->Cesta, cil + p.hodnota->Cesta + ".zip");
  vysledek.sha256Delt = delty.Dokoncit(cil, &vysledek.delt);
  return vysledek;
}

namespace {

// Writes the whole site into the folder `novy`.
Souhrn Sestavit(const Zadani& z, const std::string& zdroj, const std::string& novy,
                const PredchoziWeby* predchozi) {
  Souhrn souhrn;
  const std::string ini = novy + "download.ini";
  Zapsat(ini, "Merko", "Release", z.vydani);
  if (z.zmenaDat) Zapsat(ini, "Merko", "ReleaseZmenyDat", *z.zmenaDat);
  Zapsat(ini, "Merko", "ZevlonVerze", z.verzeZevlonu);
  Zapsat(ini, "Merko", "Url", z.adresa);

  for (const char* setup : {"Setup", "Setup14", "SetupCommon"}) {
    if (!ExistujeSlozka(zdroj + setup + "/")) continue;
    auto slozka = PublikovatSlozku(zdroj + setup + "/", novy + setup + "/", predchozi,
                                   std::string(setup) + "/");
    Zapsat(ini, "Merko", std::string("Sha256") + setup, slozka.sha256Snapshotu);
    if (!slozka.sha256Delt.empty())
      Zapsat(ini, "Merko", std::string("Sha256Delty") + setup, slozka.sha256Delt);
    souhrn.delt += slozka.delt;
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
        auto slozka = PublikovatSlozku(rodic + jmeno + "/", novy + relativni, predchozi, relativni);
        souhrn.souboru += slozka.souboru;
        souhrn.delt += slozka.delt;
        ++souhrn.slozek;
        Zapsat(ini, NaDratovouCestu(relativni), "Url", z.adresa + relativni);
        Zapsat(ini, NaDratovouCestu(relativni), "Sha256", slozka.sha256Snapshotu);
        if (!slozka.sha256Delt.empty())
          Zapsat(ini, NaDratovouCestu(relativni), "Sha256Delty", slozka.sha256Delt);
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
  return souhrn;
}

// Clients take only a newer release than the one they have: the same one again reaches
// only those that have not installed it yet, an older one is refused unless PovolitStarsi.
void OveritPoradi(const std::string& naWebu, const Zadani& z) {
  const int poradi = PorovnatVydani(z.vydani, naWebu);
  if ((poradi == 0 && !z.prepsatVydani) || (poradi < 0 && !z.vratitVydani))
    throw Chyba(kChybaVydaniWebu,
                "Web již má vydání " + naWebu + "; vydání " + z.vydani +
                    " by klienti nepřevzali. Použijte --prepsat-vydani (stejné číslo) nebo "
                    "--vratit-vydani (starší), víte-li proč.");
}

}  // namespace

Souhrn Publikovat(const Zadani& z) {
  // Read while no thread of the deltas runs: the umask is the whole process's.
  const mode_t maska = ::umask(0);
  ::umask(maska);
  std::string web = z.cil, novy;
  try {
    const std::string zdroj = PridatLomitko(fs::weakly_canonical(fs::absolute(z.zdroj)).string());
    web = BezLomitka(fs::weakly_canonical(fs::absolute(z.cil)).string());
    OveritSlozkuVydani(zdroj, z.vydani);
    OveritCilWebu(web, zdroj, z.souborKlice);
    const std::optional<std::string> naWebu = VydaniWebu(web);
    if (naWebu) OveritPoradi(*naWebu, z);
    // The earlier sites are read before anything is written: one may be the site replaced,
    // which is one unless told otherwise, so that the clients that have its release get
    // deltas.
    std::vector<std::string> weby;
    for (const std::string& w : z.bezDelt ? std::vector<std::string>{} : z.predchozi)
      weby.push_back(BezLomitka(fs::weakly_canonical(fs::absolute(w)).string()));
    if (naWebu && !z.bezDelt && std::find(weby.begin(), weby.end(), web) == weby.end())
      weby.push_back(web);
    const std::optional<PredchoziWeby> predchozi =
        weby.empty() ? std::nullopt : std::optional<PredchoziWeby>(std::in_place, weby);
    std::vector<std::string> protiVydanim;
    for (const std::string& w : weby)
      protiVydanim.push_back(VydaniWebu(w).value_or(w));
    // Built beside the site in a working folder, which a server never serves, and swapped
    // in at the end; whatever fails, nothing of it stays, nor of a killed run before.
    UklidititPozustatky(fs::path(web).parent_path().string());
    UklidititPozustatky(fs::temp_directory_path().string());
    novy = NovaSlozkaVedle(web);
    Souhrn s = Sestavit(z, zdroj, PridatLomitko(novy), predchozi ? &*predchozi : nullptr);
    s.protiVydanim = protiVydanim;
    Zpristupnit(novy, maska);
    Nahradit(web, novy);
    return s;
  } catch (const fs::filesystem_error& e) {
    if (!novy.empty()) Dokoncit(novy, true);
    VyvolatChybu("Web se nepodařilo zapsat do složky " + web + ": " +
                 ss::ChybaSystemu(e.code().value(), e.path1().string()).popis);
  } catch (...) {
    if (!novy.empty()) Dokoncit(novy, true);
    throw;
  }
}

}  // namespace zevlon::publikace
