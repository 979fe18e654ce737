#include "snapshots/instalovany_soubor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/falesna_platforma.h"
#include "support/falesne_ui.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

TEST(InstalovanySoubor, ManifestIsDecidedByTheFileNameAlone) {
  InstalovanySoubor s;
  for (const char* ano : {"Aplikace/Moje.Manifest.XML", "x.manifest.xml", "a/b/.manifest.xml"}) {
    s.Cesta = ano;
    EXPECT_TRUE(s.JeManifest()) << ano;
  }
  for (const char* ne : {"moje.manifest.xml.bak", "x.manifest.xml/program.exe", "manifest.xml"}) {
    s.Cesta = ne;
    EXPECT_FALSE(s.JeManifest()) << ne;
  }
}

TEST(InstalovanySoubor, CloneCopiesTheRecordButNotTheTransferFlags) {
  InstalovanySoubor s;
  s.Cesta = "merko/app.exe";
  s.Jmeno = "app.exe";
  s.Datum = 1396246502;
  s.Velikost = 5'000'000'000;  // above 2 GiB
  s.Downloaded = s.Unzipped = true;
  auto k = s.Clone();
  EXPECT_EQ(k->Cesta, s.Cesta);
  EXPECT_EQ(k->Jmeno, s.Jmeno);
  EXPECT_EQ(k->Datum, s.Datum);
  EXPECT_EQ(k->Velikost, s.Velikost);
  EXPECT_FALSE(k->Downloaded);
  EXPECT_FALSE(k->Unzipped);
}

class Stahnout : public ::testing::Test {
 protected:
  void SetUp() override { platforma_.program = s_ / "Zevlon"; }
  Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
};

TEST_F(Stahnout, CreatesMissingFoldersAndReplacesAReadOnlyTarget) {
  s_.Zapsat("zdroj/a/b/c.txt", "nový");
  InstalovanySoubor z;
  z.Cesta = "a/b/c.txt";
  z.Stahnout(s_ / "zdroj/", s_ / "cil/");
  EXPECT_EQ(s_.Cist("cil/a/b/c.txt"), "nový");

  s_.Zapsat("zdroj/a/b/c.txt", "novější");
  ::chmod((s_ / "cil/a/b/c.txt").c_str(), 0444);
  z.Stahnout(s_ / "zdroj/", s_ / "cil/");
  EXPECT_EQ(s_.Cist("cil/a/b/c.txt"), "novější");
  EXPECT_TRUE(ui_.zpravy.empty());
}

TEST_F(Stahnout, RefusedRetryIsLoggedUnderTheRecordsSource) {
  InstalovanySoubor z;
  z.Cesta = "chybi.txt";
  try {
    z.Stahnout(s_ / "zdroj/", s_ / "cil/");
    FAIL();
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Cislo(), 76);  // the source folder does not exist
    EXPECT_EQ(c.Zdroj(), "InstalovanySoubor::Stahnout");
  }
  ASSERT_EQ(ui_.zpravy.size(), 1u);  // the copy's retry question, answered No
  EXPECT_NE(s_.Cist("online_errors.log").find("\tInstalovanySoubor::Stahnout\t76\t"),
            std::string::npos);
}

}  // namespace
}  // namespace zevlon
