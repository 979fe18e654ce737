#include "driver/pomucky.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/pravo.h"
#include "driver/stav.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

TEST(Pomucky, ExistujeSouborMatchesFilesOnlyWithWildcardsAndWithoutRegardToCase) {
  Sandbox s;
  s.Zapsat("Aplikace/Moje.Manifest.XML", "x");
  s.Zapsat("Aplikace/.skryty", "x");
  s.Zapsat("Aplikace/bez_tecky", "x");
  s.Vytvorit("Aplikace/slozka.manifest.xml");
  s.Vytvorit("Prazdna");
  // "*.*" also names without a dot; a folder is no file.
  for (const char* c : {"Aplikace/Moje.Manifest.XML", "Aplikace/moje.manifest.xml",
                        "Aplikace/*.manifest.xml", "Aplikace/.skr?ty", "Aplikace/bez_*.*"})
    EXPECT_TRUE(ExistujeSoubor(s / c)) << c;
  for (const char* c :
       {"Aplikace/*.dll", "Aplikace/slozka.manifest.xml", "Chybi/*", "Aplikace/", "Prazdna/*.*"})
    EXPECT_FALSE(ExistujeSoubor(s / c)) << c;
  EXPECT_FALSE(ExistujeSoubor(""));

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
  void TearDown() override { RezimSystem = false; }
  Sandbox s_;
  test::FalesneUi ui_;
};

TEST_F(IniFunkce, ReadWriteAndTheSectionsKeyNames) {
  std::string ini = s_ / "Merko.ini";
  ZapsatIni(ini, "Merko", "Release", "20140331");
  EXPECT_EQ(CistIni(ini, "MERKO", "release"), "20140331");
  EXPECT_EQ(CistIni(ini, "Merko", "Chybi"), "");

  s_.Zapsat("Profily.ini",
            "[Profily]\r\nFirma A=/data/a\r\nbez rovnitka\r\n=/jen/hodnota\r\n"
            "FIRMA a=/data/jina\r\n Firma B = /data/b \r\n[Jine]\r\nX=1\r\n");
  auto klice = CistSekciIni(s_ / "Profily.ini", "profily");
  ASSERT_TRUE(klice.has_value());
  std::vector<std::string> nazvy;
  for (auto& k : *klice)
    nazvy.push_back(*k.hodnota);
  EXPECT_EQ(nazvy, (std::vector<std::string>{"Firma A", "Firma B"}));  // first occurrence wins
  EXPECT_TRUE(CistSekciIni(s_ / "neni.ini", "Profily")->Prazdny());
  EXPECT_TRUE(ui_.zpravy.empty());
}

