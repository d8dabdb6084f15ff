#pragma once
// The program's start-up: splash, title, windows, message loop.
#include <QString>

#include "form_services.h"

class QApplication;

namespace pressmark::gui {

// Shows the splash, creates the main window (which creates the slide-show
// control, then the About box and the progress window), drops the splash and
// runs the message loop until the main window closes. When a window cannot be
// created (the control is not registered) the error is shown while only the
// splash is on screen and the program ends with 1, its main window never shown.
int RunSlidepress(QApplication& app, TFormServices services, QString settingsFileName);

}  // namespace pressmark::gui
