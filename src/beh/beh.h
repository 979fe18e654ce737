// The program's entry: one whole update run, from showing the progress window to
// handing over to a temporary copy of the program, with the single handler that
// shows, logs or repeats every error raised during the run.
#pragma once

#include <functional>
#include <string>

#include "aplikace/souhrn_obnovy.h"
#include "beh/navraty.h"

namespace zevlon {

inline constexpr const char* kHotovo = "Hotovo";

// The install step: the setup-folder update for a release information file; answers
// false when the run must end at once (a new updater was started in its place). What it
// renewed goes to the summary, for the run's record.
using AktualizaceSetup = std::function<bool(const std::string& souborVydani, SouhrnObnovy& souhrn)>;

// Runs the update for the command line (empty: a full run; "Hotovo": the closing
// message only; anything else: the path of a release information file whose install
// step is to run). Answers the exit status.
int Main(const std::string& prikazovyRadek, const AktualizaceSetup& aktualizaceSetup);

// `Zevlon --vratit`: a run that goes back from the last update of the profile of the
// options (SlozkaDat) and fetches nothing; `navrat` carries it out for the small file the
// run hands it (instalace/navrat.h). With `ano` it needs no question, with `presZmenuDat`
// it may cross a change of the data structure. Answers the exit status.
struct VolbyNavratu {
  bool ano = false, presZmenuDat = false;
};
int MainNavratu(const VolbyNavratu& volby, const AktualizaceSetup& navrat);

}  // namespace zevlon
