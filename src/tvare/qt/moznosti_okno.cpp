#include "tvare/qt/moznosti_okno.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QFrame>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStyle>

#include "tvare/qt/pole_cesty.h"
#include "tvare/qt/pomucky_qt.h"

namespace zevlon {

namespace {

QComboBox* Seznam(QWidget* rodic, const char* jmeno, const QRect& kde) {
  auto* c = new QComboBox(rodic);
  c->setObjectName(jmeno);
  c->setEditable(true);
  c->setInsertPolicy(QComboBox::NoInsert);
  c->setGeometry(kde);
  return c;
}

QLabel* Obrazek(QWidget* rodic, const char* jmeno, QStyle::StandardPixmap ikona, int velikost,
                const QRect& kde) {
  auto* l = Popisek(rodic, jmeno, "", kde);
  l->setPixmap(rodic->style()->standardIcon(ikona).pixmap(velikost, velikost));
  return l;
}

void Naplnit(QComboBox* c, const SeznamVolby& s) {
  QSignalBlocker blok(c);
  c->clear();
  for (const std::string& polozka : s.polozky)
    c->addItem(QtText(polozka));
  c->setCurrentIndex(c->findText(QtText(s.text)));
  c->setEditText(QtText(s.text));
  c->setEnabled(s.povoleno);
}

}  // namespace

MoznostiAktualizace::MoznostiAktualizace(QWidget* rodic)
    : QWidget(rodic, Qt::Window), model_(std::make_unique<ModelMoznosti>()) {
  setObjectName("MoznostiAktualizace");
  setWindowTitle(QtText(kTitulekMoznosti));
  setFont(PismoOken(font()));
  setFixedSize(440, 402);

  auto* pas = new QFrame(this);
  pas->setGeometry(0, 0, 440, 58);
  pas->setAutoFillBackground(true);
  NastavitBarvu(pas, QPalette::Window, QColor(0xFFFFFF));
  Label2 = Popisek(this, "Label2", "Možnosti aktualizací", {16, 10, 340, 24});
  Label2->setFont(Zvetsene(font(), 12, true));
  NastavitBarvu(Label2, QPalette::WindowText, QColor(0x003399));
  Label4 = Popisek(this, "Label4", "", {16, 34, 340, 18});
  Image1 = Obrazek(this, "Image1", QStyle::SP_BrowserReload, 32, {390, 13, 32, 32});

  Label1 = Popisek(this, "Label1", "Aktualizovat složku profilu", {16, 70, 400, 18});
  Image2 = Obrazek(this, "Image2", QStyle::SP_DirIcon, 16, {16, 95, 16, 16});
  comProfily = Seznam(this, "comProfily", {40, 91, 384, 24});
  // A folder longer than the box: the field (while not edited) and the list shorten it
  // in the middle, the tooltip holds it whole.
  comProfily->setLineEdit(new PoleCesty(comProfily));
  comProfily->view()->setTextElideMode(Qt::ElideMiddle);
  connect(comProfily, &QComboBox::editTextChanged, comProfily, &QWidget::setToolTip);

  Label3 = Popisek(this, "Label3", "Aktualizovat", {16, 128, 400, 18});
  VolbaAkt = Obrazek(this, "VolbaAkt", QStyle::SP_DialogApplyButton, 16, {16, 152, 16, 16});
  OptAktualizovat = new QRadioButton(QStringLiteral("Instalovat aktualizace automaticky"), this);
  OptAktualizovat->setObjectName("OptAktualizovat");
  OptAktualizovat->setGeometry(40, 150, 384, 20);
  OptNeaktualizovat =
      new QRadioButton(QStringLiteral("Nevyhledávat instalace, vyhledám je sám"), this);
  OptNeaktualizovat->setObjectName("OptNeaktualizovat");
  OptNeaktualizovat->setGeometry(40, 212, 384, 20);
  auto* skupina = new QButtonGroup(this);
  skupina->addButton(OptAktualizovat);
  skupina->addButton(OptNeaktualizovat);

  Image3 = Obrazek(this, "Image3", QStyle::SP_FileDialogDetailedView, 16, {62, 182, 16, 16});
  comHodiny = Seznam(this, "comHodiny", {84, 178, 76, 24});
  comMoznosti = Seznam(this, "comMoznosti", {166, 178, 96, 24});
  Label5 = Popisek(this, "Label5", "den", {270, 182, 30, 18});
  comDen = Seznam(this, "comDen", {302, 178, 122, 24});

  Label6 = Popisek(this, "Label6", "Zrcadlo webu v kanceláři (nepovinné)", {16, 244, 400, 18});
  txtZrcadlo = new QLineEdit(this);
  txtZrcadlo->setObjectName("txtZrcadlo");
  txtZrcadlo->setGeometry(40, 266, 384, 24);
  txtZrcadlo->setPlaceholderText(QStringLiteral("http://mezipamet:8080/aktualizace-online/"));
  Label7 = Popisek(this, "Label7", "Proxy (nepovinné)", {16, 296, 200, 18});
  txtProxy = new QLineEdit(this);
  txtProxy->setObjectName("txtProxy");
  txtProxy->setGeometry(40, 318, 184, 24);
  txtProxy->setPlaceholderText(QStringLiteral("http://proxy:3128/"));
  Label8 = Popisek(this, "Label8", "Bez proxy pro", {240, 296, 184, 18});
  txtBezProxy = new QLineEdit(this);
  txtBezProxy->setObjectName("txtBezProxy");
  txtBezProxy->setGeometry(240, 318, 184, 24);
  txtBezProxy->setPlaceholderText(QStringLiteral("localhost,.firma.cz"));

  auto* cara = new QFrame(this);
  cara->setGeometry(16, 350, 408, 2);
  cara->setFrameShape(QFrame::HLine);
  cara->setFrameShadow(QFrame::Sunken);
  cmdOK = Tlacitko(this, "cmdOK", "&OK", {244, 364, 86, 26});
  cmdStorno = Tlacitko(this, "cmdStorno", "&Storno", {338, 364, 86, 26});
  cmdOK->setDefault(true);
  // The window opens on its default button, so the folder is seen shortened, not edited.
  cmdOK->setFocus();

  connect(OptAktualizovat, &QRadioButton::toggled, this, [this](bool zapnuto) {
    if (!zapnuto) return;
    Precist();
    model_->ZvolitAktualizovat();
    Zobrazit();
  });
  connect(OptNeaktualizovat, &QRadioButton::toggled, this, [this](bool zapnuto) {
    if (!zapnuto) return;
    Precist();
    model_->ZvolitNeaktualizovat();
    Zobrazit();
  });
  connect(comMoznosti, &QComboBox::activated, this, [this](int index) {
    Precist();
    model_->ZmenitCetnost(StdText(comMoznosti->itemText(index)));
    Zobrazit();
  });
  connect(cmdOK, &QPushButton::clicked, this, &MoznostiAktualizace::Ok);
  connect(cmdStorno, &QPushButton::clicked, this, &QWidget::close);

  Zobrazit();
}

MoznostiAktualizace::~MoznostiAktualizace() = default;

void MoznostiAktualizace::Zobrazit() {
  Naplnit(comProfily, model_->comProfily);
  comProfily->setToolTip(comProfily->currentText());
  Naplnit(comHodiny, model_->comHodiny);
  Naplnit(comMoznosti, model_->comMoznosti);
  Naplnit(comDen, model_->comDen);
  txtZrcadlo->setText(QtText(model_->txtZrcadlo));
  txtProxy->setText(QtText(model_->txtProxy));
  txtBezProxy->setText(QtText(model_->txtBezProxy));
  QSignalBlocker a(OptAktualizovat), n(OptNeaktualizovat);
  OptAktualizovat->setChecked(model_->OptAktualizovat);
  OptNeaktualizovat->setChecked(!model_->OptAktualizovat);
}

void MoznostiAktualizace::Precist() {
  model_->comProfily.text = StdText(comProfily->currentText());
  model_->comHodiny.text = StdText(comHodiny->currentText());
  model_->comMoznosti.text = StdText(comMoznosti->currentText());
  model_->comDen.text = StdText(comDen->currentText());
  model_->txtZrcadlo = StdText(txtZrcadlo->text());
  model_->txtProxy = StdText(txtProxy->text());
  model_->txtBezProxy = StdText(txtBezProxy->text());
}

void MoznostiAktualizace::Ok() {
  Precist();
  if (model_->Ok()) close();
}

}  // namespace zevlon
