// A TCP relay that makes loopback look like a slow link, for the slow-link benchmark:
// it listens on a loopback port, connects every accepted connection to one target and
// relays both ways, holding each chunk for a fixed delay in each direction.
//
//   zevlon_bench_proxy --cil HOST:PORT --zpozdeni MS [--rychlost KBIT_PER_S] [--port P]
//
// Prints "proxy 127.0.0.1:PORT" once it listens (port 0: any free one), then a line
// "connection N" for each connection it accepts, and ends on SIGTERM or SIGINT. The link
// it plays:
// - A chunk read at time t reaches the other side at t + MS. With --rychlost, each
//   direction is one link shared by all connections, as the line to a real server is:
//   chunks go onto it one after another at the rate, and each arrives MS after its last
//   byte went on. The link queues at most kFrontaLinky; while it holds more, no sender in
//   that direction is read, so senders wait in their socket buffers as behind a full TCP
//   window. Chunks are then cut to about two milliseconds of the rate, so delivery is smooth.
// - A new connection sends its first byte no sooner than one round trip after it was
//   accepted, the cost of a TCP handshake over the link (loopback accepts at once).
// - Without a rate, a connection holds at most kNaCeste bytes per direction in flight,
//   which limits nothing a benchmark here reaches (kNaCeste / MS is hundreds of MB/s).
// One thread and one ppoll loop; its timer slack is tens of microseconds.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/soubory/soubor.h"

namespace {

using Hodiny = std::chrono::steady_clock;
using Cas = Hodiny::time_point;
using std::chrono::microseconds;

constexpr std::size_t kKus = 64 * 1024;
constexpr std::size_t kNaCeste = 8 * 1024 * 1024;
constexpr microseconds kFrontaLinky{20000};

volatile std::sig_atomic_t konec = 0;
void Ukoncit(int) {
  konec = 1;
}

struct Volby {
  std::string hostitel, port;
  microseconds zpozdeni{0};
  std::int64_t bajtuZaSekundu = 0;  // 0: no cap
  int naslouchat = 0;
};

// One direction of the link, shared by every connection.
struct Linka {
  std::int64_t bajtuZaSekundu = 0;
  microseconds zpozdeni{0};
  Cas volnaOd{};  // the link is booked until then

  // When n bytes read now reach the other side; nothing leaves before `nejdrive`.
  Cas Doruceni(Cas ted, Cas nejdrive, std::size_t n) {
    Cas zacatek = std::max(ted, nejdrive);
    if (bajtuZaSekundu == 0) return zacatek + zpozdeni;
    zacatek = std::max(zacatek, volnaOd);
    volnaOd = zacatek + microseconds(static_cast<std::int64_t>(n) * 1000000 / bajtuZaSekundu);
    return volnaOd + zpozdeni;
  }
  bool Plna(Cas ted) const { return bajtuZaSekundu > 0 && volnaOd > ted + kFrontaLinky; }
  std::size_t Kus() const {
    if (bajtuZaSekundu == 0) return kKus;
    return std::clamp<std::size_t>(static_cast<std::size_t>(bajtuZaSekundu / 500), 1024, kKus);
  }
};

struct Kus {
  Cas kdy;
  std::string data;
  std::size_t odeslano = 0;
};

// One direction of a connection: chunks read from one socket, due on the other.
struct Smer {
  std::deque<Kus> fronta;
  std::size_t naCeste = 0;
  Cas nejdrive{};
  bool konecCteni = false;  // the sender closed its side
  bool zavreno = false;     // and that was passed on
  bool ceka = false;        // the receiver's buffer is full

