// Keys and signatures pass both ways between the program and the stock minisign, run as
// a child process: what minisign makes is read and verified here, and what is made here
// minisign verifies and signs with. Without minisign installed these tests fail.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>

#include "common/chyba.h"
#include "prenos/podpisy/podpis.h"
#include "support/neprivilegovany.h"
#include "support/sandbox.h"

namespace zevlon::podpis {
namespace {

constexpr const char* kMinisign = "/usr/bin/minisign";

std::string DruhyRadek(const std::string& text) {
  const std::size_t zacatek = text.find('\n') + 1;
  return text.substr(zacatek, text.find('\n', zacatek) - zacatek);
}

class PodpisMinisign : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::access(kMinisign, X_OK), 0)
        << "minisign is not installed (scripts/install-deps.sh)";
  }

  // Runs minisign with the arguments; `vstup` is what it reads on stdin (the password:
  // minisign reads it from there when stdin is not a terminal).
  test::VysledekProcesu Minisign(std::vector<std::string> argumenty,
                                 const std::string& vstup = {}) const {
    argumenty.insert(argumenty.begin(), {"/bin/sh", "-c", "exec \"$@\" <\"$0\"",
                                         s_.Zapsat("stdin.txt", vstup), kMinisign});
    return test::Spustit(argumenty);
  }

  // Checks our signature file with minisign against our public key, as the file and as
  // the base64 line; answers minisign's exit status and output.
  test::VysledekProcesu OveritMinisignem(const std::string& soubor, const std::string& podpis,
                                         const VerejnyKlic& klic) const {
    const std::string pub = s_.Zapsat("overit.pub", SouborVerejnehoKlice(klic));
    const std::string minisig = s_.Zapsat("overit.minisig", podpis);
    const auto s_radkem =
        Minisign({"-V", "-m", soubor, "-x", minisig, "-P", TextVerejnehoKlice(klic)});
    const auto se_souborem = Minisign({"-V", "-m", soubor, "-x", minisig, "-p", pub});
    EXPECT_EQ(s_radkem.kod, se_souborem.kod) << s_radkem.vystup << se_souborem.vystup;
    return se_souborem;
  }

  test::Sandbox s_;
};

TEST_F(PodpisMinisign, KeysAndSignaturesMadeByMinisignVerifyHere) {
  const std::string obsah("balík\0\xff\n", 9);
  const std::string soubor = s_.Zapsat("balik.zip", obsah);
  const std::int64_t pred = std::time(nullptr);
  ASSERT_EQ(Minisign({"-G", "-W", "-p", s_ / "k.pub", "-s", s_ / "k.key"}).kod, 0);
  ASSERT_EQ(Minisign({"-S", "-s", s_ / "k.key", "-m", soubor}).kod, 0);
  ASSERT_EQ(Minisign({"-S", "-l", "-s", s_ / "k.key", "-m", soubor, "-x", s_ / "legacy.minisig",
                      "-t", "zevlon 1.0"})
                .kod,
            0);
  const std::int64_t po = std::time(nullptr);

  const std::string pub = s_.Cist("k.pub");
  const auto klic = CistVerejnyKlic(pub);
  ASSERT_TRUE(klic);
  EXPECT_EQ(CistVerejnyKlic(DruhyRadek(pub)), klic);
  EXPECT_EQ(SouborVerejnehoKlice(*klic), pub);  // the id as minisign prints it included
  const std::vector<VerejnyKlic> klice{*klic};

  // The default: the content's BLAKE2b-512 signed, the time in the trusted comment.
  const auto podpis = CistPodpis(s_.Cist("balik.zip.minisig"));
  ASSERT_TRUE(podpis);
  EXPECT_TRUE(podpis->predhashovany);
  EXPECT_EQ(podpis->id, klic->id);
  EXPECT_EQ(Overit(*podpis, klice, obsah), Overeni::kPlatny);
  EXPECT_EQ(Overit(*podpis, klice, obsah + "x"), Overeni::kNeplatny);
  const auto cas = CasPodpisu(podpis->duveryhodnyKomentar);
  ASSERT_TRUE(cas) << podpis->duveryhodnyKomentar;
  EXPECT_GE(*cas, pred);
  EXPECT_LE(*cas, po);

  // The legacy format: the content itself signed.
  const auto legacy = CistPodpis(s_.Cist("legacy.minisig"));
  ASSERT_TRUE(legacy);
  EXPECT_FALSE(legacy->predhashovany);
  EXPECT_EQ(legacy->duveryhodnyKomentar, "zevlon 1.0");
  EXPECT_EQ(CasPodpisu(legacy->duveryhodnyKomentar), std::nullopt);
  EXPECT_EQ(Overit(*legacy, klice, obsah), Overeni::kPlatny);
  EXPECT_EQ(Overit(*legacy, klice, obsah.substr(1)), Overeni::kNeplatny);
}

// Our secret key files, not encrypted and encrypted with the password on minisign's
// stdin, sign with minisign; each signature verified by minisign against our public
// key. (We signing with minisign's own keys: the publisher's key tests.)
TEST_F(PodpisMinisign, MinisignSignsWithOurSecretKeyFiles) {
  const std::string soubor = s_.Zapsat("balik.zip", "obsah");
  const auto [tajny, verejny] = NovyPar();
  for (const std::optional<std::string>& heslo :
       {std::optional<std::string>(), std::optional<std::string>("heslo pro minisign")}) {
    const std::string key = s_.Zapsat("nas.key", SouborTajnehoKlice(tajny, heslo));
    const auto podpis =
        Minisign({"-S", "-s", key, "-m", soubor, "-x", s_ / "nas.minisig", "-t", "timestamp:7"},
                 heslo ? *heslo + "\n" : "");
    ASSERT_EQ(podpis.kod, 0) << podpis.vystup;
    const auto overeni = OveritMinisignem(soubor, s_.Cist("nas.minisig"), verejny);
    EXPECT_EQ(overeni.kod, 0) << overeni.vystup;
    if (heslo) {
      EXPECT_NE(Minisign({"-S", "-s", key, "-m", soubor, "-x", s_ / "x.minisig"}, "jine\n").kod, 0);
    }
  }
}

}  // namespace
}  // namespace zevlon::podpis
