#include "tvare/qt/pole_cesty.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace zevlon {

namespace {

// The blank that QLineEdit leaves on either side of its text.
constexpr int kOkrajTextu = 2;

}  // namespace

QRect PoleCesty::MistoTextu() const {
  QStyleOptionFrame volby;
  initStyleOption(&volby);
  return style()
      ->subElementRect(QStyle::SE_LineEditContents, &volby, this)
      .marginsRemoved(textMargins())
      .adjusted(kOkrajTextu, 0, -kOkrajTextu, 0);
}

QString PoleCesty::ZobrazenyText() const {
  if (hasFocus()) return text();
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, MistoTextu().width());
}

void PoleCesty::paintEvent(QPaintEvent* udalost) {
  const QString zobrazeny = ZobrazenyText();
  if (zobrazeny == text()) {
    QLineEdit::paintEvent(udalost);
    return;
  }
  QPainter p(this);
  QStyleOptionFrame volby;
  initStyleOption(&volby);
  style()->drawPrimitive(QStyle::PE_PanelLineEdit, &volby, &p, this);
  p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
  p.drawText(
      MistoTextu(),
      static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment())) | Qt::AlignVCenter,
      zobrazeny);
}

}  // namespace zevlon
