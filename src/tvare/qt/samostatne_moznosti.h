// The options window opened on its own (Zevlon --moznosti on a display), without the
// progress window of a run.
#pragma once

namespace zevlon {

// Shows the options window and runs the window events until it closes. Answers 0 when
// OK saved the options, 2 when the window was closed without saving. Needs a running
// QApplication.
int OtevritMoznostiVOkne();

}  // namespace zevlon
