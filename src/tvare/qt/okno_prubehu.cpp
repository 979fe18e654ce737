#include "tvare/qt/okno_prubehu.h"

#include <QCloseEvent>
#include <QFrame>
#include <algorithm>

#include "platform/nahrady/platforma.h"
#include "rozhrani/prubeh.h"
#include "tvare/qt/moznosti_okno.h"
#include "tvare/qt/pomucky_qt.h"
#include "tvare/qt/popisky_qt.h"

namespace zevlon {

namespace {

// The window keeps its width; the subheading and the message line take as many lines
// as their texts need (at least one and two), and the window grows with them.
constexpr int kSirkaOkna = 480;
constexpr int kVyskaPodnadpisu = 20;
constexpr int kVyskaZpravy = 36;
constexpr int kMeziTlacitky = 6;

}  // namespace

bool OtevritOdkaz(const std::string& dokument, QWidget* /*vlastnik*/) {
  return platforma().OtevritDokument(dokument);
}

AktualizaceMerka::AktualizaceMerka(QWidget* rodic) : QWidget(rodic) {
  setObjectName("AktualizaceMerka");
  setWindowTitle(QStringLiteral("Aktualizace Dunmor Merko"));
  setFont(PismoOken(font()));
  setFixedSize(kSirkaOkna, 232);
  setAutoFillBackground(true);
  NastavitBarvu(this, QPalette::Window, QColor(0xFFFFFF));

  labNadpis = Popisek(this, "labNadpis", "Aktualizace Dunmor Merko", {20, 14, 440, 26});
  labNadpis->setFont(Zvetsene(font(), 13, true));
  NastavitBarvu(labNadpis, QPalette::WindowText, QColor(0x003399));

  Shape1 = new QFrame(this);
  Shape1->setObjectName("Shape1");
  Shape1->setGeometry(20, 44, 440, 2);
  Shape1->setAutoFillBackground(true);
  NastavitBarvu(Shape1, QPalette::Window, QColor(0x99B4D1));

  labPodnadpis = Popisek(this, "labPodnadpis", "", {20, 56, 440, kVyskaPodnadpisu});
  labPodnadpis->setFont(Zvetsene(font(), 0, true));
  ZalamovanyPopisek(labPodnadpis);
  labZprava = Popisek(this, "labZprava", "", {20, 78, 440, kVyskaZpravy});
  ZalamovanyPopisek(labZprava);

  Metr = new QFrame(this);
  Metr->setObjectName("Metr");
  Metr->setGeometry(20, 120, 440, 20);
  Metr->setFrameShape(QFrame::Box);
  Metr->setLineWidth(1);
  NastavitBarvu(Metr, QPalette::WindowText, QColor(0x7A7A7A));
  Ukazatel = new QLabel(this);
  Ukazatel->setObjectName("Ukazatel");
  Ukazatel->setGeometry(23, 123, 0, 14);
  Ukazatel->setAutoFillBackground(true);
  NastavitBarvu(Ukazatel, QPalette::Window, QColor(0x06B025));
  Ukazatel->raise();

  labInformaceOZmenach =
      Popisek(this, "labInformaceOZmenach", "Zobrazit informace o změnách v nainstalovaném vydání",
              {20, 152, 440, 18});
  NastavitBarvu(labInformaceOZmenach, QPalette::WindowText, QColor(0x0066CC));
  QFont odkaz = font();
  odkaz.setUnderline(true);
  labInformaceOZmenach->setFont(odkaz);
  labInformaceOZmenach->setCursor(Qt::PointingHandCursor);
  labInformaceOZmenach->setTextFormat(Qt::PlainText);

  cmdMoznosti = Tlacitko(this, "cmdMoznosti", "&Možnosti", {20, 192, 100, 26});
  cmdStorno = Tlacitko(this, "cmdStorno", "&Storno", {262, 192, 96, 26});
  cmdZavrit = Tlacitko(this, "cmdZavrit", "&Zavřít", {364, 192, 96, 26});
  cmdStorno->hide();
  cmdZavrit->hide();

  connect(cmdStorno, &QPushButton::clicked, this, [this] { zruseno_ = true; });
  connect(cmdZavrit, &QPushButton::clicked, this, &AktualizaceMerka::Uvolnit);
  connect(cmdMoznosti, &QPushButton::clicked, this, &AktualizaceMerka::OtevritMoznosti);
  // The link is a label: a release of the mouse button over it opens the notes.
  NaKliknuti(labInformaceOZmenach, [this] { (void)OtevritOdkaz(odkazZmen_, nullptr); });

  ZobrazMetr(0, 0);
}

void AktualizaceMerka::ZobrazHlaseni(const HlaseniPrubehu& h) {
  if (!h.podnadpis.empty()) NastavitText(labPodnadpis, QtText(h.podnadpis), kVyskaPodnadpisu);
  // A download's sizes and rate are no part of the path before them.
  std::string_view zprava = h.zprava;
  if (const auto s = RozlozitZpravuSouboru(zprava); s && !s->zprava.empty()) zprava = s->zprava;
  NastavitText(labZprava, QtText(zprava), kVyskaZpravy, QtText(h.zprava.substr(zprava.size())));
  Rozvrhnout();
  if (h.zmenitMetr) ZobrazMetr(h.hotovo, h.celkem);
  cmdStorno->setVisible(h.stornoZobrazeno);
  cmdZavrit->setVisible(h.zavritZobrazeno);
  ZarovnatTlacitka();
}

void AktualizaceMerka::ZarovnatTlacitka() {
  int prava = Metr->x() + Metr->width();
  for (QPushButton* t : {cmdZavrit, cmdStorno}) {
    if (t->isHidden()) continue;
    t->move(prava - t->width(), t->y());
    prava = t->x() - kMeziTlacitky;
  }
}

void AktualizaceMerka::Rozvrhnout() {
  labZprava->move(labZprava->x(), labPodnadpis->y() + labPodnadpis->height() + 2);
  const int metr = labZprava->y() + labZprava->height() + 6;
  Metr->move(Metr->x(), metr);
  Ukazatel->move(Ukazatel->x(), metr + 3);
  labInformaceOZmenach->move(labInformaceOZmenach->x(), metr + Metr->height() + 12);
  const int tlacitka = labInformaceOZmenach->y() + labInformaceOZmenach->height() + 22;
  for (QPushButton* t : {cmdMoznosti, cmdStorno, cmdZavrit})
    t->move(t->x(), tlacitka);
  setFixedSize(kSirkaOkna, tlacitka + cmdZavrit->height() + 14);
}

void AktualizaceMerka::ZobrazMetr(std::int32_t hotovo, std::int32_t celkem) {
  if (celkem != 0) {
    const auto sirka = SirkaUkazatele(Metr->width(), Ukazatel->x() - Metr->x(), hotovo, celkem);
    Ukazatel->resize(static_cast<int>(std::clamp<std::int64_t>(sirka, 0, Metr->width())),
                     Ukazatel->height());
    if (Ukazatel->isHidden()) {
      Ukazatel->show();
      Metr->show();
    }
  } else {
    Ukazatel->resize(0, Ukazatel->height());
    if (!Ukazatel->isHidden()) {
      Ukazatel->hide();
      Metr->hide();
    }
  }
}

void AktualizaceMerka::Uvolnit() {
  if (uvolneno_) return;
  uvolneno_ = true;
  if (moznosti_) moznosti_->close();
  hide();
  emit Uvolneni();
}

void AktualizaceMerka::NabidnoutZavreni() {
  cmdStorno->hide();
  cmdZavrit->show();
  ZarovnatTlacitka();
}

void AktualizaceMerka::closeEvent(QCloseEvent* udalost) {
  // Closed during a run (Storno shown): the run ends at its next report, as after
  // Storno, and unloads the window itself.
  if (!cmdStorno->isHidden()) {
    zruseno_ = true;
    udalost->ignore();
    return;
  }
  udalost->accept();
  Uvolnit();
}

void AktualizaceMerka::OtevritMoznosti() {
  if (moznosti_ && moznosti_->isVisible()) {
    moznosti_->raise();
    moznosti_->activateWindow();
    return;
  }
  delete moznosti_;
  moznosti_ = new MoznostiAktualizace(this);
  moznosti_->show();
}

}  // namespace zevlon
