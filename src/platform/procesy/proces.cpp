#include "platform/procesy/proces.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
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

}  // namespace

VysledekPrikazu ProvestPrikaz(const std::vector<std::string>& argv, std::string_view vstup) {
  VysledekPrikazu v;
  Roura vstupni, vystupni, chybova;
  if (argv.empty() || !vstupni.Vytvorit() || !vystupni.Vytvorit() || !chybova.Vytvorit()) {
    v.chybaSpusteni = argv.empty() ? EINVAL : errno;
    return v;
  }
  std::vector<std::string> kopie = argv;
  std::vector<char*> c;
  for (auto& a : kopie)
    c.push_back(a.data());
  c.push_back(nullptr);

  posix_spawn_file_actions_t akce;
  posix_spawn_file_actions_init(&akce);
  posix_spawn_file_actions_adddup2(&akce, vstupni.cteni.Fd(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&akce, vystupni.zapis.Fd(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&akce, chybova.zapis.Fd(), STDERR_FILENO);
  pid_t pid = 0;
  int r = posix_spawnp(&pid, c[0], &akce, nullptr, c.data(), environ);
  posix_spawn_file_actions_destroy(&akce);
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
