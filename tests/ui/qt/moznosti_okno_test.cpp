#include "ui/qt/moznosti_okno.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "common/text.h"
#include "driver/stav.h"
#include "platform/ini.h"
#include "support/falesna_platforma.h"
#include "support/sandbox.h"
#include "ui/qt/qt_rozhrani.h"

namespace zevlon {
namespace {

class MoznostiOknoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RezimSystem = false;
    platforma_.program = s_.Zapsat("program/Zevlon", "#!program");
    platforma_.temp = s_.Vytvorit("temp");
    platforma_.registr = s_.Zapsat(
        "registry.reg",
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\12.0\\Aplikace]\r\n"
        "\"Slozka_Merka\"=\"" +
            s_ / "m12" + "\"\r\n");
    firma_ = s_.Vytvorit("data/Firma") + "/";
    s_.Zapsat("m12/Merko.ini", "[Profily]\r\nFirma=" + firma_ + "\r\n");
    NastavitPlanovac(&planovac_);
    NastavitUi(&ui_);
  }
  void TearDown() override {
    NastavitUi(nullptr);
    NastavitPlanovac(nullptr);
  }

  template <typename T>
  T* Ovladac(QWidget& okno, const char* jmeno) {
    T* w = okno.findChild<T*>(jmeno);
    EXPECT_NE(w, nullptr) << jmeno;
    return w;
  }
  QComboBox* Seznam(QWidget& okno, const char* jmeno) { return Ovladac<QComboBox>(okno, jmeno); }
  static QStringList Polozky(QComboBox* c) {
    QStringList l;
    for (int i = 0; i < c->count(); ++i)
      l << c->itemText(i);
    return l;
  }

  test::Sandbox s_;
  test::FalesnaPlatforma platforma_;
  Planovac planovac_{s_.Vytvorit("cron")};
  QtRozhrani ui_;
  std::string firma_;
};

TEST_F(MoznostiOknoTest, AWeeklyScheduleChosenWithMouseAndKeyboardIsSavedAndRegistered) {
  MoznostiAktualizace okno;
  okno.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&okno));
  EXPECT_EQ(okno.windowTitle(), "Možnosti aktualizací");
  EXPECT_EQ(Ovladac<QLabel>(okno, "Label2")->text(), "Možnosti aktualizací");
  EXPECT_EQ(Ovladac<QLabel>(okno, "Label5")->text(), "den");
  // No options file yet: manual mode, the schedule boxes dead.
  EXPECT_TRUE(Ovladac<QRadioButton>(okno, "OptNeaktualizovat")->isChecked());
  EXPECT_FALSE(Seznam(okno, "comHodiny")->isEnabled());
  EXPECT_FALSE(Seznam(okno, "comMoznosti")->isEnabled());
  EXPECT_FALSE(Seznam(okno, "comDen")->isEnabled());
  EXPECT_EQ(Polozky(Seznam(okno, "comProfily")), QStringList{QString::fromStdString(firma_)});
  EXPECT_EQ(Seznam(okno, "comHodiny")->count(), 25);
  EXPECT_EQ(Seznam(okno, "comMoznosti")->currentText(), "Měsíčně");

  QTest::mouseClick(Ovladac<QWidget>(okno, "OptAktualizovat"), Qt::LeftButton);
  EXPECT_TRUE(Seznam(okno, "comHodiny")->isEnabled());
  EXPECT_TRUE(Seznam(okno, "comMoznosti")->isEnabled());
  EXPECT_TRUE(Seznam(okno, "comDen")->isEnabled());
  EXPECT_EQ(Seznam(okno, "comDen")->count(), 28);

  // One step up the frequency list is "Týdně": the day list becomes the weekdays.
  Seznam(okno, "comMoznosti")->setFocus();
  QTest::keyClick(Seznam(okno, "comMoznosti"), Qt::Key_Up);
  EXPECT_EQ(Seznam(okno, "comMoznosti")->currentText(), "Týdně");
  EXPECT_EQ(Polozky(Seznam(okno, "comDen")).at(2), "Středa");

  Seznam(okno, "comProfily")->setCurrentIndex(0);
  Seznam(okno, "comHodiny")->setCurrentIndex(6);
  Seznam(okno, "comDen")->setCurrentIndex(2);
  QTest::mouseClick(Ovladac<QWidget>(okno, "cmdOK"), Qt::LeftButton);
  EXPECT_FALSE(okno.isVisible());
  const std::string ini = s_ / "program/Zevlon.ini";
  EXPECT_EQ(ini::CistSekci(ini, "Nastaveni"),
            (std::vector<std::string>{"SlozkaDat=" + firma_, "Cas=06:00", "Cetnost=Týdně",
                                      "Den=Středa"}));
  EXPECT_EQ(ini::CistKlic(ini, "Uloha", "ID"), "1");
  EXPECT_EQ(Rozdelit(s_.Cist("cron/zevlon-1"), '\n').at(1),
            "0 6 * * 3 root '" + s_ / "program/Zevlon" + "'");
}