TEST_F(IniFunkce, MissingSectionAndFailedWritesShowTheirMessageAndTheCallerGoesOn) {
  const std::string obsah = "[]\r\nRelease=1\r\n";
  std::string ini = s_.Zapsat("Merko.ini", obsah);
  EXPECT_EQ(CistIni(ini, "", "Release"), "");
  ZapsatIni(ini, "", "Release", "2");
  ASSERT_EQ(ui_.zpravy.size(), 2u);
  EXPECT_EQ(ui_.zpravy[1].text,
            "Program se pokouší přistupovat k INI souboru bez uvedení sekce. Nový formát INI "
            "souboru však zadání sekce vyžaduje. Prosím obraťte se na dodavatele se žádostí o "
            "aktualizaci.");
  EXPECT_EQ(ui_.zpravy[1].styl, mb::kOk | mb::kKriticka | mb::kSystemoveModalni);
  EXPECT_EQ(ui_.zpravy[1].titulek, "Zevlon");

  ::chmod(ini.c_str(), 0444);
  ZapsatIni(ini, "Merko", "Release", "2");
  ASSERT_EQ(ui_.zpravy.size(), 3u);
  EXPECT_EQ(ui_.zpravy[2].text, "Nelze zapsat do souboru " + ini +
                                    " .\r\nZkontrolujte cestu a oprávnění pro zápis do tohoto "
                                    "souboru.");
  RezimSystem = true;  // unattended: nothing shown, nothing raised, nothing written
  ZapsatIni(ini, "Merko", "Release", "3");
  EXPECT_EQ(ui_.zpravy.size(), 3u);
  EXPECT_EQ(s_.Cist("Merko.ini"), obsah);
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

TEST(MaPravoAktualizovat, WritableFolderAnswersTrueAndNeverLeavesOrFollowsTheMarker) {
  Sandbox s;
  const std::string slozka = s.Vytvorit("Setup") + "/", znacka = slozka + "~pravo.aktualizovat";
  EXPECT_TRUE(MaPravoAktualizovat(slozka));
  EXPECT_FALSE(test::Existuje(znacka));
  s.Zapsat("Setup/~pravo.aktualizovat", "stary");  // left by an earlier run: replaced, removed
  EXPECT_TRUE(MaPravoAktualizovat(slozka));
  EXPECT_FALSE(test::Existuje(znacka));
  std::string cizi = s.Zapsat("cizi.txt", "nedotknutelne");
  ASSERT_EQ(::symlink(cizi.c_str(), znacka.c_str()), 0);
  EXPECT_TRUE(MaPravoAktualizovat(slozka));
  EXPECT_EQ(s.Cist("cizi.txt"), "nedotknutelne");
  EXPECT_FALSE(test::Existuje(znacka));
  EXPECT_FALSE(MaPravoAktualizovat(s / "neni/"));
}

TEST(MaPravoAktualizovat, FolderWithoutWriteRightOrAForeignMarkerAnswersFalse) {
  Sandbox s;
  ::chmod(s.Cesta().c_str(), 0755);
  std::string slozka = s.Vytvorit("Setup");
  ::chmod(slozka.c_str(), 0555);
  EXPECT_EQ(test::SpustitNeprivilegovane({"pravo", slozka + "/"}).vystup, "0\n");
  EXPECT_FALSE(test::Existuje(slozka + "/~pravo.aktualizovat"));
  // The same folder made writable for that user answers true: the refusal above came
  // from the rights, not from the helper.
  test::PredatNeprivilegovanemu(slozka);
  ::chmod(slozka.c_str(), 0755);
  EXPECT_EQ(test::SpustitNeprivilegovane({"pravo", slozka + "/"}).vystup, "1\n");

  // A sticky folder everybody may write, holding a marker owned by somebody else.
  if (::geteuid() != 0) GTEST_SKIP() << "needs a second user to own the marker";
  std::string lepkava = s.Vytvorit("Lepkava");
  ::chmod(lepkava.c_str(), 01777);
  s.Zapsat("Lepkava/~pravo.aktualizovat", "cizi");
  EXPECT_EQ(test::SpustitNeprivilegovane({"pravo", lepkava + "/"}).vystup, "0\n");
  EXPECT_EQ(s.Cist("Lepkava/~pravo.aktualizovat"), "cizi");
}

TEST(JmenoUzivatele, NamesAreCleanedUpAndTheSuperuserFromCronIsTheSystemAccount) {
  test::FalesnaPlatforma p;
  p.uzivatel = std::string(" Jana \0xyz", 10);
  EXPECT_EQ(JmenoUzivatele(), "Jana");
  p.uzivatel = "";
  EXPECT_EQ(JmenoUzivatele(), "Beze jména");
  p.pocitac = "  ";
  EXPECT_EQ(JmenoPocitace(), "Beze jména");
  p.pocitac = "stanice-7";
  EXPECT_EQ(JmenoPocitace(), "stanice-7");
  // The real account as the helper process sees it.
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser";
  EXPECT_EQ(test::SpustitPomocnika({"uzivatel"}, {"DISPLAY=", "WAYLAND_DISPLAY="}).vystup,
            "System\n");
  EXPECT_EQ(test::SpustitPomocnika({"uzivatel"}, {"DISPLAY=:0"}).vystup, "root\n");
  EXPECT_EQ(test::SpustitNeprivilegovane({"uzivatel"}, {"DISPLAY=", "WAYLAND_DISPLAY="}).vystup,
            "nobody\n");
}

}  // namespace
}  // namespace zevlon
