#include "soubory/duvera.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/chyba.h"
#include "platform/nahrady/platforma.h"
#include "platform/procesy/ucty.h"
#include "platform/soubory/rozliseni_cesty.h"
#include "platform/soubory/souborovy_system.h"
#include "soubory/cesty.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

constexpr const char* kMistaProgramu =
    "Program, jeho složka i soubor voleb musí patřit uživateli root a nikdo jiný do nich nesmí "
    "zapisovat.";

[[noreturn]] void Odmitnout(const char* co, const std::string& cesta, const std::string& proc) {
  VyvolatChybu("Aktualizace nebyla spuštěna, protože program běží pod účtem root a " +
               std::string(co) + " '" + cesta + "' " + proc + ". " + kMistaProgramu);
}

void Overit(const char* co, const std::string& cesta, bool muzeChybet) {
  struct stat st {};
  if (::lstat(cesta.c_str(), &st) != 0) {
    const int e = errno;
    if (muzeChybet && e == ENOENT) return;
    Odmitnout(co, cesta, "nelze ověřit (" + ss::ChybaSystemu(e, cesta).popis + ")");
  }
  // A link could lead anywhere, whoever owns the link itself.
  if (S_ISLNK(st.st_mode)) Odmitnout(co, cesta, "je symbolický odkaz");
  if (st.st_uid != 0) Odmitnout(co, cesta, "nepatří uživateli root");
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    Odmitnout(co, cesta, "má právo zápisu pro skupinu nebo ostatní");
}

// Whether the acting user may trust a folder (or file) of this owner and mode: its own,
// or one that only root can write.
bool Duveryhodna(uid_t vlastnik, mode_t rezim, uid_t jednajici) {
  return (jednajici != 0 && vlastnik == jednajici) || ss::ZapisujeJen(vlastnik, rezim, 0);
}

// A folder everybody may write but where only an entry's owner can remove or rename it
// (the sticky bit, as /tmp): what root or the acting user keeps there stays theirs.
bool ChraniCiziPolozky(const ss::SlozkaNaCeste& s, uid_t jednajici) {
  return (s.vlastnik == 0 || s.vlastnik == jednajici) && (s.rezim & S_ISVTX) != 0;
}

[[noreturn]] void OdmitnoutSlozku(const std::string& slozka, const std::string& proc) {
  VyvolatChybu("Aktualizace nebyla provedena, protože " + proc + ". Složku '" + slozka +
               "' smí aktualizovat jen program, který běží pod účtem jejího vlastníka, a cesta "
               "k ní smí vést jen přes složky tohoto uživatele nebo přes složky, do kterých "
               "smí zapisovat jen root.");
}

// Resolves a folder for the acting user; a link that another user could have laid stops
// the run with a message naming both.
ss::Rozliseni Rozlisit(const std::string& slozka, uid_t jednajici) {
  ss::Rozliseni r = ss::RozlisitCestu(BezLomitka(slozka), jednajici);
  if (!r.odmitnutyOdkaz.empty())
    OdmitnoutSlozku(slozka, "cesta ke složce '" + slozka + "' vede přes symbolický odkaz '" +
                                r.odmitnutyOdkaz + "', který mohl položit jiný uživatel (" +
                                JmenoUctu(r.slozky.empty() ? 0 : r.slozky.back().vlastnik) + ")");
  if (!r.chyba.Uspech())
    OdmitnoutSlozku(slozka,
                    "cestu ke složce '" + slozka + "' nelze ověřit (" + r.chyba.popis + ")");
  return r;
}

// The first folder on the resolved way that is neither the acting user's nor root's alone;
// the last `pevnych` of them (the folder acted in and its parent) must not be a sticky
// folder of everybody either. Nothing when all are safe.
const ss::SlozkaNaCeste* NeduveryhodnaSlozka(const ss::Rozliseni& r, uid_t jednajici,
                                             std::size_t pevnych) {
  for (std::size_t i = 0; i < r.slozky.size(); ++i) {
    const ss::SlozkaNaCeste& s = r.slozky[i];
    if (Duveryhodna(s.vlastnik, s.rezim, jednajici)) continue;
    if (i + pevnych < r.slozky.size() && ChraniCiziPolozky(s, jednajici)) continue;
    return &s;
  }
  return nullptr;
}

void OveritCestu(const std::string& slozka, const ss::Rozliseni& r, uid_t jednajici,
                 std::size_t pevnych) {
  if (const ss::SlozkaNaCeste* n = NeduveryhodnaSlozka(r, jednajici, pevnych)) {
    const ss::SlozkaNaCeste& s = *n;
    const std::string kdo = s.vlastnik == jednajici || s.vlastnik == 0
                                ? "do ní smí zapisovat i jiní uživatelé"
                                : "patří uživateli " + JmenoUctu(s.vlastnik);
    OdmitnoutSlozku(slozka, "složka '" + s.cesta + "' na cestě ke složce '" + slozka + "' " + kdo +
                                " a aktualizaci provádí uživatel " + JmenoUctu(jednajici));
  }
}

