#include "driver/stahovani.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>

#include "common/adresa.h"
#include "common/chyba.h"
#include "driver/pomucky.h"
#include "driver/stav.h"
#include "installers/operace_souboru.h"
#include "platform/http.h"
#include "platform/platforma.h"
#include "platform/soubor.h"
#include "transfer/mzip32.h"
#include "transfer/shell_rozbaleni.h"
#include "ui/rozhrani.h"

namespace zevlon {

void StahnoutSoubor(const std::string& url, const std::string& soubor, std::int64_t maxBajtu) {
  OdpovedHttp o = Http().Stahnout(url, soubor, maxBajtu);
  if (o.status != 200) VyvolatChybu("http error: " + std::to_string(o.status) + " " + o.textStavu);
}

bool JeZip(const std::string& soubor) {
  Popisovac fd(::open(soubor.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Platny()) return false;
  char hlava[2];
  if (::read(fd.Fd(), hlava, 2) != 2) return false;
  return (hlava[0] == 'P' || hlava[0] == 'p') && (hlava[1] == 'K' || hlava[1] == 'k');
}

void RozbalitPresShell(const std::string& slozka, const std::string& jmeno) {
  (void)ZkopirovatZArchivu(slozka + jmeno + ".zip", jmeno, slozka);
}

void StahnoutARozbalit(const std::string& url, const std::string& slozka, const std::string& jmeno,
                       const std::string& zprava) {
  const std::string archiv = slozka + jmeno + ".zip";
  const std::string cil = slozka + jmeno;
  // Two passes; in each, a download that is not an archive is fetched once more.
  for (int pruchod = 1;; ++pruchod) {
    for (int stazeni = 1;; ++stazeni) {
      AktualniPolozka = BezPristupovychUdaju(url) + "->" + archiv;
      StahnoutSoubor(url, archiv);
      if (JeZip(archiv)) break;
      if (stazeni == 2)
        VyvolatChybu(zprava.empty() ? "Nepodařilo se stáhnout soubor " + archiv : zprava);
    }
    AktualniPolozka = archiv;
    if (ExistujeSoubor(cil)) SmazatSoubor(cil, false);
    (void)RozzipovatJednoduse(archiv, slozka, 0, "");
    if (!ExistujeSoubor(cil)) RozbalitPresShell(slozka, jmeno);
    SmazatSoubor(archiv, true);
    AktualniPolozka.clear();
    if (ExistujeSoubor(cil)) return;
    if (pruchod == 2) {
      AktualniPolozka = archiv;
      VyvolatChybu("Nepodařilo se dekomprimovat soubor (" + archiv + ").");
    }
  }
}

void Pockat(float sekundy) {
  const auto konec =
      platforma().Monotonni() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                    std::chrono::duration<float>(sekundy));
  while (platforma().Monotonni() < konec) {
    Ui().ZpracovatUdalosti();
    platforma().Uspat(std::chrono::milliseconds(20));
  }
}

}  // namespace zevlon
