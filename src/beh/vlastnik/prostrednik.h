// Root's side of the channel while the owner's process runs: every message it sends is
// checked and acted on (shown, answered, logged), and the relay has deadlines, so that the
// owner's process can hold root's run neither by stopping nor by hanging nor by leaving
// root's messages unread.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "beh/vlastnik/zpravy.h"
#include "platform/procesy/kanal.h"

namespace zevlon {

struct LhutyVlastnika {
  // The end of root's run (LhutaBehu), when it has one: then the process is asked to stop.
  std::optional<std::chrono::steady_clock::time_point> konecBehu;
  // The longest time without any message, heartbeats included, outside root's waits for a
  // person's answer.
  std::chrono::milliseconds ticho{std::chrono::seconds(120)};
  // From asking the process to stop to ending it.
  std::chrono::milliseconds poZruseni{std::chrono::seconds(5)};
};

// Why root ended the relay, or asked the process to stop.
enum class KonecVlastnika {
  kZadny,           // the process closed the channel by itself
  kNeplatnaZprava,  // it sent what is no message of the channel
  kTicho,           // it was silent for LhutyVlastnika::ticho
  kNecte,           // it left root's messages unread
  kZruseno,         // the run was cancelled (Storno, Ctrl+C, SIGTERM)
  kLhutaBehu,       // the run's deadline passed
};

struct PrenosVlastnika {
  std::optional<VysledekVlastnika> vysledek;  // the outcome it gave, if it did
  KonecVlastnika konec = KonecVlastnika::kZadny;
  bool zavreno = false;  // it closed the channel; otherwise root has to end it
};

// Relays the messages of the owner's process `vlastnik` until it closes its end of `k`,
// or until one of the bounds ends the relay: a cancel or the run's deadline sends the
// process a stop and waits for it up to `lhuty.poZruseni`. Root's own messages never
// wait, and what may queue unread for the process is bounded. With `logovat` its log
// lines go into root's logs.
PrenosVlastnika PrenasetZVlastnika(Kanal& k, const std::string& vlastnik, bool logovat,
                                   const LhutyVlastnika& lhuty);

}  // namespace zevlon
