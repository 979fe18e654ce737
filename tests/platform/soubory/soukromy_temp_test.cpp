#include "platform/soubory/soukromy_temp.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "common/chyba.h"
#include "soubory/pomoc_operaci.h"
#include "support/falesna_platforma.h"
#include "support/neprivilegovany.h"

namespace fs = std::filesystem;

namespace zevlon {
namespace {

const std::string kVlastni = "zevlon-" + std::to_string(::geteuid());

class SoukromyTempTest : public ::testing::Test {
 protected:
  // A folder of the sandbox with the given mode (umask aside).
  std::string Slozka(const std::string& jmeno, mode_t rezim) {
    std::string p = s_.Vytvorit(jmeno);
    ::chmod(p.c_str(), rezim);
    return p;
  }
  static std::string Popis(const std::string& cesta) {
    struct stat st = test::Stav(cesta);
    return std::to_string(st.st_uid) + " " + std::to_string(st.st_mode & 07777) +
           (S_ISDIR(st.st_mode) ? " /" : "");
  }
  // A fresh folder beside the taken private one: its name, the user's alone.
  void JeNahradni(const SoukromyTemp& t, const std::string& temp) {
    EXPECT_TRUE(t.nahradni);
    EXPECT_TRUE(std::regex_match(t.slozka, std::regex(temp + "/" + kVlastni + "\\.[A-Za-z0-9]{6}")))
        << t.slozka;
    EXPECT_EQ(Popis(t.slozka), std::to_string(::geteuid()) + " 448 /");
    EXPECT_TRUE(JeNahradniSlozka(t.slozka, temp));
    EXPECT_TRUE(fs::is_empty(t.slozka));
  }
  std::string Chyba(const std::string& temp) {
    return test::ZachytitChybu([&] { ZvolitSoukromyTemp(temp); }).Popis();
  }

