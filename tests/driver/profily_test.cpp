#include "driver/profily.h"

#include <gtest/gtest.h>

#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

class ProfilyTest : public ::testing::Test {
 protected:
  void SetUp() override { platforma_.registr = s_ / "registry.reg"; }

  // A registry file naming the application folders of the given versions.
  void Registr(const std::string& slozka12, const std::string& slozka14) {
    std::string r = "Windows Registry Editor Version 5.00\r\n\r\n";
    if (!slozka12.empty())
      r += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\12.0\\Aplikace]\r\n\"Slozka_Merka\"=\"" +
           slozka12 + "\"\r\n\r\n";
    if (!slozka14.empty())
      r += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace]\r\n\"Slozka_Merka\"=\"" +
           slozka14 + "\"\r\n";
    s_.Zapsat("registry.reg", r);
  }

  std::string Profil(const std::string& jmeno, const std::string& vydani) {
    std::string slozka = s_.Vytvorit("data/" + jmeno);
    if (!vydani.empty())
      s_.Zapsat("data/" + jmeno + "/Merko.ini", "[Merko]\r\nRelease=" + vydani + "\r\n");
    return slozka;
  }

  static std::vector<std::string> Slozky(const SeznamZaznamuProfilu& l) {
    std::vector<std::string> out;
    for (auto& p : l)
      out.push_back(p.hodnota->SlozkaDat + "|" + p.hodnota->Nazev + "|" + p.hodnota->Vydani);
    return out;
  }

  Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
};

TEST_F(ProfilyTest, OnlyVersion14Installed) {
  std::string a = Profil("a", "20140301");
  Registr("", s_ / "m14");
  s_.Zapsat("m14/Merko.ini", "[Profily]\r\nFirma A=" + a + "\r\n");
  EXPECT_EQ(SlozkaAplikace(kKlicMerko14), s_ / "m14/");
  EXPECT_EQ(Slozky(SeznamProfilu()), (std::vector<std::string>{a + "/|Firma A|20140301"}));
}

TEST_F(ProfilyTest, ProfileListedByBothVersionsIsTakenOnceWithTheNameOf12) {
  std::string a = Profil("a", "20140301");
  std::string b = Profil("b", "");
  std::string c = Profil("c", "20131201");
  Registr(s_ / "m12/", s_ / "m14");
  s_.Zapsat("m12/Merko.ini", "[Profily]\r\nStara A=" + a + "\r\nPrázdný=\r\nB=" + b + "/\r\n");
  s_.Zapsat("m14/Merko.ini", "[Profily]\r\nNova A=" + a + "/\r\nC=" + c + "\r\n");
  EXPECT_EQ(Slozky(SeznamProfilu()),
            (std::vector<std::string>{a + "/|Stara A|20140301", b + "/|B|", c + "/|C|20131201"}));
}

TEST_F(ProfilyTest, NoProfileAnywhereRaises) {
  Registr(s_ / "m12", "");
  s_.Zapsat("m12/Merko.ini", "[Profily]\r\n");
  try {
    SeznamProfilu();
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Popis(), "Nepodařilo se nalézt složku aplikací Dunmor Merko.");
  }
  s_.Zapsat("registry.reg", "nesmysl \x01\x02");
  EXPECT_THROW(SeznamProfilu(), Chyba);
}

TEST_F(ProfilyTest, RegistryValuesAsText) {
  s_.Zapsat("registry.reg",
            "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n\"Cislo\"=dword:00000005\r\n"
            "\"Text\"=\"  /opt/merko  \"\r\n\"Binarni\"=hex:01,02\r\n");
  EXPECT_EQ(CistRegistr(kKoren, "SOFTWARE\\Test", "Cislo"), "5");
  EXPECT_EQ(CistRegistr(kKoren, "software\\test", "TEXT"), "/opt/merko");
  EXPECT_EQ(CistRegistr(kKoren, "SOFTWARE\\Test", "Binarni"), "");
  EXPECT_EQ(CistRegistr(kKoren, "SOFTWARE\\Test", "Chybi"), "");
  EXPECT_EQ(SlozkaAplikace(kKlicMerko12), "");
}

}  // namespace
}  // namespace zevlon
