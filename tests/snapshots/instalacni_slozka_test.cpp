// An installation folder scanned into lists of file records, the records and the
// manifests among them, and the snapshot files that list a folder's files.
#include "snapshots/instalacni_slozka.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <set>

#include "installers/pomoc_operaci.h"
#include "snapshots/manifest.h"
#include "support/falesna_platforma.h"
#include "support/neprivilegovany.h"

namespace zevlon {
namespace {

using test::ZachytitChybu;
using Cesty = std::vector<std::string>;

Cesty Poradi(const SeznamSouboru& s) {
  Cesty c;
  for (const auto& p : s)
    c.push_back(p.hodnota->Cesta);
  return c;
}
std::set<std::string> Mnozina(const std::shared_ptr<SeznamSouboru>& s) {
  Cesty c = Poradi(*s);
  return {c.begin(), c.end()};
}

std::shared_ptr<InstalovanySoubor> Zaznam(const std::string& cesta, UtcCas datum,
                                          std::int64_t velikost) {
  auto z = std::make_shared<InstalovanySoubor>();
  z->Cesta = cesta;
  z->Datum = datum;
  z->Velikost = velikost;
  return z;
}

class Slozka : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = s_ / "Zevlon";
    koren_ = s_.Vytvorit("inst") + "/";
  }
  void Soubory(std::initializer_list<const char*> cesty) {
    for (const char* c : cesty)
      s_.Zapsat(std::string("inst/") + c, "x");
  }
  std::string Log() const { return s_.Cist("online_errors.log"); }

  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  test::FalesneUi ui_;
  InstalacniSlozka sl_;
  std::string koren_;
};

TEST_F(Slozka, ScanFiltersAndClassifiesInOrderAndFollowsNoLinkToAFolder) {
  Soubory({"_svn/x.dll", "Stary.SCC/y.txt", ".skryta/z.txt", "merko/.skryty.dll", "merko/app.exe",
           "merko/Knihovna.DLL", "merko/sub/lib.dll", "merko/merko.ini", "data/vzor.cfg",
           "data/vzor.dat", "modul/data/x.dat", "modul/data/y.cfg", "modul/data/Moje.Manifest.xml",
           "stav.snapshot", "Merko.INI", "readme.txt", "app.exe"});
  s_.Zapsat("venku/tajne.txt", "x");
  ASSERT_EQ(::symlink((s_ / "venku").c_str(), (koren_ + "odkaz").c_str()), 0);
  ASSERT_EQ(::symlink((koren_ + "odkaz").c_str(), (koren_ + "smycka").c_str()), 0);
  sl_.NacistObsahSlozky(koren_);

  EXPECT_EQ(
      Mnozina(sl_.DejObsahSlozky(VsechnySoubory)),
      (std::set<std::string>{"merko/app.exe", "merko/Knihovna.DLL", "merko/sub/lib.dll",
                             "merko/merko.ini", "data/vzor.cfg", "data/vzor.dat",
                             "modul/data/x.dat", "modul/data/y.cfg", "modul/data/Moje.Manifest.xml",
                             "stav.snapshot", "Merko.INI", "readme.txt", "app.exe"}));
  EXPECT_EQ(Mnozina(sl_.DejObsahSlozky(JadroSystemu)),
            (std::set<std::string>{"merko/app.exe", "merko/Knihovna.DLL"}));
  EXPECT_EQ(Mnozina(sl_.DejObsahSlozky(VzoroveDatabaze)),
            (std::set<std::string>{"data/vzor.cfg", "modul/data/y.cfg"}));
  EXPECT_EQ(Mnozina(sl_.DejObsahSlozky(Manifesty)),
            (std::set<std::string>{"modul/data/Moje.Manifest.xml"}));
  EXPECT_EQ(Mnozina(sl_.DejObsahSlozky(NormalniSoubory)),
            (std::set<std::string>{"merko/sub/lib.dll", "data/vzor.dat", "readme.txt", "app.exe"}));
  EXPECT_EQ(sl_.DejObsahSlozky(5), nullptr);
  // Categories hold the same records as the all-files list.
  EXPECT_EQ(sl_.DejObsahSlozky(JadroSystemu)->Ziskat("merko/app.exe"),
            sl_.DejObsahSlozky(VsechnySoubory)->Ziskat("MERKO/APP.EXE"));

  sl_.NacistObsahSlozky(s_ / "neni/");  // a missing folder scans empty
  EXPECT_TRUE(sl_.DejObsahSlozky(VsechnySoubory)->Prazdny());
}

