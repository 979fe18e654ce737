#include "ui/qt/okno_prubehu.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include "common/chyba.h"
#include "driver/prubeh.h"
#include "driver/stav.h"
#include "support/falesna_platforma.h"
#include "support/sandbox.h"
#include "ui/qt/moznosti_okno.h"
#include "ui/qt/qt_rozhrani.h"
#include "ui/volba.h"

namespace zevlon {
namespace {

// A platform that records the documents it was asked to open.
class PlatformaSOdkazy : public test::FalesnaPlatforma {
 public:
  bool OtevritDokument(const std::string& dokument) override {
    otevreno.push_back(dokument);
    return true;
  }
  std::vector<std::string> otevreno;
};

// A click that waits in the event queue, as a real one does until the run lets
// window events run.
void PoslatKlik(QWidget* w) {
  const QPointF stred = QRectF(w->rect()).center();
  const QPointF globalne = w->mapToGlobal(stred);
  QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonPress, stred, globalne,
                                                 Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
  QCoreApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonRelease, stred, globalne,
                                                 Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

class OknoPrubehuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EtapaPrubehu = {};
    RezimSystem = false;
    platforma_.program = s_.Zapsat("program/Zevlon", "#!program");
    platforma_.temp = s_.Vytvorit("temp");
    platforma_.registr = s_ / "registry.reg";
    NastavitUi(&ui_);
  }
  void TearDown() override {
    NastavitUi(nullptr);
    EtapaPrubehu = {};
  }

  template <typename T>
  T* Ovladac(const char* jmeno) {
    T* w = ui_.Okno().findChild<T*>(jmeno);
    EXPECT_NE(w, nullptr) << jmeno;
    return w;
  }
  int SirkaUkazatele() { return Ovladac<QWidget>("Ukazatel")->width(); }
  QString Text(const char* jmeno) { return Ovladac<QLabel>(jmeno)->text(); }