TEST_F(MoznostiOknoTest, MissingInputIsRefusedInAMessageAndTheWindowStaysOpen) {
  s_.Zapsat("program/Zevlon.ini", "[Nastaveni]\r\nSlozkaDat=\r\nCas=24:00\r\nCetnost=Denně\r\n");
  MoznostiAktualizace okno;
  okno.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&okno));
  EXPECT_TRUE(Ovladac<QRadioButton>(okno, "OptAktualizovat")->isChecked());
  EXPECT_EQ(Seznam(okno, "comHodiny")->currentText(), "24:00");
  EXPECT_FALSE(Seznam(okno, "comDen")->isEnabled());

  QStringList zpravy;
  auto odpovedet = [&] {
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      zpravy << box->windowTitle() + "|" + box->text();
      QTest::keyClick(box, Qt::Key_Return);
    });
  };
  odpovedet();
  QTest::mouseClick(Ovladac<QWidget>(okno, "cmdOK"), Qt::LeftButton);
  EXPECT_TRUE(okno.isVisible());

  // A folder typed in, but 24:00 is no time of day.
  Seznam(okno, "comProfily")->setEditText(QString::fromStdString(firma_));
  odpovedet();
  QTest::mouseClick(Ovladac<QWidget>(okno, "cmdOK"), Qt::LeftButton);
  EXPECT_TRUE(okno.isVisible());
  EXPECT_EQ(zpravy, (QStringList{"Možnosti aktualizací|Chyba. Vyplňte možnosti.",
                                 "Možnosti aktualizací|Chyba. Vyplňte možnosti."}));
  EXPECT_EQ(ini::CistKlic(s_ / "program/Zevlon.ini", "Nastaveni", "Cas"), "24:00");

  // Storno closes without saving.
  Seznam(okno, "comHodiny")->setCurrentIndex(1);
  QTest::mouseClick(Ovladac<QWidget>(okno, "cmdStorno"), Qt::LeftButton);
  EXPECT_FALSE(okno.isVisible());
  EXPECT_EQ(ini::CistKlic(s_ / "program/Zevlon.ini", "Nastaveni", "Cas"), "24:00");
  EXPECT_FALSE(test::Existuje(s_ / "cron/zevlon-1"));
}

TEST_F(MoznostiOknoTest, ManualUpdatingChosenByMouseDisablesTheSchedule) {
  s_.Zapsat("program/Zevlon.ini", "[Nastaveni]\r\nSlozkaDat=" + firma_ +
                                      "\r\nCas=03:00\r\nCetnost=Měsíčně\r\nDen=2.\r\n");
  MoznostiAktualizace okno;
  okno.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&okno));
  EXPECT_EQ(Seznam(okno, "comDen")->currentText(), "2.");
  EXPECT_TRUE(Seznam(okno, "comDen")->isEnabled());
  QTest::mouseClick(Ovladac<QWidget>(okno, "OptNeaktualizovat"), Qt::LeftButton);
  EXPECT_FALSE(Seznam(okno, "comHodiny")->isEnabled());
  EXPECT_FALSE(Seznam(okno, "comMoznosti")->isEnabled());
  EXPECT_FALSE(Seznam(okno, "comDen")->isEnabled());
  // The texts are kept while the boxes are dead.
  EXPECT_EQ(Seznam(okno, "comHodiny")->currentText(), "03:00");
  QTest::mouseClick(Ovladac<QWidget>(okno, "cmdOK"), Qt::LeftButton);
  EXPECT_FALSE(okno.isVisible());
  EXPECT_EQ(ini::CistSekci(s_ / "program/Zevlon.ini", "Nastaveni"),
            (std::vector<std::string>{"SlozkaDat=" + firma_}));
}

}  // namespace
}  // namespace zevlon
