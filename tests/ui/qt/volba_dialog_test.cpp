#include "ui/qt/volba_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

namespace zevlon {
namespace {

ParametryVolby Otazka(const std::string& volby, const std::string& zaskrtavatko = "",
                      bool zaskrtnuto = false) {
  return {"Nové vydání.@Stáhnout?", "", volby, "", 0, zaskrtavatko, zaskrtnuto};
}

void Klik(QWidget* w, QPoint kde = {}) {
  ASSERT_NE(w, nullptr);
  QTest::mouseClick(w, Qt::LeftButton, {}, kde);
}

void Klavesa(Qt::Key klavesa) {
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  QTest::keyClick(QApplication::focusWidget(), klavesa);
}

using Akce = std::function<void(MsgVolbaDialog&)>;

// Shows the dialog modally as the run does; akce acts on it once it is up. Answers
// what ShowMe answered.
int Odpoved(const ParametryVolby& p, const Akce& akce) {
  MsgVolbaDialog d;
  bool probehlo = false, pojistka = false;
  QTimer::singleShot(0, &d, [&] {
    probehlo = true;
    d.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&d));
    akce(d);
  });
  QTimer::singleShot(10'000, &d, [&] {
    pojistka = true;
    d.done(QDialog::Rejected);
  });
  int vysledek = d.ShowMe(p);
  EXPECT_TRUE(probehlo);
  EXPECT_FALSE(pojistka) << "the dialog did not close";
  return vysledek;
}

TEST(VolbaDialogTest, ClicksKeysAndTheCheckBoxMakeTheAnswer) {
  const ParametryVolby tri = Otazka("A@a@b;B;C@c"), zaskrtnuto = Otazka("A;B", "Příště ne", true);
  auto radek = [](int k) -> Akce {
    return [k](MsgVolbaDialog& d) { Klik(d.RadekVolby(k).cmdVolba01); };
  };
  auto klavesy = [](std::vector<Qt::Key> k) -> Akce {
    return [k](MsgVolbaDialog&) { std::for_each(k.begin(), k.end(), Klavesa); };
  };
  Akce storno = [](MsgVolbaDialog& d) { Klik(d.findChild<QWidget*>("cmdStorno")); };
  Akce zavrit = [](MsgVolbaDialog& d) { d.close(); };
  // A click on the check box's square (its label ends well before its right edge).
  auto zaskrtnout = [](const Akce& potom) -> Akce {
    return [potom](MsgVolbaDialog& d) {
      QWidget* chk = d.findChild<QWidget*>("chkVolba");
      Klik(chk, QPoint(8, chk->height() / 2));
      potom(d);
    };
  };
  // Enter and Space choose the focused row, the first one at the start; a ticked box
  // adds ten, also to Storno.
  const std::tuple<ParametryVolby, Akce, int> pripady[] = {
      {tri, radek(1), 1},
      {tri, radek(2), 2},
      {tri, radek(3), 3},
      {tri, storno, 0},
      {tri, zavrit, 0},
      {tri, klavesy({Qt::Key_Escape}), 0},
      {tri, klavesy({Qt::Key_Return}), 1},
      {tri, klavesy({Qt::Key_Down, Qt::Key_Enter}), 2},
      {tri, klavesy({Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Space}), 3},
      {zaskrtnuto, radek(1), 11},
      {zaskrtnuto, radek(2), 12},
      {zaskrtnuto, storno, 10},
      {zaskrtnuto, zaskrtnout(radek(2)), 2},
      {Otazka("A;B", "Příště ne", false), zaskrtnout(zavrit), 10},
  };
  for (std::size_t i = 0; i < std::size(pripady); ++i)
    EXPECT_EQ(Odpoved(std::get<0>(pripady[i]), std::get<1>(pripady[i])), std::get<2>(pripady[i]))
        << "case " << i;
}

TEST(VolbaDialogTest, TheMouseAndTheKeyboardFocusMoveTheHighlight) {
  MsgVolbaDialog d;
  d.Sestavit(Otazka("A;B;C", "Příště ne"));
  d.move(200, 200);
  QCursor::setPos(0, 0);  // not over a row when the dialog comes up
  d.show();
  d.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
  // The highlighted rows, by the fill each row has and is drawn with (at a point of
  // the row with no text); and the row whose focus button has the focus.
  auto zvyraznene = [&d] {
    std::string k;
    const QImage obraz = d.grab().toImage();
    for (int j = 1; j <= d.PocetRadku(); ++j) {
      const QRect r = d.RadekVolby(j).pozadi->geometry();
      const QColor barva = d.BarvaRadku(j);
      EXPECT_EQ(obraz.pixel(r.right() - 3, r.top() + 3) & 0xFFFFFF, barva.rgb() & 0xFFFFFF) << j;
      EXPECT_TRUE(barva == QColor(kBarvaRadku) || barva == QColor(kBarvaZvyraznenehoRadku)) << j;
      if (barva == QColor(kBarvaZvyraznenehoRadku)) k += std::to_string(j);
      if (QApplication::focusWidget() == d.RadekVolby(j).ButtonFocus) k += "F";
    }
    if (QApplication::focusWidget() == d.findChild<QWidget*>("chkVolba")) k += "C";
    if (QApplication::focusWidget() == d.findChild<QWidget*>("cmdStorno")) k += "S";
    return k;
  };
  EXPECT_EQ(zvyraznene(), "1F");
  // The last row stays at Down; after the rows come the check box (C) and Storno
  // (S), and the last highlight stays.
  const std::pair<Qt::Key, const char*> kroky[] = {
      {Qt::Key_Tab, "2F"}, {Qt::Key_Down, "3F"}, {Qt::Key_Down, "3F"},
      {Qt::Key_Up, "2F"},  {Qt::Key_Left, "1F"}, {Qt::Key_Right, "2F"},
      {Qt::Key_Tab, "3F"}, {Qt::Key_Tab, "3C"},  {Qt::Key_Tab, "3S"}};
  for (auto [klavesa, ocekavane] : kroky) {
    Klavesa(klavesa);
    EXPECT_EQ(zvyraznene(), ocekavane) << klavesa;
  }
  QTest::mouseMove(d.RadekVolby(2).cmdVolba01);
  EXPECT_EQ(zvyraznene(), "2F");
  QTest::mouseMove(d.RadekVolby(1).cmdVolba01, QPoint(5, 5));
  EXPECT_EQ(zvyraznene(), "1F");
}

