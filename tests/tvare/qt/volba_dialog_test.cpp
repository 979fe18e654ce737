#include "tvare/qt/volba_dialog.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>

#include "platform/procesy/ukonceni.h"

namespace zevlon {
namespace {

using Akce = std::function<void(MsgVolbaDialog&)>;

// Shows the dialog modally as the run does; akce acts on it once it is up. Answers
// what ShowMe answered.
int Odpoved(const ParametryVolby& p, const Akce& akce) {
  MsgVolbaDialog d;
  QTimer::singleShot(0, &d, [&] {
    d.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
    akce(d);
  });
  bool pojistka = false;
  QTimer::singleShot(10'000, &d, [&] { pojistka = true, d.done(QDialog::Rejected); });
  const int vysledek = d.ShowMe(p);
  EXPECT_FALSE(pojistka) << "the dialog did not close";
  return vysledek;
}

TEST(VolbaDialogTest, ClicksKeysAndTheCheckBoxMakeTheAnswer) {
  auto otazka = [](const char* zaskrtavatko, bool zaskrtnuto) {
    return ParametryVolby{"Nové.@Stáhnout?", "", "A@a@b;B;C@c", "", 0, zaskrtavatko, zaskrtnuto};
  };
  auto klik = [](const char* jmeno) -> Akce {
    return [jmeno](MsgVolbaDialog& d) {
      QWidget* w = d.findChild<QWidget*>(jmeno);
      ASSERT_NE(w, nullptr) << jmeno;
      // The check box's square: its label ends well before its right edge.
      QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(8, w->height() / 2));
    };
  };
  auto klavesy = [](std::vector<Qt::Key> k) -> Akce {
    return [k](MsgVolbaDialog&) {
      for (Qt::Key klavesa : k)
        QTest::keyClick(QApplication::focusWidget(), klavesa);
    };
  };
  auto potom = [](Akce a, Akce b) -> Akce { return [a, b](MsgVolbaDialog& d) { a(d), b(d); }; };
  const Akce zavrit = [](MsgVolbaDialog& d) { d.close(); };
  // Enter chooses the focused row, the first one at the start; a ticked box adds ten,
  // also to Storno (a box that is not shown adds nothing).
  const ParametryVolby bez = otazka("", true), s = otazka("Příště ne", true);
  const std::tuple<ParametryVolby, Akce, int> pripady[] = {
      {bez, klik("cmdStorno"), 0},
      {bez, klavesy({Qt::Key_Escape}), 0},
      {bez, klavesy({Qt::Key_Down, Qt::Key_Enter}), 2},
      {s, klavesy({Qt::Key_Return}), 11},
      {s, klik("cmdStorno"), 10},
      {s, potom(klik("chkVolba"), klik("cmdVolba01_2")), 2},
      {otazka("Příště ne", false), potom(klik("chkVolba"), zavrit), 10},
  };
  for (std::size_t i = 0; i < std::size(pripady); ++i)
    EXPECT_EQ(Odpoved(std::get<0>(pripady[i]), std::get<1>(pripady[i])), std::get<2>(pripady[i]))
        << "case " << i;
  // SIGTERM while it waits: as Storno. (In a process of its own: the stop stays asked.)
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  const auto zastavit = [](MsgVolbaDialog&) {
    ZachytavatUkonceni();
    ::raise(SIGTERM);
  };
  // (_exit: the child's end is its answer, not what a leak check at exit finds in Qt's
  // libraries.)
  EXPECT_EXIT(::_exit(Odpoved(bez, zastavit) == 0 && !::testing::Test::HasFailure() ? 0 : 1),
              ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace zevlon
