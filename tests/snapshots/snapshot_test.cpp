#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "snapshots/instalacni_slozka.h"
#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

std::shared_ptr<InstalovanySoubor> Zaznam(const std::string& cesta, UtcCas datum,
                                          std::int64_t velikost) {
  auto z = std::make_shared<InstalovanySoubor>();
  z->Cesta = cesta;
  z->Datum = datum;
  z->Velikost = velikost;
  return z;
}

class SnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override { platforma_.program = s_ / "Zevlon"; }
  Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  InstalacniSlozka sl_;
};

TEST_F(SnapshotTest, WrittenLinesHaveTheExactFormAndReadBackEqual) {
  SeznamSouboru l;
  l.Pridat("merko/app.exe", Zaznam("merko/app.exe", 1396246502, 512));
  l.Pridat("Účetní/data.cfg", Zaznam("Účetní/data.cfg", 0, 5'000'000'000));
  l.Pridat("a.txt", Zaznam("a.txt", 951782400, 0));
  sl_.UlozitSnapshot(s_ / "stav.snapshot", l);

  // Windows-1250 text with backslashes, CR LF and a trailing TAB.
  EXPECT_EQ(s_.Cist("stav.snapshot"),
            "merko\\app.exe\t2014-03-31 06:15:02\t512\t\r\n"
            "\xDA\xE8"
            "etn\xED\\data.cfg\t1970-01-01 00:00:00\t5000000000\t\r\n"
            "a.txt\t2000-02-29 00:00:00\t0\t\r\n");

  SeznamSouboru zpet = sl_.NacistSnapshot(s_ / "stav.snapshot");
  std::vector<std::string> radky;
  for (const auto& p : zpet)
    radky.push_back(p.hodnota->Cesta + "|" + std::to_string(p.hodnota->Datum) + "|" +
                    std::to_string(p.hodnota->Velikost) + "|" + p.hodnota->Jmeno);
  EXPECT_EQ(radky,
            (std::vector<std::string>{"merko/app.exe|1396246502|512|",
                                      "Účetní/data.cfg|0|5000000000|", "a.txt|951782400|0|"}));
}

TEST_F(SnapshotTest, PathsOutsideTheCodePageKeepTheFileUtf8) {
  SeznamSouboru l;
  l.Pridat("日本/x.txt", Zaznam("日本/x.txt", 0, 1));
  sl_.UlozitSnapshot(s_ / "u.snapshot", l);
  EXPECT_EQ(s_.Cist("u.snapshot"), "日本\\x.txt\t1970-01-01 00:00:00\t1\t\r\n");
  EXPECT_TRUE(sl_.NacistSnapshot(s_ / "u.snapshot").Obsahuje("日本/x.txt"));
}

TEST_F(SnapshotTest, ReaderAcceptsWhatWindowsPeersWrite) {
  s_.Zapsat("lf.snapshot",
            "Merko\\Merko.exe\t2014-03-31 06:15:02\t512\t\n"
            "Merko\\Pr\xE1va.dll\t2014-03-31 06:15:02\t-1\textra\tpole\n"
            "bez_tabu_na_konci.txt\t2014-03-31 06:15:02\t7");
  auto l = sl_.NacistSnapshot(s_ / "lf.snapshot");
  ASSERT_EQ(l.Pocet(), 3u);
  EXPECT_EQ(l.Ziskat("merko/práva.dll")->Velikost, -1);
  EXPECT_EQ(l.Ziskat("Bez_Tabu_Na_Konci.txt")->Velikost, 7);
  EXPECT_TRUE(sl_.NacistSnapshot(s_ / "chybi.snapshot").Prazdny());
  s_.Zapsat("prazdny.snapshot", "");
  EXPECT_TRUE(sl_.NacistSnapshot(s_ / "prazdny.snapshot").Prazdny());
}

TEST_F(SnapshotTest, MalformedLinesFailTheReadAndAreLogged) {
  const std::pair<const char*, std::int32_t> pripady[] = {
      {"a.txt\t2014-03-31 06:15:02\r\n", 9},
      {"a.txt\t2014-03-31 06:15:02\t1\t\r\n\r\nb.txt\t2014-03-31 06:15:02\t1\t\r\n", 9},
      {"a.txt\t31.03.2014\t1\t\r\n", 13},
      {"a.txt\t2014-03-31 06:15:02\t1 kB\t\r\n", 13},
      {"A.TXT\t2014-03-31 06:15:02\t1\t\r\na.txt\t2014-03-31 06:15:02\t1\t\r\n", 457},
      {"..\\..\\etc\\passwd\t2014-03-31 06:15:02\t1\t\r\n", kChybaUzivatele},
      {"merko\\..\\..\\x\t2014-03-31 06:15:02\t1\t\r\n", kChybaUzivatele},
      {"\\abs.txt\t2014-03-31 06:15:02\t1\t\r\n", kChybaUzivatele},
      {"C:\\abs.txt\t2014-03-31 06:15:02\t1\t\r\n", kChybaUzivatele},
  };
  for (auto [obsah, cislo] : pripady) {
    s_.Zapsat("zly.snapshot", obsah);
    try {
      sl_.NacistSnapshot(s_ / "zly.snapshot");
      ADD_FAILURE() << "accepted: " << obsah;
    } catch (const Chyba& c) {
      EXPECT_EQ(c.Cislo(), cislo) << obsah;
      EXPECT_EQ(c.Zdroj(), "InstalacniSlozka::NacistSnapshot");
    }
  }
  EXPECT_NE(s_.Cist("online_errors.log").find("InstalacniSlozka::NacistSnapshot\t457\t"),
            std::string::npos);
}

TEST_F(SnapshotTest, SnapshotBeyondSixteenMebibytesIsRefusedUnread) {
  std::string cesta = s_.Zapsat("obri.snapshot", "a\t2014-03-31 06:15:02\t1\t\r\n");
  ASSERT_EQ(::truncate(cesta.c_str(), (16 << 20) + 1), 0);
  try {
    sl_.NacistSnapshot(cesta);
    FAIL() << "an oversized snapshot was read";
  } catch (const Chyba& c) {
    EXPECT_NE(c.Popis().find("je větší než povolených 16777216 bajtů."), std::string::npos);
  }
}

TEST_F(SnapshotTest, ComparisonToleratesTwentyNineSecondsAndEqualSizesOnly) {
  SeznamSouboru snapshot, mistni;
  const UtcCas t = 1396246502;
  snapshot.Pridat("stejny", Zaznam("stejny", t, 10));
  snapshot.Pridat("novejsi29", Zaznam("novejsi29", t, 10));
  snapshot.Pridat("novejsi30", Zaznam("novejsi30", t, 10));
  snapshot.Pridat("starsi29", Zaznam("starsi29", t, 10));
  snapshot.Pridat("vetsi", Zaznam("vetsi", t, 10));
  snapshot.Pridat("jen_v_snapshotu", Zaznam("jen_v_snapshotu", t, 10));
  mistni.Pridat("novy", Zaznam("novy", t, 10));
  mistni.Pridat("STEJNY", Zaznam("STEJNY", t, 10));
  mistni.Pridat("novejsi29", Zaznam("novejsi29", t + 29, 10));
  mistni.Pridat("novejsi30", Zaznam("novejsi30", t + 30, 10));
  mistni.Pridat("starsi29", Zaznam("starsi29", t - 29, 10));
  mistni.Pridat("vetsi", Zaznam("vetsi", t, 11));
  mistni.Ziskat("novy")->Downloaded = true;

  SeznamSouboru r = sl_.PorovnatSnapshoty(snapshot, mistni);
  std::vector<std::string> klice;
  for (const auto& p : r)
    klice.push_back(p.klic);
  EXPECT_EQ(klice, (std::vector<std::string>{"novy", "novejsi30", "vetsi"}));
  // Copies, not the records themselves.
  EXPECT_NE(r.Ziskat("novy"), mistni.Ziskat("novy"));
  EXPECT_FALSE(r.Ziskat("novy")->Downloaded);

  EXPECT_EQ(sl_.PorovnatSnapshoty(SeznamSouboru{}, mistni).Pocet(), mistni.Pocet());
}

TEST_F(SnapshotTest, ScannedFolderComparesEqualToItsOwnSnapshot) {
  s_.Zapsat("inst/merko/app.exe", "abc");
  s_.Zapsat("inst/data/vzor.cfg", "abcd");
  s_.Zapsat("inst/readme.txt", "ab");
  sl_.NacistObsahSlozky(s_ / "inst/");
  sl_.UlozitNormalniSouboryJakoSnapshot(s_ / "normalni.snapshot");
  sl_.UlozitJadroSystemuJakoSnapshot(s_ / "jadro.snapshot");
  sl_.UlozitVzoroveDatabazeJakoSnapshot(s_ / "vzory.snapshot");
  sl_.UlozitManifestyJakoSnapshot(s_ / "manifesty.snapshot");
  EXPECT_EQ(s_.Cist("manifesty.snapshot"), "");
  EXPECT_EQ(sl_.NacistSnapshot(s_ / "jadro.snapshot").Pocet(), 1u);
  EXPECT_EQ(sl_.NacistSnapshot(s_ / "vzory.snapshot").Pocet(), 1u);

  auto normalni = sl_.NacistSnapshot(s_ / "normalni.snapshot");
  EXPECT_TRUE(sl_.PorovnatSnapshot(normalni, NormalniSoubory).Prazdny());
  EXPECT_EQ(sl_.PorovnatSnapshot(normalni, VsechnySoubory).Pocet(), 2u);  // app.exe, vzor.cfg

  s_.Zapsat("inst/readme.txt", "abc");
  sl_.NacistObsahSlozky(s_ / "inst/");
  EXPECT_EQ(sl_.PorovnatSnapshot(normalni, NormalniSoubory).Pocet(), 1u);
  EXPECT_THROW(sl_.PorovnatSnapshot(normalni, 7), Chyba);
}

TEST_F(SnapshotTest, ReadOnlySnapshotIsReplacedAndAnUnwritableOneIsOnlyLogged) {
  SeznamSouboru l;
  l.Pridat("a", Zaznam("a", 0, 1));
  std::string cesta = s_.Zapsat("stary.snapshot", "stary");
  ::chmod(cesta.c_str(), 0444);
  sl_.UlozitSnapshot(cesta, l);
  EXPECT_EQ(s_.Cist("stary.snapshot"), "a\t1970-01-01 00:00:00\t1\t\r\n");

  EXPECT_NO_THROW(sl_.UlozitSnapshot(s_ / "neni/slozka.snapshot", l));
  EXPECT_FALSE(test::Existuje(s_ / "neni/slozka.snapshot"));
  EXPECT_NE(s_.Cist("online_errors.log").find("InstalacniSlozka::UlozitSnapshot"),
            std::string::npos);
}

}  // namespace
}  // namespace zevlon
