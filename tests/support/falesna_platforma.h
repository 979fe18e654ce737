// A platform whose user, computer, program file, temp folder, registry file and clock
// a test sets; installed for the lifetime of the object.
#pragma once

#include <optional>
#include <string>

#include "platform/platforma.h"

namespace zevlon::test {

class FalesnaPlatforma : public Platforma {
 public:
  FalesnaPlatforma() { NastavitPlatformu(this); }
  ~FalesnaPlatforma() override { NastavitPlatformu(nullptr); }

  std::string JmenoUzivatele() override { return uzivatel; }
  std::string JmenoPocitace() override { return pocitac; }
  std::string SlozkaTemp() override { return temp; }
  std::string CestaProgramu() override { return program; }
  std::string CestaRegistru() override { return registr; }
  Okamzik Ted() override { return ted ? *ted : Platforma::Ted(); }

  std::string uzivatel = "tester";
  std::string pocitac = "pocitac";
  std::string temp = "/tmp";
  std::string program = "/nonexistent/Zevlon";
  std::string registr = "/nonexistent/registry.reg";
  std::optional<Okamzik> ted;
};

}  // namespace zevlon::test
