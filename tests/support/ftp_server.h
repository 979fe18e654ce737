// A real FTP server on loopback: pyftpdlib (ftp_server.py) serving the folder `domov`
// to one user and logging the commands it receives. Killed by the destructor.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "prenos/ftp/ftp.h"
#include "support/sandbox.h"

namespace zevlon::test {

class FtpServer {
 public:
  static constexpr const char* kUzivatel = "zevlon";
  static constexpr const char* kHeslo = "Tajne-Heslo-7";

  // "leak": 5xx replies repeat the credentials, "vysoky": a port above 32767;
  // jenProCteni: folders that cannot be written.
  explicit FtpServer(const std::string& priznaky = "",
                     const std::vector<std::string>& jenProCteni = {}) {
    const std::string skript = std::filesystem::path(__FILE__).replace_filename("ftp_server.py");
    std::vector<std::string> a = {
        "/usr/bin/python3", skript,          domov.Cesta(), kUzivatel, kHeslo,
        prace_ / "ftp.log", prace_ / "port", priznaky};  // the system's Python has pyftpdlib
    for (const std::string& slozka : jenProCteni)
      domov.Vytvorit(a.emplace_back(slozka));
    std::vector<char*> argv;
    for (std::string& s : a)
      argv.push_back(s.data());
    argv.push_back(nullptr);
    char* envp[] = {const_cast<char*>("LC_ALL=C.UTF-8"), nullptr};
    if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), envp) != 0) pid_ = -1;
    // The server writes its port to a file once it listens.
    const auto konec = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && !(std::ifstream(prace_ / "port") >> port_) &&
           std::chrono::steady_clock::now() < konec)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (port_ <= 0) {
      if (pid_ > 0) ::kill(pid_, SIGKILL);
      throw std::runtime_error("FTP server did not start");
    }
  }
  ~FtpServer() {
    if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
  }

  int Port() const { return port_; }
  void Nastavit(CFTPManager& ftp, bool pasivni) const {
    ftp.URL = "127.0.0.1";
    ftp.Port = std::to_string(port_);
    ftp.Uzivatel = kUzivatel;
    ftp.Heslo = kHeslo;
    ftp.PasivniRezim = pasivni;
  }
  // How many times the server received the command (upper case; "PASS" counts too).
  int Pocet(const std::string& prikaz) const {
    std::ifstream log(prace_ / "ftp.log");
    return static_cast<int>(std::count(std::istream_iterator<std::string>(log), {}, prikaz));
  }

  // The names files were renamed to (RNTO), in order.
  std::vector<std::string> Prejmenovano() const {
    std::ifstream log(prace_ / "ftp.log");
    std::vector<std::string> r;
    for (std::string radek; std::getline(log, radek);)
      if (radek.rfind('@', 0) == 0) r.push_back(radek.substr(1));
    return r;
  }

  Sandbox domov;  // the server's "/"

 private:
  Sandbox prace_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace zevlon::test