  bool MuzeCist(const Linka& l, Cas ted) const {
    return !konecCteni && naCeste < kNaCeste && !l.Plna(ted);
  }
  // Reads one chunk; false on a broken connection.
  bool Cist(int fd, Linka& l, Cas ted) {
    std::string data(l.Kus(), '\0');
    ssize_t r = ::recv(fd, data.data(), data.size(), MSG_DONTWAIT);
    if (r < 0) return errno == EAGAIN || errno == EINTR;
    // The end is an empty chunk: it travels the link too, behind the last data.
    konecCteni = r == 0;
    data.resize(static_cast<std::size_t>(r));
    naCeste += data.size();
    fronta.push_back({l.Doruceni(ted, nejdrive, data.size()), std::move(data)});
    return true;
  }
  // Writes the chunks that are due; false on a broken connection.
  bool Psat(int fd, Cas ted) {
    while (!ceka && !fronta.empty() && fronta.front().kdy <= ted) {
      Kus& k = fronta.front();
      if (k.data.empty()) {
        fronta.pop_front();
        continue;
      }
      ssize_t w = ::send(fd, k.data.data() + k.odeslano, k.data.size() - k.odeslano,
                         MSG_DONTWAIT | MSG_NOSIGNAL);
      if (w < 0) {
        if (errno != EAGAIN && errno != EINTR) return false;
        ceka = errno == EAGAIN;
        continue;
      }
      k.odeslano += static_cast<std::size_t>(w);
      if (k.odeslano < k.data.size()) {
        ceka = true;
        break;
      }
      naCeste -= k.data.size();
      fronta.pop_front();
    }
    if (fronta.empty() && konecCteni && !zavreno) {
      ::shutdown(fd, SHUT_WR);
      zavreno = true;
    }
    return true;
  }
  // The time this direction next needs the loop, if it waits on the clock.
  std::optional<Cas> Buzeni(const Linka& l, Cas ted) const {
    std::optional<Cas> b;
    if (!ceka && !fronta.empty()) b = fronta.front().kdy;
    if (!konecCteni && naCeste < kNaCeste && l.Plna(ted)) {
      Cas uvolneni = l.volnaOd - kFrontaLinky;
      b = b ? std::min(*b, uvolneni) : uvolneni;
    }
    return b;
  }
};

struct Spojeni {
  zevlon::Popisovac klient, cil;
  Smer tam, zpet;  // client to target, target to client
  bool rozbite = false;
};

bool NastavitSocket(int fd) {
  int ano = 1;
  return ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) == 0 &&
         ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &ano, sizeof ano) == 0;
}

