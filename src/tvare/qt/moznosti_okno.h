// The options window `MoznostiAktualizace` as Qt shows it: a thin view over
// ModelMoznosti, which does the loading, the checks, the saving and the job.
// Modeless; closes itself after a successful OK and on Storno.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <memory>

#include "tvare/moznosti.h"

namespace zevlon {

class MoznostiAktualizace : public QWidget {
  Q_OBJECT

 public:
  // Opens the window's settings (loading happens here); shown by the caller.
  explicit MoznostiAktualizace(QWidget* rodic = nullptr);
  ~MoznostiAktualizace() override;

  const ModelMoznosti& Model() const { return *model_; }

 private:
  // Model to controls, and the typed texts back to the model.
  void Zobrazit();
  void Precist();
  void Ok();

  std::unique_ptr<ModelMoznosti> model_;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QComboBox* comProfily;
  QComboBox* comHodiny;
  QComboBox* comMoznosti;
  QComboBox* comDen;
  QLabel* Label6;
  QLineEdit* txtZrcadlo;
  QLabel* Label7;
  QLineEdit* txtProxy;
  QLabel* Label8;
  QLineEdit* txtBezProxy;
  QRadioButton* OptAktualizovat;
  QRadioButton* OptNeaktualizovat;
  QPushButton* cmdOK;
  QPushButton* cmdStorno;
  QLabel* Image1;
  QLabel* Image2;
  QLabel* Image3;
  QLabel* VolbaAkt;
};

}  // namespace zevlon
