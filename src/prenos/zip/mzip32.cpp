#include "prenos/zip/mzip32.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/chyba.h"
#include "common/text.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/zip/zip32_knihovna.h"
#include "rozhrani/pomucky.h"
#include "soubory/cesty.h"
#include "soubory/log.h"
#include "soubory/operace_souboru.h"

namespace zevlon {

namespace mzip32 {

namespace {

constexpr const char* kTextIndexMimoRozsah = "Index mimo rozsah";

// Largest password handed to the unzip layer, in characters.
constexpr std::size_t kNejdelsiHesloUnzipu = 256;
// Longest entry name the listing takes, in bytes.
constexpr std::size_t kNejdelsiJmenoVypisu = 256;
// Messages the zip callbacks take: more than 1 and fewer than 1024 bytes.
constexpr std::size_t kNejkratsiZprava = 2;
constexpr std::size_t kNejdelsiZprava = 1023;

StavModulu& Zapisovatelny() {
  static StavModulu stav;
  return stav;
}

void NacistKnihovnu(int slot) {
  // Loaded on first use and never released; the layer is part of the program.
  Zapisovatelny().knihovny[static_cast<std::size_t>(slot)] = true;
}

// The files of a folder and its subfolders as paths relative to it, by name at each
// level. Links to files count as files; links to folders are not followed.
void ProhledatSlozku(const std::string& slozka, const std::string& relativni,
                     std::vector<std::string>& soubory) {
  std::vector<ss::PolozkaSlozky> obsah;
  if (auto v = ss::CistSlozku(slozka + relativni, obsah); !v.Uspech()) throw Chyba(v.kod, v.popis);
  std::sort(obsah.begin(), obsah.end(),
            [](const auto& a, const auto& b) { return a.jmeno < b.jmeno; });
  for (const auto& p : obsah) {
    std::string cesta = relativni + p.jmeno;
    if (p.slozka) {
      ProhledatSlozku(slozka, cesta + "/", soubory);
    } else if (!p.odkaz || !ExistujeSlozka(slozka + cesta)) {
      struct stat st {};
      if (::stat((slozka + cesta).c_str(), &st) == 0 && S_ISREG(st.st_mode))
        soubory.push_back(cesta);
    }
  }
}

// Number of UTF-8 characters of a text.
std::size_t PocetZnaku(std::string_view s) {
  return static_cast<std::size_t>(
      std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The text cut to at most `sirka` characters and padded with blanks to exactly that.
std::string Sloupec(std::string_view text, std::size_t sirka) {
  std::string vysledek;
  std::size_t znaku = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool zacatekZnaku = (text[i] & 0xC0) != 0x80;
    if (zacatekZnaku && znaku == sirka) break;
    if (zacatekZnaku) ++znaku;
    vysledek += text[i];
  }
  vysledek.append(sirka - znaku, ' ');
  return vysledek;
}

std::string VpravoZarovnane(const std::string& text, std::size_t sirka) {
  if (text.size() >= sirka) return text.substr(text.size() - sirka);
  return std::string(sirka - text.size(), ' ') + text;
}

// A listing line: name (49), blank, size (10, right-aligned), two blanks, date
// "mm/dd/yy", two blanks, time "hh:mm", blanks up to the full width.
std::string RadekVypisu(std::string_view jmeno, const std::string& velikost,
                        const std::string& datum, const std::string& cas) {
  std::string radek = Sloupec(jmeno, 49) + " " + VpravoZarovnane(velikost, 10) + "  " +
                      Sloupec(datum, 8) + "  " + Sloupec(cas, 5);
  radek.append(kSirkaRadkuVypisu - PocetZnaku(radek), ' ');
  return radek;
}

}  // namespace

const StavModulu& Stav() {
  return Zapisovatelny();
}

int ZipTisk(char* buf, unsigned long delka) {
  try {
    // Nothing shows the zip layer's messages: they are taken and dropped.
    if (!buf || delka < kNejkratsiZprava || delka > kNejdelsiZprava) return 0;
    return static_cast<int>(delka);
  } catch (...) {
    return 0;
  }
}

char* ZipKomentar(char* buf) {
  // Registered only: fComment is never set, so the layer does not ask.
  return buf;
}

int ZipHeslo(char* buf, int delka, const char*, const char*) {
  try {
    StavModulu& s = Zapisovatelny();
    if (s.zipHesloOdmitnuto || !buf || delka <= 0) return 1;
    if (s.heslo.empty()) {
      s.zipHesloOdmitnuto = true;
      return 1;
    }
    if (Orezat(s.heslo).empty()) return 1;
    auto velikost = static_cast<std::size_t>(delka);
    std::size_t n = std::min(s.heslo.size(), velikost - 1);
    std::memcpy(buf, s.heslo.data(), n);
    std::memset(buf + n, 0, velikost - n);
    s.zipHesloZadano = true;
    return 0;
  } catch (...) {
    return 1;
  }
}

int ZipSluzba(const char*, std::uint64_t) {
  // The entry's name is not shown anywhere; go on.
  return 0;
}

int UnzipTisk(char* buf, unsigned long delka) {
  try {
    if (!buf) return 0;
    std::size_t n = ::strnlen(buf, delka);
    Zapisovatelny().textTisku.append(buf, n);
    return static_cast<int>(delka);
  } catch (...) {
    return 0;
  }
}

int UnzipNahradit(char*, unsigned) {
  // Replace all: existing files are overwritten whenever the layer asks.
  return zip32::IDM_REPLACE_ALL;
}

int UnzipHeslo(char* buf, int delka, const char*, const char*) {
  try {
    StavModulu& s = Zapisovatelny();
    if (s.heslo.empty()) {
      s.unzipHesloOdmitnuto = true;
      return 1;
    }
    if (s.unzipHesloOdmitnuto || !buf || delka <= 0) return 1;
    std::size_t n =
        std::min({s.heslo.size(), kNejdelsiHesloUnzipu, static_cast<std::size_t>(delka) - 1});
    std::memcpy(buf, s.heslo.data(), n);
    buf[n] = '\0';
    return zip32::IZ_PW_ENTERED;
  } catch (...) {
    return 1;
  }
}

void UnzipZprava(std::uint64_t velikost, std::uint64_t, unsigned, unsigned mesic, unsigned den,
                 unsigned rok, unsigned hodina, unsigned minuta, char, const char* jmeno,
                 const char*, unsigned long, char) {
  try {
    StavModulu& s = Zapisovatelny();
    if (s.pocetVypsanych == 0)
      s.textVypisu = RadekVypisu("Filename:", "Size", "Date", "Time") + "\r\n";
    char datum[32], cas[32];
    std::snprintf(datum, sizeof datum, "%02u/%02u/%02u", mesic % 100, den % 100, rok % 100);
    std::snprintf(cas, sizeof cas, "%02u:%02u", hodina % 100, minuta % 100);
    std::string nazev = jmeno ? std::string(jmeno, ::strnlen(jmeno, kNejdelsiJmenoVypisu)) : "";
    s.textVypisu += RadekVypisu(nazev, std::to_string(velikost), datum, cas) + "\r\n";
    ++s.pocetVypsanych;
  } catch (...) {
    // A listing line may be lost; the extraction goes on.
  }
}

int UnzipSluzba(const char*, std::uint64_t) {
  return 0;
}

}  // namespace mzip32

using namespace mzip32;

std::int32_t ZazipovatJednoduse(const std::string& zdroj, const std::string& archiv, bool nahradit,
                                const std::string& heslo, bool bezCest) {
  return SLogovanim(kZdrojZazipovat, [&]() -> std::int32_t {
    StavModulu& s = Zapisovatelny();
    NacistKnihovnu(kSlotZip);
    std::vector<std::string> seznam;  // the name list
    std::string koren, cilovyArchiv = archiv;
    if (ExistujeSlozka(zdroj)) {
      std::vector<std::string> soubory;
      ProhledatSlozku(PridatLomitko(zdroj), "", soubory);
      for (const auto& relativni : soubory) {
        if (seznam.size() == kSlotuSeznamu)
          throw Chyba(kod::kIndexMimoRozsah, kTextIndexMimoRozsah);
        seznam.push_back(PridatLomitko(zdroj) + relativni);
      }
      koren = BezLomitka(zdroj);
      if (cilovyArchiv.empty()) {
        std::string slozka, jmeno;
        RozdelitCestu(koren, slozka, jmeno);
        cilovyArchiv = slozka + jmeno + ".zip";
      }
    } else if (ExistujeSoubor(zdroj)) {
      std::string jmeno;
      RozdelitCestu(zdroj, koren, jmeno);
      if (cilovyArchiv.empty()) cilovyArchiv = zdroj + ".zip";
      seznam.push_back(zdroj);  // the pattern: the file itself
    } else {
      return kZdrojNeexistuje;
    }

    zip32::ZPOPT volby;
    if (ExistujeSoubor(cilovyArchiv)) {
      if (nahradit)
        SmazatSoubor(cilovyArchiv, false);
      else
        volby.fUpdate = 1;
    }
    if (!heslo.empty()) {
      volby.fEncrypt = 1;
      s.heslo = heslo;
    }
    volby.szRootDir = koren.c_str();
    volby.fRecurse = 1;
    volby.fSystem = 1;
    volby.fGrow = 1;
    volby.fJunkDir = bezCest ? 1 : 0;
    s.zipHesloOdmitnuto = false;
    s.zipHesloZadano = false;

    zip32::ZIPUSERFUNCTIONS funkce{ZipTisk, ZipKomentar, ZipHeslo, ZipSluzba};
    (void)zip32::ZpInit(&funkce);
    (void)zip32::ZpSetOptions(&volby);
    std::vector<const char*> jmena;
    for (const auto& j : seznam)
      jmena.push_back(j.c_str());
    jmena.push_back(nullptr);
    zip32::ZCL prikaz{static_cast<int>(seznam.size()), cilovyArchiv.c_str(), jmena.data()};
    return zip32::ZpArchive(prikaz);
  });
}

std::int32_t RozzipovatJednoduse(const std::string& archiv, const std::string& cilovaSlozka,
                                 std::int16_t prepsat, const std::string& heslo,
                                 const JedinaPolozka* jen) {
  return SLogovanim(kZdrojRozzipovat, [&]() -> std::int32_t {
    StavModulu& s = Zapisovatelny();
    NacistKnihovnu(kSlotUnzip);
    s.textTisku.clear();
    s.pocetVypsanych = 0;
    s.volby.PromptToOverwrite = 0;
    s.volby.nzflag = 0;
    s.volby.nvflag = 0;
    s.volby.ndflag = 1;
    s.volby.noflag = prepsat != 0 ? 1 : 0;
    s.vyber = jen ? jen->jmeno : std::string();
    s.pocetVyberu = jen ? 1 : 0;
    s.vyjimky.clear();
    s.pocetVyjimek = 0;
    s.jedinaPolozka = jen != nullptr;
    s.maxVelikost = jen ? jen->velikost : 0;
    s.presnaVelikost = jen && jen->presne;

    std::string slozka, jmeno;
    RozdelitCestu(archiv, slozka, jmeno);
    s.zip = archiv;
    s.extractDir = Orezat(cilovaSlozka).empty() ? slozka : cilovaSlozka;
    s.heslo = heslo;

    const VolbyUnzipu& o = s.volby;
    zip32::DCLIST dcl;
    dcl.ExtractOnlyNewer = o.ExtractOnlyNewer;
    dcl.SpaceToUnderscore = o.SpaceToUnderscore;
    dcl.PromptToOverwrite = o.PromptToOverwrite;
    dcl.fQuiet = o.fQuiet;
    dcl.ncflag = o.ncflag;
    dcl.ntflag = o.ntflag;
    dcl.nvflag = o.nvflag;
    dcl.nfflag = o.nfflag;
    dcl.nzflag = o.nzflag;
    dcl.ndflag = o.ndflag;
    dcl.noflag = o.noflag;
    dcl.naflag = o.naflag;
    dcl.nZIflag = o.nZIflag;
    dcl.C_flag = o.C_flag;
    dcl.fPrivilege = o.fPrivilege;
    dcl.Zip = s.zip.c_str();
    dcl.ExtractDir = s.extractDir.c_str();
    dcl.fExactNames = s.jedinaPolozka ? 1 : 0;
    dcl.MaxSize = s.maxVelikost;
    dcl.fExactSize = s.presnaVelikost ? 1 : 0;

    zip32::USERFUNCTION funkce;
    funkce.print = UnzipTisk;
    funkce.sound = nullptr;
    funkce.replace = UnzipNahradit;
    funkce.password = UnzipHeslo;
    funkce.SendApplicationMessage = UnzipZprava;
    funkce.ServCallBk = UnzipSluzba;

    zip32::UZPVER2 verze;
    verze.structlen = 64;
    std::snprintf(verze.beta, sizeof verze.beta, "%9s", "");
    std::snprintf(verze.date, sizeof verze.date, "%19s", "");
    std::snprintf(verze.zlib, sizeof verze.zlib, "%9s", "");
    (void)zip32::UzpVersion2(&verze);

    const char* vyber[] = {s.vyber.c_str()};
    const char* vyjimky[] = {s.vyjimky.c_str()};
    return zip32::Wiz_SingleEntryUnzip(s.pocetVyberu, vyber, s.pocetVyjimek, vyjimky, &dcl,
                                       &funkce);
  });
}

}  // namespace zevlon
