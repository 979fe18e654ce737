// Progress reports and message boxes of the run: the logic of the progress window
// that does not depend on a toolkit.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rozhrani/rozhrani.h"

namespace zevlon {

// The single progress report of the program. Heading T (empty: unchanged) and
// message M; value V of total C; stage E in percent (-1 unchanged, 0 reset, other:
// a new stage ending at E); whether Storno and Zavřít are shown. Lets window events
// run and raises the cancel error when the user pressed Storno.
void ZobrazPrubeh(const std::string& nadpis, const std::string& zprava, std::int32_t hodnota,
                  std::int32_t celkem, std::int32_t etapa, bool stornoZobrazeno,
                  bool zavritZobrazeno);

// Progress inside the file being downloaded, added to the message line of the last report
// (the meter stays): "… – 1,2 MB z 30,0 MB, 1,0 MB/s, zbývá 27 s", each number bound to its
// unit by a no-break space; the whole size only when it is known (`celkem` >= 0), the rate
// from 1 B/s (with the run's bound, `omezeno`, when it holds the transfers back: "240 kB/s
// omezeno na 250 kB/s"), the time left with both.
void ZobrazPrubehSouboru(std::int64_t prijato, std::int64_t celkem, double rychlost,
                         std::int64_t omezeno = 0);

// A message line that ZobrazPrubehSouboru extended, in its parts (views into `text`): the
// report's own message, the sizes ("1,2 MB z 30,0 MB"), the rate ("1,0 MB/s") and the time
// left ("zbývá 27 s"), each empty when not given. No value for any other line.
struct ZpravaSouboru {
  std::string_view zprava, velikost, rychlost, zbyva;
};
std::optional<ZpravaSouboru> RozlozitZpravuSouboru(std::string_view text);
// The line from its parts as ZobrazPrubehSouboru joins them, those left empty left out.
std::string SlozitZpravuSouboru(const ZpravaSouboru& z);

// For work that reports no progress for a while (hashing, waiting): raises the cancel
// error when the user pressed Storno or Ctrl+C (the face is asked at most ten times a
// second) or a stop was asked (SIGTERM), as ZobrazPrubeh does.
void OveritPreruseni();

// While one lives the run swaps its folders: a stop (Storno, Ctrl+C, SIGTERM) does not
// break the swaps off between folders, it waits until they end, at most kOdkladZastaveni
// from the request (systemd gives a stopped service 90 s). A stop that waited and the swaps
// completed is spent: the run reports what it did (StopPrislaPozde) and ends as it is.
inline constexpr std::chrono::seconds kOdkladZastaveni{60};
class VymenyBezPreruseni {
 public:
  VymenyBezPreruseni();
  ~VymenyBezPreruseni();
  VymenyBezPreruseni(const VymenyBezPreruseni&) = delete;
  VymenyBezPreruseni& operator=(const VymenyBezPreruseni&) = delete;
  // The swaps are done: a stop that waited for them is spent; answers whether one did
  // (the caller says so in Zevlon.log: kStopPozde).
  bool Dokonceno();
};

// Whether a stop came while the swaps were under way and waited for them to complete; the
// run then does no further work and reports what it did. Marked by VymenyBezPreruseni, or
// by root when the owner's process it acts for completed its swaps after root's stop.
bool StopPrislaPozde();
void OznacitStopPozde();
inline constexpr const char* kStopPozde =
    "Požadavek na zastavení přišel během výměny složek; výměny byly dokončeny a běh skončil "
    "bez další práce.";

// Width of the meter's fill: inner width × hotovo ÷ celkem, remainder dropped;
// 0 when celkem is 0. The inner width is the frame's width less twice the inset of
// the fill, rounded to a whole number.
std::int64_t SirkaUkazatele(double sirkaMetru, double odsazeni, std::int32_t hotovo,
                            std::int32_t celkem);

// Shows a message box (system-modal) unless the run is unattended, in which case it
// answers 1 (OK) without showing anything.
int ZobrazZpravu(const std::string& text, int styl, const std::string& titulek = {});

}  // namespace zevlon
