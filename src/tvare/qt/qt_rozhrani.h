// The user interface on a display, with Qt Widgets: the progress window
// `AktualizaceMerka`, message boxes and the choice dialog `MsgVolbaDialog`. Needs a
// QApplication for its whole life. Window events run only when the run lets them
// (ZpracovatUdalosti), inside modal boxes, and while waiting for the window to be
// closed at the end.
#pragma once

#include <memory>

#include "rozhrani/rozhrani.h"
#include "tvare/qt/okno_prubehu.h"

namespace zevlon {

class QtRozhrani : public Rozhrani {
 public:
  QtRozhrani();
  ~QtRozhrani() override;

  void Prubeh(const HlaseniPrubehu& h) override;
  void ZpracovatUdalosti() override;
  bool Zruseno() const override;
  int Zprava(const std::string& text, int styl, const std::string& titulek) override;
  int Volba(const ParametryVolby& p) override;
  void SkrytMoznosti() override;
  void Minimalizovat() override;
  void Obnovit() override;
  void Zavrit() override;
  void CekatNaZavreni() override;
  void NastavitOdkazZmen(const std::string& adresa) override;

  // The progress window, loaded on first use (again after it was unloaded).
  AktualizaceMerka& Okno();
  // The window while it is loaded, else nullptr.
  AktualizaceMerka* NacteneOkno() const;

 private:
  std::unique_ptr<AktualizaceMerka> okno_;
  bool moznostiSkryty_ = false;
  std::string odkazZmen_;
};

// The message box of the platform: buttons and icon from the style (mb::), titled
// as asked ("Dunmor Merko" for no title), modal; answers the button's id.
int ZobrazitZpravuQt(QWidget* vlastnik, const std::string& text, int styl,
                     const std::string& titulek);

}  // namespace zevlon
