#include "support/http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zevlon::test {

int VolnyPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t delka = sizeof a;
  const bool dobre = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                     ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &delka) == 0;
  if (fd >= 0) ::close(fd);
  if (!dobre) throw std::runtime_error("no free loopback port");
  return ntohs(a.sin_port);
}

namespace {

// Waits up to 50 ms for data, so that the threads notice the end in time.
bool DataNaSoketu(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 50) > 0;
}

// One accepted connection, plain or TLS.
class Spojeni {
 public:
  Spojeni(int fd, SSL_CTX* tls) : fd_(fd) {
    if (!tls) return;
    ssl_ = SSL_new(tls);
    // A client that never finishes its handshake must not hold the server forever.
    timeval t{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    if (!ssl_ || SSL_set_fd(ssl_, fd) != 1 || SSL_accept(ssl_) != 1) chyba_ = true;
  }
  ~Spojeni() {
    if (ssl_ && !chyba_) SSL_shutdown(ssl_);
    SSL_free(ssl_);
  }
  Spojeni(const Spojeni&) = delete;
  Spojeni& operator=(const Spojeni&) = delete;

  bool Platne() const { return !chyba_; }
  bool CekatNaData() const { return (ssl_ && SSL_pending(ssl_) > 0) || DataNaSoketu(fd_); }
  // Answers the bytes read; 0 or less when the connection is over.
  ssize_t Cist(char* buf, std::size_t n) {
    if (!ssl_) return ::recv(fd_, buf, n, 0);
    return SSL_read(ssl_, buf, static_cast<int>(n));
  }
  bool Poslat(std::string_view data) {
    while (!data.empty()) {
      ssize_t n = ssl_ ? SSL_write(ssl_, data.data(), static_cast<int>(data.size()))
                       : ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

 private:
  int fd_;
  SSL* ssl_ = nullptr;
  bool chyba_ = false;
};

// A P-256 key and a certificate for 127.0.0.1 signed by that key, marked as a CA so
// that a client may take it as its own trust anchor.
void VytvoritCertifikat(SSL_CTX* ctx, const std::string& pem) {
  EVP_PKEY* klic = EVP_EC_gen("P-256");
  X509* x = X509_new();
  bool dobre = klic && x;
  if (dobre) {
    ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
    X509_set_version(x, 2);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 24 * 3600);
    X509_set_pubkey(x, klic);
    X509_NAME* jmeno = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(jmeno, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(x, jmeno);
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, x, x, nullptr, nullptr, 0);
    for (auto [nid, hodnota] : {std::pair{NID_basic_constraints, "critical,CA:TRUE"},
                                {NID_subject_alt_name, "IP:127.0.0.1"},
                                {NID_subject_key_identifier, "hash"}}) {
      X509_EXTENSION* e = X509V3_EXT_conf_nid(nullptr, &v3, nid, hodnota);
      dobre = dobre && e && X509_add_ext(x, e, -1) == 1;
      X509_EXTENSION_free(e);
    }
    dobre = dobre && X509_sign(x, klic, EVP_sha256()) > 0 && SSL_CTX_use_certificate(ctx, x) == 1 &&
            SSL_CTX_use_PrivateKey(ctx, klic) == 1;
  }
  if (dobre) {
    FILE* f = std::fopen(pem.c_str(), "w");
    dobre = f && PEM_write_X509(f, x) == 1;
    if (f) dobre = std::fclose(f) == 0 && dobre;
  }
  X509_free(x);
  EVP_PKEY_free(klic);
  if (!dobre) throw std::runtime_error("test HTTPS server has no certificate");
}

}  // namespace

struct TestHttpServer::Tls {
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx{SSL_CTX_new(TLS_server_method()),
                                                        SSL_CTX_free};
  std::string slozka;  // holds the certificate file
  ~Tls() {
    if (!slozka.empty()) std::filesystem::remove_all(slozka);
  }
};

TestHttpServer::TestHttpServer(Obsluha obsluha, Protokol protokol) : obsluha_(std::move(obsluha)) {
  if (protokol == Protokol::kHttps) {
    // A client that hangs up mid-answer fails the write, as MSG_NOSIGNAL does for HTTP.
    std::signal(SIGPIPE, SIG_IGN);
    tls_ = std::make_unique<Tls>();
    char sablona[] = "/tmp/zevlon-tls-XXXXXX";
    if (!tls_->ctx || !::mkdtemp(sablona)) throw std::runtime_error("test HTTPS server");
    tls_->slozka = sablona;
    VytvoritCertifikat(tls_->ctx.get(), Certifikat());
  }
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

std::string TestHttpServer::Certifikat() const {
  return tls_ ? tls_->slozka + "/certifikat.pem" : std::string();
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
    if (!DataNaSoketu(naslouchajici_)) continue;
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
  Spojeni spojeni(fd, tls_ ? tls_->ctx.get() : nullptr);
  if (!spojeni.Platne()) return;
  std::string buf;
  while (!konec_) {
    auto konecHlavicek = buf.find("\r\n\r\n");
    if (konecHlavicek == std::string::npos) {
      if (!spojeni.CekatNaData()) continue;
      char kus[4096];
      ssize_t n = spojeni.Cist(kus, sizeof kus);
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
      spojeni.Poslat(odpoved);
      return;  // the connection closes in the middle of the body
    }
    if (o.kapka.count() > 0) {
      // Until the body is sent, the client gives up or the server ends.
      if (!spojeni.Poslat(odpoved)) return;
      for (char c : o.telo) {
        std::this_thread::sleep_for(o.kapka);
        if (konec_ || !spojeni.Poslat(std::string_view(&c, 1))) return;
      }
      continue;
    }
    odpoved += o.telo;
    if (!spojeni.Poslat(odpoved)) return;
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
