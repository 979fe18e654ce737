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
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "installers/pomoc_operaci.h"
#include "support/sandbox.h"
#include "transfer/zip32_knihovna.h"

namespace zevlon {
namespace {

using namespace zip32;
using test::Sandbox;

// ----- An archive built entry by entry with libzip ----------------------------------

struct Vstup {
  Vstup(std::string j, std::string o = {}) : jmeno(std::move(j)), obsah(std::move(o)) {}
  Vstup& Unix(std::uint32_t rezim) {  // stored as made on Unix
    unixRezim = rezim;
    return *this;
  }
  Vstup& Dos(std::uint32_t atributy) {  // stored as made on MS-DOS
    dosAtributy = atributy;
    return *this;
  }
  Vstup& DosCas(time_t t) {
    dosCas = t;
    return *this;
  }
  Vstup& Ut(std::int32_t t) {  // UT field in both headers
    utCas = t;
    return *this;
  }
  Vstup& Ulozit() {
    metoda = ZIP_CM_STORE;
    return *this;
  }
  Vstup& Aes(std::string heslo) {
    aesHeslo = std::move(heslo);
    return *this;
  }

  std::string jmeno;  // a name ending with "/" is a folder entry
  std::string obsah;
  std::optional<std::uint32_t> unixRezim;
  std::optional<std::uint32_t> dosAtributy;
  std::optional<time_t> dosCas;
  std::optional<std::int32_t> utCas;
  zip_int32_t metoda = ZIP_CM_DEFAULT;
  std::optional<std::string> aesHeslo;
};

void PrintTo(const Vstup& v, std::ostream* os) {
  *os << '"' << v.jmeno << '"';
}

void VytvoritArchiv(const std::string& cesta, const std::vector<Vstup>& vstupy) {
  int chyba = 0;
  zip_t* za = zip_open(cesta.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &chyba);
  ASSERT_NE(za, nullptr);
  for (const auto& v : vstupy) {
    zip_int64_t i;
    if (!v.jmeno.empty() && v.jmeno.back() == '/') {
      i = zip_dir_add(za, v.jmeno.c_str(), ZIP_FL_ENC_RAW);
    } else {
      zip_source_t* z = zip_source_buffer(za, v.obsah.data(), v.obsah.size(), 0);
      i = zip_file_add(za, v.jmeno.c_str(), z, ZIP_FL_ENC_RAW);
      ASSERT_EQ(zip_set_file_compression(za, static_cast<zip_uint64_t>(i), v.metoda, 0), 0);
    }
    ASSERT_GE(i, 0) << v.jmeno << ": " << zip_strerror(za);
    auto idx = static_cast<zip_uint64_t>(i);
    if (v.unixRezim)
      zip_file_set_external_attributes(za, idx, 0, ZIP_OPSYS_UNIX, *v.unixRezim << 16);
    if (v.dosAtributy) zip_file_set_external_attributes(za, idx, 0, ZIP_OPSYS_DOS, *v.dosAtributy);
    if (v.dosCas) zip_file_set_mtime(za, idx, *v.dosCas, 0);
    if (v.aesHeslo) {
      ASSERT_EQ(zip_file_set_encryption(za, idx, ZIP_EM_AES_256, v.aesHeslo->c_str()), 0);
    }
    if (v.utCas) {
      std::uint8_t pole[5] = {1};
      auto u = static_cast<std::uint32_t>(*v.utCas);
      for (int b = 0; b < 4; ++b)
        pole[1 + b] = static_cast<std::uint8_t>(u >> (8 * b));
      zip_file_extra_field_set(za, idx, 0x5455, ZIP_EXTRA_FIELD_NEW, pole, 5, ZIP_FL_LOCAL);
      zip_file_extra_field_set(za, idx, 0x5455, ZIP_EXTRA_FIELD_NEW, pole, 5, ZIP_FL_CENTRAL);
    }
  }
  ASSERT_EQ(zip_close(za), 0) << zip_strerror(za);
}

// Names of an archive's entries, in order.
std::vector<std::string> Polozky(const std::string& archiv) {
  std::vector<std::string> jmena;
  zip_t* za = zip_open(archiv.c_str(), ZIP_RDONLY, nullptr);
  if (!za) return jmena;
  for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i)
    jmena.emplace_back(zip_get_name(za, static_cast<zip_uint64_t>(i), 0));
  zip_discard(za);
  return jmena;
}

std::vector<std::string> Obsah(const std::string& slozka) {
  std::vector<std::string> jmena;
  for (const auto& e : std::filesystem::recursive_directory_iterator(slozka))
    jmena.push_back(std::filesystem::relative(e.path(), slozka).string());
  std::sort(jmena.begin(), jmena.end());
  return jmena;
}

// ----- Recording callbacks ----------------------------------------------------------

struct Zaznamy {
  std::string tisk;
  std::vector<std::string> nahrazeni;  // paths the replace callback was asked about
  std::deque<int> odpovediNahrazeni;   // scripted answers; IDM_REPLACE_NO when none
  std::vector<std::string> hesla;      // entries a password was asked for
  std::deque<std::pair<int, std::string>> odpovediHesel;  // scripted; decline when none
  std::vector<std::string> vypis;   // listing lines "name size mm/dd/yy hh:mm E"
  std::vector<std::string> sluzba;  // names the service callback saw
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
int Nahradit(char* jmeno, unsigned) {
  Z().nahrazeni.emplace_back(jmeno);
  if (Z().odpovediNahrazeni.empty()) return IDM_REPLACE_NO;
  int o = Z().odpovediNahrazeni.front();
  Z().odpovediNahrazeni.pop_front();
  return o;
}
int Heslo(char* buf, int n, const char*, const char* jmeno) {
  Z().hesla.emplace_back(jmeno ? jmeno : "");
  if (Z().odpovediHesel.empty()) return 1;
  auto [odpoved, heslo] = Z().odpovediHesel.front();
  Z().odpovediHesel.pop_front();
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

class Zip32 : public ::testing::Test {
 protected:
  void SetUp() override {
    Z() = Zaznamy{};
    ZIPUSERFUNCTIONS f{Tisk, Komentar, Heslo, Sluzba};
    ASSERT_EQ(ZpInit(&f), 1);
  }

  // ZpArchive with the given options and names.
  int Zabalit(const std::string& archiv, const std::vector<std::string>& jmena, ZPOPT volby) {
    EXPECT_EQ(ZpSetOptions(&volby), 1);
    std::vector<const char*> fnv;
    for (const auto& j : jmena)
      fnv.push_back(j.c_str());
    fnv.push_back(nullptr);
    return ZpArchive({static_cast<int>(jmena.size()), archiv.c_str(), fnv.data()});
  }

  // Wiz_SingleEntryUnzip over the whole archive with the recording callbacks.
  int Rozbalit(const std::string& archiv, const std::string& cil, DCLIST d = Vychozi(),
               std::vector<std::string> vyber = {}, std::vector<std::string> vyjimky = {}) {
    d.Zip = archiv.c_str();
    d.ExtractDir = cil.c_str();
    std::vector<const char*> i, x;
    for (const auto& s : vyber)
      i.push_back(s.c_str());
    for (const auto& s : vyjimky)
      x.push_back(s.c_str());
    i.push_back(nullptr);
    x.push_back(nullptr);
    funkce_ = USERFUNCTION{};
    funkce_.print = Tisk;
    funkce_.replace = Nahradit;
    funkce_.password = Heslo;
    funkce_.SendApplicationMessage = Zprava;
    funkce_.ServCallBk = Sluzba;
    return Wiz_SingleEntryUnzip(static_cast<int>(vyber.size()), i.data(),
                                static_cast<int>(vyjimky.size()), x.data(), &d, &funkce_);
  }

  static DCLIST Vychozi() {
    DCLIST d;
    d.ndflag = 1;
    return d;
  }

  Sandbox sb;
  USERFUNCTION funkce_;
};

// ----- Refusing unsafe archives -----------------------------------------------------

class NebezpecnyArchiv : public Zip32, public ::testing::WithParamInterface<Vstup> {};

TEST_P(NebezpecnyArchiv, WritesNothingAnywhereAndFails) {
  std::string archiv = sb / "zly.zip";
  VytvoritArchiv(archiv, {{"dobry.txt", "ok"}, {"slozka/", ""}, GetParam()});
  std::string cil = sb.Vytvorit("cil/hloubka");
  auto predtim = Obsah(sb.Cesta());

  EXPECT_EQ(Rozbalit(archiv, cil), PK_BADERR);

  EXPECT_TRUE(Obsah(cil).empty());
  EXPECT_EQ(Obsah(sb.Cesta()), predtim);
  EXPECT_FALSE(test::Existuje("/abs.txt"));
  EXPECT_NE(Z().tisk.find("unsafe entry refused"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Zip32, NebezpecnyArchiv,
    ::testing::Values(Vstup("../evil.txt", "x"), Vstup("/abs.txt", "x"), Vstup("a/../../x", "x"),
                      Vstup("..\\..\\evil.txt", "x"), Vstup("C:/windows/x.txt", "x"),
                      Vstup("odkaz", "/etc/passwd").Unix(S_IFLNK | 0777u),
                      Vstup("slozka/odkaz", "../../venku").Unix(S_IFLNK | 0777u)));

TEST_F(Zip32, PathsThatStayInsideAreNormalisedNotRefused) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {{"a/../b.txt", "b"}, {"./c//d.txt", "d"}, {"e\\f.txt", "f"}});
  std::string cil = sb.Vytvorit("cil");

  EXPECT_EQ(Rozbalit(archiv, cil), PK_OK);

  EXPECT_EQ(Obsah(cil), (std::vector<std::string>{"b.txt", "c", "c/d.txt", "e", "e/f.txt"}));
  EXPECT_EQ(test::CistSoubor(cil + "/e/f.txt"), "f");
}

TEST_F(Zip32, ListingAndTestingDoNotRefuseWhatTheyNeverWrite) {
  std::string archiv = sb / "zly.zip";
  VytvoritArchiv(archiv, {{"../evil.txt", "x"}});
  DCLIST d = Vychozi();
  d.ntflag = 1;
  EXPECT_EQ(Rozbalit(archiv, sb / "cil", d), PK_OK);
  EXPECT_FALSE(test::Existuje(sb / "cil"));
  EXPECT_FALSE(test::Existuje(sb / "evil.txt"));
}

// ----- Existing files ---------------------------------------------------------------

TEST_F(Zip32, ReplaceCallbackDecidesWhenOverwriteIsOff) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {{"1.txt", "nový 1"}, {"2.txt", "nový 2"}, {"3.txt", "nový 3"}});
  std::string cil = sb.Vytvorit("cil");
  for (auto j : {"1.txt", "2.txt", "3.txt"})
    sb.Zapsat(std::string("cil/") + j, "starý");

