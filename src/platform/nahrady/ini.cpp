#include "platform/nahrady/ini.h"

#include <sys/stat.h>

#include <cerrno>
#include <functional>
#include <utility>

#include "common/kodovani.h"
#include "common/text.h"
#include "platform/soubory/soubor.h"

namespace zevlon::ini {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kMezery = " \t";
constexpr std::size_t kNic = static_cast<std::size_t>(-1);

enum class Druh {
  kPrazdny,   // blank
  kKomentar,  // ";..."
  kSekce,     // "[name]"
  kKlic,      // "key=value"
  kBezRovna,  // any other text: a key without "=" (reads as an empty value)
};

struct Rozbor {
  Druh druh = Druh::kPrazdny;
  std::string nazev;    // section name or key, trimmed
  std::string hodnota;  // kKlic: the value, trimmed, quotes kept
};

// How one line reads, from its UTF-8 text without the line end.
Rozbor RozebratRadek(std::string_view text) {
  Rozbor r;
  std::string_view t = Orezat(text, kMezery);
  if (t.empty()) return r;
  if (t.front() == ';') {
    r.druh = Druh::kKomentar;
    return r;
  }
  // A header runs to the last "]" on the line; a "[" without one is a key line.
  if (t.front() == '[') {
    std::size_t zavorka = t.rfind(']');
    if (zavorka != std::string_view::npos && zavorka > 0) {
      r.druh = Druh::kSekce;
      r.nazev = Orezat(t.substr(1, zavorka - 1), kMezery);
      return r;
    }
  }
  std::size_t rovno = t.find('=');
  if (rovno == std::string_view::npos) {
    r.druh = Druh::kBezRovna;
    r.nazev = t;
    return r;
  }
  r.druh = Druh::kKlic;
  r.nazev = Orezat(t.substr(0, rovno), kMezery);
  r.hodnota = Orezat(t.substr(rovno + 1), kMezery);
  return r;
}

// The value as the profile functions hand it out: matching outer quotes removed.
std::string BezUvozovek(std::string_view h) {
  if (h.size() >= 2 && (h.front() == '"' || h.front() == '\'') && h.back() == h.front())
    h = h.substr(1, h.size() - 2);
  return std::string(h);
}

struct Radek {
  std::size_t zacatek = 0;      // first byte
  std::size_t konecObsahu = 0;  // before the CR LF or LF
  std::size_t konec = 0;        // after the line end
  Rozbor rozbor;
};

// A file as bytes with its lines; offsets point into `bajty`.
struct Obsah {
  std::string bajty;
  std::size_t telo = 0;  // length of the BOM
  Kodovani kodovani = Kodovani::kUtf8;
  std::string konecRadku = "\r\n";  // for lines we add
  std::vector<Radek> radky;