  test::Sandbox s_;
};

TEST_F(SoukromyTempTest, PrivateTempIsUsedAsItIsAndAStickyOneGetsTheUsersOwnSubfolder) {
  for (mode_t rezim : {0700, 0755}) {
    const std::string t = Slozka("soukroma" + std::to_string(rezim), rezim);
    const SoukromyTemp v = ZvolitSoukromyTemp(t + "/");
    EXPECT_EQ(v.slozka, t);
    EXPECT_FALSE(v.nahradni);
    EXPECT_TRUE(fs::is_empty(t));
  }

  // Sticky and open to all (as /tmp): the subfolder, made 0700, then found again.
  const std::string t = Slozka("tmp", 01777);
  for (int beh = 0; beh < 2; ++beh) {
    const SoukromyTemp v = ZvolitSoukromyTemp(t);
    EXPECT_EQ(v.slozka, t + "/" + kVlastni);
    EXPECT_FALSE(v.nahradni);
    EXPECT_EQ(Popis(v.slozka), std::to_string(::geteuid()) + " 448 /");
  }
  EXPECT_FALSE(JeNahradniSlozka(t + "/" + kVlastni, t));

  // The user's own folder that the group may write, but sticky: the subfolder as well.
  const std::string skupina = Slozka("skupina", 01775);
  EXPECT_EQ(ZvolitSoukromyTemp(skupina).slozka, skupina + "/" + kVlastni);

  // A link to a private folder is not used as it is: the subfolder lies in its target.
  const std::string cil = Slozka("cil", 0755);
  fs::create_directory_symlink(cil, s_ / "odkaz");
  EXPECT_EQ(ZvolitSoukromyTemp(s_ / "odkaz").slozka, cil + "/" + kVlastni);
}

// A temp folder others may write without the sticky bit, or another user's (sticky or
// not), is refused and left empty; so is one that is missing or no folder.
TEST_F(SoukromyTempTest, TempThatOthersMayWriteOrChangeIsRefusedAndAMissingOneToo) {
  const std::string t = Slozka("otevrena", 0775);
  EXPECT_EQ(Chyba(t), "Dočasnou složku " + t +
                          " nelze bezpečně použít, protože do ní mohou zapisovat i jiní "
                          "uživatelé. Nastavte proměnnou TEMP na složku, do které smí "
                          "zapisovat jen uživatel, pod kterým program běží, nebo na složku "
                          "s nastaveným příznakem sticky (jako je /tmp).");
  for (mode_t rezim : {0757, 0755, 01777}) {
    const std::string cizi = Slozka("cizi" + std::to_string(rezim), rezim);
    if (rezim != 0757) {
      if (::geteuid() != 0) continue;  // another user's folder needs root to lay out
      test::PredatNeprivilegovanemu(cizi);
    }
    EXPECT_NE(Chyba(cizi).find(" nelze bezpečně použít"), std::string::npos) << rezim;
  }
  for (const std::string& p : {t, s_ / "cizi0757", s_ / "cizi01777"})
    EXPECT_TRUE(!fs::exists(p) || fs::is_empty(p)) << p;
  EXPECT_EQ(Chyba(s_ / "chybi"), "Dočasná složka " + (s_ / "chybi") + " neexistuje.");
  s_.Zapsat("soubor", "x");
  EXPECT_EQ(Chyba(s_ / "soubor"), "Dočasná složka " + (s_ / "soubor") + " neexistuje.");
}

// Whatever stands under the subfolder's name and is not the user's private folder is
// left alone: the run gets a fresh folder beside it. (Another user's link or open folder
// there is laid by the attacker of the end-to-end tests.)
TEST_F(SoukromyTempTest, TakenSubfolderNameGivesAFreshFolderAndIsLeftAlone) {
  const std::string t = Slozka("tmp", 01777);
  const std::string vlastni = t + "/" + kVlastni;
  const std::string jinde = Slozka("jinde", 0755), ja = std::to_string(::geteuid());
  const struct {
    std::function<void()> polozit;
    std::string popis;
  } kPripady[] = {
      // a link, even to the user's own private folder
      {[&] { fs::create_directory_symlink(jinde, vlastni); }, ja + " 511"},
      // the user's own folder that others may write
      {[&] { ::mkdir(vlastni.c_str(), 0700), ::chmod(vlastni.c_str(), 0777); }, ja + " 511 /"},
      {[&] { ::chmod(test::ZapsatSoubor(vlastni, "soubor").c_str(), 0644); }, ja + " 420"},
      // another user's folder, private to them
      {[&] { ::mkdir(vlastni.c_str(), 0700), test::PredatNeprivilegovanemu(vlastni); },
       "65534 448 /"},
  };
  for (const auto& p : kPripady) {
    SCOPED_TRACE(p.popis);
    if (p.popis.starts_with("65534") && ::geteuid() != 0) continue;  // needs root to lay out
    p.polozit();
    JeNahradni(ZvolitSoukromyTemp(t), t);
    EXPECT_EQ(Popis(vlastni), p.popis);
    fs::remove(vlastni);
  }
  EXPECT_TRUE(fs::is_empty(jinde));
}

// A fresh folder is taken over from an earlier process of the run only when it is one:
// its name, in the temp folder, still private.
TEST_F(SoukromyTempTest, OnlyAPrivateFreshFolderOfTheTempFolderCountsAsHandedOver) {
  const std::string t = Slozka("tmp", 01777);
  fs::create_directory_symlink(s_.Vytvorit("jinde"), t + "/" + kVlastni);
  const SoukromyTemp v = ZvolitSoukromyTemp(t);
  EXPECT_TRUE(JeNahradniSlozka(v.slozka + "/", t + "/"));
  EXPECT_FALSE(JeNahradniSlozka(v.slozka, s_ / "jinde"));  // another temp folder

  const std::string podobna = t + "/" + kVlastni + ".abcdef";
  ::mkdir(podobna.c_str(), 0700);
  EXPECT_TRUE(JeNahradniSlozka(podobna, t));
  ::chmod(podobna.c_str(), 0770);
  EXPECT_FALSE(JeNahradniSlozka(podobna, t));
  fs::create_directory_symlink(v.slozka, t + "/" + kVlastni + ".odkaz");
  EXPECT_FALSE(JeNahradniSlozka(t + "/" + kVlastni + ".odkaz", t));
  for (const char* jmeno : {"zevlon-99999.abcdef", "jina.abcdef", "zevlon-0.abc"}) {
    const std::string p = t + "/" + jmeno;
    ::mkdir(p.c_str(), 0700);
    EXPECT_FALSE(JeNahradniSlozka(p, t)) << jmeno;
  }
}

// The folder of a run: a fresh folder goes with the run unless a started process took it
// with a file inside it; the user's own subfolder stays for later runs.
TEST_F(SoukromyTempTest, RunRemovesItsFreshFolderUnlessAStartedProcessTookIt) {
  test::FalesnaPlatforma platforma;
  platforma.temp = Slozka("tmp", 01777);
  {
    TempBehu beh;
    beh.Zvolit();
    EXPECT_EQ(SlozkaTempBehu(), platforma.temp + "/" + kVlastni);
  }
  EXPECT_TRUE(fs::is_directory(platforma.temp + "/" + kVlastni));
  // Outside a run the rules give the same folder.
  EXPECT_EQ(SlozkaTempBehu(), platforma.temp + "/" + kVlastni);
  fs::remove(platforma.temp + "/" + kVlastni);
  fs::create_directory_symlink(s_.Vytvorit("jinde"), platforma.temp + "/" + kVlastni);

  std::string nahradni;
  {
    TempBehu beh;
    beh.Zvolit();
    nahradni = SlozkaTempBehu();
    test::ZapsatSoubor(nahradni + "/download.ini", "x");
    PredatTempBehu(s_ / "jinde/download.ini");  // a file elsewhere hands nothing over
  }
  EXPECT_FALSE(fs::exists(nahradni));
  {
    TempBehu beh;
    beh.Zvolit();
    nahradni = SlozkaTempBehu();
    PredatTempBehu(nahradni + "/download.ini");
  }
  ASSERT_TRUE(fs::is_directory(nahradni));
  {
    TempBehu beh;  // the started process takes it over and removes it when it ends
    EXPECT_TRUE(beh.Prevzit(nahradni));
    EXPECT_EQ(SlozkaTempBehu(), nahradni);
  }
  EXPECT_FALSE(fs::exists(nahradni));
  // Outside a run nothing would remove a fresh folder: there is none.
  EXPECT_NE(test::ZachytitChybu([] { SlozkaTempBehu(); }).Popis().find(kVlastni),
            std::string::npos);
  EXPECT_TRUE(fs::is_empty(s_ / "jinde"));
}

}  // namespace
}  // namespace zevlon
