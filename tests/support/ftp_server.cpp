#include "support/ftp_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zevlon::test {

namespace {

// The system's Python, which has pyftpdlib (a Python found on PATH may not).
constexpr const char* kPython = "/usr/bin/python3";
constexpr auto kLimitStartu = std::chrono::seconds(10);
constexpr auto kLimitKonce = std::chrono::seconds(3);

std::string Skript() {
  return (std::filesystem::path(__FILE__).parent_path() / "ftp_server.py").string();
}

std::string Priznaky(const FtpServer::Nastaveni& n) {
  std::string p = n.vypis == FtpServer::Vypis::kMlsd   ? "mlsd"
                  : n.vypis == FtpServer::Vypis::kUnix ? "unix"
                                                       : "dos";
  if (n.prozrazujeUdaje) p += ",leak";
  return p;
}

bool StejnePrikazy(std::string_view radek, std::string_view prikaz) {
  std::string_view slovo = radek.substr(0, radek.find(' '));
  if (slovo.size() != prikaz.size()) return false;
  for (std::size_t i = 0; i < slovo.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(slovo[i])) !=
        std::toupper(static_cast<unsigned char>(prikaz[i])))
      return false;
  return true;
}

}  // namespace

FtpServer::FtpServer() : FtpServer(Nastaveni{}) {}

FtpServer::FtpServer(Nastaveni nastaveni) : nastaveni_(std::move(nastaveni)) {
  sandbox_.Vytvorit("home");
  for (const std::string& slozka : nastaveni_.jenProCteni)
    sandbox_.Vytvorit("home/" + slozka);

  int vstup[2], vystup[2];
  if (::pipe2(vstup, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (::pipe2(vystup, O_CLOEXEC) != 0) {
    ::close(vstup[0]);
    ::close(vstup[1]);
    throw std::runtime_error("pipe failed");
  }

  std::vector<std::string> argumenty = {kPython,
                                        Skript(),
                                        Cesta(),
                                        nastaveni_.uzivatel,
                                        nastaveni_.heslo,
                                        sandbox_ / "ftp.log",
                                        Priznaky(nastaveni_)};
  for (const std::string& slozka : nastaveni_.jenProCteni)
    argumenty.push_back(slozka);
  std::vector<char*> argv;
  for (std::string& a : argumenty)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> prostredi = {"PATH=/usr/bin:/bin", "LC_ALL=C.UTF-8",
                                        "PYTHONDONTWRITEBYTECODE=1"};
  std::vector<char*> envp;
  for (std::string& p : prostredi)
    envp.push_back(p.data());
  envp.push_back(nullptr);

  std::string chyby = sandbox_ / "stderr.txt";
  posix_spawn_file_actions_t akce;
  posix_spawn_file_actions_init(&akce);
  posix_spawn_file_actions_adddup2(&akce, vstup[0], 0);
  posix_spawn_file_actions_adddup2(&akce, vystup[1], 1);
  posix_spawn_file_actions_addopen(&akce, 2, chyby.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int r = ::posix_spawn(&pid_, kPython, &akce, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&akce);
  ::close(vstup[0]);
  ::close(vystup[1]);
  vstup_ = vstup[1];
  if (r != 0) {
    pid_ = -1;
    ::close(vystup[0]);
    Zastavit();
    throw std::runtime_error("cannot start " + std::string(kPython));
  }

  // The server prints its port once it listens.
  std::string radek;
  const auto konec = std::chrono::steady_clock::now() + kLimitStartu;
  while (radek.find('\n') == std::string::npos) {
    auto zbyva = std::chrono::duration_cast<std::chrono::milliseconds>(
        konec - std::chrono::steady_clock::now());
    if (zbyva.count() <= 0) break;
    pollfd p{vystup[0], POLLIN, 0};
    int n = ::poll(&p, 1, static_cast<int>(zbyva.count()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    char buf[64];
    ssize_t precteno = ::read(vystup[0], buf, sizeof buf);
    if (precteno <= 0) break;
    radek.append(buf, static_cast<std::size_t>(precteno));
  }
  ::close(vystup[0]);
  try {
    port_ = std::stoi(radek);
  } catch (const std::exception&) {
    port_ = 0;
  }
  if (port_ <= 0) {
    Zastavit();
    std::string stderrText;
    try {
      stderrText = CistSoubor(chyby);
    } catch (const std::exception&) {
    }
    throw std::runtime_error("FTP server did not start: " + stderrText);
  }
}

FtpServer::~FtpServer() {
  Zastavit();
}

void FtpServer::Zastavit() {
  if (vstup_ >= 0) {
    ::close(vstup_);
    vstup_ = -1;
  }
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  const auto konec = std::chrono::steady_clock::now() + kLimitKonce;
  for (;;) {
    pid_t r = ::waitpid(pid_, nullptr, WNOHANG);
    if (r == pid_ || (r < 0 && errno != EINTR)) break;
    if (std::chrono::steady_clock::now() >= konec) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
}

std::string FtpServer::Cesta(std::string_view relativni) const {
  std::string p = sandbox_ / "home";
  if (!relativni.empty()) p += "/" + std::string(relativni);
  return p;
}

std::string FtpServer::Zapsat(std::string_view relativni, std::string_view obsah) const {
  return sandbox_.Zapsat("home/" + std::string(relativni), obsah);
}

std::string FtpServer::Vytvorit(std::string_view relativni) const {
  return sandbox_.Vytvorit("home/" + std::string(relativni));
}

std::string FtpServer::Log() const {
  try {
    return CistSoubor(sandbox_ / "ftp.log");
  } catch (const std::exception&) {
    return {};
  }
}

std::vector<std::string> FtpServer::Prikazy(std::string_view prikaz) const {
  std::vector<std::string> radky;
  std::istringstream s(Log());
  std::string radek;
  while (std::getline(s, radek))
    if (StejnePrikazy(radek, prikaz)) radky.push_back(radek);
  return radky;
}

int FtpServer::Pocet(std::string_view prikaz) const {
  return static_cast<int>(Prikazy(prikaz).size());
}

}  // namespace zevlon::test
