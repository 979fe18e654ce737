// The platform's clock for pauses, the connected-state query and process start.
#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <thread>

#include "common/text.h"
#include "platform/nahrady/platforma.h"

extern char** environ;

namespace zevlon {

namespace {

struct UvolnitAdresy {
  void operator()(ifaddrs* a) const { freeifaddrs(a); }
};
struct UvolnitInfo {
  void operator()(addrinfo* a) const { freeaddrinfo(a); }
};

bool JeLoopback(const sockaddr* a) {
  if (a->sa_family == AF_INET)
    return (ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) >> 24) == 127;
  if (a->sa_family == AF_INET6)
    return IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr);
  return false;
}

// Whether the host is a loopback address or "localhost"; only literal addresses are
// examined, no resolver is asked.
bool HostitelJeLokalni(const std::string& hostitel) {
  if (hostitel.empty()) return false;
  if (StejnyText(hostitel, "localhost")) return true;
  std::string h = hostitel;
  if (h.size() > 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
  addrinfo rada{};
  rada.ai_flags = AI_NUMERICHOST;
  addrinfo* vysledek = nullptr;
  if (getaddrinfo(h.c_str(), nullptr, &rada, &vysledek) != 0) return false;
  std::unique_ptr<addrinfo, UvolnitInfo> drzet(vysledek);
  for (addrinfo* a = vysledek; a; a = a->ai_next)
    if (!JeLoopback(a->ai_addr)) return false;
  return true;
}

}  // namespace

std::chrono::steady_clock::time_point Platforma::Monotonni() {
  return std::chrono::steady_clock::now();
}

void Platforma::Uspat(std::chrono::milliseconds doba) {
  std::this_thread::sleep_for(doba);
}

bool Platforma::JePripojeno(const std::string& hostitel) {
  if (HostitelJeLokalni(hostitel)) return true;
  ifaddrs* adresy = nullptr;
  if (getifaddrs(&adresy) != 0) return false;
  std::unique_ptr<ifaddrs, UvolnitAdresy> drzet(adresy);
  for (ifaddrs* a = adresy; a; a = a->ifa_next) {
    if (!a->ifa_addr || !(a->ifa_flags & IFF_UP) || (a->ifa_flags & IFF_LOOPBACK)) continue;
    if (a->ifa_addr->sa_family == AF_INET || a->ifa_addr->sa_family == AF_INET6) return true;
  }
  return false;
}

namespace {

// Starts the program with the arguments as separate items: detached (its own session,
// the standard streams on /dev/null) or on this process's terminal and streams.
int Spustit(const std::string& program, const std::vector<std::string>& argumenty, bool odpojit,
            pid_t& pid) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), argumenty.begin(), argumenty.end());
  std::vector<char*> c;
  for (auto& a : argv)
    c.push_back(a.data());
  c.push_back(nullptr);

  posix_spawn_file_actions_t akce;
  posix_spawnattr_t atributy;
  posix_spawn_file_actions_init(&akce);
  posix_spawnattr_init(&atributy);
  if (odpojit) {
    posix_spawn_file_actions_addopen(&akce, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&akce, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&akce, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Its own session: the started program outlives this one and no terminal signal
    // meant for us reaches it.
    posix_spawnattr_setflags(&atributy, POSIX_SPAWN_SETSID);
  }
  // The C library reports a failed exec in the child as the answer of posix_spawn
  // (glibc since 2.24, musl), so a file that cannot run is known here, not lost in
  // a child that quietly ends.
  int r = posix_spawn(&pid, program.c_str(), &akce, &atributy, c.data(), environ);
  posix_spawn_file_actions_destroy(&akce);
  posix_spawnattr_destroy(&atributy);
  return r;
}

}  // namespace

std::error_code Platforma::SpustitProces(const std::string& program,
                                         const std::vector<std::string>& argumenty) {
  pid_t pid = 0;
  return std::error_code(Spustit(program, argumenty, true, pid), std::generic_category());
}

std::error_code Platforma::SpustitNaTerminalu(const std::string& program,
                                              const std::vector<std::string>& argumenty) {
  pid_t pid = 0;
  if (int r = Spustit(program, argumenty, false, pid))
    return std::error_code(r, std::generic_category());
  int stav = 0;
  while (::waitpid(pid, &stav, 0) < 0 && errno == EINTR) {
  }
  return {};
}

}  // namespace zevlon
