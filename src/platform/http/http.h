// The HTTP room of the platform floor: one client over libcurl (http.h) and the
// owners of libcurl's handles (curl_drzaky.h).
//
// HTTP GET of one address into a file, over libcurl. One multi handle serves all the
// downloads of a run, so connections are reused: keep-alive over HTTP/1.1, and over
// HTTP/2 (offered over TLS) every transfer of a run multiplexed on one connection. The body is
// streamed to a temporary name beside the target and renamed over the target only when the whole
// answer arrived with status 200: no partial file ever stands under the target's name.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/chyba.h"

namespace zevlon {

struct OdpovedHttp {
  long status = 0;         // the last status of the exchange (after redirects)
  std::string textStavu;   // its reason phrase as the server sent it
  std::int64_t bajtu = 0;  // body bytes received
  bool http2 = false;      // the answer came over HTTP/2
};

// The error of a body larger than the bound the caller set: an error of its own kind,
// so that the caller can tell which of its bounds it was.
class PrilisVelkaOdpoved : public Chyba {
 public:
  using Chyba::Chyba;
};

// A download whose connection was lost on the way (closed or failed, HTTP/2 streams
// included): worth one more try. When the answer named its version, the part received
// was kept and the next download of the same address asks only for the rest.
class PrerusenyPrenos : public Chyba {
 public:
  using Chyba::Chyba;
};

class KlientHttp {
 public:
  KlientHttp();
  ~KlientHttp();
  KlientHttp(const KlientHttp&) = delete;
  KlientHttp& operator=(const KlientHttp&) = delete;

  // GET with "Cache-Control: no-cache" and "Pragma: no-cache", redirects followed
  // (http and https only, never from https down to http). With status 200 the body
  // replaces `soubor`; with any other status `soubor` is left as it was. A transport
  // failure (no connection, unknown host, a transfer that stalls, runs past its
  // deadline or breaks off) raises an error. A body larger than maxBajtu is broken off
  // and raised as PrilisVelkaOdpoved; nothing of it is left. The deadline of the
  // transfer is Lhuta(ocekavanaVelikost). A lost connection is raised as PrerusenyPrenos,
  // and the body broken off is kept when the answer named its version (ETag, else
  // Last-Modified);
  // the next download of the address within the run continues it with a range request
  // valid only for that version (If-Range), and starts over cleanly when the server
  // answers with the whole body.
  OdpovedHttp Stahnout(const std::string& url, const std::string& soubor,
                       std::int64_t maxBajtu = kMaxStazeni, std::int64_t ocekavanaVelikost = 0);

  // The deadline of a transfer, counted from its start: lhutaPrenosu plus the time
  // that the expected size takes at the minimum speed.
  std::chrono::seconds Lhuta(std::int64_t ocekavanaVelikost) const;

  // The largest download (4 GiB) and the largest information file or snapshot (16 MiB).
  static constexpr std::int64_t kMaxStazeni = std::int64_t{4} << 30;
  static constexpr std::int64_t kMaxInformaci = std::int64_t{16} << 20;

  // Bounds of one transfer: the time to connect; the deadline of a transfer of no
  // expected size (release information, snapshots), which grows with the expected
  // size; the minimum speed: a transfer below minRychlost bytes per second for
  // casMinRychlosti is given up.
  static constexpr std::chrono::seconds kLhutaPrenosu{120};
  static constexpr std::int64_t kMinRychlost = 1024;
  static constexpr std::chrono::seconds kCasMinRychlosti{30};
  std::chrono::seconds casPripojeni{30};
  std::chrono::seconds lhutaPrenosu = kLhutaPrenosu;
  std::int64_t minRychlost = kMinRychlost;
  std::chrono::seconds casMinRychlosti = kCasMinRychlosti;

  // The end of the whole run, when it has one: no transfer starts after it and none goes
  // on past it (its deadline is cut to what is left); `lhutaBehu` is its length, for the
  // message.
  std::optional<std::chrono::steady_clock::time_point> konecBehu;
  std::chrono::seconds lhutaBehu{0};
  // Raises the time-out of a run past its end; nothing when it has none or is not there.
  void OveritLhutuBehu() const;

  // Told at most five times a second while a transfer is waited for: the bytes of its
  // body received, its whole size when the server said it (else -1), and the bytes per
  // second since it began.
  // `omezeno`: the run's bound (bytes per second) when it held a transfer back within the
  // last second, else 0.
  struct PrubehStazeni {
    std::int64_t prijato = 0, celkem = -1;
    double rychlost = 0;
    std::int64_t omezeno = 0;
  };
  std::function<void(const PrubehStazeni&)> hlasitPrubeh;

  // Asked about ten times a second while transfers run: true ends them all at once (their
  // files removed) with the cancellation error, its text `textPreruseni`.
  std::function<bool()> prerusit;
  std::string textPreruseni;