  Z().odpovediNahrazeni = {IDM_REPLACE_NO, IDM_REPLACE_YES, IDM_REPLACE_NO};
  EXPECT_EQ(Rozbalit(archiv, cil), PK_OK);
  EXPECT_EQ(Z().nahrazeni,
            (std::vector<std::string>{cil + "/1.txt", cil + "/2.txt", cil + "/3.txt"}));
  EXPECT_EQ(test::CistSoubor(cil + "/1.txt"), "starý");
  EXPECT_EQ(test::CistSoubor(cil + "/2.txt"), "nový 2");
  EXPECT_EQ(test::CistSoubor(cil + "/3.txt"), "starý");
}

TEST_F(Zip32, ReplaceAllAndReplaceNoneHoldForTheRestOfTheCall) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {{"1.txt", "nový"}, {"2.txt", "nový"}});
  std::string cil = sb.Vytvorit("cil");
  sb.Zapsat("cil/1.txt", "starý");
  sb.Zapsat("cil/2.txt", "starý");

  Z().odpovediNahrazeni = {IDM_REPLACE_NONE};
  EXPECT_EQ(Rozbalit(archiv, cil), PK_OK);
  EXPECT_EQ(Z().nahrazeni.size(), 1u);
  EXPECT_EQ(test::CistSoubor(cil + "/2.txt"), "starý");

  Z().nahrazeni.clear();
  Z().odpovediNahrazeni = {IDM_REPLACE_ALL};
  EXPECT_EQ(Rozbalit(archiv, cil), PK_OK);
  EXPECT_EQ(Z().nahrazeni, std::vector<std::string>{cil + "/1.txt"});
  EXPECT_EQ(test::CistSoubor(cil + "/1.txt"), "nový");
  EXPECT_EQ(test::CistSoubor(cil + "/2.txt"), "nový");
}

