#include "tools/publikace/spojeni.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "tools/publikace/http_pozadavek.h"
#include "tools/publikace/soubor_webu.h"

namespace zevlon::publikace {

namespace {

using Hodiny = std::chrono::steady_clock;

constexpr std::size_t kNejdelsiHlava = 65536;
// How often a wait looks at the stop flag.
constexpr int kKrokCekaniMs = 100;
// How long a closing connection reads on so that the client gets the last answer
// before its own unread requests make the close a reset.
constexpr auto kDobihani = std::chrono::seconds(2);

std::mutex zamekLogu;

// One line per request, whole even when connections log at once.
void Zalogovat(const NastaveniServeru& n, const std::string& radek) {
  std::lock_guard<std::mutex> z(zamekLogu);
  if (n.log.empty()) {
    std::printf("%s\n", radek.c_str());
    std::fflush(stdout);
    return;
  }
  Popisovac fd(::open(n.log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (fd.Platny()) (void)ZapsatVse(fd.Fd(), radek + "\n");
}

std::string Cas() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

const char* TextStavu(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 206:
      return "Partial Content";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 416:
      return "Range Not Satisfiable";
    default:
      return "Bad Request";
  }
}

struct Odpoved {
  int status = 200;
  std::string hlavicky;  // further header lines, each with its CRLF
  std::string telo;      // a short text, unless a file is sent
  std::optional<SouborWebu> soubor;
  std::uint64_t od = 0;     // the part of the file sent
  std::uint64_t delka = 0;  // the body's length, of the file or the text

  static Odpoved Chyba(int status, std::string hlavicky = {}) {
    Odpoved o;
    o.status = status;
    o.hlavicky = std::move(hlavicky);
    o.telo = std::string(TextStavu(status)) + "\n";
    o.delka = o.telo.size();
    return o;
  }
};

// A range is served only of the version the client names in If-Range, if it names one.
void VybratCast(const Pozadavek& p, Odpoved& o) {
  auto range = p.Hlavicka("range");
  auto ifRange = p.Hlavicka("if-range");
  if (p.metoda != "GET" || !range ||
      (ifRange && *ifRange != o.soubor->etag && *ifRange != o.soubor->zmeneno))
    return;
  std::string velikost = std::to_string(o.soubor->velikost);
  Rozsah r;
  switch (VybratRozsah(*range, o.soubor->velikost, r)) {
    case Vyber::kCely:
      return;
    case Vyber::kNesplnitelny:
      o = Odpoved::Chyba(416, "Content-Range: bytes */" + velikost + "\r\n");
      return;
    case Vyber::kCast:
      o.status = 206;
      o.hlavicky += "Content-Range: bytes " + std::to_string(r.od) + "-" + std::to_string(r.po) +
                    "/" + velikost + "\r\n";
      o.od = r.od;
      o.delka = r.po - r.od + 1;
      return;
  }
}

// Whether the text holds a control character (a line break that would forge a log line).
bool MaRidiciZnak(std::string_view t) {
  return std::any_of(t.begin(), t.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

// The target as logged: control characters as %XX, so that a line is one request.
std::string ProLog(std::string_view t) {
  std::string r;
  for (char c : t) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7f) {
      r += c;
      continue;
    }
    char kod[4];
    std::snprintf(kod, sizeof kod, "%%%02X", b);
    r += kod;
  }
  return r;
}

Odpoved Pripravit(const NastaveniServeru& n, const Pozadavek& p) {
  // A body is not read, so nothing after it could be told from it.
  if (!p.platny || MaTelo(p) || MaRidiciZnak(p.cil)) return Odpoved::Chyba(400);
  if (p.metoda != "GET" && p.metoda != "HEAD") return Odpoved::Chyba(405, "Allow: GET, HEAD\r\n");
  std::string cesta;
  if (!Dekodovat(p.cil, cesta)) return Odpoved::Chyba(400);
  Odpoved o;
  o.soubor = OtevritSouborWebu(n.slozka, cesta);
  if (!o.soubor) return Odpoved::Chyba(404);
  o.delka = o.soubor->velikost;
  o.hlavicky = "Accept-Ranges: bytes\r\nETag: " + o.soubor->etag +
               "\r\nLast-Modified: " + o.soubor->zmeneno + "\r\n";
  if (!o.soubor->cache.empty()) o.hlavicky += "Cache-Control: " + o.soubor->cache + "\r\n";
  VybratCast(p, o);
  return o;
}

class Spojeni {
 public:
  Spojeni(const NastaveniServeru& n, Popisovac fd, const std::atomic<bool>& konec,
          const std::atomic<bool>& tlak)
      : n_(n),
        fd_(std::move(fd)),
        konec_(konec),
        tlak_(tlak),
        necinnost_(std::chrono::seconds(std::max(1, n.necinnost))),
        konecZivota_(Hodiny::now() + std::chrono::seconds(std::max(1, n.zivot))) {}

  void Obsluhovat() {
    std::string hlava;
    while (NacistHlavu(hlava) && Odpovedet(hlava)) {
    }
  }

 private:
  // Waits until the socket is ready for `udalost`; false at the deadline or on stop.
  bool Cekat(short udalost, Hodiny::time_point lhuta) {
    for (;;) {
      if (konec_) return false;
      auto zbyva =
          std::chrono::duration_cast<std::chrono::milliseconds>(lhuta - Hodiny::now()).count();
      if (zbyva <= 0) return false;
      pollfd p{fd_.Fd(), udalost, 0};
      int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(zbyva, kKrokCekaniMs)));
      if (r > 0) return true;  // an error or hang-up too: the next call reports it
      if (r < 0 && errno != EINTR) return false;
    }
  }

