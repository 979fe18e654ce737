// HTTPS for the update site: a certificate the system does not trust is an error,
// never a quiet fall-back; a trusted one works. The server is openssl's own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "common/chyba.h"
#include "driver/stahovani.h"
#include "support/demo_web.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

bool Prijima(int port) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

class Https : public ::testing::Test {
 protected:
  void SetUp() override {
    auto v =
        test::Spustit({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days",
                       "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                       "-keyout", s_ / "klic.pem", "-out", s_ / "certifikat.pem"});
    ASSERT_EQ(v.kod, 0) << v.vystup;
    s_.Zapsat("web/download.ini", "[Merko]\r\nRelease=20141231\r\n");
    // A free port, then openssl serving the folder on it.
    for (port_ = 20000 + ::getpid() % 10000; port_ < 65000; port_ += 7) {
      pid_ = ::fork();
      if (pid_ == 0) {
        if (::chdir((s_ / "web").c_str()) != 0) _exit(127);
        std::string p = std::to_string(port_);
        ::execl("/usr/bin/openssl", "openssl", "s_server", "-quiet", "-WWW", "-accept", p.c_str(),
                "-cert", (s_ / "certifikat.pem").c_str(), "-key", (s_ / "klic.pem").c_str(),
                static_cast<char*>(nullptr));
        _exit(127);
      }
      // Listening once a connection goes through; gone when the port was taken.
      for (int i = 0; i < 100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (::waitpid(pid_, nullptr, WNOHANG) != 0) break;
        if (Prijima(port_)) return;
      }
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    FAIL() << "openssl s_server did not start";
  }
  void TearDown() override {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    unsetenv("SSL_CERT_FILE");
  }
  std::string Adresa() const { return "https://127.0.0.1:" + std::to_string(port_) + "/"; }

  Sandbox s_;
  int port_ = 0;
  pid_t pid_ = -1;
};

TEST_F(Https, UntrustedCertificateIsAnErrorAndATrustedOneWorks) {
  try {
    StahnoutSoubor(Adresa() + "download.ini", s_ / "a.ini");
    FAIL() << "an untrusted certificate was accepted";
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Cislo(), static_cast<std::int32_t>(0x80072F8Fu));
    EXPECT_NE(c.Popis().find("Certifikát serveru je neplatný."), std::string::npos);
  }
  EXPECT_FALSE(test::Existuje(s_ / "a.ini"));

  setenv("SSL_CERT_FILE", (s_ / "certifikat.pem").c_str(), 1);
  StahnoutSoubor(Adresa() + "download.ini", s_ / "a.ini");
  EXPECT_EQ(s_.Cist("a.ini"), "[Merko]\r\nRelease=20141231\r\n");
}

}  // namespace
}  // namespace zevlon
