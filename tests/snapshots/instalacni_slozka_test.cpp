#include "snapshots/instalacni_slozka.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

std::vector<std::string> Cesty(const SeznamSouboru& s) {
  std::vector<std::string> out;
  for (const auto& p : s)
    out.push_back(p.hodnota->Cesta);
  return out;
}

std::set<std::string> Mnozina(const SeznamSouboru& s) {
  auto c = Cesty(s);
  return {c.begin(), c.end()};
}

class SkenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = s_ / "Zevlon";
    koren_ = s_.Vytvorit("inst") + "/";
  }
  Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  std::string koren_;
};

TEST_F(SkenTest, FiltersAndClassificationFollowTheirOrder) {
  for (const char* f :
       {"_svn/x.dll", "Stary.SCC/y.txt", ".skryta/z.txt", "merko/.skryty.dll", "merko/app.exe",
        "merko/Knihovna.DLL", "merko/sub/lib.dll", "merko/merko.ini", "data/vzor.cfg",
        "data/vzor.dat", "modul/data/x.dat", "modul/data/y.cfg", "modul/data/Moje.Manifest.xml",
        "stav.snapshot", "Merko.INI", "readme.txt", "app.exe"})
    s_.Zapsat(std::string("inst/") + f, "x");
  InstalacniSlozka sl;
  sl.NacistObsahSlozky(koren_);

  EXPECT_EQ(
      Mnozina(*sl.DejObsahSlozky(VsechnySoubory)),
      (std::set<std::string>{"merko/app.exe", "merko/Knihovna.DLL", "merko/sub/lib.dll",
                             "merko/merko.ini", "data/vzor.cfg", "data/vzor.dat",
                             "modul/data/x.dat", "modul/data/y.cfg", "modul/data/Moje.Manifest.xml",
                             "stav.snapshot", "Merko.INI", "readme.txt", "app.exe"}));
  EXPECT_EQ(Mnozina(*sl.DejObsahSlozky(JadroSystemu)),
            (std::set<std::string>{"merko/app.exe", "merko/Knihovna.DLL"}));
  EXPECT_EQ(Mnozina(*sl.DejObsahSlozky(VzoroveDatabaze)),
            (std::set<std::string>{"data/vzor.cfg", "modul/data/y.cfg"}));
  EXPECT_EQ(Mnozina(*sl.DejObsahSlozky(Manifesty)),
            (std::set<std::string>{"modul/data/Moje.Manifest.xml"}));
  EXPECT_EQ(Mnozina(*sl.DejObsahSlozky(NormalniSoubory)),
            (std::set<std::string>{"merko/sub/lib.dll", "data/vzor.dat", "readme.txt", "app.exe"}));
  EXPECT_EQ(sl.DejObsahSlozky(5), nullptr);

  // Categories hold the same records as the all-files list.
  EXPECT_EQ(sl.DejObsahSlozky(JadroSystemu)->Ziskat("merko/app.exe"),
            sl.DejObsahSlozky(VsechnySoubory)->Ziskat("MERKO/APP.EXE"));
}

TEST_F(SkenTest, RecordsCarryNameUtcTimeAndSizeAndFolderOrderIsLevelByLevel) {
  s_.Zapsat("inst/b/b1/f.txt", "12345");
  s_.Zapsat("inst/a/a1/f.txt", "1");
  s_.Zapsat("inst/a/f.txt", "1");
  s_.Zapsat("inst/b/f.txt", "1");
  s_.Zapsat("inst/kořen.txt", "1");
  timespec casy[2] = {{0, UTIME_OMIT}, {1396246502, 900'000'000}};
  ::utimensat(AT_FDCWD, (s_ / "inst/b/b1/f.txt").c_str(), casy, 0);

  InstalacniSlozka sl;
  sl.NacistObsahSlozky(koren_);
  EXPECT_EQ(
      Cesty(*sl.DejObsahSlozky(VsechnySoubory)),
      (std::vector<std::string>{"kořen.txt", "a/f.txt", "b/f.txt", "a/a1/f.txt", "b/b1/f.txt"}));
  auto z = sl.DejObsahSlozky(VsechnySoubory)->Ziskat("b/b1/f.txt");
  EXPECT_EQ(z->Jmeno, "f.txt");
  EXPECT_EQ(z->Datum, 1396246502);
  EXPECT_EQ(z->Velikost, 5);
  EXPECT_EQ(FileDateTimeModifiedUTC(s_ / "inst/b/b1/f.txt"), 1396246502);

  // Progress: one report per folder, then one per file, all with Storno shown.
  ASSERT_EQ(ui_.hlaseni.size(), 5u + 5u);
  EXPECT_EQ(ui_.hlaseni[0].zprava, "Načítání obsahu instalační složky " + koren_);
  EXPECT_EQ(ui_.hlaseni[4].hotovo, 5);
  EXPECT_EQ(ui_.hlaseni[4].celkem, 5);
  EXPECT_EQ(ui_.hlaseni[9].zprava, "Načítání obsahu instalační složky " + koren_ + "b/b1/");
  EXPECT_TRUE(ui_.hlaseni[9].stornoZobrazeno);
}

