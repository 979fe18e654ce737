// Whole runs of the real Zevlon for a person at a terminal (a pseudo-terminal that the
// test reads and types into): the closing message of the copy in temp, the options at
// the prompt, and the exit statuses that --help lists.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "beh/zamek.h"
#include "common/chyba.h"
#include "common/text.h"
#include "e2e/pripravka.h"
#include "platform/nahrady/ini.h"
#include "platform/procesy/ukonceni.h"
#include "support/terminal.h"

namespace zevlon {
namespace {

using test::Cesty;
using ::testing::HasSubstr;
using Texty = std::vector<std::string>;

constexpr const char* kStazeno =
    "Aktualizace byla stažena, nainstaluje se při příštím spuštění Merka.";

class NaTerminalu : public test::CelyBeh {
 protected:
  // Zevlon with the arguments at a terminal, behind the given command (setpriv) if any.
  test::VysledekProcesu Terminal(Cesty argumenty = {}, std::vector<test::Odpoved> odpovedi = {},
                                 Cesty pred = {}) {
    pred.push_back(s_ / "program/Zevlon");
    pred.insert(pred.end(), argumenty.begin(), argumenty.end());
    return test::ProgramVTerminalu(pred, Prostredi(), std::move(odpovedi));
  }
  Texty Sekce(const std::string& sekce) {
    return ini::CistSekci(s_ / "program/Zevlon.ini", sekce).value_or(Texty{"<žádná>"});
  }
};

// While a file downloads slowly, the status line shows its bytes: growing, never going back,
// with its size, and naming that file.
TEST_F(NaTerminalu, CopyInTempGivesTheClosingMessageAtTheTerminalAfterTheRun) {
  const auto pomaly = PomalyWeb(std::chrono::milliseconds(15));
  const std::string velikost =
      std::to_string(std::filesystem::file_size(NaWebu("Setup/Merko/Merko.exe.zip")));
  auto v = Terminal();
  EXPECT_EQ(v.kod, 0) << v.vystup;
  Obnoveno();
  const std::size_t dokonceno = v.vystup.find("Dokončeno");
  ASSERT_NE(dokonceno, std::string::npos) << v.vystup;
  EXPECT_NE(v.vystup.find(kStazeno, dokonceno), std::string::npos) << v.vystup;

  std::vector<long> prijato;
  for (std::size_t i = 0;
       (i = v.vystup.find("\u00a0B z " + velikost + "\u00a0B", i)) != std::string::npos; ++i) {
    const std::string radek = v.vystup.substr(v.vystup.rfind('\r', i), i - v.vystup.rfind('\r', i));
    EXPECT_THAT(radek, HasSubstr("Merko/Merko.exe – "));
    const std::size_t cislo = radek.find_last_not_of("0123456789") + 1;
    prijato.push_back(std::stol(radek.substr(cislo)));
  }
  EXPECT_GE(prijato.size(), 3u) << v.vystup;
  EXPECT_TRUE(std::is_sorted(prijato.begin(), prijato.end())) << v.vystup;
}

// Ctrl+C (Storno at the terminal) in the middle of a download that would take over a minute
// stops the run at once: the transfer is broken off, the run says so, nothing live changed.
TEST_F(NaTerminalu, CtrlCDuringADownloadStopsTheRunAtOnce) {
  const auto pomaly = PomalyWeb(std::chrono::milliseconds(500));
  const auto predtim = ZiveSlozky();
  const auto od = std::chrono::steady_clock::now();
  auto v = Terminal({}, {{"Merko/Merko.exe – 1\u00a0B z ", "\x03"}});
  EXPECT_EQ(v.kod, 2) << v.vystup;
  EXPECT_LT(std::chrono::steady_clock::now() - od, std::chrono::seconds(30));
  EXPECT_THAT(v.vystup, HasSubstr(kTextPreruseno));
  Nezmeneno(predtim);
  EXPECT_EQ(test::CistStrom(s_ / "temp/zevlon-0"), test::Strom{});
}

// The user who is not root sets the options at the prompt; the job goes to their crontab,
// here a stand-in on PATH that keeps it in a file of the sandbox.
TEST_F(NaTerminalu, OptionsAskedAtThePromptAreSavedAsTheWindowSavesThem) {
  s_.Zapsat(
      "bin/crontab",
      "#!/bin/sh\n"
      "f=\"$(dirname \"$0\")/../cron/crontab\"\n"
      "case \"$1\" in\n"
      "  -l) [ -f \"$f\" ] || { echo \"no crontab for $(id -un)\" >&2; exit 1; }; cat \"$f\";;\n"
      "  -) cat > \"$f\";;\n"
      "  *) exit 2;;\n"
      "esac\n");
  ::chmod((s_ / "bin/crontab").c_str(), 0755);
  ::chmod(s_.Cesta().c_str(), 0755);
  s_.Vytvorit("cron");
  for (const char* cesta : {"program", "program/Zevlon.ini", "cron"})
    test::PredatNeprivilegovanemu(s_ / cesta);
  prostredi_ = {"PATH=" + (s_ / "bin") + ":/usr/bin:/bin"};
  const Cesty jako = test::JakoNeprivilegovany();

  // Storno (Ctrl+D) at the first question, or SIGTERM while it waits: nothing changes.
  for (const test::Odpoved& o :
       {test::Odpoved{"Složka profilu", "\x04"}, test::Odpoved{"Složka profilu", "", SIGTERM}}) {
    auto v = Terminal({"--moznosti"}, {o}, jako);
    EXPECT_EQ(v.kod, 2) << v.vystup;
    EXPECT_EQ(Sekce("Nastaveni"), Texty{"SlozkaDat=" + profil_});
  }
  test::VysledekProcesu v;

  // The profile from the list, a weekly schedule on Wednesday at six; an answer that is
  // none of the choices is asked again, naming them.
  v = Terminal({"--moznosti"},
               {{"  1) " + profil_, ""},
                {"Složka profilu", "1\n"},
                {"Zrcadlo webu", "http://mezipamet:8080/aktualizace-online/\n"},
                {"Proxy", "http://proxy:3128/\n"},
                {"Bez proxy pro", "localhost\n"},
                {"  2) Nevyhledávat instalace, vyhledám je sám", ""},
                {"Volba", "a\n"},
                {"Neplatná volba. Zvolte jednu z možností: 1) Instalovat aktualizace "
                 "automaticky, 2) Nevyhledávat instalace, vyhledám je sám.",
                 ""},
                {"Volba", "1\n"},
                {"Čas", "06:00\n"},
                {"  3) Měsíčně", ""},
                {"Volba", "2\n"},
                {"  7) Neděle", ""},
                {"Den", "\n"},  // no day before: an empty answer is none
                {"Neplatná volba.", ""},
                {"Den", "3\n"}},
               jako);
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_EQ(Sekce("Nastaveni"),
            (Texty{"SlozkaDat=" + profil_, "Cas=06:00", "Cetnost=Týdně", "Den=Středa"}));
  EXPECT_EQ(Sekce("Uloha"), Texty{"ID=1"});
  EXPECT_EQ(s_.Cist("cron/crontab"),
            "0 6 * * 3 '" + (s_ / "program/Zevlon") + "' --zpozdeni 30 # zevlon-1\n");
  const Texty server{"Adresa=" + web_, "Zrcadlo=http://mezipamet:8080/aktualizace-online/",
                     "Proxy=http://proxy:3128/", "BezProxy=localhost"};
  EXPECT_EQ(Sekce("Server"), server);

  // A frequency the options file does not know is named and offered for a choice, never
  // scheduled; a day of the month typed as its number; then manual updating removes the job.
  ASSERT_TRUE(ini::ZapsatKlic(s_ / "program/Zevlon.ini", "Nastaveni", "Cetnost", "tydne"));
  v = Terminal({"--moznosti"},
               {{"uvádí neznámou četnost tydne (klíč Cetnost v sekci [Nastaveni])", ""},
                {"Volba", "\n"},
                {"Složka profilu", "\n"},
                {"Zrcadlo webu", "\n"},
                {"Proxy", "\n"},
                {"Bez proxy pro", "\n"},
                {"Volba", "\n"},
                {"Čas", "22:00\n"},
                {"Volba [3]", "tydne\n"},
                {"Neplatná volba.", ""},
                {"Volba", "3\n"},
                {"Den", "15\n"}},
               jako);
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_EQ(Sekce("Nastaveni"),
            (Texty{"SlozkaDat=" + profil_, "Cas=22:00", "Cetnost=Měsíčně", "Den=15."}));
  EXPECT_EQ(s_.Cist("cron/crontab"),
            "0 22 15 * * '" + (s_ / "program/Zevlon") + "' --zpozdeni 30 # zevlon-2\n");
  EXPECT_EQ(Sekce("Server"), server);
  v = Terminal({"--moznosti"},
               {{"Složka profilu", "\n"},
                {"Zrcadlo", "\n"},
                {"Proxy", "\n"},
                {"Bez proxy", "\n"},
                {"Volba", "2\n"}},
               jako);
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_EQ(Sekce("Nastaveni"), Texty{"SlozkaDat=" + profil_});
  EXPECT_EQ(s_.Cist("cron/crontab"), "");
}

// Root at a terminal keeps the face of a run that the profile's owner's process carries
// out: that process's reports and questions come to root's terminal, the answers go back,
// and Ctrl+C there stops it (it has no terminal of its own).
TEST_F(NaTerminalu, RootsTerminalShowsAndAnswersTheOwnersProcessAndCtrlCStopsIt) {
  if (::geteuid() != 0) GTEST_SKIP() << "only a run as root hands a profile to its owner";
  const test::UzivatelSDomovem u = *test::VlastnikProfilu();
  ::chmod(s_.Cesta().c_str(), 0755);
  // A site whose first snapshot comes after a pause, so that Ctrl+C finds the run going.
  std::atomic<bool> pozdrzeno{false};
  test::TestHttpServer pomaly{
      [&, soubory = test::TestHttpServer::SlozkaSouboru(s_ / "www")](const test::PozadavekHttp& p) {
        if (p.cesta.find("master.snapshot.zip") != std::string::npos && !pozdrzeno.exchange(true))
          std::this_thread::sleep_for(std::chrono::seconds(2));
        return soubory(p);
      }};
  const std::string web = pomaly.Adresa() + "/aktualizace-online/";
  test::ZapsatVolby(s_, web, profil_);

  // An older release on the site: the owner's process says so in a box at root's terminal.
  test::Publikovat(s_, web, "20140201");
  test::PredatVlastnikovi(u, profil_);
  auto v = Terminal({}, {{"je starší než nainstalované vydání 20140301", ""}, {"Volba", "\n"}});
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_EQ(Profil("Setup/Merko/Merko.exe"), "Merko 20140301");
  EXPECT_THAT(PosledniBeh(),
              HasSubstr("\tna terminálu\tprofil " + profil_ + "\tvydání 20140301 → 20140301\t"));
  EXPECT_THAT(PosledniBeh(), HasSubstr("\tstarší vydání na webu odmítnuto\t"));

  // Ctrl+C while the owner's process waits for its first snapshot: it stops there, and
  // the run ends as cancelled, with the live folders as they were.
  test::Publikovat(s_, web, "20141231");
  const auto predtim = ZiveSlozky();
  // (once its request is out: the line then shows the bytes of the snapshot received)
  v = Terminal({}, {{"Stahování informací o aktualizaci – 0\u00a0B", "\x03"}});
  EXPECT_EQ(v.kod, 2) << v.vystup;
  EXPECT_TRUE(pozdrzeno);
  Nezmeneno(predtim);
  const std::string log = test::LogProgramu(s_, "Zevlon.log");
  EXPECT_THAT(log, HasSubstr("aktualizoval proces uživatele " + u.jmeno + ": " + kTextPreruseno));
  EXPECT_THAT(v.vystup, HasSubstr(kTextPreruseno));
  EXPECT_TRUE(PosledniBeh().ends_with("\tzrušeno\tnávratový kód 2")) << PosledniBeh();

  // Left alone, it renews the profile, and root's terminal shows its progress.
  v = Terminal();
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_THAT(v.vystup, HasSubstr("Stahuje se nový soubor Merko/Merko.exe"));
  Obnoveno();
  EXPECT_EQ(test::Stav(profil_ + "Setup/Merko/Merko.exe").st_uid, u.uid);
}

// Every row of the exit-status table of --help, from whole runs; each run's record in
// Zevlon.log and its state file say how it ended, and --stav answers by the last of them.
TEST_F(NaTerminalu, ExitStatusesFollowTheTableOfHelp) {
  auto stav = [&](Cesty dalsi = {}) {
    dalsi.insert(dalsi.begin(), {s_ / "program/Zevlon", "--stav"});
    return test::Spustit(dalsi, Prostredi());
  };
  std::string aktualizovano;  // the state file's time of the last update
  auto zaznamenano = [&](int kod, const std::string& vysledek, const std::string& rezim) {
    SCOPED_TRACE(vysledek);
    const std::string beh = PosledniBeh();
    EXPECT_THAT(beh, HasSubstr("\t" + rezim + "\t"));
    EXPECT_TRUE(beh.ends_with("\t" + vysledek + "\tnávratový kód " + std::to_string(kod))) << beh;
    auto json = stav({"--json"});
    EXPECT_EQ(json.kod, kod == 0 ? 0 : 1) << json.vystup;
    EXPECT_EQ(json.vystup, s_.Cist("program/stav.json"));
    EXPECT_EQ(test::Stav(s_ / "program/stav.json").st_mode & 07777, 0644u);
    EXPECT_NE(json.vystup.find("\"navratovy_kod\": " + std::to_string(kod) + ","),
              std::string::npos);
    const std::size_t i = json.vystup.find("\"posledni_aktualizace\": ");
    EXPECT_EQ(json.vystup.substr(i, json.vystup.find('\n', i) - i),
              "\"posledni_aktualizace\": " + (aktualizovano.empty() ? "null" : aktualizovano));
    auto clovek = stav();
    EXPECT_EQ(clovek.kod, json.kod);
    EXPECT_THAT(clovek.vystup, HasSubstr("  Výsledek:              " +
                                         vysledek.substr(0, vysledek.find_first_of(":,"))));
  };
  // 3: no run recorded yet, or a state file that cannot be read.
  auto v = stav();
  EXPECT_EQ(v.kod, 3);
  EXPECT_THAT(v.vystup, HasSubstr("Žádný běh aktualizace zatím není zaznamenán."));
  EXPECT_EQ(stav({"--json", "navic"}).kod, 64);

  // 64: an option it does not know, never taken for a release information file; nothing runs.
  for (const char* volba : {"--dry-run", "--status", "--moznost", "--version=2", "-v", "-x"}) {
    auto v = test::Spustit({s_ / "program/Zevlon", volba}, Prostredi());
    EXPECT_EQ(v.kod, 64) << volba << "\n" << v.vystup;
    EXPECT_THAT(v.vystup, HasSubstr(std::string("Neznámá volba ") + volba + "."));
    EXPECT_THAT(v.vystup, HasSubstr("Použití: Zevlon"));
  }
  EXPECT_EQ(test::Spustit({s_ / "program/Zevlon", "--help", "navic"}).kod, 64);
  EXPECT_EQ(server_.Pozadavky().size(), 0u);
  EXPECT_EQ(PosledniBeh(), "");  // a usage error is no run
  // 0: a missing release information file (a mistyped option, say): nothing to do, said in
  // one line, and neither a record nor a state.
  const auto stare = ZiveSlozky();
  v = test::Spustit({s_ / "program/Zevlon", "stav"}, Prostredi());
  EXPECT_EQ(v.kod, 0);
  EXPECT_EQ(v.vystup, "Soubor stav neexistuje, nic nebylo provedeno.\n");
  EXPECT_EQ(PosledniBeh(), "");
  EXPECT_FALSE(test::Existuje(s_ / "program/stav.json"));
  // 0: the warning about a change of the data structure declined at the terminal.
  Publikovat("20141231", {"--zmena-dat", "20141231"});
  v = Terminal({}, {{"Volba", "2\n"}});
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_EQ(ZiveSlozky(), stare);
  zaznamenano(0, "odmítnuto varování o změně datové struktury", "na terminálu");
  // 0: updated, and then nothing newer than the installed release; the time of the last
  // update stays that of the first.
  Publikovat("20141231");
  v = Spustit();
  EXPECT_EQ(v.kod, 0) << Chyby();
  EXPECT_EQ(v.vystup, "");  // an unattended success says nothing
  Obnoveno();
  const std::string json = s_.Cist("program/stav.json");
  const std::size_t konec = json.find("\"konec\": ") + 9;
  aktualizovano = json.substr(konec, json.find(',', konec) - konec);
  zaznamenano(0, "aktualizováno", "bez obsluhy");
  EXPECT_THAT(PosledniBeh(), HasSubstr("\tvydání 20140301 → 20141231\tobnoveno 3 složky\t"));
  EXPECT_EQ(Spustit().kod, 0) << Chyby();
  zaznamenano(0, "nic nového, instalace je aktuální", "bez obsluhy");
  EXPECT_THAT(PosledniBeh(), HasSubstr("\tvydání 20141231 → 20141231\tobnoveno 0 složek\t"));
  // 2 and 0: going back asks at the terminal, naming each folder and its backup: Ne (the
  // default) changes nothing, Ano goes back; going back once more brings the update again.
  const auto nove = ZiveSlozky();
  v = Terminal({"--vratit"}, {{"Volba [2]", "\n"}});
  EXPECT_EQ(v.kod, 2) << v.vystup;
  EXPECT_EQ(ZiveSlozky(), nove);
  v = Terminal({"--vratit"}, {{"Volba [2]", "Ano\n"}});
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_THAT(v.vystup, HasSubstr(profil_ + "Setup/Merko/ ↔ " + profil_ + "Setup/Merko_old/"));
  EXPECT_EQ(ZiveSlozky(), stare);
  zaznamenano(0, "vráceno na vydání 20140301", "na terminálu");
  ASSERT_EQ(test::Spustit({s_ / "program/Zevlon", "--vratit", "--ano"}, Prostredi()).kod, 0);
  // No folder in the options: the profile list asks. 0: the offered profile answered with
  // Ne, so no profile is updated.
  s_.Zapsat("program/Zevlon.ini", "[Server]\r\nAdresa=" + web_ + "\r\n");
  ::chmod((s_ / "program/Zevlon.ini").c_str(), 0644);
  Instalace();
  v = Terminal({}, {{"  2) Ne", ""}, {"Volba", "2\n"}});
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_THAT(v.vystup, HasSubstr("Nebyla vybrána žádná složka k aktualizaci."));
  zaznamenano(0, "žádný profil k aktualizaci", "na terminálu");
  // 1: unattended, no profile to update is a fault of the options; said on stderr.
  const std::string bezProfilu = s_.Cist("program/stav.json");
  s_.Zapsat("program/Zevlon.ini",
            "[Server]\r\nAdresa=" + web_ + "\r\n[Nastaveni]\r\nSlozkaDat=\r\n");
  v = Spustit();
  EXPECT_EQ(v.kod, 1);
  const std::string nebylaVybrana =
      "chyba: Nebyla vybrána žádná složka k aktualizaci. Otevřete možnosti, nastavte složku dat "
      "a potom spusťte program znovu.";
  EXPECT_THAT(v.vystup, HasSubstr("\t" + nebylaVybrana + "\tnávratový kód 1\n"));
  zaznamenano(1, nebylaVybrana, "bez obsluhy");
  // 1: another run at work: its own outcome in the record, the state file left to the run
  // that did work.
  s_.Zapsat("program/stav.json", bezProfilu);
  const int zamek =
      ::open((s_ / ("program/" + std::string(kSouborZamku))).c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::flock(zamek, LOCK_EX | LOCK_NB), 0);
  v = Spustit();
  ::close(zamek);
  EXPECT_EQ(v.kod, 1);
  EXPECT_THAT(v.vystup, HasSubstr("\tjiný běh právě aktualizuje\tnávratový kód 1\n"));
  EXPECT_TRUE(PosledniBeh().ends_with("\tjiný běh právě aktualizuje\tnávratový kód 1"))
      << PosledniBeh();
  EXPECT_EQ(s_.Cist("program/stav.json"), bezProfilu);
  EXPECT_EQ(stav().kod, 0);
  s_.Zapsat("program/Zevlon.ini", "[Server]\r\nAdresa=" + web_ + "\r\n");
  // 2: the profile choice closed with Storno, or ended by SIGTERM while it waits.
  v = Terminal({}, {{"Volba", "0\n"}});
  EXPECT_EQ(v.kod, 2) << v.vystup;
  zaznamenano(2, "zrušeno", "na terminálu");
  v = Terminal({}, {{"Volba", "", SIGTERM}});
  EXPECT_EQ(v.kod, 2) << v.vystup;
  zaznamenano(2, "zrušeno", "na terminálu");
  // 1: an error, here a site that is gone; at the terminal, after its box. A damaged state
  // file is said so by --stav and written anew by the next run.
  Volby();
  std::filesystem::rename(s_ / "www/aktualizace-online", s_ / "www/jinde");
  s_.Zapsat("program/stav.json", "{\"navratovy_kod\": 0, \"navratovy_kod\": 1}");
  v = stav();
  EXPECT_EQ(v.kod, 3);
  EXPECT_THAT(v.vystup, HasSubstr("nelze přečíst"));
  v = Spustit();
  EXPECT_EQ(v.kod, 1);
  EXPECT_THAT(v.vystup, HasSubstr("\tchyba: server odpověděl 404 (nenalezeno)\tnávratový kód 1\n"));
  aktualizovano.clear();  // not carried over from a damaged file
  zaznamenano(1, "chyba: server odpověděl 404 (nenalezeno)", "bez obsluhy");
  v = Terminal({}, {{"Volba", "0\n"}});
  EXPECT_EQ(v.kod, 1) << v.vystup;
  zaznamenano(1, "chyba: server odpověděl 404 (nenalezeno)", "na terminálu");
  EXPECT_THAT(s_.Cist("program/stav.json"), HasSubstr("\"chyba\": \"server odpověděl 404"));
}

// Root lists the profiles of the suite at a terminal (an attended run, --kontrola) and
// reads each one's Merko.ini, which the profile's owner can lay as they like: a link to a
// file of root's or to a device, a FIFO, a file of another user, escape sequences. Root
// reads none of them through a link, never waits on one, prints no raw escape, and names
// the profile it cannot read.
TEST_F(NaTerminalu, RootReadsNoProfilesIniThroughItsOwnersLinksAndShowsNoEscapes) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root reads another user's profile";
  const test::UzivatelSDomovem u = *test::VlastnikProfilu();
  ::chmod(s_.Cesta().c_str(), 0755);
  s_.Zapsat("program/Zevlon.ini", "[Server]\r\nAdresa=" + web_ + "\r\n");  // the list asks
  ::chmod((s_ / "program/Zevlon.ini").c_str(), 0644);
  ::chmod(s_.Zapsat("tajne.ini", "[Merko]\r\nRelease=TAJNE-ROOTA\r\n").c_str(), 0600);
  const std::string ini = profil_ + "Merko.ini";
  // Laid by the owner, as the owner could.
  auto jeho = [&](int stav) { return stav == 0 && ::lchown(ini.c_str(), u.uid, u.gid) == 0; };
  const struct {
    const char* popis;
    std::function<bool()> polozit;
    const char* duvod;  // nullptr: read, and shown cleaned
  } pripady[] = {
      {"a link to a file of root's alone",
       [&] { return jeho(::symlink((s_ / "tajne.ini").c_str(), ini.c_str())); },
       "je symbolický odkaz"},
      {"a link to a device", [&] { return jeho(::symlink("/dev/zero", ini.c_str())); },
       "je symbolický odkaz"},
      {"a FIFO", [&] { return jeho(::mkfifo(ini.c_str(), 0644)); }, "není obyčejný soubor"},
      {"a file of another user",
       [&] {
         s_.Zapsat("data/Firma/Merko.ini", "[Merko]\r\nRelease=CIZI\r\n");
         return ::chown(ini.c_str(), test::NeprivilegovanyUid(), 0) == 0;
       },
       "nepatří vlastníkovi složky, ve které leží"},
      {"escape sequences in its release",
       [&] {
         s_.Zapsat("data/Firma/Merko.ini", "[Merko]\r\nRelease=\x1b]0;OWNED\a\x1b[2J2014\r\n");
         return jeho(0);
       },
       nullptr},
  };
  for (const auto& p : pripady) {
    SCOPED_TRACE(p.popis);
    std::filesystem::remove(ini);
    test::PredatVlastnikovi(u, profil_);
    ASSERT_TRUE(p.polozit());
    std::filesystem::remove(s_ / "program/Zevlon.log");
    const auto kontrola =
        test::Spustit({"/usr/bin/timeout", "20", s_ / "program/Zevlon", "--kontrola"}, Prostredi());
    // (Only a profile that can be read is offered, and declined.)
    const auto beh = Terminal(
        {}, p.duvod ? std::vector<test::Odpoved>{} : std::vector<test::Odpoved>{{"Volba", "2\n"}});
    for (const std::string& vystup :
         {kontrola.vystup, beh.vystup, test::LogProgramu(s_, "Zevlon.log")}) {
      for (const char* nesmi : {"TAJNE", "CIZI", "\x1b]0;OWNED", "\x1b[2J"})
        EXPECT_EQ(vystup.find(nesmi), std::string::npos) << nesmi << "\n" << vystup;
    }
    EXPECT_EQ(kontrola.kod, 0) << kontrola.vystup;
    EXPECT_EQ(beh.kod, 0) << beh.vystup;
    if (p.duvod) {
      const std::string jmeno =
          "Profil " + profil_ + " nelze přečíst: soubor Merko.ini " + p.duvod + ".";
      EXPECT_THAT(kontrola.vystup, HasSubstr(jmeno));
      EXPECT_THAT(test::LogProgramu(s_, "Zevlon.log"), HasSubstr(jmeno));
    } else {
      EXPECT_THAT(kontrola.vystup, HasSubstr(profil_ + " (Firma, vydání  ]0;OWNED  [2J2014)"));
    }
  }
}

}  // namespace
}  // namespace zevlon
