// The session of the FTP client over libcurl: one easy handle (driven through its own
// multi handle, which keeps the connection cache) from the login to the end of the
// session, so that libcurl keeps the control connection and every operation reuses
// it. Each call answers the platform code of its failure (0 when
// it succeeded) and the server's last reply, already without credentials in it.
//
// Paths given here are absolute and already checked ("/a/b", "/" for the root).
// The client keeps no current folder on the server: every transfer names its
// folder, which libcurl makes current with one CWD (and skips when it is the folder
// of the previous operation). Commands that libcurl does not issue itself (MKD,
// DELE) go as a quote command that is allowed to fail, and their reply code is
// examined here, so that a refused MKD does not cost the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "prenos/ftp/ftp.h"

namespace zevlon {

class CFTPManager::Spojeni {
 public:
  struct Vysledek {
    std::int32_t kod = 0;    // 0, or the platform code of the failure
    std::string odpoved;     // the server's last reply (for 12003)
    bool preruseno = false;  // a reader or writer given here stopped the transfer
    bool Uspech() const { return kod == 0 && !preruseno; }
  };

  struct Udaje {
    std::string server;
    std::uint16_t port = 0;  // 0: the default FTP port
    std::string uzivatel;    // empty: anonymous
    std::string heslo;
    bool pasivni = false;
  };

  // A reader fills the buffer and answers the bytes given, 0 at the end of the
  // data, or kPrerusit to stop the transfer. A writer takes the bytes and answers
  // false to stop. Neither may throw.
  static constexpr std::size_t kPrerusit = static_cast<std::size_t>(-1);
  using Cteni = std::function<std::size_t(char* buffer, std::size_t velikost)>;
  using Zapis = std::function<bool(const char* data, std::size_t velikost)>;

  Spojeni();
  ~Spojeni();
  Spojeni(const Spojeni&) = delete;
  Spojeni& operator=(const Spojeni&) = delete;

  // Connects, logs in and asks for the server's features (FEAT).
  Vysledek Prihlasit(const Udaje& udaje);
  // Changes into the folder on the server (CWD): fails when it does not exist.
  Vysledek OveritSlozku(const std::string& slozka);
  // Sends one command that does not change the current folder; a reply of 400 or
  // above is a failure.
  Vysledek Prikaz(const std::string& prikaz);
  // Commands that belong together (RNFR and RNTO), sent in one go; any refused one fails.
  Vysledek Prikazy(const std::vector<std::string>& prikazy);
  // The raw listing of a folder: MLSD when the server offers it, else LIST.
  Vysledek Vypsat(const std::string& slozka, std::string& data);
  // STOR of the data that the reader gives.
  Vysledek Nahrat(const std::string& soubor, const Cteni& cteni);
  // RETR into the writer.
  Vysledek Stahnout(const std::string& soubor, const Zapis& zapis, const MezeStazeniFtp& meze = {});

  // The folder the server logged us into ("/" when it did not say).
  const std::string& VychoziSlozka() const;
  // Whether listings come as MLSD.
  bool UmiMlsd() const;

 private:
  struct Stav;
  std::unique_ptr<Stav> s_;
};

}  // namespace zevlon