// Whether the folder lies inside the profile folder (both resolved).
bool VeSlozceProfilu(const std::string& slozka, const std::string& profil) {
  return slozka.size() > profil.size() + 1 && slozka.compare(0, profil.size(), profil) == 0 &&
         slozka[profil.size()] == '/';
}

}  // namespace

uid_t KdoAktualizuje(const std::string& slozkaProfilu) {
  if (::geteuid() != 0) return ::geteuid();
  const ss::Rozliseni r = Rozlisit(slozkaProfilu, 0);
  if (!r.existuje || r.slozky.empty()) return 0;
  const uid_t vlastnik = r.slozky.back().vlastnik;
  const ss::SlozkaNaCeste& profil = r.slozky.back();
  // Root's own profile folder must be root's alone; another owner's is that owner's.
  if (vlastnik == 0 && !ss::ZapisujeJen(profil.vlastnik, profil.rezim, 0))
    OdmitnoutSlozku(slozkaProfilu, "do složky profilu '" + slozkaProfilu +
                                       "' smí zapisovat i jiní uživatelé než root");
  OveritCestu(slozkaProfilu, r, vlastnik, 1);
  return vlastnik;
}

void OveritSlozkyProfilu(const std::string& slozkaProfilu, const std::vector<std::string>& slozky,
                         bool zaVlastnika) {
  const uid_t jednajici = ::geteuid();
  if (jednajici != 0 && !zaVlastnika) return;
  const ss::Rozliseni profil = Rozlisit(slozkaProfilu, jednajici);
  OveritCestu(slozkaProfilu, profil, jednajici, 1);
  const std::string ini = slozkaProfilu + "Merko.ini";
  struct stat st {};
  const bool duveryhodnyIni = ::lstat(ini.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                              Duveryhodna(st.st_uid, st.st_mode, jednajici);
  for (const std::string& slozka : slozky) {
    const ss::Rozliseni r = Rozlisit(slozka, jednajici);
    if (!duveryhodnyIni && !VeSlozceProfilu(r.cesta, profil.cesta))
      VyvolatChybu("Aktualizace nebyla provedena, protože složka '" + slozka +
                   "' leží mimo složku profilu a určuje ji soubor " + ini +
                   ", do kterého smí zapisovat i jiný uživatel. Instalační složky mimo složku "
                   "profilu smí určovat jen soubor Merko.ini, který patří uživateli " +
                   (jednajici == 0 ? "" : JmenoUctu(jednajici) + " nebo uživateli ") +
                   "root a do kterého nikdo jiný nesmí zapisovat.");
    // The folder itself when it exists, and the folder that holds it, where the run makes
    // its sibling and its backup.
    OveritCestu(slozka, r, jednajici, r.existuje ? 2 : 1);
  }
}

void OveritSlozkuInstalace(const std::string& slozka, uid_t vlastnik, mode_t rezim) {
  const uid_t jednajici = ::geteuid();
  if (jednajici != 0 && !platforma().ZaVlastnika()) return;
  if (Duveryhodna(vlastnik, rezim, jednajici)) return;
  OdmitnoutSlozku(slozka, "složka '" + slozka + "' " +
                              (vlastnik == jednajici || vlastnik == 0
                                   ? std::string("je otevřena k zápisu i jiným uživatelům")
                                   : "patří uživateli " + JmenoUctu(vlastnik)) +
                              " a aktualizaci provádí uživatel " + JmenoUctu(jednajici));
}

bool DuveryhodnySoubor(const std::string& soubor) {
  const uid_t jednajici = ::geteuid();
  std::string slozka, jmeno;
  RozdelitCestu(soubor, slozka, jmeno);
  const ss::Rozliseni r = ss::RozlisitCestu(BezLomitka(slozka), jednajici);
  if (!r.odmitnutyOdkaz.empty() || !r.chyba.Uspech() || !r.existuje) return false;
  if (NeduveryhodnaSlozka(r, jednajici, 2)) return false;
  struct stat st {};
  return ::lstat((r.cesta + "/" + jmeno).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         Duveryhodna(st.st_uid, st.st_mode, jednajici);
}

void OveritMistaRoota() {
  if (::geteuid() != 0) return;
  // A program file that is gone (replaced while it runs) can no longer be changed; its
  // folder still must be root's.
  Overit("program", platforma().CestaProgramu(), true);
  Overit("složka programu", SlozkaProgramu(), false);
  // A packaged build keeps its options in a folder of their own.
  if (const std::string voleb = platforma().SlozkaVoleb(); voleb != SlozkaProgramu())
    Overit("složka voleb", voleb, true);
  Overit("soubor voleb", CestaVolebIni(), true);
  // Root's records (checksums, accepted signatures) only where nobody else can move them.
  if (platforma().SlozkaZaznamu().empty())
    VyvolatChybu("Složka " + NajitUcet(0).value_or(Ucet{}).domov +
                 "/.local/state/zevlon pro záznamy roota vede přes složku nebo odkaz jiného "
                 "uživatele, proto aktualizace nebyla provedena.");
}

}  // namespace zevlon
