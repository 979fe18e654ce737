#include "platform/procesy/proces.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <ctime>

#include "platform/soubory/soubor.h"

extern char** environ;

namespace zevlon {

namespace {

struct Roura {
  Popisovac cteni, zapis;
  bool Vytvorit() {
    int fd[2];
    if (::pipe2(fd, O_CLOEXEC) != 0) return false;
    cteni = Popisovac(fd[0]);
    zapis = Popisovac(fd[1]);
    return true;
  }
};

// SIGPIPE is held back while this thread writes to a program that may already have
// ended, and one that came meanwhile is taken, so the write merely fails (EPIPE).
class BezSigpipe {
 public:
  BezSigpipe() {
    sigemptyset(&sigpipe_);
    sigaddset(&sigpipe_, SIGPIPE);
    sigset_t cekajici;
    sigpending(&cekajici);
    drivejiCekal_ = sigismember(&cekajici, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &sigpipe_, &puvodni_);
  }
  ~BezSigpipe() {
    if (!drivejiCekal_) {
      const timespec hned{0, 0};
      while (sigtimedwait(&sigpipe_, nullptr, &hned) == SIGPIPE) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &puvodni_, nullptr);
  }
  BezSigpipe(const BezSigpipe&) = delete;
  BezSigpipe& operator=(const BezSigpipe&) = delete;

