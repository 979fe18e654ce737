// Small helpers shared by the Qt windows: texts between UTF-8 and QString, fonts,
// colours, controls placed at fixed positions, and clicks on labels.
#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPalette>
#include <QRect>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

class QLabel;
class QPushButton;
class QWidget;

namespace zevlon {

// Twips of the windows' layout per pixel.
inline constexpr int kTwipuNaPixel = 15;
inline int Pixely(int twipy) {
  return (twipy >= 0 ? twipy + kTwipuNaPixel / 2 : twipy - kTwipuNaPixel / 2) / kTwipuNaPixel;
}

// A UTF-8 text for Qt, with CR LF line breaks as LF.
QString QtText(std::string_view text);
std::string StdText(const QString& text);

// The windows' font: Tahoma where there is one, else the usual sans serif.
QFont PismoOken(QFont zaklad);
// The font in another size (points; 0 keeps it), bold or not.
QFont Zvetsene(QFont pismo, int body, bool tucne);

void NastavitBarvu(QWidget* w, QPalette::ColorRole role, const QColor& barva);

QLabel* Popisek(QWidget* rodic, const char* jmeno, const char* text, const QRect& kde);
QPushButton* Tlacitko(QWidget* rodic, const char* jmeno, const char* text, const QRect& kde);

// Calls akce when the left mouse button is pressed and released over w.
void NaKliknuti(QWidget* w, std::function<void()> akce);

// Calls `konec` (a dialog's reject, an event loop's quit) once the process is asked to stop
// (SIGTERM), looked at ten times a second while `rodic` lives: no wait for a person outlives
// a stop.
void UkoncitPriZastaveni(QObject* rodic, std::function<void()> konec);

}  // namespace zevlon
