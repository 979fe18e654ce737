#include "soubory/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/adresa.h"
#include "platform/platforma.h"
#include "platform/soubor.h"

namespace zevlon {

namespace {

struct MistoLogu {
  std::string cesta;
  mode_t prava = 0640;
};

MistoLogu NajitMistoLogu(const char* jmeno) {
  std::string slozka = platforma().SlozkaLogu();
  // A user's own run of a program that is not the user's writes its logs where the
  // user may: the user's state folder, for the user's eyes only.
  if (slozka.empty() || ::faccessat(AT_FDCWD, slozka.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    std::string stav = platforma().SlozkaStavu();
    if (!stav.empty()) return {stav + "/" + jmeno, 0600};
  }
  return {slozka + "/" + jmeno, 0640};
}

}  // namespace

std::string CestaLogu(const char* jmeno) {
  return NajitMistoLogu(jmeno).cesta;
}

std::string CasovaZnackaLogu() {
  return MistniRazitkoLogu(platforma().Ted());
}

void PripsatRadek(const std::string& soubor, const std::string& text, mode_t prava) {
  // Non-blocking, so that a pipe laid under the name cannot stall the open.
  Popisovac fd(::open(
      soubor.c_str(),
      O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, prava));
  struct stat st {};
  if (!fd.Platny() || ::fstat(fd.Fd(), &st) != 0) return;
  // Another user's file, or a second name of some other file, is not ours to write.
  if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != ::geteuid()) return;
  (void)ZapsatVse(fd.Fd(), BezPristupovychUdaju(text) + "\r\n");
}

void ZapsatDoLogu(const char* jmeno, const std::string& text) {
  if (platforma().PredatRadekLogu(jmeno, text)) return;
  const MistoLogu misto = NajitMistoLogu(jmeno);
  PripsatRadek(misto.cesta, CasovaZnackaLogu() + "\t" + text, misto.prava);
}

void ZapsatChybuBehu(const std::string& text, const std::string& polozka) {
  ZapsatDoLogu(kChybovyLog, text + "\t" + polozka);
}

void ZalogovatChybu(std::int32_t cislo, const std::string& popis, const std::string& zdroj) {
  try {
    ZapsatDoLogu(kChybovyLog, zdroj + "\t" + std::to_string(cislo) + "\t" + popis);
  } catch (...) {
    // The line is lost; the error itself still reaches the caller.
  }
  throw Chyba(cislo, popis, zdroj);
}

}  // namespace zevlon
