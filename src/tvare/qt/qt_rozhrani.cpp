#include "tvare/qt/qt_rozhrani.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <utility>
#include <vector>

#include "tvare/qt/moznosti_okno.h"
#include "tvare/qt/pomucky_qt.h"
#include "tvare/qt/volba_dialog.h"

namespace zevlon {

namespace {

constexpr const char* kTitulekBezNazvu = "Dunmor Merko";

struct TlacitkoZpravy {
  const char* text;
  int id;
  QMessageBox::ButtonRole role;
};

std::vector<TlacitkoZpravy> TlacitkaZpravy(int styl) {
  switch (styl & 0x0F) {
    case 1:
      return {{"OK", mb::kIdOk, QMessageBox::AcceptRole},
              {"Storno", mb::kIdStorno, QMessageBox::RejectRole}};
    case 2:
      return {{"&Přerušit", 3, QMessageBox::RejectRole},
              {"&Opakovat", mb::kIdOpakovat, QMessageBox::AcceptRole},
              {"&Ignorovat", 5, QMessageBox::AcceptRole}};
    case 3:
      return {{"&Ano", mb::kIdAno, QMessageBox::YesRole},
              {"&Ne", mb::kIdNe, QMessageBox::NoRole},
              {"Storno", mb::kIdStorno, QMessageBox::RejectRole}};
    case mb::kAnoNe:
      return {{"&Ano", mb::kIdAno, QMessageBox::YesRole}, {"&Ne", mb::kIdNe, QMessageBox::NoRole}};
    case mb::kOpakovatStorno:
      return {{"&Opakovat", mb::kIdOpakovat, QMessageBox::AcceptRole},
              {"Storno", mb::kIdStorno, QMessageBox::RejectRole}};
    default:
      return {{"OK", mb::kIdOk, QMessageBox::AcceptRole}};
  }
}

QMessageBox::Icon Ikona(int styl) {
  switch (styl & 0xF0) {
    case mb::kKriticka:
      return QMessageBox::Critical;
    case mb::kOtaznik:
      return QMessageBox::Question;
    case mb::kVykricnik:
      return QMessageBox::Warning;
    case mb::kInformace:
      return QMessageBox::Information;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

int ZobrazitZpravuQt(QWidget* vlastnik, const std::string& text, int styl,
                     const std::string& titulek) {
  QMessageBox box(vlastnik);
  box.setObjectName("Zprava");
  box.setWindowTitle(QtText(titulek.empty() ? kTitulekBezNazvu : titulek));
  box.setTextFormat(Qt::PlainText);  // a file name from a server is never markup
  box.setText(QtText(text));
  box.setIcon(Ikona(styl));
  box.setWindowModality(Qt::ApplicationModal);
  const auto tlacitka = TlacitkaZpravy(styl);
  std::vector<std::pair<QAbstractButton*, int>> ids;
  int utek = tlacitka.size() == 1 ? tlacitka[0].id : 0;
  for (const auto& t : tlacitka) {
    QAbstractButton* b = box.addButton(QString::fromUtf8(t.text), t.role);
    ids.emplace_back(b, t.id);
    if (t.id == mb::kIdStorno) {
      box.setEscapeButton(b);
      utek = t.id;
    }
  }
  const std::size_t vychozi = std::min<std::size_t>((styl >> 8) & 3, ids.size() - 1);
  box.setDefaultButton(static_cast<QPushButton*>(ids[vychozi].first));
  UkoncitPriZastaveni(&box, [&box] { box.reject(); });  // as Escape
  box.exec();
  for (const auto& [b, id] : ids)
    if (box.clickedButton() == b) return id;
  // Closed without a button (a yes/no box has no escape): as with No.
  return utek ? utek : mb::kIdNe;
}

QtRozhrani::QtRozhrani() = default;

QtRozhrani::~QtRozhrani() = default;

AktualizaceMerka& QtRozhrani::Okno() {
  if (!okno_ || okno_->Uvolneno()) {
    okno_ = std::make_unique<AktualizaceMerka>();
    if (moznostiSkryty_) okno_->SkrytMoznosti();
    if (!odkazZmen_.empty()) okno_->NastavitOdkazZmen(odkazZmen_);
  }
  return *okno_;
}

void QtRozhrani::NastavitOdkazZmen(const std::string& adresa) {
  odkazZmen_ = adresa;
  if (AktualizaceMerka* okno = NacteneOkno()) okno->NastavitOdkazZmen(adresa);
}

AktualizaceMerka* QtRozhrani::NacteneOkno() const {
  return okno_ && !okno_->Uvolneno() ? okno_.get() : nullptr;
}

void QtRozhrani::Prubeh(const HlaseniPrubehu& h) {
  AktualizaceMerka& okno = Okno();
  okno.ZobrazHlaseni(h);
  if (okno.isHidden()) okno.show();
}

void QtRozhrani::ZpracovatUdalosti() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool QtRozhrani::Zruseno() const {
  return okno_ && okno_->Zruseno();
}

int QtRozhrani::Zprava(const std::string& text, int styl, const std::string& titulek) {
  AktualizaceMerka* okno = NacteneOkno();
  return ZobrazitZpravuQt(okno && okno->isVisible() ? okno : nullptr, text, styl, titulek);
}

int QtRozhrani::Volba(const ParametryVolby& p) {
  MsgVolbaDialog dialog;
  return dialog.ShowMe(p);
}

void QtRozhrani::SkrytMoznosti() {
  moznostiSkryty_ = true;
  if (AktualizaceMerka* okno = NacteneOkno()) okno->SkrytMoznosti();
}

void QtRozhrani::Minimalizovat() {
  if (AktualizaceMerka* okno = NacteneOkno()) okno->showMinimized();
}

void QtRozhrani::Obnovit() {
  AktualizaceMerka* okno = NacteneOkno();
  if (okno && okno->isMinimized()) okno->showNormal();
}

void QtRozhrani::Zavrit() {
  if (okno_) okno_->Uvolnit();
  okno_.reset();
}

void QtRozhrani::CekatNaZavreni() {
  AktualizaceMerka* okno = NacteneOkno();
  if (!okno) return;
  // A run that ended with Storno shown (the copy in temp does) would otherwise leave
  // a window that neither Zavřít nor closing it could end.
  okno->NabidnoutZavreni();
  if (okno->isHidden()) okno->show();
  QEventLoop smycka;
  QObject::connect(okno, &AktualizaceMerka::Uvolneni, &smycka, &QEventLoop::quit);
  UkoncitPriZastaveni(&smycka, [&smycka] { smycka.quit(); });
  smycka.exec();
  okno_.reset();
}

}  // namespace zevlon
