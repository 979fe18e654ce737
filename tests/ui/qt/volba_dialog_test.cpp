#include "ui/qt/volba_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <functional>

namespace zevlon {
namespace {

ParametryVolby Otazka(const std::string& volby, const std::string& zaskrtavatko = "",
                      bool zaskrtnuto = false, const std::string& poznamka = "") {
  ParametryVolby p;
  p.zprava = "Je k dispozici nové vydání.@Chcete je stáhnout?";
  p.volby = volby;
  p.poznamka = poznamka;
  p.textZaskrtavatka = zaskrtavatko;
  p.zaskrtnuto = zaskrtnuto;
  return p;
}

const std::string kTriRadky =
    "Ano - stáhnout@Stáhne se 120 MB@Potom se nainstaluje;Ne;Později@zítra";

// Shows the dialog modally as the run does; akce acts on it once it is up. Answers
// what ShowMe answered.
int Ukazat(const ParametryVolby& p, std::function<void(MsgVolbaDialog&)> akce) {
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

void Klik(QWidget* w) {
  ASSERT_NE(w, nullptr);
  QTest::mouseClick(w, Qt::LeftButton);
}

// A click on the check box's square (its label ends well before its right edge).
void Zaskrtnout(MsgVolbaDialog& d) {
  auto* chk = d.findChild<QWidget*>("chkVolba");
  ASSERT_NE(chk, nullptr);
  QTest::mouseClick(chk, Qt::LeftButton, {}, QPoint(8, chk->height() / 2));
}

void Klavesa(Qt::Key klavesa) {
  QWidget* fokus = QApplication::focusWidget();
  ASSERT_NE(fokus, nullptr);
  QTest::keyClick(fokus, klavesa);
}

TEST(VolbaDialogTest, AClickOnARowAnswersItsNumber) {
  for (int k = 1; k <= 3; ++k)
    EXPECT_EQ(
        Ukazat(Otazka(kTriRadky), [k](MsgVolbaDialog& d) { Klik(d.RadekVolby(k).cmdVolba01); }), k);
}

TEST(VolbaDialogTest, StornoClosingAndEscapeAnswerZero) {
  EXPECT_EQ(Ukazat(Otazka(kTriRadky),
                   [](MsgVolbaDialog& d) { Klik(d.findChild<QWidget*>("cmdStorno")); }),
            0);
  EXPECT_EQ(Ukazat(Otazka(kTriRadky), [](MsgVolbaDialog& d) { d.close(); }), 0);
  EXPECT_EQ(Ukazat(Otazka(kTriRadky), [](MsgVolbaDialog&) { Klavesa(Qt::Key_Escape); }), 0);
}

TEST(VolbaDialogTest, ATickedBoxAddsTen) {
  const ParametryVolby p = Otazka("A;B", "Příště se neptat", true);
  EXPECT_EQ(Ukazat(p, [](MsgVolbaDialog& d) { Klik(d.RadekVolby(1).cmdVolba01); }), 11);
  EXPECT_EQ(Ukazat(p, [](MsgVolbaDialog& d) { Klik(d.RadekVolby(2).cmdVolba01); }), 12);
  EXPECT_EQ(Ukazat(p, [](MsgVolbaDialog& d) { Klik(d.findChild<QWidget*>("cmdStorno")); }), 10);
  // Unticked by the user before choosing.
  EXPECT_EQ(Ukazat(p,
                   [](MsgVolbaDialog& d) {
                     Zaskrtnout(d);
                     Klik(d.RadekVolby(2).cmdVolba01);
                   }),
            2);
  // Ticked by the user.
  EXPECT_EQ(Ukazat(Otazka("A;B", "Příště se neptat", false),
                   [](MsgVolbaDialog& d) {
                     Zaskrtnout(d);
                     d.close();
                   }),
            10);
}

// The colour of the row's background as drawn, at a point of the row with no text.
QRgb Nakresleno(MsgVolbaDialog& d, int k) {
  const QRect r = d.RadekVolby(k).pozadi->geometry();
  return d.grab().toImage().pixel(r.right() - 3, r.top() + 3) & 0xFFFFFF;
}

class ZobrazenyDialog : public ::testing::Test {
 protected:
  void Ukazat(const ParametryVolby& p) {
    d_.Sestavit(p);
    d_.move(200, 200);
    QCursor::setPos(0, 0);  // not over a row when the dialog comes up
    d_.show();
    d_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d_));
  }
  // Which rows are highlighted, by the fill each row has and is drawn with.
  std::vector<int> Zvyraznene() {
    std::vector<int> k;
    for (int j = 1; j <= d_.PocetRadku(); ++j) {
      bool sede = d_.BarvaRadku(j) == QColor(kBarvaZvyraznenehoRadku);
      EXPECT_EQ(Nakresleno(d_, j), sede ? kBarvaZvyraznenehoRadku : kBarvaRadku) << j;
      if (sede)
        k.push_back(j);
      else
        EXPECT_EQ(d_.BarvaRadku(j), QColor(kBarvaRadku)) << j;
    }
    return k;
  }
  MsgVolbaDialog d_;
};

TEST_F(ZobrazenyDialog, TheMouseOverARowHighlightsItAndGivesItsButtonTheFocus) {
  Ukazat(Otazka(kTriRadky));
  QTest::mouseMove(d_.RadekVolby(2).cmdVolba01);
  EXPECT_EQ(Zvyraznene(), std::vector<int>{2});
  EXPECT_EQ(QApplication::focusWidget(), d_.RadekVolby(2).ButtonFocus);
  QTest::mouseMove(d_.RadekVolby(3).cmdVolba01, QPoint(5, 5));
  EXPECT_EQ(Zvyraznene(), std::vector<int>{3});
  EXPECT_EQ(QApplication::focusWidget(), d_.RadekVolby(3).ButtonFocus);
}

TEST_F(ZobrazenyDialog, TheKeyboardFocusMovesTheHighlight) {
  Ukazat(Otazka(kTriRadky, "Příště se neptat"));
  // The first row holds the focus from the start.
  EXPECT_EQ(QApplication::focusWidget(), d_.RadekVolby(1).ButtonFocus);
  EXPECT_EQ(Zvyraznene(), std::vector<int>{1});
  Klavesa(Qt::Key_Tab);
  EXPECT_EQ(Zvyraznene(), std::vector<int>{2});
  Klavesa(Qt::Key_Down);
  EXPECT_EQ(Zvyraznene(), std::vector<int>{3});
  Klavesa(Qt::Key_Down);  // the last row stays
  EXPECT_EQ(QApplication::focusWidget(), d_.RadekVolby(3).ButtonFocus);
  Klavesa(Qt::Key_Up);
  Klavesa(Qt::Key_Left);
  EXPECT_EQ(Zvyraznene(), std::vector<int>{1});
  Klavesa(Qt::Key_Right);
  EXPECT_EQ(Zvyraznene(), std::vector<int>{2});
  // After the rows come the check box and Storno; the last highlight stays.
  Klavesa(Qt::Key_Tab);
  Klavesa(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), d_.findChild<QWidget*>("chkVolba"));
  EXPECT_EQ(Zvyraznene(), std::vector<int>{3});
  Klavesa(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), d_.findChild<QWidget*>("cmdStorno"));
}

