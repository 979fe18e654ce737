#include "ui/qt/moznosti_okno.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <memory>

#include "ui/moznosti_pripravka.h"
#include "ui/qt/qt_rozhrani.h"

namespace zevlon {
namespace {

class MoznostiOknoTest : public test::MoznostiPripravka {
 protected:
  void SetUp() override {
    MoznostiPripravka::SetUp();
    NastavitUi(&ui_);
  }
  void TearDown() override {
    okno_.reset();
    NastavitUi(nullptr);
    MoznostiPripravka::TearDown();
  }

  // Opens a new window, which reads the saved settings.
  void Otevrit() {
    okno_ = std::make_unique<MoznostiAktualizace>();
    okno_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(okno_.get()));
  }
  QComboBox* Seznam(const char* jmeno) { return okno_->findChild<QComboBox*>(jmeno); }
  void Klik(const char* jmeno) {
    QTest::mouseClick(okno_->findChild<QWidget*>(jmeno), Qt::LeftButton);
  }
  // The option chosen ("?" when both or neither are), then the texts of the folder,
  // hour, frequency and day boxes, a dead box marked with "-".
  std::string Okno() {
    const bool a = okno_->findChild<QRadioButton*>("OptAktualizovat")->isChecked();
    const bool n = okno_->findChild<QRadioButton*>("OptNeaktualizovat")->isChecked();
    std::string s = a == n ? "?" : a ? "auto" : "ručně";
    for (const char* jmeno : {"comProfily", "comHodiny", "comMoznosti", "comDen"})
      s += (Seznam(jmeno)->isEnabled() ? "|" : "|-") +
           Slozka(Seznam(jmeno)->currentText().toStdString());
    return s;
  }

  QtRozhrani ui_;
  std::unique_ptr<MoznostiAktualizace> okno_;
};

TEST_F(MoznostiOknoTest, AWeeklyScheduleChosenWithMouseAndKeyboardIsSavedAndRegistered) {
  Otevrit();
  EXPECT_EQ(okno_->windowTitle(), "Možnosti aktualizací");
  EXPECT_EQ(okno_->findChild<QLabel*>("Label2")->text(), "Možnosti aktualizací");
  EXPECT_EQ(okno_->findChild<QLabel*>("Label5")->text(), "den");
  EXPECT_EQ(Okno(), "ručně||-|-Měsíčně|-");  // no options file yet
  Klik("OptAktualizovat");
  EXPECT_EQ(Okno(), "auto|||Měsíčně|");
  EXPECT_EQ(Seznam("comDen")->count(), 28);
  // One step up the frequency list is "Týdně": the day list becomes the weekdays.
  Seznam("comMoznosti")->setFocus();
  QTest::keyClick(Seznam("comMoznosti"), Qt::Key_Up);
  Seznam("comProfily")->setCurrentIndex(1);
  Seznam("comHodiny")->setCurrentIndex(6);
  Seznam("comDen")->setCurrentIndex(2);
  ASSERT_EQ(Okno(), "auto|B|06:00|Týdně|Středa");
  Klik("cmdOK");
  EXPECT_FALSE(okno_->isVisible());
  EXPECT_EQ(Sekce("Nastaveni"), (std::vector<std::string>{"SlozkaDat=" + firmaB_, "Cas=06:00",
                                                          "Cetnost=Týdně", "Den=Středa"}));
  EXPECT_EQ(Cron(1), "0 6 * * 3 " + spusteni_);
}

TEST_F(MoznostiOknoTest, ARefusalKeepsTheWindowOpenStornoSavesNothingManualModeByMouse) {
  s_.Zapsat("program/Zevlon.ini", "[Nastaveni]\r\nSlozkaDat=\r\nCas=24:00\r\nCetnost=Denně\r\n");
  Otevrit();
  EXPECT_EQ(Okno(), "auto||24:00|Denně|-");
  QString zprava;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    zprava = box->windowTitle() + "|" + box->text();
    QTest::keyClick(box, Qt::Key_Return);
  });
  Klik("cmdOK");
  EXPECT_TRUE(okno_->isVisible());
  EXPECT_EQ(zprava, "Možnosti aktualizací|Chyba. Vyplňte možnosti.");

  // Storno closes without saving what would now be accepted.
  Seznam("comProfily")->setEditText(QString::fromStdString(firmaA_));
  Seznam("comHodiny")->setCurrentIndex(1);
  Klik("cmdStorno");
  EXPECT_FALSE(okno_->isVisible());
  EXPECT_EQ(ini::CistKlic(Ini(), "Nastaveni", "Cas"), "24:00");
  EXPECT_TRUE(Ulohy().empty());

  // Manual updating: the schedule goes dead with its texts kept; only the folder
  // typed in is saved.
  Otevrit();
  Klik("OptNeaktualizovat");
  Seznam("comProfily")->setEditText(QString::fromStdString(firmaB_));
  ASSERT_EQ(Okno(), "ručně|B|-24:00|-Denně|-");  // an OK refused now would wait for the user
  Klik("cmdOK");
  EXPECT_FALSE(okno_->isVisible());
  EXPECT_EQ(Sekce("Nastaveni"), std::vector<std::string>{"SlozkaDat=" + firmaB_});
}

}  // namespace
}  // namespace zevlon
