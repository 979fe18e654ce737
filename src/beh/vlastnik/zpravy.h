// What the process acting for a profile's owner and the root process that started it say
// to each other over their channel (platform/procesy/kanal.h). The owner's process reports and
// asks; root shows, answers and keeps the logs. Root reads every message as hostile:
// each field is checked and its text bounded and cleaned before anything uses it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "aplikace/souhrn_obnovy.h"
#include "common/text.h"
#include "platform/http/http.h"
#include "platform/procesy/kanal.h"
#include "rozhrani/rozhrani.h"

namespace zevlon {

namespace zpravy {
// From the owner's process.
inline constexpr char kPrubeh = 'P';    // a progress report (HlaseniPrubehu)
inline constexpr char kOtazka = 'M';    // a message box: text, style, title; awaits kOdpoved
inline constexpr char kVolba = 'V';     // the choice dialog (ParametryVolby); awaits kOdpoved
inline constexpr char kOkno = 'O';      // the window: "m" minimise, "o" restore
inline constexpr char kLog = 'L';       // a log line: the log's name, the text
inline constexpr char kVymeny = 'S';    // its swaps begin ("1") or are over ("0")
inline constexpr char kTep = 'H';       // a heartbeat, every kDobaTepu while the process lives
inline constexpr char kVysledek = 'K';  // the outcome: "" or the error's number, text, item;
                                        // whether the run goes on ("1"/"0"); the folders,
                                        // files copied, downloaded, rebuilt, bytes, release
                                        // before and after, older release refused ("1"/"0"),
                                        // the release a way back refused ("" for none)
// From root.
inline constexpr char kOdpoved = 'A';  // the button or row chosen
inline constexpr char kZruseni = 'Z';  // the user cancelled: stop at the next report
}  // namespace zpravy

// How often the owner's process sends its heartbeat, from a thread of its own: root ends a
// process that stayed silent for [Server] LhutaTicha seconds, at least kMinLhutaTicha.
inline constexpr std::chrono::seconds kDobaTepu{1};
inline constexpr std::chrono::seconds kMinLhutaTicha{5};

// The descriptors of the owner's process, as root places them.
inline constexpr int kFdKanalu = 3;
inline constexpr int kFdVoleb = 4;      // the options file's bytes
inline constexpr int kFdInformaci = 5;  // the release information as root's run holds it
inline constexpr int kFdOverenych = 6;  // the release information as its signature covers it
inline constexpr int kFdPodpisu = 7;    // that signature
inline constexpr int kFdPrenosu = 8;    // the way to the site: ZakodovatProxy

// The internal option that starts the owner's process (never for a person to type).
inline constexpr const char* kVolbaZaVlastnika = "--za-vlastnika";
// Its last argument when it is to find only what an update would renew.
inline constexpr const char* kOdhadZaVlastnika = "odhad";
// Its last argument when it is to go back from the last update (instalace/navrat.h); it is
// handed the way back's small file in place of release information, nothing to verify.
inline constexpr const char* kNavratZaVlastnika = "vratit";
// Its task for `--uvolnit`: the profile's refusal of a release gone back from is lifted.
inline constexpr const char* kUvolnitZaVlastnika = "uvolnit";

// A whole number in the field, within the bounds; nothing otherwise.
std::optional<std::int64_t> CisloPole(const std::string& pole, std::int64_t min, std::int64_t max);

ZpravaKanalu ZpravaPrubehu(const HlaseniPrubehu& h);
ZpravaKanalu ZpravaVolby(const ParametryVolby& p);

// The outcome of the owner's run as it reached root.
struct VysledekVlastnika {
  bool chyba = false;
  std::int32_t cislo = 0;
  std::string popis, polozka;
  bool pokracovat = true;
  SouhrnObnovy souhrn;
};
ZpravaKanalu ZpravaVysledku(const VysledekVlastnika& v);

// The proxy of root's transfers as libcurl would take it from root's environment
// (http_proxy; https_proxy or HTTPS_PROXY; all_proxy or ALL_PROXY; no_proxy or NO_PROXY),
// for the owner's process to use as its transfers' options, never as its environment.
KlientHttp::Proxy ProxyZProstredi();
std::string ZakodovatProxy(const KlientHttp::Proxy& p);
std::optional<KlientHttp::Proxy> DekodovatProxy(std::string_view bajty);

}  // namespace zevlon
