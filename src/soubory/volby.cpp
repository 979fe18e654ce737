#include "soubory/volby.h"

#include <charconv>

#include "common/text.h"
#include "platform/nahrady/platforma.h"
#include "rozhrani/pomucky.h"

namespace zevlon {

std::string CestaVolebIni() {
  // The new updater reads the options of the program whose place it takes.
  const std::string jmeno = JmenoProgramu();
  return platforma().SlozkaVoleb() + "/" + (jmeno == kNovyZevlon ? kTitulProgramu : jmeno) + ".ini";
}

std::string AdresaWebu() {
  std::string a = CistIni(CestaVolebIni(), "Server", "Adresa");
  if (a.empty()) a = kVychoziAdresaWebu;
  if (a.back() != '/') a += '/';
  return a;
}

int NahodneZpozdeni() {
  const std::string text(Orezat(CistIni(CestaVolebIni(), "Server", kKlicNahodnehoZpozdeni), " \t"));
  int minut = 0;
  auto [konec, chyba] = std::from_chars(text.data(), text.data() + text.size(), minut);
  if (text.empty() || chyba != std::errc() || konec != text.data() + text.size() || minut < 0 ||
      minut > kMaxNahodnehoZpozdeni)
    return kVychoziNahodneZpozdeni;
  return minut;
}

std::optional<std::pair<int, int>> PrecistCas(const std::string& cas) {
  std::vector<std::string> casti = Rozdelit(Orezat(cas, " \t"), ':');
  if (casti.size() < 2 || casti.size() > 3) return std::nullopt;
  for (std::size_t i = 0; i < casti.size(); ++i) {
    const std::string& c = casti[i];
    if (c.empty() || c.size() > 2 || (i > 0 && c.size() != 2)) return std::nullopt;
    if (c.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  }
  if (casti.size() == 3 && std::stoi(casti[2]) >= 60) return std::nullopt;
  return std::make_pair(std::stoi(casti[0]), std::stoi(casti[1]));
}

bool JeCasDne(const std::string& cas) {
  auto c = PrecistCas(cas);
  return c && c->first < 24 && c->second < 60;
}

}  // namespace zevlon
