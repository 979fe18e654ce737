// A platform whose user, computer, program file, temp folder, registry file and clock
// a test sets; installed for the lifetime of the object.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/nahrady/platforma.h"

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
  // The packaged build's places, when a test sets them; otherwise those of this build.
  bool ZBalicku() override { return balicek; }
  std::string SlozkaVoleb() override { return voleb ? *voleb : Platforma::SlozkaVoleb(); }
  std::string SlozkaLogu() override { return logy ? *logy : Platforma::SlozkaLogu(); }
  std::string SlozkaZamku() override { return zamek ? *zamek : Platforma::SlozkaZamku(); }
  std::string SlozkaZaznamu() override { return zaznamy ? *zaznamy : Platforma::SlozkaZaznamu(); }
  Okamzik Ted() override { return ted ? *ted : Platforma::Ted(); }
  // A clock that moves only when the program sleeps.
  std::chrono::steady_clock::time_point Monotonni() override { return monotonni; }
  void Uspat(std::chrono::milliseconds doba) override {
    monotonni += doba;
    ++uspani;
  }
  bool JePripojeno(const std::string& hostitel) override {
    dotazyNaPripojeni.push_back(hostitel);
    return pripojeno;
  }
  std::error_code SpustitProces(const std::string& program,
                                const std::vector<std::string>& argumenty) override {
    spusteno.push_back({program, argumenty});
    return chybaSpusteni;
  }
  std::error_code SpustitNaTerminalu(const std::string& program,
                                     const std::vector<std::string>& argumenty) override {
    spustenoNaTerminalu.push_back({program, argumenty});
    return chybaSpusteni;
  }

  std::string uzivatel = "tester";
  std::string pocitac = "pocitac";
  std::string temp = "/tmp";
  std::string program = "/nonexistent/Zevlon";
  std::string registr = "/nonexistent/registry.reg";
  std::optional<Okamzik> ted;
  bool balicek = false;
  std::optional<std::string> voleb, logy, zamek, zaznamy;
  std::chrono::steady_clock::time_point monotonni{};
  int uspani = 0;
  bool pripojeno = true;
  std::error_code chybaSpusteni;  // what starting a program answers
  std::vector<std::string> dotazyNaPripojeni;
  std::vector<std::pair<std::string, std::vector<std::string>>> spusteno;
  std::vector<std::pair<std::string, std::vector<std::string>>> spustenoNaTerminalu;
};

}  // namespace zevlon::test
