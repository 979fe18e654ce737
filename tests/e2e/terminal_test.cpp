// Whole runs of the real Zevlon for a person at a terminal (a pseudo-terminal that the
// test reads and types into): the closing message of the copy in temp.
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
};

TEST_F(NaTerminalu, CopyInTempGivesTheClosingMessageAtTheTerminalAfterTheRun) {
  auto v = Terminal();
  EXPECT_EQ(v.kod, 0) << v.vystup;
  Obnoveno();
  const std::size_t dokonceno = v.vystup.find("Dokončeno");
  ASSERT_NE(dokonceno, std::string::npos) << v.vystup;
  EXPECT_NE(v.vystup.find(kStazeno, dokonceno), std::string::npos) << v.vystup;
}

}  // namespace
}  // namespace zevlon
