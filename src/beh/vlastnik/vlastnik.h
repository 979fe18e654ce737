// The owner's room of the run floor: renewing a profile that another user can change.
// Its shape, in a few lines:
//   - Root's run (this file, vlastnik.cpp) starts the owner's process by fork and exec of
//     its own checked program file with kVolbaZaVlastnika (platform/procesy/
//     proces_vlastnika.h): as the owner (uid, primary group and groups from the user
//     database, nothing of root's), in a session of its own, with a rebuilt environment.
//   - Handed over, and nothing else: the message channel and sealed copies of the options
//     and of the release information with its signature, which the owner's process
//     verifies again (the descriptors in zpravy.h).
//   - Over the channel (platform/procesy/kanal.h; the messages in zpravy.h) the owner's
//     process (za_vlastnika.h) sends progress, questions, log lines and its outcome; root
//     sends answers and a cancel. Root reads every message as hostile.
//   - Root keeps only what is root's (its options, lock, logs, the face of the run): it
//     shows that process's reports and questions, answers them, writes its log lines
//     (cleaned and bounded) into root's logs and raises its outcome as its own, so the
//     run's exit status is the owner's.
#pragma once

#include <sys/types.h>

#include <string>

#include "aplikace/souhrn_obnovy.h"

namespace zevlon {

// The file beside the release information that keeps it as its signature covers it,
// before the run added what it needs (the profile's folder): the owner's process
// verifies these bytes again.
inline constexpr const char* kPriponaOverenych = ".overeno";

// Lets the owner's process renew the profile named by the release information `ini`
// (its SlozkaProfilu) and waits for it; answers whether the run goes on, or raises the
// error it ended with; what it renewed goes to `souhrn`. A user that the database does not
// know, or one without a home folder of their own, is refused with an error naming them.
// With `uloha` kOdhadZaVlastnika that process renews nothing: `souhrn` gets what an update
// would renew (the dry run of `--kontrola`), and neither process writes a log line. With
// kNavratZaVlastnika it goes back from the last update, for the way back's file `ini`.
bool AktualizovatZaVlastnika(uid_t vlastnik, const std::string& ini, SouhrnObnovy& souhrn,
                             const char* uloha = nullptr);

}  // namespace zevlon