// A connection to the target for a client just accepted; a failed one is dropped.
std::optional<Spojeni> Pripojit(zevlon::Popisovac klient, const addrinfo& cil) {
  Spojeni sp;
  sp.klient = std::move(klient);
  sp.cil = zevlon::Popisovac(::socket(cil.ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!sp.cil.Platny() || !NastavitSocket(sp.cil.Fd()) || !NastavitSocket(sp.klient.Fd()))
    return std::nullopt;
  if (::connect(sp.cil.Fd(), cil.ai_addr, cil.ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      std::fprintf(stderr, "proxy: cannot connect to the target: %s\n", std::strerror(errno));
      return std::nullopt;
    }
    // Nothing is written before the target's socket is writable: connected, or failed,
    // which the first write then reports.
    sp.tam.ceka = true;
  }
  return sp;
}

bool CistVolby(int argc, char** argv, Volby& v) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string jmeno = argv[i], hodnota = argv[i + 1];
    if (jmeno == "--cil") {
      auto dvojtecka = hodnota.rfind(':');
      if (dvojtecka == std::string::npos) return false;
      v.hostitel = hodnota.substr(0, dvojtecka);
      v.port = hodnota.substr(dvojtecka + 1);
    } else if (jmeno == "--zpozdeni") {
      v.zpozdeni = microseconds(std::atoll(hodnota.c_str()) * 1000);
    } else if (jmeno == "--rychlost") {
      v.bajtuZaSekundu = std::atoll(hodnota.c_str()) * 1000 / 8;
    } else if (jmeno == "--port") {
      v.naslouchat = std::atoi(hodnota.c_str());
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && !v.hostitel.empty() && v.zpozdeni.count() >= 0 && v.bajtuZaSekundu >= 0;
}

zevlon::Popisovac Naslouchat(int port) {
  zevlon::Popisovac s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  int ano = 1;
  ::setsockopt(s.Fd(), SOL_SOCKET, SO_REUSEADDR, &ano, sizeof ano);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t delka = sizeof a;
  if (!s.Platny() || ::bind(s.Fd(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(s.Fd(), 512) != 0 ||
      ::getsockname(s.Fd(), reinterpret_cast<sockaddr*>(&a), &delka) != 0)
    return {};
  std::printf("proxy 127.0.0.1:%d\n", ntohs(a.sin_port));
  std::fflush(stdout);
  return s;
}

// Relays until a signal ends it.
void Prenaset(int naslouchani, const addrinfo& cil, Linka& nahoru, Linka& dolu,
              const sigset_t& maskaBehem) {
  std::list<Spojeni> spojeni;
  std::vector<pollfd> fds;
  long prijato = 0;
  while (!konec) {
    Cas ted = Hodiny::now();
    for (auto it = spojeni.begin(); it != spojeni.end();) {
      Spojeni& s = *it;
      if (!s.tam.Psat(s.cil.Fd(), ted) || !s.zpet.Psat(s.klient.Fd(), ted)) s.rozbite = true;
      bool hotovo = s.rozbite || (s.tam.zavreno && s.zpet.zavreno);
      it = hotovo ? spojeni.erase(it) : std::next(it);
    }

    fds.assign(1, pollfd{naslouchani, POLLIN, 0});
    std::optional<Cas> buzeni;
    auto pridat = [&](int fd, const Smer& cteni, const Linka& l, const Smer& psani) {
      short udalosti =
          static_cast<short>((cteni.MuzeCist(l, ted) ? POLLIN : 0) | (psani.ceka ? POLLOUT : 0));
      // A socket with nothing to wait for stays out, or its hang-up would spin the loop.
      fds.push_back({udalosti ? fd : -1, udalosti, 0});
      if (auto b = cteni.Buzeni(l, ted)) buzeni = buzeni ? std::min(*buzeni, *b) : *b;
    };
    for (const Spojeni& s : spojeni) {
      pridat(s.klient.Fd(), s.tam, nahoru, s.zpet);
      pridat(s.cil.Fd(), s.zpet, dolu, s.tam);
    }
    timespec lhuta{};
    if (buzeni) {
      auto ns = std::max<std::int64_t>(
          0, std::chrono::duration_cast<std::chrono::nanoseconds>(*buzeni - ted).count());
      lhuta = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    }
    if (::ppoll(fds.data(), fds.size(), buzeni ? &lhuta : nullptr, &maskaBehem) < 0) continue;

    ted = Hodiny::now();
    std::size_t i = 1;
    for (Spojeni& s : spojeni) {
      auto obslouzit = [&](const pollfd& p, Smer& cteni, Linka& l, Smer& psani) {
        if (p.revents & POLLOUT) psani.ceka = false;
        if ((p.revents & (POLLIN | POLLHUP | POLLERR)) && (p.events & POLLIN) &&
            !cteni.Cist(p.fd, l, ted))
          s.rozbite = true;
      };
      obslouzit(fds[i++], s.tam, nahoru, s.zpet);
      obslouzit(fds[i++], s.zpet, dolu, s.tam);
    }
    if (fds[0].revents & POLLIN) {
      for (int fd; (fd = ::accept4(naslouchani, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
        if (auto s = Pripojit(zevlon::Popisovac(fd), cil)) {
          // The handshake's round trip comes before the client's first byte.
          s->tam.nejdrive = ted + 2 * nahoru.zpozdeni;
          spojeni.push_back(std::move(*s));
          std::printf("connection %ld\n", ++prijato);
          std::fflush(stdout);
        }
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Volby v;
  if (!CistVolby(argc, argv, v)) {
    std::fprintf(stderr,
                 "usage: zevlon_bench_proxy --cil HOST:PORT --zpozdeni MS "
                 "[--rychlost KBIT_PER_S] [--port P]\n");
    return 2;
  }
  addrinfo napoveda{};
  napoveda.ai_family = AF_UNSPEC;
  napoveda.ai_socktype = SOCK_STREAM;
  addrinfo* cil = nullptr;
  if (::getaddrinfo(v.hostitel.c_str(), v.port.c_str(), &napoveda, &cil) != 0 || !cil) {
    std::fprintf(stderr, "proxy: unknown target %s:%s\n", v.hostitel.c_str(), v.port.c_str());
    return 1;
  }
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> cilVlastnik(cil, ::freeaddrinfo);

  // The signals are let in only while the loop waits, so none is lost between its check
  // of `konec` and the wait.
  sigset_t signaly, puvodni;
  sigemptyset(&signaly);
  sigaddset(&signaly, SIGTERM);
  sigaddset(&signaly, SIGINT);
  sigprocmask(SIG_BLOCK, &signaly, &puvodni);
  struct sigaction sa {};
  sa.sa_handler = Ukoncit;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);

  zevlon::Popisovac naslouchani = Naslouchat(v.naslouchat);
  if (!naslouchani.Platny()) {
    std::fprintf(stderr, "proxy: cannot listen on port %d: %s\n", v.naslouchat,
                 std::strerror(errno));
    return 1;
  }
  Linka nahoru{v.bajtuZaSekundu, v.zpozdeni}, dolu{v.bajtuZaSekundu, v.zpozdeni};
  Prenaset(naslouchani.Fd(), *cil, nahoru, dolu, puvodni);
  return 0;
}
