#include "prenos/podpisy/overeni.h"

#include <chrono>

#include "common/chyba.h"
#include "platform/soubory/soubor.h"
#include "prenos/podpisy/sha256.h"

namespace zevlon {

namespace {

[[noreturn]] void Neplatny(const std::string& adresa, const std::string& duvod) {
  VyvolatChybu("Soubor " + adresa + " nemá platný podpis: " + duvod + ".");
}

}  // namespace

void OveritPodpisSouboru(const std::string& soubor, const std::string& podpisSoubor,
                         std::span<const podpis::VerejnyKlic> klice,
                         std::optional<std::int64_t> platnostDni, Okamzik ted,
                         const std::string& adresa) {
  auto text = NacistSoubor(podpisSoubor);
  if (!text) Neplatny(adresa, "podpis " + adresa + kPriponaPodpisu + " chybí");
  std::optional<podpis::Podpis> p = podpis::CistPodpis(*text);
  if (!p) Neplatny(adresa, "soubor " + adresa + kPriponaPodpisu + " není podpis minisign");
  auto obsah = NacistSoubor(soubor);
  if (!obsah) Neplatny(adresa, "soubor nelze přečíst");
  switch (podpis::Overit(*p, klice, *obsah)) {
    case podpis::Overeni::kPlatny:
      break;
    case podpis::Overeni::kJinyKlic:
      Neplatny(adresa, "je podepsán klíčem " + podpis::TextId(p->id) +
                           ", který není mezi nastavenými veřejnými klíči");
    case podpis::Overeni::kNeplatny:
      throw Chyba(kChybaPodpisNeodpovida,
                  "Soubor " + adresa + " nemá platný podpis: podpis neodpovídá obsahu.");
  }
  if (platnostDni) {
    std::optional<std::int64_t> kdy = podpis::CasPodpisu(p->duveryhodnyKomentar);
    if (!kdy) Neplatny(adresa, "podpis neuvádí, kdy byl vytvořen");
    const std::int64_t nyni =
        std::chrono::duration_cast<std::chrono::seconds>(ted.time_since_epoch()).count();
    const std::int64_t stari = nyni - *kdy;
    // A day of clock difference is allowed; a date beyond it would never grow old.
    if (stari < -86400)
      Neplatny(adresa, "byl podepsán s datem v budoucnosti (" + std::to_string(*kdy) + ")");
    if (stari > *platnostDni * 86400)
      Neplatny(adresa, "byl podepsán před " + std::to_string(stari / 86400) +
                           " dny, nastavení dovoluje nejvýše " + std::to_string(*platnostDni));
  }
}

void OveritKontrolniSoucet(const std::string& soubor, const std::string& ocekavano,
                           const std::string& nazev, const char* odkud) {
  std::optional<std::string> h = Sha256Souboru(soubor);
  if (!h || *h != ocekavano)
    VyvolatChybu("Soubor " + nazev + " neodpovídá kontrolnímu součtu " + odkud + ".");
}

}  // namespace zevlon