  // Waits until the socket takes more of an answer; false at `lhuta` or on stop. The
  // kernel says a socket is writable only once a third of its buffer is free, which a
  // client that reads steadily but slowly may need far longer than the idle time for: what
  // the client took from the socket's queue moves `lhuta` on, so only a client that takes
  // nothing for the idle time is silent.
  bool CekatNaOdber(Hodiny::time_point& lhuta) {
    int fronta = Fronta();
    for (;;) {
      if (Cekat(POLLOUT, std::min(lhuta, Hodiny::now() + std::chrono::milliseconds(kKrokCekaniMs))))
        return true;
      if (konec_) return false;
      if (int f = Fronta(); f < fronta) {
        fronta = f;
        lhuta = Hodiny::now() + necinnost_;
      } else if (Hodiny::now() >= lhuta) {
        return false;
      }
    }
  }
  // The bytes the socket still holds for the client (-1: not known, so never less).
  int Fronta() const {
    int n = 0;
    return ::ioctl(fd_.Fd(), SIOCOUTQ, &n) == 0 ? n : -1;
  }

  // The next request head, which must come whole within the idle time and within the
  // head's time from the last answer (a client that sends a byte now and then holds its
  // place no longer); false when the connection is to end.
  bool NacistHlavu(std::string& hlava) {
    auto lhuta = Hodiny::now() + std::min<Hodiny::duration>(
                                     necinnost_, std::chrono::seconds(std::max(1, n_.lhutaHlavy)));
    for (;;) {
      if (konec_) return false;
      auto konecHlavy = prijato_.find("\r\n\r\n");
      if (konecHlavy != std::string::npos) {
        hlava = prijato_.substr(0, konecHlavy);
        prijato_.erase(0, konecHlavy + 4);
        return true;
      }
      if (prijato_.size() > kNejdelsiHlava) return false;
      char kus[4096];
      ssize_t r = ::recv(fd_.Fd(), kus, sizeof kus, MSG_DONTWAIT);
      if (r > 0) {
        prijato_.append(kus, static_cast<std::size_t>(r));
        continue;
      }
      if (r == 0) return false;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      // Idle between requests, the connection gives its place to a client that waits.
      if (odpovedi_ > 0 && prijato_.empty() && tlak_) return false;
      if (Hodiny::now() >= lhuta || konec_) return false;
      Cekat(POLLIN, std::min(lhuta, Hodiny::now() + std::chrono::milliseconds(kKrokCekaniMs)));
    }
  }

  // Answers one request; false when the connection is to end.
  bool Odpovedet(const std::string& hlava) {
    Pozadavek p = RozebratHlavu(hlava);
    Odpoved o = Pripravit(n_, p);
    bool ponechat = p.platny && !MaTelo(p) && PonechatSpojeni(p) &&
                    ++odpovedi_ < std::max(1, n_.pozadavku) && Hodiny::now() < konecZivota_;
    bool head = p.metoda == "HEAD";
    std::string hlavicky = "HTTP/1.1 " + std::to_string(o.status) + " " + TextStavu(o.status) +
                           "\r\nContent-Length: " + std::to_string(o.delka) +
                           "\r\nContent-Type: application/octet-stream\r\n" + o.hlavicky;
    if (!ponechat)
      hlavicky += "Connection: close\r\n";
    else if (p.verze == "HTTP/1.0")
      hlavicky += "Connection: keep-alive\r\n";
    hlavicky += "\r\n";
    if (!head && !o.soubor) hlavicky += o.telo;
    Zalogovat(n_, Cas() + " " + (p.metoda.empty() ? "-" : ProLog(p.metoda)) + " " +
                      (p.cil.empty() ? "-" : ProLog(p.cil)) + " " + std::to_string(o.status) + " " +
                      std::to_string(head ? 0 : o.delka));
    bool souborDal = !head && o.soubor && o.delka > 0;
    if (!Poslat(hlavicky, souborDal) ||
        (souborDal && !PoslatSoubor(o.soubor->fd.Fd(), o.od, o.delka))) {
      Prerusit();
      return false;
    }
    if (!ponechat) Dobehnout();
    return ponechat;
  }