TEST_F(Zip32, OverwriteFlagReplacesUnaskedUnlessPromptingIsAsked) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {{"1.txt", "nový"}});
  std::string cil = sb.Vytvorit("cil");
  sb.Zapsat("cil/1.txt", "starý");
  ::chmod((cil + "/1.txt").c_str(), 0444);

  DCLIST d = Vychozi();
  d.noflag = 1;
  EXPECT_EQ(Rozbalit(archiv, cil, d), PK_OK);
  EXPECT_TRUE(Z().nahrazeni.empty());
  EXPECT_EQ(test::CistSoubor(cil + "/1.txt"), "nový");

  sb.Zapsat("cil/1.txt", "starý");
  d.PromptToOverwrite = 1;
  EXPECT_EQ(Rozbalit(archiv, cil, d), PK_OK);
  EXPECT_EQ(Z().nahrazeni.size(), 1u);
  EXPECT_EQ(test::CistSoubor(cil + "/1.txt"), "starý");
}

TEST_F(Zip32, FreshenAndUpdateCompareTimes) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {Vstup("stary.txt", "archiv").Ut(1'600'000'000),
                          Vstup("novy.txt", "archiv").Ut(1'600'000'000),
                          Vstup("chybi.txt", "archiv").Ut(1'600'000'000)});
  std::string cil = sb.Vytvorit("cil");
  test::NastavitCas(sb.Zapsat("cil/stary.txt", "disk"), 1'500'000'000, 0);
  test::NastavitCas(sb.Zapsat("cil/novy.txt", "disk"), 1'700'000'000, 0);

  DCLIST d = Vychozi();
  d.noflag = 1;
  d.nfflag = 1;
  EXPECT_EQ(Rozbalit(archiv, cil, d), PK_OK);
  EXPECT_EQ(test::CistSoubor(cil + "/stary.txt"), "archiv");
  EXPECT_EQ(test::CistSoubor(cil + "/novy.txt"), "disk");
  EXPECT_FALSE(test::Existuje(cil + "/chybi.txt"));

  // Update: newer entries replace older files unasked, missing files are created.
  test::NastavitCas(sb.Zapsat("cil/stary.txt", "disk"), 1'500'000'000, 0);
  d.noflag = 0;
  d.nfflag = 0;
  d.ExtractOnlyNewer = 1;
  EXPECT_EQ(Rozbalit(archiv, cil, d), PK_OK);
  EXPECT_EQ(test::CistSoubor(cil + "/stary.txt"), "archiv");
  EXPECT_EQ(test::CistSoubor(cil + "/novy.txt"), "disk");
  EXPECT_EQ(test::CistSoubor(cil + "/chybi.txt"), "archiv");
  EXPECT_TRUE(Z().nahrazeni.empty());
}

TEST_F(Zip32, DamagedEntryLeavesTheOldFileAndNoTemporaryFile) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv,
                 {Vstup("a.txt", "OBSAH-KTERY-SE-POKAZI").Ulozit(), {"b.txt", "v pořádku"}});
  std::string data = test::CistSoubor(archiv);
  auto pozice = data.find("OBSAH-KTERY");
  ASSERT_NE(pozice, std::string::npos);
  data[pozice] = 'X';
  sb.Zapsat("a.zip", data);
  std::string cil = sb.Vytvorit("cil");
  sb.Zapsat("cil/a.txt", "starý");

  DCLIST d = Vychozi();
  d.noflag = 1;
  EXPECT_EQ(Rozbalit(archiv, cil, d), PK_ERR);

  EXPECT_EQ(test::CistSoubor(cil + "/a.txt"), "starý");
  EXPECT_EQ(test::CistSoubor(cil + "/b.txt"), "v pořádku");
  EXPECT_EQ(Obsah(cil), (std::vector<std::string>{"a.txt", "b.txt"}));

  d.ntflag = 1;
  EXPECT_EQ(Rozbalit(archiv, sb / "nikam", d), PK_ERR);
  EXPECT_FALSE(test::Existuje(sb / "nikam"));
}

TEST_F(Zip32, AFolderInTheWayOfAFileIsAWriteError) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {{"x", "soubor"}, {"y.txt", "y"}});
  std::string cil = sb.Vytvorit("cil");
  sb.Vytvorit("cil/x");
  DCLIST d = Vychozi();
  d.noflag = 1;
  EXPECT_EQ(Rozbalit(archiv, cil, d), PK_DISK);
  EXPECT_EQ(test::CistSoubor(cil + "/y.txt"), "y");
}

// ----- Times, permission bits, folders ----------------------------------------------

TEST_F(Zip32, TimeComesFromTheUtFieldElseFromTheDosFieldsInLocalTime) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {Vstup("ut.txt", "u").DosCas(1'500'000'000).Ut(1'600'000'001),
                          Vstup("dos.txt", "d").DosCas(1'500'000'000),
                          Vstup("slozka/").Ut(1'400'000'000),
                          {"slozka/f.txt", "f"}});
  std::string cil = sb.Vytvorit("cil");

  EXPECT_EQ(Rozbalit(archiv, cil), PK_OK);

  EXPECT_EQ(test::Stav(cil + "/ut.txt").st_mtime, 1'600'000'001);
  EXPECT_EQ(test::Stav(cil + "/dos.txt").st_mtime, 1'500'000'000);
  EXPECT_EQ(test::Stav(cil + "/slozka").st_mtime, 1'400'000'000);
}

TEST_F(Zip32, PermissionBitsAreRestoredWithinLimits) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(
      archiv, {Vstup("skript.sh", "#!").Unix(S_IFREG | 04755u),
               Vstup("soukromy", "p").Unix(S_IFREG | 0600u), Vstup("jen-cteni.txt", "r").Dos(0x01u),
               Vstup("bez.txt", "b").Dos(0x00u)});
  std::string cil = sb.Vytvorit("cil");

  EXPECT_EQ(Rozbalit(archiv, cil), PK_OK);

  EXPECT_EQ(test::Stav(cil + "/skript.sh").st_mode & 07777, 0755u);
  EXPECT_EQ(test::Stav(cil + "/soukromy").st_mode & 07777, 0600u);
  EXPECT_EQ(test::Stav(cil + "/jen-cteni.txt").st_mode & 07777, 0444u);
  EXPECT_EQ(test::Stav(cil + "/bez.txt").st_mode & 07777, 0644u);
}

TEST_F(Zip32, JunkPathsFlattensAndSpacesMayBecomeUnderscores) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {{"a/", ""}, {"a/b/moje data.txt", "x"}});
  std::string cil = sb.Vytvorit("cil");
  DCLIST d = Vychozi();
  d.ndflag = 0;
  d.SpaceToUnderscore = 1;
  EXPECT_EQ(Rozbalit(archiv, cil, d), PK_OK);
  EXPECT_EQ(Obsah(cil), std::vector<std::string>{"moje_data.txt"});
}

TEST_F(Zip32, MissingTargetFolderIsCreatedWithItsParents) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {{"x.txt", std::string(100, 'x')}, {"y.txt", "y"}});
  EXPECT_EQ(Rozbalit(archiv, sb / "a/b/c"), PK_OK);
  EXPECT_EQ(sb.Cist("a/b/c/x.txt"), std::string(100, 'x'));
  EXPECT_NE(Z().tisk.find(" extracting: " + sb / "a/b/c/y.txt"), std::string::npos);
  EXPECT_NE(Z().tisk.find("inflating: " + sb / "a/b/c/x.txt"), std::string::npos);
}

