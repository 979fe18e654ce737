// An edit field for a path: while it is not being edited, a path wider than the field is
// shown cut in the middle ("…"); the field's text stays whole, and editing shows it so.
#pragma once

#include <QLineEdit>
#include <QString>

namespace zevlon {

class PoleCesty : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;

  // The text as the field shows it while it has no focus.
  QString ZobrazenyText() const;

 protected:
  void paintEvent(QPaintEvent* udalost) override;

 private:
  // Where the field draws its text.
  QRect MistoTextu() const;
};

}  // namespace zevlon
