// The zip layer itself (ZpArchive, Wiz_SingleEntryUnzip, UzpVersion2) driven with
// recording callbacks, on archives it wrote or that the test builds with libzip.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "installers/pomoc_operaci.h"
#include "support/archivy.h"
#include "support/sandbox.h"
#include "transfer/zip32_knihovna.h"

namespace zevlon {
namespace {

using namespace zip32;
using test::CistSoubor;
using test::Existuje;
using Jmena = std::vector<std::string>;
using test::Obsah;
using test::Polozky;

// One entry of an archive built with libzip; a name ending with "/" is a folder.
struct Vstup {
  std::string jmeno;
  std::string obsah = {};
  std::optional<std::uint32_t> rezim = {};  // mode bits, stored as made on Unix
  std::optional<std::uint32_t> dos = {};    // attributes, stored as made on MS-DOS
  std::optional<std::int32_t> ut = {};      // UT field in both headers
  bool ulozit = false;                      // stored, not deflated
  std::optional<std::string> aes = {};      // AES-256 password
};

void VytvoritArchiv(const std::string& cesta, const std::vector<Vstup>& vstupy) {
  zip_t* za = zip_open(cesta.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
  ASSERT_NE(za, nullptr);
  for (const auto& v : vstupy) {
    zip_int64_t i;
    if (v.jmeno.back() == '/') {
      i = zip_dir_add(za, v.jmeno.c_str(), ZIP_FL_ENC_RAW);
    } else {
      zip_source_t* z = zip_source_buffer(za, v.obsah.data(), v.obsah.size(), 0);
      i = zip_file_add(za, v.jmeno.c_str(), z, ZIP_FL_ENC_RAW);
      zip_set_file_compression(za, static_cast<zip_uint64_t>(i),
                               v.ulozit ? ZIP_CM_STORE : ZIP_CM_DEFAULT, 0);
    }
    ASSERT_GE(i, 0) << v.jmeno << ": " << zip_strerror(za);
    auto idx = static_cast<zip_uint64_t>(i);
    if (v.rezim) zip_file_set_external_attributes(za, idx, 0, ZIP_OPSYS_UNIX, *v.rezim << 16);
    if (v.dos) zip_file_set_external_attributes(za, idx, 0, ZIP_OPSYS_DOS, *v.dos);
    ASSERT_TRUE(!v.aes || zip_file_set_encryption(za, idx, ZIP_EM_AES_256, v.aes->c_str()) == 0);
    if (v.ut) {
      std::uint8_t pole[5] = {1};
      for (int b = 0; b < 4; ++b)
        pole[1 + b] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(*v.ut) >> (8 * b));
      for (zip_flags_t kde : {ZIP_FL_LOCAL, ZIP_FL_CENTRAL})
        zip_file_extra_field_set(za, idx, 0x5455, ZIP_EXTRA_FIELD_NEW, pole, 5, kde);
    }
  }
  ASSERT_EQ(zip_close(za), 0) << zip_strerror(za);
}

void PrintTo(const Vstup& v, std::ostream* os) {
  *os << '"' << v.jmeno << '"';
}

// ----- Recording callbacks ----------------------------------------------------------

struct Zaznamy {
  std::string tisk;
  Jmena nahrazeni;                    // paths the replace callback was asked about
  std::deque<int> odpovediNahrazeni;  // scripted answers; IDM_REPLACE_NO when none
  Jmena hesla;                        // entries a password was asked for
  std::deque<std::pair<int, std::string>> odpovediHesel;  // scripted; decline when none
  Jmena vypis;   // listing lines "name size mm/dd/yy hh:mm E"
  Jmena sluzba;  // names the service callback saw
  int odpovedSluzby = 0;
  std::string komentar;  // what the zip comment callback answers
};

Zaznamy& Z() {
  static Zaznamy z;
  return z;
}

int Tisk(char* buf, unsigned long n) {
  Z().tisk.append(buf, n);
  return static_cast<int>(n);
}
// The next scripted answer, or `jinak` when none is left.
template <typename T>
T Dalsi(std::deque<T>& odpovedi, T jinak) {
  if (odpovedi.empty()) return jinak;
  T o = odpovedi.front();
  odpovedi.pop_front();
  return o;
}
int Nahradit(char* jmeno, unsigned) {
  Z().nahrazeni.emplace_back(jmeno);
  return Dalsi(Z().odpovediNahrazeni, IDM_REPLACE_NO);
}
int Heslo(char* buf, int n, const char*, const char* jmeno) {
  Z().hesla.emplace_back(jmeno ? jmeno : "");
  auto [odpoved, heslo] = Dalsi(Z().odpovediHesel, {1, ""});
  std::snprintf(buf, static_cast<std::size_t>(n), "%s", heslo.c_str());
  return odpoved;
}
void Zprava(std::uint64_t ucsize, std::uint64_t, unsigned, unsigned mo, unsigned dy, unsigned yr,
            unsigned hh, unsigned mm, char, const char* jmeno, const char*, unsigned long,
            char sifra) {
  char radek[512];
  std::snprintf(radek, sizeof radek, "%s %llu %02u/%02u/%02u %02u:%02u %c", jmeno,
                static_cast<unsigned long long>(ucsize), mo, dy, yr, hh, mm, sifra);
  Z().vypis.emplace_back(radek);
}
int Sluzba(const char* jmeno, std::uint64_t) {
  Z().sluzba.emplace_back(jmeno);
  return Z().odpovedSluzby;
}
char* Komentar(char*) {
  return Z().komentar.data();
}

constexpr DCLIST kSeSlozkami{.ndflag = 1};

class Zip32 : public ::testing::Test {
 protected:
  void SetUp() override {
    Z() = Zaznamy{};
    ZIPUSERFUNCTIONS f{Tisk, Komentar, Heslo, Sluzba};
    ASSERT_EQ(ZpInit(&f), 1);
  }

