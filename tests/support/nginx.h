// Debian's nginx serving a folder over https with HTTP/2 on a free loopback port, for
// tests against a real web server: a throw-away certificate for 127.0.0.1, and its
// pid file, logs and temporary folders in a folder of the test's own. nginx runs in the
// foreground as the test's child and is stopped with the object.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zevlon::test {

// One line of the access log: a request as nginx served it.
struct ZaznamNginx {
  long spojeni = 0;      // the connection's serial number
  std::string protokol;  // "HTTP/2.0"
  int status = 0;
  long long bajtu = 0;  // body bytes sent
  std::string rozsah;   // the Range header, "" without one
  std::string cesta;    // path without the query
};

class TestNginx {
 public:
  static constexpr const char* kProgram = "/usr/sbin/nginx";
  static bool Nainstalovan();

  // Serves `koren`; `slozka` (made when missing) holds everything nginx writes. With
  // `server`, that server block instead (the configuration's "@P" is the port).
  TestNginx(std::string koren, std::string slozka, std::string server = {});
  ~TestNginx();
  TestNginx(const TestNginx&) = delete;
  TestNginx& operator=(const TestNginx&) = delete;

  int Port() const { return port_; }
  std::string Adresa() const { return "https://127.0.0.1:" + std::to_string(port_); }
  // The certificate as a PEM file, what a client is told to trust (SSL_CERT_FILE).
  std::string Certifikat() const { return slozka_ + "/certifikat.pem"; }
  std::string ChybovyLog() const;

  // Stops nginx and waits for it (again: nothing); its logs are complete then.
  void Zastavit();
  // The access log, line by line; read it after Zastavit to have every request.
  std::vector<ZaznamNginx> Zaznamy() const;

 private:
  // Starts nginx on the port; false when the port was taken meanwhile.
  bool Rozbehnout(int port);

  std::string koren_, slozka_, server_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace zevlon::test
