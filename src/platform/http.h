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

namespace zevlon {

struct OdpovedHttp {
  long status = 0;         // the last status of the exchange (after redirects)
  std::string textStavu;   // its reason phrase as the server sent it
  std::int64_t bajtu = 0;  // body bytes received
};

class KlientHttp {
 public:
  KlientHttp();
  ~KlientHttp();
  KlientHttp(const KlientHttp&) = delete;
  KlientHttp& operator=(const KlientHttp&) = delete;

  // GET with "Cache-Control: no-cache" and "Pragma: no-cache", redirects followed
  // (http and https only). With status 200 the body replaces `soubor`; with any
  // other status `soubor` is left as it was. A transport failure (no connection,
  // unknown host, a transfer that stalls or breaks off) raises an error.
  // A body larger than maxBajtu is broken off and raised as an error; nothing of it
  // is left.
  OdpovedHttp Stahnout(const std::string& url, const std::string& soubor,
                       std::int64_t maxBajtu = kMaxStazeni);

  // The largest download (4 GiB) and the largest information file or snapshot (16 MiB).
  static constexpr std::int64_t kMaxStazeni = std::int64_t{4} << 30;
  static constexpr std::int64_t kMaxInformaci = std::int64_t{16} << 20;

  // Bounds of one transfer: the time to connect, and the time a transfer may stay
  // below one byte per second before it is given up (no bound on the total time:
  // packages may be large).
  std::chrono::seconds casPripojeni{30};
  std::chrono::seconds casNecinnosti{60};

 private:
  struct Handle;
  std::unique_ptr<Handle> h_;
};

// The client of the process (created on first use).
KlientHttp& Http();

}  // namespace zevlon
