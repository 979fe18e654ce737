// The descriptors between a process running as root and the process it starts to act
// for another user: a socket pair that carries whole messages (each a type and a few
// text fields, bounded in size and checked on receipt), and sealed memory files that hand
// over bytes which neither side can change afterwards.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zevlon {

// One message: a type letter and its fields.
struct ZpravaKanalu {
  char typ = 0;
  std::vector<std::string> pole;
};

inline constexpr std::size_t kMaxZpravy = 64 * 1024;  // bytes of one message, all told
inline constexpr std::size_t kMaxPoli = 16;

// One end of a message channel; closes its descriptor.
class Kanal {
 public:
  explicit Kanal(int fd = -1) : fd_(fd) {}
  ~Kanal();
  Kanal(Kanal&& k) noexcept : fd_(k.fd_) { k.fd_ = -1; }
  Kanal& operator=(Kanal&& k) noexcept;
  Kanal(const Kanal&) = delete;
  Kanal& operator=(const Kanal&) = delete;

  int Fd() const { return fd_; }
  // Gives up the descriptor without closing it.
  int Uvolnit();

  // Sends one message whole; false when the other end is gone or the message is too big.
  bool Poslat(const ZpravaKanalu& z);
  // The same without ever waiting: kPlno when the other end has not read what is queued
  // to it already (the socket's send buffer, or as many messages as the system queues).
  enum class Odeslani { kOdeslano, kPlno, kNelze };
  Odeslani PoslatBezCekani(const ZpravaKanalu& z);
  // Bounds what this end may have queued and unread at the other end, in bytes; where the
  // system refuses, its default bound holds.
  void OmezitFrontu(int bajtu);
  // Waits at most `doba` for a message. Nothing when none came in time; `konec` is set
  // when the other end closed the channel or sent something that is not a message.
  std::optional<ZpravaKanalu> Prijmout(std::chrono::milliseconds doba, bool& konec);

 private:
  Odeslani Odeslat(const ZpravaKanalu& z, int priznaky);

  int fd_;
};

// A connected pair of ends (close-on-exec); throws std::system_error.
std::pair<Kanal, Kanal> VytvoritKanal();

// A sealed memory file with these bytes (close-on-exec): nobody can write, grow or shrink
// it afterwards. Answers its descriptor, owned by the caller; throws std::system_error.
int ZapecetenySoubor(const std::string& nazev, const std::string& bajty);

// The bytes of a memory file handed over as descriptor fd, when it is sealed against
// writing and at most `max` bytes long; nothing otherwise.
std::optional<std::string> CistZapecetenySoubor(int fd, std::size_t max);

}  // namespace zevlon
