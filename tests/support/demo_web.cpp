#include "support/demo_web.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace zevlon::test {

namespace {

std::vector<std::string> Prostredi(const std::vector<std::string>& pridat) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string s(*e);
    std::string jmeno = s.substr(0, s.find('='));
    if (jmeno == "DISPLAY" || jmeno == "WAYLAND_DISPLAY") continue;
    bool nahrazeno = false;
    for (auto& p : pridat)
      nahrazeno = nahrazeno || p.substr(0, p.find('=')) == jmeno;
    if (!nahrazeno) env.push_back(s);
  }
  env.insert(env.end(), pridat.begin(), pridat.end());
  return env;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& prostredi,
            int vystup) {
  std::vector<std::string> a = argv, e = Prostredi(prostredi);
  std::vector<char*> ca, ce;
  for (auto& x : a)
    ca.push_back(x.data());
  ca.push_back(nullptr);
  for (auto& x : e)
    ce.push_back(x.data());
  ce.push_back(nullptr);
  posix_spawn_file_actions_t akce;
  posix_spawn_file_actions_init(&akce);
  posix_spawn_file_actions_addopen(&akce, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&akce, vystup, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&akce, vystup, STDERR_FILENO);
  pid_t pid = 0;
  int r = posix_spawn(&pid, ca[0], &akce, nullptr, ca.data(), ce.data());
  posix_spawn_file_actions_destroy(&akce);
  if (r != 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

}  // namespace

VysledekProcesu Spustit(const std::vector<std::string>& argv,
                        const std::vector<std::string>& prostredi) {
  int roura[2];
  if (::pipe2(roura, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  pid_t pid = Spawn(argv, prostredi, roura[1]);
  ::close(roura[1]);
  VysledekProcesu v;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(roura[0], buf, sizeof buf)) > 0)
    v.vystup.append(buf, static_cast<size_t>(n));
  ::close(roura[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  v.kod = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return v;
}

DemoWeb::DemoWeb(const Sandbox& s) : s_(s) {
  fs::create_directories(s_ / "www/aktualizace-online");
  int vystup = ::open((s_ / "server.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  server_ = Spawn(
      {ZEVLON_PUBLIKOVAT, "servirovat", "--port", "0", "--log", s_ / "pristupy.log", s_ / "www"},
      {}, vystup);
  ::close(vystup);
  for (int i = 0; i < 100 && port_ == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::string t = fs::exists(s_ / "server.txt") ? s_.Cist("server.txt") : "";
    auto p = t.find("127.0.0.1:");
    if (p != std::string::npos) port_ = std::stoi(t.substr(p + 10));
  }
  if (port_ == 0) throw std::runtime_error("the site server did not start");
}

DemoWeb::~DemoWeb() {
  if (server_ > 0) {
    ::kill(server_, SIGTERM);
    ::waitpid(server_, nullptr, 0);
  }
}

void DemoWeb::Vydani(const std::string& cesta, const std::string& obsah) {
  s_.Zapsat("vydani/" + cesta, obsah);
}

void DemoWeb::Publikovat(const std::string& vydani, const std::vector<std::string>& dalsi) {
  std::vector<std::string> argv{ZEVLON_PUBLIKOVAT, "vydat",     "--vydani", vydani,
                                "--adresa",        AdresaWebu()};
  argv.insert(argv.end(), dalsi.begin(), dalsi.end());
  argv.push_back(s_ / "vydani");
  argv.push_back(s_ / "www/aktualizace-online");
  auto v = Spustit(argv);
  if (v.kod != 0) throw std::runtime_error("publishing failed: " + v.vystup);
}

void DemoWeb::Instalace(const std::string& cesta, const std::string& obsah) {
  // Installed long before the release was made.
  std::string soubor = s_.Zapsat("data/Firma/" + cesta, obsah);
  timespec casy[2] = {{0, UTIME_OMIT}, {1393632000, 0}};  // 2014-03-01
  ::utimensat(AT_FDCWD, soubor.c_str(), casy, 0);
}

void DemoWeb::PripravitProgram() {
  s_.Zapsat("registry.reg",
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\12.0\\Aplikace]\r\n"
            "\"Slozka_Merka\"=\"" +
                (s_ / "merko12/") + "\"\r\n");
  s_.Zapsat("merko12/Merko.ini", "[Profily]\r\nFirma=" + Profil() + "\r\n");
  fs::create_directories(s_ / "temp");
  fs::create_directories(s_ / "program");
  fs::copy_file(ZEVLON_PROGRAM, s_ / "program/Zevlon", fs::copy_options::overwrite_existing);
  s_.Zapsat("program/Zevlon.ini", "[Server]\r\nAdresa=" + AdresaWebu() +
                                      "\r\n[Nastaveni]\r\nSlozkaDat=" + Profil() + "\r\n");
}

VysledekProcesu DemoWeb::SpustitZevlon(const std::vector<std::string>& argumenty) {
  std::vector<std::string> argv{s_ / "program/Zevlon"};
  argv.insert(argv.end(), argumenty.begin(), argumenty.end());
  return Spustit(argv, {"TEMP=" + (s_ / "temp"), "DUNMOR_REGISTRY=" + (s_ / "registry.reg")});
}

bool DemoWeb::SpustitZevlonAZabit(std::chrono::microseconds po) {
  int nic = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  pid_t pid = Spawn({s_ / "program/Zevlon"},
                    {"TEMP=" + (s_ / "temp"), "DUNMOR_REGISTRY=" + (s_ / "registry.reg")}, nic);
  ::close(nic);
  std::this_thread::sleep_for(po);
  int status = 0;
  bool zabit = ::waitpid(pid, &status, WNOHANG) == 0;
  if (zabit) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  return zabit;
}

std::vector<std::string> DemoWeb::NovePozadavky() {
  std::string log = fs::exists(s_ / "pristupy.log") ? s_.Cist("pristupy.log") : "";
  std::vector<std::string> cesty;
  std::istringstream radky(log.substr(precteno_));
  precteno_ = log.size();
  std::string radek;
  while (std::getline(radky, radek)) {
    std::istringstream pole(radek);
    std::string cas, metoda, cesta;
    pole >> cas >> metoda >> cesta;
    cesty.push_back(cesta.substr(0, cesta.find('?')));
  }
  return cesty;
}

}  // namespace zevlon::test
