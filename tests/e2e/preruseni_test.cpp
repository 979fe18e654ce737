// A run killed at any moment never leaves a live folder missing or half renewed, and
// the next run completes the update.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>

#include "support/demo_web.h"
#include "support/sandbox.h"

namespace fs = std::filesystem;

namespace zevlon {
namespace {

using test::Sandbox;
using Obsah = std::map<std::string, std::string>;

// The files below a folder with their contents; no value when the folder is missing.
std::optional<Obsah> Slozka(const std::string& cesta) {
  if (!fs::is_directory(cesta)) return std::nullopt;
  Obsah o;
  for (const auto& e : fs::recursive_directory_iterator(cesta))
    if (e.is_regular_file())
      o[fs::relative(e.path(), cesta).string()] = test::CistSoubor(e.path().string());
  return o;
}

class Preruseni : public ::testing::Test {
 protected:
  static constexpr int kSouboru = 40;

  // The installation of the old release, laid out anew.
  void Instalace() {
    fs::remove_all(web_.Profil());
    web_.Instalace("Merko.ini", "[Merko]\r\nRelease=20140301\r\n");
    for (int i = 0; i < kSouboru; ++i)
      web_.Instalace("Setup/Merko/m" + std::to_string(i % 10) + "/f" + std::to_string(i) + ".dll",
                     "stará " + std::to_string(i));
    web_.Instalace("Setup/Setup.exe", "stary instalator");
    web_.Instalace("SetupCommon/System/s.dll", "stará společná");
    web_.Instalace("Setup/Upravy/Doplnky/F/f.dll", "stará fakturace");
  }

  void SetUp() override {
    for (int i = 0; i < kSouboru; ++i)
      web_.Vydani("Setup/Merko/m" + std::to_string(i % 10) + "/f" + std::to_string(i) + ".dll",
                  "nová " + std::to_string(i) + std::string(2000, 'x'));
    web_.Vydani("Setup/Setup.exe", "novy instalator");
    web_.Vydani("SetupCommon/System/s.dll", "nová společná");
    web_.Vydani("Upravy/Doplnky/F/f.dll", "nová fakturace");
    web_.Publikovat("20141231");
    web_.PripravitProgram();
    Instalace();
    stare_ = {*Slozka(web_.Profil() + "Setup/Merko"), *Slozka(web_.Profil() + "SetupCommon"),
              *Slozka(web_.Profil() + "Setup/Upravy")};
    // The new content, from a complete run; the run's length from the shorter of two.
    for (int i = 0; i < 2; ++i) {
      if (i > 0) Instalace();
      auto t0 = std::chrono::steady_clock::now();
      EXPECT_EQ(web_.SpustitZevlon().kod, 0);
      auto t = std::chrono::duration_cast<std::chrono::microseconds>(
          std::chrono::steady_clock::now() - t0);
      doba_ = i == 0 ? t : std::min(doba_, t);
    }
    nove_ = {*Slozka(web_.Profil() + "Setup/Merko"), *Slozka(web_.Profil() + "SetupCommon"),
             *Slozka(web_.Profil() + "Setup/Upravy")};
    ASSERT_NE(stare_[0], nove_[0]);
  }

  Sandbox s_;
  test::DemoWeb web_{s_};
  std::array<Obsah, 3> stare_, nove_;
  std::chrono::microseconds doba_{};
};

TEST_F(Preruseni, KillAtTwentyFiveMomentsLeavesOldOrNewAndTheNextRunFinishes) {
  const char* slozky[] = {"Setup/Merko", "SetupCommon", "Setup/Upravy"};
  int zabito = 0;
  for (int k = 1; k <= 25; ++k) {
    Instalace();
    // Spread over the whole run.
    bool zabit = web_.SpustitZevlonAZabit(doba_ * k / 26);
    zabito += zabit ? 1 : 0;
    for (int i = 0; i < 3; ++i) {
      auto o = Slozka(web_.Profil() + slozky[i]);
      ASSERT_TRUE(o.has_value()) << slozky[i] << " missing after a kill at " << k;
      EXPECT_TRUE(*o == stare_[i] || *o == nove_[i]) << slozky[i] << " mixed after a kill at " << k;
    }
    auto v = web_.SpustitZevlon();
    ASSERT_EQ(v.kod, 0) << "the run after a kill at " << k << ": " << v.vystup;
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(*Slozka(web_.Profil() + slozky[i]), nove_[i]) << k;
  }
  // Most kills land in a live run; a busy machine may stretch or shorten a few runs.
  EXPECT_GE(zabito, 13);
}

}  // namespace
}  // namespace zevlon
