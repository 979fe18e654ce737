// The stand-ins room of the platform floor: what the suite's Windows world gives a
// program, made of Linux parts. The platform's services (platforma.h: who, where, the
// clock, the program's folders, opening a page), the registry file (registr.h) and INI
// files (ini.h).
//
// The platform's services that the program asks about its surroundings: who runs
// it, on which computer, where its file and the temp folder are, where the registry
// file lies, and what time it is. One process-wide instance; tests replace it with
// a subclass that overrides exactly what they need.
#pragma once

#include <chrono>
#include <string>
#include <system_error>
#include <vector>

#include "common/cas.h"

namespace zevlon {

class Platforma {
 public:
  virtual ~Platforma() = default;

  // Account name of the process; "System" for the superuser started without a
  // terminal and without a display (how cron starts it); empty when unknown.
  virtual std::string JmenoUzivatele();
  // Host name; empty when unknown.
  virtual std::string JmenoPocitace();
  // TEMP, else TMPDIR, else /tmp; without a trailing separator. Usually shared with
  // other users: the run works in a private folder chosen in it (platform/soubory/soukromy_temp.h).
  virtual std::string SlozkaTemp();
  // Full path of the running program file.
  virtual std::string CestaProgramu();
  // $DUNMOR_REGISTRY, else /etc/dunmor/registry.reg.
  virtual std::string CestaRegistru();
  // The user's own folder for the program's state: $XDG_STATE_HOME/zevlon, else
  // ~/.local/state/zevlon; the missing folders of that path are made for the user
  // alone (0700). Empty when there is none, or it is not a folder of this user. Root takes
  // it only where nothing on the way is another user's (no folder that others can write,
  // but for the sticky /tmp, nor another user's link), else in its own home from the user
  // database; empty when even that is not root's alone.
  virtual std::string SlozkaStavu();

  // Where the program keeps its options, logs and run lock. A build installed by the
  // package manager keeps them where the Filesystem Hierarchy Standard puts them; any
  // other build beside the program file, as it always has.
  //   ZBalicku      whether this is the packaged build;
  //   SlozkaVoleb   the folder of the options file: /etc/zevlon, else the program's;
  //   SlozkaLogu    the folder of the logs: /var/log/zevlon (made for root when missing),
  //                 else the program's; empty means the user's state folder;
  //   SlozkaZamku   the folder of the run lock: /run for root, $XDG_RUNTIME_DIR for
  //                 another user (empty when unset: the user's state folder), else the
  //                 program's.
  // A packaged build also takes root's temp folder from /var/cache/zevlon (made 0700
  // when missing) instead of TEMP or TMPDIR.
  virtual bool ZBalicku();
  // Where the records that a run keeps for the next runs lie: /var/lib/zevlon for root in
  // a packaged build (made by the package), else the user's state folder (SlozkaStavu);
  // empty when there is none. A package removal never deletes them, unlike the temp folder.
  virtual std::string SlozkaZaznamu();
  virtual std::string SlozkaVoleb();
  virtual std::string SlozkaLogu();
  virtual std::string SlozkaZamku();
  virtual Okamzik Ted();

  // A clock for measuring pauses, and a short sleep between looks at it.
  virtual std::chrono::steady_clock::time_point Monotonni();
  virtual void Uspat(std::chrono::milliseconds doba);

  // Whether the machine is connected: a network interface other than loopback is up
  // with an address, or the host to be reached is itself a loopback address. The
  // host is not contacted.
  virtual bool JePripojeno(const std::string& hostitel);

  // Starts a program detached (its own session, standard streams on /dev/null),
  // with the arguments as separate items, and does not wait for it. Answers why it
  // could not be started (a file that cannot be executed included: no execute bit,
  // a file system mounted noexec, not a program), or no error when it runs.
  virtual std::error_code SpustitProces(const std::string& program,
                                        const std::vector<std::string>& argumenty);
  // Starts a program the same way but on this process's terminal (its standard streams
  // and session are shared, so it shows there what it has to say, and Ctrl+C reaches
  // it too) and waits until it ends.
  virtual std::error_code SpustitNaTerminalu(const std::string& program,
                                             const std::vector<std::string>& argumenty);

  // Asks the desktop to open a document or an address with its usual program
  // (xdg-open, detached); false when the request could not be handed over.
  virtual bool OtevritDokument(const std::string& dokument);

  // Whether this process acts for the owner of a profile, started by a run as root that
  // keeps the logs and the face of the run; such a process hands each log line to that
  // run (true: the line was taken) instead of writing it itself.
  virtual bool ZaVlastnika() { return false; }
  virtual bool PredatRadekLogu(const char* /*log*/, const std::string& /*text*/) { return false; }
};

Platforma& platforma();
// Installs another platform for the process (nullptr restores the default); the
// caller keeps ownership.
void NastavitPlatformu(Platforma* p);

// Derived values.
std::string SlozkaProgramu();  // folder of the program file, no trailing separator
std::string JmenoProgramu();   // program file name without the executable suffix
inline constexpr const char* kPriponaSpustitelna = "";  // ".exe" on Windows

}  // namespace zevlon
