// A real FTP server on loopback for the FTP client tests: pyftpdlib under the
// system's Python, started as a child process with its own home folder in a
// sandbox, one user with every permission, and a log of every command it received.
// The server is stopped in the destructor; every wait on it is bounded.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/sandbox.h"

namespace zevlon::test {

class FtpServer {
 public:
  enum class Vypis { kMlsd, kUnix, kDos };

  struct Nastaveni {
    Vypis vypis = Vypis::kMlsd;
    // Folders below the home folder that may be listed and read but not written.
    std::vector<std::string> jenProCteni;
    // The server repeats the user name and password in each 5xx reply.
    bool prozrazujeUdaje = false;
    std::string uzivatel = "zevlon";
    std::string heslo = "Tajne-Heslo-7";
  };

  FtpServer();
  explicit FtpServer(Nastaveni nastaveni);
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  int Port() const { return port_; }
  const std::string& Uzivatel() const { return nastaveni_.uzivatel; }
  const std::string& Heslo() const { return nastaveni_.heslo; }

  // Path of a file or folder below the server's home folder (its "/").
  std::string Cesta(std::string_view relativni = {}) const;
  // Writes a file below the home folder (creating its folders); answers its path.
  std::string Zapsat(std::string_view relativni, std::string_view obsah) const;
  std::string Vytvorit(std::string_view relativni) const;  // a folder

  // The commands the server received, one a line ("PASS ***" for the password),
  // with "CONNECT" for each new control connection.
  std::string Log() const;
  // How many log lines are the command `prikaz` (its first word, case ignored).
  int Pocet(std::string_view prikaz) const;
  // The log lines that are the command `prikaz`, in order.
  std::vector<std::string> Prikazy(std::string_view prikaz) const;

 private:
  void Zastavit();

  Nastaveni nastaveni_;
  Sandbox sandbox_;
  pid_t pid_ = -1;
  int vstup_ = -1;  // the server's standard input; closing it ends the server
  int port_ = 0;
};

}  // namespace zevlon::test
