// The program's start-up: with the slide-show control missing it shows the
// error and ends without its main window; otherwise the splash is gone by the
// time the main window shows.
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "about_form.h"
#include "frm_export.h"
#include "frm_flash.h"
#include "frm_form.h"
#include "startup.h"
#include "scripted_services.h"

using namespace pressmark::gui;
using pressmark::gui::testing::TScript;

class TStartupTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void missingControlEndsWithoutMainWindow() {
        TScript script;
        script.CreateControl = []() -> std::unique_ptr<TControlProbe> {
            throw std::runtime_error("Class not registered");
        };
        bool mainWindowSeen = false;
        TFormServices services = script.Services();
        const auto recordError = services.Error;
        services.Error = [&](QWidget* parent, const QString& text) {
            // Only the splash is on screen while the error is shown.
            for (QWidget* w : QApplication::topLevelWidgets())
                mainWindowSeen |= qobject_cast<TfrmForm*>(w) != nullptr;
            QVERIFY(qobject_cast<TfrmFlash*>(parent) && parent->isVisible());
            recordError(parent, text);
        };
        const int code = RunSlidepress(*qApp, services, dir_.filePath(QStringLiteral("s.ini")));
        QCOMPARE(code, 1);
        QCOMPARE(script.Errors, QStringList{"Class not registered"});
        QVERIFY(!mainWindowSeen);
    }

    void splashIsGoneWhenMainWindowShows() {
        TScript script;
        bool splashLeft = true, othersHidden = false, checked = false;
        QTimer poll;
        // Looks once the main window is on screen (the splash is shown and
        // painted before the main window exists, so an earlier look finds it).
        connect(&poll, &QTimer::timeout, [&] {
            TfrmForm* form = nullptr;
            bool splash = false;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                splash |= qobject_cast<TfrmFlash*>(w) != nullptr;
                if (auto* f = qobject_cast<TfrmForm*>(w); f && f->isVisible()) form = f;
            }
            if (!form) return;
            poll.stop();
            splashLeft = splash;
            othersHidden = !form->AboutForm()->isVisible() && !form->ExportForm()->isVisible();
            checked = true;
            form->close();
        });
        poll.start(0);
        QTimer::singleShot(20000, qApp, &QCoreApplication::quit);  // never hang the suite
        QCOMPARE(RunSlidepress(*qApp, script.Services(), dir_.filePath(QStringLiteral("s.ini"))), 0);
        QVERIFY(checked);
        QVERIFY(!splashLeft);
        QVERIFY(othersHidden);
        QCOMPARE(QApplication::applicationDisplayName(), QStringLiteral("Pressmark"));
    }
};

QTEST_MAIN(TStartupTest)
#include "startup_test.moc"
