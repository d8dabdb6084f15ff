// slidepress: converts presentations in batches to PDF or PostScript.
#include <QApplication>

#include "artwork.h"
#include "control_registry.h"
#include "frm_form.h"
#include "startup.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const pressmark::gui::TApartment apartment;
    QApplication::setApplicationName(QStringLiteral("slidepress"));
    QApplication::setDesktopFileName(QStringLiteral("slidepress"));
    QApplication::setWindowIcon(pressmark::gui::ProgramIcon());
    return pressmark::gui::RunSlidepress(app, pressmark::gui::DefaultFormServices(),
                                         pressmark::gui::DefaultSettingsFileName());
}
