#include "tvare/qt/volba_dialog.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <functional>

#include "common/text.h"
#include "tvare/qt/pomucky_qt.h"
#include "tvare/qt/popisky_qt.h"

namespace zevlon {

namespace {

// Design-time layout in twips. Heights of the window are outer heights (as the
// window's own Height gives them): the client area is kNeklientskaVyska less.
constexpr int kSirkaOkna = 7500;
constexpr int kNeklientskaVyska = 450;
constexpr QRect kHlavniInstrukce{300, 225, 6900, 420};
constexpr QRect kSekundarniInstrukce{300, 690, 6900, 435};
constexpr QRect kPozadi{225, 1200, 7050, 780};
constexpr QRect kSipka{330, 1245, 240, 240};
constexpr QRect kPrvniRadek{660, 1200, 6450, 330};
constexpr QRect kDruhyRadek{660, 1530, 6450, 195};
constexpr QRect kTretiRadek{660, 1725, 6450, 195};
constexpr QRect kButtonFocus{-1500, 1200, 300, 300};
constexpr QRect kZaskrtavatko{300, 0, 6900, 330};
constexpr QRect kPata{0, 0, kSirkaOkna, 2000};
constexpr QRect kPoznamka{660, 0, 5100, 540};
constexpr QRect kIkona{300, 0, 240, 240};
constexpr QRect kStorno{kSirkaOkna - 240 - 1275, 0, 1275, 345};

// Row pitch, and the pitch of the focus buttons.
constexpr int kRozteRadku = 800;
constexpr int kRozteFokusu = 50;

int Twipy(int pixely) {
  return pixely * kTwipuNaPixel;
}

QRect VPixelech(const QRect& t) {
  return QRect(Pixely(t.x()), Pixely(t.y()), Pixely(t.width()), Pixely(t.height()));
}

void Umistit(QWidget* w, const QRect& twipy) {
  w->setGeometry(VPixelech(twipy));
}

QRect Posunuty(QRect r, int dolu) {
  r.translate(0, dolu);
  return r;
}

QRect SVyskou(QRect r, int vyska) {
  r.setHeight(vyska);
  return r;
}

QRect SHorniHranou(QRect r, int horni) {
  r.moveTop(horni);
  return r;
}

// The green arrow of a row.
QPixmap Sipka() {
  QPixmap p(16, 16);
  p.fill(Qt::transparent);
  QPainter m(&p);
  m.setRenderHint(QPainter::Antialiasing);
  QPainterPath cesta;
  cesta.moveTo(1, 6);
  cesta.lineTo(8, 6);
  cesta.lineTo(8, 2);
  cesta.lineTo(15, 8);
  cesta.lineTo(8, 14);
  cesta.lineTo(8, 10);
  cesta.lineTo(1, 10);
  cesta.closeSubpath();
  m.fillPath(cesta, QColor(0x2E9E3E));
  return p;
}

}  // namespace

// The clickable area of a row: the mouse over it highlights the row, a click
// chooses it.
class OblastVolby : public QWidget {
 public:
  OblastVolby(QWidget* rodic, std::function<void()> naMys, std::function<void()> naKlik)
      : QWidget(rodic), naMys_(std::move(naMys)), naKlik_(std::move(naKlik)) {
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
  }

 protected:
  void mouseMoveEvent(QMouseEvent*) override { naMys_(); }
  void mousePressEvent(QMouseEvent* e) override { stisknuto_ = e->button() == Qt::LeftButton; }
  void mouseReleaseEvent(QMouseEvent* e) override {
    bool klik =
        stisknuto_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    stisknuto_ = false;
    if (klik) naKlik_();
  }

 private:
  std::function<void()> naMys_;
  std::function<void()> naKlik_;
  bool stisknuto_ = false;
};

// The focus button of a row, out of sight: with the focus its row is highlighted;
// Enter and Space press it, the arrow keys move to the neighbouring rows.
class TlacitkoFokusu : public QPushButton {
 public:
  TlacitkoFokusu(MsgVolbaDialog* dialog, int k) : QPushButton(dialog), dialog_(dialog), k_(k) {
    setAutoDefault(false);
  }

