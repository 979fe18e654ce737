#include "driver/pomucky.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "driver/stav.h"
#include "support/falesne_ui.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

TEST(ExistujeSoubor, WildcardsAndNamesMatchFilesWithoutRegardToCase) {
  Sandbox s;
  s.Zapsat("Aplikace/Moje.Manifest.XML", "x");
  s.Zapsat("Aplikace/.skryty", "x");
  s.Zapsat("Aplikace/bez_tecky", "x");
  s.Vytvorit("Aplikace/slozka.manifest.xml");

  EXPECT_TRUE(ExistujeSoubor(s / "Aplikace/Moje.Manifest.XML"));
  EXPECT_TRUE(ExistujeSoubor(s / "Aplikace/moje.manifest.xml"));
  EXPECT_TRUE(ExistujeSoubor(s / "Aplikace/*.manifest.xml"));
  EXPECT_TRUE(ExistujeSoubor(s / "Aplikace/.skr?ty"));
  EXPECT_TRUE(ExistujeSoubor(s / "Aplikace/bez_*.*"));  // "*.*" also names without a dot
  EXPECT_FALSE(ExistujeSoubor(s / "Aplikace/*.dll"));
  EXPECT_FALSE(ExistujeSoubor(s / "Aplikace/slozka.manifest.xml"));  // a folder is no file
  EXPECT_FALSE(ExistujeSoubor(s / "Chybi/*"));
  EXPECT_FALSE(ExistujeSoubor(s / "Aplikace/"));
  EXPECT_FALSE(ExistujeSoubor(""));

  s.Vytvorit("Prazdna");
  EXPECT_FALSE(ExistujeSoubor(s / "Prazdna/*.*"));
}

TEST(Pomucky, SmallHelpers) {
  EXPECT_EQ(PridatLomitko("/data/profil"), "/data/profil/");
  EXPECT_EQ(PridatLomitko("/data/profil/"), "/data/profil/");
  EXPECT_EQ(PridatLomitko("  "), "  ");
  EXPECT_EQ(PridatLomitko(""), "");
  EXPECT_EQ(OriznoutNaNule(std::string("abc\0def", 7)), "abc");
  EXPECT_EQ(OriznoutNaNule("abc"), "abc");
  EXPECT_TRUE(MaPriznak(0x16, 0x06));
  EXPECT_FALSE(MaPriznak(0x12, 0x06));
  EXPECT_EQ(HodnotaNeboVychozi(std::nullopt, "x"), "x");
  EXPECT_EQ(HodnotaNeboVychozi(std::nullopt), "");
  EXPECT_EQ(HodnotaNeboVychozi(std::string(""), "x"), "");
  KlicovanySeznam<int> l;
  l.Pridat("Klíč", std::make_shared<int>(1));
  EXPECT_TRUE(ObsahujeKlic(l, "KLÍČ"));
  EXPECT_FALSE(ObsahujeKlic(l, "klic"));
}

class IniFunkce : public ::testing::Test {
 protected:
  void SetUp() override { RezimSystem = false; }
  void TearDown() override { RezimSystem = false; }
  Sandbox s_;
  test::FalesneUi ui_;
};

TEST_F(IniFunkce, ReadAndWriteThroughTheProfileFunctions) {
  std::string ini = s_ / "Merko.ini";
  ZapsatIni(ini, "Merko", "Release", "20140331");
  EXPECT_EQ(CistIni(ini, "MERKO", "release"), "20140331");
  EXPECT_EQ(CistIni(ini, "Merko", "Chybi"), "");
  EXPECT_EQ(CistIni(s_ / "neni.ini", "Merko", "Release"), "");
  EXPECT_TRUE(ui_.zpravy.empty());
}

TEST_F(IniFunkce, MissingSectionShowsTheMessageAndReturnsEmpty) {
  std::string ini = s_.Zapsat("Merko.ini", "[]\r\nRelease=1\r\n");
  EXPECT_EQ(CistIni(ini, "", "Release"), "");
  ZapsatIni(ini, "", "Release", "2");
  ASSERT_EQ(ui_.zpravy.size(), 2u);
  EXPECT_EQ(ui_.zpravy[0].text,
            "Program se pokouší přistupovat k INI souboru bez uvedení sekce. Nový formát INI "
            "souboru však zadání sekce vyžaduje. Prosím obraťte se na dodavatele se žádostí o "
            "aktualizaci.");
  EXPECT_EQ(ui_.zpravy[0].styl, mb::kOk | mb::kKriticka | mb::kSystemoveModalni);
  EXPECT_EQ(ui_.zpravy[0].titulek, "Zevlon");
  EXPECT_EQ(s_.Cist("Merko.ini"), "[]\r\nRelease=1\r\n");
}

