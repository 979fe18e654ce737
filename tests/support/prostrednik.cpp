#include "support/prostrednik.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace zevlon::test {

namespace {

sockaddr_in Smycka(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  return a;
}

bool PoslatVse(int fd, const char* data, std::size_t n) {
  while (n > 0) {
    const ssize_t k = ::send(fd, data, n, MSG_NOSIGNAL);
    if (k <= 0) return false;
    data += k;
    n -= static_cast<std::size_t>(k);
  }
  return true;
}

}  // namespace

TcpProstrednik::TcpProstrednik(int cilovyPort, std::size_t utnoutPo)
    : cilovyPort_(cilovyPort), utnoutPo_(utnoutPo) {
  naslouchajici_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Smycka(0);
  socklen_t delka = sizeof a;
  if (naslouchajici_ < 0 ||
      ::bind(naslouchajici_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(naslouchajici_, 16) != 0 ||
      ::getsockname(naslouchajici_, reinterpret_cast<sockaddr*>(&a), &delka) != 0) {
    if (naslouchajici_ >= 0) ::close(naslouchajici_);
    throw std::runtime_error("the relay cannot listen");
  }
  port_ = ntohs(a.sin_port);
  prijimac_ = std::thread([this] { Prijimat(); });
}

TcpProstrednik::~TcpProstrednik() {
  konec_ = true;
  prijimac_.join();
  {
    // A relay blocked in a send to a peer that reads no more wakes up.
    std::lock_guard<std::mutex> z(zamek_);
    for (int fd : sokety_)
      ::shutdown(fd, SHUT_RDWR);
  }
  for (auto& v : vlakna_)
    v.join();
  ::close(naslouchajici_);
}

void TcpProstrednik::Prijimat() {
  while (!konec_) {
    pollfd p{naslouchajici_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int klient = ::accept4(naslouchajici_, nullptr, nullptr, SOCK_CLOEXEC);
    if (klient < 0) continue;
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = Smycka(cilovyPort_);
    if (server < 0 || ::connect(server, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
      if (server >= 0) ::close(server);
      ::close(klient);
      continue;
    }
    std::lock_guard<std::mutex> z(zamek_);
    sokety_.insert(sokety_.end(), {klient, server});
    vlakna_.emplace_back([this, klient, server] { Predavat(klient, server); });
  }
}

bool TcpProstrednik::Utnout(std::size_t poslano, std::size_t& n) {
  if (poslano + n < utnoutPo_ || utnuto_.exchange(true)) return false;
  n = utnoutPo_ - std::min(poslano, utnoutPo_);
  return true;
}

void TcpProstrednik::Predavat(int klient, int server) {
  std::size_t odServeru = 0;
  bool utnout = false;
  char buf[16384];
  while (!konec_ && !utnout) {
    pollfd p[2] = {{klient, POLLIN, 0}, {server, POLLIN, 0}};
    if (::poll(p, 2, 50) <= 0) continue;
    if (p[0].revents) {
      const ssize_t n = ::recv(klient, buf, sizeof buf, 0);
      if (n <= 0 || !PoslatVse(server, buf, static_cast<std::size_t>(n))) break;
    }
    if (p[1].revents) {
      const ssize_t n = ::recv(server, buf, sizeof buf, 0);
      if (n <= 0) break;
      std::size_t dal = static_cast<std::size_t>(n);
      utnout = Utnout(odServeru, dal);
      if (!PoslatVse(klient, buf, dal)) break;
      odServeru += dal;
    }
  }
  if (utnout) {
    // The server loses the connection at once; the client reads everything before the
    // cut and then the end of the stream, as from a peer that hung up. Closing while the
    // client's bytes lie unread would reset the connection instead, and the client would
    // lose whatever its socket still held.
    ::shutdown(server, SHUT_RDWR);
    ::shutdown(klient, SHUT_WR);
    while (!konec_) {
      pollfd p{klient, POLLIN, 0};
      if (::poll(&p, 1, 50) > 0 && ::recv(klient, buf, sizeof buf, 0) <= 0) break;
    }
  }
  std::lock_guard<std::mutex> z(zamek_);
  ::shutdown(klient, SHUT_RDWR);
  ::shutdown(server, SHUT_RDWR);
  std::erase(sokety_, klient);
  std::erase(sokety_, server);
  ::close(klient);
  ::close(server);
}

}  // namespace zevlon::test
