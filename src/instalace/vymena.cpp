#include "instalace/vymena.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "common/chyba.h"
#include "platform/nahrady/ini.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/znacka_slozky.h"
#include "prenos/stahovani/informace_vydani.h"
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

// A swap is done only once the folder holding the live folder has it on the disk.
void TrvaleVymeneno(const std::string& zivy) {
  std::string rodic, jmeno;
  RozdelitCestu(BezLomitka(zivy), rodic, jmeno);
  if (ss::Vysledek v = ss::ZapsatSlozkuNaDisk(BezLomitka(rodic)); !v.Uspech())
    throw Chyba(kChybaUzivatele,
                "Výměnu složky " + zivy + " se nepodařilo zapsat na disk: " + v.popis,
                "mPomucky::PrejmenovatSlozku");
}

// What was live (`vytlaceno`) after the new folder took its place: deleted, unless `stary`
// says it must stay; then it is kept beside the live folder as "<folder>_neprenesene".
void ZbavitSeVytlaceneho(const std::string& zivy, const std::string& vytlaceno,
                         const std::function<bool(const std::string&)>& stary) {
  if (!stary || stary(vytlaceno)) {
    SmazatSlozku(BezLomitka(vytlaceno), false);
    return;
  }
  const std::string kam = BezLomitka(zivy) + "_neprenesene";
  if (!NecoTamJe(kam) && ss::Presunout(vytlaceno, kam).Uspech())
    ZapsatDoLogu(kPrenosovyLog, "Původní obsah složky " + zivy + " zůstává ve složce " + kam + ".");
  else
    ZapsatDoLogu(kPrenosovyLog, "Původní obsah složky " + zivy + " zůstává ve složce " +
                                    BezLomitka(vytlaceno) + ".");
}

// The new folder takes the live one's place; what was live is deleted, the backup stays.
void NahraditObsah(const std::string& zivy, const std::string& novy,
                   const std::function<bool(const std::string&)>& stary) {
  ss::Vysledek v = ss::VymenitSlozky(novy, zivy);
  if (!v.Uspech()) {
    if (v.kod != EINVAL) ChybaPrejmenovani(zivy);
    // Two renames: a stop between them leaves the live folder missing and its backup (the
    // content from before the unfinished update) is put back by the next run.
    const std::string vytlaceno = BezLomitka(novy) + "_vytlaceno/";
    if (!ss::Presunout(zivy, vytlaceno).Uspech()) ChybaPrejmenovani(zivy);
    if (!ss::Presunout(novy, zivy).Uspech()) {
      (void)ss::Presunout(vytlaceno, zivy);
      ChybaPrejmenovani(novy);
    }
    TrvaleVymeneno(zivy);
    ZbavitSeVytlaceneho(zivy, vytlaceno, stary);
    return;
  }
  TrvaleVymeneno(zivy);
  ZbavitSeVytlaceneho(zivy, novy, stary);  // now the displaced content
}

}  // namespace

