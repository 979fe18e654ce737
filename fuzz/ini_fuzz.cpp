// Fuzzes the private-profile INI functions with the input as the file. The reads must
// agree with each other (a key reads as the first line of its section that names it),
// and each write is checked against its contract: the written key reads back, no
// other key or section reads differently, and apart from the one line replaced or the
// lines added (or the section removed) every byte of the file stays as it was.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/kodovani.h"
#include "common/text.h"
#include "platform/nahrady/ini.h"
#include "pomucky.h"

namespace {

using namespace zevlon;
using fuzz::JinaVelikost;
using fuzz::Pracoviste;
using fuzz::Ukazat;

constexpr std::string_view kMezery = " \t";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
// How many names of the input the checks use.
constexpr std::size_t kNejviceSekci = 4;
constexpr std::size_t kNejviceKlicu = 8;

using Sekce = std::optional<std::vector<std::string>>;
using Hodnota = std::optional<std::string>;

std::string Orez(std::string_view s) {
  return std::string(Orezat(s, kMezery));
}

bool StejneJmeno(std::string_view a, std::string_view b) {
  return SlozitVelikost(Orezat(a, kMezery)) == SlozitVelikost(Orezat(b, kMezery));
}

// A value as the reader hands it out: trimmed, matching outer quotes removed.
std::string JakCteno(std::string_view h) {
  h = Orezat(h, kMezery);
  if (h.size() >= 2 && (h.front() == '"' || h.front() == '\'') && h.back() == h.front())
    h = h.substr(1, h.size() - 2);
  return std::string(h);
}

// One line of the file as bytes: its content and its line end (LF, CR LF, or at the
// end of the file nothing or a lone CR, which the reader also leaves out).
struct Radek {
  std::string_view obsah;
  std::string_view konec;
};

std::vector<Radek> Radky(std::string_view b) {
  std::vector<Radek> radky;
  while (!b.empty()) {
    std::size_t lf = b.find('\n');
    std::size_t delka = lf == std::string_view::npos ? b.size() : lf + 1;
    std::string_view cely = b.substr(0, delka);
    std::size_t obsah = lf == std::string_view::npos ? cely.size() : lf;
    if (obsah > 0 && cely[obsah - 1] == '\r') --obsah;
    radky.push_back({cely.substr(0, obsah), cely.substr(obsah)});
    b.remove_prefix(delka);
  }
  return radky;
}

// The names the input holds, found by the rules the header documents: sections and
// the keys of each section (lines before the first header belong to none).
struct Nazvy {
  std::vector<std::string> sekce;
  std::vector<std::string> vsechnySekce;  // every header, case-folded
  std::vector<std::pair<std::string, std::string>> klice;
};

Nazvy NajitNazvy(std::string_view text) {
  Nazvy n;
  std::optional<std::string> aktualni;
  for (const Radek& r : Radky(text)) {
    std::string_view t = Orezat(r.obsah, kMezery);
    if (t.empty() || t.front() == ';') continue;
    std::size_t zavorka = t.rfind(']');
    if (t.front() == '[' && zavorka != std::string_view::npos && zavorka > 0) {
      aktualni = Orez(t.substr(1, zavorka - 1));
      n.vsechnySekce.push_back(SlozitVelikost(*aktualni));
      if (n.sekce.size() < kNejviceSekci) n.sekce.push_back(*aktualni);
      continue;
    }
    if (aktualni && n.klice.size() < kNejviceKlicu)
      n.klice.emplace_back(*aktualni, Orez(t.substr(0, t.find('='))));
  }
  return n;
}

// What the reader answers for every name found.
struct Cteni {
  std::vector<Sekce> sekce;
  std::vector<Hodnota> klice;
};

Cteni CistVse(const std::string& soubor, const Nazvy& n) {
  Cteni c;
  for (const auto& s : n.sekce)
    c.sekce.push_back(ini::CistSekci(soubor, s));
  for (const auto& [s, k] : n.klice)
    c.klice.push_back(ini::CistKlic(soubor, s, k));
  return c;
}

// A key reads as the value of the first line of its section's listing that names it.
void OveritSoulad(const std::string& soubor, std::string_view sekce, std::string_view klic) {
  Hodnota h = ini::CistKlic(soubor, sekce, klic);
  Sekce radky = ini::CistSekci(soubor, sekce);
  if (!radky) {
    OVERIT(!h, "klíč bez sekce " + Ukazat(sekce) + " " + Ukazat(klic));
    return;
  }
  Hodnota cekana;
  for (const std::string& r : *radky) {
    std::size_t rovno = r.find('=');
    if (!StejneJmeno(r.substr(0, rovno), klic)) continue;
    cekana = rovno == std::string::npos ? std::string() : JakCteno(r.substr(rovno + 1));
    break;
  }
  OVERIT(h == cekana, "CistKlic a CistSekci nesouhlasí: " + Ukazat(sekce) + " " + Ukazat(klic) +
                          " čte " + Ukazat(h.value_or("<nic>")) + ", sekce dává " +
                          Ukazat(cekana.value_or("<nic>")));
}

// Texts the writer must accept: UTF-8 without CR, LF and NUL; section names without
// brackets; keys not blank, without "=" or brackets, not starting with ";".
bool CistyText(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
         JePlatneUtf8(s);
}
bool CistaSekce(std::string_view s) {
  return CistyText(s) && s.find_first_of("[]") == std::string_view::npos;
}
bool CistyKlic(std::string_view k) {
  std::string_view t = Orezat(k, kMezery);
  return CistyText(k) && !t.empty() && t.front() != ';' &&
         t.find_first_of("=[]") == std::string_view::npos;
}

struct Soubor {
  std::string bajty;
  Kodovani kodovani;
  std::size_t bom;       // length of the BOM
  std::string_view eol;  // line end of added lines
};

Soubor Rozebrat(std::string bajty) {
  Soubor s{std::move(bajty), Kodovani::kUtf8, 0, "\r\n"};
  s.kodovani = Dekodovat(s.bajty).kodovani;
  if (std::string_view(s.bajty).starts_with(kBom)) s.bom = kBom.size();
  std::string_view telo = std::string_view(s.bajty).substr(s.bom);
  if (telo.find('\n') != std::string_view::npos && telo.find("\r\n") == std::string_view::npos)
    s.eol = "\n";
  return s;
}

// UTF-8 text as the file's encoding writes it.
std::string DoSouboru(const Soubor& s, std::string_view text) {
  if (s.kodovani != Kodovani::kCp1250) return std::string(text);
  auto k = Do1250(text);
  OVERIT(k, "text se nevejde do Windows-1250 a soubor zůstal: " + Ukazat(text));
  return *k;
}
std::string ZeSouboru(const Soubor& s, std::string_view bajty) {
  return s.kodovani == Kodovani::kCp1250 ? Z1250(bajty) : std::string(bajty);
}

// Reads that a change of section `sekce` (and key `klic`, when given) must leave as
// they were.
void OveritOstatni(const std::string& soubor, const Nazvy& n, const Cteni& pred,
                   std::string_view sekce, const std::string* klic) {
  Cteni po = CistVse(soubor, n);
  for (std::size_t i = 0; i < n.sekce.size(); ++i)
    if (!StejneJmeno(n.sekce[i], sekce))
      OVERIT(po.sekce[i] == pred.sekce[i],
             "jiná sekce se změnila: " + Ukazat(n.sekce[i]) + " po zápisu do " + Ukazat(sekce));
  for (std::size_t i = 0; i < n.klice.size(); ++i) {
    const auto& [s, k] = n.klice[i];
    bool tenTyz = StejneJmeno(s, sekce) && (!klic || StejneJmeno(k, *klic));
    if (!tenTyz)
      OVERIT(po.klice[i] == pred.klice[i], "jiný klíč se změnil: " + Ukazat(s) + " " + Ukazat(k) +
                                               " z " + Ukazat(pred.klice[i].value_or("<nic>")) +
                                               " na " + Ukazat(po.klice[i].value_or("<nic>")));
  }
}

// Byte check of ZapsatKlic: either the one line of the key was replaced (its
// indentation, key spelling and line end kept), or whole lines were added.
void OveritBajtyZapisu(const Soubor& pred, const std::string& po, const std::string& sekce,
                       const std::string& klic, const std::string& hodnota, bool klicByl,
                       bool sekceByla) {
  if (po == pred.bajty) return;
  OVERIT(
      std::string_view(po).substr(0, pred.bom) == std::string_view(pred.bajty).substr(0, pred.bom),
      "BOM se změnil");
  // A last line without a line end gets one before lines are added after it (a lone
  // CR there, which already reads as the line end, only gets its LF).
  std::string puvodni = pred.bajty;
  if (!klicByl && puvodni.size() > pred.bom && puvodni.back() != '\n') {
    std::string doplnek = puvodni.back() == '\r' ? std::string("\n") : std::string(pred.eol);
    if (std::string_view(po).starts_with(puvodni + doplnek)) puvodni += doplnek;
  }
  auto a = Radky(std::string_view(puvodni).substr(pred.bom));
  auto b = Radky(std::string_view(po).substr(pred.bom));
  auto stejne = [](const Radek& x, const Radek& y) {
    return x.obsah == y.obsah && x.konec == y.konec;
  };
  std::size_t zacatek = 0;
  while (zacatek < a.size() && zacatek < b.size() && stejne(a[zacatek], b[zacatek]))
    ++zacatek;
  std::size_t konec = 0;
  while (konec < a.size() - zacatek && konec < b.size() - zacatek &&
         stejne(a[a.size() - 1 - konec], b[b.size() - 1 - konec]))
    ++konec;
  std::size_t stare = a.size() - zacatek - konec, nove = b.size() - zacatek - konec;
  const std::string zmena = "zápis " + Ukazat(sekce) + " " + Ukazat(klic) + " = " +
                            Ukazat(hodnota) + " do " + Ukazat(pred.bajty) + " dal " + Ukazat(po);

  if (klicByl) {
    OVERIT(stare == 1 && nove == 1, "nahrazen má být právě jeden řádek: " + zmena);
    const Radek& r = a[zacatek];
    const Radek& n = b[zacatek];
    std::size_t odsazeni = r.obsah.find_first_not_of(kMezery);
    OVERIT(odsazeni != std::string_view::npos, "nahrazen prázdný řádek: " + zmena);
    std::string_view zbytek = r.obsah.substr(odsazeni);
    std::string jakPsan = Orez(ZeSouboru(pred, zbytek.substr(0, zbytek.find('='))));
    OVERIT(StejneJmeno(jakPsan, klic), "nahrazen řádek jiného klíče: " + zmena);
    std::string cekany =
        std::string(r.obsah.substr(0, odsazeni)) + DoSouboru(pred, jakPsan + "=" + hodnota);
    OVERIT(n.obsah == cekany && n.konec == r.konec,
           "řádek klíče má být " + Ukazat(cekany) + Ukazat(r.konec) + ": " + zmena);
    return;
  }
  OVERIT(stare == 0, "přidání změnilo jiné řádky: " + zmena);
  std::vector<std::string> cekane;
  if (!sekceByla) cekane.push_back("[" + Orez(sekce) + "]");
  cekane.push_back(Orez(klic) + "=" + hodnota);
  OVERIT(nove == cekane.size(), "přidat se má " + std::to_string(cekane.size()) +
                                    " řádků, přidáno " + std::to_string(nove) + ": " + zmena);
  for (std::size_t i = 0; i < nove; ++i) {
    const Radek& n = b[zacatek + i];
    OVERIT(n.obsah == DoSouboru(pred, cekane[i]) && n.konec == pred.eol,
           "přidaný řádek má být " + Ukazat(cekane[i]) + ": " + zmena);
  }
  if (!sekceByla) OVERIT(konec == 0, "nová sekce má být na konci: " + zmena);
}

void OveritZapisKlice(const Soubor& vstup, const Nazvy& n, const Cteni& pred,
                      const std::string& sekce, const std::string& klic,
                      const std::string& hodnota) {
  const std::string soubor = Pracoviste::Instance().Cesta("zapis.ini");
  fuzz::Zapsat(soubor, vstup.bajty);
  bool klicByl = ini::CistKlic(soubor, sekce, klic).has_value();
  bool sekceByla = ini::CistSekci(soubor, sekce).has_value();

  bool ok = ini::ZapsatKlic(soubor, sekce, klic, hodnota);
  auto po = fuzz::Precist(soubor);
  OVERIT(po, "soubor po zápisu chybí");
  if (!ok) {
    OVERIT(*po == vstup.bajty, "odmítnutý zápis změnil soubor");
    OVERIT(!(CistaSekce(sekce) && CistyKlic(klic) && CistyText(hodnota)),
           "odmítnut zápis " + Ukazat(sekce) + " " + Ukazat(klic) + " = " + Ukazat(hodnota));
    return;
  }
  Hodnota cteno = ini::CistKlic(soubor, sekce, klic);
  OVERIT(cteno == JakCteno(hodnota), "zapsaný klíč " + Ukazat(sekce) + " " + Ukazat(klic) +
                                         " čte " + Ukazat(cteno.value_or("<nic>")) + " místo " +
                                         Ukazat(hodnota) + " v " + Ukazat(*po));
  OveritOstatni(soubor, n, pred, sekce, &klic);
  OveritSoulad(soubor, sekce, klic);

  // The bytes, unless a Windows-1250 file had to become UTF-8 as a whole (the reads
  // above still hold then).
  if (vstup.kodovani == Kodovani::kCp1250 && Rozebrat(*po).kodovani != Kodovani::kCp1250) return;
  OveritBajtyZapisu(vstup, *po, sekce, klic, hodnota, klicByl, sekceByla);
}

void OveritSmazaniSekce(const Soubor& vstup, const Nazvy& n, const Cteni& pred,
                        const std::string& sekce) {
  const std::string soubor = Pracoviste::Instance().Cesta("smazat.ini");
  fuzz::Zapsat(soubor, vstup.bajty);
  bool ok = ini::SmazatSekci(soubor, sekce);
  auto po = fuzz::Precist(soubor);
  OVERIT(po, "soubor po smazání sekce chybí");
  if (!ok) {
    OVERIT(*po == vstup.bajty, "odmítnuté smazání změnilo soubor");
    OVERIT(!CistyText(sekce), "odmítnuto smazání sekce " + Ukazat(sekce));
    return;
  }
  OveritOstatni(soubor, n, pred, sekce, nullptr);
  auto pocet = std::count(n.vsechnySekce.begin(), n.vsechnySekce.end(),
                          SlozitVelikost(Orezat(sekce, kMezery)));
  OVERIT(ini::CistSekci(soubor, sekce).has_value() == (pocet > 1),
         "po smazání sekce " + Ukazat(sekce) + " (" + std::to_string(pocet) + "x) zbylo " +
             Ukazat(*po));
  // Only a run of bytes was taken out (unless a Windows-1250 file became UTF-8 as a
  // whole): what follows the common start is the old end.
  if (vstup.kodovani == Kodovani::kCp1250 && Rozebrat(*po).kodovani != Kodovani::kCp1250) return;
  std::size_t spolecne = 0;
  while (spolecne < po->size() && (*po)[spolecne] == vstup.bajty[spolecne])
    ++spolecne;
  OVERIT(pocet == 0 ? *po == vstup.bajty
                    : po->size() < vstup.bajty.size() &&
                          std::string_view(vstup.bajty).ends_with(po->substr(spolecne)),
         "smazání sekce změnilo i jiné bajty: " + Ukazat(vstup.bajty) + " -> " + Ukazat(*po));
}

void OveritZapisSekce(const Soubor& vstup, const Nazvy& n, const Cteni& pred,
                      const std::string& sekce) {
  static const std::vector<std::string> kRadky = {"Zevlon=1", "  Žluťoučký = kůň  ", "holý klíč"};
  static const std::vector<std::string> kCtene = {"Zevlon=1", "Žluťoučký=kůň", "holý klíč"};
  const std::string soubor = Pracoviste::Instance().Cesta("sekce.ini");
  fuzz::Zapsat(soubor, vstup.bajty);
  bool ok = ini::ZapsatSekci(soubor, sekce, kRadky);
  auto po = fuzz::Precist(soubor);
  OVERIT(po, "soubor po zápisu sekce chybí");
  if (!ok) {
    OVERIT(*po == vstup.bajty, "odmítnutý zápis sekce změnil soubor");
    OVERIT(!CistaSekce(sekce), "odmítnut zápis sekce " + Ukazat(sekce));
    return;
  }
  Sekce cteno = ini::CistSekci(soubor, sekce);
  OVERIT(cteno == kCtene, "zapsaná sekce " + Ukazat(sekce) + " čte jinak: " + Ukazat(*po));
  OveritOstatni(soubor, n, pred, sekce, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Pracoviste& p = Pracoviste::Instance();
  p.Vycistit();
  const Soubor vstup = Rozebrat(std::string(reinterpret_cast<const char*>(data), size));
  const Nazvy n = NajitNazvy(Dekodovat(vstup.bajty).text);

  // Reads: every name found, agreeing with each other and without regard to case.
  const std::string soubor = p.Cesta("cteni.ini");
  fuzz::Zapsat(soubor, vstup.bajty);
  const Cteni pred = CistVse(soubor, n);
  for (std::size_t i = 0; i < n.klice.size(); ++i) {
    const auto& [s, k] = n.klice[i];
    OveritSoulad(soubor, s, k);
    OVERIT(ini::CistKlic(soubor, JinaVelikost(s), " " + JinaVelikost(k) + "\t") == pred.klice[i],
           "klíč čte jinak v jiné velikosti písmen: " + Ukazat(s) + " " + Ukazat(k));
  }
  OveritSoulad(soubor, "", "");
  OveritSoulad(soubor, "Zevlon", "Klic");

  // Writes, each on a fresh copy of the input: an existing key, a new key in an
  // existing section, a new section, and the last key found spelled otherwise.
  const std::string prvniSekce = n.sekce.empty() ? std::string("Sekce") : n.sekce.front();
  const auto prvniKlic =
      n.klice.empty() ? std::pair<std::string, std::string>("Sekce", "Klic") : n.klice.front();
  const auto posledniKlic = n.klice.empty() ? prvniKlic : n.klice.back();
  OveritZapisKlice(vstup, n, pred, prvniKlic.first, prvniKlic.second, "1");
  OveritZapisKlice(vstup, n, pred, JinaVelikost(prvniSekce), "ZevlonNovyKlic",
                   "Žluťoučký kůň úpěl ďábelské ódy");
  OveritZapisKlice(vstup, n, pred, "Zevlon nová sekce", "Klíč", " \"v uvozovkách\u200B\" ");
  OveritZapisKlice(vstup, n, pred, " " + JinaVelikost(posledniKlic.first),
                   JinaVelikost(posledniKlic.second) + " ", "a=b;c");
  OveritSmazaniSekce(vstup, n, pred, prvniSekce);
  OveritZapisSekce(vstup, n, pred, n.sekce.empty() ? prvniSekce : n.sekce.back());

  p.Vycistit();
  return 0;
}
