// The Qt backend: the progress window, message boxes, and when it is chosen.
#include "ui/qt/qt_rozhrani.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include "common/chyba.h"
#include "driver/prubeh.h"
#include "driver/stav.h"
#include "support/falesna_platforma.h"
#include "ui/qt/moznosti_okno.h"
#include "ui/qt/vyber_rozhrani.h"
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

  template <typename T = QWidget>
  T* Ovladac(const char* jmeno) {
    T* w = ui_.Okno().findChild<T*>(jmeno);
    EXPECT_NE(w, nullptr) << jmeno;
    return w;
  }
  QString Text(const char* jmeno) { return Ovladac<QLabel>(jmeno)->text(); }
  // The window as the user sees it: subheading|message|which of Storno, Zavřít,
  // Možnosti, the meter's frame and its fill are shown|the fill's width.
  QString Stav() {
    QString s = Text("labPodnadpis") + "|" + Text("labZprava") + "|";
    for (const char* jmeno : {"cmdStorno", "cmdZavrit", "cmdMoznosti", "Metr", "Ukazatel"})
      s += Ovladac(jmeno)->isVisible() ? '1' : '0';
    return s + "|" + QString::number(Ovladac("Ukazatel")->width());
  }

  PlatformaSOdkazy platforma_;
  QtRozhrani ui_;
};

TEST_F(QtRozhraniTest, ReportsShowTextsButtonsAndTheMeter) {
  // Each row: a report, and the window after it. An empty heading leaves the
  // subheading; the message is always replaced. The meter's frame is 440 wide and
  // its fill inset by 3: the inner width is 434. A later lower stage changes
  // nothing, -1 leaves the meter, a total of 0 hides it.
  const std::tuple<const char*, const char*, int, int, int, bool, bool, const char*> kroky[] = {
      {"Příprava aktualizace", "", 0, 1, 0, false, false, "Příprava aktualizace||00111|0"},
      {"", "soubor.zip", 10, 10, 20, true, false, "Příprava aktualizace|soubor.zip|10111|86"},
      {"", "", 6, 6, 50, true, false, "Příprava aktualizace||10111|217"},
      {"", "", 2, 2, 100, true, false, "Příprava aktualizace||10111|434"},
      {"", "", 1, 2, 30, true, false, "Příprava aktualizace||10111|325"},
      {"", "", -1, 2, -1, true, false, "Příprava aktualizace||10111|325"},
      {"Hotovo", "Chyba\r\nSoubor: a", 0, 0, 0, false, true, "Hotovo|Chyba\nSoubor: a|01100|0"},
      {"", "", 1, 2, 0, false, true, "Hotovo||01111|217"},
  };
  for (const auto& [nadpis, zprava, hodnota, celkem, etapa, storno, zavrit, stav] : kroky) {
    ZobrazPrubeh(nadpis, zprava, hodnota, celkem, etapa, storno, zavrit);
    EXPECT_EQ(Stav(), stav);
  }
  EXPECT_EQ(ui_.Okno().windowTitle(), "Aktualizace Dunmor Merko");
  EXPECT_EQ(Text("labNadpis"), "Aktualizace Dunmor Merko");
  EXPECT_TRUE(Ovladac("Shape1")->isVisible());  // the line under the heading
  EXPECT_EQ(Text("labInformaceOZmenach"), "Zobrazit informace o změnách v nainstalovaném vydání");
  EXPECT_EQ(Ovladac<QPushButton>("cmdStorno")->text() + Ovladac<QPushButton>("cmdZavrit")->text() +
                Ovladac<QPushButton>("cmdMoznosti")->text(),
            "&Storno&Zavřít&Možnosti");

  ui_.Minimalizovat();
  EXPECT_TRUE(ui_.Okno().isMinimized());
  ui_.Obnovit();
  EXPECT_FALSE(ui_.Okno().isMinimized());
  // Možnosti hidden stays hidden in a window loaded again.
  ui_.SkrytMoznosti();
  EXPECT_EQ(Stav(), "Hotovo||01011|217");
  ui_.Zavrit();
  ZobrazPrubeh("Znovu", "", 0, 1, 0, false, false);
  EXPECT_EQ(Stav(), "Znovu||00011|0");
}

