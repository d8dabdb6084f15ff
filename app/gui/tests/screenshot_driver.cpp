// Drives the real program's windows for scripts/screenshots.sh: imports a
// deck through a scripted dialog, takes a picture of the screen with
// ImageMagick's `import` when the main window is ready and while the progress
// window shows a run, and exits. Usage: slidepress_screenshots <deck> <out dir>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "artwork.h"
#include "form_services.h"
#include "frm_export.h"
#include "frm_form.h"
#include "product_info.h"

using namespace pressmark::gui;

namespace {

bool Shoot(const QString& file) {
    QApplication::processEvents();
    const int code = QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
    std::printf("%s %s\n", code == 0 ? "saved" : "FAILED", qPrintable(file));
    return code == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: slidepress_screenshots <deck> <out dir>\n");
        return 1;
    }
    const QString deck = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    QApplication::setApplicationDisplayName(kProductName);
    QApplication::setWindowIcon(ProgramIcon());
    QTemporaryDir work;

    bool ok = true, progressShot = false;
    TFormServices services = DefaultFormServices();
    services.OpenFiles = [&](QWidget*, const QString&, const QString&) { return QStringList{deck}; };
    services.AskYesNo = [](QWidget*, const QString&) { return false; };
    services.OpenUrl = [](const QUrl&) {};
    services.Error = [&](QWidget*, const QString& text) {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
        ok = false;
    };
    services.Information = services.Error;
    TfrmForm form(services, work.filePath(QStringLiteral("slidepress.ini")));
    form.show();
    form.findChild<QLineEdit*>(QStringLiteral("outputEdit"))->setText(work.path());
    form.importButtonClick();
    form.importButtonClick();  // two rows, so the run has a second deck to show

    // The progress window is shot while the run is under way.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!progressShot && form.ExportForm()->isVisible() && form.Exporting) {
            progressShot = true;
            ok &= Shoot(out.filePath(QStringLiteral("progress-window.png")));
        }
    });
    QObject::connect(&form, &TfrmForm::RunFinished, [&] {
        ok &= Shoot(out.filePath(QStringLiteral("main-window-after-run.png")));
        app.quit();
    });
    QTimer::singleShot(500, [&] {
        ok &= Shoot(out.filePath(QStringLiteral("main-window.png")));
        poll.start(200);
        form.startButtonClick();
    });
    QTimer::singleShot(300000, &app, &QApplication::quit);
    app.exec();
    return ok && progressShot ? 0 : 1;
}
