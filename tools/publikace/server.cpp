#include "tools/publikace/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/soubor.h"

namespace zevlon::publikace {

namespace {

std::mutex zamekLogu;

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

// Decodes %XX into `cesta`; false for a path that is malformed or leaves the site.
bool Dekodovat(const std::string& url, std::string& cesta) {
  cesta.clear();
  std::string surova = url.substr(0, url.find('?'));
  for (std::size_t i = 0; i < surova.size(); ++i) {
    if (surova[i] == '%') {
      if (i + 2 >= surova.size()) return false;
      auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
      };
      int a = hex(surova[i + 1]), b = hex(surova[i + 2]);
      if (a < 0 || b < 0) return false;
      cesta += static_cast<char>(a * 16 + b);
      i += 2;
    } else {
      cesta += surova[i];
    }
  }
  if (cesta.empty() || cesta.front() != '/' || cesta.find('\0') != std::string::npos) return false;
  std::istringstream casti(cesta);
  std::string cast;
  while (std::getline(casti, cast, '/'))
    if (cast == "..") return false;
  return true;
}

bool Poslat(int fd, const std::string& data) {
  return ZapsatVse(fd, data) == 0;
}

void Obslouzit(const NastaveniServeru& n, int fd, const std::atomic<bool>& konec) {
  std::string buf;
  int necinnost = 0;
  while (!konec) {
    auto hlava = buf.find("\r\n\r\n");
    if (hlava == std::string::npos) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) {
        if (++necinnost > 300) return;  // 30 s idle
        continue;
      }
      char kus[4096];
      ssize_t r = ::recv(fd, kus, sizeof kus, 0);
      if (r <= 0 || buf.size() > 65536) return;
      buf.append(kus, static_cast<std::size_t>(r));
      necinnost = 0;
      continue;
    }
    std::istringstream radek(buf.substr(0, buf.find("\r\n")));
    buf.erase(0, hlava + 4);
    std::string metoda, url;
    radek >> metoda >> url;
    std::string cesta;
    int status = 200;
    std::string obsah;
    if (metoda != "GET" && metoda != "HEAD") {
      status = 405;
    } else if (!Dekodovat(url, cesta)) {
      status = 400;
    } else {
      struct stat st {};
      std::string soubor = n.slozka + cesta;
      auto data = ::stat(soubor.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? NacistSoubor(soubor)
                                                                          : std::nullopt;
      if (data)
        obsah = std::move(*data);
      else
        status = 404;
    }
    const char* text = status == 200   ? "OK"
                       : status == 404 ? "Not Found"
                       : status == 405 ? "Method Not Allowed"
                                       : "Bad Request";
    if (status != 200) obsah = std::string(text) + "\n";
    std::string odpoved = "HTTP/1.1 " + std::to_string(status) + " " + text +
                          "\r\nContent-Length: " + std::to_string(obsah.size()) +
                          "\r\nContent-Type: application/octet-stream\r\n\r\n";
    if (metoda != "HEAD") odpoved += obsah;
    Zalogovat(n, Cas() + " " + metoda + " " + url + " " + std::to_string(status) + " " +
                     std::to_string(metoda == "HEAD" ? 0 : obsah.size()));
    if (!Poslat(fd, odpoved)) return;
  }
}

}  // namespace

int Servirovat(const NastaveniServeru& n, const std::atomic<bool>& konec,
               void (*pripraven)(int port)) {
  Popisovac s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
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
  std::vector<std::thread> vlakna;
  while (!konec) {
    pollfd p{s.Fd(), POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    int fd = ::accept4(s.Fd(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    vlakna.emplace_back([&n, fd, &konec] {
      Obslouzit(n, fd, konec);
      ::close(fd);
    });
  }
  for (auto& v : vlakna)
    v.join();
  return 0;
}

}  // namespace zevlon::publikace
