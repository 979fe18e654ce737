#include "beh/drzeni.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "beh/navraty.h"
#include "beh/profily.h"
#include "beh/vlastnik/vlastnik.h"
#include "beh/vlastnik/zpravy.h"
#include "common/chyba.h"
#include "common/text.h"
#include "instalace/navrat.h"
#include "platform/nahrady/ini.h"
#include "platform/soubory/soukromy_temp.h"
#include "prenos/stahovani/informace_vydani.h"
#include "rozhrani/pomucky.h"
#include "soubory/duvera.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

constexpr const char* kServer = "Server";

// Whether this process may change the options file: root where it trusts its places, any
// other user only a file of its own (or none yet). Says why not.
bool MuzeMenitVolby(const std::string& soubor) {
  try {
    OveritMistaRoota();
  } catch (const Chyba& c) {
    std::fprintf(stderr, "%s\n", c.Popis().c_str());
    return false;
  }
  if (::geteuid() == 0) return true;
  struct stat st {};
  if (::lstat(soubor.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    std::fprintf(stderr, "Soubor voleb %s nelze přečíst: %s\n", soubor.c_str(),
                 std::strerror(errno));
    return false;
  }
  if (st.st_uid == ::geteuid()) return true;
  std::fprintf(stderr, "Soubor voleb %s patří %s, držení vydání v něm může změnit jen %s.\n",
               soubor.c_str(), st.st_uid == 0 ? "rootovi" : "jinému uživateli",
               st.st_uid == 0 ? "root" : "jeho vlastník");
  return false;
}

// The options file's key written (or removed, `hodnota` none), as the options window writes.
bool ZapsatVolbu(const char* klic, const std::optional<std::string>& hodnota) {
  const std::string soubor = CestaVolebIni();
  if (hodnota ? ini::ZapsatKlic(soubor, kServer, klic, *hodnota)
              : ini::SmazatKlic(soubor, kServer, klic))
    return true;
  std::fprintf(stderr,
               "Nelze zapsat do souboru %s. Zkontrolujte cestu a oprávnění pro zápis do tohoto "
               "souboru.\n",
               soubor.c_str());
  return false;
}

// A step of letting go: the hold of the options.
bool ZrusitDrzeni(std::FILE* out) {
  const std::string soubor = CestaVolebIni();
  const std::string drive(Orezat(CistIni(soubor, kServer, kKlicDrzetVydani), " \t"));
  // Each line of the key goes: a second one, written by hand, would hold the machine next.
  while (ini::CistKlic(soubor, kServer, kKlicDrzetVydani))
    if (!ZapsatVolbu(kKlicDrzetVydani, std::nullopt)) return false;
  if (drive.empty()) return true;
  std::fprintf(out, "Držení na vydání %s zrušeno, aktualizace opět instalují nová vydání.\n",
               drive.c_str());
  return true;
}

// A step of letting go: the refusal of a release gone back from, in the profile of
// "SlozkaDat", lifted by the profile's owner (where root acts for another user, by that
// user's process).
bool ZrusitOdmitnuti(std::FILE* out) {
  const std::string slozka = CistIni(CestaVolebIni(), "Nastaveni", "SlozkaDat");
  if (slozka.empty()) return true;
  const std::string profil = PridatLomitko(slozka);
  try {
    SouhrnObnovy s;
    if (const uid_t vlastnik = KdoAktualizuje(profil); vlastnik == ::geteuid()) {
      s.vraceno = ZrusitOdmitnutiVydani(profil);
    } else {
      TempBehu temp;
      temp.Zvolit();
      SlozkaVTempu pracovni(temp.Slozka(), "uvolneni");
      if (pracovni.Cesta().empty())
        VyvolatChybu("Ve složce " + temp.Slozka() + " se nepodařilo vytvořit pracovní složku.");
      const std::string ini = pracovni.Cesta() + "/" + kSouborVydani;
      ZapsatIni(ini, "Merko", "SlozkaProfilu", profil);
      AktualizovatZaVlastnika(vlastnik, ini, s, kUvolnitZaVlastnika);
    }
    if (!s.vraceno.empty())
      std::fprintf(out,
                   "Odmítnutí vydání %s v profilu %s zrušeno, aktualizace je opět nainstalují.\n",
                   s.vraceno.c_str(), profil.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", JakoChyba(e).Popis().c_str());
    return false;
  }
  return true;
}

}  // namespace

std::string DrzeneVydani() {
  const std::string soubor = CestaVolebIni();
  const std::string vydani(Orezat(CistIni(soubor, kServer, kKlicDrzetVydani), " \t"));
  if (!vydani.empty() && !JeCisloVydani(vydani))
    VyvolatChybu("Hodnota " + std::string(kKlicDrzetVydani) + "=" + vydani +
                 " v sekci [Server] souboru voleb " + soubor +
                 " není číslo vydání, proto aktualizace nebyla provedena.");
  return vydani;
}

int Drzet(const std::optional<std::string>& zadane, std::FILE* out) {
  std::string vydani = zadane.value_or(""), duvod;
  if (!zadane) {
    const std::string slozka = CistIni(CestaVolebIni(), "Nastaveni", "SlozkaDat");
    if (!slozka.empty()) vydani = VydaniProfilu(PridatLomitko(slozka), duvod);
    if (vydani.empty()) {
      std::fprintf(stderr,
                   "V profilu složky dat (SlozkaDat v sekci Nastaveni) není nainstalované "
                   "vydání%s, zadejte je: Zevlon %s VYDANI\n",
                   duvod.empty() ? "" : (" (" + duvod + ")").c_str(), kVolbaDrzet);
      return kNavratPouziti;
    }
  }
  if (!JeCisloVydani(vydani)) {
    std::fprintf(stderr, "„%s“ není číslo vydání (číslice začínající datem RRRRMMDD).\n",
                 vydani.c_str());
    return kNavratPouziti;
  }
  if (!MuzeMenitVolby(CestaVolebIni()) || !ZapsatVolbu(kKlicDrzetVydani, vydani))
    return kNavratChyba;
  std::fprintf(out,
               "Počítač je držen na vydání %s: aktualizace nenainstalují žádné vyšší vydání, "
               "dokud je neuvolníte (Zevlon %s).\n",
               vydani.c_str(), kVolbaUvolnit);
  return kNavratUspech;
}

int Uvolnit(std::FILE* out) {
  // Each thing that keeps the machine where it is lets go in a step of its own.
  if (!MuzeMenitVolby(CestaVolebIni())) return kNavratChyba;
  for (bool (*krok)(std::FILE*) : {&ZrusitDrzeni, &ZrusitOdmitnuti})
    if (!krok(out)) return kNavratChyba;
  return kNavratUspech;
}

}  // namespace zevlon