TEST_F(IniFunkce, ReadOnlyFileShowsTheWriteFailureAndTheCallerGoesOn) {
  std::string obsah = "[Merko]\r\nRelease=1\r\n";
  std::string ini = s_.Zapsat("Merko.ini", obsah);
  ::chmod(ini.c_str(), 0444);
  ZapsatIni(ini, "Merko", "Release", "2");
  ASSERT_EQ(ui_.zpravy.size(), 1u);
  EXPECT_EQ(ui_.zpravy[0].text, "Nelze zapsat do souboru " + ini +
                                    " .\r\nZkontrolujte cestu a oprávnění pro zápis do tohoto "
                                    "souboru.");
  EXPECT_EQ(s_.Cist("Merko.ini"), obsah);

  // Unattended: nothing shown, nothing raised, nothing written.
  RezimSystem = true;
  ZapsatIni(ini, "Merko", "Release", "3");
  EXPECT_EQ(ui_.zpravy.size(), 1u);
  EXPECT_EQ(s_.Cist("Merko.ini"), obsah);
}

TEST_F(IniFunkce, ValueWithLineBreakIsRefusedInsteadOfInjectingKeys) {
  std::string ini = s_.Zapsat("Zevlon.ini", "[Nastaveni]\r\nSlozkaDat=/a/\r\n");
  ZapsatIni(ini, "Nastaveni", "SlozkaDat", "/b/\r\n[Uloha]\r\nID=666");
  ASSERT_EQ(ui_.zpravy.size(), 1u);
  EXPECT_EQ(ui_.zpravy[0].text.rfind("Nelze zapsat do souboru ", 0), 0u);
  EXPECT_EQ(CistIni(ini, "Uloha", "ID"), "");
  EXPECT_EQ(CistIni(ini, "Nastaveni", "SlozkaDat"), "/a/");
}

TEST_F(IniFunkce, FolderWithoutWriteRightRefusesTheWrite) {
  ::chmod(s_.Cesta().c_str(), 0755);
  std::string slozka = s_.Vytvorit("profil");
  std::string ini = s_.Zapsat("profil/Merko.ini", "[Merko]\r\nRelease=1\r\n");
  test::PredatNeprivilegovanemu(ini);
  ::chmod(slozka.c_str(), 0555);
  auto v = test::SpustitNeprivilegovane({"inizapis", ini, "Merko", "Release", "2"});
  EXPECT_EQ(v.vystup, "0\n");
  EXPECT_EQ(s_.Cist("profil/Merko.ini"), "[Merko]\r\nRelease=1\r\n");
}

TEST_F(IniFunkce, SectionKeyNamesFirstOccurrenceWins) {
  std::string ini = s_.Zapsat("Merko.ini",
                              "[Profily]\r\nFirma A=/data/a\r\nbez rovnitka\r\n=/jen/hodnota\r\n"
                              "FIRMA a=/data/jina\r\n Firma B = /data/b \r\n[Jine]\r\nX=1\r\n");
  auto klice = CistSekciIni(ini, "profily");
  ASSERT_TRUE(klice.has_value());
  std::vector<std::string> nazvy;
  for (auto& k : *klice)
    nazvy.push_back(*k.hodnota);
  EXPECT_EQ(nazvy, (std::vector<std::string>{"Firma A", "Firma B"}));
  EXPECT_TRUE(CistSekciIni(ini, "Chybi")->Prazdny());
  EXPECT_TRUE(CistSekciIni(s_ / "neni.ini", "Profily")->Prazdny());
}

TEST(ZobrazChybu, ButtonsAndIconFollowTheErrorNumber) {
  test::FalesneUi ui;
  ui.odpovedi = {mb::kIdOpakovat, mb::kIdOk};
  EXPECT_EQ(ZobrazChybu(Chyba(75, "Chyba přístupu")), mb::kIdOpakovat);
  EXPECT_EQ(ZobrazChybu(Chyba(static_cast<std::int32_t>(0xBFFE0000u), "Varování")), mb::kIdOk);
  ASSERT_EQ(ui.zpravy.size(), 2u);
  EXPECT_EQ(ui.zpravy[0].styl, mb::kOpakovatStorno | mb::kKriticka | mb::kSystemoveModalni);
  EXPECT_EQ(ui.zpravy[1].styl, mb::kOk | mb::kVykricnik | mb::kSystemoveModalni);
  EXPECT_EQ(ui.zpravy[1].text, "Varování");
}

}  // namespace
}  // namespace zevlon
