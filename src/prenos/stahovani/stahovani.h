// Everything taken from the update site comes through here: single files over HTTP,
// and packages (zip archives that each hold one file of the same name) that are
// downloaded, tested, unpacked and retried.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "platform/http/http.h"

namespace zevlon {

// One GET of url; the body replaces `soubor` byte for byte. A status other than 200
// raises "http error: " + status + " " + the status text as the server sent it.
// A body larger than maxBajtu (default 4 GiB) is refused with an error. The deadline
// of the transfer grows with ocekavanaVelikost. Answers the bytes received.
std::int64_t StahnoutSoubor(const std::string& url, const std::string& soubor,
                            std::int64_t maxBajtu = std::int64_t{4} << 30,
                            std::int64_t ocekavanaVelikost = 0);

// What one package may unpack to: the one file it is named after and no other entry,
// of exactly `velikost` bytes (a file that a snapshot line lists with its size) or of
// at most that many (the snapshot itself, the updater). The archive may be a little
// larger than that; the deadline of its download is scaled to `ocekavano`.
struct MezeBalicku {
  std::int64_t velikost;
  bool presne;
  std::int64_t ocekavano;
};
inline constexpr std::int64_t kMaxSnapshotu = std::int64_t{64} << 20;
inline constexpr std::int64_t kMaxBalicku = std::int64_t{256} << 20;
// A snapshot: its download is as short as that of the release information.
inline constexpr MezeBalicku kBalicekSnapshotu{kMaxSnapshotu, false, 0};
// A package of no known size (the updater): its deadline as for 32 MiB.
inline constexpr MezeBalicku kBalicekBezVelikosti{kMaxBalicku, false, std::int64_t{32} << 20};
// A file of a snapshot, of the size its line gives.
inline MezeBalicku BalicekSouboru(std::int64_t velikost) {
  return {velikost, true, velikost};
}
// The largest archive a package may come in: its file and the archive's own bytes.
std::int64_t NejvetsiArchiv(const MezeBalicku& meze);

// What the packages of one snapshot may bring in altogether: twice the total of its
// sizes, 1 KiB per file (the archive's own bytes) and 1 MiB. A download that would go
// beyond it is broken off and ends the update.
class RozpocetStahovani {
 public:
  // Sizes beyond what any disk holds (a hostile snapshot's) are taken as 2^50 bytes.
  RozpocetStahovani(std::int64_t soucetVelikosti, std::int64_t souboru)
      : uvedeno_(std::clamp<std::int64_t>(soucetVelikosti, 0, kStrop)),
        celkem_(2 * uvedeno_ + std::clamp<std::int64_t>(souboru, 0, kStrop >> 10) * 1024 +
                (std::int64_t{1} << 20)),
        zbyva_(celkem_) {}
  std::int64_t Celkem() const { return celkem_; }
  // The bytes the snapshot lists.
  std::int64_t Uvedeno() const { return uvedeno_; }
  std::int64_t Zbyva() const { return zbyva_; }
  void Odecist(std::int64_t bajtu) { zbyva_ -= bajtu; }

 private:
  static constexpr std::int64_t kStrop = std::int64_t{1} << 50;
  std::int64_t uvedeno_;
  std::int64_t celkem_;
  std::int64_t zbyva_;
};

// The downloads of a snapshot's packages started ahead of their turn, so that several are
// in flight at once (KlientHttp::soubeznaStahovani, and kNasobekHttp2 times as many over
// HTTP/2, where they share one connection); those done wait for their turn, up to
// kNasobekHotovych times as many. Each goes to a name of its own in `slozka`
// (a private folder), only when the budget has its package's whole bound left beside the
// others in flight; together they hold at most kMaxVLetu bytes of disk, unless only one
// is in flight, and leave free on the folder's disk at least kVolneMisto or a tenth of
// what the snapshot lists, the larger. One that meets a full disk is fetched again at its
// turn. Its outcome, an error included, is taken when its turn comes
// (StahnoutARozbalit), so that what the user sees keeps the order of the snapshot. What
// was never taken is broken off when the object ends (Storno, an error) and leaves no file.
class PredstihStahovani {
 public:
  // Over HTTP/2: 96 streams at the default window of 8, below the 100 that libcurl opens on
  // one connection (KlientHttp::kProuduNaSpojeni), so that they all share it. Measured at 50 ms
  // round trip, 1,000 files: 64 streams took a fifth longer; more than 100 open further
  // connections.
  static constexpr std::size_t kNasobekHttp2 = 12;
  // Downloads done and waiting for their turn, at most this many times the window.
  static constexpr std::size_t kNasobekHotovych = 4;
  static constexpr std::int64_t kMaxVLetu = std::int64_t{256} << 20;
  static constexpr std::int64_t kVolneMisto = std::int64_t{64} << 20;

