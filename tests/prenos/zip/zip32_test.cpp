// The unzip layer driven with recording callbacks on archives built with libzip, and
// mZip32's two operations on real files: errors, callbacks' answers, and interop with
// the Info-ZIP programs both ways with the right bytes and times.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "prenos/zip/mzip32.h"
#include "prenos/zip/zip32_knihovna.h"
#include "soubory/pomoc_operaci.h"
#include "support/archivy.h"
#include "support/falesna_platforma.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using namespace zip32;
using Jmena = std::vector<std::string>;
using test::CistSoubor;
using test::Existuje;
using test::Obsah;
using test::Polozky;
using test::Stav;

// Central European time, written out so that no time zone data is needed.
constexpr const char* kPraha = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";

// A DOS time as zip stores it: local time rounded up to even seconds.
UtcCas Dos(UtcCas t) {
  return (t + 1) & ~UtcCas{1};
}

// One entry of an archive built with libzip; a name ending with "/" is a folder.
struct Vstup {
  std::string jmeno;
  std::string obsah = {};
  std::optional<std::uint32_t> rezim = {};  // mode bits as made on Unix; 0: on MS-DOS
  bool ulozit = false;                      // stored, not deflated
  std::optional<std::string> aes = {};      // AES-256 password
};

void VytvoritArchiv(const std::string& cesta, const std::vector<Vstup>& vstupy) {
  zip_t* za = zip_open(cesta.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
  ASSERT_NE(za, nullptr);
  for (const auto& v : vstupy) {
    zip_int64_t i = v.jmeno.back() == '/'
                        ? zip_dir_add(za, v.jmeno.c_str(), ZIP_FL_ENC_RAW)
                        : zip_file_add(za, v.jmeno.c_str(),
                                       zip_source_buffer(za, v.obsah.data(), v.obsah.size(), 0),
                                       ZIP_FL_ENC_RAW);
    ASSERT_GE(i, 0) << v.jmeno << ": " << zip_strerror(za);
    auto idx = static_cast<zip_uint64_t>(i);
    if (v.ulozit) zip_set_file_compression(za, idx, ZIP_CM_STORE, 0);
    if (v.rezim)
      zip_file_set_external_attributes(za, idx, 0, *v.rezim ? ZIP_OPSYS_UNIX : ZIP_OPSYS_DOS,
                                       *v.rezim << 16);
    ASSERT_TRUE(!v.aes || zip_file_set_encryption(za, idx, ZIP_EM_AES_256, v.aes->c_str()) == 0);
  }
  ASSERT_EQ(zip_close(za), 0) << zip_strerror(za);
}

// What the recording unzip callbacks saw, and the replace callback's scripted answers.
struct Zaznamy {
  std::string tisk;
  Jmena nahrazeni;                    // paths the replace callback was asked about
  std::deque<int> odpovediNahrazeni;  // IDM_REPLACE_NO when none is left
} z;

int Tisk(char* buf, unsigned long n) {
  z.tisk.append(buf, n);
  return static_cast<int>(n);
}
int Nahradit(char* jmeno, unsigned) {
  z.nahrazeni.emplace_back(jmeno);
  if (z.odpovediNahrazeni.empty()) return IDM_REPLACE_NO;
  int o = z.odpovediNahrazeni.front();
  z.odpovediNahrazeni.pop_front();
  return o;
}

// Runs f (answering 0..255) in a child process and answers its exit status.
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

class Zip32 : public ::testing::Test {
 protected:
  void SetUp() override {
    z = Zaznamy{};
    platforma_.program = sb / "Zevlon";
    if (const char* tz = std::getenv("TZ")) puvodniTz_ = tz;
    ::setenv("TZ", kPraha, 1);
    ::tzset();
  }
  void TearDown() override {
    puvodniTz_ ? ::setenv("TZ", puvodniTz_->c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
  }

  // Wiz_SingleEntryUnzip of the whole archive with the recording callbacks.
  int Rozbalit(const std::string& archiv, const std::string& cil, DCLIST d = {.ndflag = 1}) {
    d.Zip = archiv.c_str();
    d.ExtractDir = cil.c_str();
    const char* nic[] = {nullptr};
    USERFUNCTION f{Tisk, nullptr, Nahradit, nullptr, nullptr, nullptr};
    return Wiz_SingleEntryUnzip(0, nic, 0, nic, &d, &f);
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
    std::string data;
    for (unsigned i = 0; i < 100'000; ++i)
      data += static_cast<char>(i * 2654435761u >> 24);
    sb.Zapsat(slozka + "/a.txt", std::string(10000, 'a') + "konec");
    sb.Zapsat(slozka + "/Účetní data.txt", "Faktura č. 7");
    sb.Zapsat(slozka + "/prazdny", "");
    sb.Zapsat(slozka + "/sub/b.bin", data);
    ::chmod((sb / (slozka + "/sub/b.bin")).c_str(), 0750);
    UtcCas t = 1'700'000'001;
    for (auto j : kSoubory)
      test::NastavitCas(sb / (slozka + "/" + j), t += 1'001, 0);
  }

  // Compares the tree unpacked into `cil` with the one in `zdroj`; `cas` turns a
  // source time into the expected one.
  template <typename Cas>
  void PorovnatStrom(const std::string& zdroj, const std::string& cil, Cas cas) {
    for (auto j : kSoubory) {
      std::string a = sb / (zdroj + "/" + j), b = sb / (cil + "/" + j);
      EXPECT_EQ(CistSoubor(b), CistSoubor(a)) << j;
      EXPECT_EQ(Stav(b).st_mtime, cas(Stav(a).st_mtime)) << j;
    }
    EXPECT_EQ(Stav(sb / (cil + "/sub/b.bin")).st_mode & 0777, 0750u);
  }

  static constexpr const char* kSoubory[] = {"a.txt", "Účetní data.txt", "prazdny", "sub/b.bin"};

  test::Sandbox sb;
  test::FalesnaPlatforma platforma_;
  std::optional<std::string> puvodniTz_;
  std::string vystup_;
};
using MZip32 = Zip32;

TEST_F(Zip32, UnsafeArchivesWriteNothingAnywhere) {
  std::string cil = sb.Vytvorit("cil/hloubka");
  for (const Vstup& zly : std::vector<Vstup>{{"../evil.txt", "x"},
                                             {"/abs.txt", "x"},
                                             {"a/../../x", "x"},
                                             {"..\\..\\evil.txt", "x"},
                                             {"C:/windows/x.txt", "x"},
                                             {"slozka/odkaz", "../../x", S_IFLNK | 0777u}}) {
    SCOPED_TRACE(zly.jmeno);
    VytvoritArchiv(sb / "zly.zip", {{"dobry.txt", "ok"}, {"slozka/"}, zly});
    auto predtim = Obsah(sb.Cesta());
    z.tisk.clear();
    EXPECT_EQ(Rozbalit(sb / "zly.zip", cil), PK_BADERR);
    EXPECT_EQ(Obsah(sb.Cesta()), predtim);
    EXPECT_FALSE(Existuje("/abs.txt"));
    EXPECT_NE(z.tisk.find("unsafe entry refused"), std::string::npos);
  }
}

TEST_F(Zip32, OverwriteFlagAndReplaceCallbackDecideAboutExistingFiles) {
  struct Pripad {
    int noflag;
    std::deque<int> odpovedi;
    std::size_t dotazu;
    std::string nahrazeno;  // which of 1..3 end up new
  };
  const std::vector<Pripad> pripady = {
      {0, {IDM_REPLACE_NO, IDM_REPLACE_YES, IDM_REPLACE_NO}, 3, "nyn"},
      {0, {IDM_REPLACE_NONE}, 1, "nnn"},
      {0, {IDM_REPLACE_YES, IDM_REPLACE_ALL}, 2, "yyy"},
      {1, {}, 0, "yyy"},  // replaced unasked, a read-only file too
  };
  std::string archiv = sb / "a.zip", cil = sb / "cil";
  VytvoritArchiv(archiv, {{"1.txt", "nový 1"}, {"2.txt", "nový 2"}, {"3.txt", "nový 3"}});
  const Jmena cesty = {cil + "/1.txt", cil + "/2.txt", cil + "/3.txt"};
  for (const auto& p : pripady) {
    SCOPED_TRACE(p.nahrazeno);
    for (int i = 1; i <= 3; ++i)
      sb.Zapsat("cil/" + std::to_string(i) + ".txt", "starý");
    ::chmod(cesty[0].c_str(), 0444);
    z.nahrazeni.clear();
    z.odpovediNahrazeni = p.odpovedi;
    EXPECT_EQ(Rozbalit(archiv, cil, {.ndflag = 1, .noflag = p.noflag}), PK_OK);
    // The callback gets the full path of each file it decides about.
    EXPECT_EQ(z.nahrazeni, Jmena(cesty.begin(), cesty.begin() + p.dotazu));
    for (std::size_t i = 0; i < 3; ++i)
      EXPECT_EQ(CistSoubor(cesty[i]),
                p.nahrazeno[i] == 'y' ? "nový " + std::to_string(i + 1) : "starý");
  }
}

TEST_F(Zip32, DamagedEntryLeavesTheOldFileAndNoTemporaryFile) {
  std::string archiv = sb / "a.zip", cil = sb.Vytvorit("cil");
  VytvoritArchiv(archiv, {{.jmeno = "a.txt", .obsah = "OBSAH-KTERY-SE-POKAZI", .ulozit = true},
                          {"b.txt", "v pořádku"}});
  std::string data = CistSoubor(archiv);
  data[data.find("OBSAH-KTERY")] = 'X';
  sb.Zapsat("a.zip", data);
  sb.Zapsat("cil/a.txt", "starý");
  EXPECT_EQ(Rozbalit(archiv, cil, {.ndflag = 1, .noflag = 1}), PK_ERR);
  EXPECT_EQ(CistSoubor(cil + "/a.txt"), "starý");
  EXPECT_EQ(CistSoubor(cil + "/b.txt"), "v pořádku");
  EXPECT_EQ(Obsah(cil), (Jmena{"a.txt", "b.txt"}));
}

TEST_F(Zip32, PermissionBitsAreRestoredWithinLimits) {
  VytvoritArchiv(sb / "a.zip", {{.jmeno = "skript.sh", .rezim = S_IFREG | 04755u},
                                {.jmeno = "soukromy", .rezim = S_IFREG | 0600u},
                                {.jmeno = "bez.txt", .rezim = 0}});
  ASSERT_EQ(Rozbalit(sb / "a.zip", sb / "cil"), PK_OK);
  // At most 0777 (no set-user-ID); 0644 when nothing is stored.
  for (auto [jmeno, rezim] : std::initializer_list<std::pair<const char*, mode_t>>{
           {"skript.sh", 0755}, {"soukromy", 0600}, {"bez.txt", 0644}})
    EXPECT_EQ(Stav(sb / "cil/" + jmeno).st_mode & 07777, rezim) << jmeno;
}

TEST_F(MZip32, FolderArchivePassesUnzipAndUnpacksTheSameEverywhere) {
  ZalozitStrom("zdroj");
  sb.Zapsat("zdroj/.skryty", "s");
  ::symlink("a.txt", (sb / "zdroj/odkaz.txt").c_str());
  // Paths relative to the folder, hidden files in, a link to a file taken as the file.
  ASSERT_EQ(ZazipovatJednoduse(sb / "zdroj/", "", true, "", false), 0);
  EXPECT_EQ(Polozky(sb / "zdroj.zip"),
            (Jmena{".skryty", "a.txt", "odkaz.txt", "prazdny", "sub/b.bin", "Účetní data.txt"}));
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

  EXPECT_EQ(RozzipovatJednoduse(sb / "zdroj.zip", sb / "nase", 1, ""), 0);
  PorovnatStrom("zdroj", "nase", [](UtcCas t) { return t; });
  EXPECT_EQ(sb.Cist("nase/odkaz.txt"), sb.Cist("zdroj/a.txt"));
}

TEST_F(MZip32, AnArchiveThatCannotBeDeletedRaisesAccessDeniedAndIsKept) {
  std::string soubor = sb.Zapsat("zamcena/data.txt", "x");
  std::string archiv = sb.Zapsat("zamcena/data.txt.zip", "starý archiv");
  platforma_.program = sb.Vytvorit("program") + "/Zevlon";
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
}

TEST_F(MZip32, MissingOrForeignFilesGiveACodeAndAreLeftAlone) {
  EXPECT_EQ(ZazipovatJednoduse(sb / "chybi.txt", "", true, "", false), kZdrojNeexistuje);
  EXPECT_EQ(RozzipovatJednoduse(sb / "chybi.zip", sb / "cil", 1, ""), PK_NOZIP);
  const std::string text = "Tohle není archiv, ale obyčejný dopis o několika slovech.";
  sb.Zapsat("text.zip", text);
  EXPECT_EQ(RozzipovatJednoduse(sb / "text.zip", sb / "cil", 1, ""), PK_NOZIP);
  EXPECT_EQ(Obsah(sb.Cesta()), Jmena{"text.zip"});
  // Updating it is refused and it keeps its bytes.
  EXPECT_EQ(ZazipovatJednoduse(sb.Zapsat("a.txt", "a"), sb / "text.zip", false, "", false),
            ZE_FORM);
  EXPECT_EQ(sb.Cist("text.zip"), text);
}

TEST_F(MZip32, UnpacksBesideTheArchiveAndReplacesWhateverTheOverwriteArgument) {
  sb.Vytvorit("balik");
  ASSERT_EQ(ZazipovatJednoduse(sb.Zapsat("a.txt", "nový"), sb / "balik/a.zip", true, "", false), 0);
  EXPECT_EQ(RozzipovatJednoduse(sb / "balik/a.zip", "   ", 0, ""), 0);
  EXPECT_EQ(Obsah(sb / "balik"), (Jmena{"a.txt", "a.zip"}));
  // Without the flag the replace callback is asked and answers "replace all".
  for (std::int16_t prepsat : {0, -1}) {
    sb.Zapsat("balik/a.txt", "starý");
    EXPECT_EQ(RozzipovatJednoduse(sb / "balik/a.zip", sb / "balik", prepsat, ""), 0);
    EXPECT_EQ(sb.Cist("balik/a.txt"), "nový") << prepsat;
  }
  EXPECT_EQ(mzip32::UnzipNahradit(nullptr, 0), IDM_REPLACE_ALL);
}

// Archives that `zip` wrote in Prague or in New York (DOS fields six hours off), with
// or without the UT field: the UT field wins; without it the DOS time counts, read as
// local time.
TEST_F(MZip32, ArchivesWrittenByZipUnpackWithTheRightBytesAndTimes) {
  ZalozitStrom("zdroj");
  const std::vector<std::pair<Jmena, const char*>> pripady = {
      {{"-r"}, kPraha}, {{"-r"}, kNewYork}, {{"-r", "-X", "-0"}, kPraha}};
  for (std::size_t i = 0; i < pripady.size(); ++i) {
    SCOPED_TRACE(i);
    auto [prikaz, tz] = pripady[i];
    bool ut = prikaz.size() == 1;
    std::string archiv = sb / (std::to_string(i) + ".zip"), cil = "cil" + std::to_string(i);
    prikaz.insert(prikaz.begin(), {"zip", "-q"});
    prikaz.insert(prikaz.end(), {archiv, "."});
    ASSERT_EQ(Spustit(prikaz, sb / "zdroj", tz), 0) << vystup_;
    EXPECT_EQ(RozzipovatJednoduse(archiv, sb / cil, 0, ""), 0) << mzip32::Stav().textTisku;
    PorovnatStrom("zdroj", cil, [ut](UtcCas t) { return ut ? t : Dos(t); });
  }
}

}  // namespace
}  // namespace zevlon
