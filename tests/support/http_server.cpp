#include "support/http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zevlon::test {

namespace {

// Waits up to 50 ms for data, so that the threads notice the end in time.
bool CekatNaData(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 50) > 0;
}

bool PoslatVse(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

TestHttpServer::TestHttpServer(Obsluha obsluha) : obsluha_(std::move(obsluha)) {
  naslouchajici_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t delka = sizeof a;
  if (naslouchajici_ < 0 ||
      ::bind(naslouchajici_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(naslouchajici_, 16) != 0 ||
      ::getsockname(naslouchajici_, reinterpret_cast<sockaddr*>(&a), &delka) != 0)
    throw std::runtime_error("test HTTP server cannot listen");
  port_ = ntohs(a.sin_port);
  prijimac_ = std::thread([this] { Prijimat(); });
}

TestHttpServer::~TestHttpServer() {
  konec_ = true;
  prijimac_.join();
  for (auto& v : vlakna_)
    v.join();
  ::close(naslouchajici_);
}

std::vector<PozadavekHttp> TestHttpServer::Pozadavky() const {
  std::lock_guard<std::mutex> z(zamek_);
  return pozadavky_;
}

void TestHttpServer::Prijimat() {
  while (!konec_) {
    if (!CekatNaData(naslouchajici_)) continue;
    int fd = ::accept4(naslouchajici_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++spojeni_;
    vlakna_.emplace_back([this, fd] {
      Obslouzit(fd);
      ::close(fd);
    });
  }
}

void TestHttpServer::Obslouzit(int fd) {
  std::string buf;
  while (!konec_) {
    auto konecHlavicek = buf.find("\r\n\r\n");
    if (konecHlavicek == std::string::npos) {
      if (!CekatNaData(fd)) continue;
      char kus[4096];
      ssize_t n = ::recv(fd, kus, sizeof kus, 0);
      if (n <= 0) return;
      buf.append(kus, static_cast<std::size_t>(n));
      continue;
    }
    std::istringstream hlava(buf.substr(0, konecHlavicek));
    buf.erase(0, konecHlavicek + 4);
    PozadavekHttp poz;
    std::string radek;
    std::getline(hlava, radek);
    std::istringstream prvni(radek);
    prvni >> poz.metoda >> poz.cesta;
    while (std::getline(hlava, radek)) {
      if (!radek.empty() && radek.back() == '\r') radek.pop_back();
      auto dvojtecka = radek.find(':');
      if (dvojtecka == std::string::npos) continue;
      std::string jmeno = radek.substr(0, dvojtecka);
      for (char& c : jmeno)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      std::string hodnota = radek.substr(dvojtecka + 1);
      while (!hodnota.empty() && hodnota.front() == ' ')
        hodnota.erase(0, 1);
      poz.hlavicky[jmeno] = hodnota;
    }
    {
      std::lock_guard<std::mutex> z(zamek_);
      pozadavky_.push_back(poz);
    }
    OdpovedTestu o = obsluha_(poz);
    if (o.zpozdeni.count() > 0) std::this_thread::sleep_for(o.zpozdeni);
    std::string odpoved = "HTTP/1.1 " + std::to_string(o.status) + " " + o.textStavu + "\r\n";
    bool delka = false;
    for (auto& [k, v] : o.hlavicky) {
      odpoved += k + ": " + v + "\r\n";
      if (k == "Content-Length") delka = true;
    }
    if (!delka) odpoved += "Content-Length: " + std::to_string(o.telo.size()) + "\r\n";
    odpoved += "\r\n";
    if (o.utnoutPo) {
      odpoved += o.telo.substr(0, *o.utnoutPo);
      PoslatVse(fd, odpoved);
      return;  // the connection closes in the middle of the body
    }
    odpoved += o.telo;
    if (!PoslatVse(fd, odpoved)) return;
  }
}

TestHttpServer::Obsluha TestHttpServer::SlozkaSouboru(std::string slozka) {
  return [slozka](const PozadavekHttp& p) {
    std::string zakodovana = p.cesta.substr(0, p.cesta.find('?')), cesta;
    for (std::size_t i = 0; i < zakodovana.size(); ++i) {
      if (zakodovana[i] == '%' && i + 2 < zakodovana.size()) {
        cesta += static_cast<char>(std::stoi(zakodovana.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        cesta += zakodovana[i];
      }
    }
    std::ifstream f(slozka + cesta, std::ios::binary);
    OdpovedTestu o;
    if (cesta.find("..") != std::string::npos || !f) {
      o.status = 404;
      o.textStavu = "Not Found";
      o.telo = "<html>nenalezeno</html>";
      return o;
    }
    std::ostringstream s;
    s << f.rdbuf();
    o.telo = s.str();
    return o;
  };
}

}  // namespace zevlon::test