  // ZpArchive with the given options and names.
  int Zabalit(const std::string& archiv, const Jmena& jmena, ZPOPT volby) {
    EXPECT_EQ(ZpSetOptions(&volby), 1);
    auto fnv = Ukazatele(jmena);
    return ZpArchive({static_cast<int>(jmena.size()), archiv.c_str(), fnv.data()});
  }

  // Wiz_SingleEntryUnzip with the recording callbacks.
  int Rozbalit(const std::string& archiv, const std::string& cil, DCLIST d = kSeSlozkami,
               const Jmena& vyber = {}, const Jmena& vyjimky = {}) {
    d.Zip = archiv.c_str();
    d.ExtractDir = cil.c_str();
    auto i = Ukazatele(vyber), x = Ukazatele(vyjimky);
    funkce_ = USERFUNCTION{Tisk, nullptr, Nahradit, Heslo, Zprava, Sluzba};
    return Wiz_SingleEntryUnzip(static_cast<int>(vyber.size()), i.data(),
                                static_cast<int>(vyjimky.size()), x.data(), &d, &funkce_);
  }

  // The texts as a null-terminated list.
  static std::vector<const char*> Ukazatele(const Jmena& texty) {
    std::vector<const char*> u;
    for (const auto& t : texty)
      u.push_back(t.c_str());
    u.push_back(nullptr);
    return u;
  }

