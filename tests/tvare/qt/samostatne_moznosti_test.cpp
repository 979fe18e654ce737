#include "tvare/qt/samostatne_moznosti.h"

#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QTimer>
#include <functional>

#include "tvare/moznosti_pripravka.h"
#include "tvare/qt/moznosti_okno.h"
#include "tvare/qt/qt_rozhrani.h"

namespace zevlon {
namespace {

class SamostatneMoznostiTest : public test::MoznostiPripravka {
 protected:
  void SetUp() override {
    MoznostiPripravka::SetUp();
    NastavitUi(&ui_);
  }
  void TearDown() override {
    NastavitUi(nullptr);
    MoznostiPripravka::TearDown();
  }
  // Opens the options on their own; `uzivatel` acts in the window once it is shown.
  int Otevrit(const std::function<void(QWidget*)>& uzivatel) {
    QTimer::singleShot(0, [&] {
      QWidget* okno = nullptr;
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "MoznostiAktualizace" && w->isVisible()) okno = w;
      ASSERT_NE(okno, nullptr);
      uzivatel(okno);
    });
    return OtevritMoznostiVOkne();
  }

  QtRozhrani ui_;
};

TEST_F(SamostatneMoznostiTest, WindowOnItsOwnSavesOnOkAndAnswersTwoForStorno) {
  s_.Zapsat("program/Zevlon.ini", "[Nastaveni]\r\nSlozkaDat=" + firmaB_ + "\r\n");
  EXPECT_EQ(Otevrit([](QWidget* okno) {
              QTest::mouseClick(okno->findChild<QWidget*>("cmdStorno"), Qt::LeftButton);
            }),
            2);
  EXPECT_EQ(Sekce("Nastaveni"), std::vector<std::string>{"SlozkaDat=" + firmaB_});

  EXPECT_EQ(
      Otevrit([&](QWidget* okno) {
        okno->findChild<QComboBox*>("comProfily")->setEditText(QString::fromStdString(firmaA_));
        QTest::mouseClick(okno->findChild<QWidget*>("cmdOK"), Qt::LeftButton);
      }),
      0);
  EXPECT_EQ(Sekce("Nastaveni"), std::vector<std::string>{"SlozkaDat=" + firmaA_});
}

}  // namespace
}  // namespace zevlon
