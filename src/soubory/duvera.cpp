#include "soubory/duvera.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/chyba.h"
#include "platform/platforma.h"
#include "platform/souborovy_system.h"
#include "soubory/cesty.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

constexpr const char* kMistaProgramu =
    "Program, jeho složka i soubor voleb musí patřit uživateli root a nikdo jiný do nich nesmí "
    "zapisovat.";
constexpr const char* kSlozkyProfilu =
    "Instalační složky mimo složku profilu smí určovat jen soubor Merko.ini, který patří "
    "uživateli root a do kterého nikdo jiný nesmí zapisovat.";

[[noreturn]] void Odmitnout(const char* co, const std::string& cesta, const std::string& proc,
                            const char* pravidlo = kMistaProgramu) {
  VyvolatChybu("Aktualizace nebyla spuštěna, protože program běží pod účtem root a " +
               std::string(co) + " '" + cesta + "' " + proc + ". " + pravidlo);
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

bool PatriRootovi(const struct stat& st) {
  return st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Whether the folder lies inside the profile folder, without climbing out of it.
bool VeSlozceProfilu(const std::string& slozka, const std::string& profil) {
  if (slozka.size() <= profil.size() || slozka.compare(0, profil.size(), profil) != 0) return false;
  return JeBezpecnaRelativniCesta(BezLomitka(slozka.substr(profil.size())));
}

}  // namespace

void OveritSlozkyProfilu(const std::string& slozkaProfilu, const std::vector<std::string>& slozky) {
  if (::geteuid() != 0) return;
  const std::string ini = slozkaProfilu + "Merko.ini";
  struct stat st {};
  const bool iniRoota = ::lstat(ini.c_str(), &st) == 0 && S_ISREG(st.st_mode) && PatriRootovi(st);
  for (const std::string& slozka : slozky) {
    if (!iniRoota && !VeSlozceProfilu(slozka, slozkaProfilu))
      Odmitnout("složka", slozka,
                "leží mimo složku profilu a určuje ji soubor " + ini +
                    ", do kterého smí zapisovat i jiný uživatel",
                kSlozkyProfilu);
    if (::lstat(BezLomitka(slozka).c_str(), &st) == 0 && S_ISLNK(st.st_mode) && st.st_uid != 0)
      Odmitnout("složka", slozka, "je symbolický odkaz jiného uživatele", kSlozkyProfilu);
  }
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
}

}  // namespace zevlon
