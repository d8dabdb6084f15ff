#include "form_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

#include "control_registry.h"
#include "core_runner.h"

namespace pressmark::gui {
namespace {

QString boxTitle() { return QApplication::applicationDisplayName(); }

}  // namespace

TFormServices DefaultFormServices() {
    TFormServices services;
    // The open-file dialog remembers its folder for the session, like the platform's.
    auto lastImportFolder = std::make_shared<QString>();
    services.OpenFiles = [lastImportFolder](QWidget* parent, const QString& title, const QString& filter) {
        const QStringList files = QFileDialog::getOpenFileNames(parent, title, *lastImportFolder, filter);
        if (!files.isEmpty()) *lastImportFolder = QFileInfo(files.front()).absolutePath();
        return files;
    };
    services.ChooseFolder = [](QWidget* parent, const QString& title, const QString& startFolder) {
        return QFileDialog::getExistingDirectory(parent, title, startFolder);
    };
    services.Information = [](QWidget* parent, const QString& text) {
        QMessageBox::information(parent, boxTitle(), text, QMessageBox::Ok);
    };
    services.Error = [](QWidget* parent, const QString& text) {
        QMessageBox::critical(parent, boxTitle(), text, QMessageBox::Ok);
    };
    services.AskYesNo = [](QWidget* parent, const QString& text) {
        return QMessageBox::question(parent, boxTitle(), text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    };
    services.OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    services.PresentationAppInstalled = [] { return PresentationApplicationRegistered(); };
    services.CreateControl = [] { return CreateSlideportProbe(); };
    services.RunConversion = [run = CoreConversionRunner(SlideportFactory())](
                                 const TRunRequest& request, TRunProgress& progress, std::stop_token stop) {
        struct TEndOffice {
            ~TEndOffice() { EndIdlePresentationApplication(); }
        } endOffice;  // also when the run throws
        run(request, progress, std::move(stop));
    };
    return services;
}

}  // namespace pressmark::gui
