#include "tvare/qt/samostatne_moznosti.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPushButton>

#include "tvare/qt/moznosti_okno.h"

namespace zevlon {

int OtevritMoznostiVOkne() {
  MoznostiAktualizace okno;
  bool ulozeno = false;
  // The window's own OK runs first and closes it only after a successful save.
  QObject::connect(okno.findChild<QPushButton*>("cmdOK"), &QPushButton::clicked, &okno,
                   [&] { ulozeno = !okno.isVisible(); });
  okno.show();
  while (okno.isVisible())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return ulozeno ? 0 : 2;
}

}  // namespace zevlon
