#include "instalace/aktualizace_profilu.h"

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "aplikace/aktualizace_aplikace.h"
#include "aplikace/najit_server.h"
#include "common/chyba.h"
#include "common/seznam.h"
#include "common/text.h"
#include "instalace/vymena.h"
#include "platform/http/http.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/podpisy/sha256.h"
#include "prenos/stahovani/informace_vydani.h"
#include "prenos/stahovani/stahovani.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/rozhrani.h"
#include "rozhrani/stav.h"
#include "soubory/cesty.h"
#include "soubory/log.h"
#include "soubory/operace_slozek.h"
#include "soubory/operace_souboru.h"

namespace zevlon {

namespace {

// The backup of the package's top-level files that the last update replaced.
constexpr const char* kZalohaSouboru = "Soubory_old/";

// The key of an add-on's section that holds the checksum of its server's snapshot.
constexpr const char* kKlicSouctu = "Sha256";
constexpr const char* kKlicDeltySlozky = "Sha256Delty";

// The names of the subfolders of a folder (hidden ones passed over), in name order.
std::vector<std::string> Podslozky(const std::string& slozka) {
  std::vector<ss::PolozkaSlozky> polozky;
  std::vector<std::string> jmena;
  if (!ss::CistSlozku(slozka, polozky).Uspech()) return jmena;
  for (const auto& p : polozky)
    if (p.slozka && p.jmeno.front() != '.') jmena.push_back(p.jmeno);
  std::sort(jmena.begin(), jmena.end());
  return jmena;
}

// The plain files directly in a folder (hidden ones passed over), in name order.
std::vector<std::string> Soubory(const std::string& slozka) {
  std::vector<ss::PolozkaSlozky> polozky;
  std::vector<std::string> jmena;
  if (!ss::CistSlozku(slozka, polozky).Uspech()) return jmena;
  for (const auto& p : polozky)
    if (!p.slozka && !p.odkaz && p.jmeno.front() != '.') jmena.push_back(p.jmeno);
  std::sort(jmena.begin(), jmena.end());
  return jmena;
}

// What a live program or shared folder held that the new release does not (a user's file,
// a file an older release brought) is from now on only in the backup, which the next
// update replaces: each is named, the first few by name.
void NazvatJenVZaloze(const std::string& zaloha, const std::string& zivy) {
  constexpr std::size_t kNejvic = 20;
  const std::string z = PridatLomitko(zaloha), c = PridatLomitko(zivy);
  std::vector<std::string> jen;
  std::size_t celkem = 0;
  const ss::Vysledek v = ss::ChybejiciVCili(z, c, kNejvic, jen, celkem);
  for (const std::string& r : jen)
    ZapsatDoLogu(kPrenosovyLog, "Položka " + c + r +
                                    " není součástí nového vydání, proto je nyní jen v záloze " +
                                    z + r + "; příští aktualizace zálohu nahradí.");
  if (celkem > jen.size())
    ZapsatDoLogu(kPrenosovyLog,
                 "Dalších " + std::to_string(celkem - jen.size()) + " položek složky " + c +
                     " není součástí nového vydání; jsou nyní jen v záloze " + z + ".");
  if (!v.Uspech())
    ZapsatDoLogu(kPrenosovyLog, "Nelze zjistit, co ze složky " + c + " zůstalo jen v záloze " + z +
                                    ": " + v.popis);
}

class ProfilovaAktualizace {
 public:
  ProfilovaAktualizace(const std::string& profil, const std::string& setup,
                       const std::string& vydani, const std::string& temp, const std::string& ini,
                       const std::string& beh, const std::string& sdilena,
                       const NastaveniOvereni& overeni, SouhrnObnovy* souhrn)
      : profil_(profil),
        setup_(setup),
        vydani_(vydani),
        temp_(temp),
        ini_(ini),
        beh_(beh),
        sdilena_(sdilena),
        overeni_(overeni),
        souhrn_(souhrn) {}

