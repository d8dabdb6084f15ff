#pragma once
// Everything the windows ask of the desktop and of the system: dialogs,
// message boxes, opening folders and web addresses, the presentation
// application probe and the conversion run. The program uses the real ones;
// tests replace single members with scripted answers, so no test ever blocks
// on a modal dialog or opens a browser.
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>

#include "conversion_runner.h"

class QWidget;

namespace pressmark::gui {

// Whatever proves at start-up that the slide-show control can be created.
// Destroyed with the main window.
class TControlProbe {
public:
    virtual ~TControlProbe() = default;
};

struct TFormServices {
    // Open-file dialog, several existing files; empty list = cancelled.
    std::function<QStringList(QWidget* parent, const QString& title, const QString& filter)> OpenFiles;
    // Folder dialog opening at startFolder; empty = cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& startFolder)> ChooseFolder;
    // Message boxes: information with OK, error with OK, question with Yes/No.
    std::function<void(QWidget* parent, const QString& text)> Information;
    std::function<void(QWidget* parent, const QString& text)> Error;
    std::function<bool(QWidget* parent, const QString& text)> AskYesNo;
    // Shell "open" on a folder or web address; failures are not reported.
    std::function<void(const QUrl& url)> OpenUrl;
    // True when the presentation application is installed (registered).
    std::function<bool()> PresentationAppInstalled;
    // Creates the slide-show control once to prove it is registered; throws
    // with the system's message when it is not.
    std::function<std::unique_ptr<TControlProbe>()> CreateControl;
    TConversionRunner RunConversion;
};

// The real dialogs, message boxes, desktop services, registry probe and run.
TFormServices DefaultFormServices();

}  // namespace pressmark::gui
