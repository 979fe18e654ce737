#include "soubory/opakovani.h"

#include "common/chyba.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/rozhrani.h"

namespace zevlon {

namespace {

constexpr const char* kSouborNenalezen =
    ", protože nebyl nalezen soubor. Soubor daného názvu zřejmě neexistuje.";
constexpr const char* kSlozkaSouboruNenalezena =
    ", protože nebyla nalezena cesta. Zřejmě neexistuje zadaná složka.";
constexpr const char* kCestaSlozkyNenalezena =
    ", protože nebyla nalezena cesta. Zřejmě neexistuje zadaný disk nebo cesta.";

}  // namespace

const DuvodySelhani kDuvodyKopirovaniSouboru{
    kSouborNenalezen,
    ", protože byl odepřen přístup k souboru. Soubor je zřejmě otevřen nebo k němu nemáte "
    "oprávnění.",
    kSlozkaSouboruNenalezena};

const DuvodySelhani kDuvodyMazaniSouboru{
    kSouborNenalezen,
    ", protože byl odepřen přístup k souboru. Soubor je zřejmě otevřen nebo nemáte oprávnění "
    "k jeho odstranění.",
    kSlozkaSouboruNenalezena};

const DuvodySelhani kDuvodySlozek{
    nullptr, ", protože byl odepřen přístup. Zřejmě nemáte oprávnění k vytváření složek.",
    kCestaSlozkyNenalezena};

std::string Duvod(const ss::Vysledek& v, const DuvodySelhani& duvody) {
  const char* text = nullptr;
  if (v.kod == kod::kSouborNenalezen) text = duvody.souborNenalezen;
  if (v.kod == kod::kPristupOdepren) text = duvody.pristupOdepren;
  if (v.kod == kod::kCestaNenalezena) text = duvody.cestaNenalezena;
  if (text) return text;
  return ".\r\nChyba: " + v.popis;
}

std::optional<Selhani> ProvestSOpakovanim(const PopisOperace& op,
                                          const std::function<ss::Vysledek()>& krok) {
  for (;;) {
    ss::Vysledek v = krok();
    if (v.Uspech()) return std::nullopt;
    std::string zprava = op.uvod + Duvod(v, op.duvody);
    if (op.askRetry &&
        ZobrazZpravu(zprava + "\r\n\r\n" + op.otazka, kStylOtazkyOpakovani) == mb::kIdAno)
      continue;
    return Selhani{v.kod, std::move(zprava)};
  }
}

void VyvolatSelhani(const Selhani& s, const std::string& zdroj) {
  throw Chyba(s.kod, s.zprava, zdroj);
}

}  // namespace zevlon