  // Set for a run that began on https: an http address is refused before anything
  // is sent, unless it begins with `httpPovoleno` (a mirror whose files are verified by
  // their signed checksums; empty: none).
  bool jenHttps = false;
  std::string httpPovoleno;

  // The office's mirror of the site for the run (prenos/stahovani/zrcadlo.h): addresses
  // that begin with `web` are fetched from `zrcadlo` + their rest until `opusteno` is set.
  struct Zrcadleni {
    std::string web, zrcadlo;
    bool opusteno = false;
  };
  std::optional<Zrcadleni> zrcadleni;

  // The proxy of the transfers when the process was handed one: the address for http,
  // the one for https, the one for both where that one is empty, and the hosts reached
  // directly (as no_proxy); no proxy where all are empty. Without it libcurl takes the
  // proxy from the environment.
  struct Proxy {
    std::string http, https, vse, vyjimky;
  };
  std::optional<Proxy> proxy;

  // Connections to one host at most (HTTP/1.1; HTTP/2 multiplexes over one).
  static constexpr int kMaxSpojeni = 8;
  // HTTP/2 streams on one connection at most (fewer when the server allows fewer); more
  // transfers at once open another connection.
  static constexpr int kProuduNaSpojeni = 100;
  // Downloads a run keeps in flight over HTTP/1.1 (1 .. kMaxSpojeni).
  int soubeznaStahovani = kMaxSpojeni;
  // The bound of the whole run: bytes per second of all its transfers together (0: none),
  // while `omezeniPlati` says so (always where it is empty). A bucket shared by the
  // transfers (vedro.h) holds at most a tenth of a second of it; a transfer that finds it
  // empty is paused (its minimum speed is not measured meanwhile) until it fills.
  std::int64_t maxRychlost = 0;
  std::function<bool()> omezeniPlati;
  bool Omezuje() const;
  // Downloads to keep in flight: soubeznaStahovani, and while the bound holds no more than
  // the bound allows each at twice the minimum speed (at least one), so that the
  // slow-transfer rule does not break them off.
  int VLetu() const;
  // Whether the last answer came over HTTP/2.
  bool Http2() const;

 private:
  friend class SkupinaStahovani;
  struct Handle;
  struct Stazeni;
  // Starts a transfer on the client's connections; it runs while any transfer is driven.
  std::unique_ptr<Stazeni> Zacit(const std::string& url, const std::string& soubor,
                                 std::int64_t maxBajtu, std::int64_t ocekavanaVelikost);
  // Drives every started transfer until this one has ended; or once, without waiting.
  void Bezet(Stazeni& z, const std::function<void()>& priCekani = {});
  bool Pokracovat();
  // Sets the bucket to the bound as it holds now and resumes the paused transfers once it
  // holds something; answers how long to wait for that at most.
  std::chrono::milliseconds Omezit();
  // How far the transfer has come.
  PrubehStazeni PrubehCile(Stazeni& z);
  // The outcome of an ended transfer, as Stahnout answers or raises it.
  OdpovedHttp Vyhodnotit(Stazeni& z);
  OdpovedHttp Dokoncit(Stazeni& z, const std::function<void()>& priCekani = {});
  void Odebrat(Stazeni& z);
  void Zrusit(Stazeni& z);

  std::unique_ptr<Handle> h_;
};

// Several downloads in flight at once, on the caller's thread: each is started by
// Pridat and its outcome taken by Dokoncit, which drives all of them until that one has
// ended (the others go on meanwhile). The outcome and its errors are exactly those of
// KlientHttp::Stahnout, and each transfer's deadline counts from its start. Whatever has
// not been taken when the group ends is broken off and leaves no file.
class SkupinaStahovani {
 public:
  explicit SkupinaStahovani(KlientHttp& klient);
  ~SkupinaStahovani();
  SkupinaStahovani(const SkupinaStahovani&) = delete;
  SkupinaStahovani& operator=(const SkupinaStahovani&) = delete;

  // Starts the download; answers its number. Raises what Stahnout raises before sending.
  std::size_t Pridat(const std::string& url, const std::string& soubor, std::int64_t maxBajtu,
                     std::int64_t ocekavanaVelikost);
  // While it waits, `priCekani` is called now and then (to start further downloads).
  OdpovedHttp Dokoncit(std::size_t cislo, const std::function<void()>& priCekani = {});
  // Lets the transfers go on for a moment, without waiting (requests go out early).
  void Pokracovat();
  // Downloads started and not yet taken; of them, those still running.
  std::size_t Bezi() const { return bezi_; }
  std::size_t Probiha() const;

 private:
  KlientHttp& klient_;
  // A deque: a download awaited while others are added keeps its place in memory.
  std::deque<std::unique_ptr<KlientHttp::Stazeni>> stazeni_;
  std::size_t bezi_ = 0;
};

// The client of the process (created on first use).
KlientHttp& Http();

}  // namespace zevlon
