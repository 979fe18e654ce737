#include "tvare/terminal/terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "common/text.h"
#include "platform/procesy/ukonceni.h"
#include "platform/soubory/soubor.h"
#include "rozhrani/volba.h"
#include "tvare/terminal/stavovy_radek.h"

namespace zevlon {

namespace {

volatile sig_atomic_t zrusenoSignalem = 0;

extern "C" void PrerusitSignalem(int) {
  if (zrusenoSignalem) {
    // The second Ctrl+C: the user insists, so the program ends as without us.
    signal(SIGINT, SIG_DFL);
    raise(SIGINT);
    return;
  }
  zrusenoSignalem = 1;
}

constexpr const char* kTitulekBezNazvu = "Dunmor Merko";

// Line breaks as the terminal wants them (LF only).
std::string Radky(std::string_view text) {
  std::string s = NahraditVse(text, "\r\n", "\n");
  std::replace(s.begin(), s.end(), '\r', '\n');
  return s;
}

std::string IkonaZpravy(int styl) {
  switch (styl & 0xF0) {
    case mb::kKriticka:
      return "[Chyba] ";
    case mb::kOtaznik:
      return "[Otázka] ";
    case mb::kVykricnik:
      return "[Upozornění] ";
    case mb::kInformace:
      return "[Informace] ";
  }
  return {};
}

}  // namespace

TerminaloveRozhrani::TerminaloveRozhrani(int vstup, int vystup) : vstup_(vstup), vystup_(vystup) {
  zrusenoSignalem = 0;
  struct sigaction sa {};
  sa.sa_handler = PrerusitSignalem;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: Ctrl+C interrupts a wait for an answer
  sigaction(SIGINT, &sa, &puvodni_);
}

TerminaloveRozhrani::~TerminaloveRozhrani() {
  UkoncitRadek();
  sigaction(SIGINT, &puvodni_, nullptr);
}

bool TerminaloveRozhrani::Zruseno() const {
  return zrusenoSignalem != 0;
}

void TerminaloveRozhrani::Psat(std::string_view text) {
  (void)ZapsatVse(vystup_, text);
}

void TerminaloveRozhrani::UkoncitRadek() {
  if (posledniRadek_.empty()) return;
  Psat("\n");
  posledniRadek_.clear();
}

int TerminaloveRozhrani::Sirka() const {
  winsize w{};
  if (ioctl(vystup_, TIOCGWINSZ, &w) == 0 && w.ws_col > 1) return w.ws_col;
  return 80;
}

void TerminaloveRozhrani::Prubeh(const HlaseniPrubehu& h) {
  if (!h.podnadpis.empty()) podnadpis_ = h.podnadpis;
  zprava_ = h.zprava;
  if (h.zmenitMetr) {
    metr_ = h.celkem != 0;
    hotovo_ = h.hotovo;
    celkem_ = h.celkem;
  }
  if (h.zavritZobrazeno) {
    // The end of the run: its heading and message in full, once.
    std::string konec = Radky(podnadpis_);
    if (!zprava_.empty()) konec += "\n" + Radky(zprava_);
    if (konec == posledniKonec_) return;
    if (!posledniRadek_.empty()) Psat("\r\x1b[K");
    posledniRadek_.clear();
    posledniKonec_ = konec;
    Psat(konec + "\n");
    return;
  }
  std::string radek = StavovyRadek(podnadpis_, zprava_, metr_, hotovo_, celkem_, Sirka());
  if (radek.empty()) radek = " ";
  if (radek == posledniRadek_) return;
  Psat("\r" + radek + "\x1b[K");
  posledniRadek_ = radek;
  posledniKonec_.clear();
}

std::optional<std::string> TerminaloveRozhrani::PrecistRadek() {
  std::string radek;
  for (;;) {
    // Ctrl+C and SIGTERM answer like Storno. They may come just before the read starts,
    // when they interrupt nothing: the flags are looked at between short waits for input.
    if (Zruseno() || UkonceniVyzadano()) return std::nullopt;
    pollfd cekani{vstup_, POLLIN, 0};
    int r = ::poll(&cekani, 1, 100);
    if (r < 0 && errno != EINTR) return std::nullopt;
    if (r <= 0) continue;
    char z = 0;
    ssize_t n = ::read(vstup_, &z, 1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) {
      if (radek.empty()) return std::nullopt;
      break;
    }
    if (z == '\n') break;
    radek += z;
  }
  if (!radek.empty() && radek.back() == '\r') radek.pop_back();
  return radek;
}

void TerminaloveRozhrani::Hlavicka(const std::string& titulek, int styl) {
  UkoncitRadek();
  posledniKonec_.clear();
  Psat("\n" + IkonaZpravy(styl) + (titulek.empty() ? kTitulekBezNazvu : titulek) + "\n");
}

int TerminaloveRozhrani::Zprava(const std::string& text, int styl, const std::string& titulek) {
  std::vector<Tlacitko> t;
  switch (styl & 0x0F) {
    case 1:
      t = {{"OK", mb::kIdOk}, {"Storno", mb::kIdStorno}};
      break;
    case 2:
      t = {{"Přerušit", 3}, {"Opakovat", mb::kIdOpakovat}, {"Ignorovat", 5}};
      break;
    case 3:
      t = {{"Ano", mb::kIdAno}, {"Ne", mb::kIdNe}, {"Storno", mb::kIdStorno}};
      break;
    case mb::kAnoNe:
      t = {{"Ano", mb::kIdAno}, {"Ne", mb::kIdNe}};
      break;
    case mb::kOpakovatStorno:
      t = {{"Opakovat", mb::kIdOpakovat}, {"Storno", mb::kIdStorno}};
      break;
    default:
      t = {{"OK", mb::kIdOk}};
  }
  const std::size_t vychozi = std::min<std::size_t>((styl >> 8) & 3, t.size() - 1);
  // Without an answer (end of input, Ctrl+C) the box closes as with Escape: Storno
  // when there is one, No for a yes/no question, otherwise the only button.
  int utek = t.back().id == mb::kIdStorno
                 ? mb::kIdStorno
                 : (t.size() == 2 && t[1].id == mb::kIdNe ? mb::kIdNe : t[0].id);
  Hlavicka(titulek, styl);
  Psat(Radky(text) + "\n");
  // Buttons are numbered from 1; Storno is 0.
  auto cislo = [&](std::size_t i) {
    if (t[i].id == mb::kIdStorno) return 0;
    return static_cast<int>(i) + 1;
  };
  for (std::size_t i = 0; i < t.size(); ++i)
    Psat("  " + std::to_string(cislo(i)) + ") " + t[i].text + "\n");
  for (;;) {
    Psat("Volba [" + std::to_string(cislo(vychozi)) + "]: ");
    auto odpoved = PrecistRadek();
    if (!odpoved) {
      Psat("\n");
      return utek;
    }
    std::string_view o = Orezat(*odpoved, " \t");
    if (o.empty()) return t[vychozi].id;
    for (std::size_t i = 0; i < t.size(); ++i) {
      if (o == std::to_string(cislo(i)) || StejnyText(o, t[i].text)) return t[i].id;
    }
    Psat("Neplatná volba.\n");
  }
}

int TerminaloveRozhrani::Volba(const ParametryVolby& p) {
  ModelVolby m(p);
  Hlavicka(m.titulek, 0);
  if (!m.hlavniInstrukce.empty()) Psat(Radky(m.hlavniInstrukce) + "\n");
  if (!m.sekundarniInstrukce.empty()) Psat(Radky(m.sekundarniInstrukce) + "\n");
  for (std::size_t k = 0; k < m.radky.size(); ++k) {
    const auto& r = m.radky[k];
    Psat("  " + std::to_string(k + 1) + ") " + JedenRadek(r[0]) + "\n");
    for (std::size_t i = 1; i < 3; ++i)
      if (!r[i].empty()) Psat("     " + JedenRadek(r[i]) + "\n");
  }
  Psat("  0) Storno\n");
  if (!m.poznamka.empty()) Psat("Poznámka: " + Radky(m.poznamka) + "\n");

  const int n = static_cast<int>(m.radky.size());
  for (;;) {
    // The dialog's first row holds the focus, so an empty answer chooses it.
    Psat("Volba [1]: ");
    auto odpoved = PrecistRadek();
    if (!odpoved) {
      Psat("\n");
      m.Zrusit();
      break;
    }
    std::string_view o = Orezat(*odpoved, " \t");
    if (o.empty()) o = "1";
    if (StejnyText(o, "Storno")) o = "0";
    int k = -1;
    if (o.size() <= 4 && o.find_first_not_of("0123456789") == std::string_view::npos)
      k = std::stoi(std::string(o));
    if (k >= 0 && k <= n) {
      if (k == 0)
        m.Zrusit();
      else
        m.Zvolit(k);
      break;
    }
    Psat("Neplatná volba.\n");
  }

  if (m.zaskrtavatkoViditelne && !Zruseno()) {
    for (;;) {
      Psat(JedenRadek(m.textZaskrtavatka) + (m.zaskrtnuto ? " [A/n]: " : " [a/N]: "));
      auto odpoved = PrecistRadek();
      if (!odpoved) {
        Psat("\n");
        break;
      }
      std::string_view o = Orezat(*odpoved, " \t");
      if (o.empty()) break;
      if (StejnyText(o, "a") || StejnyText(o, "ano")) {
        m.zaskrtnuto = true;
        break;
      }
      if (StejnyText(o, "n") || StejnyText(o, "ne")) {
        m.zaskrtnuto = false;
        break;
      }
      Psat("Odpovězte a (ano) nebo n (ne).\n");
    }
  }
  return m.Vysledek();
}

void TerminaloveRozhrani::Nadpis(const std::string& text) {
  UkoncitRadek();
  posledniKonec_.clear();
  Psat("\n" + JedenRadek(text) + "\n");
}

void TerminaloveRozhrani::Oznamit(const std::string& text) {
  UkoncitRadek();
  Psat(Radky(text) + "\n");
}

std::optional<std::string> TerminaloveRozhrani::Zeptat(const std::string& nadpis,
                                                       const std::vector<std::string>& polozky,
                                                       const std::string& vychozi,
                                                       const std::string& vyzva, bool jenPolozky) {
  UkoncitRadek();
  if (!nadpis.empty()) Psat(JedenRadek(nadpis) + "\n");
  std::string vychoziText = jenPolozky ? "" : JedenRadek(vychozi);
  std::string nazvy;
  for (std::size_t i = 0; i < polozky.size(); ++i) {
    Psat("  " + std::to_string(i + 1) + ") " + JedenRadek(polozky[i]) + "\n");
    if (StejnyText(polozky[i], vychozi)) vychoziText = std::to_string(i + 1);
    nazvy += (i ? ", " : "") + std::to_string(i + 1) + ") " + JedenRadek(polozky[i]);
  }
  for (;;) {
    Psat(JedenRadek(vyzva) + (vychoziText.empty() ? "" : " [" + vychoziText + "]") + ": ");
    auto odpoved = PrecistRadek();
    if (!odpoved) {
      Psat("\n");
      return std::nullopt;
    }
    std::string o(Orezat(*odpoved, " \t"));
    if (o.empty() && !vychoziText.empty()) o = vychoziText;
    if (o.empty() && !jenPolozky) return vychozi;
    if (!o.empty() && o.size() <= 4 && o.find_first_not_of("0123456789") == std::string::npos) {
      const std::size_t k = std::stoul(o);
      if (k >= 1 && k <= polozky.size()) return polozky[k - 1];
    }
    for (const std::string& p : polozky)
      if (StejnyText(o, p)) return p;
    if (!jenPolozky) return o;
    Psat("Neplatná volba. Zvolte jednu z možností: " + nazvy + ".\n");
  }
}

}  // namespace zevlon
