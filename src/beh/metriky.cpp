#include "beh/metriky.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "beh/vlastnik/zpravy.h"
#include "common/json.h"
#include "common/text.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/rozliseni_cesty.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/podpisy/sha256.h"
#include "rozhrani/pomucky.h"
#include "soubory/log.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

constexpr std::size_t kMaxSouboruMetrik = 64 * 1024;
constexpr const char* kPosledniUspech = "zevlon_last_success_timestamp_seconds";
// Whether the state says the run was held.
bool Drzeny(const ZaznamBehu& z) {
  return z.vysledek == vysledky::kDrzeno;
}

UtcCas Sekundy(Okamzik t) {
  return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

// A label's value as the text format escapes it.
std::string Stitek(const std::string& s) {
  std::string r;
  for (char c : s)
    r += c == '\\' ? "\\\\" : c == '"' ? "\\\"" : c == '\n' ? "\\n" : std::string(1, c);
  return r;
}

// A release as a number: its digits, else NaN (none known).
std::string Vydani(const std::string& v) {
  return !v.empty() && v.size() <= 18 && v.find_first_not_of("0123456789") == std::string::npos
             ? v
             : "NaN";
}

// The profile the metrics are about: the run's, else the options' data folder.
std::string ProfilMetrik(const ZaznamBehu& z) {
  std::string p = z.profil.empty() ? CistIni(CestaVolebIni(), "Nastaveni", "SlozkaDat") : z.profil;
  return p.empty() || p.back() == '/' ? p : p + "/";
}

// The last success that the profile's previous file says.
std::optional<UtcCas> PredchoziUspech(const std::string& cesta) {
  struct stat st {};
  if (::lstat(cesta.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      st.st_size > static_cast<off_t>(kMaxSouboruMetrik))
    return std::nullopt;
  for (const std::string& radek : Rozdelit(NacistSoubor(cesta).value_or(""), '\n'))
    if (radek.starts_with(std::string(kPosledniUspech) + "{"))
      if (const auto c = CisloPole(radek.substr(radek.rfind(' ') + 1), 1, INT64_MAX)) return *c;
  return std::nullopt;
}

}  // namespace

std::string JmenoSouboruMetrik(const std::string& profil) {
  return "zevlon-" + Sha256(profil).substr(0, 8) + ".prom";
}

std::string TextMetrik(const ZaznamBehu& z, std::optional<UtcCas> posledniUspech) {
  const std::string stitek = "{profil=\"" + Stitek(z.profil) + "\"} ";
  std::string t;
  auto metrika = [&](const char* nazev, const char* popis, const std::string& hodnota) {
    t += std::string("# HELP ") + nazev + " " + popis + "\n# TYPE " + nazev + " gauge\n" + nazev +
         stitek + hodnota + "\n";
  };
  const RadekVysledku* radek = NajitVysledek(z.vysledek);
  if (radek && radek->uspech) posledniUspech = Sekundy(z.konec);
  metrika("zevlon_last_run_timestamp_seconds", "End of the last run (Unix time).",
          std::to_string(Sekundy(z.konec)));
  metrika(kPosledniUspech, "End of the last successful run (Unix time; 0: none).",
          std::to_string(posledniUspech.value_or(0)));
  metrika("zevlon_last_run_exit_code", "Exit status of the last run.", std::to_string(z.navrat));
  metrika("zevlon_installed_release", "Release installed in the profile after the last run.",
          Vydani(z.souhrn.vydaniPo));
  metrika("zevlon_offered_release", "Release the update site offered to the last run.",
          Vydani(z.vydaniWebu));
  metrika("zevlon_downloaded_bytes", "Bytes of files and deltas the last run received.",
          std::to_string(z.souhrn.bajtu));
  metrika("zevlon_hold", "1 when the last run was held from installing the release.",
          Drzeny(z) ? "1" : "0");
  return t;
}

void ZapsatMetriky(const ZaznamBehu& z0) {
  const RadekVysledku* radek = NajitVysledek(z0.vysledek);
  if (radek && !radek->doStavu) return;
  ZaznamBehu z = z0;
  z.profil = ProfilMetrik(z0);
  const std::string stav = CestaStavu();
  std::string slozka(Orezat(CistIni(CestaVolebIni(), "Server", kKlicSlozkyMetrik), " \t"));
  if (slozka.empty() && !stav.empty()) slozka = stav.substr(0, stav.rfind('/'));
  while (slozka.size() > 1 && slozka.back() == '/')
    slozka.pop_back();
  if (z.profil.empty() || slozka.empty()) return;
  const std::string jmeno = JmenoSouboruMetrik(z.profil), cesta = slozka + "/" + jmeno;
  // The folder as resolved, reached through folders and links nobody else can change.
  const ss::Rozliseni r =
      slozka.front() == '/' ? ss::RozlisitCestu(slozka, ::geteuid()) : ss::Rozliseni{};
  const bool jenMoje = slozka.front() == '/' && ss::ZmenitJenSami(r, ::geteuid()) && r.existuje &&
                       SlozkaJenMoje(r.cesta);
  // The temporary name ends otherwise, so that the collector never reads a half-written file.
  const int e = jenMoje ? ZapsatCitelnySoubor(r.cesta, jmeno,
                                              TextMetrik(z, PredchoziUspech(r.cesta + "/" + jmeno)),
                                              ".zevlon-metriky-", true)
                        : EACCES;
  if (e != 0)
    ZapsatChybuBehu(
        "Metriky běhu se nepodařilo zapsat do " + cesta + ": " + ss::ChybaSystemu(e, cesta).popis +
            (e == EACCES ? " (složka musí patřit jen uživateli, který běh spouští)" : ""),
        cesta);
}

int StavNagios(const PrahyNagios& prahy, std::FILE* out) {
  std::string cesta;
  const std::optional<std::string> text = CistStavBehu(cesta);
  const auto stav = text ? CistPlochyJson(*text) : std::nullopt;
  auto h = [&](const char* klic) {
    const auto i = stav->find(klic);
    return i == stav->end() ? std::string()
                            : NahraditVse(OcistitText(i->second, 512, false), "|", "/");
  };
  const std::string meze =
      ";" + std::to_string(prahy.varovani) + ";" + std::to_string(prahy.kriticke);
  auto radek = [&](int navrat, const std::string& popis, const std::string& stari) {
    static constexpr const char* kStavy[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    std::fprintf(out, "ZEVLON %s - %s | stari=%s%s\n", kStavy[navrat], popis.c_str(), stari.c_str(),
                 meze.c_str());
    return navrat;
  };
  if (!stav || !stav->count("vysledek"))
    return radek(3,
                 text ? "stav posledního běhu v " + cesta + " nelze přečíst"
                      : "žádný běh aktualizace není zaznamenán",
                 "U");
  const RadekVysledku* posledni = NajitVysledek(h("vysledek"));
  std::string popis = "poslední běh " + h("konec") + ": " + h("popis");
  if (!h("chyba").empty()) popis += ": " + h("chyba");
  const auto uspech = ParsovatCasIso(h("posledni_uspech"));
  if (!uspech) return radek(2, "žádný úspěšný běh není zaznamenán; " + popis, "U");
  const std::int64_t stari = std::max<std::int64_t>(0, Sekundy(platforma().Ted()) - *uspech);
  const int navrat =
      stari >= prahy.kriticke                                                          ? 2
      : stari >= prahy.varovani || !posledni || posledni->navratStavu != kNavratUspech ? 1
                                                                                       : 0;
  return radek(navrat, "poslední úspěšný běh před " + std::to_string(stari / 3600) + " h; " + popis,
               std::to_string(stari) + "s");
}

}  // namespace zevlon
