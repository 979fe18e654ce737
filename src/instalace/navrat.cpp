#include "instalace/navrat.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "common/chyba.h"
#include "common/text.h"
#include "instalace/vymena.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/rozliseni_cesty.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/znacka_slozky.h"
#include "prenos/podpisy/sha256.h"
#include "prenos/stahovani/informace_vydani.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/rozhrani.h"
#include "rozhrani/stav.h"
#include "soubory/cesty.h"
#include "soubory/duvera.h"
#include "soubory/log.h"
#include "soubory/operace_souboru.h"
#include "soubory/volby.h"
#include "soubory/zamky_slozek.h"

namespace zevlon {

namespace {

constexpr const char* kNicNezmeneno = " Nic nebylo změněno.";
constexpr const char* kSoubory = "Soubory_old/";

[[noreturn]] void Odmitnout(const std::string& duvod) {
  VyvolatChybu("Aktualizaci nelze vrátit: " + duvod + "." + kNicNezmeneno);
}

// The SHA-256 of a plain file, "" when nothing stands there; anything else there, or a
// file that cannot be read, refuses the way back.
std::string Soucet(const std::string& cesta) {
  struct stat st {};
  if (::lstat(cesta.c_str(), &st) != 0 && errno == ENOENT) return {};
  std::optional<std::string> s = S_ISREG(st.st_mode) ? Sha256Souboru(cesta) : std::nullopt;
  if (!s) Odmitnout("soubor " + cesta + " nelze přečíst nebo není obyčejný soubor");
  return *s;
}

// What one setup folder's way back does: the folders and files still to exchange.
struct Plan {
  std::string setup;
  ZaznamAktualizace posledni, zpet;  // the last update, and the way back as it will stand
  struct Polozka {
    std::string zivy, zaloha;
    bool hotovo;
  };
  std::vector<Polozka> slozky, soubory;
  bool Hotovo() const {
    for (const auto* s : {&slozky, &soubory})
      for (const Polozka& p : *s)
        if (!p.hotovo) return false;
    return true;
  }
};

// Whether going back from one release to the other crosses the change of the data
// structure that the record keeps; a record without it counts as one.
bool PresZmenuDat(const ZaznamAktualizace& z) {
  if (!z.zmenaDat) return true;
  if (z.zmenaDat->empty()) return false;
  const std::string& nizsi = PorovnatVydani(z.vydani, z.predchozi) < 0 ? z.vydani : z.predchozi;
  return PorovnatVydani(nizsi, *z.zmenaDat) < 0;
}

// The plan for one setup folder from its record of the last update, checked against what
// lies there; `dokoncit` accepts folders and files that a stopped way back exchanged
// already. Changes nothing.
Plan Naplanovat(const std::string& profil, const std::string& setup, const std::string& sdilena,
                bool dokoncit) {
  Plan p;
  p.setup = setup;
  p.posledni = CistZaznamAktualizace(setup, kZaznamPosledni);
  const ZaznamAktualizace& z = p.posledni;
  if (z.predchozi.empty() || z.vydani.empty())
    Odmitnout("záznam " + setup + kZaznamPosledni + " neuvádí obě vydání");
  p.zpet.vydani = z.predchozi;
  p.zpet.predchozi = z.vydani;
  p.zpet.zmenaDat = z.zmenaDat;
  p.zpet.navrat = true;
  // Undone in the reverse order, the shared folder (maybe on a file system of its own) first.
  for (auto v = z.vymeny.rbegin(); v != z.vymeny.rend(); ++v) {
    const std::string zivy = v->slozka + "/";
    // Only the folders an update of this setup folder swaps, whatever the record says.
    const std::string mozne[] = {setup + "Merko/",         setup + "Upravy/",
                                 setup + kSoubory,         sdilena,
                                 profil + "Setup/Upravy/", profil + "Setup14/Upravy/"};
    if (std::find(std::begin(mozne), std::end(mozne), zivy) == std::end(mozne))
      Odmitnout("záznam poslední aktualizace uvádí složku " + zivy + ", kterou aktualizace nemění");
    if (v->znacka.empty()) Odmitnout("záznam poslední aktualizace neuvádí značku složky " + zivy);
    const std::string znacka = CistZnacku(zivy).znacka;
    p.zpet.vymeny.push_back({v->slozka, v->znackaZalohy, v->znacka, "", z.predchozi, "", ""});
    if (zivy == setup + kSoubory) {  // the kept top-level files: exchanged file by file
      if (znacka != v->znacka)
        Odmitnout("záloha souborů " + zivy + " chybí nebo není ta z aktualizace");
      p.zpet.vymeny.back() = *v;
      continue;
    }
    const std::string zaloha =
        zivy == sdilena ? ZalohaSdilene(profil, sdilena) : v->slozka + "_old/";
    if (!ExistujeSlozka(zaloha)) Odmitnout("záloha " + zaloha + " chybí");
    const std::string znackaZalohy = CistZnacku(zaloha).znacka;
    if (znacka == v->znacka && znackaZalohy == v->znackaZalohy && !znacka.empty())
      p.slozky.push_back({zivy, zaloha, false});
    else if (dokoncit && znacka == v->znackaZalohy && znackaZalohy == v->znacka)
      p.slozky.push_back({zivy, zaloha, true});
    else if (znackaZalohy.empty() || (znackaZalohy != v->znackaZalohy && znackaZalohy != v->znacka))
      Odmitnout("záloha " + zaloha + " není ta, kterou uvádí záznam poslední aktualizace");
    else
      Odmitnout("složka " + zivy + " není ta, kterou přinesla poslední aktualizace");
  }
  for (const auto& [jmeno, soucet] : z.soubory) {
    if (jmeno.empty() || jmeno.find('/') != std::string::npos || jmeno == "." || jmeno == "..")
      Odmitnout("záznam poslední aktualizace uvádí neplatný soubor " + jmeno);
    const std::string zivy = setup + jmeno, zaloha = setup + kSoubory + jmeno;
    const std::string ted = Soucet(zivy), vZaloze = Soucet(zaloha);
    if (ted == soucet) {
      p.soubory.push_back({zivy, zaloha, false});
      p.zpet.soubory.emplace_back(jmeno, vZaloze);
    } else if (dokoncit && vZaloze == soucet) {
      p.soubory.push_back({zivy, zaloha, true});
      p.zpet.soubory.emplace_back(jmeno, ted);
    } else {
      Odmitnout("soubor " + zivy + " se od poslední aktualizace změnil");
    }
  }
  return p;
}

// A folder's entries on the disk; raises the failure.
void NaDisk(const std::string& slozka) {
  if (ss::Vysledek v = ss::ZapsatSlozkuNaDisk(BezLomitka(slozka)); !v.Uspech())
    VyvolatChybu("Vrácení složky " + slozka + " se nepodařilo zapsat na disk: " + v.popis);
}

std::string Rodic(const std::string& cesta) {
  std::string rodic, jmeno;
  RozdelitCestu(BezLomitka(cesta), rodic, jmeno);
  return rodic;
}

// Removes the refusal of the setup folder, flushed; raises what failed.
void SmazatOdmitnuti(const std::string& setup) {
  ss::Vysledek v = ss::SmazatSoubor(setup + kZaznamOdmitnuti);
  if (v.Uspech()) v = ss::ZapsatSlozkuNaDisk(BezLomitka(setup));
  if (!v.Uspech() && v.kod != kod::kSouborNenalezen && v.kod != kod::kCestaNenalezena) {
    AktualniPolozka = setup + kZaznamOdmitnuti;
    VyvolatChybu("Odmítnutí vydání " + setup + kZaznamOdmitnuti +
                 " se nepodařilo odstranit: " + v.popis);
  }
}

// Going back from a release refuses it; going forward again to it lifts the refusal. A
// release whose check failed (`vzdy`) is refused whichever way it went.
void Odmitnout(const ZaznamAktualizace& zpet, const std::string& setup, bool vzdy) {
  if (!vzdy && PorovnatVydani(zpet.predchozi, zpet.vydani) <= 0) return SmazatOdmitnuti(setup);
  const std::string cesta = setup + kZaznamOdmitnuti;
  int e = ZapsatSouborAtomicky(cesta, "[Merko]\r\nRelease=" + zpet.predchozi + "\r\n");
  const ss::Vysledek v = e ? ss::ChybaSystemu(e, cesta) : ss::ZapsatSlozkuNaDisk(BezLomitka(setup));
  if (!v.Uspech()) {
    AktualniPolozka = cesta;
    VyvolatChybu("Odmítnutí vydání " + zpet.predchozi + " se nepodařilo zapsat: " + v.popis);
  }
}

// Carries out the plan: the record of the way back first, then each exchange, made lasting
// before the next, then the refusal of the release gone back from, then the record of the
// last update describing the way back.
void Provest(const Plan& p, const std::string& profil, bool odmitnout = false) {
  const bool zmeneno = !std::all_of(p.slozky.begin(), p.slozky.end(),
                                    [](const Plan::Polozka& x) { return !x.hotovo; });
  ZapsatZaznamAktualizace(p.setup, p.zpet);
  bool vymeneno = zmeneno;
  for (const Plan::Polozka& s : p.slozky) {
    if (s.hotovo) continue;
    ZobrazPrubeh("", BezLomitka(s.zivy), 0, 0, -1, false, false);
    if (ss::Vysledek v = ss::VymenitSlozky(s.zaloha, s.zivy); !v.Uspech()) {
      // Nothing exchanged yet: the record of the way back goes, and nothing has changed.
      if (!vymeneno && ss::SmazatSoubor(p.setup + kZaznamNedokoncene).Uspech())
        (void)ss::ZapsatSlozkuNaDisk(BezLomitka(p.setup));
      AktualniPolozka = s.zivy;
      VyvolatChybu("Složku " + s.zivy + " se nepodařilo vyměnit se zálohou " + s.zaloha + ": " +
                   v.popis + (vymeneno ? "" : std::string(kNicNezmeneno)));
    }
    vymeneno = true;
    NaDisk(Rodic(s.zivy));
    if (Rodic(s.zaloha) != Rodic(s.zivy)) NaDisk(Rodic(s.zaloha));
  }
  for (const Plan::Polozka& s : p.soubory) {
    if (s.hotovo) continue;
    struct stat st {};
    const bool zivy = ::lstat(s.zivy.c_str(), &st) == 0,
               zaloha = ::lstat(s.zaloha.c_str(), &st) == 0;
    const ss::Vysledek v = zivy && zaloha ? ss::VymenitSlozky(s.zaloha, s.zivy)
                           : zivy         ? ss::Presunout(s.zivy, s.zaloha)
                           : zaloha       ? ss::Presunout(s.zaloha, s.zivy)
                                          : ss::Vysledek{};
    if (!v.Uspech()) {
      AktualniPolozka = s.zivy;
      VyvolatChybu("Soubor " + s.zivy + " se nepodařilo vyměnit se zálohou " + s.zaloha + ": " +
                   v.popis);
    }
  }
  if (!p.soubory.empty()) {
    NaDisk(p.setup + kSoubory);
    NaDisk(p.setup);
  }
  // The profile's own setup folder, where it is another than this one, carries the release
  // of the program folder, as an update leaves it.
  std::string rodic, jmeno;
  RozdelitCestu(BezLomitka(p.setup), rodic, jmeno);
  const std::string profilovy = profil + jmeno + "/";
  if (!ss::TenSamyObjekt(profilovy, p.setup) && ExistujeSoubor(profilovy + "Merko.ini") &&
      ExistujeSoubor(p.setup + "Merko/Merko.ini"))
    KopirovatSoubor(p.setup + "Merko/Merko.ini", profilovy + "Merko.ini", !RezimSystem);
  Odmitnout(p.zpet, p.setup, odmitnout);
  SmazatZaznamNedokoncene(p.setup);
}

// The plans of the profile's setup folders that have a last update to undo (or, with
// `dokoncit`, a way back to complete). Changes nothing.
std::vector<Plan> Naplanovat(const std::string& profil, const SlozkySetupu& s, bool dokoncit) {
  std::vector<Plan> plany;
  for (const std::string* setup : {&s.setup, &s.setup14}) {
    if (!ExistujeSlozka(*setup)) continue;
    const bool nedokoncena = JeNedokoncena(*setup);
    const bool navrat = nedokoncena && CistZaznamAktualizace(*setup, kZaznamNedokoncene).navrat;
    if (dokoncit && !navrat) continue;
    if (nedokoncena && !navrat)
      Odmitnout("aktualizace ve složce " + *setup + " není dokončena; dokončí ji příští běh");
    if (!ExistujeSoubor(*setup + kZaznamPosledni)) continue;
    plany.push_back(Naplanovat(profil, *setup, s.sdilena, navrat));
  }
  return plany;
}

// Asks, where someone can answer, naming what goes back to what; unattended, only a way
// back confirmed ahead goes on.
void Potvrdit(const std::string& profil, const std::vector<Plan>& plany, bool ano) {
  if (ano) return;
  if (RezimSystem)
    VyvolatChybu(std::string("Vrácení aktualizace bez obsluhy je třeba potvrdit volbou --ano.") +
                 kNicNezmeneno);
  const ZaznamAktualizace& z = plany.front().posledni;
  std::string text =
      "Vrátit profil " + profil + " z vydání " + z.vydani + " na vydání " + z.predchozi + "?\r\n";
  for (const Plan& p : plany) {
    for (const Plan::Polozka& s : p.slozky)
      text += "\r\n" + s.zivy + " ↔ " + s.zaloha;
    if (!p.soubory.empty()) text += "\r\nsoubory složky " + p.setup + " ↔ " + p.setup + kSoubory;
  }
  constexpr int kVychoziNe = 256;  // the second button is the default
  if (ZobrazZpravu(text, mb::kAnoNe | mb::kOtaznik | kVychoziNe, kTitulekAktualizace) != mb::kIdAno)
    throw Chyba(kChybaZruseno, kTextZruseno);
}

}  // namespace

std::string OdmitnuteVydani(const SlozkySetupu& slozky) {
  std::string nejvyssi;
  for (const std::string* setup : {&slozky.setup, &slozky.setup14}) {
    const std::string r(Orezat(CistIni(*setup + kZaznamOdmitnuti, "Merko", "Release"), " \t"));
    if (!r.empty() && (nejvyssi.empty() || PorovnatVydani(r, nejvyssi) > 0)) nejvyssi = r;
  }
  return nejvyssi;
}

std::string ZrusitOdmitnutiVydani(const std::string& profil) {
  // A profile that is not there refuses nothing.
  const ss::Rozliseni r = ss::RozlisitCestu(BezLomitka(profil), ::geteuid());
  if (!r.existuje && r.odmitnutyOdkaz.empty() && r.chyba.Uspech()) return {};
  const SlozkySetupu slozky = NajitSlozkySetupu(profil);
  // As the way back: nothing is read or removed through another user's folder or link.
  OveritSlozkyProfilu(profil, KontrolovaneSlozky(profil, slozky), platforma().ZaVlastnika());
  const std::string odmitnute = OdmitnuteVydani(slozky);
  for (const std::string* setup : {&slozky.setup, &slozky.setup14})
    if (ExistujeSlozka(*setup)) SmazatOdmitnuti(*setup);
  return odmitnute;
}

std::string VratitHned(const std::string& profil, const SlozkySetupu& slozky) {
  const std::vector<Plan> plany = Naplanovat(profil, slozky, false);
  if (plany.empty()) Odmitnout("profil " + profil + " nemá záznam poslední aktualizace");
  for (const Plan& p : plany)
    Provest(p, profil, true);
  return plany.front().posledni.predchozi;
}

bool DokoncitNavrat(const std::string& profil, const SlozkySetupu& slozky) {
  std::vector<Plan> plany = Naplanovat(profil, slozky, true);
  for (const Plan& p : plany)
    Provest(p, profil);
  if (!plany.empty())
    ZapsatDoLogu(kPrenosovyLog, "Vrácení aktualizace profilu " + profil +
                                    ", které přerušený běh nedokončil, bylo dokončeno.");
  return !plany.empty();
}

bool NavratSetupDunmor(const std::string& ini, const PredaniVlastnikovi& predat,
                       SouhrnObnovy* souhrn) {
  return PodZdrojem("mMain::NavratSetupDunmor", [&] {
    const std::string profil = CistIni(ini, "Merko", "SlozkaProfilu");
    if (const uid_t vlastnik = KdoAktualizuje(profil); vlastnik != ::geteuid()) {
      SouhrnObnovy bez;
      if (!predat) VyvolatChybu("Profil " + profil + " nepatří uživateli, který program spustil.");
      return predat(vlastnik, ini, souhrn ? *souhrn : bez);
    }
    const SlozkySetupu slozky = NajitSlozkySetupu(profil);
    OveritSlozkyProfilu(profil, KontrolovaneSlozky(profil, slozky), platforma().ZaVlastnika());
    ZamkySlozek zamky;
    std::vector<std::string> zamknout{slozky.sdilena};
    for (const std::string& sl :
         {slozky.setup, slozky.setup14, slozky.setup + "Upravy/", slozky.setup14 + "Upravy/",
          profil + "Setup/Upravy/", profil + "Setup14/Upravy/"})
      if (ExistujeSlozka(sl) || ExistujeSlozka(BezLomitka(sl) + "_old/")) zamknout.push_back(sl);
    zamky.Zamknout(zamknout);

    std::vector<Plan> plany = Naplanovat(profil, slozky, false);
    if (plany.empty())
      VyvolatChybu("Profil " + profil + " nemá záznam poslední aktualizace, kterou by šlo vrátit." +
                   kNicNezmeneno);
    const ZaznamAktualizace& z = plany.front().posledni;
    if (CistIni(ini, kSekceNavratu, kKlicPresZmenuDat) != "1")
      for (const Plan& p : plany)
        if (PresZmenuDat(p.posledni))
          VyvolatChybu("Mezi vydáními " + z.predchozi + " a " + z.vydani +
                       " se mohla změnit datová struktura (ReleaseZmenyDat " +
                       p.posledni.zmenaDat.value_or("neuvedeno") +
                       "), vrácení je možné jen s volbou --i-pres-zmenu-dat." + kNicNezmeneno);
    Potvrdit(profil, plany, CistIni(ini, kSekceNavratu, kKlicAno) == "1");
    VymenyBezPreruseni vymeny;
    int slozek = 0;
    for (const Plan& p : plany) {
      Provest(p, profil);
      slozek += static_cast<int>(p.slozky.size());
    }
    if (vymeny.Dokonceno()) ZapsatDoLogu(kPrenosovyLog, kStopPozde);
    ZapsatDoLogu(kPrenosovyLog, "Profil " + profil + " byl vrácen z vydání " + z.vydani +
                                    " na vydání " + z.predchozi + ".");
    if (souhrn) {
      souhrn->vydaniPred = z.vydani;
      souhrn->vydaniPo = z.predchozi;
      souhrn->slozek = slozek;
    }
    return true;
  });
}

}  // namespace zevlon
