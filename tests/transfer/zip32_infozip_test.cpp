// Interoperation with the Info-ZIP programs: archives that `zip` writes unpack here
// with the right bytes and times, and archives written here pass `unzip -t` and
// unpack with `unzip` to the same bytes and times.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "installers/pomoc_operaci.h"
#include "support/falesna_platforma.h"
#include "support/sandbox.h"
#include "transfer/mzip32.h"
#include "transfer/zip32_zaznamy.h"

extern char** environ;

namespace zevlon {
namespace {

using test::Sandbox;

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

std::vector<std::string> Obsah(const std::string& slozka) {
  std::vector<std::string> jmena;
  for (const auto& e : std::filesystem::recursive_directory_iterator(slozka))
    jmena.push_back(std::filesystem::relative(e.path(), slozka).string());
  std::sort(jmena.begin(), jmena.end());
  return jmena;
}

class InfoZip : public ::testing::Test {
 protected:
  void SetUp() override {
    platforma_.program = vystupy_ / "Zevlon";
    const char* tz = std::getenv("TZ");
    if (tz) puvodniTz_ = tz;
    ::setenv("TZ", kPraha, 1);
    ::tzset();
  }
  void TearDown() override {
    puvodniTz_ ? ::setenv("TZ", puvodniTz_->c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
  }

  // Runs a program in a folder with the given time zone and a UTF-8 locale; answers
  // its exit status. What it printed is kept in vystup_.
  int Spustit(const std::vector<std::string>& argumenty, const std::string& slozka,
              const char* tz = kPraha) {
    std::string soubor = vystupy_ / "vystup.txt";
    posix_spawn_file_actions_t akce;
    posix_spawn_file_actions_init(&akce);
    posix_spawn_file_actions_addchdir_np(&akce, slozka.c_str());
    posix_spawn_file_actions_addopen(&akce, 1, soubor.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&akce, 1, 2);
    std::vector<std::string> prostredi;
    for (char** e = environ; *e; ++e) {
      std::string s = *e;
      if (s.rfind("TZ=", 0) != 0 && s.rfind("LC_ALL=", 0) != 0) prostredi.push_back(s);
    }
    prostredi.push_back(std::string("TZ=") + tz);
    prostredi.push_back("LC_ALL=C.UTF-8");
    std::vector<char*> argv, envp;
    std::vector<std::string> kopie = argumenty;
    for (auto& a : kopie)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : prostredi)
      envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    int r = posix_spawnp(&pid, argv[0], &akce, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&akce);
    if (r != 0) return -1;
    int stav = 0;
    ::waitpid(pid, &stav, 0);
    vystup_ = test::CistSoubor(soubor);
    return WIFEXITED(stav) ? WEXITSTATUS(stav) : -1;
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
      EXPECT_EQ(test::Stav(b).st_mtime, cas(test::Stav(a).st_mtime)) << j;
    }
    EXPECT_EQ(test::Stav(sb / (cil + "/sub/b.bin")).st_mode & 0777, 0750u);
  }

  static constexpr UtcCas kCas = 1'700'000'001;
  static constexpr const char* kSoubory[] = {"a.txt", "Účetní data.txt", "prazdny", "sub/b.bin"};

