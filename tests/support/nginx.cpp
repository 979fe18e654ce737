#include "support/nginx.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "common/text.h"
#include "support/http_server.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon::test {

namespace {

// Every path inside the test's folder ("@S"), the site's folder as the root ("@K"). The
// access log records per request the connection's serial number, the protocol, status,
// body bytes sent, the Range header and the request line, separated by tabs.
constexpr const char* kKonfigurace = R"(daemon off;
worker_processes 1;
pid @S/nginx.pid;
error_log @S/error.log info;
events { worker_connections 64; }
http {
  client_body_temp_path @S/tmp/client_body;
  proxy_temp_path @S/tmp/proxy;
  fastcgi_temp_path @S/tmp/fastcgi;
  uwsgi_temp_path @S/tmp/uwsgi;
  scgi_temp_path @S/tmp/scgi;
  types { application/zip zip; }
  default_type application/octet-stream;
  log_format zaznam '$connection\t$server_protocol\t$status\t$body_bytes_sent\t$http_range\t$request';
  access_log @S/access.log zaznam;
)";
// The publisher's site, with the caching rules the publisher's README gives for nginx.
constexpr const char* kServer = R"(  server {
    listen 127.0.0.1:@P ssl http2;
    ssl_certificate @S/certifikat.pem;
    ssl_certificate_key @S/klic.pem;
    root @K;
    location /aktualizace-online/vydani/ {
      add_header Cache-Control "public, max-age=31536000, immutable";
    }
  }
)";

std::string Konfigurace(const std::string& koren, const std::string& slozka, int port,
                        const std::string& server) {
  // The workers read the served folder as the test's own user; nginx takes no user from
  // its configuration unless it starts as root.
  std::string c = ::geteuid() == 0 ? "user root;\n" : "";
  const std::string cela =
      std::string(kKonfigurace) + (server.empty() ? std::string(kServer) : server) + "}\n";
  for (const char* z = cela.c_str(); *z; ++z) {
    if (*z != '@') {
      c += *z;
      continue;
    }
    ++z;
    c += *z == 'S' ? slozka : *z == 'K' ? koren : std::to_string(port);
  }
  return c;
}

}  // namespace

bool TestNginx::Nainstalovan() {
  return ::access(kProgram, X_OK) == 0;
}

TestNginx::TestNginx(std::string koren, std::string slozka, std::string server)
    : koren_(std::move(koren)), slozka_(std::move(slozka)), server_(std::move(server)) {
  std::filesystem::create_directories(slozka_ + "/tmp");
  std::vector<std::string> a = Rozdelit(
      "/usr/bin/openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
      "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -addext "
      "basicConstraints=critical,CA:TRUE -out",
      ' ');
  a.insert(a.end(), {Certifikat(), "-keyout", slozka_ + "/klic.pem"});
  auto v = test::Spustit(a);
  if (v.kod != 0) throw std::runtime_error("openssl made no certificate: " + v.vystup);
  // The port may be taken between the pick and nginx's bind: then another one.
  for (int pokus = 0; pokus < 5; ++pokus)
    if (Rozbehnout(VolnyPort())) return;
  throw std::runtime_error("nginx found no free port: " + ChybovyLog());
}

TestNginx::~TestNginx() {
  Zastavit();
}

bool TestNginx::Rozbehnout(int port) {
  const std::string konf = slozka_ + "/nginx.conf";
  ZapsatSoubor(konf, Konfigurace(koren_, slozka_, port, server_));
  std::filesystem::remove(slozka_ + "/nginx.pid");
  // Everything the child needs is ready before the fork: after it, system calls only.
  std::vector<std::string> argv{kProgram, "-p", slozka_ + "/", "-e", slozka_ + "/error.log",
                                "-c",     konf};
  std::vector<char*> a;
  for (auto& s : argv)
    a.push_back(s.data());
  a.push_back(nullptr);
  const int vystup =
      ::open((slozka_ + "/vystup.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const int nic = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  pid_ = ::fork();
  if (pid_ == 0) {
    // A test that dies leaves no server behind.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::dup2(nic, STDIN_FILENO);
    ::dup2(vystup, STDOUT_FILENO);
    ::dup2(vystup, STDERR_FILENO);
    ::execv(kProgram, a.data());
    ::_exit(127);
  }
  ::close(vystup);
  ::close(nic);
  if (pid_ < 0) throw std::runtime_error("cannot start nginx");

  // nginx writes its pid file once it listens; a nginx that ended could not listen.
  const std::string pid = std::to_string(pid_) + "\n";
  for (int i = 0; i < 1000; ++i) {
    int stav = 0;
    if (::waitpid(pid_, &stav, WNOHANG) == pid_) {
      pid_ = -1;
      if (ChybovyLog().find("Address already in use") != std::string::npos) return false;
      throw std::runtime_error("nginx ended: " + ChybovyLog() +
                               CistSoubor(slozka_ + "/vystup.log"));
    }
    if (Existuje(slozka_ + "/nginx.pid") && CistSoubor(slozka_ + "/nginx.pid") == pid) {
      port_ = port;
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Zastavit();
  throw std::runtime_error("nginx did not start: " + ChybovyLog());
}

void TestNginx::Zastavit() {
  if (pid_ <= 0) return;
  // A fast shutdown: open connections are closed, the logs are written as they go.
  ::kill(pid_, SIGTERM);
  int stav = 0;
  for (int i = 0; i < 500 && ::waitpid(pid_, &stav, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (::waitpid(pid_, &stav, WNOHANG) == 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &stav, 0);
  }
  pid_ = -1;
}

std::string TestNginx::ChybovyLog() const {
  return Existuje(slozka_ + "/error.log") ? CistSoubor(slozka_ + "/error.log") : "";
}

std::vector<ZaznamNginx> TestNginx::Zaznamy() const {
  std::vector<ZaznamNginx> z;
  const std::string log = slozka_ + "/access.log";
  for (const std::string& radek : Rozdelit(Existuje(log) ? CistSoubor(log) : "", '\n')) {
    if (radek.empty()) continue;  // after the last line
    const auto p = Rozdelit(radek, '\t');
    if (p.size() != 6) throw std::runtime_error("nginx access log line: " + radek);
    // "GET /cesta?dotaz HTTP/2.0"
    const auto pozadavek = Rozdelit(p[5], ' ');
    const std::string cesta = pozadavek.size() > 1 ? pozadavek[1] : "";
    z.push_back({std::stol(p[0]), p[1], std::stoi(p[2]), std::stoll(p[3]), p[4] == "-" ? "" : p[4],
                 cesta.substr(0, cesta.find('?'))});
  }
  return z;
}

}  // namespace zevlon::test
