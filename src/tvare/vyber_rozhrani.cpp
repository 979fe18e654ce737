#include "tvare/vyber_rozhrani.h"

#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "common/text.h"
#include "soubory/pravo.h"
#include "tvare/qt/qt_rozhrani.h"
#include "tvare/qt/samostatne_moznosti.h"
#include "tvare/terminal/moznosti_terminal.h"
#include "tvare/terminal/terminal.h"

namespace zevlon {

namespace {

constexpr const char* kBezDispleje = "offscreen";

std::string Promenna(const char* jmeno) {
  const char* h = std::getenv(jmeno);
  return h ? std::string(h) : std::string();
}

// While Qt looks for a display, its complaints about the ones it cannot open (and
// about the session it finds) are kept quiet: not finding one is an answer here,
// not an error.
QtMessageHandler predchozi = nullptr;
void TichaHlaseni(QtMsgType typ, const QMessageLogContext& kontext, const QString& zprava) {
  if (typ == QtFatalMsg && predchozi) predchozi(typ, kontext, zprava);
}

}  // namespace

std::string PlatformyQt(const std::string& zadane, bool wayland) {
  std::string seznam = zadane;
  if (seznam.empty()) seznam = wayland ? "wayland;xcb" : "xcb";
  if (Rozdelit(seznam, ';').back() != kBezDispleje) seznam += std::string(";") + kBezDispleje;
  return seznam;
}

ZvoleneRozhrani::ZvoleneRozhrani() {
  const bool displej = !Promenna("DISPLAY").empty() || !Promenna("WAYLAND_DISPLAY").empty();
  if (StejnyText(JmenoUzivatele(), "System")) {
    druh_ = DruhRozhrani::kTiche;
  } else if (displej && SpustitQt()) {
    druh_ = DruhRozhrani::kQt;
  } else if (isatty(STDIN_FILENO) && isatty(STDERR_FILENO)) {
    druh_ = DruhRozhrani::kTerminal;
  }
  switch (druh_) {
    case DruhRozhrani::kQt:
      ui_ = std::make_unique<QtRozhrani>();
      break;
    case DruhRozhrani::kTerminal:
      ui_ = std::make_unique<TerminaloveRozhrani>();
      break;
    case DruhRozhrani::kTiche:
      ui_ = std::make_unique<TicheRozhrani>();
      break;
  }
}

ZvoleneRozhrani::~ZvoleneRozhrani() {
  ui_.reset();
  aplikace_.reset();
}

int ZvoleneRozhrani::OtevritMoznosti() {
  switch (druh_) {
    case DruhRozhrani::kQt:
      return OtevritMoznostiVOkne();
    case DruhRozhrani::kTerminal:
      return MoznostiNaTerminalu(static_cast<TerminaloveRozhrani&>(*ui_));
    case DruhRozhrani::kTiche:
      break;
  }
  std::fputs("Možnosti aktualizací lze nastavit jen v okně (na displeji) nebo na terminálu.\n",
             stderr);
  return 1;
}

bool ZvoleneRozhrani::SpustitQt() {
  const std::string zadane = Promenna("QT_QPA_PLATFORM");
  // Qt gets no arguments of ours: the command line is the run's, not the toolkit's.
  program_ = "Zevlon";
  argumenty_ = {program_, "-platform", PlatformyQt(zadane, !Promenna("WAYLAND_DISPLAY").empty())};
  for (std::string& a : argumenty_)
    argv_.push_back(a.data());
  argv_.push_back(nullptr);
  argc_ = static_cast<int>(argumenty_.size());

  predchozi = qInstallMessageHandler(TichaHlaseni);
  aplikace_ = std::make_unique<QApplication>(argc_, argv_.data());
  qInstallMessageHandler(predchozi);
  // Only the last resort came up: there is no display to show windows on, unless
  // that was what the user asked for.
  if (QApplication::platformName() == kBezDispleje &&
      Rozdelit(zadane, ';').front() != kBezDispleje) {
    aplikace_.reset();
    return false;
  }
  return true;
}

}  // namespace zevlon
