// An HTTP/1.1 server on a free loopback port for tests, scripted per request: each
// request is answered by the test's handler, which may also break the answer off
// after some bytes, delay it or trickle its body. Keeps a record of every request and
// connection. With TLS it serves HTTPS under a certificate of its own for 127.0.0.1.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zevlon::test {

struct PozadavekHttp {
  std::string metoda;
  std::string cesta;                            // path with the query
  std::map<std::string, std::string> hlavicky;  // names in lower case
};

struct OdpovedTestu {
  int status = 200;
  std::string textStavu = "OK";
  std::vector<std::pair<std::string, std::string>> hlavicky;
  std::string telo;
  std::optional<std::size_t> utnoutPo;    // close the connection after this many body bytes
  std::chrono::milliseconds zpozdeni{0};  // wait before answering
  std::chrono::milliseconds kapka{0};     // send the body byte by byte, this long apart
};

// A 200 answer with a body, and an answer with another status.
inline OdpovedTestu Telo(std::string telo) {
  OdpovedTestu o;
  o.telo = std::move(telo);
  return o;
}
inline OdpovedTestu Stav(int status, std::string text, std::string telo = {}) {
  OdpovedTestu o;
  o.status = status;
  o.textStavu = std::move(text);
  o.telo = std::move(telo);
  return o;
}

class TestHttpServer {
 public:
  using Obsluha = std::function<OdpovedTestu(const PozadavekHttp&)>;

  enum class Protokol { kHttp, kHttps };

  explicit TestHttpServer(Obsluha obsluha, Protokol protokol = Protokol::kHttp);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  int Port() const { return port_; }
  std::string Adresa() const {
    return (tls_ ? "https" : "http") + std::string("://127.0.0.1:") + std::to_string(port_);
  }
  // The HTTPS server's certificate as a PEM file: what a client is told to trust
  // (SSL_CERT_FILE). Removed with the server.
  std::string Certifikat() const;
  std::vector<PozadavekHttp> Pozadavky() const;
  int PocetSpojeni() const { return spojeni_.load(); }

  // Serves the files below a folder: GET /a/b answers the file folder/a/b (query
  // ignored), anything missing 404 "Not Found".
  static Obsluha SlozkaSouboru(std::string slozka);

 private:
  struct Tls;

  void Prijimat();
  void Obslouzit(int fd);

  Obsluha obsluha_;
  std::unique_ptr<Tls> tls_;
  int naslouchajici_ = -1;
  int port_ = 0;
  std::atomic<bool> konec_{false};
  std::atomic<int> spojeni_{0};
  mutable std::mutex zamek_;
  std::vector<PozadavekHttp> pozadavky_;
  std::vector<std::thread> vlakna_;
  std::thread prijimac_;
};

// A loopback port that was free a moment ago (the kernel's pick for port 0), which
// nobody listens on unless someone took it since.
int VolnyPort();

}  // namespace zevlon::test
