#include "support/neprivilegovany.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace zevlon::test {

namespace {

bool JsemRoot() {
  return ::geteuid() == 0;
}

// The helper copied once per test process into a folder every user can read.
std::string KopiePomocnika() {
  static std::string kopie = [] {
    if (!JsemRoot()) return std::string(ZEVLON_TEST_HELPER);
    std::string slozka = "/tmp/zevlon-helper-" + std::to_string(::getpid());
    fs::create_directories(slozka);
    ::chmod(slozka.c_str(), 0755);
    std::string cil = slozka + "/zevlon_test_helper";
    fs::copy_file(ZEVLON_TEST_HELPER, cil, fs::copy_options::overwrite_existing);
    ::chmod(cil.c_str(), 0755);
    std::atexit([] {
      std::error_code ec;
      fs::remove_all("/tmp/zevlon-helper-" + std::to_string(::getpid()), ec);
    });
    return cil;
  }();
  return kopie;
}

}  // namespace

unsigned NeprivilegovanyUid() {
  return JsemRoot() ? 65534u : ::getuid();
}
unsigned NeprivilegovanaGid() {
  return JsemRoot() ? 65534u : ::getgid();
}

void PredatNeprivilegovanemu(const std::string& cesta) {
  if (JsemRoot() && ::chown(cesta.c_str(), 65534, 65534) != 0)
    throw std::runtime_error("chown failed: " + cesta);
}

namespace {

// The current environment with the given variables (NAME=VALUE) appended; a clean one
// also drops DISPLAY, WAYLAND_DISPLAY and every variable that is given anew.
std::vector<std::string> Prostredi(const std::vector<std::string>& pridat, bool ciste) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string s(*e), jmeno = s.substr(0, s.find('='));
    bool vynechat = ciste && (jmeno == "DISPLAY" || jmeno == "WAYLAND_DISPLAY" ||
                              std::any_of(pridat.begin(), pridat.end(), [&](const auto& p) {
                                return p.substr(0, p.find('=')) == jmeno;
                              }));
    if (!vynechat) env.push_back(s);
  }
  env.insert(env.end(), pridat.begin(), pridat.end());
  return env;
}

// Starts argv[0] with stdin from /dev/null and stdout (with chyby also stderr) into
// the descriptor.
pid_t Spawn(std::vector<std::string> argv, std::vector<std::string> env, int vystup, bool chyby) {
  std::vector<char*> ca, ce;
  for (auto& x : argv)
    ca.push_back(x.data());
  ca.push_back(nullptr);
  for (auto& x : env)
    ce.push_back(x.data());
  ce.push_back(nullptr);
  posix_spawn_file_actions_t akce;
  posix_spawn_file_actions_init(&akce);
  posix_spawn_file_actions_addopen(&akce, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&akce, vystup, STDOUT_FILENO);
  if (chyby) posix_spawn_file_actions_adddup2(&akce, vystup, STDERR_FILENO);
  pid_t pid = 0;
  int r = ::posix_spawn(&pid, ca[0], &akce, nullptr, ca.data(), ce.data());
  posix_spawn_file_actions_destroy(&akce);
  if (r != 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

// Runs a program to its end, collecting what it writes; answers the output and the
// wait status.
std::pair<std::string, int> Dobehnout(const std::vector<std::string>& argv,
                                      std::vector<std::string> env, bool chyby) {
  int roura[2];
  if (::pipe2(roura, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = -1;
  try {
    pid = Spawn(argv, std::move(env), roura[1], chyby);
  } catch (...) {
    ::close(roura[0]);
    ::close(roura[1]);
    throw;
  }
  ::close(roura[1]);
  std::string vystup;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(roura[0], buf, sizeof buf)) > 0)
    vystup.append(buf, static_cast<size_t>(n));
  ::close(roura[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return {vystup, status};
}

VysledekPomocnika Spustit(const std::vector<std::string>& argumenty,
                          const std::vector<std::string>& prostredi, bool neprivilegovane) {
  std::vector<std::string> argv;
  if (neprivilegovane && JsemRoot()) {
    argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  }
  argv.push_back(KopiePomocnika());
  argv.insert(argv.end(), argumenty.begin(), argumenty.end());
  auto [vystup, status] = Dobehnout(argv, Prostredi(prostredi, false), false);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, vystup};
}

}  // namespace

VysledekProcesu Spustit(const std::vector<std::string>& argv,
                        const std::vector<std::string>& prostredi) {
  auto [vystup, status] = Dobehnout(argv, Prostredi(prostredi, true), true);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), vystup};
}

pid_t SpustitNaPozadi(const std::vector<std::string>& argv,
                      const std::vector<std::string>& prostredi, int vystup) {
  return Spawn(argv, Prostredi(prostredi, true), vystup, true);
}

VysledekPomocnika SpustitNeprivilegovane(const std::vector<std::string>& argumenty,
                                         const std::vector<std::string>& prostredi) {
  return Spustit(argumenty, prostredi, true);
}

VysledekPomocnika SpustitPomocnika(const std::vector<std::string>& argumenty,
                                   const std::vector<std::string>& prostredi) {
  return Spustit(argumenty, prostredi, false);
}

}  // namespace zevlon::test
