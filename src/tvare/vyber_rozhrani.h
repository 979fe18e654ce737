// Which user interface a start of the program gets: none for the user "System",
// windows when there is a display that Qt can open, the terminal for a person at one,
// else none, and with none the run is unattended. Holds the QApplication when windows
// are used; the chosen interface lives as long as the object.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "rozhrani/rozhrani.h"

class QApplication;

namespace zevlon {

enum class DruhRozhrani { kTiche, kQt, kTerminal };

class ZvoleneRozhrani {
 public:
  ZvoleneRozhrani();
  ~ZvoleneRozhrani();
  ZvoleneRozhrani(const ZvoleneRozhrani&) = delete;
  ZvoleneRozhrani& operator=(const ZvoleneRozhrani&) = delete;

  Rozhrani& Aktivni() { return *ui_; }
  DruhRozhrani Druh() const { return druh_; }
  // The options on their own (--moznosti): the window on a display, the questions at a
  // terminal. Answers the exit status: 0 saved, 2 closed without saving, 1 when there
  // is neither (said on stderr).
  int OtevritMoznosti();

 private:
  // Starts Qt on the display; false (and no application) when it cannot be opened.
  bool SpustitQt();

  std::string program_;
  std::vector<std::string> argumenty_;
  std::vector<char*> argv_;
  int argc_ = 0;
  std::unique_ptr<QApplication> aplikace_;
  std::unique_ptr<Rozhrani> ui_;
  DruhRozhrani druh_ = DruhRozhrani::kTiche;
};

// The Qt platforms to try for the environment (QT_QPA_PLATFORM when set, else
// Wayland and X11 by what is there), always ending with "offscreen", which stands
// for "no display after all" unless it was asked for first.
std::string PlatformyQt(const std::string& zadane, bool wayland);

}  // namespace zevlon
