#include "soubory/log.h"

#include "common/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/adresa.h"
#include "common/text.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/soubor.h"

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

std::string RadekLogu(std::string_view text) {
  // What an HTTP status means, for the statuses a site answers with.
  static constexpr std::pair<int, const char*> kStavy[] = {{400, "chybný požadavek"},
                                                           {401, "vyžaduje přihlášení"},
                                                           {403, "přístup odepřen"},
                                                           {404, "nenalezeno"},
                                                           {407, "proxy vyžaduje přihlášení"},
                                                           {408, "vypršel čas požadavku"},
                                                           {410, "již neexistuje"},
                                                           {416, "nevyhovující rozsah"},
                                                           {429, "příliš mnoho požadavků"},
                                                           {500, "vnitřní chyba serveru"},
                                                           {502, "chybná brána"},
                                                           {503, "služba je nedostupná"},
                                                           {504, "brána neodpověděla včas"}};
  constexpr std::string_view kHttp = "http error: ";
  std::string radek;
  radek.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text.compare(i, kHttp.size(), kHttp) == 0 && i + kHttp.size() + 3 <= text.size()) {
      const std::string_view cislo = text.substr(i + kHttp.size(), 3);
      if (cislo.find_first_not_of("0123456789") == std::string_view::npos) {
        // The status text runs to the end of the line or of the field.
        std::size_t konec = text.find_first_of("\t\r\n", i + kHttp.size() + 3);
        if (konec == std::string_view::npos) konec = text.size();
        std::string_view duvod =
            Orezat(text.substr(i + kHttp.size() + 3, konec - i - kHttp.size() - 3), " ");
        const int kod = (cislo[0] - '0') * 100 + (cislo[1] - '0') * 10 + (cislo[2] - '0');
        for (const auto& [k, vyznam] : kStavy)
          if (k == kod) duvod = vyznam;
        radek += "server odpověděl " + std::string(cislo);
        if (!duvod.empty()) radek += " (" + std::string(duvod) + ")";
        i = konec;
        continue;
      }
    }
    if (text[i] == '\r' || text[i] == '\n') {
      // Each line break inside a record, CR LF or either alone, runs on after " – ".
      const std::size_t dalsi = text.find_first_not_of("\r\n", i);
      if (dalsi != std::string_view::npos && text[dalsi] != '\t' && !radek.empty() &&
          radek.back() != '\t')
        radek += " – ";
      i = dalsi == std::string_view::npos ? text.size() : dalsi;
      continue;
    }
    radek += text[i++];
  }
  return radek;
}

void ZapsatDoLogu(const char* jmeno, const std::string& text) {
  const std::string radek = RadekLogu(text);
  if (platforma().PredatRadekLogu(jmeno, radek)) return;
  const MistoLogu misto = NajitMistoLogu(jmeno);
  PripsatRadek(misto.cesta, CasovaZnackaLogu() + "\t" + radek, misto.prava);
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
