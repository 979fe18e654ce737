// Whole runs of the real Zevlon for a person at a terminal (a pseudo-terminal that the
// test reads and types into): the closing message of the copy in temp and the options
// at the prompt.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/text.h"
#include "e2e/pripravka.h"
#include "platform/ini.h"
#include "support/terminal.h"

namespace zevlon {
namespace {

using test::Cesty;
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

TEST_F(NaTerminalu, CopyInTempGivesTheClosingMessageAtTheTerminalAfterTheRun) {
  auto v = Terminal();
  EXPECT_EQ(v.kod, 0) << v.vystup;
  Obnoveno();
  const std::size_t dokonceno = v.vystup.find("Dokončeno");
  ASSERT_NE(dokonceno, std::string::npos) << v.vystup;
  EXPECT_NE(v.vystup.find(kStazeno, dokonceno), std::string::npos) << v.vystup;
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

  // Storno (Ctrl+D) at the first question: nothing changes.
  auto v = Terminal({"--moznosti"}, {{"Složka profilu", "\x04"}}, jako);
  EXPECT_EQ(v.kod, 2) << v.vystup;
  EXPECT_EQ(Sekce("Nastaveni"), Texty{"SlozkaDat=" + profil_});

  // The profile from the list, a weekly schedule on Wednesday at six.
  v = Terminal({"--moznosti"},
               {{"  1) " + profil_, ""},
                {"Složka profilu", "1\n"},
                {"  2) Nevyhledávat instalace, vyhledám je sám", ""},
                {"Volba", "1\n"},
                {"Čas", "06:00\n"},
                {"  3) Měsíčně", ""},
                {"Volba", "2\n"},
                {"  7) Neděle", ""},
                {"Den", "3\n"}},
               jako);
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_EQ(Sekce("Nastaveni"),
            (Texty{"SlozkaDat=" + profil_, "Cas=06:00", "Cetnost=Týdně", "Den=Středa"}));
  EXPECT_EQ(Sekce("Uloha"), Texty{"ID=1"});
  EXPECT_EQ(s_.Cist("cron/crontab"), "0 6 * * 3 '" + (s_ / "program/Zevlon") + "' # zevlon-1\n");
  EXPECT_EQ(Sekce("Server"), Texty{"Adresa=" + web_});

  // A day of the month typed as its number; then manual updating removes the job.
  v = Terminal({"--moznosti"},
               {{"Složka profilu", "\n"},
                {"Volba", "\n"},
                {"Čas", "22:00\n"},
                {"Volba", "3\n"},
                {"Den", "15\n"}},
               jako);
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_EQ(Sekce("Nastaveni"),
            (Texty{"SlozkaDat=" + profil_, "Cas=22:00", "Cetnost=Měsíčně", "Den=15."}));
  EXPECT_EQ(s_.Cist("cron/crontab"), "0 22 15 * * '" + (s_ / "program/Zevlon") + "' # zevlon-2\n");
  v = Terminal({"--moznosti"}, {{"Složka profilu", "\n"}, {"Volba", "2\n"}}, jako);
  EXPECT_EQ(v.kod, 0) << v.vystup;
  EXPECT_EQ(Sekce("Nastaveni"), Texty{"SlozkaDat=" + profil_});
  EXPECT_EQ(s_.Cist("cron/crontab"), "");
}

}  // namespace
}  // namespace zevlon
