#include "tools/publikace/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <list>
#include <system_error>
#include <thread>

#include "platform/soubor.h"
#include "tools/publikace/spojeni.h"

namespace zevlon::publikace {

namespace {

// A connection's thread; `hotovo` tells the accepting loop it may be joined.
struct Obsluha {
  std::thread vlakno;
  std::atomic<bool> hotovo{false};
};

void Uklidit(std::list<Obsluha>& obsluhy) {
  for (auto o = obsluhy.begin(); o != obsluhy.end();) {
    if (o->hotovo) {
      o->vlakno.join();
      o = obsluhy.erase(o);
    } else {
      ++o;
    }
  }
}

}  // namespace

int Servirovat(const NastaveniServeru& n, const std::atomic<bool>& konec,
               void (*pripraven)(int port)) {
  Popisovac s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  int ano = 1;
  ::setsockopt(s.Fd(), SOL_SOCKET, SO_REUSEADDR, &ano, sizeof ano);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(n.port));
  if (::inet_pton(AF_INET, n.adresa.c_str(), &a.sin_addr) != 1) return 1;
  socklen_t delka = sizeof a;
  if (!s.Platny() || ::bind(s.Fd(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(s.Fd(), 64) != 0 ||
      ::getsockname(s.Fd(), reinterpret_cast<sockaddr*>(&a), &delka) != 0)
    return 1;
  if (pripraven) pripraven(ntohs(a.sin_port));

  // A thread per connection, at most `spojeni` of them; further clients wait in the
  // listening queue until one ends.
  const std::size_t nejvic = static_cast<std::size_t>(std::max(1, n.spojeni));
  std::list<Obsluha> obsluhy;
  while (!konec) {
    Uklidit(obsluhy);
    if (obsluhy.size() >= nejvic) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    pollfd p{s.Fd(), POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    Popisovac spojeni(::accept4(s.Fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!spojeni.Platny()) {
      // Out of descriptors: give the connections time to end rather than spin.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    Obsluha& o = obsluhy.emplace_back();
    try {
      o.vlakno = std::thread([&n, &konec, &o, fd = std::move(spojeni)]() mutable {
        // Sending a file to a client that has gone raises SIGPIPE (sendfile has no
        // MSG_NOSIGNAL); blocked here, it stays pending on this thread and ends with it.
        sigset_t sigpipe;
        sigemptyset(&sigpipe);
        sigaddset(&sigpipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &sigpipe, nullptr);
        try {
          ObslouzitSpojeni(n, std::move(fd), konec);
        } catch (const std::exception&) {
          // Out of memory for one connection: that connection ends, the server goes on.
        }
        o.hotovo = true;
      });
    } catch (const std::system_error&) {
      obsluhy.pop_back();  // no thread to be had: the connection is closed unserved
    }
  }
  for (auto& o : obsluhy)
    o.vlakno.join();
  return 0;
}

}  // namespace zevlon::publikace