  bool KonciBezKonceRadku() const { return bajty.size() > telo && bajty.back() != '\n'; }
};

Obsah Rozebrat(std::string bajty) {
  Obsah o;
  o.bajty = std::move(bajty);
  const std::string& b = o.bajty;
  if (std::string_view(b).substr(0, kBom.size()) == kBom) o.telo = kBom.size();
  o.kodovani = Dekodovat(b).kodovani;
  std::string_view telo = std::string_view(b).substr(o.telo);
  // CR LF when the file uses it anywhere or has no line end yet; LF for a pure LF file.
  if (telo.find('\n') != std::string_view::npos && telo.find("\r\n") == std::string_view::npos)
    o.konecRadku = "\n";

  for (std::size_t pos = o.telo; pos < b.size();) {
    Radek r;
    r.zacatek = pos;
    std::size_t lf = b.find('\n', pos);
    r.konecObsahu = lf == std::string::npos ? b.size() : lf;
    r.konec = lf == std::string::npos ? b.size() : lf + 1;
    if (r.konecObsahu > r.zacatek && b[r.konecObsahu - 1] == '\r') --r.konecObsahu;
    std::string_view surovy = std::string_view(b).substr(r.zacatek, r.konecObsahu - r.zacatek);
    r.rozbor =
        o.kodovani == Kodovani::kCp1250 ? RozebratRadek(Z1250(surovy)) : RozebratRadek(surovy);
    pos = r.konec;
    o.radky.push_back(std::move(r));
  }
  return o;
}

// Index of the header of the first section of that name, or kNic.
std::size_t NajitSekci(const Obsah& o, std::string_view sekce) {
  const std::string hledana = SlozitVelikost(Orezat(sekce, kMezery));
  for (std::size_t i = 0; i < o.radky.size(); ++i)
    if (o.radky[i].rozbor.druh == Druh::kSekce &&
        SlozitVelikost(o.radky[i].rozbor.nazev) == hledana)
      return i;
  return kNic;
}

// Index one past the last line of the section whose header is at `hlavicka`.
std::size_t KonecSekce(const Obsah& o, std::size_t hlavicka) {
  std::size_t i = hlavicka + 1;
  while (i < o.radky.size() && o.radky[i].rozbor.druh != Druh::kSekce)
    ++i;
  return i;
}

// Index of the last line of the section that is not blank, or the header itself.
std::size_t PosledniNeprazdny(const Obsah& o, std::size_t hlavicka, std::size_t konec) {
  for (std::size_t i = konec; i > hlavicka + 1; --i)
    if (o.radky[i - 1].rozbor.druh != Druh::kPrazdny) return i - 1;
  return hlavicka;
}

// Index of the first line of the section that names key, or kNic.
std::size_t NajitKlic(const Obsah& o, std::size_t hlavicka, std::string_view klic) {
  const std::string hledany = SlozitVelikost(Orezat(klic, kMezery));
  std::size_t konec = KonecSekce(o, hlavicka);
  for (std::size_t i = hlavicka + 1; i < konec; ++i) {
    const Rozbor& r = o.radky[i].rozbor;
    if ((r.druh == Druh::kKlic || r.druh == Druh::kBezRovna) && SlozitVelikost(r.nazev) == hledany)
      return i;
  }
  return kNic;
}

// One change of a file: the bytes [od, do) are replaced by `text` (UTF-8, line ends
// included). No value when nothing changes.
struct Uprava {
  std::size_t od = 0;
  std::size_t po = 0;
  std::string text;
};
using Operace = std::function<std::optional<Uprava>(const Obsah&)>;

// Text of whole lines to put at byte `pos`: each line with a line end, and a line end
// first when `pos` is the end of a file whose last line has none (a lone CR there,
// which the reader already takes for the line end, only gets its LF).
std::string CeleRadky(const Obsah& o, std::size_t pos, const std::vector<std::string>& radky) {
  std::string text;
  if (pos == o.bajty.size() && o.KonciBezKonceRadku())
    text += o.bajty.back() == '\r' ? std::string("\n") : o.konecRadku;
  for (const std::string& r : radky) {
    text += r;
    text += o.konecRadku;
  }
  return text;
}

// Text that may go into a line: UTF-8 without CR, LF or NUL.
bool PatriDoRadku(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
         JePlatneUtf8(s);
}

bool PlatnaSekce(std::string_view sekce) {
  if (!PatriDoRadku(sekce)) return false;
  std::string hlavicka = "[" + std::string(Orezat(sekce, kMezery)) + "]";
  Rozbor r = RozebratRadek(hlavicka);
  return r.druh == Druh::kSekce && r.nazev == Orezat(sekce, kMezery);
}

// A key must read back as itself: not empty, no "=", not a comment or a header.
bool PlatnyKlic(std::string_view klic) {
  if (!PatriDoRadku(klic)) return false;
  Rozbor r = RozebratRadek(std::string(Orezat(klic, kMezery)) + "=");
  return r.druh == Druh::kKlic && !r.nazev.empty() && r.nazev == Orezat(klic, kMezery);
}

std::string Hlavicka(std::string_view sekce) {
  return "[" + std::string(Orezat(sekce, kMezery)) + "]";
}

std::optional<Obsah> Nacist(const std::string& soubor) {
  auto bajty = NacistSoubor(soubor);
  if (!bajty) return std::nullopt;
  return Rozebrat(std::move(*bajty));
}

// Applies one change to the file and writes it atomically. A missing file starts
// empty; an existing one must be a regular file with the owner write bit. When the
// new text does not fit a Windows-1250 file, or the file would no longer read as
// Windows-1250 after the change, the whole file becomes UTF-8 first.
// A change that finds nothing to do succeeds without touching the file.
bool Upravit(const std::string& soubor, const Operace& operace) {
  struct stat st {};
  bool existuje = ::stat(soubor.c_str(), &st) == 0;
  if (!existuje && errno != ENOENT) return false;

  Obsah o;
  if (existuje) {
    if (!S_ISREG(st.st_mode)) return false;
    auto nactene = Nacist(soubor);
    if (!nactene) return false;
    o = std::move(*nactene);
  }

  std::optional<Uprava> uprava = operace(o);
  if (!uprava) return true;
  if (existuje && (st.st_mode & S_IWUSR) == 0) return false;

  std::optional<std::string> kod =
      o.kodovani == Kodovani::kCp1250 ? Do1250(uprava->text) : std::optional(uprava->text);
  // A Windows-1250 file whose bytes would read as UTF-8 after the change (it took out
  // every byte that told the two apart) becomes UTF-8 too, so that its other lines
  // keep reading as they did.
  if (kod && o.kodovani == Kodovani::kCp1250 &&
      Dekodovat(o.bajty.substr(0, uprava->od) + *kod + o.bajty.substr(uprava->po)).kodovani !=
          Kodovani::kCp1250)
    kod.reset();
  bool prevedeno = !kod;
  if (prevedeno) {
    std::string utf8 = o.bajty.substr(0, o.telo) + Z1250(std::string_view(o.bajty).substr(o.telo));
    o = Rozebrat(std::move(utf8));
    uprava = operace(o);
    if (!uprava) return false;
    kod = uprava->text;
  }

  std::string nove = o.bajty.substr(0, uprava->od) + *kod + o.bajty.substr(uprava->po);
  if (existuje && !prevedeno && nove == o.bajty) return true;
  return ZapsatSouborAtomicky(soubor, nove) == 0;
}

}  // namespace