  PredstihStahovani(std::string slozka, RozpocetStahovani* rozpocet);
  ~PredstihStahovani();
  PredstihStahovani(const PredstihStahovani&) = delete;
  PredstihStahovani& operator=(const PredstihStahovani&) = delete;

  // Starts the package's download for the turn `poradi` when the bounds allow; answers
  // whether it is in flight.
  bool Zacit(std::size_t poradi, const std::string& url, const MezeBalicku& meze);
  bool Zacato(std::size_t poradi) const;
  // Waits for the download of that turn and puts it under `archiv`; raises what a
  // download at this moment would raise.
  void Prevzit(std::size_t poradi, const std::string& archiv);
  // How many may be in flight now.
  std::size_t Okno() const;
  // What starts the downloads of the next turns; called also while a download is awaited,
  // so that connections that fell idle get the next ones.
  void NastavitDoplneni(std::function<void()> doplnit) { doplnit_ = std::move(doplnit); }
  // Lets the downloads in flight go on for a moment, without waiting.
  void Pokracovat() { skupina_.Pokracovat(); }
  std::size_t Bezi() const { return skupina_.Bezi(); }
  // Of them, those still running.
  std::size_t Probiha() const { return skupina_.Probiha(); }

 private:
  struct Zaznam {
    std::size_t cislo;
    std::string soubor;
    std::int64_t mez;
    bool rozpoctu;
  };
  std::string slozka_;
  RozpocetStahovani* rozpocet_;
  SkupinaStahovani skupina_;
  std::map<std::size_t, Zaznam> zaznamy_;
  std::function<void()> doplnit_;
  std::int64_t rezervovano_ = 0;
};

// True when the file begins with "PK" (letter case ignored); any error gives false.
bool JeZip(const std::string& soubor);

// Copies the entry `jmeno` out of slozka + jmeno + ".zip" into slozka within the
// package's bounds, or leaves nothing; errors are ignored.
void RozbalitPresShell(const std::string& slozka, const std::string& jmeno,
                       const MezeBalicku& meze = kBalicekBezVelikosti);

// Downloads url into slozka + jmeno + ".zip" and unpacks its entry `jmeno` to
// slozka + jmeno within the package's bounds. A download that is not a zip archive, or
// that broke off on the way (then only its rest is asked for), is fetched once more, a package that
// unpacks to nothing (or to a file out of its bounds) is processed once more from the download: at
// most four downloads. Then the error: `zprava`, or the standard text when it is empty. Returns
// only when slozka + jmeno exists. With a budget, every download is counted against it. The first
// download is the one `predstih` started for the turn `poradi`, when it did.
void StahnoutARozbalit(const std::string& url, const std::string& slozka, const std::string& jmeno,
                       const std::string& zprava, const MezeBalicku& meze = kBalicekBezVelikosti,
                       RozpocetStahovani* rozpocet = nullptr, PredstihStahovani* predstih = nullptr,
                       std::size_t poradi = 0);

// Downloads url into `soubor` as it is (a file that is no package) within the bound of a
// package of these bounds and what the budget has left: one request, the one `predstih`
// started for the turn `poradi` when it did. Raises what the download raises.
void StahnoutVRozpoctu(const std::string& url, const std::string& soubor, const MezeBalicku& meze,
                       RozpocetStahovani* rozpocet, PredstihStahovani* predstih = nullptr,
                       std::size_t poradi = 0);

// Waits the given number of seconds, letting window events run meanwhile.
void Pockat(float sekundy);

}  // namespace zevlon
