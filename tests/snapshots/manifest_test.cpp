#include "snapshots/manifest.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "common/chyba.h"
#include "snapshots/instalacni_slozka.h"
#include "support/falesna_platforma.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

using test::Sandbox;

constexpr const char* kPrvek =
    "<UpdateOnLine protocol=\"ftp\" server=\"ftp.dunmor.invalid\" port=\"21\" user=\"u\" "
    "password=\"p\" remoteLocation=\"pub/app\" snapshot=\"master.snapshot\"/>";

TEST(Manifest, AnyRootWithTheUpperCaseElementGivesAnUpdateServerAndIsReadOnce) {
  Sandbox s;
  std::string cesta = s.Zapsat(
      "a.manifest.xml", std::string("<cokoli>") + kPrvek + "<merkoData verze=\"1\"/></cokoli>");
  Manifest m(cesta);
  auto u = m.UpdateServer();
  EXPECT_EQ(u->Port, 21);
  EXPECT_EQ(u->server, "ftp.dunmor.invalid");
  EXPECT_EQ(u->remoteLocation, "pub/app");
  EXPECT_EQ(u->snapshot, "master.snapshot");
  EXPECT_EQ(std::string(m.ElementDat().attribute("verze").as_string()), "1");
  std::remove(cesta.c_str());
  EXPECT_EQ(m.UpdateServer()->protocol, "ftp");  // not read again
}

TEST(Manifest, MissingElementAttributeOrNumberFailWithThePlatformsErrors) {
  Sandbox s;
  auto chyba = [&](const std::string& obsah) {
    Manifest m(s.Zapsat("m.manifest.xml", obsah));
    try {
      m.UpdateServer();
    } catch (const Chyba& c) {
      return c.Cislo();
    }
    return 0;
  };
  EXPECT_EQ(chyba("<a><updateOnLine url=\"http://x/\"/></a>"), 91);
  EXPECT_EQ(chyba("nejde o xml"), 91);
  EXPECT_EQ(chyba("<a><UpdateOnLine protocol=\"ftp\"/></a>"), 94);
  EXPECT_EQ(chyba(std::string("<a>") + kPrvek + "</a>"), 0);
  std::string spatnyPort = std::string(kPrvek);
  spatnyPort.replace(spatnyPort.find("\"21\""), 4, "\"abc\"");
  EXPECT_EQ(chyba("<a>" + spatnyPort + "</a>"), 13);
  // An external entity is never resolved.
  s.Zapsat("tajne.txt", "tajne");
  EXPECT_EQ(chyba("<!DOCTYPE a [<!ENTITY x SYSTEM \"file://" + (s / "tajne.txt") +
                  "\">]><a><UpdateOnLine protocol=\"&x;\"/></a>"),
            94);
}

TEST(Manifest, MadeFromAScannedFileOfTheFolder) {
  Sandbox s;
  test::FalesnaPlatforma p;
  s.Zapsat("inst/app/App.Manifest.xml", std::string("<a>") + kPrvek + "</a>");
  InstalacniSlozka sl;
  sl.NacistObsahSlozky(s / "inst/");
  auto manifesty = sl.DejObsahSlozky(Manifesty);
  ASSERT_EQ(manifesty->Pocet(), 1u);
  auto m = sl.VytvoritManifestZeSouboru(*manifesty->begin()->hodnota);
  EXPECT_EQ(m->UpdateServer()->user, "u");
}

}  // namespace
}  // namespace zevlon
