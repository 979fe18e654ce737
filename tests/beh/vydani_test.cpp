#include "beh/vydani.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "soubory/pomoc_operaci.h"
#include "support/falesna_platforma.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

TEST(PorovnatVydani, LeadingNumberWithBlanksSkippedAndOneDecimalPoint) {
  // A second "." ends the number; long numbers compare exactly.
  using Dvojice = std::pair<const char*, const char*>;
  for (const auto& [a, b] : {Dvojice{"20140331a", "20140331"},
                             {"12.50", "12.5"},
                             {"1.2.3", "1.2"},
                             {" 2014\t03\n31", "20140331"},
                             {"abc", "0"},
                             {"007", "7"}})
    EXPECT_EQ(PorovnatVydani(a, b), 0) << a << " = " << b;
  for (const auto& [a, b] : {Dvojice{"20140331", "20140301"},
                             {"12.5", "12.10"},
                             {"1", "abc"},
                             {"0.1", "0"},
                             {"99999999999999999999", "99999999999999999998"}}) {
    EXPECT_EQ(PorovnatVydani(a, b), 1) << a << " > " << b;
    EXPECT_EQ(PorovnatVydani(b, a), -1) << b << " < " << a;
  }
}

// The release notes' address from the release information: absolute http or https only.
TEST(OdkazZmen, OnlyAnAbsoluteHttpOrHttpsAddressIsTaken) {
  test::Sandbox s;
  for (auto [hodnota, prijata] : {std::pair{"https://www.dunmor.invalid/zmeny?v=2015", true},
                                  {"HTTP://x/y", true},
                                  {"  http://x/y\t", true},
                                  {"ftp://x/y", false},
                                  {"javascript:alert(1)", false},
                                  {"file:///etc/passwd", false},
                                  {"/relativni/adresa", false},
                                  {"http:///x", false},
                                  {"http://x/a b", false},
                                  {"", false}}) {
    const std::string ini =
        s.Zapsat("download.ini", std::string("[Merko]\r\nUrlZmen=") + hodnota + "\r\n");
    const std::optional<std::string> odkaz = OdkazZmen(ini);
    EXPECT_EQ(odkaz.has_value(), prijata) << hodnota;
    if (odkaz) {
      EXPECT_EQ(*odkaz, std::string(Orezat(hodnota, " \t")));
    }
  }
}

class ProfilyTest : public ::testing::Test {
 protected:
  void SetUp() override { platforma_.registr = s_ / "registry.reg"; }
  void TearDown() override { RezimSystem = false; }

  // The registry names the application folder of one version, whose INI lists the
  // profiles (folders data/<name>, each with its release; "" for none).
  void Instalace(const char* verze, const std::vector<std::pair<std::string, std::string>>& p) {
    std::string m = std::string("m") + verze, ini = "[Profily]\r\n";
    s_.Zapsat("registry.reg",
              std::string("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\") + verze +
                  ".0\\Aplikace]\r\n\"Slozka_Merka\"=\"" + (s_ / m) + "\"\r\n");
    for (const auto& [jmeno, vydani] : p) {
      s_.Zapsat("data/" + jmeno + "/Merko.ini",
                vydani.empty() ? "" : "[Merko]\r\nRelease=" + vydani + "\r\n");
      ini += jmeno + "=" + Data(jmeno) + "\r\n";
    }
    s_.Zapsat(m + "/Merko.ini", ini);
  }
  std::string Data(const std::string& jmeno) const { return s_ / ("data/" + jmeno); }
  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
};

TEST_F(ProfilyTest, ChoiceReportsCurrentAndNewerProfilesAndOffersOlderOnes) {
  Instalace(
      "12",
      {{"Aktualni", "20140331"}, {"Novy", "20150101"}, {"BezVydani", ""}, {"Stary", "20140301"}});
  ui_.odpovediVoleb = {2, 1};  // Ne for the profile without a release, Ano for the old one
  VolbaProfilu v = VybratProfil("20140331");
  EXPECT_EQ(v.druh, VolbaProfilu::Druh::kSlozka);
  EXPECT_EQ(v.slozka, Data("Stary/"));
  ASSERT_EQ(ui_.zpravy.size(), 2u);  // the current and the newer profile are reported
  EXPECT_EQ(ui_.zpravy[1].text,
            "Vydání v profilu Novy je novější než vydání na internetu. \r\nVydání v profilu: "
            "20150101\r\nNa internetu je vydání: 20140331");
  ASSERT_EQ(ui_.volby.size(), 2u);
  EXPECT_EQ(ui_.volby[1].zprava,
            "Aktualizovat Merko v profilu Stary?@Vydání v profilu 20140301. Na internetu je "
            "vydání 20140331.");

  ui_.odpovediVoleb = {2, 2};
  EXPECT_EQ(VybratProfil("20140331").druh, VolbaProfilu::Druh::kZadna);
  ui_.odpovediVoleb = {0};  // the dialog closed
  EXPECT_EQ(VybratProfil("20140331").druh, VolbaProfilu::Druh::kZruseno);
  EXPECT_EQ(ui_.volby.size(), 5u);
  RezimSystem = true;  // unattended runs never pick,
  EXPECT_EQ(VybratProfil("20140331").druh, VolbaProfilu::Druh::kZadna);
  EXPECT_EQ(ui_.volby.size(), 5u);
}

TEST_F(ProfilyTest, DataStructureWarningOnlyForOlderProfilesAndAttendedRuns) {
  Instalace("12", {{"P", "20140101"}});
  std::string ini = s_.Zapsat(
      "download.ini", "[Merko]\r\nRelease=20140331\r\nReleaseZmenyDat=20140201\r\nSlozkaProfilu=" +
                          Data("P/") + "\r\n");
  ui_.odpovedi = {mb::kIdNe, mb::kIdAno};
  EXPECT_FALSE(VarovaniZmenyDat(ini));
  EXPECT_TRUE(VarovaniZmenyDat(ini));
  EXPECT_NE(ui_.zpravy.at(0).text.find("obsahuje změnu datové struktury"), std::string::npos);
  RezimSystem = true;
  EXPECT_TRUE(VarovaniZmenyDat(ini));  // unattended runs ask nothing
  RezimSystem = false;
  s_.Zapsat("data/P/Merko.ini", "[Merko]\r\nRelease=20140201\r\n");  // already at the change
  EXPECT_TRUE(VarovaniZmenyDat(ini));
  EXPECT_EQ(ui_.zpravy.size(), 2u);
}

}  // namespace
}  // namespace zevlon