 protected:
  void focusInEvent(QFocusEvent* e) override {
    QPushButton::focusInEvent(e);
    dialog_->Zvyraznit(k_);
  }
  void keyPressEvent(QKeyEvent* e) override {
    switch (e->key()) {
      case Qt::Key_Up:
      case Qt::Key_Left:
        dialog_->PresunoutFokus(k_ - 1);
        return;
      case Qt::Key_Down:
      case Qt::Key_Right:
        dialog_->PresunoutFokus(k_ + 1);
        return;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        click();
        return;
      default:
        QPushButton::keyPressEvent(e);
    }
  }

 private:
  MsgVolbaDialog* dialog_;
  int k_;
};

MsgVolbaDialog::MsgVolbaDialog(QWidget* vlastnik) : QDialog(vlastnik) {
  setObjectName("MsgVolbaDialog");
  setFont(PismoOken(font()));
  setAutoFillBackground(true);
  NastavitBarvu(this, QPalette::Window, QColor(kBarvaRadku));

  labHlavniInstrukce = Popisek(this, "labHlavniInstrukce", "", VPixelech(kHlavniInstrukce));
  labHlavniInstrukce->setFont(Zvetsene(font(), 12, false));
  ZalamovanyPopisek(labHlavniInstrukce);
  NastavitBarvu(labHlavniInstrukce, QPalette::WindowText, QColor(0x003399));
  labSekundarniInstrukce =
      Popisek(this, "labSekundarniInstrukce", "", VPixelech(kSekundarniInstrukce));
  ZalamovanyPopisek(labSekundarniInstrukce);

  chkVolba = new QCheckBox(this);
  chkVolba->setObjectName("chkVolba");
  chkVolba->hide();

  pata_ = new QFrame(this);
  pata_->setObjectName("Pata");
  pata_->setAutoFillBackground(true);
  pata_->setFrameShape(QFrame::HLine);
  NastavitBarvu(pata_, QPalette::Window, QColor(0xF0F0F0));
  NastavitBarvu(pata_, QPalette::WindowText, QColor(0xDFDFDF));
  pata_->hide();
  Poznamka = Popisek(this, "Poznamka", "", {});
  ZalamovanyPopisek(Poznamka);
  Poznamka->hide();
  i = Popisek(this, "i", "", {});
  i->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(16, 16));
  i->hide();
  cmdStorno = Tlacitko(this, "cmdStorno", "&Storno", {});
  cmdStorno->setAutoDefault(false);
  cmdStorno->hide();
  connect(cmdStorno, &QPushButton::clicked, this, [this] {
    if (model_) model_->Zrusit();
    QDialog::reject();
  });
}

MsgVolbaDialog::~MsgVolbaDialog() = default;

MsgVolbaDialog::Radek MsgVolbaDialog::VytvoritRadek(int k) {
  const QString c = QString::number(k);
  Radek r;
  r.pozadi = new QFrame(this);
  r.pozadi->setObjectName("Pozadi_" + c);
  r.pozadi->setAutoFillBackground(true);
  r.Sipka = new QLabel(this);
  r.Sipka->setObjectName("Sipka_" + c);
  r.Sipka->setPixmap(Sipka());
  r.Volba01PP = new QLabel(this);
  r.Volba01PP->setObjectName("Volba01PP_" + c);
  r.Volba01PP->setFont(Zvetsene(font(), 11, false));
  r.Volba01PP->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  NastavitBarvu(r.Volba01PP, QPalette::WindowText, QColor(0x151C55));
  r.Volba01SP = new QLabel(this);
  r.Volba01SP->setObjectName("Volba01SP_" + c);
  r.Volba01SP->setFont(Zvetsene(font(), 8, false));
  r.Volba01PO = new QLabel(this);
  r.Volba01PO->setObjectName("Volba01PO_" + c);
  r.Volba01PO->setFont(Zvetsene(font(), 8, false));
  r.cmdVolba01 = new OblastVolby(
      this,
      [this, k] {
        Zvyraznit(k);
        PresunoutFokus(k);
      },
      [this, k] { Zvolit(k); });
  r.cmdVolba01->setObjectName("cmdVolba01_" + c);
  auto* fokus = new TlacitkoFokusu(this, k);
  fokus->setObjectName("ButtonFocus_" + c);
  connect(fokus, &QPushButton::clicked, this, [this, k] { Zvolit(k); });
  r.ButtonFocus = fokus;
  return r;
}