  bool Provest();

 private:
  // A folder in which new content is built, made anew under a name nobody can foresee
  // (the prefix, the run's name, a random end): deleted at the end of the run unless it
  // was moved into place.
  std::string Nova(const std::string& predpona) {
    AktualniPolozka = predpona;
    std::string slozka = VytvoritNovouSlozku(predpona + beh_, true);
    AktualniPolozka.clear();
    DocasneSlozky.push_back(slozka);
    return slozka;
  }
  void SbiratPolozky(const std::string& upravy, const std::string& noveUpravy,
                     const std::string& zakladni);
  void ObnovitPolozku(const PolozkaUpravy& p, int k, int n);
  // What an unfinished update did to a live folder: not swapped yet; swapped to this
  // release (it stays); swapped to an older one (renewed again, its backup from before
  // that update kept).
  enum class Stav { kObnovit, kHotovo, kNahradit };
  Stav StavSlozky(const std::string& zivy) const {
    std::string vydani;
    if (!JeVymenena(setup_, zivy, &vydani)) return Stav::kObnovit;
    return StejnyText(vydani, vydani_) ? Stav::kHotovo : Stav::kNahradit;
  }
  // Puts the new folder in the live one's place with the old content as the backup, once
  // the record names the swap.
  void Vymenit(const std::string& zivy, const std::string& zaloha, const std::string& novy,
               const std::string& zpravaZalohy, std::int32_t krokZalohy,
               const std::string& zpravaNove, std::int32_t krokNove,
               const std::function<bool(const std::string&)>& stary = {});
  // The same for a customisation folder that renewed some of its items; what users changed
  // in it since the merge saw it (`videno`) follows it into the new one.
  void VymenitUpravy(const std::string& zivy, const std::string& zaloha, const std::string& novy,
                     std::int32_t krok, const ss::VidenyStrom& videno);

  // What the signed release information lists as the checksum of a folder's snapshot,
  // under the key of that section; nothing when releases are not verified.
  std::optional<std::string> Soucet(const std::string& sekce, const char* klic) const {
    if (!overeni_.Zapnuto()) return std::nullopt;
    return CistIni(ini_, sekce, klic);
  }
  // The folder's delta list as the release information lists it (under `klic` of `sekce`).
  UvedeneDelty Delty(const std::string& sekce, const std::string& klic) const {
    std::string soucet = CistIni(ini_, sekce, klic);
    if (soucet.empty()) return {};
    return {true,
            overeni_.Zapnuto() ? std::optional<std::string>(std::move(soucet)) : std::nullopt};
  }

