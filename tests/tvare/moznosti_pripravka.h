// The world of the options window for a test: a suite with two profiles, the program in a folder of
// its own and the scheduler working in the sandbox. Shared by the tests of the model and of the
// window.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/nahrady/ini.h"
#include "platform/planovani/planovac.h"
#include "rozhrani/stav.h"
#include "support/falesna_platforma.h"
#include "support/sandbox.h"

namespace zevlon::test {

class MoznostiPripravka : public ::testing::Test {
 protected:
  void SetUp() override {
    RezimSystem = false;
    platforma_.program = s_.Zapsat("program/Zevlon", "#!program");
    platforma_.temp = s_.Vytvorit("temp");
    platforma_.registr = s_.Zapsat(
        "registry.reg",
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace]\r\n"
        "\"Slozka_Merka\"=\"" +
            s_ / "m14" + "\"\r\n");
    s_.Zapsat("m14/Merko.ini", "[Profily]\r\nA=" + firmaA_ + "\r\nB=" + firmaB_ + "\r\n");
    NastavitPlanovac(&planovac_);
  }
  void TearDown() override { NastavitPlanovac(nullptr); }

  std::string Ini() const { return s_ / "program/Zevlon.ini"; }
  std::vector<std::string> Sekce(const std::string& sekce) const {
    return ini::CistSekci(Ini(), sekce).value_or(std::vector<std::string>{"<žádná sekce>"});
  }
  std::set<std::string> Ulohy() const {
    std::set<std::string> jmena;
    for (const auto& polozka : std::filesystem::directory_iterator(cron_))
      jmena.insert(polozka.path().filename());
    return jmena;
  }
  // The job line of a registered job.
  std::string Cron(int cislo) const {
    return Rozdelit(s_.Cist("cron/zevlon-" + std::to_string(cislo)), '\n').at(1);
  }

  Sandbox s_;
  FalesnaPlatforma platforma_;
  std::string cron_ = s_.Vytvorit("cron");
  Planovac planovac_{cron_};
  std::string firmaA_ = s_.Vytvorit("data/A") + "/", firmaB_ = s_.Vytvorit("data/B") + "/";
  // Root's job: the program after its random delay (NahodneZpozdeni, 30 minutes unless set).
  const std::string spusteni_ = "root '" + s_ / "program/Zevlon" + "' --zpozdeni 30";
};

}  // namespace zevlon::test
