// An installation folder scanned into lists of file records, the snapshot files that
// list a folder's files, their comparison, and the manifests among the files.
#include "aplikace/instalacni_slozka.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "server/manifest.h"
#include "soubory/pomoc_operaci.h"
#include "support/falesna_platforma.h"
#include "support/neprivilegovany.h"

namespace zevlon {
namespace {

using test::ZachytitChybu;

// The paths of a list in its order, joined by spaces.
std::string Poradi(const SeznamSouboru& s) {
  std::string c;
  for (const auto& p : s)
    c += (c.empty() ? "" : " ") + p.hodnota->Cesta;
  return c;
}
std::shared_ptr<InstalovanySoubor> Zaznam(const std::string& c, UtcCas datum, std::int64_t vel,
                                          const std::string& sha256 = "") {
  auto z = std::make_shared<InstalovanySoubor>();
  z->Cesta = c;
  z->Datum = datum;
  z->Velikost = vel;
  z->Sha256 = sha256;
  return z;
}

class Slozka : public ::testing::Test {
 protected:
  void SetUp() override { platforma_.program = s_ / "Zevlon"; }
  std::string Typ(std::int32_t typ) { return Poradi(*sl_.DejObsahSlozky(typ)); }

  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  InstalacniSlozka sl_;
  std::string koren_ = s_.Vytvorit("inst") + "/";
};

TEST_F(Slozka, ScanClassifiesFiltersFollowsNoLinkAndStopsAtStornoOrAnError) {
  for (const char* c : {"_svn/x.dll", "merko/.skryty.dll", "~zevlon.znacka", "merko/~zevlon.znacka",
                        "merko/app.exe", "merko/sub/lib.dll", "data/vzor.cfg",
                        "modul/data/Moje.Manifest.xml", "readme.txt"})
    s_.Zapsat(std::string("inst/") + c, "x");
  s_.Zapsat("venku/tajne.txt", "x");
  ASSERT_EQ(::symlink((s_ / "venku").c_str(), (koren_ + "odkaz").c_str()), 0);
  ASSERT_EQ(::symlink((s_ / "venku/tajne.txt").c_str(), (koren_ + "merko/tajne.dll").c_str()), 0);
  sl_.NacistObsahSlozky(koren_);
  EXPECT_EQ(
      Typ(VsechnySoubory),
      "readme.txt data/vzor.cfg merko/app.exe merko/sub/lib.dll modul/data/Moje.Manifest.xml");
  EXPECT_EQ(Typ(JadroSystemu), "merko/app.exe");
  EXPECT_EQ(Typ(VzoroveDatabaze), "data/vzor.cfg");
  EXPECT_EQ(Typ(Manifesty), "modul/data/Moje.Manifest.xml");
  EXPECT_EQ(Typ(NormalniSoubory), "readme.txt merko/sub/lib.dll");

  ui_.stornoPoHlaseni = 2;
  EXPECT_TRUE(ZachytitChybu([&] { sl_.NacistObsahSlozky(koren_); }).JeZruseni());
  // An unreadable folder is an error, not a silent gap.
  ::chmod(s_.Cesta().c_str(), 0755);
  ::chmod((koren_ + "merko").c_str(), 0700);
  auto v = test::SpustitNeprivilegovane({"sken", koren_});
  EXPECT_EQ(v.vystup.substr(0, 9), "chyba 70\n") << v.vystup;
}

// The reading back is checked by the snapshot fuzz target.
TEST_F(Slozka, SnapshotIsWrittenInTheExactForm) {
  SeznamSouboru l;
  l.Pridat("merko/app.exe", Zaznam("merko/app.exe", 1396246502, 512));
  l.Pridat("Účetní/data.cfg", Zaznam("Účetní/data.cfg", 0, 5'000'000'000));
  ::chmod(s_.Zapsat("stav.snapshot", "stary").c_str(), 0444);  // a read-only one is replaced
  sl_.UlozitSnapshot(s_ / "stav.snapshot", l);
  // Windows-1250 text with backslashes, CR LF and a trailing TAB.
  EXPECT_EQ(s_.Cist("stav.snapshot"),
            "merko\\app.exe\t2014-03-31 06:15:02\t512\t\r\n"
            "\xDA\xE8"
            "etn\xED\\data.cfg\t1970-01-01 00:00:00\t5000000000\t\r\n");
}

// Signed sites list each file's SHA-256 in the fourth field; a reader takes it back, and
// fields after it (another writer's) are passed over.
TEST_F(Slozka, SnapshotCarriesTheChecksumInTheFourthField) {
  const std::string h(64, 'a');
  SeznamSouboru l;
  l.Pridat("merko/app.exe", Zaznam("merko/app.exe", 1396246502, 512, h));
  sl_.UlozitSnapshot(s_ / "s.snapshot", l);
  EXPECT_EQ(s_.Cist("s.snapshot"), "merko\\app.exe\t2014-03-31 06:15:02\t512\t" + h + "\r\n");
  s_.Zapsat("s.snapshot", "a.dll\t2014-03-31 06:15:02\t1\t" + h +
                              "\tdalsi\r\nb.dll\t2014-03-31 06:15:02\t2\t\r\n");
  SeznamSouboru r = sl_.NacistSnapshot(s_ / "s.snapshot");
  ASSERT_EQ(r.Pocet(), 2u);
  EXPECT_EQ(r.Najit("a.dll")->Sha256, h);
  EXPECT_EQ(r.Najit("a.dll")->Velikost, 1);
  EXPECT_EQ(r.Najit("b.dll")->Sha256, "");
}

TEST_F(Slozka, SnapshotReaderRefusesPathsLeavingTheFolderAndOversizedFiles) {
  for (const char* cesta :
       {"..\\..\\etc\\passwd", "merko\\..\\..\\x", "\\abs.txt", "C:\\abs.txt"}) {
    s_.Zapsat("zly.snapshot", std::string(cesta) + "\t2014-03-31 06:15:02\t1\t\r\n");
    Chyba c = ZachytitChybu([&] { sl_.NacistSnapshot(s_ / "zly.snapshot"); });
    EXPECT_EQ(c.Cislo(), kChybaUzivatele) << cesta;
    EXPECT_EQ(c.Zdroj(), "InstalacniSlozka::NacistSnapshot") << cesta;
  }
  ASSERT_EQ(::truncate((s_ / "zly.snapshot").c_str(), (16 << 20) + 1), 0);
  EXPECT_NE(ZachytitChybu([&] { sl_.NacistSnapshot(s_ / "zly.snapshot"); })
                .Popis()
                .find("je větší než povolených 16777216 bajtů."),
            std::string::npos);
}

TEST_F(Slozka, ComparisonGivesCopiesOfFilesNewOrChangedBeyondTwentyNineSeconds) {
  const UtcCas t = 1396246502;
  SeznamSouboru snapshot, mistni;
  for (auto [cesta, posun, velikost] :
       {std::tuple{"o29", 29, 10}, {"o30", 30, 10}, {"o-29", -29, 10}, {"vetsi", 0, 11}}) {
    snapshot.Pridat(cesta, Zaznam(cesta, t, 10));
    mistni.Pridat(cesta, Zaznam(cesta, t + posun, velikost));
  }
  auto novy = Zaznam("novy", t, 1);
  novy->Downloaded = true;
  mistni.Pridat("novy", novy);
  SeznamSouboru r = sl_.PorovnatSnapshoty(snapshot, mistni);
  EXPECT_EQ(Poradi(r), "o30 vetsi novy");
  EXPECT_NE(r.Ziskat("novy"), novy);  // copies, without the transfer flags
  EXPECT_FALSE(r.Ziskat("novy")->Downloaded);
}

TEST_F(Slozka, ManifestNeverResolvesAnExternalEntity) {
  s_.Zapsat("tajne.txt", "tajne");
  Manifest zly(s_.Zapsat("m.manifest.xml", "<!DOCTYPE a [<!ENTITY x SYSTEM \"file://" +
                                               (s_ / "tajne.txt") +
                                               "\">]><a><UpdateOnLine protocol=\"&x;\"/></a>"));
  EXPECT_EQ(ZachytitChybu([&] { zly.UpdateServer(); }).Cislo(), 94);
}

}  // namespace
}  // namespace zevlon