  test::Sandbox s_;
  PlatformaSOdkazy platforma_;
  QtRozhrani ui_;
};

TEST_F(OknoPrubehuTest, ControlsAndTheirTexts) {
  ZobrazPrubeh("Příprava aktualizace", "", 0, 1, 0, false, false);
  AktualizaceMerka& okno = ui_.Okno();
  EXPECT_TRUE(okno.isVisible());
  EXPECT_EQ(okno.windowTitle(), "Aktualizace Dunmor Merko");
  EXPECT_EQ(Text("labNadpis"), "Aktualizace Dunmor Merko");
  EXPECT_EQ(Text("labPodnadpis"), "Příprava aktualizace");
  EXPECT_EQ(Text("labInformaceOZmenach"), "Zobrazit informace o změnách v nainstalovaném vydání");
  EXPECT_EQ(Ovladac<QPushButton>("cmdStorno")->text(), "&Storno");
  EXPECT_EQ(Ovladac<QPushButton>("cmdZavrit")->text(), "&Zavřít");
  EXPECT_EQ(Ovladac<QPushButton>("cmdMoznosti")->text(), "&Možnosti");
  EXPECT_NE(Ovladac<QFrame>("Shape1"), nullptr);
  EXPECT_FALSE(Ovladac<QWidget>("cmdStorno")->isVisible());
  EXPECT_FALSE(Ovladac<QWidget>("cmdZavrit")->isVisible());

  // An empty heading leaves the subheading; the message is always replaced.
  ZobrazPrubeh("", "soubor.zip", 0, 1, -1, true, false);
  EXPECT_EQ(Text("labPodnadpis"), "Příprava aktualizace");
  EXPECT_EQ(Text("labZprava"), "soubor.zip");
  EXPECT_TRUE(Ovladac<QWidget>("cmdStorno")->isVisible());
  ZobrazPrubeh("Hotovo", "Chyba\r\nSoubor: a", -1, 0, 0, false, true);
  EXPECT_EQ(Text("labPodnadpis"), "Hotovo");
  EXPECT_EQ(Text("labZprava"), "Chyba\nSoubor: a");
  EXPECT_FALSE(Ovladac<QWidget>("cmdStorno")->isVisible());
  EXPECT_TRUE(Ovladac<QWidget>("cmdZavrit")->isVisible());
  ZobrazPrubeh("", "", -1, 0, -1, false, true);
  EXPECT_EQ(Text("labZprava"), "");
}

TEST_F(OknoPrubehuTest, TheMeterFollowsTheStagesAndALaterLowerStageChangesNothing) {
  // Frame 440 wide, fill inset by 3: the inner width is 434.
  ZobrazPrubeh("Stahování", "", 10, 10, 20, true, false);  // 200 of 1000
  EXPECT_EQ(SirkaUkazatele(), 86);
  EXPECT_TRUE(Ovladac<QWidget>("Metr")->isVisible());
  EXPECT_TRUE(Ovladac<QWidget>("Ukazatel")->isVisible());
  ZobrazPrubeh("", "", 6, 6, 50, true, false);  // 500
  EXPECT_EQ(SirkaUkazatele(), 217);
  ZobrazPrubeh("", "", 2, 2, 100, true, false);  // 1000
  EXPECT_EQ(SirkaUkazatele(), 434);
  ZobrazPrubeh("", "", 1, 2, 30, true, false);  // still the stage 50..100: 750
  EXPECT_EQ(SirkaUkazatele(), 325);
  // A value of -1 leaves the meter as it is.
  ZobrazPrubeh("", "", -1, 2, -1, true, false);
  EXPECT_EQ(SirkaUkazatele(), 325);
}

TEST_F(OknoPrubehuTest, TotalZeroHidesFrameAndFill) {
  ZobrazPrubeh("Stahování", "", 1, 4, 0, true, false);
  EXPECT_EQ(SirkaUkazatele(), 108);
  ZobrazPrubeh("", "", 0, 0, 0, false, true);
  EXPECT_EQ(SirkaUkazatele(), 0);
  EXPECT_FALSE(Ovladac<QWidget>("Metr")->isVisible());
  EXPECT_FALSE(Ovladac<QWidget>("Ukazatel")->isVisible());
  ZobrazPrubeh("", "", 1, 2, 0, false, true);
  EXPECT_TRUE(Ovladac<QWidget>("Metr")->isVisible());
  EXPECT_EQ(SirkaUkazatele(), 217);
}

TEST_F(OknoPrubehuTest, StornoBetweenTwoReportsRaisesTheCancelAtTheNextOne) {
  ZobrazPrubeh("Stahování", "a.zip", 1, 10, 0, true, false);
  PoslatKlik(Ovladac<QWidget>("cmdStorno"));
  // The click waits until the run lets window events run.
  EXPECT_FALSE(ui_.Zruseno());
  try {
    ZobrazPrubeh("", "b.zip", 2, 10, -1, true, false);
    FAIL() << "no cancel";
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Cislo(), kChybaZruseno);
    EXPECT_EQ(c.Popis(), "Aktualizace zrušena uživatelem");
  }
  EXPECT_EQ(Text("labZprava"), "b.zip");
  // Never reset.
  EXPECT_THROW(ZobrazPrubeh("", "c.zip", 3, 10, -1, false, true), Chyba);
}

TEST_F(OknoPrubehuTest, ClosingTheWindowWhileStornoIsShownCancels) {
  ZobrazPrubeh("Stahování", "", 1, 10, 0, true, false);
  AktualizaceMerka& okno = ui_.Okno();
  EXPECT_FALSE(okno.close());
  EXPECT_TRUE(okno.isVisible());  // the run ends it at its next report
  EXPECT_TRUE(ui_.Zruseno());
  EXPECT_THROW(ZobrazPrubeh("", "", 2, 10, -1, true, false), Chyba);
  ui_.Zavrit();
  EXPECT_EQ(ui_.NacteneOkno(), nullptr);
}