std::optional<std::string> CistKlic(const std::string& soubor, std::string_view sekce,
                                    std::string_view klic) {
  auto bajty = NacistSoubor(soubor);
  if (!bajty) return std::nullopt;
  return CistKlicTextu(std::move(*bajty), sekce, klic);
}

std::optional<std::string> CistKlicTextu(std::string bajty, std::string_view sekce,
                                         std::string_view klic) {
  const Obsah o = Rozebrat(std::move(bajty));
  std::size_t h = NajitSekci(o, sekce);
  if (h == kNic) return std::nullopt;
  std::size_t k = NajitKlic(o, h, klic);
  if (k == kNic) return std::nullopt;
  return BezUvozovek(o.radky[k].rozbor.hodnota);
}

std::optional<std::vector<std::string>> CistSekci(const std::string& soubor,
                                                  std::string_view sekce) {
  auto o = Nacist(soubor);
  if (!o) return std::nullopt;
  std::size_t h = NajitSekci(*o, sekce);
  if (h == kNic) return std::nullopt;
  std::vector<std::string> radky;
  std::size_t konec = KonecSekce(*o, h);
  for (std::size_t i = h + 1; i < konec; ++i) {
    const Rozbor& r = o->radky[i].rozbor;
    if (r.druh == Druh::kKlic)
      radky.push_back(r.nazev + "=" + r.hodnota);
    else if (r.druh == Druh::kBezRovna)
      radky.push_back(r.nazev);
  }
  return radky;
}

