// Whole runs against a signed site: with a public key in Zevlon.ini nothing that the
// signature of download.ini does not vouch for is installed or started, whatever part of
// the site an attacker changed. (Without one the unsigned site keeps working, with a
// warning in Zevlon.log: the whole runs of an update.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "beh/vlastnik/zpravy.h"
#include "common/text.h"
#include "e2e/pripravka.h"
#include "platform/nahrady/ini.h"
#include "platform/procesy/kanal.h"
#include "platform/procesy/proces_vlastnika.h"
#include "platform/procesy/ucty.h"
#include "platform/soubory/soubor.h"
#include "prenos/podpisy/sha256.h"
#include "support/archivy.h"

namespace fs = std::filesystem;

namespace zevlon {
namespace {

using test::Cesty;

class PodepsanyWeb : public test::CelyBeh {
 protected:
  void SetUp() override {
    s_.Vytvorit("klice");
    klic_ = test::KlicMinisign(s_, "vydavatel");
    test::CelyBeh::SetUp();
    Volby("VerejnyKlic=" + klic_ + "\r\n");
  }
  // The release, signed with the key of that name (none: not signed).
  void Podepsat(const std::string& vydani, const Cesty& dalsi = {},
                const std::string& klic = "vydavatel") {
    Cesty a = dalsi;
    if (!klic.empty()) a.insert(a.end(), {"--klic", s_ / ("klice/" + klic + ".key")});
    Publikovat(vydani, a);
  }
  // Signs a file of the site anew with the stock minisign, with the trusted comment given.
  void PodepsatZnovu(const std::string& soubor, const std::string& komentar = "") {
    Cesty a{"/usr/bin/minisign", "-S", "-s", s_ / "klice/vydavatel.key", "-m", Web(soubor)};
    if (!komentar.empty()) a.insert(a.end(), {"-t", komentar});
    auto v = test::Spustit(a);
    ASSERT_EQ(v.kod, 0) << v.vystup;
  }
  std::string Web(const std::string& cesta) { return NaWebu(cesta); }
  // A run that is refused: exit 1, the reason in the error log, nothing swapped and
  // nothing downloaded beside the program.
  void Odmitnuto(const std::string& duvod) {
    const auto predtim = ZiveSlozky();
    const std::string logPred = Chyby();
    EXPECT_EQ(Spustit().kod, 1);
    const std::string log = Chyby().substr(logPred.size());
    EXPECT_NE(log.find(duvod), std::string::npos) << log;
    Nezmeneno(predtim);
    EXPECT_FALSE(test::Existuje(s_ / "program/ZevlonNew"));
  }