  Sandbox sb;
  Sandbox vystupy_;
  test::FalesnaPlatforma platforma_;
  std::optional<std::string> puvodniTz_;
  std::string vystup_;
};

// ----- Archives written by zip ------------------------------------------------------

struct Volby {
  std::vector<std::string> argumenty;
  bool utPole;  // the archive carries the extended time stamp
};

void PrintTo(const Volby& v, std::ostream* os) {
  *os << "zip -r";
  for (const auto& a : v.argumenty)
    *os << " " << a;
}

class ArchivZipu : public InfoZip, public ::testing::WithParamInterface<Volby> {};

TEST_P(ArchivZipu, UnpacksWithTheRightBytesAndTimes) {
  ZalozitStrom("zdroj");
  std::vector<std::string> prikaz = {"zip", "-q", "-r"};
  prikaz.insert(prikaz.end(), GetParam().argumenty.begin(), GetParam().argumenty.end());
  prikaz.insert(prikaz.end(), {sb / "x.zip", "."});
  ASSERT_EQ(Spustit(prikaz, sb / "zdroj"), 0) << vystup_;

  EXPECT_EQ(RozzipovatJednoduse(sb / "x.zip", sb / "cil", 0, ""), 0) << mzip32::Stav().textTisku;

  // Without the UT field the DOS time counts, read as local time (2-second steps).
  bool ut = GetParam().utPole;
  auto cas = [ut](UtcCas t) { return ut ? t : (t + 1) & ~UtcCas{1}; };
  PorovnatStrom("zdroj", "cil", cas);
  EXPECT_EQ(test::Stav(sb / "cil/sub").st_mtime, cas(kCas - 3'600));
}

INSTANTIATE_TEST_SUITE_P(InfoZip, ArchivZipu,
                         ::testing::Values(Volby{{}, true}, Volby{{"-0"}, true},
                                           Volby{{"-X"}, false}, Volby{{"-X", "-0"}, false}));

TEST_F(InfoZip, TheUtcFieldWinsOverDosTimeWrittenInAnotherZone) {
  ZalozitStrom("zdroj");
  ASSERT_EQ(Spustit({"zip", "-q", "-r", sb / "x.zip", "."}, sb / "zdroj", kNewYork), 0);

  // The DOS fields hold New York time: read here they are six hours off.
  zip_t* za = zip_open((sb / "x.zip").c_str(), ZIP_RDONLY, nullptr);
  ASSERT_NE(za, nullptr);
  zip_stat_t st;
  ASSERT_EQ(zip_stat(za, "a.txt", 0, &st), 0);
  UtcCas t = test::Stav(sb / "zdroj/a.txt").st_mtime;
  EXPECT_EQ(st.mtime, ((t + 1) & ~UtcCas{1}) - 6 * 3600);
  zip_discard(za);

  EXPECT_EQ(RozzipovatJednoduse(sb / "x.zip", sb / "cil", 0, ""), 0);
  PorovnatStrom("zdroj", "cil", [](UtcCas t) { return t; });
}

TEST_F(InfoZip, ZipPasswordArchiveOpensWithThePassword) {
  sb.Zapsat("zdroj/a.txt", "tajná zpráva");
  ASSERT_EQ(Spustit({"zip", "-q", "-P", "Heslo 9", sb / "x.zip", "a.txt"}, sb / "zdroj"), 0);
  EXPECT_EQ(RozzipovatJednoduse(sb / "x.zip", sb / "cil", 0, "Heslo 9"), 0);
  EXPECT_EQ(sb.Cist("cil/a.txt"), "tajná zpráva");
}

TEST_F(InfoZip, SymbolicLinkEntryRefusesTheWholeArchive) {
  sb.Zapsat("zdroj/a.txt", "a");
  sb.Zapsat("venku.txt", "mimo");
  ASSERT_EQ(::symlink("../venku.txt", (sb / "zdroj/odkaz").c_str()), 0);
  ASSERT_EQ(Spustit({"zip", "-q", "-y", sb / "x.zip", "a.txt", "odkaz"}, sb / "zdroj"), 0);
  std::string cil = sb.Vytvorit("cil");
  auto predtim = Obsah(sb.Cesta());

  EXPECT_EQ(RozzipovatJednoduse(sb / "x.zip", cil, 1, ""), zip32::PK_BADERR);

  EXPECT_TRUE(Obsah(cil).empty());
  EXPECT_EQ(Obsah(sb.Cesta()), predtim);
  EXPECT_EQ(sb.Cist("venku.txt"), "mimo");
}

// ----- Archives written here --------------------------------------------------------

TEST_F(InfoZip, OurFolderArchivePassesUnzipAndUnpacksTheSame) {
  ZalozitStrom("zdroj");
  ASSERT_EQ(ZazipovatJednoduse(sb / "zdroj", "", true, "", false), 0);

  EXPECT_EQ(Spustit({"unzip", "-t", sb / "zdroj.zip"}, sb.Cesta()), 0) << vystup_;
  // Unpacked in another zone: unzip takes the UTC field too.
  ASSERT_EQ(Spustit({"unzip", "-o", "-d", sb / "cil", sb / "zdroj.zip"}, sb.Cesta(), kNewYork), 0)
      << vystup_;
  PorovnatStrom("zdroj", "cil", [](UtcCas t) { return t; });
}

TEST_F(InfoZip, OurDosTimeIsLocalTimeAsUnzipReadsItWithoutTheUtcField) {
  ZalozitStrom("zdroj");
  ASSERT_EQ(ZazipovatJednoduse(sb / "zdroj/a.txt", sb / "a.zip", true, "", false), 0);
  // -X makes unzip ignore the extra fields: only the DOS time (local, rounded up).
  ASSERT_EQ(Spustit({"unzip", "-X", "-o", "-d", sb / "cil", sb / "a.zip"}, sb.Cesta()), 0);
  ASSERT_EQ(Spustit({"zipinfo", "-v", sb / "a.zip"}, sb.Cesta()), 0);
  EXPECT_NE(vystup_.find("UT extra field modtime"), std::string::npos) << vystup_;
  UtcCas t = test::Stav(sb / "zdroj/a.txt").st_mtime;
  EXPECT_EQ(test::Stav(sb / "cil/a.txt").st_mtime, (t + 1) & ~UtcCas{1});
}

TEST_F(InfoZip, OurEncryptedArchivePassesUnzipWithThePassword) {
  std::string a = sb.Zapsat("a.txt", NahodnaData(300'000, 3));
  ASSERT_EQ(ZazipovatJednoduse(a, "", true, "Heslo 9", false), 0);
  EXPECT_EQ(Spustit({"unzip", "-P", "Heslo 9", "-t", sb / "a.txt.zip"}, sb.Cesta()), 0) << vystup_;
  EXPECT_NE(Spustit({"unzip", "-P", "jine", "-t", sb / "a.txt.zip"}, sb.Cesta()), 0);
  ASSERT_EQ(Spustit({"unzip", "-P", "Heslo 9", "-d", sb / "cil", sb / "a.txt.zip"}, sb.Cesta()), 0);
  EXPECT_EQ(sb.Cist("cil/a.txt"), sb.Cist("a.txt"));
}

}  // namespace
}  // namespace zevlon
