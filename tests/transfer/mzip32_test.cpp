// mZip32: the two operations on real files, the module state they leave, the
// callbacks' answers, and the errors they log and raise.
#include "transfer/mzip32.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "installers/pomoc_operaci.h"
#include "support/falesna_platforma.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"
#include "transfer/zip32_knihovna.h"

namespace zevlon {
namespace {

using test::Sandbox;

std::string NahodnaData(std::size_t n) {
  std::mt19937 g(20261206);
  std::string data(n, '\0');
  for (auto& c : data)
    c = static_cast<char>(g() & 0xFF);
  return data;
}

std::vector<std::string> Polozky(const std::string& archiv) {
  std::vector<std::string> jmena;
  zip_t* za = zip_open(archiv.c_str(), ZIP_RDONLY, nullptr);
  if (!za) return jmena;
  for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i)
    jmena.emplace_back(zip_get_name(za, static_cast<zip_uint64_t>(i), 0));
  zip_discard(za);
  return jmena;
}

bool Sifrovany(const std::string& archiv) {
  zip_t* za = zip_open(archiv.c_str(), ZIP_RDONLY, nullptr);
  if (!za) return false;
  zip_stat_t st;
  bool ano = zip_stat_index(za, 0, 0, &st) == 0 && st.encryption_method != ZIP_EM_NONE;
  zip_discard(za);
  return ano;
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
  void SetUp() override { platforma_.program = sb / "Zevlon"; }

  std::string Log() const {
    return test::Existuje(sb / "online_errors.log") ? sb.Cist("online_errors.log") : "";
  }

  Sandbox sb;
  test::FalesnaPlatforma platforma_;
};

// ----- Round trips ------------------------------------------------------------------

struct Soubor {
  std::string jmeno;
  std::string obsah;
};

void PrintTo(const Soubor& s, std::ostream* os) {
  *os << '"' << s.jmeno << "\" (" << s.obsah.size() << " B)";
}

class MZip32Tam : public MZip32, public ::testing::WithParamInterface<Soubor> {};

TEST_P(MZip32Tam, FileAndBackGivesTheSameBytesAndTime) {
  std::string zdroj = sb.Zapsat("data/" + GetParam().jmeno, GetParam().obsah);
  test::NastavitCas(zdroj, 1'700'000'001, 987'654'321);

  EXPECT_EQ(ZazipovatJednoduse(zdroj, "", true, "", false), 0);

  // The archive is named after the file and holds its bare name.
  std::string archiv = zdroj + ".zip";
  EXPECT_EQ(Polozky(archiv), std::vector<std::string>{GetParam().jmeno});
  zip32::ZPOPT volby = zip32::ZpGetOptions();
  EXPECT_EQ(std::string(volby.szRootDir), sb / "data/");
  EXPECT_EQ(volby.fUpdate, 0);
  EXPECT_EQ(volby.fEncrypt, 0);
  EXPECT_EQ(volby.fJunkDir, 0);
  EXPECT_EQ(volby.fRecurse + volby.fSystem + volby.fGrow, 3);

  EXPECT_EQ(RozzipovatJednoduse(archiv, sb / "cil", 0, ""), 0);

  std::string cil = sb / ("cil/" + GetParam().jmeno);
  EXPECT_EQ(test::CistSoubor(cil), GetParam().obsah);
  EXPECT_EQ(test::Stav(cil).st_mtime, 1'700'000'001);
  EXPECT_EQ(mzip32::Stav().knihovny, (std::array<bool, 2>{true, true}));
  EXPECT_EQ(Log(), "");
}

INSTANTIATE_TEST_SUITE_P(MZip32, MZip32Tam,
                         ::testing::Values(Soubor{"prazdny.dat", ""},
                                           Soubor{"nahodny.bin", NahodnaData(5 << 20)},
                                           Soubor{"Účetní data.txt", "Faktura č. 1: 1 250 Kč"}));

TEST_F(MZip32, FolderIsPackedWithRelativePathsAndUnpackedWhole) {
  sb.Zapsat("dir/a.txt", "a");
  sb.Zapsat("dir/.skryty", "s");
  sb.Zapsat("dir/pod/b.txt", "b");
  test::NastavitCas(sb / "dir/pod/b.txt", 1'600'000'003, 0);
  ::symlink("a.txt", (sb / "dir/odkaz.txt").c_str());

  EXPECT_EQ(ZazipovatJednoduse(sb / "dir/", "", true, "", false), 0);
  EXPECT_EQ(std::string(zip32::ZpGetOptions().szRootDir), sb / "dir");
  EXPECT_EQ(Polozky(sb / "dir.zip"),
            (std::vector<std::string>{".skryty", "a.txt", "odkaz.txt", "pod/b.txt"}));

  EXPECT_EQ(ZazipovatJednoduse(sb / "dir", "", true, "", false), 0);
  EXPECT_EQ(Polozky(sb / "dir.zip").size(), 4u);

  EXPECT_EQ(RozzipovatJednoduse(sb / "dir.zip", sb / "cil", 1, ""), 0);
  EXPECT_EQ(sb.Cist("cil/odkaz.txt"), "a");
  EXPECT_EQ(sb.Cist("cil/.skryty"), "s");
  EXPECT_EQ(sb.Cist("cil/pod/b.txt"), "b");
  EXPECT_EQ(test::Stav(sb / "cil/pod/b.txt").st_mtime, 1'600'000'003);
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
  EXPECT_NE(Log().find("\tmZip32::ZazipovatJednoduse\t9\t" + c.Popis() + "\r\n"),
            std::string::npos);
}

// ----- Existing archives ------------------------------------------------------------

TEST_F(MZip32, ReplaceFalseUpdatesTheArchiveAndTrueBuildsItAnew) {
  std::string a = sb.Zapsat("a.txt", "a");
  std::string b = sb.Zapsat("b.txt", "b");
  std::string archiv = sb / "x.zip";
  ASSERT_EQ(ZazipovatJednoduse(a, archiv, true, "", false), 0);

  EXPECT_EQ(ZazipovatJednoduse(b, archiv, false, "", false), 0);
  EXPECT_EQ(zip32::ZpGetOptions().fUpdate, 1);
  EXPECT_EQ(Polozky(archiv), (std::vector<std::string>{"a.txt", "b.txt"}));

  EXPECT_EQ(ZazipovatJednoduse(b, archiv, true, "", false), 0);
  EXPECT_EQ(zip32::ZpGetOptions().fUpdate, 0);
  EXPECT_EQ(Polozky(archiv), std::vector<std::string>{"b.txt"});
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

TEST_F(MZip32, ASourceThatIsNeitherFileNorFolderWritesAndLogsNothing) {
  EXPECT_EQ(ZazipovatJednoduse(sb / "chybi.txt", "", true, "", false), kZdrojNeexistuje);
  EXPECT_EQ(ZazipovatJednoduse(sb / "chybi/", sb / "x.zip", true, "", false), kZdrojNeexistuje);
  EXPECT_FALSE(test::Existuje(sb / "chybi.txt.zip"));
  EXPECT_FALSE(test::Existuje(sb / "x.zip"));
  EXPECT_EQ(Log(), "");
}

// ----- Unpacking --------------------------------------------------------------------

TEST_F(MZip32, MissingOrForeignArchiveGivesACodeAndNoError) {
  EXPECT_EQ(RozzipovatJednoduse(sb / "chybi.zip", sb / "cil", 1, ""), zip32::PK_NOZIP);
  EXPECT_NE(mzip32::Stav().textTisku.find("chybi.zip"), std::string::npos);
  sb.Zapsat("text.zip", "Tohle není archiv, ale obyčejný dopis o několika slovech.");
  EXPECT_EQ(RozzipovatJednoduse(sb / "text.zip", sb / "cil", 1, ""), zip32::PK_NOZIP);
  EXPECT_EQ(mzip32::Stav().textTisku.find("chybi.zip"), std::string::npos);
  EXPECT_FALSE(test::Existuje(sb / "cil"));
  EXPECT_EQ(Log(), "");
}

TEST_F(MZip32, BlankTargetUnpacksBesideTheArchive) {
  std::string zdroj = sb.Zapsat("zdroj/a.txt", "a");
  sb.Vytvorit("balik");
  ASSERT_EQ(ZazipovatJednoduse(zdroj, sb / "balik/a.zip", true, "", false), 0);
  EXPECT_EQ(RozzipovatJednoduse(sb / "balik/a.zip", "   ", 0, ""), 0);
  EXPECT_EQ(sb.Cist("balik/a.txt"), "a");
  EXPECT_EQ(mzip32::Stav().extractDir, sb / "balik/");
}

TEST_F(MZip32, ExistingFilesAreReplacedWhateverTheOverwriteArgument) {
  std::string zdroj = sb.Zapsat("zdroj/a.txt", "nový");
  ASSERT_EQ(ZazipovatJednoduse(zdroj, sb / "a.zip", true, "", false), 0);
  for (std::int16_t prepsat : {0, 1, -1}) {
    sb.Zapsat("cil/a.txt", "starý");
    EXPECT_EQ(RozzipovatJednoduse(sb / "a.zip", sb / "cil", prepsat, ""), 0);
    EXPECT_EQ(sb.Cist("cil/a.txt"), "nový") << prepsat;
    EXPECT_EQ(mzip32::Stav().volby.noflag, prepsat != 0 ? 1 : 0);
    EXPECT_EQ(mzip32::Stav().volby.ndflag, 1);
  }
  EXPECT_EQ(mzip32::UnzipNahradit(nullptr, 0), zip32::IDM_REPLACE_ALL);
  // The print text holds the last extraction only.
  const std::string& tisk = mzip32::Stav().textTisku;
  EXPECT_EQ(tisk.find(sb / "cil/a.txt"), tisk.rfind(sb / "cil/a.txt"));
  EXPECT_NE(tisk.find(sb / "cil/a.txt"), std::string::npos);
}

// ----- Passwords --------------------------------------------------------------------

TEST_F(MZip32, PasswordEncryptsAndTheSamePasswordUnpacks) {
  std::string zdroj = sb.Zapsat("a.txt", "tajná data");
  ASSERT_EQ(ZazipovatJednoduse(zdroj, "", true, "Heslo 1", false), 0);
  EXPECT_TRUE(Sifrovany(sb / "a.txt.zip"));
  EXPECT_TRUE(mzip32::Stav().zipHesloZadano);
  EXPECT_EQ(zip32::ZpGetOptions().fEncrypt, 1);

  EXPECT_EQ(RozzipovatJednoduse(sb / "a.txt.zip", sb / "cil", 0, "Heslo 1"), 0);
  EXPECT_EQ(sb.Cist("cil/a.txt"), "tajná data");

  // Without a password: no encryption, flags cleared, the stored password kept.
  ASSERT_EQ(ZazipovatJednoduse(zdroj, sb / "b.zip", true, "", false), 0);
  EXPECT_FALSE(Sifrovany(sb / "b.zip"));
  EXPECT_FALSE(mzip32::Stav().zipHesloZadano);
  EXPECT_EQ(mzip32::Stav().heslo, "Heslo 1");
}

TEST_F(MZip32, ZipPasswordCallbackFillsTheWholeBufferOrDeclines) {
  std::string zdroj = sb.Zapsat("a.txt", "a");
  ASSERT_EQ(ZazipovatJednoduse(zdroj, "", true, "tajne", false), 0);
  char buf[12];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(mzip32::ZipHeslo(buf, sizeof buf, "", ""), 0);
  EXPECT_EQ(std::string(buf, sizeof buf), std::string("tajne") + std::string(7, '\0'));

  // An unzip call stores an empty password; the zip callback then declines for good.
  RozzipovatJednoduse(sb / "chybi.zip", "", 0, "");
  std::memset(buf, 'x', sizeof buf);
  EXPECT_NE(mzip32::ZipHeslo(buf, sizeof buf, "", ""), 0);
  EXPECT_TRUE(mzip32::Stav().zipHesloOdmitnuto);
  EXPECT_EQ(buf[0], 'x');
}

TEST_F(MZip32, UnzipDeclinedFlagStaysSetForLaterExtractions) {
  std::string zdroj = sb.Zapsat("a.txt", "tajná data");
  ASSERT_EQ(ZazipovatJednoduse(zdroj, "", true, "tajne", false), 0);
  std::string archiv = sb / "a.txt.zip";
  // In a child process: the flag is process-wide and never reset.
  int vysledek = VPotomkovi([&] {
    int bity = 0;
    if (RozzipovatJednoduse(archiv, sb / "cil", 0, "") == zip32::IZ_BADPWD) bity |= 1;
    if (mzip32::Stav().unzipHesloOdmitnuto) bity |= 2;
    if (RozzipovatJednoduse(archiv, sb / "cil", 0, "tajne") == zip32::IZ_BADPWD) bity |= 4;
    if (!test::Existuje(sb / "cil/a.txt")) bity |= 8;
    return bity;
  });
  EXPECT_EQ(vysledek, 15);
  EXPECT_FALSE(mzip32::Stav().unzipHesloOdmitnuto);
}

// ----- Callbacks --------------------------------------------------------------------

std::size_t Znaku(const std::string& s) {
  std::size_t n = 0;
  for (char c : s)
    n += (c & 0xC0) != 0x80;
  return n;
}

TEST_F(MZip32, ListingLinesAreEightyCharactersUnderAHeader) {
  RozzipovatJednoduse(sb / "chybi.zip", "", 0, "");  // counter back to 0
  EXPECT_EQ(mzip32::Stav().pocetVypsanych, 0);
  mzip32::UnzipZprava(1250, 600, 52, 9, 13, 20, 12, 26, ' ', "Účetní data.txt", "Defl:N", 0, ' ');
  mzip32::UnzipZprava(7, 7, 0, 1, 2, 3, 4, 5, ' ', std::string(300, 'n').c_str(), "Stored", 0, ' ');
  EXPECT_EQ(mzip32::Stav().pocetVypsanych, 2);

  std::vector<std::string> radky;
  std::string text = mzip32::Stav().textVypisu;
  for (std::size_t p; (p = text.find("\r\n")) != std::string::npos; text.erase(0, p + 2))
    radky.push_back(text.substr(0, p));
  EXPECT_EQ(text, "");
  ASSERT_EQ(radky.size(), 3u);
  for (const auto& r : radky)
    EXPECT_EQ(Znaku(r), mzip32::kSirkaRadkuVypisu) << r;
  EXPECT_EQ(radky[0].rfind("Filename:", 0), 0u);
  for (auto titulek : {"Size", "Date", "Time"})
    EXPECT_NE(radky[0].find(titulek), std::string::npos);
  EXPECT_EQ(radky[1].rfind("Účetní data.txt ", 0), 0u);
  EXPECT_NE(radky[1].find(" 1250  09/13/20  12:26"), std::string::npos);
  EXPECT_EQ(radky[2].rfind(std::string(49, 'n') + " ", 0), 0u);
  EXPECT_NE(radky[2].find(" 7  01/02/03  04:05"), std::string::npos);
}

TEST_F(MZip32, UnzipPrintTakesTheTextUpToItsLengthOrAZero) {
  RozzipovatJednoduse(sb / "chybi.zip", "", 0, "");
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
