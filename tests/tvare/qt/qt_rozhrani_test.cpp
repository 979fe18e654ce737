// The Qt backend: the progress window, message boxes and the choice dialog.
#include "tvare/qt/qt_rozhrani.h"

#include "tvare/qt/okno_prubehu.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "beh/beh.h"
#include "common/chyba.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/stav.h"
#include "rozhrani/volba.h"
#include "support/falesna_platforma.h"
#include "support/sandbox.h"

namespace zevlon {
namespace {

// A click that waits in the event queue, as a real one does until the run lets
// window events run.
void PoslatKlik(QWidget* w) {
  const QPointF stred = QRectF(w->rect()).center(), globalne = w->mapToGlobal(stred);
  for (auto [typ, tlacitka] : {std::pair{QEvent::MouseButtonPress, Qt::LeftButton},
                               std::pair{QEvent::MouseButtonRelease, Qt::NoButton}})
    QCoreApplication::postEvent(
        w, new QMouseEvent(typ, stred, globalne, Qt::LeftButton, tlacitka, Qt::NoModifier));
}

class QtRozhraniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EtapaPrubehu = {};
    RezimSystem = false;
    NastavitUi(&ui_);
  }
  void TearDown() override { NastavitUi(nullptr); }

  QWidget* Ovladac(const char* jmeno) { return ui_.Okno().findChild<QWidget*>(jmeno); }

  test::FalesnaPlatforma platforma_;
  QtRozhrani ui_;
};

TEST_F(QtRozhraniTest, StornoOrClosingTheWindowCancelsAndZavritUnloads) {
  ZobrazPrubeh("Stahování", "a.zip", 1, 10, 0, true, false);
  PoslatKlik(Ovladac("cmdStorno"));
  EXPECT_FALSE(ui_.Zruseno());  // the click waits until the run lets window events run
  EXPECT_THROW(ZobrazPrubeh("", "b.zip", 2, 10, -1, true, false), Chyba);
  EXPECT_TRUE(ui_.Zruseno());
  EXPECT_THROW(ZobrazPrubeh("", "c.zip", 3, 10, -1, false, true), Chyba);  // never reset
  ui_.Zavrit();
  EXPECT_EQ(ui_.NacteneOkno(), nullptr);

  // Closed while Storno is shown: the window stays for the run to end it.
  ZobrazPrubeh("Stahování", "", 1, 10, 0, true, false);
  EXPECT_FALSE(ui_.Okno().close());
  EXPECT_THROW(ZobrazPrubeh("", "", 2, 10, -1, true, false), Chyba);
  ui_.Zavrit();

  // Closed without Storno: unloaded without a cancel.
  ZobrazPrubeh("Příprava aktualizace", "", 0, 1, 0, false, false);
  EXPECT_TRUE(ui_.Okno().close());
  EXPECT_EQ(ui_.NacteneOkno(), nullptr);
  EXPECT_FALSE(ui_.Zruseno());

  // Zavřít unloads it and ends the wait for the user.
  ZobrazPrubeh("Hotovo", "", 0, 0, 0, false, true);
  QWidget* zavrit = Ovladac("cmdZavrit");
  bool pojistka = false;
  QTimer::singleShot(0, zavrit, [zavrit] { QTest::mouseClick(zavrit, Qt::LeftButton); });
  QTimer::singleShot(10'000, &ui_.Okno(), [&] {
    pojistka = true;
    ui_.Okno().Uvolnit();
  });
  ui_.CekatNaZavreni();
  EXPECT_FALSE(pojistka);
  EXPECT_EQ(ui_.NacteneOkno(), nullptr);

  // The release notes' link: the maker's page until the run names another, which a
  // window loaded later keeps too.
  EXPECT_EQ(ui_.Okno().OdkazZmen(), kAdresaInformaciOZmenach);
  ui_.NastavitOdkazZmen("https://www.dunmor.invalid/merko/zmeny-20150115");
  EXPECT_EQ(ui_.Okno().OdkazZmen(), "https://www.dunmor.invalid/merko/zmeny-20150115");
  ui_.Zavrit();
  EXPECT_EQ(ui_.Okno().OdkazZmen(), "https://www.dunmor.invalid/merko/zmeny-20150115");
}

// The copy of the program in temp ends its run with the closing heading and leaves
// the window to the user, who must be able to close it.
TEST_F(QtRozhraniTest, TheRunOfTheCopyInTempEndsInAWindowTheUserCanClose) {
  test::Sandbox s;
  platforma_.temp = s.Vytvorit("temp");
  platforma_.program = s / "temp/Zevlon";
  const std::string vydani = s.Zapsat("temp/download.ini", "[Merko]\r\nRelease=20140331\r\n");
  // Once the run waits for the user (in an event loop of its own), note the heading
  // and the buttons, then close the window as the user would; a window that refuses
  // is unloaded by force so that the run still ends.
  std::string okno;
  QTimer cekani;
  QObject::connect(&cekani, &QTimer::timeout, [&] {
    AktualizaceMerka* o = ui_.NacteneOkno();
    if (!o || QThread::currentThread()->loopLevel() == 0) return;
    cekani.stop();
    okno = o->findChild<QLabel*>("labPodnadpis")->text().toStdString() + "|" +
           (Ovladac("cmdStorno")->isVisible() ? "S" : "") +
           (Ovladac("cmdZavrit")->isVisible() ? "Z" : "");
    if (!o->close()) {
      okno += "|nelze zavřít";
      o->Uvolnit();
    }
  });
  cekani.start(0);
  EXPECT_EQ(Main(vydani, [](const std::string&, SouhrnObnovy&) { return true; }), kNavratUspech);
  EXPECT_EQ(okno, "Aktualizace byla stažena, nainstaluje se při příštím spuštění Merka.|Z");
  EXPECT_FALSE(ui_.Zruseno());
  EXPECT_EQ(ui_.NacteneOkno(), nullptr);
}

TEST_F(QtRozhraniTest, MessageBoxesAndTheChoiceDialog) {
  ZobrazPrubeh("Stahování", "", 0, 1, 0, true, false);
  // Presses the button of the given text in the box that comes up (Escape for
  // none) and notes its title and text.
  QString zaznam;
  auto stisknout = [&zaznam](const QString& tlacitko) {
    QTimer::singleShot(0, [&zaznam, tlacitko] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      zaznam = box->windowTitle() + "|" + box->text();
      // What a server sent (a file name) is shown as it is, never read as markup.
      EXPECT_EQ(box->textFormat(), Qt::PlainText);
      for (QAbstractButton* b : box->buttons())
        if (b->text() == tlacitko) return QTest::mouseClick(b, Qt::LeftButton);
      QTest::keyClick(box, Qt::Key_Escape);
    });
  };
  stisknout("&Opakovat");
  EXPECT_EQ(ZobrazZpravu("Nelze.\r\nSoubor: a", mb::kOpakovatStorno | mb::kKriticka, ""),
            mb::kIdOpakovat);
  EXPECT_EQ(zaznam, "Dunmor Merko|Nelze.\nSoubor: a");
  stisknout("");
  EXPECT_EQ(ZobrazZpravu("Znovu?", mb::kOpakovatStorno, "T"), mb::kIdStorno);

  // The choice question goes through the dialog.
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(dialog->findChild<QWidget*>("cmdVolba01_2"), Qt::LeftButton);
  });
  EXPECT_EQ(ZobrazVolbu({"Nové vydání@Stáhnout?", "", "Ano;Ne", "", 0, "", false}, 1), 2);
}

}  // namespace
}  // namespace zevlon