TEST_F(OknoPrubehuTest, ClosingWithoutStornoUnloadsWithoutCancel) {
  ZobrazPrubeh("Příprava aktualizace", "", 0, 1, 0, false, false);
  EXPECT_TRUE(ui_.Okno().close());
  EXPECT_EQ(ui_.NacteneOkno(), nullptr);
  EXPECT_FALSE(ui_.Zruseno());
  // A later report loads the window again.
  ZobrazPrubeh("Znovu", "", 0, 1, 0, false, false);
  ASSERT_NE(ui_.NacteneOkno(), nullptr);
  EXPECT_TRUE(ui_.NacteneOkno()->isVisible());
  EXPECT_EQ(Text("labPodnadpis"), "Znovu");
}

TEST_F(OknoPrubehuTest, ZavritUnloadsAndEndsTheWaitForTheUser) {
  ZobrazPrubeh("Hotovo", "", 0, 0, 0, false, true);
  QPushButton* zavrit = Ovladac<QPushButton>("cmdZavrit");
  bool pojistka = false;
  QTimer::singleShot(0, zavrit, [zavrit] { QTest::mouseClick(zavrit, Qt::LeftButton); });
  QTimer::singleShot(10'000, &ui_.Okno(), [&] {
    pojistka = true;
    ui_.Okno().Uvolnit();
  });
  ui_.CekatNaZavreni();
  EXPECT_FALSE(pojistka);
  EXPECT_EQ(ui_.NacteneOkno(), nullptr);
}

TEST_F(OknoPrubehuTest, MinimiseAndRestore) {
  ZobrazPrubeh("Stahování", "", 0, 1, 0, true, false);
  ui_.Minimalizovat();
  EXPECT_TRUE(ui_.Okno().isMinimized());
  ui_.Obnovit();
  EXPECT_FALSE(ui_.Okno().isMinimized());
  EXPECT_TRUE(ui_.Okno().isVisible());
}

TEST_F(OknoPrubehuTest, TheLinkOpensTheReleaseNotes) {
  ZobrazPrubeh("Stahování", "", 0, 1, 0, true, false);
  QTest::mouseClick(Ovladac<QWidget>("labInformaceOZmenach"), Qt::LeftButton);
  ASSERT_EQ(platforma_.otevreno.size(), 1u);
  EXPECT_EQ(platforma_.otevreno[0], kAdresaInformaciOZmenach);
  EXPECT_NE(platforma_.otevreno[0].find("?document=2&version=12"), std::string::npos);
  // A press without a release over the link opens nothing.
  QTest::mousePress(Ovladac<QWidget>("labInformaceOZmenach"), Qt::LeftButton);
  EXPECT_EQ(platforma_.otevreno.size(), 1u);
}

TEST_F(OknoPrubehuTest, MoznostiOpensTheOptionsWindowNotModal) {
  ZobrazPrubeh("Příprava aktualizace", "", 0, 1, 0, false, false);
  PoslatKlik(Ovladac<QWidget>("cmdMoznosti"));
  EXPECT_EQ(ui_.Okno().Moznosti(), nullptr);
  ui_.ZpracovatUdalosti();
  MoznostiAktualizace* moznosti = ui_.Okno().Moznosti();
  ASSERT_NE(moznosti, nullptr);
  EXPECT_TRUE(moznosti->isVisible());
  EXPECT_TRUE(moznosti->isWindow());
  EXPECT_EQ(moznosti->windowModality(), Qt::NonModal);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  // A second click brings the same window forward.
  QTest::mouseClick(Ovladac<QWidget>("cmdMoznosti"), Qt::LeftButton);
  EXPECT_EQ(ui_.Okno().Moznosti(), moznosti);
  // The run goes on while the options are open.
  ZobrazPrubeh("Dál", "", 0, 1, -1, false, false);
  EXPECT_EQ(Text("labPodnadpis"), "Dál");
}

TEST_F(OknoPrubehuTest, SkrytMoznostiHidesTheButtonAlsoForAReloadedWindow) {
  ZobrazPrubeh("Příprava aktualizace", "", 0, 1, 0, false, false);
  EXPECT_TRUE(Ovladac<QWidget>("cmdMoznosti")->isVisible());
  ui_.SkrytMoznosti();
  EXPECT_FALSE(Ovladac<QWidget>("cmdMoznosti")->isVisible());
  ui_.Zavrit();
  ZobrazPrubeh("Znovu", "", 0, 1, 0, false, false);
  EXPECT_FALSE(Ovladac<QWidget>("cmdMoznosti")->isVisible());
}

