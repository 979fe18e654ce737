// mZip32: the two operations on real files, the module state they leave, the
// callbacks' answers and the errors they log and raise; and interoperation with the
// Info-ZIP programs: archives that `zip` writes unpack here with the right bytes and
// times, archives written here pass `unzip -t` and unpack with `unzip` the same.
#include "transfer/mzip32.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "installers/pomoc_operaci.h"
#include "support/archivy.h"
#include "support/falesna_platforma.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"
#include "transfer/zip32_knihovna.h"

namespace zevlon {
namespace {

using namespace zip32;
using Jmena = std::vector<std::string>;
using test::Obsah;
using test::Polozky;
using test::Stav;

// Central European time, written out so that no time zone data is needed.
constexpr const char* kPraha = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";

std::string NahodnaData(std::size_t n, unsigned semeno) {
  std::mt19937 g(semeno);
  std::string data(n, '\0');
  for (auto& c : data)
    c = static_cast<char>(g() & 0xFF);
  return data;
}

// A DOS time as zip stores it: local time rounded up to even seconds.
UtcCas Dos(UtcCas t) {
  return (t + 1) & ~UtcCas{1};
}

// Runs f in a child process (module state of the parent untouched) and answers its
// exit status; f answers 0..255.
template <typename F>
int VPotomkovi(F f) {
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    int r = 255;
    try {
      r = f();
    } catch (...) {
    }
    ::_exit(r);
  }
  int stav = 0;
  ::waitpid(pid, &stav, 0);
  return WIFEXITED(stav) ? WEXITSTATUS(stav) : -1;
}

class MZip32 : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = sb / "Zevlon";
    if (const char* tz = std::getenv("TZ")) puvodniTz_ = tz;
    ::setenv("TZ", kPraha, 1);
    ::tzset();
  }
  void TearDown() override {
    puvodniTz_ ? ::setenv("TZ", puvodniTz_->c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
  }

  std::string Log() const {
    return test::Existuje(sb / "online_errors.log") ? sb.Cist("online_errors.log") : "";
  }

  // Runs a program in a folder with the given time zone and a UTF-8 locale; answers
  // its exit status and keeps what it printed in vystup_.
  int Spustit(Jmena argv, const std::string& slozka, const char* tz = kPraha) {
    argv.insert(argv.begin(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", slozka});
    auto v = test::Spustit(argv, {std::string("TZ=") + tz, "LC_ALL=C.UTF-8"});
    vystup_ = v.vystup;
    return v.kod;
  }

  // A small tree with a Czech name, an empty file, random data and odd times.
  void ZalozitStrom(const std::string& slozka) {
    sb.Zapsat(slozka + "/a.txt", std::string(10000, 'a') + "konec");
    sb.Zapsat(slozka + "/Účetní data.txt", "Faktura č. 7");
    sb.Zapsat(slozka + "/prazdny", "");
    sb.Zapsat(slozka + "/sub/b.bin", NahodnaData(100'000, 7));
    ::chmod((sb / (slozka + "/sub/b.bin")).c_str(), 0750);
    UtcCas t = kCas;
    for (auto j : kSoubory)
      test::NastavitCas(sb / (slozka + "/" + j), t += 1'001, 0);
    test::NastavitCas(sb / (slozka + "/sub"), kCas - 3'600, 0);
  }

  // Compares the tree unpacked into `cil` with the one in `zdroj`; `cas` turns a
  // source time into the expected one.
  template <typename Cas>
  void PorovnatStrom(const std::string& zdroj, const std::string& cil, Cas cas) {
    for (auto j : kSoubory) {
      std::string a = sb / (zdroj + "/" + j), b = sb / (cil + "/" + j);
      EXPECT_EQ(test::CistSoubor(b), test::CistSoubor(a)) << j;
      EXPECT_EQ(Stav(b).st_mtime, cas(Stav(a).st_mtime)) << j;
    }
    EXPECT_EQ(Stav(sb / (cil + "/sub/b.bin")).st_mode & 0777, 0750u);
  }

  static constexpr UtcCas kCas = 1'700'000'001;
  static constexpr const char* kSoubory[] = {"a.txt", "Účetní data.txt", "prazdny", "sub/b.bin"};

  test::Sandbox sb;
  test::FalesnaPlatforma platforma_;
  std::optional<std::string> puvodniTz_;
  std::string vystup_;
};

// ----- Packing ----------------------------------------------------------------------

TEST_F(MZip32, FileAndBackGivesTheSameBytesAndTime) {
  std::string obsah = NahodnaData(1 << 20, 1);
  std::string zdroj = sb.Zapsat("data/Účetní data.bin", obsah);
  test::NastavitCas(zdroj, 1'700'000'001, 987'654'321);

  EXPECT_EQ(ZazipovatJednoduse(zdroj, "", true, "", false), 0);

  // The archive is named after the file and holds its bare name.
  EXPECT_EQ(Polozky(zdroj + ".zip"), Jmena{"Účetní data.bin"});
  EXPECT_EQ(std::string(ZpGetOptions().szRootDir), sb / "data/");

  EXPECT_EQ(RozzipovatJednoduse(zdroj + ".zip", sb / "cil", 0, ""), 0);
  EXPECT_EQ(sb.Cist("cil/Účetní data.bin"), obsah);
  EXPECT_EQ(Stav(sb / "cil/Účetní data.bin").st_mtime, 1'700'000'001);
  EXPECT_EQ(mzip32::Stav().knihovny, (std::array<bool, 2>{true, true}));
  EXPECT_EQ(Log(), "");
}

TEST_F(MZip32, FolderArchivePassesUnzipAndUnpacksTheSameEverywhere) {
  ZalozitStrom("zdroj");
  sb.Zapsat("zdroj/.skryty", "s");
  ::symlink("a.txt", (sb / "zdroj/odkaz.txt").c_str());

  // Paths relative to the folder, hidden files in, a link to a file taken as the file.
  EXPECT_EQ(ZazipovatJednoduse(sb / "zdroj/", "", true, "", false), 0);
  EXPECT_EQ(std::string(ZpGetOptions().szRootDir), sb / "zdroj");
  EXPECT_EQ(Polozky(sb / "zdroj.zip"),
            (Jmena{".skryty", "a.txt", "odkaz.txt", "prazdny", "sub/b.bin", "Účetní data.txt"}));
  ASSERT_EQ(ZazipovatJednoduse(sb / "zdroj", "", true, "", false), 0);
  EXPECT_EQ(Polozky(sb / "zdroj.zip").size(), 6u);

  EXPECT_EQ(Spustit({"unzip", "-t", sb / "zdroj.zip"}, sb.Cesta()), 0) << vystup_;
  // unzip takes the UTC field too, in any zone.
  ASSERT_EQ(Spustit({"unzip", "-o", "-d", sb / "cil", sb / "zdroj.zip"}, sb.Cesta(), kNewYork), 0)
      << vystup_;
  PorovnatStrom("zdroj", "cil", [](UtcCas t) { return t; });
  // The DOS fields hold local time rounded up to even seconds, beside the UT field.
  ASSERT_EQ(Spustit({"zipinfo", "-v", sb / "zdroj.zip", "sub/b.bin"}, sb.Cesta()), 0);
  time_t dos = Dos(Stav(sb / "zdroj/sub/b.bin").st_mtime);
  char cas[32];
  std::strftime(cas, sizeof cas, "%Y %b %d %H:%M:%S", std::localtime(&dos));
  auto p = vystup_.find("(DOS date/time):");
  ASSERT_NE(p, std::string::npos) << vystup_;
  EXPECT_EQ(vystup_.substr(vystup_.find_first_not_of(' ', p + 16), 20), cas) << vystup_;
  EXPECT_NE(vystup_.find("UT extra field modtime"), std::string::npos) << vystup_;

  EXPECT_EQ(RozzipovatJednoduse(sb / "zdroj.zip", sb / "nase", 1, ""), 0);
  PorovnatStrom("zdroj", "nase", [](UtcCas t) { return t; });
  EXPECT_EQ(sb.Cist("nase/odkaz.txt"), sb.Cist("zdroj/a.txt"));
  EXPECT_EQ(sb.Cist("nase/.skryty"), "s");
}

TEST_F(MZip32, AtMost1024FolderEntriesFitTheNameList) {
  for (int i = 0; i < 1024; ++i)
    sb.Zapsat("plna/" + std::to_string(i) + ".txt", "");
  EXPECT_EQ(ZazipovatJednoduse(sb / "plna", "", true, "", false), 0);
  EXPECT_EQ(Polozky(sb / "plna.zip").size(), 1024u);

  sb.Zapsat("plna/navic.txt", "");
  Chyba c =
      test::ZachytitChybu([&] { ZazipovatJednoduse(sb / "plna", sb / "x.zip", true, "", false); });
  EXPECT_EQ(c.Cislo(), kod::kIndexMimoRozsah);
  EXPECT_EQ(c.Zdroj(), kZdrojZazipovat);
  EXPECT_FALSE(test::Existuje(sb / "x.zip"));
  EXPECT_NE(Log().find("\tmZip32::ZazipovatJednoduse\t9\tIndex mimo rozsah\r\n"), std::string::npos)
      << Log();
}

TEST_F(MZip32, ReplaceFalseUpdatesTheArchiveAndTrueBuildsItAnew) {
  std::string a = sb.Zapsat("a.txt", "a"), b = sb.Zapsat("b.txt", "b"), archiv = sb / "x.zip";
  ASSERT_EQ(ZazipovatJednoduse(a, archiv, true, "", false), 0);
  EXPECT_EQ(ZazipovatJednoduse(b, archiv, false, "", false), 0);
  EXPECT_EQ(ZpGetOptions().fUpdate, 1);
  EXPECT_EQ(Polozky(archiv), (Jmena{"a.txt", "b.txt"}));

  EXPECT_EQ(ZazipovatJednoduse(b, archiv, true, "", false), 0);
  EXPECT_EQ(ZpGetOptions().fUpdate, 0);
  EXPECT_EQ(Polozky(archiv), Jmena{"b.txt"});
}

TEST_F(MZip32, AnArchiveThatCannotBeDeletedIsLoggedAndRaised) {
  std::string soubor = sb.Zapsat("zamcena/data.txt", "x");
  std::string archiv = sb.Zapsat("zamcena/data.txt.zip", "starý archiv");
  sb.Vytvorit("program");
  platforma_.program = sb / "program/Zevlon";
  test::PredatNeprivilegovanemu(sb / "program");
  ASSERT_TRUE(test::ZpristupnitSandbox(sb));
  ::chmod((sb / "zamcena").c_str(), 0555);

  int vysledek = VPotomkovi([&] {
    if (::geteuid() == 0) {
      gid_t g = test::NeprivilegovanaGid();
      uid_t u = test::NeprivilegovanyUid();
      if (::setgroups(0, nullptr) != 0 || ::setresgid(g, g, g) != 0 || ::setresuid(u, u, u) != 0)
        return 250;
    }
    try {
      ZazipovatJednoduse(soubor, archiv, true, "", false);
    } catch (const Chyba& c) {
      return c.Zdroj() == kZdrojZazipovat ? c.Cislo() : 251;
    }
    return 252;
  });

  EXPECT_EQ(vysledek, kod::kPristupOdepren);
  EXPECT_EQ(sb.Cist("zamcena/data.txt.zip"), "starý archiv");
  std::string log = sb.Cist("program/online_errors.log");
  EXPECT_NE(log.find("\tmZip32::ZazipovatJednoduse\t70\t"), std::string::npos) << log;
}

TEST_F(MZip32, MissingSourceOrArchiveGivesACodeAndLogsNothing) {
  EXPECT_EQ(ZazipovatJednoduse(sb / "chybi.txt", "", true, "", false), kZdrojNeexistuje);
  EXPECT_EQ(ZazipovatJednoduse(sb / "chybi/", sb / "x.zip", true, "", false), kZdrojNeexistuje);

  EXPECT_EQ(RozzipovatJednoduse(sb / "chybi.zip", sb / "cil", 1, ""), PK_NOZIP);
  EXPECT_NE(mzip32::Stav().textTisku.find("chybi.zip"), std::string::npos);
  sb.Zapsat("text.zip", "Tohle není archiv, ale obyčejný dopis o několika slovech.");
  EXPECT_EQ(RozzipovatJednoduse(sb / "text.zip", sb / "cil", 1, ""), PK_NOZIP);
  // The print text is that of the last call only.
  EXPECT_EQ(mzip32::Stav().textTisku.find("chybi.zip"), std::string::npos);
  EXPECT_EQ(Obsah(sb.Cesta()), Jmena{"text.zip"});
}

// ----- Unpacking --------------------------------------------------------------------

TEST_F(MZip32, UnpacksBesideTheArchiveAndReplacesWhateverTheOverwriteArgument) {
  std::string zdroj = sb.Zapsat("zdroj/a.txt", "nový");
  sb.Vytvorit("balik");
  ASSERT_EQ(ZazipovatJednoduse(zdroj, sb / "balik/a.zip", true, "", false), 0);
  EXPECT_EQ(RozzipovatJednoduse(sb / "balik/a.zip", "   ", 0, ""), 0);
  EXPECT_EQ(sb.Cist("balik/a.txt"), "nový");
  EXPECT_EQ(mzip32::Stav().extractDir, sb / "balik/");

  for (std::int16_t prepsat : {0, 1, -1}) {
    sb.Zapsat("balik/a.txt", "starý");
    EXPECT_EQ(RozzipovatJednoduse(sb / "balik/a.zip", sb / "balik", prepsat, ""), 0);
    EXPECT_EQ(sb.Cist("balik/a.txt"), "nový") << prepsat;
    EXPECT_EQ(mzip32::Stav().volby.noflag, prepsat != 0 ? 1 : 0);
    EXPECT_EQ(mzip32::Stav().volby.ndflag, 1);
  }
  EXPECT_EQ(mzip32::UnzipNahradit(nullptr, 0), IDM_REPLACE_ALL);
}

TEST_F(MZip32, PasswordEncryptsForUnzipAndTheSamePasswordUnpacks) {
  std::string zdroj = sb.Zapsat("a.txt", NahodnaData(300'000, 3));
  bool sifrovany = false;
  ASSERT_EQ(ZazipovatJednoduse(zdroj, "", true, "Heslo 1", false), 0);
  EXPECT_EQ(Polozky(sb / "a.txt.zip", &sifrovany).size(), 1u);
  EXPECT_TRUE(sifrovany);
  EXPECT_TRUE(mzip32::Stav().zipHesloZadano);
  EXPECT_EQ(ZpGetOptions().fEncrypt, 1);
  EXPECT_EQ(RozzipovatJednoduse(sb / "a.txt.zip", sb / "cil", 0, "Heslo 1"), 0);
  EXPECT_EQ(sb.Cist("cil/a.txt"), sb.Cist("a.txt"));
  EXPECT_EQ(Spustit({"unzip", "-P", "Heslo 1", "-t", sb / "a.txt.zip"}, sb.Cesta()), 0) << vystup_;
  EXPECT_NE(Spustit({"unzip", "-P", "jine", "-t", sb / "a.txt.zip"}, sb.Cesta()), 0);
  ASSERT_EQ(Spustit({"unzip", "-P", "Heslo 1", "-d", sb / "iz", sb / "a.txt.zip"}, sb.Cesta()), 0);
  EXPECT_EQ(sb.Cist("iz/a.txt"), sb.Cist("a.txt"));

  // The zip callback fills the whole buffer.
  char buf[12];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(mzip32::ZipHeslo(buf, sizeof buf, "", ""), 0);
  EXPECT_EQ(std::string(buf, sizeof buf), std::string("Heslo 1") + std::string(5, '\0'));

  // Without a password: no encryption, flags cleared, the stored password kept.
  ASSERT_EQ(ZazipovatJednoduse(zdroj, sb / "b.zip", true, "", false), 0);
  EXPECT_EQ(Polozky(sb / "b.zip", &sifrovany).size(), 1u);
  EXPECT_FALSE(sifrovany);
  EXPECT_FALSE(mzip32::Stav().zipHesloZadano);
  EXPECT_EQ(mzip32::Stav().heslo, "Heslo 1");

  // An unzip call stores an empty password; the zip callback then declines for good.
  RozzipovatJednoduse(sb / "chybi.zip", "", 0, "");
  std::memset(buf, 'x', sizeof buf);
  EXPECT_NE(mzip32::ZipHeslo(buf, sizeof buf, "", ""), 0);
  EXPECT_TRUE(mzip32::Stav().zipHesloOdmitnuto);
  EXPECT_EQ(buf[0], 'x');
}

TEST_F(MZip32, UnzipDeclinedFlagStaysSetForLaterExtractions) {
  sb.Zapsat("zdroj/a.txt", "tajná zpráva");
  ASSERT_EQ(Spustit({"zip", "-q", "-P", "tajne", sb / "x.zip", "a.txt"}, sb / "zdroj"), 0);
  EXPECT_EQ(RozzipovatJednoduse(sb / "x.zip", sb / "cil", 0, "tajne"), 0);
  EXPECT_EQ(sb.Cist("cil/a.txt"), "tajná zpráva");
  // In a child process: the flag is process-wide and never reset.
  int vysledek = VPotomkovi([&] {
    int bity = 0;
    if (RozzipovatJednoduse(sb / "x.zip", sb / "jinam", 0, "") == IZ_BADPWD) bity |= 1;
    if (mzip32::Stav().unzipHesloOdmitnuto) bity |= 2;
    if (RozzipovatJednoduse(sb / "x.zip", sb / "jinam", 0, "tajne") == IZ_BADPWD) bity |= 4;
    if (!test::Existuje(sb / "jinam/a.txt")) bity |= 8;
    return bity;
  });
  EXPECT_EQ(vysledek, 15);
  EXPECT_FALSE(mzip32::Stav().unzipHesloOdmitnuto);
}

// ----- Archives written by zip ------------------------------------------------------

struct Volby {
  Jmena argumenty;
  bool utPole;  // the archive carries the extended time stamp
  const char* tz = kPraha;
  int posunHodin = 0;  // how far behind Prague the zone is
};

void PrintTo(const Volby& v, std::ostream* os) {
  *os << ::testing::PrintToString(v.argumenty) << (v.posunHodin ? " in New York" : "");
}

class ArchivZipu : public MZip32, public ::testing::WithParamInterface<Volby> {};

TEST_P(ArchivZipu, UnpacksWithTheRightBytesAndTimes) {
  const auto& [argumenty, ut, tz, posunHodin] = GetParam();
  ZalozitStrom("zdroj");
  Jmena prikaz = {"zip", "-q", "-r"};
  prikaz.insert(prikaz.end(), argumenty.begin(), argumenty.end());
  prikaz.insert(prikaz.end(), {sb / "x.zip", "."});
  ASSERT_EQ(Spustit(prikaz, sb / "zdroj", tz), 0) << vystup_;

  // The DOS fields hold the local time of the zone zip ran in (New York: six hours off).
  zip_t* za = zip_open((sb / "x.zip").c_str(), ZIP_RDONLY, nullptr);
  ASSERT_NE(za, nullptr);
  zip_stat_t st;
  ASSERT_EQ(zip_stat(za, "a.txt", 0, &st), 0);
  zip_discard(za);
  EXPECT_EQ(st.mtime, Dos(Stav(sb / "zdroj/a.txt").st_mtime) - posunHodin * 3600);

  EXPECT_EQ(RozzipovatJednoduse(sb / "x.zip", sb / "cil", 0, ""), 0) << mzip32::Stav().textTisku;

  // The UT field wins; without it the DOS time counts, read as local time.
  auto cas = [ut](UtcCas t) { return ut ? t : Dos(t); };
  PorovnatStrom("zdroj", "cil", cas);
  EXPECT_EQ(Stav(sb / "cil/sub").st_mtime, cas(kCas - 3'600));
}

INSTANTIATE_TEST_SUITE_P(MZip32, ArchivZipu,
                         ::testing::Values(Volby{{}, true}, Volby{{"-0"}, true},
                                           Volby{{}, true, kNewYork, 6}, Volby{{"-X"}, false},
                                           Volby{{"-X", "-0"}, false}));

TEST_F(MZip32, SymbolicLinkEntryRefusesTheWholeArchive) {
  sb.Zapsat("zdroj/a.txt", "a");
  sb.Zapsat("venku.txt", "mimo");
  ASSERT_EQ(::symlink("../venku.txt", (sb / "zdroj/odkaz").c_str()), 0);
  ASSERT_EQ(Spustit({"zip", "-q", "-y", sb / "x.zip", "a.txt", "odkaz"}, sb / "zdroj"), 0);
  std::string cil = sb.Vytvorit("cil");
  auto predtim = Obsah(sb.Cesta());

  EXPECT_EQ(RozzipovatJednoduse(sb / "x.zip", cil, 1, ""), PK_BADERR);
  EXPECT_TRUE(Obsah(cil).empty());
  EXPECT_EQ(Obsah(sb.Cesta()), predtim);
  EXPECT_EQ(sb.Cist("venku.txt"), "mimo");
}

// ----- Callbacks --------------------------------------------------------------------

TEST_F(MZip32, ListingLinesAreEightyCharactersUnderAHeaderAndPrintStopsAtAZero) {
  RozzipovatJednoduse(sb / "chybi.zip", "", 0, "");  // counter back to 0
  EXPECT_EQ(mzip32::Stav().pocetVypsanych, 0);
  mzip32::UnzipZprava(1250, 600, 52, 9, 13, 20, 12, 26, ' ', "Účetní data.txt", "Defl:N", 0, ' ');
  mzip32::UnzipZprava(7, 7, 0, 1, 2, 3, 4, 5, ' ', std::string(300, 'n').c_str(), "Stored", 0, ' ');
  EXPECT_EQ(mzip32::Stav().pocetVypsanych, 2);

  Jmena radky;
  std::string text = mzip32::Stav().textVypisu;
  for (std::size_t p; (p = text.find("\r\n")) != std::string::npos; text.erase(0, p + 2))
    radky.push_back(text.substr(0, p));
  EXPECT_EQ(text, "");
  ASSERT_EQ(radky.size(), 3u);
  for (const auto& r : radky)  // characters, not bytes
    EXPECT_EQ(std::count_if(r.begin(), r.end(), [](char c) { return (c & 0xC0) != 0x80; }),
              static_cast<long>(mzip32::kSirkaRadkuVypisu))
        << r;
  EXPECT_EQ(radky[0].rfind("Filename:", 0), 0u);
  for (auto titulek : {"Size", "Date", "Time"})
    EXPECT_NE(radky[0].find(titulek), std::string::npos);
  EXPECT_EQ(radky[1].rfind("Účetní data.txt ", 0), 0u);
  EXPECT_NE(radky[1].find(" 1250  09/13/20  12:26"), std::string::npos);
  EXPECT_EQ(radky[2].rfind(std::string(49, 'n') + " ", 0), 0u);
  EXPECT_NE(radky[2].find(" 7  01/02/03  04:05"), std::string::npos);

  std::string pred = mzip32::Stav().textTisku;
  char zprava[] = "první\0skryté";
  mzip32::UnzipTisk(zprava, sizeof zprava - 1);
  char delsi[] = "abcdef";
  mzip32::UnzipTisk(delsi, 3);
  EXPECT_EQ(mzip32::Stav().textTisku, pred + "prvníabc");
  EXPECT_EQ(mzip32::ZipSluzba("x", 1), 0);
  EXPECT_EQ(mzip32::UnzipSluzba("x", 1), 0);
}

}  // namespace
}  // namespace zevlon
