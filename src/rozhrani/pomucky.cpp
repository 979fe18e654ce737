#include "rozhrani/pomucky.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <vector>

#include "common/text.h"
#include "platform/nahrady/ini.h"
#include "rozhrani/prubeh.h"

namespace zevlon {

namespace {

constexpr const char* kChybiSekce =
    "Program se pokouší přistupovat k INI souboru bez uvedení sekce. Nový formát INI souboru "
    "však zadání sekce vyžaduje. Prosím obraťte se na dodavatele se žádostí o aktualizaci.";

constexpr std::int32_t kVarovani = static_cast<std::int32_t>(0xBFFE0000u);

// Runs one INI step; an error goes to the error box, and the step runs again as
// long as the user answers Opakovat. No value when the user gave up.
template <typename F>
auto SOpakovanim(F&& krok) -> std::optional<decltype(krok())> {
  for (;;) {
    try {
      return krok();
    } catch (const std::exception& e) {
      if (ZobrazChybu(JakoChyba(e)) != mb::kIdOpakovat) return std::nullopt;
    }
  }
}

void OveritSekci(const std::string& sekce) {
  if (sekce.empty()) VyvolatChybu(kChybiSekce);
}

struct ZavritAdresar {
  void operator()(DIR* d) const { closedir(d); }
};

bool JeSoubor(const std::string& cesta) {
  struct stat st {};
  return ::stat(cesta.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string CistIni(const std::string& soubor, const std::string& sekce, const std::string& klic) {
  auto v = SOpakovanim([&] {
    OveritSekci(sekce);
    return ini::CistKlic(soubor, sekce, klic).value_or("");
  });
  return v.value_or("");
}

void ZapsatIni(const std::string& soubor, const std::string& sekce, const std::string& klic,
               const std::string& hodnota) {
  SOpakovanim([&] {
    OveritSekci(sekce);
    if (!ini::ZapsatKlic(soubor, sekce, klic, hodnota))
      VyvolatChybu("Nelze zapsat do souboru " + soubor + " .\r\n" +
                   "Zkontrolujte cestu a oprávnění pro zápis do tohoto souboru.");
    return true;
  });
}

std::optional<KlicovanySeznam<std::string>> CistSekciIni(const std::string& soubor,
                                                         const std::string& sekce) {
  return SOpakovanim([&] {
    KlicovanySeznam<std::string> klice;
    for (const std::string& radek :
         ini::CistSekci(soubor, sekce).value_or(std::vector<std::string>{})) {
      auto rovnitko = radek.find('=');
      if (rovnitko == std::string::npos || rovnitko == 0) continue;
      std::string klic(Orezat(std::string_view(radek).substr(0, rovnitko), " \t"));
      if (klic.empty() || klice.Obsahuje(klic)) continue;
      klice.Pridat(klic, std::make_shared<std::string>(klic));
    }
    return klice;
  });
}

bool ExistujeSoubor(const std::string& cesta) {
  if (cesta.empty() || cesta.back() == '/') return false;
  auto lomitko = cesta.rfind('/');
  std::string slozka = lomitko == std::string::npos ? "." : cesta.substr(0, lomitko + 1);
  std::string jmeno = lomitko == std::string::npos ? cesta : cesta.substr(lomitko + 1);
  bool maska = ObsahujeZastupneZnaky(jmeno);
  if (!maska && JeSoubor(cesta)) return true;

  std::unique_ptr<DIR, ZavritAdresar> adresar(::opendir(slozka.c_str()));
  if (!adresar) return false;
  while (dirent* polozka = ::readdir(adresar.get())) {
    std::string_view nazev = polozka->d_name;
    if (nazev == "." || nazev == "..") continue;
    bool shoda = maska ? OdpovidaMasceSouboru(nazev, jmeno) : StejnyText(nazev, jmeno);
    if (shoda && JeSoubor(slozka + std::string(nazev))) return true;
  }
  return false;
}

std::string PridatLomitko(const std::string& cesta) {
  if (Orezat(cesta).empty() || cesta.back() == '/') return cesta;
  return cesta + "/";
}

std::string OriznoutNaNule(std::string_view text) {
  return std::string(text.substr(0, text.find('\0')));
}

int ZobrazChybu(const Chyba& chyba) {
  int tlacitka = chyba.Cislo() == kod::kChybaPristupuKCeste ? mb::kOpakovatStorno : mb::kOk;
  int ikona = chyba.Cislo() == kVarovani ? mb::kVykricnik : mb::kKriticka;
  return ZobrazZpravu(chyba.Popis(), tlacitka | ikona, kTitulProgramu);
}

}  // namespace zevlon
