// The progress window `AktualizaceMerka`: heading, subheading, message line, the
// meter (frame `Metr` with the fill `Ukazatel`), the release-notes link and the
// buttons Storno, Zavřít and Možnosti. It only shows what the run reports; events
// (clicks included) are taken when the run lets them run.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <cstdint>
#include <string>

#include "rozhrani/rozhrani.h"
#include "tvare/qt/moznosti_okno.h"

class QFrame;

namespace zevlon {

// The release notes of the installed release on the maker's site.
inline constexpr const char* kAdresaInformaciOZmenach =
    "http://www.dunmor.invalid/merko/informace-o-vydani?document=2&version=12";

// Hands the document to the desktop to open; true when it took the request. The
// owner window plays no part here.
bool OtevritOdkaz(const std::string& dokument, QWidget* vlastnik);

class AktualizaceMerka : public QWidget {
  Q_OBJECT

 public:
  explicit AktualizaceMerka(QWidget* rodic = nullptr);

  // Puts one report into the window: the subheading (unless empty), the message,
  // the meter when asked to, and which of Storno and Zavřít are shown.
  void ZobrazHlaseni(const HlaseniPrubehu& h);
  // Draws the meter for hotovo of celkem; celkem 0 hides frame and fill.
  void ZobrazMetr(std::int32_t hotovo, std::int32_t celkem);

  // Set by Storno and by closing the window while Storno is shown; never cleared.
  bool Zruseno() const { return zruseno_; }
  // Whether the window was unloaded (Zavřít, or closed while Storno was hidden).
  bool Uvolneno() const { return uvolneno_; }
  // Unloads the window whatever is shown.
  void Uvolnit();
  // The run has ended and leaves the window to the user: Zavřít is offered and
  // Storno, which no report would take up any more, goes.
  void NabidnoutZavreni();
  // Hides Možnosti (the temporary copy of the program keeps no options).
  void SkrytMoznosti() { cmdMoznosti->hide(); }
  // The address the release notes' link opens (kAdresaInformaciOZmenach until set).
  void NastavitOdkazZmen(const std::string& adresa) { odkazZmen_ = adresa; }
  const std::string& OdkazZmen() const { return odkazZmen_; }

  // The options window opened from Možnosti, while it exists.
  MoznostiAktualizace* Moznosti() const { return moznosti_; }

 signals:
  void Uvolneni();

 protected:
  void closeEvent(QCloseEvent* udalost) override;

 private:
  std::string odkazZmen_ = kAdresaInformaciOZmenach;
  void OtevritMoznosti();
  // Places the meter, the link and the buttons below the texts, and sizes the window.
  void Rozvrhnout();
  // Storno and Zavřít, those shown, side by side at the right edge, Zavřít the last.
  void ZarovnatTlacitka();

  QLabel* labNadpis;
  QLabel* labPodnadpis;
  QLabel* labZprava;
  QFrame* Shape1;
  QFrame* Metr;
  QLabel* Ukazatel;
  QLabel* labInformaceOZmenach;
  QPushButton* cmdStorno;
  QPushButton* cmdZavrit;
  QPushButton* cmdMoznosti;

  bool zruseno_ = false;
  bool uvolneno_ = false;
  QPointer<MoznostiAktualizace> moznosti_;
};

}  // namespace zevlon