TEST_F(Slozka, ScanRecordsCarryNameUtcTimeAndSizeLevelByLevelWithProgress) {
  s_.Zapsat("inst/b/b1/f.txt", "12345");
  Soubory({"a/a1/f.txt", "a/f.txt", "b/f.txt", "kořen.txt"});
  test::NastavitCas(s_ / "inst/b/b1/f.txt", 1396246502, 900'000'000);
  sl_.NacistObsahSlozky(koren_);
  EXPECT_EQ(Poradi(*sl_.DejObsahSlozky(VsechnySoubory)),
            (Cesty{"kořen.txt", "a/f.txt", "b/f.txt", "a/a1/f.txt", "b/b1/f.txt"}));
  auto z = sl_.DejObsahSlozky(VsechnySoubory)->Ziskat("b/b1/f.txt");
  EXPECT_EQ(z->Jmeno, "f.txt");
  EXPECT_EQ(z->Datum, 1396246502);
  EXPECT_EQ(z->Velikost, 5);
  EXPECT_EQ(FileDateTimeModifiedUTC(s_ / "inst/b/b1/f.txt"), 1396246502);

  // One report per folder, then one per file, all with Storno shown.
  ASSERT_EQ(ui_.hlaseni.size(), 5u + 5u);
  EXPECT_EQ(ui_.hlaseni[0].zprava, "Načítání obsahu instalační složky " + koren_);
  EXPECT_EQ(ui_.hlaseni[4].hotovo, 5);
  EXPECT_EQ(ui_.hlaseni[4].celkem, 5);
  EXPECT_EQ(ui_.hlaseni[9].zprava, "Načítání obsahu instalační složky " + koren_ + "b/b1/");
  EXPECT_TRUE(ui_.hlaseni[9].stornoZobrazeno);

  ui_.hlaseni.clear();
  ui_.stornoPoHlaseni = 4;
  EXPECT_TRUE(ZachytitChybu([&] { sl_.NacistObsahSlozky(koren_); }).JeZruseni());
  EXPECT_EQ(ui_.hlaseni.size(), 4u);
}

TEST_F(Slozka, ScanOfNamedFoldersTakesThemAndTheRootsOwnFilesOnly) {
  Soubory({"Setup.exe", "merko/app.exe", "merko/_pod/lib.dll", "upravy/u.txt"});
  Cesty jen{koren_ + "merko"};
  sl_.NacistObsahSlozky(koren_, &jen);
  EXPECT_EQ(Mnozina(sl_.DejObsahSlozky(VsechnySoubory)),
            (std::set<std::string>{"Setup.exe", "merko/app.exe"}));

  // A folder named twice finds its files twice: the keyed list refuses the second.
  Cesty dvakrat{koren_ + "merko", koren_ + "merko"};
  Chyba c = ZachytitChybu([&] { sl_.NacistObsahSlozky(koren_, &dvakrat); });
  EXPECT_EQ(c.Cislo(), 457);
  EXPECT_EQ(c.Zdroj(), "InstalacniSlozka::NacistObsahSlozky");
  EXPECT_NE(Log().find("InstalacniSlozka::NacistObsahSlozky\t457"), std::string::npos);
}

TEST_F(Slozka, UnreadableFolderIsAnErrorNotASilentGap) {
  Soubory({"zamceno/x.txt", "volno/y.txt"});
  ::chmod(s_.Cesta().c_str(), 0755);
  ::chmod((koren_ + "zamceno").c_str(), 0700);
  auto v = test::SpustitNeprivilegovane({"sken", koren_});
  EXPECT_EQ(v.vystup.substr(0, 9), "chyba 70\n") << v.vystup;
  ::chmod((koren_ + "zamceno").c_str(), 0755);
  EXPECT_EQ(test::SpustitNeprivilegovane({"sken", koren_}).vystup, "volno/y.txt\nzamceno/x.txt\n");
}