TEST_F(SkenTest, OnlyTheNamedFoldersAndTheRootsOwnFiles) {
  s_.Zapsat("inst/Setup.exe", "x");
  s_.Zapsat("inst/merko/app.exe", "x");
  s_.Zapsat("inst/merko/_pod/lib.dll", "x");  // the named folder itself is not filtered
  s_.Zapsat("inst/upravy/u.txt", "x");
  InstalacniSlozka sl;
  std::vector<std::string> jen{koren_ + "merko"};
  sl.NacistObsahSlozky(koren_, &jen);
  EXPECT_EQ(Mnozina(*sl.DejObsahSlozky(VsechnySoubory)),
            (std::set<std::string>{"Setup.exe", "merko/app.exe"}));

  // A folder named twice finds its files twice: the keyed list refuses the second.
  std::vector<std::string> dvakrat{koren_ + "merko", koren_ + "merko"};
  try {
    sl.NacistObsahSlozky(koren_, &dvakrat);
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Cislo(), 457);
    EXPECT_EQ(c.Zdroj(), "InstalacniSlozka::NacistObsahSlozky");
  }
  EXPECT_NE(s_.Cist("online_errors.log").find("InstalacniSlozka::NacistObsahSlozky\t457"),
            std::string::npos);
}

TEST_F(SkenTest, EmptyOrMissingFolderScansEmptyAndLinksToFoldersAreNotFollowed) {
  InstalacniSlozka sl;
  sl.NacistObsahSlozky(koren_);
  EXPECT_TRUE(sl.DejObsahSlozky(VsechnySoubory)->Prazdny());
  sl.NacistObsahSlozky(s_ / "neni/");
  EXPECT_TRUE(sl.DejObsahSlozky(VsechnySoubory)->Prazdny());

  s_.Zapsat("venku/tajne.txt", "x");
  s_.Zapsat("inst/soubor.txt", "x");
  ASSERT_EQ(::symlink((s_ / "venku").c_str(), (koren_ + "odkaz").c_str()), 0);
  ASSERT_EQ(::symlink((koren_ + "odkaz").c_str(), (koren_ + "smycka").c_str()), 0);
  sl.NacistObsahSlozky(koren_);
  EXPECT_EQ(Cesty(*sl.DejObsahSlozky(VsechnySoubory)), (std::vector<std::string>{"soubor.txt"}));
}

TEST_F(SkenTest, StornoDuringTheScanEndsItWithTheCancelError) {
  for (int i = 0; i < 10; ++i)
    s_.Zapsat("inst/f" + std::to_string(i), "x");
  ui_.stornoPoHlaseni = 4;
  InstalacniSlozka sl;
  try {
    sl.NacistObsahSlozky(koren_);
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_TRUE(c.JeZruseni());
  }
  EXPECT_EQ(ui_.hlaseni.size(), 4u);
}

TEST_F(SkenTest, UnreadableFolderIsAnErrorNotASilentGap) {
  s_.Zapsat("inst/zamceno/x.txt", "x");
  s_.Zapsat("inst/volno/y.txt", "x");
  ::chmod(s_.Cesta().c_str(), 0755);
  ::chmod((koren_ + "zamceno").c_str(), 0700);
  auto v = test::SpustitNeprivilegovane({"sken", koren_});
  EXPECT_EQ(v.vystup.substr(0, 9), "chyba 70\n") << v.vystup;
  ::chmod((koren_ + "zamceno").c_str(), 0755);
  EXPECT_EQ(test::SpustitNeprivilegovane({"sken", koren_}).vystup, "volno/y.txt\nzamceno/x.txt\n");
}

}  // namespace
}  // namespace zevlon
