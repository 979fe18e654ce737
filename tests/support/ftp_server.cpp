#include "support/ftp_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zevlon::test {

namespace {

// The server keeps nothing that a kill could lose: its log is written line by line.
void Ukoncit(pid_t& pid) {
  if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
  pid = -1;
}

}  // namespace

FtpServer::FtpServer(Nastaveni nastaveni) : nastaveni_(std::move(nastaveni)) {
  sandbox_.Vytvorit("home");
  for (const std::string& slozka : nastaveni_.jenProCteni)
    sandbox_.Vytvorit("home/" + slozka);
  const char* vypisy[] = {"mlsd", "unix", "dos"};
  // The system's Python, which has pyftpdlib (a Python found on PATH may not).
  std::vector<std::string> argumenty = {
      "/usr/bin/python3",
      (std::filesystem::path(__FILE__).parent_path() / "ftp_server.py").string(),
      Cesta(),
      nastaveni_.uzivatel,
      nastaveni_.heslo,
      sandbox_ / "ftp.log",
      sandbox_ / "port",
      vypisy[static_cast<int>(nastaveni_.vypis)] +
          std::string(nastaveni_.prozrazujeUdaje ? ",leak" : "")};
  argumenty.insert(argumenty.end(), nastaveni_.jenProCteni.begin(), nastaveni_.jenProCteni.end());
  std::vector<char*> argv;
  for (std::string& a : argumenty)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  char jazyk[] = "LC_ALL=C.UTF-8", bezCache[] = "PYTHONDONTWRITEBYTECODE=1";
  char* envp[] = {jazyk, bezCache, nullptr};

  const std::string chyby = sandbox_ / "stderr.txt";
  posix_spawn_file_actions_t akce;
  posix_spawn_file_actions_init(&akce);
  posix_spawn_file_actions_addopen(&akce, 2, chyby.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (::posix_spawn(&pid_, argv[0], &akce, nullptr, argv.data(), envp) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&akce);
  // The server writes its port to a file once it listens.
  const auto konec = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (pid_ > 0 && !(std::ifstream(sandbox_ / "port") >> port_) &&
         std::chrono::steady_clock::now() < konec) {
    if (::waitpid(pid_, nullptr, WNOHANG) != 0) pid_ = -1;  // it ended before it listened
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (port_ <= 0) {
    Ukoncit(pid_);
    throw std::runtime_error("FTP server did not start: " +
                             (Existuje(chyby) ? CistSoubor(chyby) : std::string()));
  }
}

FtpServer::~FtpServer() {
  Ukoncit(pid_);
}

std::vector<std::string> FtpServer::Prikazy(std::string_view prikaz) const {
  std::vector<std::string> radky;
  std::istringstream log(Log());
  for (std::string radek; std::getline(log, radek);)
    if (radek.substr(0, radek.find(' ')) == prikaz) radky.push_back(radek);
  return radky;
}

}  // namespace zevlon::test