TEST_F(QtRozhraniTest, StornoOrClosingTheWindowCancelsAndZavritUnloads) {
  ZobrazPrubeh("Stahování", "a.zip", 1, 10, 0, true, false);
  PoslatKlik(Ovladac("cmdStorno"));
  EXPECT_FALSE(ui_.Zruseno());  // the click waits until the run lets window events run
  try {
    ZobrazPrubeh("", "b.zip", 2, 10, -1, true, false);
    ADD_FAILURE() << "no cancel";
  } catch (const Chyba& c) {
    EXPECT_EQ(c.Cislo(), kChybaZruseno);
    EXPECT_EQ(c.Popis(), "Aktualizace zrušena uživatelem");
  }
  EXPECT_EQ(Text("labZprava"), "b.zip");
  EXPECT_THROW(ZobrazPrubeh("", "c.zip", 3, 10, -1, false, true), Chyba);  // never reset
  ui_.Zavrit();
  EXPECT_EQ(ui_.NacteneOkno(), nullptr);

  // Closed while Storno is shown: the window stays for the run to end it.
  ZobrazPrubeh("Stahování", "", 1, 10, 0, true, false);
  EXPECT_FALSE(ui_.Okno().close());
  EXPECT_TRUE(ui_.Okno().isVisible());
  EXPECT_THROW(ZobrazPrubeh("", "", 2, 10, -1, true, false), Chyba);
  ui_.Zavrit();

  // Closed without Storno: unloaded without a cancel; a later report loads it again.
  ZobrazPrubeh("Příprava aktualizace", "", 0, 1, 0, false, false);
  EXPECT_TRUE(ui_.Okno().close());
  EXPECT_EQ(ui_.NacteneOkno(), nullptr);
  EXPECT_FALSE(ui_.Zruseno());

  // Zavřít unloads it and ends the wait for the user.
  ZobrazPrubeh("Hotovo", "", 0, 0, 0, false, true);
  ASSERT_TRUE(ui_.NacteneOkno() && ui_.NacteneOkno()->isVisible());
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

TEST_F(QtRozhraniTest, TheLinkOpensTheReleaseNotesAndMoznostiTheOptionsNotModal) {
  ZobrazPrubeh("Příprava aktualizace", "", 0, 1, 0, false, false);
  QTest::mouseClick(Ovladac("labInformaceOZmenach"), Qt::LeftButton);
  // A press without a release over the link opens nothing.
  QTest::mousePress(Ovladac("labInformaceOZmenach"), Qt::LeftButton);
  ASSERT_EQ(platforma_.otevreno, std::vector<std::string>{kAdresaInformaciOZmenach});
  EXPECT_NE(platforma_.otevreno[0].find("?document=2&version=12"), std::string::npos);

  PoslatKlik(Ovladac("cmdMoznosti"));
  EXPECT_EQ(ui_.Okno().Moznosti(), nullptr);
  ui_.ZpracovatUdalosti();
  MoznostiAktualizace* moznosti = ui_.Okno().Moznosti();
  ASSERT_NE(moznosti, nullptr);
  EXPECT_TRUE(moznosti->isVisible() && moznosti->isWindow());
  EXPECT_EQ(moznosti->windowModality(), Qt::NonModal);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  // A second click brings the same window forward; the run goes on meanwhile.
  QTest::mouseClick(Ovladac("cmdMoznosti"), Qt::LeftButton);
  EXPECT_EQ(ui_.Okno().Moznosti(), moznosti);
  ZobrazPrubeh("Dál", "", 0, 1, -1, false, false);
  EXPECT_EQ(Text("labPodnadpis"), "Dál");
}

TEST_F(QtRozhraniTest, MessageBoxesAndTheChoiceDialog) {
  ZobrazPrubeh("Stahování", "", 0, 1, 0, true, false);
  // Presses the button of the given text in the box that comes up (Escape for
  // none) and notes what it showed: title|text|icon|buttons.
  QString zaznam;
  auto stisknout = [&zaznam](const QString& tlacitko) {
    QTimer::singleShot(0, [&zaznam, tlacitko] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
      QStringList texty;
      QAbstractButton* b = nullptr;
      for (QAbstractButton* t : box->buttons()) {
        texty << t->text();
        if (t->text() == tlacitko) b = t;
      }
      texty.sort();
      zaznam = box->windowTitle() + "|" + box->text() + "|" + QString::number(box->icon()) + "|" +
               texty.join(",");
      if (b)
        QTest::mouseClick(b, Qt::LeftButton);
      else
        QTest::keyClick(box, Qt::Key_Escape);
    });
  };
  const std::tuple<const char*, int, const char*, const char*, int, const char*> pripady[] = {
      {"Nelze smazat.\r\nSoubor: a", mb::kOpakovatStorno | mb::kKriticka,
       "Dunmor Merko - aktualizace", "&Opakovat", mb::kIdOpakovat,
       "Dunmor Merko - aktualizace|Nelze smazat.\nSoubor: a|3|&Opakovat,Storno"},
      {"Znovu?", mb::kOpakovatStorno, "", "", mb::kIdStorno,
       "Dunmor Merko|Znovu?|0|&Opakovat,Storno"},
      {"?", mb::kAnoNe | mb::kVykricnik, "T", "&Ne", mb::kIdNe, "T|?|2|&Ano,&Ne"},
      {"?", mb::kAnoNe | mb::kOtaznik, "T", "&Ano", mb::kIdAno, "T|?|4|&Ano,&Ne"},
      {"Hotovo.", mb::kOk | mb::kInformace, "T", "OK", mb::kIdOk, "T|Hotovo.|1|OK"},
  };
  for (const auto& [text, styl, titulek, tlacitko, odpoved, zobrazeno] : pripady) {
    stisknout(tlacitko);
    EXPECT_EQ(ZobrazZpravu(text, styl, titulek), odpoved) << text;
    EXPECT_EQ(zaznam, zobrazeno);
  }

  // The choice question goes through the dialog.
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    zaznam = dialog->windowTitle();
    QTest::mouseClick(dialog->findChild<QWidget*>("cmdVolba01_2"), Qt::LeftButton);
  });
  EXPECT_EQ(ZobrazVolbu({"Nové vydání@Stáhnout?", "", "Ano;Ne", "", 0, "", false}, 1), 2);
  EXPECT_EQ(zaznam, "Dunmor Merko");
}

TEST(VyberRozhraniQtTest, PlatformsToTryAndNoWindowsForAnUnattendedRun) {
  EXPECT_EQ(PlatformyQt("", false), "xcb;offscreen");
  EXPECT_EQ(PlatformyQt("", true), "wayland;xcb;offscreen");
  EXPECT_EQ(PlatformyQt("xcb", true), "xcb;offscreen");
  EXPECT_EQ(PlatformyQt("offscreen", false), "offscreen");
  EXPECT_EQ(PlatformyQt("eglfs;offscreen", false), "eglfs;offscreen");
  // The system account gets no windows even with a display: Qt is not even tried.
  test::FalesnaPlatforma platforma;
  platforma.uzivatel = "SYSTEM";
  ZvoleneRozhrani rozhrani;
  EXPECT_EQ(rozhrani.Druh(), DruhRozhrani::kTiche);
  EXPECT_EQ(rozhrani.Aktivni().Zprava("?", 4, ""), 1);
  EXPECT_EQ(rozhrani.Aktivni().Volba({}), 0);
}

}  // namespace
}  // namespace zevlon