void MsgVolbaDialog::Sestavit(const ParametryVolby& p) {
  for (Radek& r : radky_) {
    for (QWidget* w :
         {static_cast<QWidget*>(r.pozadi), r.cmdVolba01, static_cast<QWidget*>(r.Sipka),
          static_cast<QWidget*>(r.Volba01PP), static_cast<QWidget*>(r.Volba01SP),
          static_cast<QWidget*>(r.Volba01PO), static_cast<QWidget*>(r.ButtonFocus)})
      delete w;
  }
  radky_.clear();
  model_ = std::make_unique<ModelVolby>(p);
  setWindowTitle(QtText(model_->titulek));
  const int dolu = UmistitInstrukce();

  // Rows: every control of row k sits 800 below its counterpart in row k - 1 (the
  // focus buttons 50 below); the height follows the number of parts of the text.
  const std::vector<std::string> texty = Rozdelit(p.volby, ';');
  int horniPosledni = kPozadi.y() + dolu, vyskaPosledni = kPozadi.height();
  for (int k = 1; k <= static_cast<int>(model_->radky.size()); ++k) {
    Radek r = VytvoritRadek(k);
    const int posun = dolu + (k - 1) * kRozteRadku;
    const auto& t = model_->radky[static_cast<std::size_t>(k - 1)];
    const std::size_t casti = std::min<std::size_t>(3, Rozdelit(texty[k - 1], '@').size());
    int vyska = kPozadi.height();
    if (casti == 1) vyska = kPrvniRadek.height() + 100;
    if (casti == 2) vyska = kPrvniRadek.height() + kDruhyRadek.height();
    Umistit(r.pozadi, SVyskou(Posunuty(kPozadi, posun), vyska));
    Umistit(r.cmdVolba01, SVyskou(Posunuty(kPozadi, posun), vyska));
    Umistit(r.Sipka, Posunuty(kSipka, posun));
    Umistit(r.Volba01PP, Posunuty(kPrvniRadek, posun));
    Umistit(r.Volba01SP, Posunuty(kDruhyRadek, posun));
    Umistit(r.Volba01PO, Posunuty(kTretiRadek, posun));
    Umistit(r.ButtonFocus, Posunuty(kButtonFocus, (k - 1) * kRozteFokusu));
    r.Volba01PP->setText(QtText(t[0]));
    r.Volba01SP->setText(QtText(t[1]));
    r.Volba01PO->setText(QtText(t[2]));
    for (QWidget* w :
         {static_cast<QWidget*>(r.pozadi), static_cast<QWidget*>(r.Sipka),
          static_cast<QWidget*>(r.Volba01PP), static_cast<QWidget*>(r.Volba01SP),
          static_cast<QWidget*>(r.Volba01PO), r.cmdVolba01, static_cast<QWidget*>(r.ButtonFocus)})
      w->show();
    r.cmdVolba01->raise();
    horniPosledni = kPozadi.y() + posun;
    vyskaPosledni = vyska;
    radky_.push_back(r);
  }
  int vyskaOkna = horniPosledni + vyskaPosledni + 750;

  if (model_->zaskrtavatkoViditelne) {
    const int posun = horniPosledni - kPozadi.y();
    const int horni = kPrvniRadek.y() + posun + kDruhyRadek.height() + kTretiRadek.height() + 200;
    Umistit(chkVolba, SHorniHranou(kZaskrtavatko, horni));
    chkVolba->setText(QtText(model_->textZaskrtavatka));
    chkVolba->setChecked(model_->zaskrtnuto);
    vyskaOkna += kZaskrtavatko.height();
    chkVolba->show();
  } else {
    chkVolba->hide();
  }

  // Footer: the grey band runs below the window's lower edge; the note and its
  // icon sit in it when there is a note, Storno always.
  const int horniPaty = vyskaOkna - 650;
  Umistit(pata_, SHorniHranou(kPata, horniPaty));
  pata_->show();
  pata_->lower();
  const bool poznamka = !model_->poznamka.empty();
  Umistit(Poznamka, SHorniHranou(kPoznamka, horniPaty + 200));
  Umistit(i, SHorniHranou(kIkona, horniPaty + 200));
  // A note of more lines than the band holds makes the band and the window taller.
  const int navic =
      Twipy(NastavitText(Poznamka, QtText(model_->poznamka), Pixely(kPoznamka.height()))) -
      kPoznamka.height();
  Poznamka->setVisible(poznamka);
  i->setVisible(poznamka);
  Umistit(cmdStorno, SHorniHranou(kStorno, vyskaOkna - 400));
  cmdStorno->show();
  vyskaOkna += 600 + (poznamka ? navic : 0);
  setFixedSize(Pixely(kSirkaOkna), Pixely(vyskaOkna - kNeklientskaVyska));

  // Keyboard order: the rows, then the check box and Storno.
  QWidget* predchozi = nullptr;
  for (const Radek& r : radky_) {
    if (predchozi) setTabOrder(predchozi, r.ButtonFocus);
    predchozi = r.ButtonFocus;
  }
  if (predchozi && model_->zaskrtavatkoViditelne) setTabOrder(predchozi, chkVolba);
  if (predchozi) setTabOrder(model_->zaskrtavatkoViditelne ? chkVolba : predchozi, cmdStorno);
  if (!radky_.empty()) radky_.front().ButtonFocus->setFocus();
  Zvyraznit(0);
}

