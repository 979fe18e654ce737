#include "support/neprivilegovany.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "platform/soubory/soubor.h"

extern char** environ;

namespace fs = std::filesystem;

namespace zevlon::test {
namespace {

const bool kRoot = ::geteuid() == 0;

// As root, the helper is copied once into a folder every user can read.
std::string KopiePomocnika() {
  static const std::string slozka = "/tmp/zevlon-helper-" + std::to_string(::getpid());
  static const std::string kopie = [] {
    if (!kRoot) return std::string(ZEVLON_TEST_HELPER);
    fs::create_directories(slozka);
    ::chmod(slozka.c_str(), 0755);
    fs::copy_file(ZEVLON_TEST_HELPER, slozka + "/helper", fs::copy_options::overwrite_existing);
    ::chmod((slozka + "/helper").c_str(), 0755);
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(slozka, ec);
    });
    return slozka + "/helper";
  }();
  return kopie;
}

// Starts argv[0] with stdin from the descriptor `vstup` (-1: /dev/null), stdout (with
// chyby also stderr) into the descriptor `vystup`, and the environment without DISPLAY
// and WAYLAND_DISPLAY, the given variables (NAME=VALUE) replacing their old values.
pid_t Spawn(std::vector<std::string> argv, const std::vector<std::string>& prostredi, int vystup,
            bool chyby, int vstup = -1) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string s(*e), j = s.substr(0, s.find('=') + 1);
    if (j != "DISPLAY=" && j != "WAYLAND_DISPLAY=" &&
        std::none_of(prostredi.begin(), prostredi.end(),
                     [&](const std::string& p) { return p.starts_with(j); }))
      env.push_back(s);
  }
  env.insert(env.end(), prostredi.begin(), prostredi.end());
  std::vector<char*> ca, ce;
  for (auto& x : argv)
    ca.push_back(x.data());
  for (auto& x : env)
    ce.push_back(x.data());
  ca.push_back(nullptr);
  ce.push_back(nullptr);
  posix_spawn_file_actions_t akce;
  posix_spawn_file_actions_init(&akce);
  if (vstup >= 0)
    posix_spawn_file_actions_adddup2(&akce, vstup, STDIN_FILENO);
  else
    posix_spawn_file_actions_addopen(&akce, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&akce, vystup, STDOUT_FILENO);
  if (chyby) posix_spawn_file_actions_adddup2(&akce, vystup, STDERR_FILENO);
  pid_t pid = -1;
  int r = ::posix_spawn(&pid, ca[0], &akce, nullptr, ca.data(), ce.data());
  posix_spawn_file_actions_destroy(&akce);
  return r == 0 ? pid : -1;
}

