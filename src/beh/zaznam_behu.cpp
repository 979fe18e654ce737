#include "beh/zaznam_behu.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <optional>

#include "beh/vlastnik/zpravy.h"
#include "common/json.h"
#include "common/text.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "soubory/log.h"

namespace zevlon {

namespace {

constexpr std::size_t kMaxStavu = 64 * 1024;  // a state file larger than this is not ours

// The outcome as a person reads it.
std::string PopisVysledku(const std::string& v) {
  static const std::map<std::string, const char*> kPopisy{
      {vysledky::kAktualizovano, "aktualizováno"},
      {vysledky::kAktualni, "nic nového, instalace je aktuální"},
      {vysledky::kBezProfilu, "žádný profil k aktualizaci"},
      {vysledky::kOdmitnuto, "starší vydání na webu odmítnuto"},
      {vysledky::kBezZmenyDat, "odmítnuto varování o změně datové struktury"},
      {vysledky::kNovyProgram, "aktualizaci provede nový program aktualizace"},
      {vysledky::kNicNeprovedeno, "nic neprovedeno, soubor s informacemi o vydání neexistuje"},
      {vysledky::kZruseno, "zrušeno"},
      {vysledky::kChyba, "chyba"}};
  const auto i = kPopisy.find(v);
  return i == kPopisy.end() ? v : i->second;
}

long long Sekund(const ZaznamBehu& z) {
  return std::chrono::duration_cast<std::chrono::seconds>(z.konec - z.zacatek).count();
}

std::string NeboPomlcka(const std::string& s) {
  return s.empty() ? "-" : s;
}

// A text of the record: valid UTF-8, one line as the logs write it, no TAB that would
// split its field.
std::string Pole(const std::string& s) {
  std::string r = OcistitText(RadekLogu(s), 4096, false);
  for (char& c : r)
    if (c == '\t') c = ' ';
  return r;
}

// The folder of a state file is written only when nobody else can change it.
bool JenMoje(const std::string& slozka) {
  struct stat st {};
  return ::lstat(slozka.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 022) == 0;
}

std::optional<std::string> CistStav(const std::string& cesta) {
  struct stat st {};
  if (cesta.empty() || ::lstat(cesta.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      st.st_size > static_cast<off_t>(kMaxStavu))
    return std::nullopt;
  return NacistSoubor(cesta);
}

// Root's state folder, as root's run finds it and as other accounts look for it.
std::string SlozkaStavuRoota() {
  if (!platforma().ZBalicku()) return platforma().SlozkaLogu();
  return ::geteuid() == 0 ? platforma().SlozkaZaznamu() : "/var/lib/zevlon";
}

}  // namespace

std::string RadekZaznamu(const ZaznamBehu& z) {
  const SouhrnObnovy& s = z.souhrn;
  std::string vysledek = PopisVysledku(z.vysledek);
  if (!z.chyba.empty()) vysledek += ": " + Pole(z.chyba);
  return "Běh\t" + MistniCasIso(z.zacatek) + " – " + MistniCasIso(z.konec) + "\t" + z.rezim +
         "\tprofil " + NeboPomlcka(Pole(z.profil)) + "\tvydání " + NeboPomlcka(Pole(s.vydaniPred)) +
         " → " + NeboPomlcka(Pole(s.vydaniPo)) + "\tobnoveno " +
         Pocet(s.slozek, "složka", "složky", "složek") + "\tsouborů zkopírováno " +
         std::to_string(s.zkopirovano) + ", staženo " + std::to_string(s.stazeno) + ", z rozdílů " +
         std::to_string(s.zRozdilu) + "\tstaženo " + Pocet(s.bajtu, "bajt", "bajty", "bajtů") +
         "\ttrvání " + std::to_string(Sekund(z)) + " s\t" + vysledek + "\tnávratový kód " +
         std::to_string(z.navrat);
}

std::string JsonStavu(const ZaznamBehu& z, const std::string& predchozi) {
  const auto pred = CistPlochyJson(predchozi);
  auto drive = [&](const char* klic) -> std::string {
    if (!pred) return {};
    const auto i = pred->find(klic);
    return i == pred->end() ? std::string() : i->second;
  };
  const std::string konec = MistniCasIso(z.konec);
  std::string uspech = z.navrat == 0 ? konec : drive("posledni_uspech");
  std::string aktualizace =
      z.vysledek == vysledky::kAktualizovano ? konec : drive("posledni_aktualizace");
  auto text = [](const std::string& t) { return t.empty() ? std::string("null") : JsonText(t); };
  const SouhrnObnovy& s = z.souhrn;
  std::string j = "{\n";
  auto pole = [&j](const char* klic, const std::string& hodnota, bool posledni = false) {
    j += "  \"" + std::string(klic) + "\": " + hodnota + (posledni ? "\n" : ",\n");
  };
  pole("zacatek", JsonText(MistniCasIso(z.zacatek)));
  pole("konec", JsonText(konec));
  pole("trvani_s", std::to_string(Sekund(z)));
  pole("rezim", JsonText(z.rezim));
  pole("profil", text(Pole(z.profil)));
  pole("vysledek", JsonText(z.vysledek));
  pole("popis", JsonText(PopisVysledku(z.vysledek)));
  pole("chyba", text(Pole(z.chyba)));
  pole("navratovy_kod", std::to_string(z.navrat));
  pole("vydani_pred", text(OcistitText(s.vydaniPred, 64, false)));
  pole("vydani_po", text(OcistitText(s.vydaniPo, 64, false)));
  pole("slozek", std::to_string(s.slozek));
  pole("zkopirovano", std::to_string(s.zkopirovano));
  pole("stazeno", std::to_string(s.stazeno));
  pole("z_rozdilu", std::to_string(s.zRozdilu));
  pole("bajtu", std::to_string(s.bajtu));
  // Counts and releases that another user's process reported, not what root saw itself.
  pole("pocty_od_uzivatele", text(s.odUzivatele));
  pole("posledni_uspech", text(uspech));
  pole("posledni_aktualizace", text(aktualizace), true);
  return j + "}\n";
}

std::string CestaStavu() {
  const std::string slozka = ::geteuid() == 0 ? SlozkaStavuRoota() : platforma().SlozkaStavu();
  return slozka.empty() ? std::string() : slozka + "/" + kSouborStavu;
}

void ZaznamenatBeh(const ZaznamBehu& z) {
  ZapsatDoLogu(kPrenosovyLog, RadekZaznamu(z));
  const std::string cesta = CestaStavu();
  if (cesta.empty()) return;
  const std::string slozka = cesta.substr(0, cesta.rfind('/'));
  int e = EACCES;
  // Readable by all: monitoring accounts read it.
  if (JenMoje(slozka))
    e = ZapsatCitelnySoubor(slozka, kSouborStavu, JsonStavu(z, CistStav(cesta).value_or("")),
                            ".stav-", true);
  if (e != 0)
    ZapsatChybuBehu(
        "Stav běhu se nepodařilo zapsat do " + cesta + ": " + ss::ChybaSystemu(e, cesta).popis,
        cesta);
}

int VypsatStav(bool json, std::FILE* out) {
  std::string cesta = CestaStavu();
  std::optional<std::string> text = CistStav(cesta);
  if (!text && ::geteuid() != 0) {
    const std::string slozka = SlozkaStavuRoota();
    if (!slozka.empty()) {
      cesta = slozka + "/" + kSouborStavu;
      text = CistStav(cesta);
    }
  }
  const auto stav = text ? CistPlochyJson(*text) : std::nullopt;
  if (!stav || !stav->count("navratovy_kod")) {
    std::fprintf(out,
                 text ? "Stav posledního běhu v %s nelze přečíst.\n"
                      : "Žádný běh aktualizace zatím není zaznamenán.\n",
                 cesta.c_str());
    return 3;
  }
  const bool uspech = stav->at("navratovy_kod") == "0";
  if (json) {
    std::fputs(text->c_str(), out);
    return uspech ? 0 : 1;
  }
  auto h = [&](const char* klic) {
    const auto i = stav->find(klic);
    return i == stav->end() ? std::string("-") : OcistitText(i->second, 4096, false);
  };
  auto pocet = [&](const char* klic, const char* jeden, const char* malo, const char* mnoho) {
    const auto i = stav->find(klic);
    const auto c = i == stav->end() ? std::nullopt : CisloPole(i->second, 0, INT64_MAX);
    return c ? Pocet(*c, jeden, malo, mnoho) : std::string("-");
  };
  std::string r = "Poslední běh aktualizace Dunmor Merko (" + cesta + ")\n";
  r += "  Výsledek:              " + h("popis") + " (návratový kód " + h("navratovy_kod") + ")\n";
  if (stav->count("chyba")) r += "  Chyba:                 " + h("chyba") + "\n";
  r += "  Začátek:               " + h("zacatek") + "\n";
  r += "  Konec:                 " + h("konec") + " (trvání " + h("trvani_s") + " s)\n";
  r += "  Režim:                 " + h("rezim") + "\n";
  r += "  Profil:                " + h("profil") + "\n";
  r += "  Vydání:                " + h("vydani_pred") + " → " + h("vydani_po") + "\n";
  r += "  Obnoveno:              " + pocet("slozek", "složka", "složky", "složek") + "\n";
  r += "  Soubory:               zkopírováno " + h("zkopirovano") + ", staženo " + h("stazeno") +
       ", z rozdílů " + h("z_rozdilu") + "\n";
  r += "  Staženo:               " + pocet("bajtu", "bajt", "bajty", "bajtů") + "\n";
  if (stav->count("pocty_od_uzivatele"))
    r += "  Počty hlásil:          proces uživatele " + h("pocty_od_uzivatele") + "\n";
  r += "  Poslední úspěšný běh:  " + h("posledni_uspech") + "\n";
  r += "  Poslední aktualizace:  " + h("posledni_aktualizace") + "\n";
  std::fputs(r.c_str(), out);
  return uspech ? 0 : 1;
}

}  // namespace zevlon