  const std::string profil_, setup_, vydani_, temp_, ini_, beh_;
  std::string sdilena_;
  const NastaveniOvereni& overeni_;
  SouhrnObnovy* const souhrn_;
  std::string nazevSetupu_, nazevUprav_;
  std::string profilovySetup_, profiloveUpravy_, noveProfiloveUpravy_;
  std::string noveUpravy_;
  ss::VidenyStrom videnoUprav_, videnoProfilovychUprav_;  // what the merges saw
  KlicovanySeznam<PolozkaUpravy> polozky_;
  bool aktualni_ = false;
  bool nicNeaktualizovano_ = true;
  bool obnovenySetup_ = false, obnovenyProfil_ = false;  // an item of that customisation
  bool neprenesene_ = false;  // users' changes during the swaps that were not all carried
};

void ProfilovaAktualizace::SbiratPolozky(const std::string& upravy, const std::string& noveUpravy,
                                         const std::string& zakladni) {
  for (const char* druh : {"Doplnky", "Moduly"}) {
    const std::string slozka = upravy + druh + "/";
    if (!ExistujeSlozka(slozka)) continue;
    std::vector<ss::PolozkaSlozky> polozky;
    if (!ss::CistSlozku(slozka, polozky).Uspech()) continue;
    // Folders by folded name: names that differ only in letter case cannot be told
    // apart by their sections and would be built into one folder.
    std::map<std::string, std::vector<std::string>> slozky;
    for (const auto& e : polozky) {
      if (e.jmeno.front() == '.') continue;
      if (e.odkaz && ExistujeSlozka(slozka + e.jmeno))
        ZapsatChybuBehu("Složka " + slozka + e.jmeno +
                            "/ je symbolický odkaz, proto nebyla aktualizována a zůstává beze "
                            "změny.",
                        "");
      if (e.slozka) slozky[SlozitVelikost(e.jmeno)].push_back(e.jmeno);
    }
    for (auto& [klic, jmena] : slozky) {
      std::sort(jmena.begin(), jmena.end());
      if (jmena.size() > 1) {
        std::string seznam;
        for (const std::string& j : jmena)
          seznam += (seznam.empty() ? "" : ", ") + slozka + j + "/";
        ZapsatChybuBehu("Složky " + seznam +
                            " se liší jen velikostí písmen, proto žádná z nich nebyla "
                            "aktualizována a všechny zůstávají beze změny.",
                        "");
        continue;
      }
      auto p = std::make_shared<PolozkaUpravy>();
      p->NazevAplikace = std::string("Upravy/") + druh + "/" + jmena[0] + "/";
      p->NovaSlozka = noveUpravy + druh + "/" + jmena[0] + "/";
      p->ZakladniSlozka = zakladni;
      p->SekceIni = nazevUprav_ + "\\" + druh + "\\" + jmena[0] + "\\";
      if (!polozky_.Obsahuje(p->NovaSlozka)) polozky_.Pridat(p->NovaSlozka, p);
    }
  }
}

void ProfilovaAktualizace::ObnovitPolozku(const PolozkaUpravy& p, int k, int n) {
  // Stages 50 to 100 spread over the items.
  ZobrazPrubeh("Aktualizace úpravy", "", 0, 100, 50 + 50 * k / n, true, false);
  const std::string aplikace = p.ZakladniSlozka + p.NazevAplikace;
  // Root's run found that the add-on's own wave has not reached this machine yet.
  for (const std::string& mimo : Rozdelit(CistIni(ini_, "Merko", kKlicMimoVlnu), '|'))
    if (const auto rovno = mimo.rfind('=');
        rovno != std::string::npos && StejnyText(mimo.substr(0, rovno), p.SekceIni)) {
      ZapsatDoLogu(kPrenosovyLog, "Úprava " + aplikace + " čeká na svou vlnu nasazení " +
                                      mimo.substr(rovno + 1) + " %, zůstává beze změny.");
      return;
    }
  std::string adresa = CistIni(ini_, p.SekceIni, "Url");
  std::optional<std::string> soucet = Soucet(p.SekceIni, kKlicSouctu);
  UvedeneDelty delty = Delty(p.SekceIni, kKlicDeltySlozky);
  const bool bezServeru = adresa.empty() && !ExistujeSoubor(aplikace + "*.manifest.xml");
  if (!adresa.empty()) {
    if (aktualni_ && ExistujeSoubor(aplikace + "*")) adresa.clear();
  } else {
    ServerAplikace server =
        NajitServerAplikace(p.ZakladniSlozka, p.NazevAplikace, vydani_, overeni_);
    if (!server.neovereno.empty()) {
      ZapsatChybuBehu("Aplikace " + aplikace +
                          " nebyla aktualizována a zůstává beze změny, "
                          "protože její aktualizaci nelze ověřit: " +
                          server.neovereno,
                      "");
      return;
    }
    adresa = server.url;
    soucet = server.sha256Snapshotu;
    delty = server.delty;
  }

  bool obnovena = false;
  if (!adresa.empty()) {
    AktualizaceAplikace(temp_, adresa, aplikace, p.NovaSlozka, {}, soucet, nullptr, nullptr, delty,
                        souhrn_);
    obnovena = true;
  } else {
    // Parts of the application that have a server of their own.
    struct Cast {
      std::string slozka, adresa;
      std::optional<std::string> soucet;
      UvedeneDelty delty;
    };
    std::vector<Cast> casti;
    for (const std::string& s : Podslozky(aplikace)) {
      const std::string sekce = NaDratovouCestu(p.NazevAplikace + s + "/");
      std::string a = CistIni(ini_, sekce, "Url");
      if (!a.empty())
        casti.push_back({s, a, Soucet(sekce, kKlicSouctu), Delty(sekce, kKlicDeltySlozky)});
    }
    for (const Cast& c : casti)
      AktualizaceAplikace(temp_, c.adresa, aplikace + c.slozka + "/", p.NovaSlozka + c.slozka + "/",
                          {}, c.soucet, nullptr, nullptr, c.delty, souhrn_);
    obnovena = !casti.empty();
    if (!obnovena && bezServeru)
      ZapsatChybuBehu("Složka " + aplikace +
                          " nemá manifest ani adresu serveru v informacích o vydání, proto nebyla "
                          "aktualizována a zůstává beze změny.",
                      "");
  }
  // An item that was not renewed, and whatever a renewed one holds besides its server's
  // files, reach the new customisation before it is swapped in (VymenitUpravy).
  if (!obnovena) return;
  nicNeaktualizovano_ = false;
  (p.ZakladniSlozka == setup_ ? obnovenySetup_ : obnovenyProfil_) = true;
}

void ProfilovaAktualizace::Vymenit(const std::string& zivy, const std::string& zaloha,
                                   const std::string& novy, const std::string& zpravaZalohy,
                                   std::int32_t krokZalohy, const std::string& zpravaNove,
                                   std::int32_t krokNove,
                                   const std::function<bool(const std::string&)>& stary) {
  ZobrazPrubeh("", zpravaZalohy, krokZalohy, 8, -1, false, false);
  ZobrazPrubeh("", zpravaNove, krokNove, 8, -1, false, false);
  const bool ponechat = StavSlozky(zivy) == Stav::kNahradit;
  ZaznamenatVymenu(setup_, zivy, novy, vydani_);
  VymenitSeZalohou(zivy, zaloha, novy, ponechat, [&](const std::string& obsah) {
    if (stary) return stary(obsah);
    if (!ponechat) NazvatJenVZaloze(obsah, zivy);
    return true;
  });
  if (souhrn_) ++souhrn_->slozek;
}

void ProfilovaAktualizace::VymenitUpravy(const std::string& zivy, const std::string& zaloha,
                                         const std::string& novy, std::int32_t krok,
                                         const ss::VidenyStrom& videno) {
  const std::string kratce = "../" + nazevSetupu_ + "/";
  OdlozitZalohuNavratu(setup_, zivy, zaloha);
  Vymenit(zivy, zaloha, novy, kratce + "Upravy_old", krok, kratce + "Upravy", krok + 1,
          [&](const std::string& stary) {
            // A carry that failed leaves an error for the run's end: the update itself is
            // complete, but not all that users did meanwhile reached it.
            if (DorovnatSlozku(stary, zivy, videno)) return true;
            neprenesene_ = true;
            return false;
          });
}

bool ProfilovaAktualizace::Provest() {
  const bool setup14 = KonciNa(setup_, "14/");
  nazevSetupu_ = setup14 ? "Setup14" : "Setup";
  nazevUprav_ = setup14 ? "Upravy14" : "Upravy";
  const std::string kratce = "../" + nazevSetupu_ + "/";

  const std::string program = setup_ + "Merko/";
  if (!ExistujeSlozka(program)) {
    AktualniPolozka = program;
    VytvoritSlozku(program, true);
    AktualniPolozka.clear();
  }
  // A record of an unfinished update means that some folder may still be old, whatever
  // the program folder's release says.
  const std::string predchozi = CistIni(program + "Merko.ini", "Merko", "Release");
  aktualni_ = StejnyText(predchozi, vydani_) && !JeNedokoncena(setup_);
  if (aktualni_) {
    ZobrazPrubeh("Příprava aktualizace", "Instalační složka je aktuální", 100, 100, 0, true, false);
    // Where someone watches, the message stays for a while; nobody waits for it unattended.
    if (!RezimSystem) Pockat(4);
  }

  // Held open from before anything is built, so that the flush before the swaps reports
  // every failed write of the building.
  const ss::DrzenySystem disk(BezLomitka(setup_)), diskSdilene(BezLomitka(sdilena_));
  std::string novyProgram, novaSdilena;
  // A folder that an unfinished update of this release swapped already is not built again:
  // its backup holds what was there before, the only copy of what the snapshot lacks.
  const bool programem = !aktualni_ && StavSlozky(program) != Stav::kHotovo;
  // The shared components' snapshot comes while the program folder is renewed.
  const bool sdilenou = !sdilena_.empty() && !aktualni_ && StavSlozky(sdilena_) != Stav::kHotovo;
  const std::string serverSdilene = CistIni(ini_, "Merko", "Url") + "SetupCommon/";
  std::optional<PredstihSnapshotu> snapshotSdilene;
  if (programem) {
    ZobrazPrubeh("Aktualizace Dunmor Merko", "Příprava...", 0, 100, 50, true, false);
    const std::string server = CistIni(ini_, "Merko", "Url") + nazevSetupu_ + "/";
    novyProgram = Nova(setup_ + "Merko");
    if (!RezimSystem) Pockat(4);
    Ui().Minimalizovat();
    if (sdilenou) snapshotSdilene.emplace(temp_, serverSdilene);
    AktualizaceAplikace(temp_, server, setup_, novyProgram, {program},
                        Soucet("Merko", setup14 ? "Sha256Setup14" : "Sha256Setup"), nullptr,
                        snapshotSdilene ? &*snapshotSdilene : nullptr,
                        Delty("Merko", setup14 ? "Sha256DeltySetup14" : "Sha256DeltySetup"),
                        souhrn_);
  }
  if (sdilenou) {
    ZobrazPrubeh("Aktualizace sdílených komponent Dunmor Merko", "Příprava...", 0, 100, 50, true,
                 false);
    novaSdilena = Nova(BezLomitka(sdilena_));
    if (!RezimSystem) Pockat(4);
    Ui().Minimalizovat();
    AktualizaceAplikace(temp_, serverSdilene, sdilena_, novaSdilena, {},
                        Soucet("Merko", "Sha256SetupCommon"),
                        snapshotSdilene ? &*snapshotSdilene : nullptr, nullptr,
                        Delty("Merko", "Sha256DeltySetupCommon"), souhrn_);
    snapshotSdilene.reset();
  }

  ZobrazPrubeh("Aktualizace úpravy", "Příprava...", 100, 100, -1, true, false);
  profilovySetup_ =
      ExistujeSlozka(profil_ + nazevSetupu_ + "/") ? profil_ + nazevSetupu_ + "/" : "";
  profiloveUpravy_ = profilovySetup_.empty() ? "" : profilovySetup_ + "Upravy/";
  const std::string upravy = setup_ + "Upravy/";
  if (ExistujeSlozka(upravy) || (!profiloveUpravy_.empty() && ExistujeSlozka(profiloveUpravy_))) {
    if (ExistujeSlozka(upravy) && StavSlozky(upravy) != Stav::kHotovo) {
      noveUpravy_ = Nova(setup_ + "Upravy");
      SbiratPolozky(upravy, noveUpravy_, setup_);
    }
    if (!profiloveUpravy_.empty() && ExistujeSlozka(profiloveUpravy_) &&
        !ss::TenSamyObjekt(profiloveUpravy_, upravy)) {
      if (StavSlozky(profiloveUpravy_) != Stav::kHotovo) {
        noveProfiloveUpravy_ = Nova(profilovySetup_ + "Upravy");
        SbiratPolozky(profiloveUpravy_, noveProfiloveUpravy_, profilovySetup_);
      }
    } else {
      profilovySetup_.clear();
      profiloveUpravy_.clear();
    }
    const int n = static_cast<int>(polozky_.Pocet());
    int k = 0;
    for (const auto& p : polozky_)
      ObnovitPolozku(*p.hodnota, ++k, n);
  }

  // The package's top-level files land in the setup folder itself: the ones they replace
  // are kept first, in a folder that becomes "Soubory_old" beside the program's backup,
  // unless an unfinished update kept them already.
  std::vector<std::string> soubory;
  std::string zalohaSouboru;
  if (programem) {
    soubory = Soubory(novyProgram);
    if (!soubory.empty() && StavSlozky(setup_ + kZalohaSouboru) == Stav::kObnovit) {
      zalohaSouboru = Nova(setup_ + "Merko");
      for (const std::string& jmeno : soubory) {
        struct stat st {};
        if (::lstat((setup_ + jmeno).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        AktualniPolozka = setup_ + jmeno + "->" + zalohaSouboru + jmeno;
        KopirovatSoubor(setup_ + jmeno, zalohaSouboru + jmeno, true);
        AktualniPolozka.clear();
      }
    }
  }
  ZobrazPrubeh("Kopírování nových souborů", "", 0, 100, 100, false, false);
  // Everything of a live customisation that was not renewed goes into the new one before
  // any live folder changes, so that a merge that fails leaves them all as they were and
  // the backup is never the only place of anything. It is the last step before the flush,
  // and the customisations are the first folders swapped: users go on working in them.
  for (auto [zivy, novy, videno] :
       {std::tuple{&upravy, &noveUpravy_, &videnoUprav_},
        {&profiloveUpravy_, &noveProfiloveUpravy_, &videnoProfilovychUprav_}}) {
    if (zivy == &upravy ? !obnovenySetup_ : !obnovenyProfil_) continue;
    AktualniPolozka = *zivy + "->" + *novy;
    DoplnitSlozku(*zivy, *novy, videno);
    AktualniPolozka.clear();
  }
  // A run past its time changes nothing live.
  Http().OveritLhutuBehu();
  // Everything built so far reaches the disk before any live folder is touched; a write
  // that failed on its way there leaves every live folder as it is.
  for (const ss::DrzenySystem* d : {&disk, &diskSdilene})
    if (ss::Vysledek v = d->Zapsat(); !v.Uspech())
      VyvolatChybu(
          "Nové soubory se nepodařilo zapsat na disk, proto nebyla vyměněna žádná "
          "složka: " +
          v.popis);
  // The site vouches for the release it announces, not for what its packages hold: a new
  // program folder of another release (or none) takes no live folder's place.
  if (programem) {
    const std::string prinesene(
        Orezat(CistIni(novyProgram + "Merko/Merko.ini", "Merko", "Release"), " \t"));
    if (!StejnyText(prinesene, vydani_))
      VyvolatChybu("Web ohlásil vydání " + vydani_ + ", ale jeho balíčky obsahují vydání " +
                   (prinesene.empty() ? std::string("žádné") : OcistitText(prinesene, 64, false)) +
                   "; nic nebylo vyměněno.");
  }
  const bool zmenaUprav = obnovenySetup_ || obnovenyProfil_;
  // From the record of the unfinished update to its removal a stop waits for the swaps.
  VymenyBezPreruseni vymeny;
  if (!aktualni_ || zmenaUprav)
    ZapsatNedokoncenou(setup_, vydani_, predchozi, CistIni(ini_, "Merko", "ReleaseZmenyDat"));
  // The customisations right after the flush of their merge; whatever users changed in
  // the live ones meanwhile follows them into the new ones.
  if (obnovenySetup_) VymenitUpravy(upravy, setup_ + "Upravy_old/", noveUpravy_, 4, videnoUprav_);
  if (obnovenyProfil_)
    VymenitUpravy(profiloveUpravy_, profilovySetup_ + "Upravy_old/", noveProfiloveUpravy_, 6,
                  videnoProfilovychUprav_);
  if (programem) {
    // What each file will be, for a way back that must tell which it exchanged already.
    std::vector<std::pair<std::string, std::string>> soucty;
    for (const std::string& jmeno : soubory) {
      ZobrazPrubeh("", jmeno, 1, 8, -1, false, false);
      soucty.emplace_back(jmeno, Sha256Souboru(novyProgram + jmeno).value_or(""));
    }
    if (!soucty.empty()) ZaznamenatSoubory(setup_, soucty);
    if (!zalohaSouboru.empty()) {
      ZaznamenatVymenu(setup_, setup_ + kZalohaSouboru, zalohaSouboru, vydani_);
      VymenitSeZalohou(setup_ + kZalohaSouboru, "", zalohaSouboru, true);
    }
    // Each file takes its place in one step, from the new folder already on the disk.
    for (const std::string& jmeno : soubory) {
      AktualniPolozka = novyProgram + jmeno + "->" + setup_ + jmeno;
      if (!ss::NahraditSouborem(novyProgram + jmeno, setup_ + jmeno).Uspech())
        KopirovatSoubor(novyProgram + jmeno, setup_ + jmeno, true);
      AktualniPolozka.clear();
    }
    if (!soubory.empty())
      if (ss::Vysledek v = ss::ZapsatSlozkuNaDisk(BezLomitka(setup_)); !v.Uspech())
        VyvolatChybu("Nové soubory složky " + setup_ + " se nepodařilo zapsat na disk: " + v.popis);
    Vymenit(program, setup_ + "Merko_old/", novyProgram + "Merko/", kratce + "Merko_old", 2,
            kratce + "Merko", 3);
  }
  if (sdilenou)
    Vymenit(sdilena_, ZalohaSdilene(profil_, sdilena_), novaSdilena, "../SetupCommon", 2,
            "../SetupCommon", 3);

  if (!nicNeaktualizovano_) {
    if (ExistujeSoubor(program + "Merko.ini") && !profilovySetup_.empty() &&
        ExistujeSlozka(profilovySetup_))
      KopirovatSoubor(program + "Merko.ini", profilovySetup_ + "Merko.ini", true);
    ZobrazPrubeh("", "", 8, 8, -1, false, true);
  }
  SmazatZaznamNedokoncene(setup_);
  if (vymeny.Dokonceno()) ZapsatDoLogu(kPrenosovyLog, kStopPozde);
  if (neprenesene_)
    VyvolatChybu(
        "Aktualizace byla provedena, ale změny, které uživatelé mezitím udělali ve složce úprav, "
        "se nepodařilo všechny přenést; zůstávají ve staré verzi složky (viz Zevlon.log).");
  ZobrazPrubeh("", "Dokončeno", 100, 100, 0, false, true);
  return true;
}

}  // namespace

bool AktualizaceProfilu(const std::string& slozkaProfilu, const std::string& slozkaSetupu,
                        const std::string& vydani, const std::string& docasnaSlozka,
                        const std::string& iniAktualizace, const std::string& nazevBehu,
                        const std::string& sdilenaSlozka, const NastaveniOvereni& overeni,
                        SouhrnObnovy* souhrn) {
  return PodZdrojem("mMain::AktualizaceProfilu", [&] {
    return ProfilovaAktualizace(slozkaProfilu, slozkaSetupu, vydani, docasnaSlozka, iniAktualizace,
                                nazevBehu, sdilenaSlozka, overeni, souhrn)
        .Provest();
  });
}

}  // namespace zevlon