// ----- Selection, listing, testing --------------------------------------------------

TEST_F(Zip32, SelectionAndExclusionPickEntriesAndAnUnmatchedNameIsReported) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {{"a.txt", "a"}, {"b.TXT", "b"}, {"c.dat", "c"}, {"d/e.txt", "e"}});
  std::string cil = sb.Vytvorit("cil");

  EXPECT_EQ(Rozbalit(archiv, cil, Vychozi(), {"*.txt"}, {"d/*"}), PK_OK);
  EXPECT_EQ(Obsah(cil), (std::vector<std::string>{"a.txt", "b.TXT"}));
  EXPECT_EQ(funkce_.NumMembers, 2u);
  EXPECT_EQ(funkce_.TotalSize, 2u);

  EXPECT_EQ(Rozbalit(archiv, cil, Vychozi(), {"c.dat", "nic.*"}), PK_FIND);
  EXPECT_EQ(test::CistSoubor(cil + "/c.dat"), "c");
}

TEST_F(Zip32, ListingReportsEachEntryAndWritesNothing) {
  std::string archiv = sb / "a.zip";
  VytvoritArchiv(archiv, {Vstup("a.txt", "12345").Ut(1'600'000'000), Vstup("b.txt").Aes("h")});
  DCLIST d = Vychozi();
  d.nvflag = 1;
  const char* tz = std::getenv("TZ");
  std::string puvodniTz = tz ? tz : "";
  setenv("TZ", "UTC", 1);
  tzset();

  EXPECT_EQ(Rozbalit(archiv, sb / "cil", d), PK_OK);

  tz ? setenv("TZ", puvodniTz.c_str(), 1) : unsetenv("TZ");
  tzset();
  // 1'600'000'000 is 2020-09-13 12:26:40 UTC.
  ASSERT_EQ(Z().vypis.size(), 2u);
  EXPECT_EQ(Z().vypis[0], "a.txt 5 09/13/20 12:26  ");
  EXPECT_EQ(Z().vypis[1].substr(0, 8), "b.txt 0 ");
  EXPECT_EQ(Z().vypis[1].back(), 'E');
  EXPECT_TRUE(Z().hesla.empty());
  EXPECT_FALSE(test::Existuje(sb / "cil"));
}

TEST_F(Zip32, MissingEmptyAndForeignArchivesGiveCodesNotExceptions) {
  EXPECT_EQ(Rozbalit(sb / "chybi.zip", sb / "cil"), PK_NOZIP);
  sb.Zapsat("prazdny.zip", "");
  EXPECT_EQ(Rozbalit(sb / "prazdny.zip", sb / "cil"), PK_NOZIP);
  sb.Zapsat("text.zip", "toto není zip, jen text o něco delší než konec adresáře archivu");
  EXPECT_EQ(Rozbalit(sb / "text.zip", sb / "cil"), PK_NOZIP);
  sb.Zapsat("nic.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  EXPECT_EQ(Rozbalit(sb / "nic.zip", sb / "cil"), PK_WARN);
  EXPECT_FALSE(test::Existuje(sb / "cil"));
}

TEST_F(Zip32, UnsupportedOptionsAreRefused) {
  VytvoritArchiv(sb / "a.zip", {{"a.txt", "a"}});
  DCLIST d = Vychozi();
  d.ncflag = 1;
  EXPECT_EQ(Rozbalit(sb / "a.zip", sb / "cil", d), PK_PARAM);
  EXPECT_EQ(Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, nullptr, &funkce_), PK_PARAM);

  ZPOPT z;
  z.fMove = 1;
  EXPECT_EQ(Zabalit(sb / "b.zip", {sb.Zapsat("x.txt", "x")}, z), ZE_PARMS);
  EXPECT_FALSE(test::Existuje(sb / "b.zip"));
  EXPECT_FALSE(test::Existuje(sb / "cil"));
}

TEST_F(Zip32, ServiceCallbackCanStopBothHalves) {
  std::string soubor = sb.Zapsat("x.txt", "x");
  Z().odpovedSluzby = 1;
  ZPOPT z;
  z.szRootDir = sb.Cesta().c_str();
  EXPECT_EQ(Zabalit(sb / "a.zip", {soubor}, z), ZE_ABORT);
  EXPECT_FALSE(test::Existuje(sb / "a.zip"));

  VytvoritArchiv(sb / "b.zip", {{"x.txt", "x"}});
  EXPECT_EQ(Rozbalit(sb / "b.zip", sb / "cil"), IZ_CTRLC);
  EXPECT_FALSE(test::Existuje(sb / "cil/x.txt"));
  EXPECT_EQ(Z().sluzba, (std::vector<std::string>{"x.txt", "x.txt"}));
}

// ----- Passwords --------------------------------------------------------------------

TEST_F(Zip32, EncryptedZippingAsksThePasswordOnceAndUnzipReusesIt) {
  std::string koren = sb.Vytvorit("zdroj");
  sb.Zapsat("zdroj/1.txt", "první tajemství");
  sb.Zapsat("zdroj/2.txt", "druhé tajemství");
  ZPOPT z;
  z.fEncrypt = 1;
  z.szRootDir = koren.c_str();
  Z().odpovediHesel = {{IZ_PW_ENTERED, "Heslo-1"}};
  ASSERT_EQ(Zabalit(sb / "tajny.zip", {"1.txt", "2.txt"}, z), ZE_OK);
  EXPECT_EQ(Z().hesla.size(), 1u);

  zip_t* za = zip_open((sb / "tajny.zip").c_str(), ZIP_RDONLY, nullptr);
  ASSERT_NE(za, nullptr);
  for (zip_uint64_t i = 0; i < 2; ++i) {
    zip_stat_t st;
    ASSERT_EQ(zip_stat_index(za, i, 0, &st), 0);
    EXPECT_NE(st.encryption_method, ZIP_EM_NONE);
  }
  zip_discard(za);

  Z().hesla.clear();
  Z().odpovediHesel = {{IZ_PW_ENTERED, "Heslo-1"}};
  EXPECT_EQ(Rozbalit(sb / "tajny.zip", sb / "cil"), PK_OK);
  EXPECT_EQ(Z().hesla, std::vector<std::string>{"1.txt"});
  EXPECT_EQ(sb.Cist("cil/1.txt"), "první tajemství");
  EXPECT_EQ(sb.Cist("cil/2.txt"), "druhé tajemství");

  Z().odpovediHesel = {{IZ_PW_ENTERED, ""}};
  z.fEncrypt = 1;
  EXPECT_EQ(Zabalit(sb / "bez-hesla.zip", {"1.txt"}, z), ZE_PARMS);
  EXPECT_FALSE(test::Existuje(sb / "bez-hesla.zip"));
}

// AES entries: a wrong password is told apart reliably (two check bytes).
class Zip32Heslo : public Zip32 {
 protected:
  void SetUp() override {
    Zip32::SetUp();
    archiv_ = sb / "tajny.zip";
    VytvoritArchiv(
        archiv_, {Vstup("1.txt", "první").Aes("Heslo-1"), Vstup("2.txt", "druhé").Aes("Heslo-1")});
  }
  std::string archiv_;
};

TEST_F(Zip32Heslo, AWrongPasswordIsAskedAgain) {
  Z().odpovediHesel = {{IZ_PW_ENTERED, "špatně"}, {IZ_PW_ENTERED, "Heslo-1"}};
  EXPECT_EQ(Rozbalit(archiv_, sb / "cil"), PK_OK);
  EXPECT_EQ(Z().hesla, (std::vector<std::string>{"1.txt", "1.txt"}));
  EXPECT_EQ(sb.Cist("cil/1.txt"), "první");
  EXPECT_EQ(sb.Cist("cil/2.txt"), "druhé");
}

TEST_F(Zip32Heslo, NoFittingPasswordSkipsEntriesAndNothingExtractedIsBadPassword) {
  Z().odpovediHesel = {{IZ_PW_ENTERED, "a"}, {IZ_PW_ENTERED, "b"}, {IZ_PW_ENTERED, "c"}, {1, ""}};
  EXPECT_EQ(Rozbalit(archiv_, sb / "cil"), IZ_BADPWD);
  // Three tries for the first entry, one declined question for the second.
  EXPECT_EQ(Z().hesla, (std::vector<std::string>{"1.txt", "1.txt", "1.txt", "2.txt"}));
  EXPECT_FALSE(test::Existuje(sb / "cil/1.txt"));
  EXPECT_FALSE(test::Existuje(sb / "cil/2.txt"));

  Z().hesla.clear();
  Z().odpovediHesel = {{IZ_PW_CANCELALL, ""}};
  EXPECT_EQ(Rozbalit(archiv_, sb / "cil"), IZ_BADPWD);
  EXPECT_EQ(Z().hesla, std::vector<std::string>{"1.txt"});
}

TEST_F(Zip32Heslo, SomeFilesExtractedAndSomeWithoutPasswordIsAWarning) {
  ZPOPT z;
  sb.Zapsat("3.txt", "volně");
  z.szRootDir = sb.Cesta().c_str();
  ASSERT_EQ(Zabalit(archiv_, {"3.txt"}, z), ZE_OK);

  EXPECT_EQ(Rozbalit(archiv_, sb / "cil"), PK_WARN);
  EXPECT_EQ(sb.Cist("cil/3.txt"), "volně");
  EXPECT_FALSE(test::Existuje(sb / "cil/1.txt"));
}

// ----- Zipping ----------------------------------------------------------------------

TEST_F(Zip32, NamesAreStoredRelativeToTheRootOrBareWithJunkDir) {
  std::string koren = sb.Vytvorit("koren");
  sb.Zapsat("koren/a.txt", "a");
  sb.Zapsat("koren/sub/b.txt", "b");
  sb.Zapsat("jinde.txt", "j");
  ZPOPT z;
  z.szRootDir = koren.c_str();
  EXPECT_EQ(Zabalit(sb / "1.zip", {koren + "/a.txt", "sub/b.txt", sb / "jinde.txt"}, z), ZE_OK);
  std::string bezLomitka = sb.Cesta().substr(1);
  EXPECT_EQ(Polozky(sb / "1.zip"),
            (std::vector<std::string>{"a.txt", "sub/b.txt", bezLomitka + "/jinde.txt"}));

  z.fJunkDir = 1;
  EXPECT_EQ(Zabalit(sb / "2.zip", {"sub/b.txt", koren + "/a.txt"}, z), ZE_OK);
  EXPECT_EQ(Polozky(sb / "2.zip"), (std::vector<std::string>{"b.txt", "a.txt"}));

  EXPECT_EQ(Zabalit(sb / "3.zip", {"a.txt", sb / "koren/a.txt"}, z), ZE_OK);
  EXPECT_EQ(Polozky(sb / "3.zip"), std::vector<std::string>{"a.txt"});
  sb.Zapsat("koren/sub/a.txt", "jiné a");
  EXPECT_EQ(Zabalit(sb / "4.zip", {"a.txt", "sub/a.txt"}, z), ZE_PARMS);
  EXPECT_FALSE(test::Existuje(sb / "4.zip"));
}

TEST_F(Zip32, FoldersAndPatternsExpandHiddenFilesOnlyWithFSystem) {
  std::string koren = sb.Vytvorit("koren");
  sb.Zapsat("koren/a.txt", "a");
  sb.Zapsat("koren/.skryty", "s");
  sb.Zapsat("koren/sub/b.dat", "b");
  sb.Vytvorit("koren/prazdna");
  ZPOPT z;
  z.szRootDir = koren.c_str();
  z.fRecurse = 1;
  EXPECT_EQ(Zabalit(sb / "1.zip", {"*"}, z), ZE_OK);
  EXPECT_EQ(Polozky(sb / "1.zip"),
            (std::vector<std::string>{"a.txt", "prazdna/", "sub/", "sub/b.dat"}));

  z.fSystem = 1;
  z.szRootDir = sb.Cesta().c_str();
  EXPECT_EQ(Zabalit(sb / "2.zip", {"koren"}, z), ZE_OK);
  EXPECT_EQ(Polozky(sb / "2.zip"),
            (std::vector<std::string>{"koren/", "koren/.skryty", "koren/a.txt", "koren/prazdna/",
                                      "koren/sub/", "koren/sub/b.dat"}));

  z.fRecurse = 0;
  z.fNoDirEntries = 1;
  z.szRootDir = koren.c_str();
  EXPECT_EQ(Zabalit(sb / "3.zip", {"*.TXT", "sub"}, z), ZE_OK);
  EXPECT_EQ(Polozky(sb / "3.zip"), std::vector<std::string>{"a.txt"});
}

TEST_F(Zip32, NothingMatchedIsNothingToDoAndWritesNoArchive) {
  ZPOPT z;
  z.szRootDir = sb.Cesta().c_str();
  EXPECT_EQ(Zabalit(sb / "a.zip", {"chybi.txt", "*.nic"}, z), ZE_NONE);
  EXPECT_FALSE(test::Existuje(sb / "a.zip"));
  EXPECT_NE(Z().tisk.find("name not matched: chybi.txt"), std::string::npos);
}

TEST_F(Zip32, UpdateAddsNewNamesAndReplacesOnlyByNewerFiles) {
  std::string koren = sb.Vytvorit("koren");
  test::NastavitCas(sb.Zapsat("koren/a.txt", "a1"), 1'600'000'001, 0);
  ZPOPT z;
  z.szRootDir = koren.c_str();
  ASSERT_EQ(Zabalit(sb / "a.zip", {"a.txt"}, z), ZE_OK);
  std::string puvodni = sb.Cist("a.zip");

  z.fUpdate = 1;
  test::NastavitCas(sb.Zapsat("koren/a.txt", "a2"), 1'600'000'001, 0);
  EXPECT_EQ(Zabalit(sb / "a.zip", {"a.txt"}, z), ZE_NONE);
  EXPECT_EQ(sb.Cist("a.zip"), puvodni);

  sb.Zapsat("koren/b.txt", "b");
  EXPECT_EQ(Zabalit(sb / "a.zip", {"a.txt", "b.txt"}, z), ZE_OK);
  EXPECT_EQ(Polozky(sb / "a.zip"), (std::vector<std::string>{"a.txt", "b.txt"}));

  test::NastavitCas(sb.Zapsat("koren/a.txt", "a3"), 1'600'000'002, 0);
  EXPECT_EQ(Zabalit(sb / "a.zip", {"a.txt"}, z), ZE_OK);
  DCLIST d = Vychozi();
  EXPECT_EQ(Rozbalit(sb / "a.zip", sb / "cil", d), PK_OK);
  EXPECT_EQ(sb.Cist("cil/a.txt"), "a3");
  EXPECT_EQ(sb.Cist("cil/b.txt"), "b");
  EXPECT_EQ(test::Stav(sb / "cil/a.txt").st_mtime, 1'600'000'002);
}

TEST_F(Zip32, ArchiveThatCannotBeWrittenOrIsNoZipGivesItsCode) {
  std::string soubor = sb.Zapsat("x.txt", "x");
  EXPECT_EQ(Zabalit(sb / "chybi/a.zip", {soubor}, ZPOPT{}), ZE_CREAT);
  sb.Zapsat("text.zip", "tohle není archiv, jen obyčejný text dost dlouhý na hledání");
  EXPECT_EQ(Zabalit(sb / "text.zip", {soubor}, ZPOPT{}), ZE_FORM);
  EXPECT_EQ(sb.Cist("text.zip"), "tohle není archiv, jen obyčejný text dost dlouhý na hledání");
}

TEST_F(Zip32, StoredLevelCommentAndOptionsReadBack) {
  std::string soubor = sb.Zapsat("x.txt", std::string(1000, 'a'));
  ZPOPT z;
  z.fLevel = '0';
  z.fComment = 1;
  z.szRootDir = sb.Cesta().c_str();
  Z().komentar = "Komentář archivu";
  EXPECT_EQ(Zabalit(sb / "a.zip", {"x.txt"}, z), ZE_OK);

  ZPOPT zpet = ZpGetOptions();
  EXPECT_EQ(std::string(zpet.szRootDir), sb.Cesta());
  EXPECT_EQ(zpet.fEncryption, 1);
  EXPECT_EQ(zpet.fLevel, '0');

  zip_t* za = zip_open((sb / "a.zip").c_str(), ZIP_RDONLY, nullptr);
  ASSERT_NE(za, nullptr);
  zip_stat_t st;
  ASSERT_EQ(zip_stat_index(za, 0, 0, &st), 0);
  EXPECT_EQ(st.comp_method, ZIP_CM_STORE);
  EXPECT_STREQ(zip_get_archive_comment(za, nullptr, 0), "Komentář archivu");
  zip_discard(za);

  DCLIST d = Vychozi();
  d.nzflag = 1;
  Z().tisk.clear();
  EXPECT_EQ(Rozbalit(sb / "a.zip", sb / "cil", d), PK_OK);
  EXPECT_EQ(Z().tisk, "Komentář archivu");
  EXPECT_FALSE(test::Existuje(sb / "cil"));
}

// ----- Version ----------------------------------------------------------------------

TEST(Zip32Verze, FillsOnlyWhatTheCallersRecordHolds) {
  UZPVER2 kratka;
  kratka.structlen = 64;
  std::fill(std::begin(kratka.windll), std::end(kratka.windll), 0xEE);
  EXPECT_EQ(UzpVersion2(&kratka), static_cast<int>(sizeof(UZPVER2)));
  EXPECT_EQ(kratka.unzip[0], 6);
  EXPECT_EQ(kratka.os2dll[0], 6);
  EXPECT_EQ(kratka.windll[0], 0xEE);
  EXPECT_GT(std::strlen(kratka.date), 0u);
  EXPECT_STREQ(kratka.zlib, ZLIB_VERSION);

  UZPVER2 cela;
  cela.structlen = sizeof(UZPVER2);
  EXPECT_EQ(UzpVersion2(&cela), 0);
  EXPECT_EQ(cela.dllapimin[0], 5);
  EXPECT_EQ(cela.fEncryption, 1);
}

}  // namespace
}  // namespace zevlon
