#include "transfer/log.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/platforma.h"
#include "platform/soubor.h"

namespace zevlon {

std::string CestaLogu(const char* jmeno) {
  std::string slozka = SlozkaProgramu();
  // A user's own run of a program that is not the user's writes its logs where the
  // user may: the user's state folder.
  if (::faccessat(AT_FDCWD, slozka.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    std::string stav = platforma().SlozkaStavu();
    if (!stav.empty()) slozka = stav;
  }
  return slozka + "/" + jmeno;
}

std::string CasovaZnackaLogu() {
  return MistniRazitkoLogu(platforma().Ted());
}

void PripsatRadek(const std::string& soubor, const std::string& text) {
  Popisovac fd(
      ::open(soubor.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (!fd.Platny()) return;
  (void)ZapsatVse(fd.Fd(), text + "\r\n");
}

void ZapsatChybuBehu(const std::string& text, const std::string& polozka) {
  PripsatRadek(CestaLogu(kChybovyLog), CasovaZnackaLogu() + "\t" + text + "\t" + polozka);
}

void ZalogovatChybu(std::int32_t cislo, const std::string& popis, const std::string& zdroj) {
  try {
    PripsatRadek(CestaLogu(kChybovyLog),
                 CasovaZnackaLogu() + "\t" + zdroj + "\t" + std::to_string(cislo) + "\t" + popis);
  } catch (...) {
    // The line is lost; the error itself still reaches the caller.
  }
  throw Chyba(cislo, popis, zdroj);
}

}  // namespace zevlon
