#include "beh/zaznam_behu.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <optional>
#include <vector>

#include "beh/vlastnik/zpravy.h"
#include "common/json.h"
#include "common/text.h"
#include "instalace/navrat.h"
#include "instalace/vymena.h"
#include "platform/nahrady/platforma.h"
#include "platform/procesy/proces.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "soubory/log.h"

namespace zevlon {

namespace {

constexpr std::size_t kMaxStavu = 64 * 1024;  // a state file larger than this is not ours

// The outcome as a person reads it.
std::string PopisVysledku(const ZaznamBehu& z) {
  const RadekVysledku* r = NajitVysledek(z.vysledek);
  if (!r) return z.vysledek;
  // What the text names: the held release or the wave (`podrobnost`), the release gone
  // back to, or the one that waits for a newer.
  const std::string& co = !z.podrobnost.empty()                  ? z.podrobnost
                          : z.vysledek == vysledky::kVracenoCeka ? z.souhrn.vraceno
                                                                 : z.souhrn.vydaniPo;
  return NahraditVse(r->text, "{}", OcistitText(co, 64, false));
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

// The state file's text with these lines (`  "key": value` each) added at its end, those of
// a run that began before (bezi_*) left out; a text that is no state file starts anew.
std::string SPridanymi(const std::string& json, const std::vector<std::string>& radky) {
  std::string r = "{\n";
  if (CistPlochyJson(json)) {
    for (const std::string& radek : Rozdelit(json, '\n'))
      if (radek.starts_with("  \"") && !radek.starts_with("  \"bezi_"))
        r += (radek.ends_with(",") ? radek.substr(0, radek.size() - 1) : radek) + ",\n";
  }
  for (const std::string& radek : radky)
    r += radek + ",\n";
  if (r.ends_with(",\n")) r.erase(r.size() - 2, 1);
  return r + "}\n";
}

std::string RadekJson(const char* klic, const std::string& hodnota) {
  return "  \"" + std::string(klic) + "\": " + hodnota;
}

}  // namespace

bool SlozkaJenMoje(const std::string& slozka) {
  struct stat st {};
  return ::lstat(slozka.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 022) == 0;
}

std::optional<std::string> CistStavBehu(std::string& cesta) {
  cesta = CestaStavu();
  std::optional<std::string> text = CistStav(cesta);
  if (!text && ::geteuid() != 0) {
    const std::string slozka = SlozkaStavuRoota();
    if (!slozka.empty()) {
      cesta = slozka + "/" + kSouborStavu;
      text = CistStav(cesta);
    }
  }
  return text;
}

const RadekVysledku* NajitVysledek(std::string_view hodnota) {
  for (const RadekVysledku& r : kVysledky)
    if (hodnota == r.hodnota) return &r;
  return nullptr;
}

std::string RadekZaznamu(const ZaznamBehu& z) {
  const SouhrnObnovy& s = z.souhrn;
  std::string vysledek = Pole(PopisVysledku(z));
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
  const RadekVysledku* radek = NajitVysledek(z.vysledek);
  std::string uspech = radek && radek->uspech ? konec : drive("posledni_uspech");
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
  pole("popis", JsonText(Pole(PopisVysledku(z))));
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

void ZaznamenatBeh(const ZaznamBehu& z, bool stav) {
  ZapsatDoLogu(kPrenosovyLog, RadekZaznamu(z));
  const std::string cesta = CestaStavu();
  if (cesta.empty() || !stav) return;
  const std::string slozka = cesta.substr(0, cesta.rfind('/'));
  int e = EACCES;
  // Readable by all: monitoring accounts read it.
  const RadekVysledku* radek = NajitVysledek(z.vysledek);
  const std::string predchozi = CistStav(cesta).value_or("");
  if (radek && !radek->doStavu && predchozi.empty()) return;
  if (SlozkaJenMoje(slozka))
    e = ZapsatCitelnySoubor(
        slozka, kSouborStavu,
        !radek || radek->doStavu ? JsonStavu(z, predchozi) : SPridanymi(predchozi, {}), ".stav-",
        true);
  if (e != 0)
    ZapsatChybuBehu(
        "Stav běhu se nepodařilo zapsat do " + cesta + ": " + ss::ChybaSystemu(e, cesta).popis,
        cesta);
}

void ZaznamenatZacatek(Okamzik zacatek) {
  const std::string cesta = CestaStavu();
  if (cesta.empty()) return;
  const std::string slozka = cesta.substr(0, cesta.rfind('/'));
  // (A folder it may not write in is said by the record of the run's end.)
  if (!SlozkaJenMoje(slozka)) return;
  const pid_t ja = ::getpid();
  const std::string json =
      SPridanymi(CistStav(cesta).value_or(""),
                 {RadekJson("bezi_pid", std::to_string(ja)),
                  RadekJson("bezi_od", JsonText(MistniCasIso(zacatek))),
                  RadekJson("bezi_start", std::to_string(ZacatekProcesu(ja).value_or(0)))});
  if (int e = ZapsatCitelnySoubor(slozka, kSouborStavu, json, ".stav-", true))
    ZapsatChybuBehu(
        "Stav běhu se nepodařilo zapsat do " + cesta + ": " + ss::ChybaSystemu(e, cesta).popis,
        cesta);
}

int VypsatStav(bool json, std::FILE* out) {
  std::string cesta;
  const std::optional<std::string> text = CistStavBehu(cesta);
  const auto stav = text ? CistPlochyJson(*text) : std::nullopt;
  auto h = [&](const char* klic) {
    const auto i = stav->find(klic);
    return i == stav->end() ? std::string("-") : OcistitText(i->second, 4096, false);
  };
  // A run that began after the last finished one: going on, or killed on its way.
  enum class Zacaty { kZadny, kBezi, kPrerusen } zacaty = Zacaty::kZadny;
  if (stav && stav->count("bezi_pid")) {
    const auto pid = CisloPole(h("bezi_pid"), 1, INT32_MAX);
    const auto start = CisloPole(h("bezi_start"), 0, INT64_MAX);
    zacaty = pid && start && ZacatekProcesu(static_cast<pid_t>(*pid)) == *start ? Zacaty::kBezi
                                                                                : Zacaty::kPrerusen;
  }
  const bool dokonceny = stav && stav->count("navratovy_kod");
  if (!stav || (!dokonceny && zacaty == Zacaty::kZadny)) {
    std::fprintf(out,
                 text && !stav ? "Stav posledního běhu v %s nelze přečíst.\n"
                               : "Žádný běh aktualizace zatím není zaznamenán.\n",
                 cesta.c_str());
    return kNavratBezZaznamu;
  }
  const RadekVysledku* radek = zacaty == Zacaty::kPrerusen ? NajitVysledek(vysledky::kPreruseno)
                               : dokonceny                 ? NajitVysledek(h("vysledek"))
                                                           : nullptr;
  const int navrat = radek                       ? radek->navratStavu
                     : !dokonceny                ? kNavratBezZaznamu
                     : h("navratovy_kod") == "0" ? 0
                                                 : 1;
  if (json) {
    if (zacaty == Zacaty::kZadny)
      std::fputs(text->c_str(), out);
    else
      std::fputs(
          SPridanymi(*text, {RadekJson("stav_behu",
                                       zacaty == Zacaty::kBezi ? "\"probiha\"" : "\"preruseno\"")})
              .c_str(),
          out);
    return navrat;
  }
  auto pocet = [&](const char* klic, const char* jeden, const char* malo, const char* mnoho) {
    const auto i = stav->find(klic);
    const auto c = i == stav->end() ? std::nullopt : CisloPole(i->second, 0, INT64_MAX);
    return c ? Pocet(*c, jeden, malo, mnoho) : std::string("-");
  };
  std::string r = "Poslední běh aktualizace Dunmor Merko (" + cesta + ")\n";
  if (zacaty == Zacaty::kBezi)
    r += "  Probíhá:               běh procesu " + h("bezi_pid") + " od " + h("bezi_od") + "\n";
  if (zacaty == Zacaty::kPrerusen) {
    r += "  Výsledek:              přerušeno: běh zahájený " + h("bezi_od") +
         " neskončil (návratový kód 1)\n";
    // Where it stopped in the middle of its swaps, the next run finishes the update.
    const std::string profil = stav->count("profil") ? h("profil") : std::string();
    struct stat st {};
    for (const char* setup : {"Setup/", "Setup14/"})
      if (!profil.empty() && ::lstat((profil + setup + kZaznamNedokoncene).c_str(), &st) == 0)
        r += "  Nedokončená aktualizace: " + profil + setup + " (dokončí ji příští běh)\n";
    if (dokonceny) r += "Předchozí dokončený běh:\n";
  }
  if (!dokonceny) {
    std::fputs(r.c_str(), out);
    return navrat;
  }
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
  // A release that a way back refused waits for a newer one (seen only, never read).
  for (const char* setup : {"Setup/", "Setup14/"}) {
    const std::string odmitnuti = h("profil") + setup + kZaznamOdmitnuti;
    struct stat st {};
    if (stav->count("profil") && ::lstat(odmitnuti.c_str(), &st) == 0)
      r += "  Odmítnuté vydání:      " + odmitnuti + " (instaluje se až novější vydání)\n";
  }
  r += "  Poslední úspěšný běh:  " + h("posledni_uspech") + "\n";
  r += "  Poslední aktualizace:  " + h("posledni_aktualizace") + "\n";
  std::fputs(r.c_str(), out);
  return navrat;
}

}  // namespace zevlon
