#include "tvare/qt/pomucky_qt.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "platform/procesy/ukonceni.h"

namespace zevlon {

namespace {

// Turns a press and release of the left button inside the watched widget into one
// click.
class Klikani : public QObject {
 public:
  Klikani(QWidget* w, std::function<void()> akce) : QObject(w), w_(w), akce_(std::move(akce)) {
    w->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (o != w_) return false;
    if (e->type() == QEvent::MouseButtonPress) {
      stisknuto_ = static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton;
    } else if (e->type() == QEvent::MouseButtonRelease) {
      auto* m = static_cast<QMouseEvent*>(e);
      bool klik = stisknuto_ && m->button() == Qt::LeftButton &&
                  w_->rect().contains(m->position().toPoint());
      stisknuto_ = false;
      if (klik) akce_();
    }
    return false;
  }

 private:
  QWidget* w_;
  std::function<void()> akce_;
  bool stisknuto_ = false;
};

}  // namespace

QString QtText(std::string_view text) {
  QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

std::string StdText(const QString& text) {
  return text.toStdString();
}

QFont PismoOken(QFont zaklad) {
  zaklad.setFamilies(
      {QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
  zaklad.setPointSize(9);
  return zaklad;
}

QFont Zvetsene(QFont pismo, int body, bool tucne) {
  if (body > 0) pismo.setPointSize(body);
  pismo.setBold(tucne);
  return pismo;
}

void NastavitBarvu(QWidget* w, QPalette::ColorRole role, const QColor& barva) {
  QPalette p = w->palette();
  p.setColor(role, barva);
  w->setPalette(p);
}

QLabel* Popisek(QWidget* rodic, const char* jmeno, const char* text, const QRect& kde) {
  auto* l = new QLabel(QString::fromUtf8(text), rodic);
  l->setObjectName(QString::fromUtf8(jmeno));
  l->setGeometry(kde);
  return l;
}

QPushButton* Tlacitko(QWidget* rodic, const char* jmeno, const char* text, const QRect& kde) {
  auto* t = new QPushButton(QString::fromUtf8(text), rodic);
  t->setObjectName(QString::fromUtf8(jmeno));
  t->setGeometry(kde);
  return t;
}

void NaKliknuti(QWidget* w, std::function<void()> akce) {
  new Klikani(w, std::move(akce));
}

void UkoncitPriZastaveni(QObject* rodic, std::function<void()> konec) {
  auto* hlidka = new QTimer(rodic);
  hlidka->setInterval(100);
  QObject::connect(hlidka, &QTimer::timeout, rodic, [hlidka, konec = std::move(konec)] {
    if (!UkonceniVyzadano()) return;
    hlidka->stop();
    konec();
  });
  hlidka->start();
}

}  // namespace zevlon
