// An update installation, a release and its update site for end-to-end runs of the
// real programs: the publisher writes the site, its server serves it on loopback with
// an access log, and Zevlon runs from a program folder of its own with TEMP and the
// registry file inside the sandbox.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/sandbox.h"

namespace zevlon::test {

struct VysledekProcesu {
  int kod = -1;
  std::string vystup;
};

// Runs a program to its end with stdin from /dev/null, the given variables set
// (NAME=VALUE) and DISPLAY/WAYLAND_DISPLAY removed; collects stdout and stderr.
VysledekProcesu Spustit(const std::vector<std::string>& argv,
                        const std::vector<std::string>& prostredi = {});

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

  VysledekProcesu SpustitZevlon(const std::vector<std::string>& argumenty = {});
  // Starts Zevlon and kills it (SIGKILL) after the given time unless it ended first;
  // answers whether it was killed.
  bool SpustitZevlonAZabit(std::chrono::microseconds po);

  // Request paths served since the last call.
  std::vector<std::string> NovePozadavky();

  std::string Adresa() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
  std::string AdresaWebu() const { return Adresa() + "aktualizace-online/"; }
  std::string Profil() const { return s_ / "data/Firma/"; }
  std::string Program() const { return s_ / "program/"; }
  std::string Temp() const { return s_ / "temp/"; }
  std::string Www() const { return s_ / "www/"; }

 private:
  const Sandbox& s_;
  pid_t server_ = -1;
  int port_ = 0;
  std::size_t precteno_ = 0;
};

}  // namespace zevlon::test
