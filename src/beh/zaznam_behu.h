// The record of every run: one line in Zevlon.log at its end, and the state file that
// monitoring reads (`Zevlon --stav`), written anew by each run in one step.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "aplikace/souhrn_obnovy.h"
#include "beh/navraty.h"
#include "common/cas.h"

namespace zevlon {

inline constexpr const char* kSouborStavu = "stav.json";

// How a run ended, as the state file names it.
namespace vysledky {
inline constexpr const char* kAktualizovano = "aktualizovano";      // folders renewed
inline constexpr const char* kAktualni = "aktualni";                // nothing new to install
inline constexpr const char* kBezProfilu = "bez_profilu";           // no profile to update
inline constexpr const char* kOdmitnuto = "odmitnuto";              // the site's older release
inline constexpr const char* kBezZmenyDat = "odmitnuta_zmena_dat";  // the warning declined
inline constexpr const char* kNovyProgram = "novy_program";         // a newer updater took over
inline constexpr const char* kNicNeprovedeno = "nic_neprovedeno";   // no such release file
inline constexpr const char* kDrzeno = "drzeno";  // the site's release is above the held one
inline constexpr const char* kOdlozenoVlna = "odlozeno_vlna";  // this machine's wave has not come
inline constexpr const char* kZruseno = "zruseno";
inline constexpr const char* kChyba = "chyba";
inline constexpr const char* kPreruseno = "preruseno";         // started and never ended (killed)
inline constexpr const char* kBezPripojeni = "bez_pripojeni";  // off the network: the run waits
inline constexpr const char* kJinyBeh = "jiny_beh";            // another run held the lock
inline constexpr const char* kVraceno = "vraceno";  // back to the release before (--vratit)
inline constexpr const char* kVracenoCeka = "vraceno_ceka";  // the release gone back from waits
}  // namespace vysledky

// The outcomes, one row each: every reader (the log's record, the state file, --stav and
// its exit status, "last success") asks this table.
struct RadekVysledku {
  const char* hodnota;  // as the state file names it (vysledky)
  const char* text;     // as a person reads it; "{}" stands for the release it names
  int navratStavu;      // the exit status of --stav for it
  bool uspech;          // counts as the last success: the installation is as its options want
  bool doStavu = true;  // the state file takes it (else it keeps the last run that did work)
};
inline constexpr RadekVysledku kVysledky[] = {
    {vysledky::kAktualizovano, "aktualizováno", kNavratUspech, true},
    {vysledky::kAktualni, "nic nového, instalace je aktuální", kNavratUspech, true},
    {vysledky::kBezProfilu, "žádný profil k aktualizaci", kNavratUspech, true},
    {vysledky::kOdmitnuto, "starší vydání na webu odmítnuto", kNavratUspech, true},
    {vysledky::kBezZmenyDat, "odmítnuto varování o změně datové struktury", kNavratUspech, true},
    {vysledky::kNovyProgram, "aktualizaci provede nový program aktualizace", kNavratUspech, true},
    {vysledky::kNicNeprovedeno, "nic neprovedeno, soubor s informacemi o vydání neexistuje",
     kNavratUspech, true},
    {vysledky::kDrzeno, "drženo na vydání {}", kNavratUspech, true},
    {vysledky::kOdlozenoVlna, "odloženo, vlna nasazení {}", kNavratUspech, true},
    {vysledky::kZruseno, "zrušeno", kNavratChyba, false},
    {vysledky::kChyba, "chyba", kNavratChyba, false},
    {vysledky::kPreruseno, "přerušeno", kNavratChyba, false},
    // No failure, no success: a machine off the network ages toward a warning.
    {vysledky::kBezPripojeni, "bez připojení", kNavratUspech, false},
    {vysledky::kJinyBeh, "jiný běh právě aktualizuje", kNavratChyba, false, false},
    {vysledky::kVraceno, "vráceno na vydání {}", kNavratUspech, true},
    {vysledky::kVracenoCeka, "vydání {} bylo vráceno, čeká se na novější", kNavratUspech, true},
};

// The row of an outcome; nothing for a value the table does not know.
const RadekVysledku* NajitVysledek(std::string_view hodnota);

struct ZaznamBehu {
  Okamzik zacatek{}, konec{};
  std::string rezim;     // "v okně", "na terminálu" or "bez obsluhy"
  std::string profil;    // the profile's folder; empty when none was chosen
  std::string vysledek;  // one of `vysledky`
  std::string chyba;     // the error's text, for kChyba
  std::string
      podrobnost;  // what the outcome's text names in its place {} (the held release, the wave)
  std::string vydaniWebu;  // the release the site offered; empty when none was read
  int navrat = 0;          // the exit status
  SouhrnObnovy souhrn;
};

// The record as Zevlon.log holds it (after the time and a TAB).
std::string RadekZaznamu(const ZaznamBehu& z);

// The state file's text for the run, carrying over from the previous one (`predchozi`,
// which may be empty or damaged) the times of the last successful run and update.
std::string JsonStavu(const ZaznamBehu& z, const std::string& predchozi);

// Where this process keeps its state file: /var/lib/zevlon for root in a packaged build,
// beside the logs for root otherwise, in the user's state folder for any other user;
// empty when there is none.
std::string CestaStavu();

// Whether the folder is this process's user's alone: a folder, theirs, that no group or
// other user may write.
bool SlozkaJenMoje(const std::string& slozka);

// The text of the last run's state as --stav finds it (the user's own file, else root's),
// its path in `cesta`; nothing when there is none that can be read.
std::optional<std::string> CistStavBehu(std::string& cesta);

// Writes the run's line into Zevlon.log and, with `stav`, its state file (an outcome that the
// state file does not take only drops the run's start from it); a state file that cannot be
// written is said in online_errors.log and fails nothing.
void ZaznamenatBeh(const ZaznamBehu& z, bool stav = true);

// Adds to the state file that a run began (`zacatek`, this process), keeping what it says
// of the last finished run; written once the run holds its lock, so that --stav can tell
// a run that goes on from one that was killed. Fails nothing.
void ZaznamenatZacatek(Okamzik zacatek);

// `Zevlon --stav [--json]`: the last run's state for a person, in Czech, or as the file
// holds it. The user's own state file, else (for an account that runs no updates of its
// own, such as monitoring) root's. Answers the exit status of that run's outcome
// (kVysledky: 0 when it succeeded, 1 when it failed), 3 when no run is recorded. A run
// that began later is named: one that goes on (its process lives, started when the file
// says) leaves the answer to the last finished run; one that never ended is reported as
// interrupted (vysledky::kPreruseno), with any unfinished update of the profile.
int VypsatStav(bool json, std::FILE* out);

}  // namespace zevlon
