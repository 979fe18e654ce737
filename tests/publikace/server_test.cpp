#include "tools/publikace/server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/sandbox.h"

namespace zevlon {
namespace {

// The port the server under test listens on (its ready callback cannot capture).
std::atomic<int> portServeru{0};

// Sends the requests on one connection, closes the sending side and answers all the
// server wrote until it closed.
std::string Poslat(const std::string& pozadavky) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(portServeru.load()));
  ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  EXPECT_EQ(::write(fd, pozadavky.data(), pozadavky.size()),
            static_cast<ssize_t>(pozadavky.size()));
  ::shutdown(fd, SHUT_WR);
  std::string odpoved;
  char kus[4096];
  for (ssize_t r; (r = ::read(fd, kus, sizeof kus)) > 0;)
    odpoved.append(kus, static_cast<std::size_t>(r));
  ::close(fd);
  return odpoved;
}

// The site server answers files of its folder (percent-decoded names, keep-alive,
// HEAD without a body) and nothing above it, and logs every request.
TEST(Servirovat, ServesTheSiteFolderOnlyAndLogsEachRequest) {
  test::Sandbox sb;
  sb.Zapsat("web/Setup/a b.zip", "obsah");
  sb.Zapsat("tajne.txt", "TAJNE");
  publikace::NastaveniServeru n{sb / "web", "127.0.0.1", 0, sb / "pristupy.log"};
  std::atomic<bool> konec{false};
  std::thread server(
      [&] { EXPECT_EQ(publikace::Servirovat(n, konec, [](int p) { portServeru = p; }), 0); });
  while (portServeru == 0)
    std::this_thread::yield();

  auto r = [](const std::string& metoda, const std::string& cesta) {
    return metoda + " " + cesta + " HTTP/1.1\r\nHost: x\r\n\r\n";
  };
  std::string odpoved = Poslat(r("GET", "/Setup/a%20b.zip") + r("HEAD", "/Setup/a%20b.zip") +
                               r("GET", "/../tajne.txt") + r("GET", "/Setup/%2e%2e/../tajne.txt") +
                               r("GET", "/chybi.zip"));
  konec = true;
  server.join();

  EXPECT_EQ(odpoved,
            "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Type: application/octet-stream\r\n\r\n"
            "obsah"
            "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Type: application/octet-stream\r\n\r\n"
            "HTTP/1.1 400 Bad Request\r\nContent-Length: 12\r\nContent-Type: "
            "application/octet-stream\r\n\r\nBad Request\n"
            "HTTP/1.1 400 Bad Request\r\nContent-Length: 12\r\nContent-Type: "
            "application/octet-stream\r\n\r\nBad Request\n"
            "HTTP/1.1 404 Not Found\r\nContent-Length: 10\r\nContent-Type: "
            "application/octet-stream\r\n\r\nNot Found\n");
  std::ifstream log(sb / "pristupy.log");
  std::string radek, vse;
  while (std::getline(log, radek))
    vse += radek.substr(radek.find(' ') + 1) + "|";  // without the time stamp
  EXPECT_EQ(vse,
            "GET /Setup/a%20b.zip 200 5|HEAD /Setup/a%20b.zip 200 0|GET /../tajne.txt 400 12|"
            "GET /Setup/%2e%2e/../tajne.txt 400 12|GET /chybi.zip 404 10|");
}

}  // namespace
}  // namespace zevlon
