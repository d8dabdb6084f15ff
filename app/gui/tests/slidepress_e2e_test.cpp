// The program converts a real presentation through its own start handler,
// with the real control and the real presentation application; only the
// dialogs are scripted. Skipped when the build has not registered the modules.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "form_services.h"
#include "../../core/tests/support/test_files.h"
#include "frm_form.h"

using namespace pressmark::gui;

namespace {

bool ModulesRegistered() {
    QFile reg(qEnvironmentVariable("PRESSMARK_CLASSES_REG"));
    if (!reg.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = reg.readAll();
    return text.contains("{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13}") &&
           text.toLower().contains("powerpoint.application");
}

}  // namespace

class TSlidepressEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void convertsTheBasicDeck() {
        if (!ModulesRegistered()) QSKIP("Slideport.OCX and the presentation application are not registered in this build");
        QTemporaryDir out;
        QTemporaryDir settings;
        const QString deck = QStringLiteral(PRESSMARK_CORPUS_DIR "/basic_test_ppt_file.ppt");
        QVERIFY(QFile::exists(deck));

        QStringList errors, questions;
        TFormServices services = DefaultFormServices();
        services.OpenFiles = [&](QWidget*, const QString&, const QString&) { return QStringList{deck}; };
        services.Information = [&](QWidget*, const QString& text) { errors << text; };
        services.Error = [&](QWidget*, const QString& text) { errors << text; };
        services.AskYesNo = [&](QWidget*, const QString& text) {
            questions << text;
            return false;
        };
        services.OpenUrl = [](const QUrl&) {};

        TfrmForm form(services, settings.filePath(QStringLiteral("slidepress.ini")));
        form.show();
        form.findChild<QLineEdit*>(QStringLiteral("outputEdit"))->setText(out.path());
        form.importButtonClick();
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(u'\n')));
        QSignalSpy finished(&form, &TfrmForm::RunFinished);
        form.startButtonClick();
        QVERIFY(finished.wait(240000));

        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(u'\n')));
        QCOMPARE(form.findChild<QTreeWidget*>(QStringLiteral("ListView"))->topLevelItem(0)->text(3),
                 QStringLiteral("Completed"));
        QCOMPARE(pressmark::testing::PdfPageCount(out.filePath(QStringLiteral("basic_test_ppt_file.pdf")).toStdString()), 2);
        QCOMPARE(questions, QStringList{"Open the output directory now ? "});
    }
};

int main(int argc, char* argv[]) {
    // On a display when there is one (CI starts Xvfb), offscreen otherwise.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TSlidepressEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}
#include "slidepress_e2e_test.moc"