 private:
  sigset_t sigpipe_{}, puvodni_{};
  bool drivejiCekal_ = false;
};

// Writes the input and reads both outputs until the program has closed them.
void Predat(Roura& vstupni, Roura& vystupni, Roura& chybova, std::string_view vstup,
            VysledekPrikazu& v) {
  BezSigpipe bezSigpipe;
  if (vstup.empty()) vstupni.zapis.Zavrit();
  if (vstupni.zapis.Platny()) ::fcntl(vstupni.zapis.Fd(), F_SETFL, O_NONBLOCK);
  std::size_t zapsano = 0;
  for (;;) {
    pollfd p[3] = {{vystupni.cteni.Fd(), POLLIN, 0},
                   {chybova.cteni.Fd(), POLLIN, 0},
                   {vstupni.zapis.Fd(), POLLOUT, 0}};
    if (p[0].fd < 0 && p[1].fd < 0) return;
    if (::poll(p, 3, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    Roura* roury[2] = {&vystupni, &chybova};
    std::string* cile[2] = {&v.vystup, &v.chyby};
    for (int i = 0; i < 2; ++i) {
      if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[4096];
      ssize_t n = ::read(p[i].fd, buf, sizeof buf);
      if (n > 0)
        cile[i]->append(buf, static_cast<std::size_t>(n));
      else if (n == 0 || errno != EINTR)
        roury[i]->cteni.Zavrit();
    }
    if (p[2].revents & (POLLOUT | POLLERR | POLLHUP)) {
      ssize_t n = ::write(p[2].fd, vstup.data() + zapsano, vstup.size() - zapsano);
      if (n > 0) zapsano += static_cast<std::size_t>(n);
      if ((n < 0 && errno != EAGAIN && errno != EINTR) || zapsano == vstup.size())
        vstupni.zapis.Zavrit();
    }
  }
}

// Starts argv with the three descriptors as its standard input, output and error output:
// looked up on PATH, or (`skupina`) by its path alone in a process group of its own, with
// no other descriptor (a channel, a proxy's credentials) and only the variables that name
// its user, language and time zone. Answers the error number of posix_spawn.
int Spustit(const std::vector<std::string>& argv, const std::array<int, 3>& fd, bool skupina,
            pid_t& pid) {
  std::vector<std::string> kopie = argv;
  std::vector<char*> c;
  for (auto& a : kopie)
    c.push_back(a.data());
  c.push_back(nullptr);
  posix_spawn_file_actions_t akce;
  posix_spawn_file_actions_init(&akce);
  for (int i = 0; i < 3; ++i)
    posix_spawn_file_actions_adddup2(&akce, fd[static_cast<std::size_t>(i)], i);
  posix_spawnattr_t atributy;
  posix_spawnattr_init(&atributy);
  std::vector<std::string> prostredi{"PATH=/usr/local/bin:/usr/bin:/bin"};
  std::vector<char*> p;
  if (skupina) {
    posix_spawnattr_setflags(&atributy, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&atributy, 0);
    posix_spawn_file_actions_addclosefrom_np(&akce, 3);
    for (const char* promenna : {"HOME", "USER", "LOGNAME", "LANG", "LC_ALL", "TZ"})
      if (const char* h = std::getenv(promenna))
        prostredi.push_back(std::string(promenna) + "=" + h);
    for (std::string& v : prostredi)
      p.push_back(v.data());
    p.push_back(nullptr);
  }
  const int r = skupina ? posix_spawn(&pid, c[0], &akce, &atributy, c.data(), p.data())
                        : posix_spawnp(&pid, c[0], &akce, &atributy, c.data(), environ);
  posix_spawn_file_actions_destroy(&akce);
  posix_spawnattr_destroy(&atributy);
  return r;
}

}  // namespace

VysledekPrikazu ProvestPrikaz(const std::vector<std::string>& argv, std::string_view vstup) {
  VysledekPrikazu v;
  Roura vstupni, vystupni, chybova;
  if (argv.empty() || !vstupni.Vytvorit() || !vystupni.Vytvorit() || !chybova.Vytvorit()) {
    v.chybaSpusteni = argv.empty() ? EINVAL : errno;
    return v;
  }
  pid_t pid = 0;
  const int r =
      Spustit(argv, {vstupni.cteni.Fd(), vystupni.zapis.Fd(), chybova.zapis.Fd()}, false, pid);
  // The child's ends are the child's alone now.
  vstupni.cteni.Zavrit();
  vystupni.zapis.Zavrit();
  chybova.zapis.Zavrit();
  if (r != 0) {
    v.chybaSpusteni = r;
    return v;
  }
  Predat(vstupni, vystupni, chybova, vstup, v);
  int stav = 0;
  while (::waitpid(pid, &stav, 0) < 0) {
    if (errno != EINTR) return v;
  }
  v.kod = WIFEXITED(stav) ? WEXITSTATUS(stav) : 128 + WTERMSIG(stav);
  return v;
}

VysledekPrikazu ProvestSLhutou(const std::vector<std::string>& argv,
                               std::chrono::milliseconds lhuta, std::size_t maxVystupu) {
  VysledekPrikazu v;
  Roura vystupni;
  Popisovac nic(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (argv.empty() || argv[0].empty() || argv[0].front() != '/' || !nic.Platny() ||
      !vystupni.Vytvorit()) {
    v.chybaSpusteni = argv.empty() || argv[0].empty() || argv[0].front() != '/' ? EINVAL : errno;
    return v;
  }
  pid_t pid = 0;
  const int r = Spustit(argv, {nic.Fd(), vystupni.zapis.Fd(), vystupni.zapis.Fd()}, true, pid);
  vystupni.zapis.Zavrit();
  if (r != 0) {
    v.chybaSpusteni = r;
    return v;
  }
  // Its output until it closes it (it and all it started) or the bound comes.
  const auto konec = std::chrono::steady_clock::now() + lhuta;
  while (vystupni.cteni.Platny()) {
    const auto zbyva = std::chrono::duration_cast<std::chrono::milliseconds>(
        konec - std::chrono::steady_clock::now());
    if (zbyva.count() <= 0) {
      v.vyprselo = true;
      break;
    }
    pollfd p{vystupni.cteni.Fd(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(std::min<long long>(zbyva.count(), 1000))) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::read(p.fd, buf, sizeof buf);
    if (n > 0) {
      v.vystup.append(buf, static_cast<std::size_t>(n));
      if (v.vystup.size() > maxVystupu) v.vystup.erase(0, v.vystup.size() - maxVystupu);
    } else if (n == 0 || errno != EINTR) {
      vystupni.cteni.Zavrit();
    }
  }
  // Output closed early by a program that goes on is waited for until the bound too; one
  // that not even SIGKILL ends (a hung file system) is left to the system.
  if (v.vyprselo) ::kill(-pid, SIGKILL);
  int stav = 0;
  for (;;) {
    const pid_t w = ::waitpid(pid, &stav, WNOHANG);
    if (w == pid) break;
    if (w < 0 && errno != EINTR) return v;
    const auto ted = std::chrono::steady_clock::now();
    if (!v.vyprselo && ted >= konec) {
      v.vyprselo = true;
      ::kill(-pid, SIGKILL);
    }
    if (ted >= konec + std::chrono::seconds(5)) return v;
    ::usleep(20000);
  }
  ::kill(-pid, SIGKILL);
  v.kod = WIFEXITED(stav) ? WEXITSTATUS(stav) : 128 + WTERMSIG(stav);
  return v;
}

std::optional<long long> ZacatekProcesu(pid_t pid) {
  const std::optional<std::string> stat = NacistSoubor("/proc/" + std::to_string(pid) + "/stat");
  // The name in parentheses may hold anything; the fields from the state on follow it.
  const std::size_t konec = stat ? stat->rfind(')') : std::string::npos;
  if (konec == std::string::npos) return std::nullopt;
  std::size_t pozice = konec + 1;
  for (int pole = 3; pole <= 22; ++pole) {
    pozice = stat->find_first_not_of(' ', pozice);
    if (pozice == std::string::npos) return std::nullopt;
    const std::size_t dalsi = stat->find(' ', pozice);
    if (pole == 22) {
      long long ticky = 0;
      const char* z = stat->data() + pozice;
      const char* k = stat->data() + (dalsi == std::string::npos ? stat->size() : dalsi);
      if (std::from_chars(z, k, ticky).ptr != k) return std::nullopt;
      return ticky;
    }
    pozice = dalsi;
  }
  return std::nullopt;
}

}  // namespace zevlon