// The texts: title|main and secondary instruction|each row's lines|check box|note.
QString Texty(MsgVolbaDialog& d) {
  QStringList s{d.windowTitle(), d.findChild<QLabel*>("labHlavniInstrukce")->text(),
                d.findChild<QLabel*>("labSekundarniInstrukce")->text()};
  for (int k = 1; k <= d.PocetRadku(); ++k) {
    const auto& r = d.RadekVolby(k);
    s << r.Volba01PP->text() + "/" + r.Volba01SP->text() + "/" + r.Volba01PO->text();
  }
  return (s << d.findChild<QCheckBox*>("chkVolba")->text()
            << d.findChild<QLabel*>("Poznamka")->text())
      .join("|");
}

// The top edges of the check box, the note, its icon, Storno and the footer band,
// "-" for one that is hidden.
QString Dole(MsgVolbaDialog& d) {
  QString s;
  for (const char* jmeno : {"chkVolba", "Poznamka", "i", "cmdStorno", "Pata"}) {
    QWidget* w = d.findChild<QWidget*>(jmeno);
    s += w->isVisibleTo(&d) ? QString::number(w->y()) + " " : "- ";
  }
  return s;
}

// The layout in pixels, from the twips: rows from 1200 with a pitch of 800, a
// caption line 330 high and further lines 195 high; the window's outer height is
// 450 more than its client area.
TEST(VolbaDialogTest, TextsAndLayout) {
  MsgVolbaDialog d;
  ParametryVolby p = Otazka("A@a;B@b@c;C");
  p.cislo = 7;
  d.Sestavit(p);
  EXPECT_EQ(Texty(d), "Dunmor Merko|Nové vydání.|Stáhnout?|A/a/|B/b/c|C//||");
  EXPECT_EQ(d.Cislo(), 7);
  EXPECT_EQ(d.Hodnota(), 0);
  // Two parts: 330 + 195 = 525; three parts: the design height 780; one part:
  // 330 + 100 = 430.
  EXPECT_EQ(d.RadekVolby(1).pozadi->geometry(), QRect(15, 80, 470, 35));
  EXPECT_EQ(d.RadekVolby(2).pozadi->geometry(), QRect(15, 133, 470, 52));  // 2000
  EXPECT_EQ(d.RadekVolby(3).pozadi->geometry(), QRect(15, 187, 470, 29));  // 2800
  EXPECT_EQ(d.RadekVolby(3).cmdVolba01->geometry(), d.RadekVolby(3).pozadi->geometry());
  // The lines at 2800, 3130 and 3325; the focus buttons have a pitch of 50 (1250,
  // 1300) and lie outside the window.
  const auto &r2 = d.RadekVolby(2), &r3 = d.RadekVolby(3);
  EXPECT_EQ((QList<int>{r3.Volba01PP->y(), r3.Volba01SP->y(), r3.Volba01PO->y(),
                        r2.ButtonFocus->y(), r3.ButtonFocus->y()}),
            (QList<int>{187, 209, 222, 83, 87}));
  EXPECT_LT(d.RadekVolby(1).ButtonFocus->geometry().right(), 0);
  // Height 2800 + 430 + 750 = 3980; footer band from 3330 (2000 high), Storno at
  // 3580, then the window grows by 600 to 4580, a client area of 4130.
  EXPECT_EQ(Dole(d), "- - - 239 222 ");
  EXPECT_EQ(d.findChild<QWidget*>("Pata")->size(), QSize(500, 133));
  EXPECT_EQ(d.size(), QSize(500, 275));

  // The check box: 2000 + 195 + 195 + 200 = 2590; height 2000 + 430 + 750 + 330 =
  // 3510; band 2860, note and icon 3060, Storno 3110; client 3510 + 600 - 450.
  MsgVolbaDialog s;
  s.Sestavit({"Jedna@dvě@tři", "Výběr profilu", "A;B", "Pod čarou", 0, "Příště ne", false});
  EXPECT_EQ(Texty(s), "Výběr profilu|Jedna||A//|B//|Příště ne|Pod čarou");
  EXPECT_EQ(s.findChild<QWidget*>("chkVolba")->geometry(), QRect(20, 173, 460, 22));
  EXPECT_EQ(Dole(s), "173 204 204 207 191 ");
  EXPECT_EQ(s.size(), QSize(500, 244));
}

}  // namespace
}  // namespace zevlon