TEST_F(Slozka, RecordsKnowManifestsByNameAndCopyTheirFileIntoPlace) {
  InstalovanySoubor z;
  for (auto [cesta, manifest] : {std::pair{"Aplikace/Moje.Manifest.XML", true},
                                 {"x.manifest.xml", true},
                                 {"a/b/.manifest.xml", true},
                                 {"moje.manifest.xml.bak", false},
                                 {"x.manifest.xml/program.exe", false},
                                 {"manifest.xml", false}}) {
    z.Cesta = cesta;
    EXPECT_EQ(z.JeManifest(), manifest) << cesta;
  }

  z.Cesta = "a/b/c.txt";
  s_.Zapsat("zdroj/a/b/c.txt", "nový");
  z.Stahnout(s_ / "zdroj/", s_ / "cil/");  // the target's folders are created
  EXPECT_EQ(s_.Cist("cil/a/b/c.txt"), "nový");
  s_.Zapsat("zdroj/a/b/c.txt", "novější");
  ::chmod((s_ / "cil/a/b/c.txt").c_str(), 0444);
  z.Stahnout(s_ / "zdroj/", s_ / "cil/");
  EXPECT_EQ(s_.Cist("cil/a/b/c.txt"), "novější");
  EXPECT_TRUE(ui_.zpravy.empty());

  z.Cesta = "chybi.txt";
  Chyba c = ZachytitChybu([&] { z.Stahnout(s_ / "neni/", s_ / "cil/"); });
  EXPECT_EQ(c.Cislo(), 76);
  EXPECT_EQ(c.Zdroj(), "InstalovanySoubor::Stahnout");
  EXPECT_EQ(ui_.zpravy.size(), 1u);  // the copy's retry question, answered No
  EXPECT_NE(Log().find("\tInstalovanySoubor::Stahnout\t76\t"), std::string::npos);
}

constexpr const char* kPrvek =
    "<UpdateOnLine protocol=\"ftp\" server=\"ftp.dunmor.invalid\" port=\"21\" user=\"u\" "
    "password=\"p\" remoteLocation=\"pub/app\" snapshot=\"master.snapshot\"/>";

TEST_F(Slozka, ManifestOfAScannedFileGivesItsUpdateServerAndIsReadOnce) {
  s_.Zapsat("inst/app/App.Manifest.xml",
            std::string("<cokoli>") + kPrvek + "<merkoData verze=\"1\"/></cokoli>");
  sl_.NacistObsahSlozky(koren_);
  ASSERT_EQ(sl_.DejObsahSlozky(Manifesty)->Pocet(), 1u);
  auto m = sl_.VytvoritManifestZeSouboru(*sl_.DejObsahSlozky(Manifesty)->begin()->hodnota);
  auto u = m->UpdateServer();
  EXPECT_EQ(u->protocol + "|" + u->server + "|" + u->user + "|" + u->password + "|" +
                u->remoteLocation + "|" + u->snapshot,
            "ftp|ftp.dunmor.invalid|u|p|pub/app|master.snapshot");
  EXPECT_EQ(u->Port, 21);
  EXPECT_EQ(std::string(m->ElementDat().attribute("verze").as_string()), "1");
  std::remove((koren_ + "app/App.Manifest.xml").c_str());
  EXPECT_EQ(m->UpdateServer()->protocol, "ftp");  // not read again
}

TEST_F(Slozka, ManifestWithoutElementAttributeOrNumberFailsWithThePlatformsErrors) {
  std::string spatnyPort = kPrvek;
  spatnyPort.replace(spatnyPort.find("\"21\""), 4, "\"abc\"");
  s_.Zapsat("tajne.txt", "tajne");
  const std::pair<std::string, std::int32_t> pripady[] = {
      {"<a><updateOnLine url=\"http://x/\"/></a>", 91},
      {"nejde o xml", 91},
      {"<a><UpdateOnLine protocol=\"ftp\"/></a>", 94},
      {"<a>" + spatnyPort + "</a>", 13},
      // An external entity is never resolved.
      {"<!DOCTYPE a [<!ENTITY x SYSTEM \"file://" + (s_ / "tajne.txt") +
           "\">]><a><UpdateOnLine protocol=\"&x;\"/></a>",
       94}};
  for (const auto& [obsah, cislo] : pripady) {
    Manifest m(s_.Zapsat("m.manifest.xml", obsah));
    EXPECT_EQ(ZachytitChybu([&] { m.UpdateServer(); }).Cislo(), cislo) << obsah;
  }
}

