#include "soubory/operace_souboru.h"

#include <functional>

#include "common/chyba.h"
#include "common/text.h"
#include "platform/soubory/souborovy_system.h"
#include "rozhrani/pomucky.h"
#include "soubory/cesty.h"
#include "soubory/opakovani.h"

namespace zevlon {

namespace {

// Deletes every file (not folder) of the pattern's folder that matches its last
// component; no match is "file not found".
ss::Vysledek SmazatPodleVzoru(const std::string& cesta) {
  std::string slozka, vzor;
  RozdelitCestu(cesta, slozka, vzor);
  std::vector<ss::PolozkaSlozky> polozky;
  if (auto v = ss::CistSlozku(slozka.empty() ? "." : slozka, polozky); !v.Uspech()) return v;
  bool nalezeno = false;
  for (const auto& p : polozky) {
    if (p.slozka || !OdpovidaMasceSouboru(p.jmeno, vzor)) continue;
    nalezeno = true;
    if (auto v = ss::SmazatSoubor(slozka + p.jmeno); !v.Uspech()) return v;
  }
  if (!nalezeno) return {kod::kSouborNenalezen, "Soubor nebyl nalezen."};
  return {};
}

// One attribute step of a deletion: when the bit is set, write the word that
// uprava makes of the current one.
template <typename Uprava>
ss::Vysledek UpravitAtribut(const std::string& cesta, std::uint32_t bit, Uprava uprava) {
  std::uint32_t a = 0;
  if (auto v = ss::CistAtributy(cesta, a); !v.Uspech()) return v;
  if (!MaPriznak(a, bit)) return {};
  return ss::NastavitAtributy(cesta, uprava(a));
}

// A copy with its question and failure; `krok` makes it.
void Kopie(const std::string& zdroj, const std::string& cil,
           const std::function<ss::Vysledek()>& krok, bool askRetry) {
  PopisOperace op{"Nepodařilo se zkopírovat soubor z '" + zdroj + "' do '" + cil + "'",
                  kDuvodyKopirovaniSouboru, "Přejete si opakovat pokus o zkopírování souboru?",
                  askRetry};
  if (auto s = ProvestSOpakovanim(op, krok)) VyvolatSelhani(*s, "mPomucky::KopirovatSoubor");
}

}  // namespace

void KopirovatSoubor(const std::string& zdroj, const std::string& cil, bool askRetry) {
  Kopie(
      zdroj, cil, [&] { return ss::ZkopirovatSoubor(zdroj, cil); }, askRetry);
}

void PresunoutSoubor(const std::string& zdroj, const std::string& cil, bool askRetry) {
  if (ss::Presunout(zdroj, cil).Uspech()) return;
  KopirovatSoubor(zdroj, cil, askRetry);
  SmazatSoubor(zdroj, askRetry);
}

void KopirovatSouborDo(const std::string& zdroj, const ss::CilVeSlozce& cil, bool askRetry) {
  Kopie(
      zdroj, cil.cesta, [&] { return ss::ZkopirovatSouborDo(zdroj, cil); }, askRetry);
}

bool KopirovatOtevrenyDo(int vstup, const struct stat& zs, const std::string& zdroj,
                         const ss::CilVeSlozce& cil, std::optional<UtcCas> cas, bool askRetry) {
  bool zmenen = false;
  Kopie(
      zdroj, cil.cesta,
      [&] { return ss::ZkopirovatOtevrenyDo(vstup, zs, zdroj, cil, cas, &zmenen); }, askRetry);
  return !zmenen;
}

void PresunoutSouborDo(const std::string& zdroj, const ss::CilVeSlozce& cil, bool askRetry) {
  if (ss::PrejmenovatDo(zdroj, cil).Uspech()) return;
  KopirovatSouborDo(zdroj, cil, askRetry);
  SmazatSoubor(zdroj, askRetry);
}

void SmazatSoubor(const std::string& cesta, bool askRetry) {
  PopisOperace op{"Nepodařilo se odstranit soubor '" + cesta + "'", kDuvodyMazaniSouboru,
                  "Přejete si opakovat pokus o odstranění souboru?", askRetry};
  auto krok = [&](const std::function<ss::Vysledek()>& f) {
    if (auto s = ProvestSOpakovanim(op, f)) VyvolatSelhani(*s, "mPomucky::SmazatSoubor");
  };
  if (!ObsahujeZastupneZnaky(cesta)) {
    krok([&] {
      return UpravitAtribut(cesta, atribut::kSkryty, [](auto a) { return a & ~atribut::kSkryty; });
    });
    krok([&] {
      return UpravitAtribut(cesta, atribut::kJenProCteni, [](auto) { return atribut::kNormalni; });
    });
    krok([&] {
      return UpravitAtribut(cesta, atribut::kSystemovy,
                            [](auto a) { return a & ~atribut::kSystemovy; });
    });
    krok([&] { return ss::SmazatSoubor(cesta); });
  } else {
    krok([&] { return SmazatPodleVzoru(cesta); });
  }
}

void NastavitAtributy(const std::string& cesta, std::uint32_t atributy) {
  if (auto v = ss::NastavitAtributy(cesta, atributy); !v.Uspech())
    throw Chyba(v.kod, v.popis, "mPomucky::NastavitAtributy");
}

std::uint32_t CistAtributy(const std::string& cesta) {
  std::uint32_t a = 0;
  if (auto v = ss::CistAtributy(cesta, a); !v.Uspech())
    throw Chyba(v.kod, v.popis, "mPomucky::CistAtributy");
  return a;
}

}  // namespace zevlon