// Runs a program to its end; answers what it wrote and its wait status.
std::pair<std::string, int> Dobehnout(const std::vector<std::string>& argv,
                                      const std::vector<std::string>& prostredi, bool chyby,
                                      int vstup = -1) {
  int roura[2];
  if (::pipe2(roura, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = Spawn(argv, prostredi, roura[1], chyby, vstup);
  ::close(roura[1]);
  std::string vystup;
  char buf[4096];
  for (ssize_t n; pid > 0 && (n = ::read(roura[0], buf, sizeof buf)) > 0;)
    vystup.append(buf, static_cast<size_t>(n));
  ::close(roura[0]);
  if (pid <= 0) throw std::runtime_error("cannot start " + argv[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return {vystup, status};
}

VysledekPomocnika Pomocnik(std::vector<std::string> argv, const std::vector<std::string>& prostredi,
                           bool neprivilegovane) {
  argv.insert(argv.begin(), KopiePomocnika());
  if (neprivilegovane) {
    const auto pred = JakoNeprivilegovany();
    argv.insert(argv.begin(), pred.begin(), pred.end());
  }
  auto [vystup, status] = Dobehnout(argv, prostredi, false);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, vystup};
}

}  // namespace

std::string CestaPomocnika() {
  return KopiePomocnika();
}

unsigned NeprivilegovanyUid() {
  return kRoot ? 65534u : ::getuid();
}
unsigned NeprivilegovanaGid() {
  return kRoot ? 65534u : ::getgid();
}

std::vector<std::string> JakoNeprivilegovany() {
  if (!kRoot) return {};
  return {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
}

void PredatNeprivilegovanemu(const std::string& cesta) {
  if (kRoot && ::chown(cesta.c_str(), 65534, 65534) != 0)
    throw std::runtime_error("chown failed: " + cesta);
}

std::optional<UzivatelSDomovem> VlastnikProfilu(std::string jmeno) {
  if (!kRoot) return std::nullopt;
  if (jmeno.empty()) {
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto h = std::hash<std::string>{}(std::string(t->test_suite_name()) + "." + t->name());
    char jmenoTestu[20];
    std::snprintf(jmenoTestu, sizeof jmenoTestu, "zevlon-t%08x", static_cast<unsigned>(h));
    jmeno = jmenoTestu;
  }
  const std::string domov = "/var/tmp/" + jmeno;
  if (!::getpwnam(jmeno.c_str())) {
    // Another test may be making it at the same moment: whoever wins, the user is there.
    (void)Spustit({"/usr/sbin/useradd", "--system", "--no-create-home", "--home-dir", domov,
                   "--shell", "/usr/sbin/nologin", jmeno});
  }
  const struct passwd* pw = ::getpwnam(jmeno.c_str());
  if (!pw) throw std::runtime_error("useradd " + jmeno + " failed");
  UzivatelSDomovem u{pw->pw_uid, pw->pw_gid, jmeno, pw->pw_dir};
  fs::create_directories(u.domov);
  if (::chown(u.domov.c_str(), u.uid, u.gid) != 0 || ::chmod(u.domov.c_str(), 0700) != 0)
    throw std::runtime_error("cannot prepare " + u.domov);
  return u;
}

void PredatVlastnikovi(const UzivatelSDomovem& u, const std::string& cesta) {
  std::error_code e;
  for (const auto& p : fs::recursive_directory_iterator(cesta, e))
    if (::lchown(p.path().c_str(), u.uid, u.gid) != 0)
      throw std::runtime_error("lchown failed: " + p.path().string());
  if (::lchown(cesta.c_str(), u.uid, u.gid) != 0) throw std::runtime_error("lchown: " + cesta);
}

VysledekProcesu Spustit(const std::vector<std::string>& argv,
                        const std::vector<std::string>& prostredi) {
  auto [vystup, status] = Dobehnout(argv, prostredi, true);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), vystup};
}

VysledekProcesu SpustitSeVstupem(const std::vector<std::string>& argv, std::string_view vstup,
                                 const std::vector<std::string>& prostredi) {
  // A file in memory holds the whole input, so the program may read it at its own pace.
  Popisovac fd(::memfd_create("vstup", MFD_CLOEXEC));
  if (!fd.Platny() || ZapsatVse(fd.Fd(), vstup) != 0 || ::lseek(fd.Fd(), 0, SEEK_SET) != 0)
    throw std::runtime_error("memfd failed");
  auto [vystup, status] = Dobehnout(argv, prostredi, true, fd.Fd());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), vystup};
}

pid_t SpustitNaPozadi(const std::vector<std::string>& argv,
                      const std::vector<std::string>& prostredi, int vystup) {
  pid_t pid = Spawn(argv, prostredi, vystup, true);
  if (pid <= 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

VysledekPomocnika SpustitNeprivilegovane(const std::vector<std::string>& argumenty,
                                         const std::vector<std::string>& prostredi) {
  return Pomocnik(argumenty, prostredi, true);
}

VysledekPomocnika SpustitPomocnika(const std::vector<std::string>& argumenty,
                                   const std::vector<std::string>& prostredi) {
  return Pomocnik(argumenty, prostredi, false);
}

std::vector<pid_t> ProcesyProgramu(const std::string& program, unsigned uid) {
  std::vector<pid_t> pidy;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc", ec)) {
    const std::string jmeno = e.path().filename();
    if (jmeno.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code ec2;
    if (fs::read_symlink(e.path() / "exe", ec2) != program) continue;
    struct stat st {};
    if (::stat(e.path().c_str(), &st) == 0 && st.st_uid == uid) pidy.push_back(std::stoi(jmeno));
  }
  return pidy;
}

}  // namespace zevlon::test