TEST_F(Slozka, SnapshotLinesHaveTheExactFormAndReadBackEqual) {
  SeznamSouboru l;
  l.Pridat("merko/app.exe", Zaznam("merko/app.exe", 1396246502, 512));
  l.Pridat("Účetní/data.cfg", Zaznam("Účetní/data.cfg", 0, 5'000'000'000));
  l.Pridat("a.txt", Zaznam("a.txt", 951782400, 0));
  // A read-only snapshot is replaced.
  ::chmod(s_.Zapsat("stav.snapshot", "stary").c_str(), 0444);
  sl_.UlozitSnapshot(s_ / "stav.snapshot", l);
  // Windows-1250 text with backslashes, CR LF and a trailing TAB.
  EXPECT_EQ(s_.Cist("stav.snapshot"),
            "merko\\app.exe\t2014-03-31 06:15:02\t512\t\r\n"
            "\xDA\xE8"
            "etn\xED\\data.cfg\t1970-01-01 00:00:00\t5000000000\t\r\n"
            "a.txt\t2000-02-29 00:00:00\t0\t\r\n");
  Cesty radky;
  for (const auto& p : sl_.NacistSnapshot(s_ / "stav.snapshot"))
    radky.push_back(p.hodnota->Cesta + "|" + std::to_string(p.hodnota->Datum) + "|" +
                    std::to_string(p.hodnota->Velikost) + "|" + p.hodnota->Jmeno);
  EXPECT_EQ(radky, (Cesty{"merko/app.exe|1396246502|512|", "Účetní/data.cfg|0|5000000000|",
                          "a.txt|951782400|0|"}));

  // Paths outside the code page keep the file UTF-8.
  SeznamSouboru u;
  u.Pridat("日本/x.txt", Zaznam("日本/x.txt", 0, 1));
  sl_.UlozitSnapshot(s_ / "u.snapshot", u);
  EXPECT_EQ(s_.Cist("u.snapshot"), "日本\\x.txt\t1970-01-01 00:00:00\t1\t\r\n");
  EXPECT_TRUE(sl_.NacistSnapshot(s_ / "u.snapshot").Obsahuje("日本/x.txt"));

  // A snapshot that cannot be created is only logged.
  EXPECT_NO_THROW(sl_.UlozitSnapshot(s_ / "neni/slozka.snapshot", l));
  EXPECT_FALSE(test::Existuje(s_ / "neni/slozka.snapshot"));
  EXPECT_NE(Log().find("InstalacniSlozka::UlozitSnapshot"), std::string::npos);
}

TEST_F(Slozka, SnapshotReaderAcceptsWhatWindowsPeersWriteAndRefusesTheMalformed) {
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

  const std::pair<const char*, std::int32_t> pripady[] = {
      {"a.txt\t2014-03-31 06:15:02\r\n", 9},
      {"a.txt\t2014-03-31 06:15:02\t1\t\r\n\r\nb.txt\t2014-03-31 06:15:02\t1\t\r\n", 9},
      {"a.txt\t31.03.2014\t1\t\r\n", 13},
      {"a.txt\t2014-03-31 06:15:02\t1 kB\t\r\n", 13},
      {"A.TXT\t2014-03-31 06:15:02\t1\t\r\na.txt\t2014-03-31 06:15:02\t1\t\r\n", 457},
      {"..\\..\\etc\\passwd\t2014-03-31 06:15:02\t1\t\r\n", kChybaUzivatele},
      {"merko\\..\\..\\x\t2014-03-31 06:15:02\t1\t\r\n", kChybaUzivatele},
      {"\\abs.txt\t2014-03-31 06:15:02\t1\t\r\n", kChybaUzivatele},
      {"C:\\abs.txt\t2014-03-31 06:15:02\t1\t\r\n", kChybaUzivatele}};
  for (auto [obsah, cislo] : pripady) {
    s_.Zapsat("zly.snapshot", obsah);
    Chyba c = ZachytitChybu([&] { sl_.NacistSnapshot(s_ / "zly.snapshot"); });
    EXPECT_EQ(c.Cislo(), cislo) << obsah;
    EXPECT_EQ(c.Zdroj(), "InstalacniSlozka::NacistSnapshot") << obsah;
  }
  EXPECT_NE(Log().find("InstalacniSlozka::NacistSnapshot\t457\t"), std::string::npos);

  ASSERT_EQ(::truncate((s_ / "zly.snapshot").c_str(), (16 << 20) + 1), 0);
  EXPECT_NE(ZachytitChybu([&] { sl_.NacistSnapshot(s_ / "zly.snapshot"); })
                .Popis()
                .find("je větší než povolených 16777216 bajtů."),
            std::string::npos);
}

TEST_F(Slozka, ComparisonGivesCopiesOfFilesNewOrChangedBeyondTwentyNineSeconds) {
  const UtcCas t = 1396246502;
  SeznamSouboru snapshot, mistni;
  struct {
    const char *mistni, *vSnapshotu;
    UtcCas posun;
    std::int64_t velikost;
  } pripady[] = {{"novy", nullptr, 0, 10},           {"STEJNY", "stejny", 0, 10},
                 {"novejsi29", "novejsi29", 29, 10}, {"novejsi30", "novejsi30", 30, 10},
                 {"starsi29", "starsi29", -29, 10},  {"vetsi", "vetsi", 0, 11}};
  for (auto [cesta, vSnapshotu, posun, velikost] : pripady) {
    if (vSnapshotu) snapshot.Pridat(vSnapshotu, Zaznam(vSnapshotu, t, 10));
    mistni.Pridat(cesta, Zaznam(cesta, t + posun, velikost));
  }
  snapshot.Pridat("jen_v_snapshotu", Zaznam("jen_v_snapshotu", t, 10));
  auto novy = mistni.Ziskat("novy");
  novy->Jmeno = "novy";
  novy->Downloaded = novy->Unzipped = true;

  SeznamSouboru r = sl_.PorovnatSnapshoty(snapshot, mistni);
  EXPECT_EQ(Poradi(r), (Cesty{"novy", "novejsi30", "vetsi"}));
  // Copies of the records without the transfer flags.
  auto kopie = r.Ziskat("novy");
  EXPECT_NE(kopie, novy);
  EXPECT_EQ(
      kopie->Jmeno + "|" + std::to_string(kopie->Datum) + "|" + std::to_string(kopie->Velikost),
      "novy|1396246502|10");
  EXPECT_FALSE(kopie->Downloaded || kopie->Unzipped);
  EXPECT_EQ(sl_.PorovnatSnapshoty(SeznamSouboru{}, mistni).Pocet(), mistni.Pocet());
}

TEST_F(Slozka, ScannedFolderComparesEqualToItsOwnSnapshot) {
  s_.Zapsat("inst/merko/app.exe", "abc");
  s_.Zapsat("inst/data/vzor.cfg", "abcd");
  s_.Zapsat("inst/readme.txt", "ab");
  sl_.NacistObsahSlozky(koren_);
  sl_.UlozitNormalniSouboryJakoSnapshot(s_ / "normalni.snapshot");
  sl_.UlozitJadroSystemuJakoSnapshot(s_ / "jadro.snapshot");
  sl_.UlozitVzoroveDatabazeJakoSnapshot(s_ / "vzory.snapshot");
  sl_.UlozitManifestyJakoSnapshot(s_ / "manifesty.snapshot");
  EXPECT_EQ(s_.Cist("manifesty.snapshot"), "");
  EXPECT_EQ(Poradi(sl_.NacistSnapshot(s_ / "jadro.snapshot")), Cesty{"merko/app.exe"});
  EXPECT_EQ(Poradi(sl_.NacistSnapshot(s_ / "vzory.snapshot")), Cesty{"data/vzor.cfg"});

  auto normalni = sl_.NacistSnapshot(s_ / "normalni.snapshot");
  EXPECT_TRUE(sl_.PorovnatSnapshot(normalni, NormalniSoubory).Prazdny());
  EXPECT_EQ(sl_.PorovnatSnapshot(normalni, VsechnySoubory).Pocet(), 2u);  // app.exe, vzor.cfg
  s_.Zapsat("inst/readme.txt", "abc");
  sl_.NacistObsahSlozky(koren_);
  EXPECT_EQ(Poradi(sl_.PorovnatSnapshot(normalni, NormalniSoubory)), Cesty{"readme.txt"});
  EXPECT_THROW(sl_.PorovnatSnapshot(normalni, 7), Chyba);
}

}  // namespace
}  // namespace zevlon