int MsgVolbaDialog::UmistitInstrukce() {
  // Each instruction takes the lines its text needs; what it needs beyond its design
  // height moves everything below it down.
  Umistit(labHlavniInstrukce, kHlavniInstrukce);
  const int hlavni = Twipy(NastavitText(labHlavniInstrukce, QtText(model_->hlavniInstrukce),
                                        Pixely(kHlavniInstrukce.height()))) -
                     Twipy(Pixely(kHlavniInstrukce.height()));
  Umistit(labSekundarniInstrukce, Posunuty(kSekundarniInstrukce, hlavni));
  const int sekundarni =
      Twipy(NastavitText(labSekundarniInstrukce, QtText(model_->sekundarniInstrukce),
                         Pixely(kSekundarniInstrukce.height()))) -
      Twipy(Pixely(kSekundarniInstrukce.height()));
  return hlavni + sekundarni;
}

std::int16_t MsgVolbaDialog::ShowMe(const ParametryVolby& p) {
  Sestavit(p);
  setModal(true);
  UkoncitPriZastaveni(this, [this] { reject(); });  // as Storno
  exec();
  return Vysledek();
}

std::int16_t MsgVolbaDialog::Vysledek() const {
  if (!model_) return 0;
  model_->zaskrtnuto = chkVolba->isChecked();
  return model_->Vysledek();
}

std::int16_t MsgVolbaDialog::Hodnota() const {
  return model_ ? model_->Hodnota : 0;
}

void MsgVolbaDialog::NastavitHodnotu(std::int16_t hodnota) {
  if (model_) model_->Hodnota = hodnota;
}

std::int32_t MsgVolbaDialog::Cislo() const {
  return model_ ? model_->cislo : 0;
}

QColor MsgVolbaDialog::BarvaRadku(int k) const {
  return RadekVolby(k).pozadi->palette().color(QPalette::Window);
}

void MsgVolbaDialog::reject() {
  // Closed by the user (the close box, Escape): no choice.
  if (model_) model_->Zrusit();
  QDialog::reject();
}

void MsgVolbaDialog::Zvyraznit(int k) {
  for (int j = 1; j <= PocetRadku(); ++j)
    NastavitBarvu(RadekVolby(j).pozadi, QPalette::Window,
                  QColor(j == k ? kBarvaZvyraznenehoRadku : kBarvaRadku));
}

void MsgVolbaDialog::PresunoutFokus(int k) {
  if (k < 1 || k > PocetRadku()) return;
  RadekVolby(k).ButtonFocus->setFocus(Qt::OtherFocusReason);
}

void MsgVolbaDialog::Zvolit(int k) {
  if (model_) model_->Zvolit(k);
  accept();
}

}  // namespace zevlon
