#include "tools/publikace/preruseni.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/soubory/soubor.h"

namespace fs = std::filesystem;

namespace zevlon::publikace {

namespace {

// The paths to remove on a stop, each with the lock that marks it as held (none for a
// path a lower layer makes). Recursive: a step held off may make a folder.
std::recursive_mutex zamek;
std::map<std::string, Popisovac>& Rozpracovane() {
  static std::map<std::string, Popisovac> r;
  return r;
}

// The terminal as it was at the start: a stop while a password is typed gets echo back.
termios terminal{};
bool maTerminal = false;

// Every other thread of the process is parked for good before anything is removed, so
// that none writes into a folder while it goes.
constexpr int kSignalZastaveni = SIGUSR1;
std::atomic<int> zastaveno{0};

void Zastavit(int) {
  ++zastaveno;
  for (;;)
    ::pause();
}

void ZastavitOstatniVlakna() {
  std::set<pid_t> poslano{static_cast<pid_t>(::gettid())};
  for (bool dalsi = true; dalsi;) {
    dalsi = false;
    std::error_code e;
    for (const auto& v : fs::directory_iterator("/proc/self/task", e)) {
      const pid_t tid = static_cast<pid_t>(std::stol(v.path().filename().string()));
      if (!poslano.insert(tid).second) continue;
      dalsi = ::tgkill(::getpid(), tid, kSignalZastaveni) == 0 || dalsi;
    }
    // Until each has stopped (or a second has passed): a thread it started meanwhile is
    // found on the next look.
    for (int i = 0; i < 1000 && zastaveno < static_cast<int>(poslano.size()) - 1; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

[[noreturn]] void Ukoncit() {
  std::lock_guard<std::recursive_mutex> z(zamek);
  // Should a parked thread hold a lock that the removal needs, the process ends all the
  // same; the next run removes what is left.
  ::alarm(10);
  ZastavitOstatniVlakna();
  for (auto& [cesta, fd] : Rozpracovane()) {
    std::error_code e;
    fs::remove_all(cesta, e);
  }
  if (maTerminal) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &terminal);
  static const char kZprava[] = "Přerušeno; co příkaz rozpracoval, je odstraněno.\n";
  (void)!::write(STDERR_FILENO, kZprava, sizeof kZprava - 1);
  ::_exit(2);
}

}  // namespace

void HlidatPreruseni(std::atomic<bool>* konec) {
  struct sigaction zastaveni {};
  zastaveni.sa_handler = Zastavit;
  sigemptyset(&zastaveni.sa_mask);
  ::sigaction(kSignalZastaveni, &zastaveni, nullptr);
  maTerminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &terminal) == 0;
  sigset_t signaly;
  sigemptyset(&signaly);
  sigaddset(&signaly, SIGINT);
  sigaddset(&signaly, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signaly, nullptr);
  std::thread([signaly, konec] {
    for (int s = 0;;) {
      if (sigwait(&signaly, &s) != 0) continue;
      if (!konec) Ukoncit();
      *konec = true;
    }
  }).detach();
}

std::string ZalozitPracovniSlozku(const std::string& slozka) {
  std::lock_guard<std::recursive_mutex> z(zamek);
  // Another command removing leftovers may take a new folder before it is locked here:
  // such a folder is given up and another is made. Only a folder locked while it still
  // stands at its name is this command's.
  for (int pokus = 0; pokus < 100; ++pokus) {
    std::string sablona = slozka + "/" + kPrefixPrace + "XXXXXX";
    if (!::mkdtemp(sablona.data())) return {};
    Popisovac fd(::open(sablona.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat drzeny {};
    struct stat naMiste {};
    if (fd.Platny() && ::flock(fd.Fd(), LOCK_EX | LOCK_NB) == 0 && ::fstat(fd.Fd(), &drzeny) == 0 &&
        ::lstat(sablona.c_str(), &naMiste) == 0 && drzeny.st_dev == naMiste.st_dev &&
        drzeny.st_ino == naMiste.st_ino) {
      Rozpracovane().insert_or_assign(sablona, std::move(fd));
      return sablona;
    }
    if (!fd.Platny() && errno != ENOENT) {
      const int chyba = errno;
      ::rmdir(sablona.c_str());
      errno = chyba;
      return {};
    }
  }
  errno = EAGAIN;
  return {};
}

void Zaznamenat(const std::string& cesta) {
  std::lock_guard<std::recursive_mutex> z(zamek);
  Rozpracovane().insert_or_assign(cesta, Popisovac());
}

void Dokoncit(const std::string& cesta, bool smazat) {
  std::lock_guard<std::recursive_mutex> z(zamek);
  std::error_code e;
  if (smazat) fs::remove_all(cesta, e);
  Rozpracovane().erase(cesta);
}

void BezPreruseni(const std::function<void()>& krok) {
  std::lock_guard<std::recursive_mutex> z(zamek);
  krok();
}

void UklidititPozustatky(const std::string& slozka) {
  std::error_code e;
  for (const auto& polozka : fs::directory_iterator(slozka, e)) {
    const std::string cesta = polozka.path().string();
    if (!polozka.path().filename().string().starts_with(kPrefixPrace)) continue;
    // Only what this user made, opened without following a link, and held by no one.
    Popisovac fd(::open(cesta.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd.Platny() || ::fstat(fd.Fd(), &st) != 0 || st.st_uid != ::geteuid() ||
        ::flock(fd.Fd(), LOCK_EX | LOCK_NB) != 0)
      continue;
    std::error_code chyba;
    fs::remove_all(cesta, chyba);
    if (chyba)
      std::fprintf(stderr, "Pozůstatek přerušeného příkazu %s nelze odstranit: %s\n", cesta.c_str(),
                   chyba.message().c_str());
  }
}

}  // namespace zevlon::publikace