  test::Sandbox sb;
  USERFUNCTION funkce_;
};

// ----- Refusing unsafe archives -----------------------------------------------------

class NebezpecnyArchiv : public Zip32, public ::testing::WithParamInterface<Vstup> {};

TEST_P(NebezpecnyArchiv, ExtractionWritesNothingAnywhereButTestingPasses) {
  std::string archiv = sb / "zly.zip";
  VytvoritArchiv(archiv, {{"dobry.txt", "ok"}, {"slozka/"}, GetParam()});
  std::string cil = sb.Vytvorit("cil/hloubka");
  auto predtim = Obsah(sb.Cesta());

  EXPECT_EQ(Rozbalit(archiv, cil), PK_BADERR);
  EXPECT_TRUE(Obsah(cil).empty());
  EXPECT_EQ(Obsah(sb.Cesta()), predtim);
  EXPECT_FALSE(Existuje("/abs.txt"));
  EXPECT_NE(Z().tisk.find("unsafe entry refused"), std::string::npos);

  // Testing writes nothing, so it has nothing to refuse.
  EXPECT_EQ(Rozbalit(archiv, sb / "jinam", {.ntflag = 1, .ndflag = 1}), PK_OK);
  EXPECT_EQ(Obsah(sb.Cesta()), predtim);
}

INSTANTIATE_TEST_SUITE_P(
    Zip32, NebezpecnyArchiv,
    ::testing::Values(
        Vstup{"../evil.txt", "x"}, Vstup{"/abs.txt", "x"}, Vstup{"a/../../x", "x"},
        Vstup{"..\\..\\evil.txt", "x"}, Vstup{"C:/windows/x.txt", "x"},
        Vstup{.jmeno = "odkaz", .obsah = "/etc/passwd", .rezim = S_IFLNK | 0777u},
        Vstup{.jmeno = "slozka/odkaz", .obsah = "../../venku", .rezim = S_IFLNK | 0777u}));

// ----- Existing files ---------------------------------------------------------------

TEST_F(Zip32, OverwriteFlagAndReplaceCallbackDecideAboutExistingFiles) {
  struct Pripad {
    int noflag, prompt;
    std::deque<int> odpovedi;
    std::size_t dotazu;
    std::string nahrazeno;  // which of 1..3 end up new: "ynn" ...
  };
  const std::vector<Pripad> pripady = {
      {0, 0, {IDM_REPLACE_NO, IDM_REPLACE_YES, IDM_REPLACE_NO}, 3, "nyn"},
      {0, 0, {IDM_REPLACE_NONE}, 1, "nnn"},
      {0, 0, {IDM_REPLACE_YES, IDM_REPLACE_ALL}, 2, "yyy"},
      {1, 0, {}, 0, "yyy"},  // replaced unasked, a read-only file too
      {1, 1, {}, 3, "nnn"},
  };
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {{"1.txt", "nový 1"}, {"2.txt", "nový 2"}, {"3.txt", "nový 3"}});
  std::string cil = sb / "cil";
  const Jmena cesty = {cil + "/1.txt", cil + "/2.txt", cil + "/3.txt"};
  for (const auto& p : pripady) {
    SCOPED_TRACE(p.nahrazeno + " noflag " + std::to_string(p.noflag));
    std::filesystem::remove_all(cil);
    for (const auto& c : cesty)
      sb.Zapsat(c.substr(sb.Cesta().size() + 1), "starý");
    ::chmod(cesty[0].c_str(), 0444);
    Z().nahrazeni.clear();
    Z().odpovediNahrazeni = p.odpovedi;

    EXPECT_EQ(
        Rozbalit(archiv, cil, {.PromptToOverwrite = p.prompt, .ndflag = 1, .noflag = p.noflag}),
        PK_OK);

    // The callback gets the full path of each file it decides about.
    EXPECT_EQ(Z().nahrazeni, Jmena(cesty.begin(), cesty.begin() + p.dotazu));
    for (std::size_t i = 0; i < 3; ++i)
      EXPECT_EQ(CistSoubor(cesty[i]),
                p.nahrazeno[i] == 'y' ? "nový " + std::to_string(i + 1) : "starý");
  }
}

TEST_F(Zip32, FreshenAndUpdateCompareTimes) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {{.jmeno = "stary.txt", .obsah = "archiv", .ut = 1'600'000'000},
                          {.jmeno = "novy.txt", .obsah = "archiv", .ut = 1'600'000'000},
                          {.jmeno = "chybi.txt", .obsah = "archiv", .ut = 1'600'000'000}});
  std::string cil = sb.Vytvorit("cil");
  test::NastavitCas(sb.Zapsat("cil/stary.txt", "disk"), 1'500'000'000, 0);
  test::NastavitCas(sb.Zapsat("cil/novy.txt", "disk"), 1'700'000'000, 0);

  EXPECT_EQ(Rozbalit(archiv, cil, {.nfflag = 1, .ndflag = 1, .noflag = 1}), PK_OK);
  EXPECT_EQ(CistSoubor(cil + "/stary.txt"), "archiv");
  EXPECT_EQ(CistSoubor(cil + "/novy.txt"), "disk");
  EXPECT_FALSE(Existuje(cil + "/chybi.txt"));

  // Update: newer entries replace older files unasked, missing files are created.
  test::NastavitCas(sb.Zapsat("cil/stary.txt", "disk"), 1'500'000'000, 0);
  EXPECT_EQ(Rozbalit(archiv, cil, {.ExtractOnlyNewer = 1, .ndflag = 1}), PK_OK);
  EXPECT_EQ(CistSoubor(cil + "/stary.txt"), "archiv");
  EXPECT_EQ(CistSoubor(cil + "/novy.txt"), "disk");
  EXPECT_EQ(CistSoubor(cil + "/chybi.txt"), "archiv");
  EXPECT_TRUE(Z().nahrazeni.empty());
}

TEST_F(Zip32, DamagedEntryLeavesTheOldFileAndNoTemporaryFile) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {{.jmeno = "a.txt", .obsah = "OBSAH-KTERY-SE-POKAZI", .ulozit = true},
                          {"b.txt", "v pořádku"}});
  std::string data = CistSoubor(archiv);
  auto pozice = data.find("OBSAH-KTERY");
  ASSERT_NE(pozice, std::string::npos);
  data[pozice] = 'X';
  sb.Zapsat("a.zip", data);
  std::string cil = sb.Vytvorit("cil");
  sb.Zapsat("cil/a.txt", "starý");

  EXPECT_EQ(Rozbalit(archiv, cil, {.ndflag = 1, .noflag = 1}), PK_ERR);
  EXPECT_EQ(CistSoubor(cil + "/a.txt"), "starý");
  EXPECT_EQ(CistSoubor(cil + "/b.txt"), "v pořádku");
  EXPECT_EQ(Obsah(cil), (Jmena{"a.txt", "b.txt"}));

  EXPECT_EQ(Rozbalit(archiv, sb / "nikam", {.ntflag = 1, .ndflag = 1}), PK_ERR);
  EXPECT_FALSE(Existuje(sb / "nikam"));
}

TEST_F(Zip32, AFolderInTheWayOfAFileIsAWriteError) {
  VytvoritArchiv(sb / "a.zip", {{"x", "soubor"}, {"y.txt", "y"}});
  sb.Vytvorit("cil/x");
  EXPECT_EQ(Rozbalit(sb / "a.zip", sb / "cil", {.ndflag = 1, .noflag = 1}), PK_DISK);
  EXPECT_EQ(sb.Cist("cil/y.txt"), "y");
}

// ----- Times, permission bits, folders ----------------------------------------------

TEST_F(Zip32, PermissionBitsAreRestoredWithinLimits) {
  VytvoritArchiv(sb / "a.zip", {{.jmeno = "skript.sh", .rezim = S_IFREG | 04755u},
                                {.jmeno = "soukromy", .rezim = S_IFREG | 0600u},
                                {.jmeno = "jen-cteni.txt", .dos = 0x01u},
                                {.jmeno = "bez.txt", .dos = 0x00u}});
  ASSERT_EQ(Rozbalit(sb / "a.zip", sb / "cil"), PK_OK);
  // At most 0777; read-only DOS files read-only for all; 0644 when nothing is stored.
  const std::vector<std::pair<std::string, mode_t>> rezimy = {
      {"skript.sh", 0755}, {"soukromy", 0600}, {"jen-cteni.txt", 0444}, {"bez.txt", 0644}};
  for (const auto& [jmeno, rezim] : rezimy)
    EXPECT_EQ(test::Stav(sb / ("cil/" + jmeno)).st_mode & 07777, rezim) << jmeno;
}

TEST_F(Zip32, PathsThatStayInsideAreNormalisedIntoAFolderMadeWithItsParents) {
  VytvoritArchiv(sb / "a.zip", {{"a/../b.txt", "b"},
                                {"./c//d.txt", std::string(100, 'd')},
                                {.jmeno = "e\\f.txt", .obsah = "f", .ulozit = true},
                                {"g/"},
                                {"g/h/moje data.txt", "x"}});
  std::string cil = sb / "a/b/c";
  EXPECT_EQ(Rozbalit(sb / "a.zip", cil), PK_OK);
  EXPECT_EQ(Obsah(cil),
            (Jmena{"b.txt", "c", "c/d.txt", "e", "e/f.txt", "g", "g/h", "g/h/moje data.txt"}));
  EXPECT_EQ(CistSoubor(cil + "/e/f.txt"), "f");
  EXPECT_NE(Z().tisk.find(" extracting: " + cil + "/e/f.txt"), std::string::npos);
  EXPECT_NE(Z().tisk.find("  inflating: " + cil + "/c/d.txt"), std::string::npos);

  // Junked paths: bare names, blanks may become underscores.
  EXPECT_EQ(Rozbalit(sb / "a.zip", sb / "plocha", {.SpaceToUnderscore = 1}), PK_OK);
  EXPECT_EQ(Obsah(sb / "plocha"), (Jmena{"b.txt", "d.txt", "f.txt", "moje_data.txt"}));
}

// ----- Selection, listing, codes ----------------------------------------------------

TEST_F(Zip32, SelectionAndExclusionPickEntriesAndAnUnmatchedNameIsReported) {
  VytvoritArchiv(sb / "a.zip", {{"a.txt", "a"}, {"b.TXT", "b"}, {"c.dat", "c"}, {"d/e.txt", "e"}});
  std::string cil = sb.Vytvorit("cil");

  EXPECT_EQ(Rozbalit(sb / "a.zip", cil, kSeSlozkami, {"*.txt"}, {"d/*"}), PK_OK);
  EXPECT_EQ(Obsah(cil), (Jmena{"a.txt", "b.TXT"}));
  EXPECT_EQ(funkce_.NumMembers, 2u);
  EXPECT_EQ(funkce_.TotalSize, 2u);

  EXPECT_EQ(Rozbalit(sb / "a.zip", cil, kSeSlozkami, {"c.dat", "nic.*"}), PK_FIND);
  EXPECT_EQ(CistSoubor(cil + "/c.dat"), "c");
}

TEST_F(Zip32, ListingReportsEachEntryAndWritesNothing) {
  VytvoritArchiv(sb / "a.zip", {{.jmeno = "a.txt", .obsah = "12345", .ut = 1'600'000'000},
                                {.jmeno = "b.txt", .aes = "h"}});
  EXPECT_EQ(Rozbalit(sb / "a.zip", sb / "cil", {.nvflag = 1, .ndflag = 1}), PK_OK);

  // Date and time are local.
  time_t t = 1'600'000'000;
  char cas[32];
  std::strftime(cas, sizeof cas, "%m/%d/%y %H:%M", std::localtime(&t));
  ASSERT_EQ(Z().vypis.size(), 2u);
  EXPECT_EQ(Z().vypis[0], "a.txt 5 " + std::string(cas) + "  ");
  EXPECT_EQ(Z().vypis[1].substr(0, 8), "b.txt 0 ");
  EXPECT_EQ(Z().vypis[1].back(), 'E');
  EXPECT_TRUE(Z().hesla.empty());
  EXPECT_FALSE(Existuje(sb / "cil"));
}

TEST_F(Zip32, BadArchivesAndOptionsGiveCodesAndWriteNothing) {
  EXPECT_EQ(Rozbalit(sb / "chybi.zip", sb / "cil"), PK_NOZIP);
  sb.Zapsat("prazdny.zip", "");
  EXPECT_EQ(Rozbalit(sb / "prazdny.zip", sb / "cil"), PK_NOZIP);
  sb.Zapsat("nic.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  EXPECT_EQ(Rozbalit(sb / "nic.zip", sb / "cil"), PK_WARN);

  VytvoritArchiv(sb / "a.zip", {{"a.txt", "a"}});
  EXPECT_EQ(Rozbalit(sb / "a.zip", sb / "cil", {.ncflag = 1, .ndflag = 1}), PK_PARAM);
  EXPECT_EQ(Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, nullptr, &funkce_), PK_PARAM);
  EXPECT_EQ(Zabalit(sb / "b.zip", {sb.Zapsat("x.txt", "x")}, {.fMove = 1}), ZE_PARMS);
  EXPECT_FALSE(Existuje(sb / "b.zip"));
  EXPECT_FALSE(Existuje(sb / "cil"));
}

TEST_F(Zip32, ServiceCallbackCanStopBothHalves) {
  Z().odpovedSluzby = 1;
  EXPECT_EQ(Zabalit(sb / "a.zip", {sb.Zapsat("x.txt", "x")}, {.szRootDir = sb.Cesta().c_str()}),
            ZE_ABORT);
  EXPECT_FALSE(Existuje(sb / "a.zip"));

  VytvoritArchiv(sb / "b.zip", {{"x.txt", "x"}});
  EXPECT_EQ(Rozbalit(sb / "b.zip", sb / "cil"), IZ_CTRLC);
  EXPECT_FALSE(Existuje(sb / "cil/x.txt"));
  EXPECT_EQ(Z().sluzba, (Jmena{"x.txt", "x.txt"}));
}

// ----- Passwords --------------------------------------------------------------------

TEST_F(Zip32, EncryptedZippingAsksThePasswordOnceAndUnzipReusesIt) {
  std::string koren = sb.Vytvorit("zdroj");
  sb.Zapsat("zdroj/1.txt", "první tajemství");
  sb.Zapsat("zdroj/2.txt", "druhé tajemství");
  ZPOPT z{.szRootDir = koren.c_str(), .fEncrypt = 1};
  Z().odpovediHesel = {{IZ_PW_ENTERED, "Heslo-1"}};
  ASSERT_EQ(Zabalit(sb / "tajny.zip", {"1.txt", "2.txt"}, z), ZE_OK);
  EXPECT_EQ(Z().hesla.size(), 1u);

  EXPECT_EQ(Rozbalit(sb / "tajny.zip", "", {.nvflag = 1}), PK_OK);
  ASSERT_EQ(Z().vypis.size(), 2u);
  for (const auto& radek : Z().vypis)
    EXPECT_EQ(radek.back(), 'E') << radek;

  Z().hesla.clear();
  Z().odpovediHesel = {{IZ_PW_ENTERED, "Heslo-1"}};
  EXPECT_EQ(Rozbalit(sb / "tajny.zip", sb / "cil"), PK_OK);
  EXPECT_EQ(Z().hesla, Jmena{"1.txt"});
  EXPECT_EQ(sb.Cist("cil/1.txt"), "první tajemství");
  EXPECT_EQ(sb.Cist("cil/2.txt"), "druhé tajemství");

  Z().odpovediHesel = {{IZ_PW_ENTERED, ""}};
  EXPECT_EQ(Zabalit(sb / "bez-hesla.zip", {"1.txt"}, z), ZE_PARMS);
  EXPECT_FALSE(Existuje(sb / "bez-hesla.zip"));
}

// AES entries: a wrong password is told apart reliably (two check bytes).
TEST_F(Zip32, WrongPasswordsAreRetriedThenTheEntryIsSkipped) {
  std::string archiv = sb / "tajny.zip";
  VytvoritArchiv(archiv, {{.jmeno = "1.txt", .obsah = "první", .aes = "Heslo-1"},
                          {.jmeno = "2.txt", .obsah = "druhé", .aes = "Heslo-1"}});

  Z().odpovediHesel = {{IZ_PW_ENTERED, "špatně"}, {IZ_PW_ENTERED, "Heslo-1"}};
  EXPECT_EQ(Rozbalit(archiv, sb / "cil"), PK_OK);
  EXPECT_EQ(Z().hesla, (Jmena{"1.txt", "1.txt"}));
  EXPECT_EQ(sb.Cist("cil/1.txt"), "první");
  EXPECT_EQ(sb.Cist("cil/2.txt"), "druhé");

  // Three tries for the first entry, one declined question for the second: nothing
  // extracted is a bad password.
  Z().hesla.clear();
  Z().odpovediHesel = {{IZ_PW_ENTERED, "a"}, {IZ_PW_ENTERED, "b"}, {IZ_PW_ENTERED, "c"}, {1, ""}};
  EXPECT_EQ(Rozbalit(archiv, sb / "cil2"), IZ_BADPWD);
  EXPECT_EQ(Z().hesla, (Jmena{"1.txt", "1.txt", "1.txt", "2.txt"}));
  EXPECT_FALSE(Existuje(sb / "cil2/1.txt"));
  EXPECT_FALSE(Existuje(sb / "cil2/2.txt"));

  Z().hesla.clear();
  Z().odpovediHesel = {{IZ_PW_CANCELALL, ""}};
  EXPECT_EQ(Rozbalit(archiv, sb / "cil2"), IZ_BADPWD);
  EXPECT_EQ(Z().hesla, Jmena{"1.txt"});

  // Some files extracted and some skipped for want of a password is a warning.
  sb.Zapsat("3.txt", "volně");
  ASSERT_EQ(Zabalit(archiv, {"3.txt"}, {.szRootDir = sb.Cesta().c_str()}), ZE_OK);
  EXPECT_EQ(Rozbalit(archiv, sb / "cil3"), PK_WARN);
  EXPECT_EQ(sb.Cist("cil3/3.txt"), "volně");
  EXPECT_FALSE(Existuje(sb / "cil3/1.txt"));
}

// ----- Zipping ----------------------------------------------------------------------

TEST_F(Zip32, NamesFoldersAndPatternsAreStoredAsTheOptionsSay) {
  std::string koren = sb.Vytvorit("koren"), jinde = sb.Zapsat("jinde.txt", "j");
  for (auto j : {"a.txt", ".skryty", "sub/a.txt", "sub/b.txt"})
    sb.Zapsat("koren/" + std::string(j), j);
  sb.Vytvorit("koren/prazdna");
  const char* k = koren.c_str();
  struct Pripad {
    ZPOPT volby;
    Jmena jmena;
    int kod;
    Jmena polozky;
  };
  // Relative names come from the root; other absolute ones lose only the leading "/".
  const std::vector<Pripad> pripady = {
      {{.szRootDir = k},
       {koren + "/a.txt", "sub/b.txt", jinde},
       ZE_OK,
       {"a.txt", "sub/b.txt", jinde.substr(1)}},
      {{.szRootDir = k, .fJunkDir = 1}, {"sub/b.txt", koren + "/a.txt"}, ZE_OK, {"b.txt", "a.txt"}},
      // The same file named twice is stored once; two files under one name are refused.
      {{.szRootDir = k, .fJunkDir = 1}, {"a.txt", sb / "koren/a.txt"}, ZE_OK, {"a.txt"}},
      {{.szRootDir = k, .fJunkDir = 1}, {"a.txt", "sub/a.txt"}, ZE_PARMS, {}},
      // Hidden files only with fSystem; patterns ignore letter case.
      {{.szRootDir = k, .fRecurse = 1},
       {"*"},
       ZE_OK,
       {"a.txt", "prazdna/", "sub/", "sub/a.txt", "sub/b.txt"}},
      {{.szRootDir = sb.Cesta().c_str(), .fSystem = 1, .fRecurse = 1},
       {"koren"},
       ZE_OK,
       {"koren/", "koren/.skryty", "koren/a.txt", "koren/prazdna/", "koren/sub/", "koren/sub/a.txt",
        "koren/sub/b.txt"}},
      {{.szRootDir = k, .fSystem = 1, .fNoDirEntries = 1}, {"*.TXT", "sub"}, ZE_OK, {"a.txt"}},
      {{.szRootDir = k}, {"chybi.txt", "*.nic"}, ZE_NONE, {}},
  };
  for (std::size_t i = 0; i < pripady.size(); ++i) {
    SCOPED_TRACE(i);
    std::string archiv = sb / (std::to_string(i) + ".zip");
    EXPECT_EQ(Zabalit(archiv, pripady[i].jmena, pripady[i].volby), pripady[i].kod);
    EXPECT_EQ(Existuje(archiv), pripady[i].kod == ZE_OK);
    EXPECT_EQ(Polozky(archiv), pripady[i].polozky);
  }
  EXPECT_NE(Z().tisk.find("name not matched: chybi.txt"), std::string::npos);
}

TEST_F(Zip32, UpdateAddsNewNamesAndReplacesOnlyByNewerFiles) {
  std::string koren = sb.Vytvorit("koren");
  test::NastavitCas(sb.Zapsat("koren/a.txt", "a1"), 1'600'000'001, 0);
  ZPOPT z{.szRootDir = koren.c_str()};
  ASSERT_EQ(Zabalit(sb / "a.zip", {"a.txt"}, z), ZE_OK);
  std::string puvodni = sb.Cist("a.zip");

  z.fUpdate = 1;
  test::NastavitCas(sb.Zapsat("koren/a.txt", "a2"), 1'600'000'001, 0);
  EXPECT_EQ(Zabalit(sb / "a.zip", {"a.txt"}, z), ZE_NONE);
  EXPECT_EQ(sb.Cist("a.zip"), puvodni);

  sb.Zapsat("koren/b.txt", "b");
  EXPECT_EQ(Zabalit(sb / "a.zip", {"a.txt", "b.txt"}, z), ZE_OK);
  EXPECT_EQ(Polozky(sb / "a.zip"), (Jmena{"a.txt", "b.txt"}));

  test::NastavitCas(sb.Zapsat("koren/a.txt", "a3"), 1'600'000'002, 0);
  EXPECT_EQ(Zabalit(sb / "a.zip", {"a.txt"}, z), ZE_OK);
  EXPECT_EQ(Rozbalit(sb / "a.zip", sb / "cil"), PK_OK);
  EXPECT_EQ(sb.Cist("cil/a.txt"), "a3");
  EXPECT_EQ(sb.Cist("cil/b.txt"), "b");
  EXPECT_EQ(test::Stav(sb / "cil/a.txt").st_mtime, 1'600'000'002);
}

TEST_F(Zip32, ArchiveThatCannotBeWrittenOrIsNoZipGivesItsCode) {
  std::string soubor = sb.Zapsat("x.txt", "x");
  EXPECT_EQ(Zabalit(sb / "chybi/a.zip", {soubor}, {}), ZE_CREAT);
  sb.Zapsat("text.zip", "tohle není archiv, jen obyčejný text dost dlouhý na hledání");
  EXPECT_EQ(Zabalit(sb / "text.zip", {soubor}, {}), ZE_FORM);
  EXPECT_EQ(sb.Cist("text.zip"), "tohle není archiv, jen obyčejný text dost dlouhý na hledání");
}

TEST_F(Zip32, StoredLevelCommentAndOptionsReadBack) {
  sb.Zapsat("x.txt", std::string(1000, 'a'));
  Z().komentar = "Komentář archivu";
  EXPECT_EQ(Zabalit(sb / "a.zip", {"x.txt"},
                    {.szRootDir = sb.Cesta().c_str(), .fComment = 1, .fLevel = '0'}),
            ZE_OK);

  ZPOPT zpet = ZpGetOptions();
  EXPECT_EQ(std::string(zpet.szRootDir), sb.Cesta());
  EXPECT_EQ(zpet.fEncryption, 1);
  EXPECT_EQ(zpet.fLevel, '0');

  Z().tisk.clear();
  EXPECT_EQ(Rozbalit(sb / "a.zip", sb / "cil", {.nzflag = 1, .ndflag = 1}), PK_OK);
  EXPECT_EQ(Z().tisk, "Komentář archivu");
  EXPECT_FALSE(Existuje(sb / "cil"));
  EXPECT_EQ(Rozbalit(sb / "a.zip", sb / "cil"), PK_OK);
  EXPECT_NE(Z().tisk.find(" extracting: " + sb / "cil/x.txt"), std::string::npos);  // stored
}

TEST(Zip32Verze, FillsOnlyWhatTheCallersRecordHolds) {
  UZPVER2 kratka{.structlen = 64};
  std::fill(std::begin(kratka.windll), std::end(kratka.windll), 0xEE);
  EXPECT_EQ(UzpVersion2(&kratka), static_cast<int>(sizeof(UZPVER2)));
  EXPECT_EQ(kratka.unzip[0], 6);
  EXPECT_EQ(kratka.os2dll[0], 6);
  EXPECT_EQ(kratka.windll[0], 0xEE);
  EXPECT_GT(std::strlen(kratka.date), 0u);
  EXPECT_STREQ(kratka.zlib, ZLIB_VERSION);

  UZPVER2 cela{.structlen = sizeof(UZPVER2)};
  EXPECT_EQ(UzpVersion2(&cela), 0);
  EXPECT_EQ(cela.dllapimin[0], 5);
  EXPECT_EQ(cela.fEncryption, 1);
}

}  // namespace
}  // namespace zevlon
