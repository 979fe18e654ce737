// Keys and signatures of zevlon-publikovat, checked with the stock minisign; keys made
// by the stock minisign sign sites too.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <regex>

#include "common/text.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"
#include "support/terminal.h"

namespace zevlon {
namespace {

using test::Existuje;
using test::VysledekProcesu;

constexpr const char* kMinisign = "/usr/bin/minisign";

unsigned Rezim(const std::string& cesta) {
  struct stat st {};
  EXPECT_EQ(::lstat(cesta.c_str(), &st), 0) << cesta;
  return st.st_mode & 07777;
}

class Podpisy : public ::testing::Test {
 protected:
  void SetUp() override { s_.Zapsat("vydani/Setup/Merko/Merko.exe", "program"); }

  VysledekProcesu Vydat(const std::string& vydani, const std::string& klic,
                        const std::string& heslo = "") {
    s_.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=" + vydani + "\r\n");
    return test::SpustitSeVstupem(
        {ZEVLON_PUBLIKOVAT, "vydat", "--vydani", vydani, "--adresa", "http://127.0.0.1/a/",
         "--klic", s_ / klic, s_ / "vydani", s_ / "web"},
        heslo);
  }
  VysledekProcesu Klic(const std::string& klic, const std::string& heslo,
                       const std::string& volba = "") {
    std::vector<std::string> a{ZEVLON_PUBLIKOVAT, "klic"};
    if (!volba.empty()) a.push_back(volba);
    a.push_back(s_ / klic);
    return test::SpustitSeVstupem(a, heslo);
  }
  // The stock minisign's verdict on the file and its FILE.minisig; `klic` is "-p FILE"
  // or "-P BASE64".
  void Overit(const std::string& soubor, const std::string& volba, const std::string& klic) {
    auto v = test::Spustit({kMinisign, "-V", volba, klic, "-m", s_ / soubor});
    EXPECT_EQ(v.kod, 0) << soubor << " " << klic << ": " << v.vystup;
  }
  // The trusted comment holds the time of signing and the file's name.
  void OveritKomentar(const std::string& soubor, const std::string& jmeno, std::time_t pred) {
    const auto radky = Rozdelit(s_.Cist(soubor + ".minisig"), '\n');  // and "" after the last
    ASSERT_EQ(radky.size(), 5u) << s_.Cist(soubor + ".minisig");
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(radky[2], m, std::regex("trusted comment: timestamp:([0-9]+)\tfile:(.*)")))
        << radky[2];
    EXPECT_GE(std::stoll(m[1]), pred);
    EXPECT_LE(std::stoll(m[1]), std::time(nullptr));
    EXPECT_EQ(m[2], jmeno);
  }

