// A TCP relay on a free loopback port that passes every connection on to a server's
// port byte for byte (TLS goes through unchanged), and cuts one connection once: the
// first whose server has sent a given number of bytes to the client ends right after
// them, as a connection dropped in the middle: the client gets those bytes and then the
// end of the stream, the server loses the connection.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zevlon::test {

class TcpProstrednik {
 public:
  TcpProstrednik(int cilovyPort, std::size_t utnoutPo);
  ~TcpProstrednik();
  TcpProstrednik(const TcpProstrednik&) = delete;
  TcpProstrednik& operator=(const TcpProstrednik&) = delete;

  int Port() const { return port_; }
  std::string Adresa(const std::string& schema) const {
    return schema + "://127.0.0.1:" + std::to_string(port_);
  }
  // Whether the connection was cut.
  bool Utnuto() const { return utnuto_.load(); }

 private:
  void Prijimat();
  void Predavat(int klient, int server);
  // Whether the cut falls in the next n bytes from the server, after `poslano` of them
  // went on; n becomes the bytes that still go on then.
  bool Utnout(std::size_t poslano, std::size_t& n);

  int cilovyPort_;
  std::size_t utnoutPo_;
  int naslouchajici_ = -1;
  int port_ = 0;
  std::atomic<bool> konec_{false}, utnuto_{false};
  std::mutex zamek_;
  std::vector<int> sokety_;  // of open connections, shut down when the relay ends
  std::vector<std::thread> vlakna_;
  std::thread prijimac_;
};

}  // namespace zevlon::test