TEST(VolbaDialogTest, EnterAndSpaceChooseTheFocusedRow) {
  EXPECT_EQ(Ukazat(Otazka(kTriRadky), [](MsgVolbaDialog&) { Klavesa(Qt::Key_Return); }), 1);
  EXPECT_EQ(Ukazat(Otazka(kTriRadky),
                   [](MsgVolbaDialog&) {
                     Klavesa(Qt::Key_Down);
                     Klavesa(Qt::Key_Enter);
                   }),
            2);
  EXPECT_EQ(Ukazat(Otazka(kTriRadky),
                   [](MsgVolbaDialog&) {
                     Klavesa(Qt::Key_Tab);
                     Klavesa(Qt::Key_Tab);
                     Klavesa(Qt::Key_Space);
                   }),
            3);
}

TEST(VolbaDialogTest, TextsTitleAndRows) {
  MsgVolbaDialog d;
  ParametryVolby p = Otazka(kTriRadky);
  p.cislo = 7;
  d.Sestavit(p);
  EXPECT_EQ(d.windowTitle(), "Dunmor Merko");
  EXPECT_EQ(d.findChild<QLabel*>("labHlavniInstrukce")->text(), "Je k dispozici nové vydání.");
  EXPECT_EQ(d.findChild<QLabel*>("labSekundarniInstrukce")->text(), "Chcete je stáhnout?");
  ASSERT_EQ(d.PocetRadku(), 3);
  EXPECT_EQ(d.RadekVolby(1).Volba01PP->text(), "Ano - stáhnout");
  EXPECT_EQ(d.RadekVolby(1).Volba01SP->text(), "Stáhne se 120 MB");
  EXPECT_EQ(d.RadekVolby(1).Volba01PO->text(), "Potom se nainstaluje");
  EXPECT_EQ(d.RadekVolby(2).Volba01PP->text(), "Ne");
  EXPECT_EQ(d.RadekVolby(2).Volba01SP->text(), "");
  EXPECT_EQ(d.RadekVolby(3).Volba01SP->text(), "zítra");
  EXPECT_EQ(d.Cislo(), 7);
  EXPECT_EQ(d.Hodnota(), 0);
  EXPECT_FALSE(d.findChild<QWidget*>("chkVolba")->isVisibleTo(&d));
  EXPECT_FALSE(d.findChild<QWidget*>("Poznamka")->isVisibleTo(&d));
  EXPECT_FALSE(d.findChild<QWidget*>("i")->isVisibleTo(&d));
  EXPECT_TRUE(d.findChild<QWidget*>("cmdStorno")->isVisibleTo(&d));

  MsgVolbaDialog jiny;
  ParametryVolby q = Otazka("Jediná volba", "", false, "Poznámka pod čarou");
  q.zprava = "Jedna@dvě@tři";
  q.titulek = "Výběr profilu";
  jiny.Sestavit(q);
  EXPECT_EQ(jiny.windowTitle(), "Výběr profilu");
  EXPECT_EQ(jiny.PocetRadku(), 1);
  EXPECT_EQ(jiny.findChild<QLabel*>("labHlavniInstrukce")->text(), "Jedna");
  EXPECT_EQ(jiny.findChild<QLabel*>("labSekundarniInstrukce")->text(), "");
  EXPECT_EQ(jiny.findChild<QLabel*>("Poznamka")->text(), "Poznámka pod čarou");
  EXPECT_TRUE(jiny.findChild<QWidget*>("Poznamka")->isVisibleTo(&jiny));
  EXPECT_TRUE(jiny.findChild<QWidget*>("i")->isVisibleTo(&jiny));
}