// What a message box showed, and the button the test pressed in it.
struct ZobrazenaZprava {
  QString titulek, text;
  QMessageBox::Icon ikona = QMessageBox::NoIcon;
  QStringList tlacitka;
  Qt::WindowModality modalita = Qt::NonModal;
};

TEST_F(OknoPrubehuTest, MessageBoxesHaveTheButtonsAndIconOfTheirStyle) {
  ZobrazPrubeh("Stahování", "", 0, 1, 0, true, false);
  auto zaznam = std::make_shared<ZobrazenaZprava>();
  auto stisknout = [&](const QString& tlacitko) {
    QTimer::singleShot(0, [zaznam, tlacitko] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      *zaznam = {box->windowTitle(), box->text(), box->icon(), {}, box->windowModality()};
      QAbstractButton* b = nullptr;
      for (QAbstractButton* t : box->buttons()) {
        zaznam->tlacitka << t->text();
        if (t->text() == tlacitko) b = t;
      }
      if (b)
        QTest::mouseClick(b, Qt::LeftButton);
      else
        QTest::keyClick(box, Qt::Key_Escape);
    });
  };

  stisknout("&Opakovat");
  EXPECT_EQ(ZobrazZpravu("Nelze smazat.\r\nSoubor: a", mb::kOpakovatStorno | mb::kKriticka,
                         "Dunmor Merko - aktualizace"),
            mb::kIdOpakovat);
  EXPECT_EQ(zaznam->titulek, "Dunmor Merko - aktualizace");
  EXPECT_EQ(zaznam->text, "Nelze smazat.\nSoubor: a");
  EXPECT_EQ(zaznam->ikona, QMessageBox::Critical);
  EXPECT_EQ(zaznam->modalita, Qt::ApplicationModal);
  EXPECT_EQ(zaznam->tlacitka.size(), 2);
  EXPECT_TRUE(zaznam->tlacitka.contains("Storno"));

  stisknout("");  // Escape
  EXPECT_EQ(ZobrazZpravu("Znovu?", mb::kOpakovatStorno, ""), mb::kIdStorno);
  EXPECT_EQ(zaznam->titulek, "Dunmor Merko");
  EXPECT_EQ(zaznam->ikona, QMessageBox::NoIcon);

  stisknout("&Ne");
  EXPECT_EQ(ZobrazZpravu("Pokračovat?", mb::kAnoNe | mb::kVykricnik, "T"), mb::kIdNe);
  EXPECT_EQ(zaznam->ikona, QMessageBox::Warning);
  stisknout("&Ano");
  EXPECT_EQ(ZobrazZpravu("Pokračovat?", mb::kAnoNe | mb::kOtaznik, "T"), mb::kIdAno);
  EXPECT_EQ(zaznam->ikona, QMessageBox::Question);
  stisknout("OK");
  EXPECT_EQ(ZobrazZpravu("Hotovo.", mb::kOk | mb::kInformace, "T"), mb::kIdOk);
  EXPECT_EQ(zaznam->ikona, QMessageBox::Information);
  EXPECT_EQ(zaznam->tlacitka, QStringList{"OK"});
}

TEST_F(OknoPrubehuTest, TheChoiceQuestionGoesThroughTheDialog) {
  ParametryVolby p;
  p.zprava = "Nové vydání@Stáhnout?";
  p.volby = "Ano - stáhnout aktualizaci;Ne - nyní nestahovat";
  QString titulek;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    titulek = dialog->windowTitle();
    QTest::mouseClick(dialog->findChild<QWidget*>("cmdVolba01_2"), Qt::LeftButton);
  });
  EXPECT_EQ(ZobrazVolbu(p, 1), 2);
  EXPECT_EQ(titulek, "Dunmor Merko");
}

}  // namespace
}  // namespace zevlon
