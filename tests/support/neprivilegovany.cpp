#include "support/neprivilegovany.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

VysledekPomocnika Spustit(const std::vector<std::string>& argumenty,
                          const std::vector<std::string>& prostredi, bool neprivilegovane) {
  std::vector<std::string> argv;
  if (neprivilegovane && JsemRoot()) {
    argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  }
  argv.push_back(KopiePomocnika());
  argv.insert(argv.end(), argumenty.begin(), argumenty.end());

  std::vector<char*> cargv;
  for (auto& a : argv)
    cargv.push_back(a.data());
  cargv.push_back(nullptr);

  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    env.emplace_back(*e);
  env.insert(env.end(), prostredi.begin(), prostredi.end());
  std::vector<char*> cenv;
  for (auto& e : env)
    cenv.push_back(e.data());
  cenv.push_back(nullptr);

  int roura[2];
  if (::pipe(roura) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t akce;
  posix_spawn_file_actions_init(&akce);
  posix_spawn_file_actions_adddup2(&akce, roura[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&akce, roura[0]);
  posix_spawn_file_actions_addopen(&akce, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  int r = ::posix_spawn(&pid, cargv[0], &akce, nullptr, cargv.data(), cenv.data());
  posix_spawn_file_actions_destroy(&akce);
  ::close(roura[1]);
  if (r != 0) {
    ::close(roura[0]);
    throw std::runtime_error("posix_spawn failed");
  }
  VysledekPomocnika v;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(roura[0], buf, sizeof buf)) > 0)
    v.vystup.append(buf, static_cast<size_t>(n));
  ::close(roura[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  v.navratovyKod = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return v;
}

}  // namespace

VysledekPomocnika SpustitNeprivilegovane(const std::vector<std::string>& argumenty,
                                         const std::vector<std::string>& prostredi) {
  return Spustit(argumenty, prostredi, true);
}

VysledekPomocnika SpustitPomocnika(const std::vector<std::string>& argumenty,
                                   const std::vector<std::string>& prostredi) {
  return Spustit(argumenty, prostredi, false);
}

}  // namespace zevlon::test