void VymenitSeZalohou(const std::string& zivy, const std::string& zaloha, const std::string& novy,
                      bool ponechatZalohu, const std::function<bool(const std::string&)>& stary) {
  // Only the run's own new folder takes a live folder's place (a folder of the user the run
  // acts as, never a link laid under its name), and only once it is there is a backup
  // deleted.
  struct stat st {};
  if (::lstat(BezLomitka(novy).c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
      st.st_uid != ::geteuid())
    ChybaPrejmenovani(novy);
  if (!ExistujeSlozka(zivy)) {
    PrejmenovatSlozku(novy, zivy);
    TrvaleVymeneno(zivy);
    return;
  }
  if (ponechatZalohu) {
    NahraditObsah(zivy, novy, stary);
    return;
  }
  if (ExistujeSlozka(zaloha)) SmazatSlozku(BezLomitka(zaloha), !RezimSystem);
  // The backup's place must be free before the live folder changes at all.
  if (NecoTamJe(zaloha)) ChybaPrejmenovani(zivy);
  // The new content waits under the backup's name, then the two folders trade places in
  // one step. Whenever the run stops, the live folder is whole (old or new), and the old
  // content never lies under a name that a clean-up deletes.
  if (!ss::Presunout(novy, zaloha).Uspech()) ChybaPrejmenovani(novy);
  ss::Vysledek v = ss::VymenitSlozky(zaloha, zivy);
  if (!v.Uspech()) {
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
  TrvaleVymeneno(zivy);
  if (stary) stary(zaloha);
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

namespace {

// A folder that a finishing run of a newer release swaps again names that run's sibling
// beside (`znackaNova`, `vydaniNove`) until it is swapped, so that the mark the live folder
// carries is named whenever the run stops. A record of the older form names the sibling by
// "device:inode" instead.
using Vymena = VymenaVZaznamu;
using Zaznam = ZaznamAktualizace;

std::string Uzel(const std::string& cesta) {
  struct stat st {};
  if (::lstat(BezLomitka(cesta).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

Zaznam CistZaznam(const std::string& slozkaSetupu, const char* jmeno = kZaznamNedokoncene) {
  const std::string cesta = slozkaSetupu + jmeno;
  Zaznam z;
  z.vydani = ini::CistKlic(cesta, "Merko", "Release").value_or("");
  z.predchozi = ini::CistKlic(cesta, "Merko", "Predchozi").value_or("");
  z.zmenaDat = ini::CistKlic(cesta, "Merko", "ReleaseZmenyDat");
  z.navrat = ini::CistKlic(cesta, "Merko", "Navrat").value_or("") == "1";
  z.kontrola = ini::CistKlic(cesta, "Merko", "Kontrola").value_or("") == "1";
  for (int i = 1;; ++i) {
    const std::string n = std::to_string(i);
    auto soubor = ini::CistKlic(cesta, "Soubory", "Soubor" + n);
    if (!soubor) break;
    z.soubory.emplace_back(*soubor, ini::CistKlic(cesta, "Soubory", "Sha256" + n).value_or(""));
  }
  for (int i = 1;; ++i) {
    const std::string n = std::to_string(i);
    auto slozka = ini::CistKlic(cesta, "Vymeneno", "Slozka" + n);
    if (!slozka) break;
    const auto klic = [&](const char* k) {
      return ini::CistKlic(cesta, "Vymeneno", k + n).value_or("");
    };
    z.vymeny.push_back({*slozka, klic("Znacka"), klic("ZnackaZalohy"), klic("Uzel"), klic("Vydani"),
                        klic("ZnackaNova"), klic("VydaniNove")});
  }
  return z;
}

// Whether the live folder is still a sibling that the unfinished update put in its place;
// the release it brought goes to *vydani, the mark it carries to *znacka.
enum class Identita { kNevymenena, kVymenena, kNelze };
Identita Rozhodnout(const Vymena& v, const std::string& zivy, const std::string& zaznam,
                    std::string* duvod, std::string* vydani = nullptr,
                    std::string* znacka = nullptr) {
  const std::string uzel = Uzel(zivy);
  if (uzel.empty()) return Identita::kNevymenena;  // no folder there at all
  if (!v.znacka.empty()) {
    const ZnackaSlozky m = CistZnacku(zivy);
    for (const auto& [z, r] : {std::pair{&v.znacka, &v.vydani}, {&v.znackaNova, &v.vydaniNove}})
      if (!z->empty() && m.znacka == *z) {
        if (vydani) *vydani = *r;
        if (znacka) *znacka = *z;
        return Identita::kVymenena;
      }
    if (!m.znacka.empty() && m.znacka == v.znackaZalohy) return Identita::kNevymenena;
    if (!m.duvod.empty())
      *duvod = "její značku nelze přečíst: " + m.duvod;
    else if (m.znacka.empty())
      *duvod = std::string("nemá značku ") + kZnackaSlozky + ", kterou jí dal záznam " + zaznam;
    else
      *duvod = std::string("její značka ") + kZnackaSlozky +
               " není žádná z těch, které uvádí záznam " + zaznam;
    return Identita::kNelze;
  }
  // The older form: a device and inode. On another device (the disk attached anew, another
  // order of disks at boot) nothing tells whether it is the folder swapped in.
  const std::string zarizeni = v.uzel.substr(0, v.uzel.find(':'));
  if (!v.uzel.empty() && zarizeni == uzel.substr(0, uzel.find(':'))) {
    if (v.uzel != uzel) return Identita::kNevymenena;
    if (vydani) *vydani = v.vydani;
    return Identita::kVymenena;
  }
  *duvod = "její záznam " + zaznam + " ji uvádí na zařízení " +
           (zarizeni.empty() ? std::string("žádném") : zarizeni) + ", nyní leží na zařízení " +
           uzel.substr(0, uzel.find(':'));
  return Identita::kNelze;
}

// The mark a folder has, given to it first when it has none; raises what failed.
std::string Oznacena(const std::string& slozka, bool nova) {
  if (!nova)
    if (ZnackaSlozky m = CistZnacku(slozka); !m.znacka.empty()) return m.znacka;
  std::string chyba;
  std::string znacka = OznacitSlozku(slozka, &chyba);
  if (znacka.empty()) {
    AktualniPolozka = BezLomitka(slozka) + "/" + kZnackaSlozky;
    VyvolatChybu("Značku složky " + BezLomitka(slozka) +
                 " se nepodařilo zapsat, proto nebyla vyměněna: " + chyba);
  }
  return znacka;
}

// Writes a record whole under its name and makes it lasting, with its folder.
void ZapsatZaznam(const std::string& slozkaSetupu, const Zaznam& z,
                  const char* jmeno = kZaznamNedokoncene) {
  const std::string cesta = slozkaSetupu + jmeno;
  std::string text = "[Merko]\r\nRelease=" + z.vydani + "\r\nPredchozi=" + z.predchozi + "\r\n";
  if (z.zmenaDat) text += "ReleaseZmenyDat=" + *z.zmenaDat + "\r\n";
  if (z.navrat) text += "Navrat=1\r\n";
  if (z.kontrola) text += "Kontrola=1\r\n";
  if (!z.soubory.empty()) text += "[Soubory]\r\n";
  for (std::size_t i = 0; i < z.soubory.size(); ++i)
    text += "Soubor" + std::to_string(i + 1) + "=" + z.soubory[i].first + "\r\nSha256" +
            std::to_string(i + 1) + "=" + z.soubory[i].second + "\r\n";
  if (!z.vymeny.empty()) text += "[Vymeneno]\r\n";
  for (std::size_t i = 0; i < z.vymeny.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    const Vymena& v = z.vymeny[i];
    text += "Slozka" + n + "=" + v.slozka + "\r\n";
    if (!v.znacka.empty())
      text +=
          "Znacka" + n + "=" + v.znacka + "\r\nZnackaZalohy" + n + "=" + v.znackaZalohy + "\r\n";
    else
      text += "Uzel" + n + "=" + v.uzel + "\r\n";
    text += "Vydani" + n + "=" + v.vydani + "\r\n";
    if (!v.znackaNova.empty())
      text += "ZnackaNova" + n + "=" + v.znackaNova + "\r\nVydaniNove" + n + "=" + v.vydaniNove +
              "\r\n";
  }
  PopisOperace op{"Nepodařilo se zapsat soubor '" + cesta + "'", kDuvodyKopirovaniSouboru,
                  "Přejete si opakovat pokus o zapsání souboru?", !RezimSystem};
  auto s = ProvestSOpakovanim(op, [&] {
    if (int e = ZapsatSouborAtomicky(cesta, text)) return ss::ChybaSystemu(e, cesta);
    return ss::ZapsatSlozkuNaDisk(BezLomitka(slozkaSetupu));
  });
  if (s) VyvolatSelhani(*s, "mMain::AktualizaceProfilu");
}

}  // namespace

void ZapsatNedokoncenou(const std::string& slozkaSetupu, const std::string& vydani,
                        const std::string& predchozi, const std::optional<std::string>& zmenaDat) {
  Zaznam z = CistZaznam(slozkaSetupu);
  const bool prvni = !JeNedokoncena(slozkaSetupu);
  z.vydani = vydani;
  // The release from before the update that began first: a finishing run's folders may
  // already carry the new one.
  if (z.predchozi.empty()) z.predchozi = predchozi;
  // Across both updates the newer change of the data structure counts; a record without one
  // counts as a change.
  if (prvni || (z.zmenaDat && zmenaDat && PorovnatVydani(*zmenaDat, *z.zmenaDat) > 0))
    z.zmenaDat = zmenaDat;
  z.kontrola = true;
  ZapsatZaznam(slozkaSetupu, z);
}

bool CekaNaKontrolu(const std::string& slozkaSetupu) {
  return CistZaznam(slozkaSetupu, kZaznamPosledni).kontrola;
}

void OdlozitZalohuNavratu(const std::string& slozkaSetupu, const std::string& zivy,
                          const std::string& zaloha) {
  const Zaznam z = CistZaznam(slozkaSetupu, kZaznamPosledni);
  if (!z.navrat || !ExistujeSlozka(zaloha)) return;
  const std::string slozka = BezLomitka(zivy);
  const auto v = std::find_if(z.vymeny.begin(), z.vymeny.end(),
                              [&](const Vymena& x) { return x.slozka == slozka; });
  if (v == z.vymeny.end() || v->znackaZalohy.empty() ||
      CistZnacku(zaloha).znacka != v->znackaZalohy)
    return;
  // The release as a name: nothing of a path from a record that its folder's owner can write.
  std::string vydani;
  for (const char ch : z.predchozi.substr(0, 64))
    if (std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' || ch == '-') vydani += ch;
  std::string cil = slozka + "_vraceno_" + vydani;
  for (int i = 2; NecoTamJe(cil); ++i)
    cil = slozka + "_vraceno_" + vydani + "." + std::to_string(i);
  PrejmenovatSlozku(zaloha, cil);
  std::string rodic, jmeno;
  RozdelitCestu(slozka, rodic, jmeno);
  if (ss::Vysledek r = ss::ZapsatSlozkuNaDisk(rodic); !r.Uspech()) {
    AktualniPolozka = cil;
    VyvolatChybu("Odloženou zálohu " + cil + " se nepodařilo zapsat na disk: " + r.popis);
  }
  ZapsatDoLogu(kPrenosovyLog, "Záloha " + zaloha +
                                  " s úpravami z vráceného vydání byla odložena jako " + cil + ".");
}

void KontrolaProvedena(const std::string& slozkaSetupu) {
  Zaznam z = CistZaznam(slozkaSetupu, kZaznamPosledni);
  if (!z.kontrola) return;
  z.kontrola = false;
  ZapsatZaznam(slozkaSetupu, z, kZaznamPosledni);
}

void ZaznamenatSoubory(const std::string& slozkaSetupu,
                       const std::vector<std::pair<std::string, std::string>>& soubory) {
  Zaznam z = CistZaznam(slozkaSetupu);
  z.soubory = soubory;
  ZapsatZaznam(slozkaSetupu, z);
}

ZaznamAktualizace CistZaznamAktualizace(const std::string& slozkaSetupu, const char* jmeno) {
  return CistZaznam(slozkaSetupu, jmeno);
}

void ZapsatZaznamAktualizace(const std::string& slozkaSetupu, const ZaznamAktualizace& z) {
  ZapsatZaznam(slozkaSetupu, z);
}

bool JeNedokoncena(const std::string& slozkaSetupu) {
  return NecoTamJe(slozkaSetupu + kZaznamNedokoncene);
}

void ZaznamenatVymenu(const std::string& slozkaSetupu, const std::string& zivy,
                      const std::string& novy, const std::string& vydani) {
  Zaznam z = CistZaznam(slozkaSetupu);
  if (z.vydani.empty()) z.vydani = vydani;
  const std::string slozka = BezLomitka(zivy);
  auto v = std::find_if(z.vymeny.begin(), z.vymeny.end(),
                        [&](const Vymena& x) { return x.slozka == slozka; });
  if (v == z.vymeny.end()) {
    Vymena nova;
    nova.slozka = slozka;
    v = z.vymeny.insert(z.vymeny.end(), nova);
  }
  // The live folder's mark goes with it into the backup. A folder that the unfinished
  // update swapped already keeps the backup of that first swap, and its mark; the mark it
  // carries now stays named (with its release) beside the new sibling's until the swap.
  std::string duvod, vydaniZive, znackaZive;
  const Identita id =
      Rozhodnout(*v, zivy, slozkaSetupu + kZaznamNedokoncene, &duvod, &vydaniZive, &znackaZive);
  if (id == Identita::kVymenena) {
    // (A folder named by an older record gets its mark now.)
    if (znackaZive.empty()) znackaZive = Oznacena(zivy, false);
    v->znacka = znackaZive;
    v->vydani = vydaniZive;
    v->znackaNova = Oznacena(novy, true);
    v->vydaniNove = vydani;
  } else {
    v->znackaZalohy = ExistujeSlozka(zivy) ? Oznacena(zivy, false) : "";
    v->znacka = Oznacena(novy, true);
    v->vydani = vydani;
    v->znackaNova.clear();
    v->vydaniNove.clear();
  }
  v->uzel.clear();
  ZapsatZaznam(slozkaSetupu, z);
}

bool JeVymenena(const std::string& slozkaSetupu, const std::string& zivy, std::string* vydani) {
  if (!JeNedokoncena(slozkaSetupu)) return false;
  const Zaznam z = CistZaznam(slozkaSetupu);
  const std::string slozka = BezLomitka(zivy), zaznam = slozkaSetupu + kZaznamNedokoncene;
  for (const Vymena& v : z.vymeny) {
    if (v.slozka != slozka) continue;
    std::string duvod;
    switch (Rozhodnout(v, zivy, zaznam, &duvod, vydani)) {
      case Identita::kVymenena:
        return true;
      case Identita::kNevymenena:
        return false;
      case Identita::kNelze:
        // Taken for not swapped, it would be rebuilt and its backup, maybe the only copy of
        // what was there, deleted: it stays as it is, with its backup.
        AktualniPolozka = zaznam;
        VyvolatChybu("Nelze rozhodnout, zda složku " + slozka +
                     " už vyměnila nedokončená aktualizace: " + duvod +
                     ". Složka ani její záloha nebyly změněny.");
    }
  }
  return false;
}

void SmazatZaznamNedokoncene(const std::string& slozkaSetupu) {
  const std::string cesta = slozkaSetupu + kZaznamNedokoncene;
  // What the complete update swapped, and the releases before and after, stay as the last
  // update; written and flushed before the record of the unfinished one goes.
  if (JeNedokoncena(slozkaSetupu))
    ZapsatZaznam(slozkaSetupu, CistZaznam(slozkaSetupu), kZaznamPosledni);
  ss::Vysledek v = ss::SmazatSoubor(cesta);
  // A record that comes back after a power cut would make the next run take the folders
  // for swapped by an update that is long complete: its removal is made lasting.
  if (v.Uspech() || v.kod == kod::kSouborNenalezen || v.kod == kod::kCestaNenalezena)
    v = ss::ZapsatSlozkuNaDisk(BezLomitka(slozkaSetupu));
  if (!v.Uspech()) {
    AktualniPolozka = cesta;
    VyvolatChybu("Záznam o nedokončené aktualizaci " + cesta +
                 " se nepodařilo trvale odstranit: " + v.popis);
  }
}

namespace {

// The sibling folders (prefix + "dwnld_...") that runs left in the folder.
std::vector<std::string> ZbytkyBehu(const std::string& slozka, const std::string& predpona) {
  std::vector<ss::PolozkaSlozky> polozky;
  std::vector<std::string> zbytky;
  if (!ss::CistSlozku(slozka, polozky).Uspech()) return zbytky;
  const std::string hledane = predpona + "dwnld_";
  for (const auto& p : polozky)
    if (p.slozka && p.jmeno.compare(0, hledane.size(), hledane) == 0) zbytky.push_back(p.jmeno);
  return zbytky;
}

}  // namespace

bool MaZbytkyBehu(const std::string& slozka, const std::string& predpona) {
  return !ZbytkyBehu(slozka, predpona).empty();
}

bool SmazatZbytkyBehu(const std::string& slozka, const std::string& predpona) {
  const std::vector<std::string> zbytky = ZbytkyBehu(slozka, predpona);
  for (const std::string& z : zbytky)
    SmazatSlozku(slozka + z, false);
  return !zbytky.empty();
}

}  // namespace zevlon