  // Sends all of `data`, as long as the client takes some of it within each idle time.
  bool Poslat(std::string_view data, bool budeDal = false) {
    auto lhuta = Hodiny::now() + necinnost_;
    while (!data.empty()) {
      if (konec_) return false;
      ssize_t r = ::send(fd_.Fd(), data.data(), data.size(),
                         MSG_NOSIGNAL | MSG_DONTWAIT | (budeDal ? MSG_MORE : 0));
      if (r > 0) {
        data.remove_prefix(static_cast<std::size_t>(r));
        lhuta = Hodiny::now() + necinnost_;
      } else if (r < 0 && errno == EINTR) {
        continue;
      } else if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && CekatNaOdber(lhuta)) {
        continue;
      } else {
        return false;
      }
    }
    return true;
  }

  // Sends `delka` bytes of the file from `od`; false also when the file has become
  // shorter than the length already announced.
  bool PoslatSoubor(int soubor, std::uint64_t od, std::uint64_t delka) {
    auto lhuta = Hodiny::now() + necinnost_;
    off_t pozice = static_cast<off_t>(od);
    while (delka > 0) {
      if (konec_) return false;
      ssize_t r = ::sendfile(fd_.Fd(), soubor, &pozice, std::min<std::uint64_t>(delka, 1 << 20));
      if (r > 0) {
        delka -= static_cast<std::uint64_t>(r);
        lhuta = Hodiny::now() + necinnost_;
      } else if (r == 0) {
        return false;
      } else if (errno == EINVAL || errno == ENOSYS) {
        return PoslatCtenim(soubor, static_cast<std::uint64_t>(pozice), delka);
      } else if (errno != EINTR && !(errno == EAGAIN && CekatNaOdber(lhuta))) {
        return false;
      }
    }
    return true;
  }

  // For a file system that cannot hand its files to a socket directly.
  bool PoslatCtenim(int soubor, std::uint64_t od, std::uint64_t delka) {
    std::string kus(65536, '\0');
    while (delka > 0) {
      ssize_t r = ::pread(soubor, kus.data(), std::min<std::uint64_t>(delka, kus.size()),
                          static_cast<off_t>(od));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      auto n = static_cast<std::uint64_t>(r);
      if (!Poslat(std::string_view(kus).substr(0, n), n < delka)) return false;
      od += n;
      delka -= n;
    }
    return true;
  }

  // Ends the sending side and reads on a little, so that the last answer is not lost to
  // a reset for requests the client had already sent.
  void Dobehnout() {
    ::shutdown(fd_.Fd(), SHUT_WR);
    auto lhuta = Hodiny::now() + std::min<Hodiny::duration>(kDobihani, necinnost_);
    char kus[4096];
    while (Cekat(POLLIN, lhuta)) {
      ssize_t r = ::recv(fd_.Fd(), kus, sizeof kus, MSG_DONTWAIT);
      if (r == 0 || (r < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) return;
    }
  }

  // An answer broken off: the close resets the connection, so that no unsent rest stays
  // queued for a client that does not take it.
  void Prerusit() {
    linger l{1, 0};
    ::setsockopt(fd_.Fd(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }

  const NastaveniServeru& n_;
  Popisovac fd_;
  const std::atomic<bool>& konec_;
  const std::atomic<bool>& tlak_;
  const Hodiny::duration necinnost_;
  const Hodiny::time_point konecZivota_;
  int odpovedi_ = 0;
  std::string prijato_;  // received and not yet answered
};

}  // namespace

void ObslouzitSpojeni(const NastaveniServeru& n, Popisovac spojeni, const std::atomic<bool>& konec,
                      const std::atomic<bool>& tlak) {
  Spojeni(n, std::move(spojeni), konec, tlak).Obsluhovat();
}

}  // namespace zevlon::publikace
