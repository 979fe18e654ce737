// An update installation, a release and its update site for end-to-end runs of the
// real programs: the publisher writes the site, its server serves it on loopback with
// an access log, and Zevlon runs from a program folder of its own with TEMP and the
// registry file inside the sandbox.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon::test {

class DemoWeb {
 public:
  explicit DemoWeb(const Sandbox& s);
  ~DemoWeb();

  // Writes a file of the release folder (path below "vydani/").
  void Vydani(const std::string& cesta, const std::string& obsah);
  // Publishes the release folder; extra arguments go to the publisher.
  void Publikovat(const std::string& vydani, const std::vector<std::string>& dalsi = {});

  // Writes a file of the installation (path below the profile folder "data/Firma/"),
  // dated 1 March 2014.
  void Instalace(const std::string& cesta, const std::string& obsah);
  // Lays out the registry, the suite INI and the program folder with Zevlon.ini.
  void PripravitProgram();

  // Runs Zevlon to its end, behind the given command (such as setpriv) when one is given.
  VysledekProcesu SpustitZevlon(const std::vector<std::string>& argumenty = {},
                                const std::vector<std::string>& pred = {});
  // Starts Zevlon and kills it (SIGKILL) after the given time unless it ended first;
  // answers whether it was killed.
  bool SpustitZevlonAZabit(std::chrono::microseconds po);

  // Request paths served since the last call.
  std::vector<std::string> NovePozadavky();
  // Whether a sibling folder of a run ("...dwnld_...") is left anywhere in the sandbox.
  bool ZbylySourozenci() const;

  std::string Adresa() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
  std::string AdresaWebu() const { return Adresa() + "aktualizace-online/"; }
  std::string Profil() const { return s_ / "data/Firma/"; }
  std::string Program() const { return s_ / "program/"; }
  std::string Temp() const { return s_ / "temp/"; }

 private:
  std::vector<std::string> ProstrediZevlonu() const;

  const Sandbox& s_;
  pid_t server_ = -1;
  int port_ = 0;
  std::size_t precteno_ = 0;
};

}  // namespace zevlon::test
