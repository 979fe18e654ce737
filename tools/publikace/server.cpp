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
#include <cstring>
#include <list>
#include <map>
#include <system_error>
#include <thread>

#include "common/chyba.h"
#include "platform/soubory/soubor.h"
#include "tools/publikace/spojeni.h"

namespace zevlon::publikace {

namespace {

// A connection's thread; `hotovo` tells the accepting loop it may be joined.
struct Obsluha {
  std::thread vlakno;
  std::atomic<bool> hotovo{false};
  std::uint32_t adresa = 0;  // the client's
};

// An accepted connection waiting for a free place.
struct Cekajici {
  Popisovac fd;
  std::uint32_t adresa = 0;
};

void Uklidit(std::list<Obsluha>& obsluhy, std::map<std::uint32_t, std::size_t>& naAdrese) {
  for (auto o = obsluhy.begin(); o != obsluhy.end();) {
    if (o->hotovo) {
      o->vlakno.join();
      if (--naAdrese[o->adresa] == 0) naAdrese.erase(o->adresa);
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
  if (::inet_pton(AF_INET, n.adresa.c_str(), &a.sin_addr) != 1)
    VyvolatChybu("Adresa " + n.adresa + " není adresa IPv4.");
  socklen_t delka = sizeof a;
  if (!s.Platny() || ::bind(s.Fd(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(s.Fd(), 64) != 0 ||
      ::getsockname(s.Fd(), reinterpret_cast<sockaddr*>(&a), &delka) != 0)
    VyvolatChybu("Na portu " + std::to_string(n.port) + " nelze naslouchat: " +
                 (errno == EADDRINUSE ? std::string("port už používá jiný program.")
                  : errno == EACCES   ? std::string("port pod 1024 smí otevřít jen root.")
                                      : std::string(std::strerror(errno)) + "."));
  if (pripraven) pripraven(ntohs(a.sin_port));

  // A thread per connection, at most `spojeni` of them and at most half of them for one
  // client address; further connections wait, accepted, for a free place (those of an
  // address that also has as many waiting are closed), and beyond that in the listening
  // queue.
  const std::size_t nejvic = static_cast<std::size_t>(std::max(1, n.spojeni));
  const std::size_t naJedne = std::max<std::size_t>(1, nejvic / 2);
  std::list<Obsluha> obsluhy;
  std::list<Cekajici> cekajici;
  std::map<std::uint32_t, std::size_t> naAdrese, cekaNaAdrese;
  // Set while a client waits for a place: connections idle between requests then end.
  std::atomic<bool> tlak{false};
  while (!konec) {
    Uklidit(obsluhy, naAdrese);
    for (auto c = cekajici.begin(); c != cekajici.end() && obsluhy.size() < nejvic;) {
      if (naAdrese[c->adresa] >= naJedne) {
        ++c;
        continue;
      }
      if (--cekaNaAdrese[c->adresa] == 0) cekaNaAdrese.erase(c->adresa);
      Obsluha& o = obsluhy.emplace_back();
      o.adresa = c->adresa;
      try {
        o.vlakno = std::thread([&n, &konec, &tlak, &o, fd = std::move(c->fd)]() mutable {
          // Sending a file to a client that has gone raises SIGPIPE (sendfile has no
          // MSG_NOSIGNAL); blocked here, it stays pending on this thread and ends with it.
          sigset_t sigpipe;
          sigemptyset(&sigpipe);
          sigaddset(&sigpipe, SIGPIPE);
          pthread_sigmask(SIG_BLOCK, &sigpipe, nullptr);
          try {
            ObslouzitSpojeni(n, std::move(fd), konec, tlak);
          } catch (const std::exception&) {
            // Out of memory for one connection: that connection ends, the server goes on.
          }
          o.hotovo = true;
        });
        ++naAdrese[o.adresa];
      } catch (const std::system_error&) {
        obsluhy.pop_back();  // no thread to be had: the connection is closed unserved
      }
      c = cekajici.erase(c);
    }
    tlak = !cekajici.empty();
    if (cekajici.size() >= nejvic) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    pollfd p{s.Fd(), POLLIN, 0};
    if (::poll(&p, 1, cekajici.empty() ? 100 : 20) <= 0) continue;
    sockaddr_in klient{};
    socklen_t delkaKlienta = sizeof klient;
    Popisovac spojeni(::accept4(s.Fd(), reinterpret_cast<sockaddr*>(&klient), &delkaKlienta,
                                SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!spojeni.Platny()) {
      // Out of descriptors: give the connections time to end rather than spin.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    const std::uint32_t adresa = ntohl(klient.sin_addr.s_addr);
    if (cekaNaAdrese[adresa] >= naJedne) continue;  // closed: that address waits enough
    ++cekaNaAdrese[adresa];
    cekajici.push_back({std::move(spojeni), adresa});
  }
  for (auto& o : obsluhy)
    o.vlakno.join();
  return 0;
}

}  // namespace zevlon::publikace
