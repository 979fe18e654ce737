#include "tools/publikace/publikace.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
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
#include "tools/publikace/slozky_vydani.h"
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
// following a link, as it lies where others may write. Another user's folder (a site folder
// that an administrator made for the publisher) is left as it is.
void Zpristupnit(const std::string& slozka, mode_t maska) {
  Popisovac fd(::open(slozka.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (!fd.Platny() || ::fstat(fd.Fd(), &st) != 0 ||
      (st.st_uid == ::geteuid() && ::fchmod(fd.Fd(), 0777 & ~maska) != 0))
    VyvolatChybu("Složce " + slozka + " nelze nastavit práva: " +
                 ss::ChybaSystemu(errno, slozka, ss::Druh::kSlozka).popis);
}

void Prejmenovat(const std::string& z, const std::string& na, unsigned priznaky = 0) {
  if (::renameat2(AT_FDCWD, z.c_str(), AT_FDCWD, na.c_str(), priznaky) != 0)
    VyvolatChybu("Nelze přejmenovat " + z + " na " + na + ": " + ss::ChybaSystemu(errno, na).popis);
}

void ZapsatSlozku(const std::string& slozka) {
  if (ss::Vysledek v = ss::ZapsatSlozkuNaDisk(slozka); !v.Uspech())
    VyvolatChybu("Složku " + slozka + " nelze zapsat na disk: " + v.popis);
}

// Removes the folder `cesta` of the site, never a link: first out of the way, under a
// working name (which a stop or the next run removes should the removal be cut short).
void Odstranit(const std::string& cesta) {
  if (!fs::is_directory(fs::symlink_status(cesta))) return;
  const std::string prace = NovaSlozkaVedle(cesta);
  Prejmenovat(cesta, prace);  // over the empty folder just made
  Dokoncit(prace, true);
  if (fs::exists(fs::symlink_status(prace)))
    VyvolatChybu("Složku " + cesta + " se nepodařilo odstranit (zbývá " + prace + ").");
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

// Writes the whole release into the folder `novy`, which the site serves at `url`.
Souhrn Sestavit(const Zadani& z, const std::string& zdroj, const std::string& novy,
                const std::string& url, const PredchoziWeby* predchozi) {
  Souhrn souhrn;
  const std::string ini = novy + "download.ini";
  Zapsat(ini, "Merko", "Release", z.vydani);
  if (z.zmenaDat) Zapsat(ini, "Merko", "ReleaseZmenyDat", *z.zmenaDat);
  Zapsat(ini, "Merko", "ZevlonVerze", z.verzeZevlonu);
  Zapsat(ini, "Merko", "Url", url);

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
        Zapsat(ini, NaDratovouCestu(relativni), "Url", url + relativni);
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

// The top-level folders of a site of the former layout (packages beside download.ini):
// kept for clients in the middle of a run until the next vydat.
// Only the folders its download.ini names, and SetupCommon for the updater's archive.
void ZaznamenatStare(const std::string& web, ZaznamSlozek& zaznam) {
  std::vector<std::string> jmena;
  for (const SlozkaWebu& s : SlozkyWebu(web))
    jmena.push_back(s.kde.substr(0, s.kde.find('/')));
  if (ini::CistKlic(web + "/download.ini", "Merko", "ZevlonSha256")) jmena.push_back("SetupCommon");
  for (const std::string& jmeno : jmena)
    if (fs::is_directory(fs::symlink_status(web + "/" + jmeno)) &&
        std::find(zaznam.stare.begin(), zaznam.stare.end(), jmeno) == zaznam.stare.end())
      zaznam.stare.push_back(jmeno);
}

// After the switch, what no client starting now reads: the former layout's folders that an
// earlier run recorded (named in the record until they are gone) and the oldest release
// folders of the tool's beyond `ponechat`, never the new one nor the one live before it
// (`chranene`), which a client in the middle of a run may read, however many folders that
// went in but never live the record names. A failure says that the release is live.
void Uklidit(const std::string& web, ZaznamSlozek& zaznam, const std::vector<std::string>& stare,
             int ponechat, const std::vector<std::string>& chranene, const std::string& hotovo,
             mode_t maska) {
  try {
    for (const std::string& stara : stare) {
      Odstranit(web + "/" + stara);
      std::erase(zaznam.stare, stara);
    }
    if (!stare.empty()) UlozitZaznamSlozek(web, zaznam, maska);
    std::vector<std::string> zijici;
    for (const std::string& v : zaznam.vydani)
      if (fs::is_directory(fs::symlink_status(web + "/" + kVydani + "/" + v))) zijici.push_back(v);
    std::size_t navic = zijici.size() - std::min(zijici.size(), static_cast<std::size_t>(ponechat));
    for (std::size_t i = 0; navic > 0 && i < zijici.size(); ++i)
      if (std::find(chranene.begin(), chranene.end(), zijici[i]) == chranene.end()) {
        Odstranit(web + "/" + kVydani + "/" + zijici[i]);
        --navic;
      }
  } catch (const fs::filesystem_error& e) {
    VyvolatChybu(hotovo + ", ale starší složky webu se nepodařilo odstranit: " +
                 ss::ChybaSystemu(e.code().value(), e.path1().string()).popis);
  } catch (const Chyba& c) {
    VyvolatChybu(hotovo + ", ale starší složky webu se nepodařilo odstranit: " + c.Popis());
  }
}

// The top pair prepared in `horni` takes its place: download.ini by a rename, then its
// signature (or none, for an unsigned release), each flushed. Should the signature fail,
// the download.ini before it (kept by a link) is renamed back, so that the live pair stays
// one.
void PrepnoutInformace(const std::string& web, const std::string& horni, bool podepsano) {
  const std::string ini = web + "/download.ini", predtim = horni + "/download.ini.predtim";
  const bool zaloha = ::link(ini.c_str(), predtim.c_str()) == 0;
  Prejmenovat(horni + "/download.ini", ini);
  try {
    ZapsatSlozku(web);  // on the disk before the signature that covers it
    const std::string podpis = web + "/download.ini.minisig";
    if (podepsano)
      Prejmenovat(horni + "/download.ini.minisig", podpis);
    else if (::unlink(podpis.c_str()) != 0 && errno != ENOENT)
      VyvolatChybu("Nelze odstranit starý podpis " + podpis + ": " +
                   ss::ChybaSystemu(errno, podpis).popis);
  } catch (...) {
    if (zaloha && ::rename(predtim.c_str(), ini.c_str()) == 0) ss::ZapsatSlozkuNaDisk(web);
    throw;
  }
  ZapsatSlozku(web);
}

// The new release folder `novy` and the top pair prepared in `horni` take their places:
// the folder, then the pair; with stops held off, so that the site never points at a folder
// that is not there.
void Prepnout(const std::string& web, const std::string& novy, const std::string& slozka,
              const std::string& horni, bool podepsano, const ZaznamSlozek& zaznam, mode_t maska) {
  BezPreruseni([&] {
    UlozitZaznamSlozek(web, zaznam, maska);
    Prejmenovat(novy, slozka, RENAME_NOREPLACE);
    Dokoncit(novy, false);
    ZapsatSlozku(web + "/" + kVydani);
    PrepnoutInformace(web, horni, podepsano);
  });
}

// The site's signed pair verified with the public half of `klic` before it is signed again:
// a download.ini changed since it was signed, or a key other than the site's (whose signature
// no client would accept), is never signed.
void OveritZivyPar(const std::string& web, const podpis::TajnyKlic& klic) {
  const std::string ini = web + "/download.ini", soubor = ini + ".minisig";
  if (!fs::exists(fs::symlink_status(soubor))) return;
  podpis::VerejnyKlic verejny{klic.id, {}};
  std::copy(klic.klic.begin() + 32, klic.klic.end(), verejny.klic.begin());
  const std::optional<std::string> obsah = NacistSoubor(ini);
  const std::optional<podpis::Podpis> p = podpis::CistPodpis(NacistSoubor(soubor).value_or(""));
  if (!obsah || !p || podpis::Overit(*p, {&verejny, 1}, *obsah) != podpis::Overeni::kPlatny)
    VyvolatChybu("Soubor " + ini + " a jeho podpis klíč " + podpis::TextId(klic.id) +
                 " neověří (soubor se od podpisu změnil, nebo web podepsal jiný klíč); web "
                 "zůstává, jak je.");
}

// The site's download.ini replaced by `zdroj` (a file), with `nastavit` applied to the copy,
// signed again with `klic`: the pair is prepared and flushed beside it, then takes its place
// with stops held off. A signed site is never left unsigned.
void NahraditInformace(const std::string& web0, const std::string& zdroj,
                       const std::function<void(const std::string&)>& nastavit,
                       const std::optional<podpis::TajnyKlic>& klic) {
  const std::string web = BezLomitka(fs::weakly_canonical(fs::absolute(web0)).string());
  std::string horni;
  try {
    if (!klic && fs::exists(fs::symlink_status(web + "/download.ini.minisig")))
      VyvolatChybu("Web " + web +
                   " je podepsaný: zadejte --klic, jinak by klienti jeho download.ini odmítli.");
    if (klic) OveritZivyPar(web, *klic);
    UklidititPozustatky(fs::path(web).parent_path().string());
    horni = NovaSlozkaVedle(web + "/download.ini");
    fs::copy_file(zdroj, horni + "/download.ini");
    if (nastavit) nastavit(horni + "/download.ini");
    if (klic) PodepsatSoubor(*klic, horni + "/download.ini");
    const mode_t maska = ::umask(0);
    ::umask(maska);
    ::chmod((horni + "/download.ini").c_str(), 0666 & ~maska);
    if (klic) ::chmod((horni + "/download.ini.minisig").c_str(), 0666 & ~maska);
    ZapsatStromNaDisk(horni);
    BezPreruseni([&] { PrepnoutInformace(web, horni, klic.has_value()); });
    Dokoncit(horni, true);
  } catch (const fs::filesystem_error& e) {
    if (!horni.empty()) Dokoncit(horni, true);
    VyvolatChybu("Web ve složce " + web + " se nepodařilo změnit: " +
                 ss::ChybaSystemu(e.code().value(), e.path1().string()).popis);
  } catch (...) {
    if (!horni.empty()) Dokoncit(horni, true);
    throw;
  }
}

}  // namespace

Souhrn Publikovat(const Zadani& z) {
  // Read while no thread of the deltas runs: the umask is the whole process's.
  const mode_t maska = ::umask(0);
  ::umask(maska);
  std::string web = z.cil, novy, horni;
  try {
    const std::string zdroj = PridatLomitko(fs::weakly_canonical(fs::absolute(z.zdroj)).string());
    web = BezLomitka(fs::weakly_canonical(fs::absolute(z.cil)).string());
    if (z.ponechat < 2)
      VyvolatChybu(
          "Ponechat je třeba aspoň dvě složky vydání: předchozí může ještě číst klient "
          "uprostřed běhu.");
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
    // Built in working folders of the site, which a server never serves; whatever fails
    // before the switch, nothing of them stays, nor of a killed run before.
    UklidititPozustatky(fs::path(web).parent_path().string());
    UklidititPozustatky(fs::temp_directory_path().string());
    UklidititPozustatky(web);
    UklidititPozustatky(web + "/" + kVydani);
    ZaznamSlozek zaznam = NacistZaznamSlozek(web);
    const std::string ziva = naWebu ? SlozkaVydaniWebu(web) : "";
    std::vector<std::string> stare;  // converted by an earlier run: removed after the switch
    if (naWebu && ziva.empty())
      ZaznamenatStare(web, zaznam);
    else
      stare = zaznam.stare;
    fs::create_directories(web + "/" + kVydani);
    const std::string jmeno = NazevSlozky(web, zaznam, z.vydani);
    const std::string slozka = web + "/" + kVydani + "/" + jmeno;
    novy = NovaSlozkaVedle(slozka);
    Souhrn s = Sestavit(z, zdroj, PridatLomitko(novy), z.adresa + kVydani + "/" + jmeno + "/",
                        predchozi ? &*predchozi : nullptr);
    s.protiVydanim = protiVydanim;
    s.slozka = jmeno;
    if (naWebu) PropojitShodne(PridatLomitko(novy), web + "/" + ziva);
    Zpristupnit(novy, maska);
    ZapsatStromNaDisk(novy);
    horni = NovaSlozkaVedle(web + "/download.ini");
    fs::copy_file(novy + "/download.ini", horni + "/download.ini");
    if (z.klic) PodepsatSoubor(*z.klic, horni + "/download.ini");
    ZapsatStromNaDisk(horni);
    zaznam.vydani.push_back(jmeno);
    // Made by an earlier run, perhaps under another umask: readable as this one's allows.
    Zpristupnit(web, maska);
    Zpristupnit(web + "/" + kVydani, maska);
    Prepnout(web, novy, slozka, horni, z.klic.has_value(), zaznam, maska);
    novy.clear();
    Dokoncit(horni, true);
    horni.clear();

    const std::string bylaZiva = fs::path(BezLomitka(ziva)).filename().string();
    Uklidit(web, zaznam, stare, z.ponechat, {jmeno, bylaZiva},
            "Vydání " + z.vydani + " je publikováno do " + slozka + "/", maska);
    return s;
  } catch (const fs::filesystem_error& e) {
    if (!novy.empty()) Dokoncit(novy, true);
    if (!horni.empty()) Dokoncit(horni, true);
    VyvolatChybu("Web se nepodařilo zapsat do složky " + web + ": " +
                 ss::ChybaSystemu(e.code().value(), e.path1().string()).popis);
  } catch (...) {
    if (!novy.empty()) Dokoncit(novy, true);
    if (!horni.empty()) Dokoncit(horni, true);
    throw;
  }
}

void Nasadit(const std::string& web, int procento, const std::optional<podpis::TajnyKlic>& klic) {
  const std::string ini = BezLomitka(web) + "/download.ini";
  if (!VydaniWebu(BezLomitka(fs::absolute(web).string())))
    VyvolatChybu("Ve složce " + web + " není web s download.ini.");
  NahraditInformace(
      web, ini,
      [&](const std::string& kopie) {
        Zapsat(kopie, "Merko", "Nasazeni", std::to_string(procento));
      },
      klic);
}

std::string Stahnout(const std::string& web0, const std::optional<podpis::TajnyKlic>& klic) {
  const std::string web = BezLomitka(fs::weakly_canonical(fs::absolute(web0)).string());
  const std::string ziva = SlozkaVydaniWebu(web);
  const std::string jmeno = fs::path(BezLomitka(ziva)).filename().string();
  ZaznamSlozek zaznam = NacistZaznamSlozek(web);
  auto i = std::find(zaznam.vydani.begin(), zaznam.vydani.end(), jmeno);
  if (ziva.empty() || i == zaznam.vydani.end())
    VyvolatChybu("Web ve složce " + web +
                 " nemá živou složku vydání, kterou zapsal tento nástroj.");
  // The newest folder before the live one that is still there, with its own download.ini of
  // an older release (the same one again would reach the clients that have not installed
  // it), never one withdrawn before.
  const std::string stazene = VydaniWebu(web).value_or("");
  while (i != zaznam.vydani.begin()) {
    const std::string slozka = web + "/" + kVydani + "/" + *--i;
    if (fs::is_directory(fs::symlink_status(slozka)) &&
        fs::is_regular_file(fs::symlink_status(slozka + "/download.ini")) &&
        std::find(zaznam.stazena.begin(), zaznam.stazena.end(), *i) == zaznam.stazena.end() &&
        PorovnatVydani(ini::CistKlic(slozka + "/download.ini", "Merko", "Release").value_or(""),
                       stazene) < 0) {
      const std::string predchozi = *i;
      NahraditInformace(web, slozka + "/download.ini", {}, klic);
      zaznam.stazena.push_back(jmeno);
      const mode_t maska = ::umask(0);
      ::umask(maska);
      try {
        UlozitZaznamSlozek(web, zaznam, maska);
      } catch (const Chyba& c) {
        VyvolatChybu("Vydání " + stazene + " je staženo, ale nezaznamenáno: " + c.Popis());
      }
      return VydaniWebu(web).value_or(predchozi);
    }
  }
  VyvolatChybu("Na webu ve složce " + web +
               " nezůstala žádná předchozí složka vydání, k níž by "
               "se dalo vrátit.");
}

}  // namespace zevlon::publikace