  test::Sandbox s_;
};

// A key pair from `klic`: the secret key private and never overwritten, an empty password
// refused; a site signed with it passes the stock minisign with the .pub file and with the
// printed key line, and a wrong password leaves the published site as it was.
TEST_F(Podpisy, KeyFromKlicSignsASiteThatStockMinisignAccepts) {
  EXPECT_NE(Klic("klic", "\n").kod, 0);
  EXPECT_FALSE(Existuje(s_ / "klic"));
  EXPECT_FALSE(Existuje(s_ / "klic.pub"));

  auto klic = Klic("klic", "heslo k webu\n");
  ASSERT_EQ(klic.kod, 0) << klic.vystup;
  const auto pub = Rozdelit(s_.Cist("klic.pub"), '\n');
  ASSERT_EQ(pub.size(), 3u);
  const std::string radekKlice = pub[1];
  EXPECT_NE(klic.vystup.find("VerejnyKlic=" + radekKlice + "\n"), std::string::npos) << klic.vystup;
  EXPECT_NE(klic.vystup.find("minisign -Vm download.ini -P " + radekKlice), std::string::npos)
      << klic.vystup;
  EXPECT_EQ(klic.vystup.find("heslo k webu"), std::string::npos);
  EXPECT_EQ(Rezim(s_ / "klic"), 0600u);
  EXPECT_EQ(Rezim(s_ / "klic.pub"), 0644u);
  const std::string tajny = s_.Cist("klic");
  EXPECT_NE(Klic("klic", "jine heslo\n").kod, 0);
  EXPECT_EQ(s_.Cist("klic"), tajny);
  EXPECT_EQ(s_.Cist("klic.pub"), pub[0] + "\n" + pub[1] + "\n");

  const std::time_t pred = std::time(nullptr);
  auto vydani = Vydat("20150101", "klic", "heslo k webu\n");
  ASSERT_EQ(vydani.kod, 0) << vydani.vystup;
  EXPECT_EQ(vydani.vystup.find("heslo k webu"), std::string::npos);
  Overit("web/download.ini", "-p", s_ / "klic.pub");
  Overit("web/download.ini", "-P", radekKlice);
  OveritKomentar("web/download.ini", "download.ini", pred);

  const std::string ini = s_.Cist("web/download.ini"), podpis = s_.Cist("web/download.ini.minisig");
  auto spatne = Vydat("20150202", "klic", "heslo k webu?\n");
  EXPECT_NE(spatne.kod, 0);
  EXPECT_EQ(s_.Cist("web/download.ini"), ini);
  EXPECT_EQ(s_.Cist("web/download.ini.minisig"), podpis);
}

// Keys made by the stock minisign, encrypted and not, sign sites; `podepsat` signs any
// file under its own name, with a key from `klic --bez-hesla` too.
TEST_F(Podpisy, StockMinisignKeysSignSitesAndPodepsatSignsAnyFile) {
  auto w = test::Spustit({kMinisign, "-G", "-W", "-p", s_ / "w.pub", "-s", s_ / "w.key"});
  ASSERT_EQ(w.kod, 0) << w.vystup;
  auto h = test::SpustitSeVstupem({kMinisign, "-G", "-p", s_ / "h.pub", "-s", s_ / "h.key"},
                                  "tajne heslo\ntajne heslo\n");
  ASSERT_EQ(h.kod, 0) << h.vystup;

  auto bezHesla = Vydat("20150101", "w.key");
  ASSERT_EQ(bezHesla.kod, 0) << bezHesla.vystup;
  Overit("web/download.ini", "-p", s_ / "w.pub");
  auto sHeslem = Vydat("20150202", "h.key", "tajne heslo\n");
  ASSERT_EQ(sHeslem.kod, 0) << sHeslem.vystup;
  Overit("web/download.ini", "-p", s_ / "h.pub");

  s_.Zapsat("doplnek/download.ini", "[Upravy\\Doplnky\\Fakturace\\]\r\nRelease=20150303\r\n");
  const std::time_t pred = std::time(nullptr);
  auto podepsano = test::Spustit(
      {ZEVLON_PUBLIKOVAT, "podepsat", "--klic", s_ / "w.key", s_ / "doplnek/download.ini"});
  ASSERT_EQ(podepsano.kod, 0) << podepsano.vystup;
  Overit("doplnek/download.ini", "-p", s_ / "w.pub");
  OveritKomentar("doplnek/download.ini", "download.ini", pred);

  auto vlastni = Klic("vlastni", "", "--bez-hesla");
  ASSERT_EQ(vlastni.kod, 0) << vlastni.vystup;
  s_.Zapsat("jiny.txt", "cokoli");
  auto jiny =
      test::Spustit({ZEVLON_PUBLIKOVAT, "podepsat", "--klic", s_ / "vlastni", s_ / "jiny.txt"});
  ASSERT_EQ(jiny.kod, 0) << jiny.vystup;
  Overit("jiny.txt", "-p", s_ / "vlastni.pub");
  OveritKomentar("jiny.txt", "jiny.txt", pred);
}

// On a terminal the password is typed twice and never shown; two that differ make no key.
TEST_F(Podpisy, OnATerminalThePasswordIsTypedTwiceWithoutEcho) {
  auto ruzna = test::ProgramVTerminalu({ZEVLON_PUBLIKOVAT, "klic", s_ / "t"}, {},
                                       {{": ", "prvni heslo\n"}, {": ", "druhe heslo\n"}});
  EXPECT_GT(ruzna.kod, 0) << ruzna.vystup;  // refused, not hung (-1)
  EXPECT_FALSE(Existuje(s_ / "t"));

  auto klic = test::ProgramVTerminalu({ZEVLON_PUBLIKOVAT, "klic", s_ / "t"}, {},
                                      {{": ", "stejne heslo\n"}, {": ", "stejne heslo\n"}});
  ASSERT_EQ(klic.kod, 0) << klic.vystup;
  EXPECT_EQ(klic.vystup.find("stejne"), std::string::npos) << klic.vystup;
  s_.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20150101\r\n");
  auto vydani = test::ProgramVTerminalu(
      {ZEVLON_PUBLIKOVAT, "vydat", "--vydani", "20150101", "--adresa", "http://127.0.0.1/a/",
       "--klic", s_ / "t", s_ / "vydani", s_ / "web"},
      {}, {{": ", "stejne heslo\n"}});
  ASSERT_EQ(vydani.kod, 0) << vydani.vystup;
  EXPECT_EQ(vydani.vystup.find("stejne"), std::string::npos) << vydani.vystup;
  Overit("web/download.ini", "-p", s_ / "t.pub");
}

}  // namespace
}  // namespace zevlon