std::optional<std::vector<std::string>> CistNazvySekci(const std::string& soubor) {
  auto o = Nacist(soubor);
  if (!o) return std::nullopt;
  std::vector<std::string> nazvy;
  for (const Radek& r : o->radky)
    if (r.rozbor.druh == Druh::kSekce) nazvy.push_back(r.rozbor.nazev);
  return nazvy;
}

bool ZapsatKlic(const std::string& soubor, std::string_view sekce, std::string_view klic,
                std::string_view hodnota) {
  if (!PlatnaSekce(sekce) || !PlatnyKlic(klic) || !PatriDoRadku(hodnota)) return false;
  const std::string novyKlic = std::string(Orezat(klic, kMezery));
  Operace operace = [&](const Obsah& o) -> std::optional<Uprava> {
    std::size_t h = NajitSekci(o, sekce);
    if (h == kNic) {
      std::size_t pos = o.bajty.size();
      return Uprava{pos, pos,
                    CeleRadky(o, pos, {Hlavicka(sekce), novyKlic + "=" + std::string(hodnota)})};
    }
    std::size_t k = NajitKlic(o, h, klic);
    if (k != kNic) {
      // The line keeps its indentation, its key's spelling and its line end.
      const Radek& r = o.radky[k];
      std::size_t od = r.zacatek;
      while (od < r.konecObsahu && (o.bajty[od] == ' ' || o.bajty[od] == '\t'))
        ++od;
      return Uprava{od, r.konecObsahu, r.rozbor.nazev + "=" + std::string(hodnota)};
    }
    std::size_t posledni = PosledniNeprazdny(o, h, KonecSekce(o, h));
    std::size_t pos = o.radky[posledni].konec;
    return Uprava{pos, pos, CeleRadky(o, pos, {novyKlic + "=" + std::string(hodnota)})};
  };
  return Upravit(soubor, operace);
}

bool SmazatKlic(const std::string& soubor, std::string_view sekce, std::string_view klic) {
  if (!PatriDoRadku(sekce) || !PatriDoRadku(klic)) return false;
  Operace operace = [&](const Obsah& o) -> std::optional<Uprava> {
    const std::size_t h = NajitSekci(o, sekce);
    const std::size_t k = h == kNic ? kNic : NajitKlic(o, h, klic);
    if (k == kNic) return std::nullopt;
    return Uprava{o.radky[k].zacatek, o.radky[k].konec, ""};
  };
  return Upravit(soubor, operace);
}

bool SmazatSekci(const std::string& soubor, std::string_view sekce) {
  if (!PatriDoRadku(sekce)) return false;
  Operace operace = [&](const Obsah& o) -> std::optional<Uprava> {
    std::size_t h = NajitSekci(o, sekce);
    if (h == kNic) return std::nullopt;
    std::size_t konec = KonecSekce(o, h);
    std::size_t po = konec < o.radky.size() ? o.radky[konec].zacatek : o.bajty.size();
    return Uprava{o.radky[h].zacatek, po, ""};
  };
  return Upravit(soubor, operace);
}

bool ZapsatSekci(const std::string& soubor, std::string_view sekce,
                 const std::vector<std::string>& radky) {
  if (!PlatnaSekce(sekce)) return false;
  for (const std::string& r : radky)
    if (!PatriDoRadku(r) || RozebratRadek(r).druh == Druh::kSekce) return false;
  Operace operace = [&](const Obsah& o) -> std::optional<Uprava> {
    std::size_t h = NajitSekci(o, sekce);
    if (h == kNic) {
      std::vector<std::string> vse{Hlavicka(sekce)};
      vse.insert(vse.end(), radky.begin(), radky.end());
      std::size_t pos = o.bajty.size();
      return Uprava{pos, pos, CeleRadky(o, pos, vse)};
    }
    // Blank lines that close the section stay, as does everything after it.
    std::size_t posledni = PosledniNeprazdny(o, h, KonecSekce(o, h));
    std::size_t od = o.radky[h].konec;
    return Uprava{od, o.radky[posledni].konec, CeleRadky(o, od, radky)};
  };
  return Upravit(soubor, operace);
}

}  // namespace zevlon::ini
