// The choice dialog `MsgVolbaDialog`: the main and secondary instruction, one large
// row per choice (caption and up to two further lines), an optional check box, an
// optional note with an information icon in a grey footer, and Storno. Rows are
// made at run time from the choice list; each has a focus button `ButtonFocus`
// through which Tab, the arrow keys, Enter and Space reach it. The layout is
// computed in twips, as the window's own coordinates give them, and placed at 15
// twips per pixel.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <cstdint>
#include <memory>
#include <vector>

#include "rozhrani/rozhrani.h"
#include "rozhrani/volba.h"

namespace zevlon {

// Row fill: white, and light grey under the mouse or with the keyboard focus.
inline constexpr unsigned kBarvaRadku = 0xFFFFFF;
inline constexpr unsigned kBarvaZvyraznenehoRadku = 0xF0F0F0;

class MsgVolbaDialog : public QDialog {
  Q_OBJECT

 public:
  // The controls of one row.
  struct Radek {
    QFrame* pozadi = nullptr;       // the row's background
    QWidget* cmdVolba01 = nullptr;  // the clickable area
    QLabel* Sipka = nullptr;
    QLabel* Volba01PP = nullptr;  // caption
    QLabel* Volba01SP = nullptr;  // second line
    QLabel* Volba01PO = nullptr;  // third line
    QPushButton* ButtonFocus = nullptr;
  };

  explicit MsgVolbaDialog(QWidget* vlastnik = nullptr);
  ~MsgVolbaDialog() override;

  // Builds the dialog for the arguments, shows it modally and answers 0 for a
  // cancel or the chosen row from 1, plus 10 when the check box is ticked.
  std::int16_t ShowMe(const ParametryVolby& p);
  // Builds everything ShowMe shows, without showing it.
  void Sestavit(const ParametryVolby& p);
  // The result for the state of the dialog now.
  std::int16_t Vysledek() const;

  std::int16_t Hodnota() const;
  void NastavitHodnotu(std::int16_t hodnota);
  std::int32_t Cislo() const;

  int PocetRadku() const { return static_cast<int>(radky_.size()); }
  const Radek& RadekVolby(int k) const { return radky_.at(static_cast<std::size_t>(k - 1)); }
  QColor BarvaRadku(int k) const;

 public slots:
  void reject() override;

 private:
  void Zvyraznit(int k);
  void Zvolit(int k);
  void PresunoutFokus(int k);
  Radek VytvoritRadek(int k);
  // Fills and places the two instructions; answers how far (in twips) they push the
  // rows below them down.
  int UmistitInstrukce();

  std::unique_ptr<ModelVolby> model_;
  std::vector<Radek> radky_;
  QLabel* labHlavniInstrukce;
  QLabel* labSekundarniInstrukce;
  QCheckBox* chkVolba;
  QFrame* pata_;  // the footer band
  QLabel* Poznamka;
  QLabel* i;
  QPushButton* cmdStorno;

  friend class TlacitkoFokusu;
};

}  // namespace zevlon
