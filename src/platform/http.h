// HTTP GET of one address into a file, over libcurl. One handle serves all the
// downloads of a run, so keep-alive connections are reused. The body is streamed
// to a temporary name beside the target and renamed over the target only when the
// whole answer arrived with status 200: no partial file ever stands under the
// target's name.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "common/chyba.h"

namespace zevlon {

struct OdpovedHttp {
  long status = 0;         // the last status of the exchange (after redirects)
  std::string textStavu;   // its reason phrase as the server sent it
  std::int64_t bajtu = 0;  // body bytes received
};

// The error of a body larger than the bound the caller set: an error of its own kind,
// so that the caller can tell which of its bounds it was.
class PrilisVelkaOdpoved : public Chyba {
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
  // transfer is Lhuta(ocekavanaVelikost).
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

  // Set for a run that began on https: an http address is refused before anything
  // is sent.
  bool jenHttps = false;

 private:
  struct Handle;
  std::unique_ptr<Handle> h_;
};

// The client of the process (created on first use).
KlientHttp& Http();

}  // namespace zevlon