// The layout in pixels, from the twips: rows from 1200 with a pitch of 800, a
// caption line 330 high and further lines 195 high; the window's outer height is
// 450 more than its client area.
TEST(VolbaDialogTest, LayoutOfRowsFooterAndCheckBox) {
  MsgVolbaDialog d;
  d.Sestavit(Otazka("A@a;B@b@c;C"));
  // Two parts: 330 + 195 = 525; three parts: the design height 780; one part:
  // 330 + 100 = 430.
  EXPECT_EQ(d.RadekVolby(1).pozadi->geometry(), QRect(15, 80, 470, 35));
  EXPECT_EQ(d.RadekVolby(2).pozadi->geometry(), QRect(15, 133, 470, 52));  // 2000
  EXPECT_EQ(d.RadekVolby(3).pozadi->geometry(), QRect(15, 187, 470, 29));  // 2800
  EXPECT_EQ(d.RadekVolby(3).cmdVolba01->geometry(), d.RadekVolby(3).pozadi->geometry());
  EXPECT_EQ(d.RadekVolby(3).Volba01PP->y(), 187);
  EXPECT_EQ(d.RadekVolby(3).Volba01SP->y(), 209);  // 3130
  EXPECT_EQ(d.RadekVolby(3).Volba01PO->y(), 222);  // 3325
  // The focus buttons have a pitch of 50 and lie outside the window.
  EXPECT_EQ(d.RadekVolby(2).ButtonFocus->y(), 83);  // 1250
  EXPECT_EQ(d.RadekVolby(3).ButtonFocus->y(), 87);  // 1300
  EXPECT_LT(d.RadekVolby(1).ButtonFocus->geometry().right(), 0);
  // Height 2800 + 430 + 750 = 3980; footer band from 3330, Storno at 3580, then
  // the window grows by 600 to 4580, a client area of 4130.
  QWidget* pata = d.findChild<QWidget*>("Pata");
  EXPECT_EQ(pata->geometry(), QRect(0, 222, 500, 133));
  EXPECT_EQ(d.findChild<QWidget*>("cmdStorno")->y(), 239);
  EXPECT_EQ(d.size(), QSize(500, 275));

  MsgVolbaDialog s;
  s.Sestavit(Otazka("A;B", "Příště se neptat", false, "Poznámka"));
  // The check box: 2000 + 195 + 195 + 200 = 2590; height 2000 + 430 + 750 + 330 =
  // 3510; band 2860, note 3060, Storno 3110; client (3510 + 600 - 450) = 3660.
  QWidget* chk = s.findChild<QWidget*>("chkVolba");
  EXPECT_TRUE(chk->isVisibleTo(&s));
  EXPECT_EQ(chk->geometry(), QRect(20, 173, 460, 22));
  EXPECT_EQ(s.findChild<QWidget*>("Pata")->y(), 191);
  EXPECT_EQ(s.findChild<QWidget*>("Poznamka")->y(), 204);
  EXPECT_EQ(s.findChild<QWidget*>("i")->y(), 204);
  EXPECT_EQ(s.findChild<QWidget*>("cmdStorno")->y(), 207);
  EXPECT_EQ(s.size(), QSize(500, 244));
}

}  // namespace
}  // namespace zevlon