  std::string klic_;
};

// (That the stock minisign accepts what the publisher signs: the publisher's key tests.)
TEST_F(PodepsanyWeb, SignedSiteUpdatesWithoutAWarning) {
  Podepsat("20141231");
  const auto v = test::Spustit({s_ / "program/Zevlon", "--kontrola"}, Prostredi());
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_NE(v.vystup.find("vydání 20141231, podpis ověřen, podepsán "), std::string::npos)
      << v.vystup;
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20141231");
  EXPECT_EQ(Profil("SetupCommon/System/spolecne.dll"), "společné 20141231");
  EXPECT_EQ(Profil("Setup/Upravy/Doplnky/Fakturace/fakturace.dll"), "fakturace 20141231");
  EXPECT_EQ(Chyby(), "");
  // A verified run writes no warning: Zevlon.log says only that the installed files were
  // hashed, and what the run did.
  std::istringstream radky(LogProgramu(s_, "Zevlon.log"));
  for (std::string radek; std::getline(radky, radek);)
    EXPECT_TRUE(radek.find("Kontrolní součty místních souborů") != std::string::npos ||
                radek.find("\tBěh\t") != std::string::npos)
        << radek;
  EXPECT_NE(PosledniBeh().find("\tobnoveno 3 složky\tsouborů zkopírováno 1, staženo 4, z "
                               "rozdílů 0\tstaženo 644 bajtů\t"),
            std::string::npos)
      << PosledniBeh();
}

// The publisher's waves and withdrawal keep the site signed and clients verify it: nasadit
// changes only Nasazeni (a run outside the wave installs nothing; at 100 % it installs);
// stahnout points download.ini back at the previous folder of an older release, so that a
// client that has not installed the withdrawn release stays on its own. A signed site is not
// changed without the key, nor when its pair does not verify with it; with no earlier folder left
// there is nothing to go back to.
TEST_F(PodepsanyWeb, WavesAndWithdrawalAreSignedAgainAndClientsVerifyThem) {
  Podepsat("20141231");
  auto nastroj = [&](Cesty a, bool klic = true) {
    a.insert(a.begin(), ZEVLON_PUBLIKOVAT);
    if (klic) a.insert(a.end() - 1, {"--klic", s_ / "klice/vydavatel.key"});
    return test::Spustit(a).kod;
  };
  const std::string web = s_ / "www/aktualizace-online",
                    ini = "www/aktualizace-online/download.ini";
  const std::string predtim = s_.Cist(ini);
  EXPECT_EQ(nastroj({"nasadit", "--procent", "0", web}, false), 1);
  // Changed on the server since it was signed: never signed again.
  s_.Zapsat(ini, predtim + "[Cizi]\r\n");
  EXPECT_EQ(nastroj({"nasadit", "--procent", "0", web}), 1);
  EXPECT_EQ(s_.Cist(ini), predtim + "[Cizi]\r\n");
  s_.Zapsat(ini, predtim);
  for (const char* spatne : {"101", "x", "-1"})
    EXPECT_EQ(nastroj({"nasadit", "--procent", spatne, web}), 64) << spatne;
  EXPECT_EQ(s_.Cist(ini), predtim);
  ASSERT_EQ(nastroj({"nasadit", "--procent", "0", web}), 0);
  std::string po = s_.Cist(ini);
  ASSERT_NE(po.find("Nasazeni=0\r\n"), std::string::npos) << po;
  EXPECT_EQ(po.erase(po.find("Nasazeni=0\r\n"), 12), predtim);
  const auto pred = ZiveSlozky();
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  Nezmeneno(pred);
  EXPECT_NE(PosledniBeh().find("\todloženo, vlna nasazení 0 %\t"), std::string::npos)
      << PosledniBeh();
  ASSERT_EQ(nastroj({"nasadit", "--procent", "100", web}), 0);
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20141231");

  Podepsat("20150101");
  EXPECT_EQ(nastroj({"stahnout", web}, false), 1);
  ASSERT_EQ(nastroj({"stahnout", web}), 0);
  // (SetUp published 20141231 first, into the folder of its name.)
  EXPECT_EQ(s_.Cist(ini), s_.Cist("www/aktualizace-online/vydani/20141231.1/download.ini"));
  Stazene();
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  EXPECT_TRUE(Stazene().empty());
  EXPECT_NE(PosledniBeh().find("\tvydání 20141231 → 20141231\tobnoveno 0 složek\t"),
            std::string::npos)
      << PosledniBeh();
  EXPECT_EQ(Chyby(), "");
  // Only an older release takes a withdrawn one's place, never one withdrawn before.
  EXPECT_EQ(nastroj({"stahnout", web}), 1);
  Podepsat("20150102");
  ASSERT_EQ(nastroj({"stahnout", web}), 0);
  EXPECT_EQ(s_.Cist(ini), s_.Cist("www/aktualizace-online/vydani/20141231.1/download.ini"));
}

// The bytes decide, not the times: a signed release whose file has the installed one's size
// and time but other content is installed. With ObnovaOdkazy=1 the unchanged files enter
// as links shared with the backup, which holds the old release.
TEST_F(PodepsanyWeb, AFileWithTheInstalledSizeAndTimeButOtherBytesIsRenewed) {
  Podepsat("20141231");
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  s_.Zapsat("vydani/Setup/Merko/Merko.exe", "Merko 20150115");  // as long as "Merko 20141231"
  test::NastavitCas(s_ / "vydani/Setup/Merko/Merko.exe",
                    test::Stav(profil_ + "Setup/Merko/Merko.exe").st_mtime, 0);
  s_.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=20150115\r\n");
  Volby("VerejnyKlic=" + klic_ + "\r\nObnovaOdkazy=1\r\n");
  Podepsat("20150115", {"--bez-delt"});
  Stazene();
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  EXPECT_EQ(Stazene(), (Cesty{"Setup/Merko/Merko.exe.zip", "Setup/Merko/Merko.ini.zip"}));
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20150115");
  EXPECT_EQ(Profil("Setup/Merko_old/Merko.exe"), "Merko 20141231");
  EXPECT_EQ(ini::CistKlic(profil_ + "Setup/Merko/Merko.ini", "Merko", "Release"), "20150115");
  EXPECT_EQ(test::Stav(profil_ + "Setup/Merko/Merko.dll").st_ino,
            test::Stav(profil_ + "Setup/Merko_old/Merko.dll").st_ino);
}

// Every changed file comes as a delta against the installed release, in the program folder,
// the shared components and an add-on alike: made by the publisher unasked against the site
// the new one replaces, listed in delta lists that the signature vouches for. With Delty=0,
// as a Windows peer or an older updater reads the site, the same site updates as before.
TEST_F(PodepsanyWeb, ChangedFilesComeAsSignedDeltasAndWithoutThemAsBefore) {
  std::string dll(60000, '\0');
  for (std::size_t i = 0; i < dll.size(); ++i)
    dll[i] = static_cast<char>((i * 7919u) >> 5 ^ i * 131u);
  s_.Zapsat("vydani/Setup/Merko/Merko.dll", dll);
  Podepsat("20141231");
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  // Publishes a release whose every file differs in a few bytes; answers the name of the
  // delta of Merko.dll.
  auto vydat = [&](const std::string& vydani) {
    const std::string delta = "Setup/Merko/Merko.dll." + Sha256(dll).substr(0, 16) + ".zstd";
    s_.Zapsat("vydani/Setup/Merko/Merko.dll", dll.replace(30000, 8, vydani));
    s_.Zapsat("vydani/Setup/Merko/Merko.ini", "[Merko]\r\nRelease=" + vydani + "\r\n");
    s_.Zapsat("vydani/SetupCommon/System/spolecne.dll", "společné " + vydani);
    s_.Zapsat("vydani/Upravy/Doplnky/Fakturace/fakturace.dll", "fakturace " + vydani);
    Podepsat(vydani);
    Stazene();
    return delta;
  };
  const std::string delta = vydat("20150115");
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  int delt = 0;
  for (const std::string& c : Stazene()) {
    EXPECT_TRUE(c.ends_with(".zstd") || c.ends_with("/master.delty.zip")) << c;
    delt += c.ends_with(".zstd") ? 1 : 0;
  }
  EXPECT_EQ(delt, 4);
  EXPECT_EQ(Profil("Setup/Merko/Merko.dll"), dll);
  EXPECT_EQ(ini::CistKlic(profil_ + "Setup/Merko/Merko.ini", "Merko", "Release"), "20150115");
  EXPECT_EQ(Profil("SetupCommon/System/spolecne.dll"), "společné 20150115");
  EXPECT_EQ(Profil("Setup/Upravy/Doplnky/Fakturace/fakturace.dll"), "fakturace 20150115");
  // No delta fell back to its whole file.
  for (const char* zaloha : {"Rozdíl souboru", "Seznam rozdílů"})
    EXPECT_EQ(LogProgramu(s_, "Zevlon.log").find(zaloha), std::string::npos) << zaloha;
  EXPECT_NE(PosledniBeh().find(", staženo 0, z rozdílů 4\t"), std::string::npos) << PosledniBeh();

  Volby("VerejnyKlic=" + klic_ + "\r\nDelty=0\r\n");
  EXPECT_TRUE(test::Existuje(Web(vydat("20150201"))));
  EXPECT_FALSE(test::Existuje(Web(delta)));  // against a release not given this time
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  EXPECT_EQ(Stazene(), (Cesty{"Setup/Merko/Merko.dll.zip", "Setup/Merko/Merko.ini.zip",
                              "SetupCommon/System/spolecne.dll.zip",
                              "Upravy/Doplnky/Fakturace/fakturace.dll.zip"}));
  EXPECT_EQ(Profil("Setup/Merko/Merko.dll"), dll);
}

// A profile of another user is renewed by its owner's process, which verifies the release
// information it is handed again with the keys it is handed: bytes that the signature
// does not cover are refused there too. That process never runs as root.
TEST_F(PodepsanyWeb, OwnersProcessVerifiesWhatItIsHandedAgain) {
  if (::geteuid() != 0) GTEST_SKIP() << "only a run as root hands a profile to its owner";
  const test::UzivatelSDomovem u = *test::VlastnikProfilu();
  ::chmod(s_.Cesta().c_str(), 0755);
  test::PredatVlastnikovi(u, profil_);
  Podepsat("20141231");
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20141231");
  EXPECT_EQ(test::Stav(profil_ + "Setup/Merko/Merko.exe").st_uid, u.uid);
  EXPECT_EQ(Chyby(), "");

  // Started by hand as root it does nothing; started for the owner with a release that
  // its signature does not cover, it installs nothing and says why.
  EXPECT_EQ(test::Spustit({s_ / "program/Zevlon", kVolbaZaVlastnika, "1", "1"}).kod, 1);
  Instalace();
  test::PredatVlastnikovi(u, profil_);
  const auto predtim = ZiveSlozky();
  std::string ini = s_.Cist("www/aktualizace-online/download.ini");
  const std::string podpis = s_.Cist("www/aktualizace-online/download.ini.minisig");
  auto [nase, jeho] = VytvoritKanal();
  std::vector<Popisovac> predane;
  for (const std::string& obsah :
       {s_.Cist("program/Zevlon.ini"), ini + "[Merko]\r\nSlozkaProfilu=" + profil_ + "\r\n",
        NahraditVse(ini, "20141231", "20141232"), podpis, ZakodovatProxy({})})
    predane.emplace_back(ZapecetenySoubor("predane", obsah));
  SpusteniJakoUcet spusteni{*NajitUcet(u.uid),
                            s_ / "program/Zevlon",
                            {kVolbaZaVlastnika, "1", "1"},
                            {"HOME=" + u.domov},
                            {jeho.Fd()}};
  for (const Popisovac& p : predane)
    spusteni.popisovace.push_back(p.Fd());
  const pid_t pid = SpustitJakoUcet(spusteni).pid;
  jeho = Kanal();
  std::optional<ZpravaKanalu> vysledek;
  for (bool konec = false; !konec;)
    if (auto z = nase.Prijmout(std::chrono::seconds(30), konec); z && z->typ == zpravy::kVysledek)
      vysledek = z;
  int stav = 0;
  ASSERT_EQ(::waitpid(pid, &stav, 0), pid);
  EXPECT_TRUE(WIFEXITED(stav) && WEXITSTATUS(stav) == 1) << stav;
  ASSERT_TRUE(vysledek && vysledek->pole.size() == 13);
  EXPECT_NE(vysledek->pole[1].find("nemá platný podpis"), std::string::npos) << vysledek->pole[1];
  Nezmeneno(predtim);
}

// Each change an attacker on the path (or on the server) can make, refused with the
// live installation untouched.
TEST_F(PodepsanyWeb, EveryChangeToTheSignedSiteIsRefusedBeforeAnythingIsInstalled) {
  s_.Zapsat("novy/Zevlon", "#!/bin/sh\ntouch \"$(dirname \"$0\")/spusten\"\n");
  ::chmod((s_ / "novy/Zevlon").c_str(), 0755);
  struct Pripad {
    const char* nazev;
    std::function<void()> zmena;
    const char* duvod;
    bool kontrolou = true;  // --kontrola finds it too (it downloads no file but snapshots)
  };
  const std::vector<Pripad> pripady{
      {"a byte of a file, re-zipped",
       [&] {
         test::VytvoritZip(Web("Setup/Merko/Merko.exe.zip"), {{"Merko.exe", "Merko 20141299"}});
       },
       "Merko.exe.zip neodpovídá kontrolnímu součtu", false},
      {"a line of a snapshot",
       [&] {
         test::VytvoritZip(Web("SetupCommon/master.snapshot.zip"),
                           {{"master.snapshot", "System\\spolecne.dll\t2014-12-31 00:00:00\t1\t" +
                                                    std::string(64, '0') + "\r\n"}});
       },
       "master.snapshot.zip neodpovídá kontrolnímu součtu"},
      {"the updater's version in download.ini",
       [&] { ini::ZapsatKlic(Web("download.ini"), "Merko", "ZevlonVerze", "9"); },
       "download.ini nemá platný podpis: podpis neodpovídá obsahu"},
      {"the address in download.ini",
       [&] { ini::ZapsatKlic(Web("download.ini"), "Merko", "Url", "http://127.0.0.1:1/"); },
       "download.ini nemá platný podpis"},
      {"no signature", [&] { fs::remove(Web("download.ini.minisig")); },
       "download.ini nemá platný podpis: podpis"},
      {"another key",
       [&] {
         test::KlicMinisign(s_, "cizi");
         Podepsat("20141231", {}, "cizi");
       },
       "který není mezi nastavenými veřejnými klíči"},
      {"the updater substituted",
       [&] {
         Podepsat("20141231", {"--verze-zevlonu", "9", "--zevlon", s_ / "novy/Zevlon"});
         test::VytvoritZip(Web("SetupCommon/Zevlon.zip"),
                           {{"Zevlon", "#!/bin/sh\ntouch \"$(dirname \"$0\")/utocnik\"\n", 0755}});
       },
       "Zevlon.zip neodpovídá kontrolnímu součtu", false},
  };
  for (const Pripad& p : pripady) {
    SCOPED_TRACE(p.nazev);
    fs::remove_all(s_ / "www/aktualizace-online");  // the last case's may be no site of its own
    Podepsat("20141231");
    p.zmena();
    const auto v = test::Spustit({s_ / "program/Zevlon", "--kontrola"}, Prostredi());
    EXPECT_EQ(v.kod, p.kontrolou ? 1 : 0) << v.vystup;
    EXPECT_EQ(v.vystup.find(p.duvod) != std::string::npos, p.kontrolou) << v.vystup;
    Odmitnuto(p.duvod);
    EXPECT_FALSE(test::Existuje(s_ / "program/utocnik"));
    EXPECT_FALSE(test::Existuje(s_ / "program/spusten"));
  }
}

// The Setup snapshot of an older, validly signed release served under today's
// download.ini: each snapshot belongs to its folder and release only.
TEST_F(PodepsanyWeb, SnapshotOfAnotherReleaseOrFolderIsRefused) {
  s_.Zapsat("vydani/Setup/Merko/Merko.exe", "Merko 20140601");
  Podepsat("20140601");
  fs::copy_file(Web("Setup/master.snapshot.zip"), s_ / "stary.snapshot.zip");
  s_.Zapsat("vydani/Setup/Merko/Merko.exe", "Merko 20141231");
  Podepsat("20141231");
  fs::copy_file(s_ / "stary.snapshot.zip", Web("Setup/master.snapshot.zip"),
                fs::copy_options::overwrite_existing);
  Odmitnuto("master.snapshot.zip neodpovídá kontrolnímu součtu");

  Podepsat("20141231");
  fs::copy_file(Web("SetupCommon/master.snapshot.zip"), Web("Setup/master.snapshot.zip"),
                fs::copy_options::overwrite_existing);
  Odmitnuto("master.snapshot.zip neodpovídá kontrolnímu součtu");
}

// A signed download.ini vouches for snapshots whose lines carry no checksum: still refused.
TEST_F(PodepsanyWeb, SnapshotLineWithoutChecksumIsRefused) {
  Podepsat("20141231");
  test::VytvoritZip(Web("Setup/master.snapshot.zip"),
                    {{"master.snapshot", "Merko\\Merko.exe\t2014-12-31 00:00:00\t14\t\r\n"}});
  auto obsah = test::Spustit({"/usr/bin/unzip", "-p", Web("Setup/master.snapshot.zip")});
  ASSERT_EQ(obsah.kod, 0);
  ini::ZapsatKlic(Web("download.ini"), "Merko", "Sha256Setup", Sha256(obsah.vystup));
  PodepsatZnovu("download.ini");
  Odmitnuto("neuvádí platný kontrolní součet souboru Merko/Merko.exe");
}

// A replayed older site, validly signed, installs nothing; and a signature older than
// the options allow is refused, against a site frozen on an old release.
TEST_F(PodepsanyWeb, ReplayedOlderSignedSiteAndStaleSignatureAreRefused) {
  Podepsat("20141231");
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  Podepsat("20140101");
  const auto predtim = ZiveSlozky();
  ASSERT_EQ(Spustit().kod, 0);
  EXPECT_EQ(ZiveSlozky(), predtim);
  EXPECT_NE(s_.Cist("program/Zevlon.log").find("je starší než nainstalované vydání"),
            std::string::npos);

  Instalace();
  Podepsat("20141231");
  PodepsatZnovu("download.ini", "timestamp:1400000000\tfile:download.ini");
  Volby("VerejnyKlic=" + klic_ + "\r\nPodpisPlatnyDni=30\r\n");
  Odmitnuto("nastavení dovoluje nejvýše 30");
  PodepsatZnovu("download.ini", "timestamp:4000000000\tfile:download.ini");
  Odmitnuto("s datem v budoucnosti");
  // Signed anew by the stock minisign with its own trusted comment: accepted.
  PodepsatZnovu("download.ini");
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20141231");
}

// download.ini and its signature read while the site switches (the new file, the old
// signature) are read once more 2 s later; a pair that still does not match is refused.
TEST_F(PodepsanyWeb, APairReadDuringTheSwitchIsReadOnceMoreTwoSecondsLater) {
  Podepsat("20141231");
  const std::string stary = s_.Cist("www/aktualizace-online/download.ini.minisig");
  Podepsat("20150115");
  const std::string novy = s_.Cist("www/aktualizace-online/download.ini.minisig");
  s_.Zapsat("www/aktualizace-online/download.ini.minisig", stary);
  auto podpisu = [&] {
    const auto p = server_.Pozadavky();
    return std::count_if(p.begin(), p.end(), [](auto& d) { return d.cesta.find(".minisig") < 99; });
  };
  const pid_t pid = NaPozadi([&] { return podpisu() > 0; });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  s_.Zapsat("www/aktualizace-online/download.ini.minisig", novy);
  int stav = 0;
  ASSERT_EQ(::waitpid(pid, &stav, 0), pid);
  EXPECT_TRUE(WIFEXITED(stav) && WEXITSTATUS(stav) == 0 && podpisu() == 2) << Chyby();
  EXPECT_EQ(ini::CistKlic(profil_ + "Setup/Merko/Merko.ini", "Merko", "Release"), "20150115");
  Instalace();
  s_.Zapsat("www/aktualizace-online/download.ini.minisig", stary);
  Odmitnuto("podpis neodpovídá obsahu");
  EXPECT_EQ(podpisu(), 4);
}

// Release information given on the command line could be anyone's: with a key, only the
// file that an updater handed over in its private temp folder is taken.
TEST_F(PodepsanyWeb, ReleaseInformationOnTheCommandLineIsTakenOnlyFromThePrivateTempFolder) {
  Podepsat("20141231");
  const std::string ini =
      s_.Zapsat("cizi/download.ini", s_.Cist("www/aktualizace-online/download.ini"));
  ini::ZapsatKlic(ini, "Merko", "SlozkaProfilu", profil_);
  const auto predtim = ZiveSlozky();
  auto v = test::Spustit({s_ / "program/Zevlon", ini}, Prostredi());
  EXPECT_EQ(v.kod, 1) << v.vystup;
  EXPECT_NE(Chyby().find("neleží v soukromé dočasné složce běhu"), std::string::npos) << Chyby();
  Nezmeneno(predtim);

  Volby();  // without a key, as before
  v = test::Spustit({s_ / "program/Zevlon", ini}, Prostredi());
  EXPECT_EQ(v.kod, 0) << v.vystup << Chyby();
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20141231");
}

// Old and new key configured while the key is being rotated: either may sign.
TEST_F(PodepsanyWeb, RotatedKeyIsAcceptedBesideTheOldOne) {
  const std::string novy = test::KlicMinisign(s_, "novy");
  Volby("VerejnyKlic=" + klic_ + " " + novy + "\r\n");
  Podepsat("20141231", {}, "novy");
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20141231");
  Volby("VerejnyKlic=" + klic_ + " RWQtoto-neni-klic\r\n");
  Instalace();
  Odmitnuto("neobsahuje platné veřejné klíče minisign");
}

// An add-on found through its manifest is renewed from its vendor's server when the
// vendor's download.ini verifies with the key its manifest names; one that cannot be
// verified stays as it is, with a line in the error log, and the rest of the update goes on.
TEST_F(PodepsanyWeb, AddOnOfItsOwnServerIsRenewedOnlyWhenItsVendorsSignatureVerifies) {
  const std::string dodavatel = test::KlicMinisign(s_, "dodavatel");
  s_.Zapsat("dodavatel/Setup/prazdny.txt", "");
  s_.Zapsat("dodavatel/Upravy/Doplnky/Sklad/sklad.dll", "sklad 2");
  const std::string webDodavatele = server_.Adresa() + "/dodavatel/";
  auto v =
      test::Spustit({ZEVLON_PUBLIKOVAT, "vydat", "--vydani", "20141231", "--adresa", webDodavatele,
                     "--klic", s_ / "klice/dodavatel.key", s_ / "dodavatel", s_ / "www/dodavatel"});
  ASSERT_EQ(v.kod, 0) << v.vystup;
  Podepsat("20141231");
  auto manifest = [&](const std::string& klic) {
    Instalace();
    test::NastavitCas(s_.Zapsat("data/Firma/Setup/Upravy/Doplnky/Sklad/sklad.dll", "sklad 1"),
                      test::kDrive, 0);
    s_.Zapsat("data/Firma/Setup/Upravy/Doplnky/Sklad/sklad.manifest.xml",
              "<manifest><updateOnLine urlIni=\"" + webDodavatele + "\"" +
                  (klic.empty() ? "" : " verejnyKlic=\"" + klic + "\"") + "/></manifest>");
  };

  // The vendor's signature keeps to the age bound of the options too, and one older than
  // the signature accepted for the add-on before (a replayed site) is refused, the add-on
  // carried over with a line in the log, unless older releases are allowed.
  const std::int64_t ted = ::time(nullptr);
  const struct {
    std::int64_t kdy;
    const char *volby, *sklad, *chyba;
  } pripady[] = {
      {ted - 3600, "", "sklad 2", ""},
      {ted - 7200, "", "sklad 1", ") je starší než podpis přijatý dříve ("},
      {ted - 7200, "PovolitStarsi=1\r\n", "sklad 2", ""},
      {1400000000, "PovolitStarsi=1\r\n", "sklad 1", "nastavení dovoluje nejvýše 30"},
  };
  for (const auto& p : pripady) {
    SCOPED_TRACE(p.kdy);
    v = test::Spustit({"/usr/bin/minisign", "-S", "-s", s_ / "klice/dodavatel.key", "-m",
                       s_ / "www/dodavatel/download.ini", "-t",
                       "timestamp:" + std::to_string(p.kdy) + "\tfile:download.ini"});
    ASSERT_EQ(v.kod, 0) << v.vystup;
    Volby("VerejnyKlic=" + klic_ + "\r\nPodpisPlatnyDni=30\r\n" + p.volby);
    manifest(dodavatel);
    fs::remove(s_ / "program/online_errors.log");
    ASSERT_EQ(Spustit().kod, 0) << Chyby();
    EXPECT_EQ(Profil("Setup/Upravy/Doplnky/Sklad/sklad.dll"), p.sklad);
    if (*p.chyba)
      EXPECT_NE(Chyby().find(p.chyba), std::string::npos) << Chyby();
    else
      EXPECT_EQ(Chyby(), "");
  }
  // The times accepted are the run's user's alone.
  EXPECT_EQ(test::Stav(s_ / "stav/zevlon/podpisy-doplnku.ini").st_mode & 07777, 0600u);
  Volby("VerejnyKlic=" + klic_ + "\r\nPodpisPlatnyDni=30\r\n");
  v = test::Spustit({"/usr/bin/minisign", "-S", "-s", s_ / "klice/dodavatel.key", "-m",
                     s_ / "www/dodavatel/download.ini", "-t",
                     "timestamp:" + std::to_string(ted) + "\tfile:download.ini"});
  ASSERT_EQ(v.kod, 0) << v.vystup;

  // The key is taken only from a manifest that nobody but root could have written: one
  // another user may change, or one in a folder that others may write, names no key.
  const std::string sklad = profil_ + "Setup/Upravy/Doplnky/Sklad/";
  for (const auto& uvolnit : std::vector<std::function<void()>>{
           [&] { test::PredatNeprivilegovanemu(sklad + "sklad.manifest.xml"); },
           [&] { ::chmod(sklad.c_str(), 0777); }}) {
    if (::geteuid() != 0) break;
    manifest(dodavatel);
    uvolnit();
    fs::remove(s_ / "program/online_errors.log");
    ASSERT_EQ(Spustit().kod, 0) << Chyby();
    EXPECT_EQ(Profil("Setup/Upravy/Doplnky/Sklad/sklad.dll"), "sklad 1");
    EXPECT_NE(Chyby().find("Veřejný klíč z manifestu " + sklad + "sklad.manifest.xml nebyl použit"),
              std::string::npos)
        << Chyby();
  }
  fs::remove(s_ / "program/online_errors.log");

  manifest("");
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  EXPECT_EQ(Profil("Setup/Upravy/Doplnky/Sklad/sklad.dll"), "sklad 1");
  EXPECT_EQ(Profil("Setup/Upravy/Doplnky/Fakturace/fakturace.dll"), "fakturace 20141231");
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20141231");
  EXPECT_NE(Chyby().find("Sklad/ nebyla aktualizována a zůstává beze změny"), std::string::npos)
      << Chyby();

  // Signed with the site's key, the vendor's file keeps to the site's age bound.
  v = test::Spustit({"/usr/bin/minisign", "-S", "-s", s_ / "klice/vydavatel.key", "-m",
                     s_ / "www/dodavatel/download.ini", "-t",
                     "timestamp:1400000000\tfile:download.ini"});
  ASSERT_EQ(v.kod, 0) << v.vystup;
  manifest("");
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  EXPECT_EQ(Profil("Setup/Upravy/Doplnky/Sklad/sklad.dll"), "sklad 1");
  EXPECT_NE(Chyby().find("nastavení dovoluje nejvýše 30"), std::string::npos) << Chyby();
}

// A verified new updater takes the program's place for good once its install step is
// done; one whose install step fails leaves the old program in place.
TEST_F(PodepsanyWeb, VerifiedNewUpdaterReplacesTheProgramOnlyAfterItsInstallStepSucceeded) {
  // The program itself with a byte more, so that the new file can be told from the old.
  const std::string stary = s_.Cist("program/Zevlon"), novy = stary + "\n";
  ::chmod(s_.Zapsat("novy/Zevlon", novy).c_str(), 0755);
  auto pockat = [&](auto&& hotovo) {
    for (int i = 0; i < 600 && !hotovo(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };

  Podepsat("20141231", {"--verze-zevlonu", "9", "--zevlon", s_ / "novy/Zevlon"});
  test::VytvoritZip(Web("Setup/Merko/Merko.exe.zip"), {{"Merko.exe", "Merko 20141299"}});
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  pockat([&] { return Chyby().find("neodpovídá kontrolnímu součtu") != std::string::npos; });
  EXPECT_NE(Chyby().find("Merko.exe.zip neodpovídá kontrolnímu součtu"), std::string::npos);
  EXPECT_EQ(s_.Cist("program/Zevlon"), stary);
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20140301");

  Podepsat("20141231", {"--verze-zevlonu", "9", "--zevlon", s_ / "novy/Zevlon"});
  ASSERT_EQ(Spustit().kod, 0) << Chyby();
  pockat([&] { return !test::Existuje(s_ / "program/ZevlonNew"); });
  EXPECT_FALSE(test::Existuje(s_ / "program/ZevlonNew"));
  EXPECT_EQ(s_.Cist("program/Zevlon"), novy);
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20141231");

  // A program of another name has options of that name, which the new updater does not
  // read: without a key it refuses to install what the old one verified.
  Instalace();
  fs::rename(s_ / "program/Zevlon", s_ / "program/zevlon");
  fs::rename(s_ / "program/Zevlon.ini", s_ / "program/zevlon.ini");
  fs::copy_file(s_ / "novy/Zevlon", s_ / "novy/zevlon");
  Podepsat("20141231", {"--verze-zevlonu", "9", "--zevlon", s_ / "novy/zevlon"});
  auto v = test::Spustit({s_ / "program/zevlon"}, Prostredi());
  ASSERT_EQ(v.kod, 0) << v.vystup << Chyby();
  pockat([&] { return Chyby().find("proto aktualizaci neprovede") != std::string::npos; });
  EXPECT_NE(Chyby().find("proto aktualizaci neprovede"), std::string::npos) << Chyby();
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20140301");
  EXPECT_TRUE(test::Existuje(s_ / "program/zevlon"));
}

}  // namespace
}  // namespace zevlon
