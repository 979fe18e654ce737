// A real FTP server on loopback for the FTP client tests: pyftpdlib under the
// system's Python, a child process with its home folder in a sandbox, one user with
// every permission, and a log of the commands it received. Stopped by the destructor.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/sandbox.h"
#include "transfer/ftp.h"

namespace zevlon::test {

class FtpServer {
 public:
  enum class Vypis { kMlsd, kUnix, kDos };

  struct Nastaveni {
    Vypis vypis = Vypis::kMlsd;
    std::vector<std::string> jenProCteni = {};  // folders below home that cannot be written
    bool prozrazujeUdaje = false;               // each 5xx reply repeats the user name and password
    std::string uzivatel = "zevlon";
    std::string heslo = "Tajne-Heslo-7";
  };

  FtpServer() : FtpServer(Nastaveni{}) {}
  explicit FtpServer(Nastaveni nastaveni);
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  int Port() const { return port_; }
  const std::string& Uzivatel() const { return nastaveni_.uzivatel; }
  const std::string& Heslo() const { return nastaveni_.heslo; }
  // Points an FTP client at this server, in passive or active mode.
  void Nastavit(CFTPManager& ftp, bool pasivni) const {
    ftp.URL = "127.0.0.1";
    ftp.Port = std::to_string(port_);
    ftp.Uzivatel = nastaveni_.uzivatel;
    ftp.Heslo = nastaveni_.heslo;
    ftp.PasivniRezim = pasivni;
  }

  // A path below the server's home folder (its "/"); a file written or a folder
  // created there.
  std::string Cesta(std::string_view relativni = {}) const {
    return sandbox_ / "home" + (relativni.empty() ? "" : "/" + std::string(relativni));
  }
  std::string Zapsat(std::string_view relativni, std::string_view obsah) const {
    return sandbox_.Zapsat("home/" + std::string(relativni), obsah);
  }
  std::string Vytvorit(std::string_view relativni) const {
    return sandbox_.Vytvorit("home/" + std::string(relativni));
  }

  // The commands received, one a line as "COMMAND argument" ("PASS ***" for the
  // password), and "CONNECT" for each new control connection.
  std::string Log() const { return Existuje(sandbox_ / "ftp.log") ? sandbox_.Cist("ftp.log") : ""; }
  // The log lines of the command `prikaz` (upper case), and their number.
  std::vector<std::string> Prikazy(std::string_view prikaz) const;
  int Pocet(std::string_view prikaz) const { return static_cast<int>(Prikazy(prikaz).size()); }

 private:
  Nastaveni nastaveni_;
  Sandbox sandbox_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace zevlon::test
