#include "tvare/terminal/moznosti_terminal.h"

#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "tvare/moznosti.h"

namespace zevlon {

namespace {

using Texty = std::vector<std::string>;

constexpr const char* kAutomaticky = "Instalovat aktualizace automaticky";
constexpr const char* kRucne = "Nevyhledávat instalace, vyhledám je sám";

// One round of questions into the model; false when the user ended them.
bool Zeptat(TerminaloveRozhrani& ui, ModelMoznosti& m) {
  auto slozka = ui.Zeptat("Aktualizovat složku profilu", m.comProfily.polozky,
                          m.comProfily.text.empty() && !m.comProfily.polozky.empty()
                              ? m.comProfily.polozky.front()
                              : m.comProfily.text,
                          "Složka profilu (číslo nebo cesta)");
  if (!slozka) return false;
  m.comProfily.text = *slozka;
  auto zrcadlo = ui.Zeptat("", {}, m.txtZrcadlo, "Zrcadlo webu v kanceláři (nepovinné)");
  if (!zrcadlo) return false;
  m.txtZrcadlo = *zrcadlo;
  for (auto [pole, otazka] : {std::pair{&m.txtProxy, "Proxy (nepovinné)"},
                              {&m.txtBezProxy, "Bez proxy pro (nepovinné)"}}) {
    auto odpoved = ui.Zeptat("", {}, *pole, otazka);
    if (!odpoved) return false;
    *pole = *odpoved;
  }

  auto rezim = ui.Zeptat("Aktualizovat", {kAutomaticky, kRucne},
                         m.OptAktualizovat ? kAutomaticky : kRucne, "Volba", true);
  if (!rezim) return false;
  if (!StejnyText(*rezim, kAutomaticky)) {
    m.ZvolitNeaktualizovat();
    return true;
  }
  m.ZvolitAktualizovat();
  auto cas = ui.Zeptat("", {}, m.comHodiny.text, "Čas spuštění (HH:MM)");
  if (!cas) return false;
  m.comHodiny.text = *cas;
  const std::string den = m.comDen.text;
  auto cetnost = ui.Zeptat("Četnost", m.comMoznosti.polozky, m.comMoznosti.text, "Volba", true);
  if (!cetnost) return false;
  m.ZmenitCetnost(*cetnost);
  if (!m.comDen.povoleno) return true;
  // The day given before stays the default while it fits the frequency's list.
  for (const std::string& p : m.comDen.polozky)
    if (StejnyText(p, den)) m.comDen.text = p;
  const bool tydne = StejnyText(*cetnost, kCetnostTydne);
  auto vybranyDen = ui.Zeptat(tydne ? "Den v týdnu" : "", tydne ? m.comDen.polozky : Texty{},
                              m.comDen.text, tydne ? "Den" : "Den v měsíci (1 až 28)", tydne);
  if (!vybranyDen) return false;
  m.comDen.text = *vybranyDen;
  // A day of the month may be typed without its period.
  if (!tydne && !m.comDen.text.empty() && m.comDen.text.back() != '.') m.comDen.text += '.';
  return true;
}

}  // namespace

int MoznostiNaTerminalu(TerminaloveRozhrani& ui) {
  ModelMoznosti m;
  ui.Nadpis(kTitulekMoznosti);
  for (;;) {
    if (!Zeptat(ui, m)) return 2;
    if (m.Ok()) {
      ui.Oznamit("Možnosti byly uloženy.");
      return 0;
    }
  }
}

}  // namespace zevlon
