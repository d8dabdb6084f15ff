// A run seen from the windows: the worker's reports reach the rows, the
// progress list and the bars; "&Abort" and closing the progress window stop
// the run at the next boundary on any deck; the window answers throughout.
// The run is a scripted stand-in that pauses on a gate inside one deck.
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <condition_variable>
#include <mutex>

#include "frm_export.h"
#include "frm_form.h"
#include "scripted_services.h"

using namespace pressmark::gui;
using pressmark::gui::testing::TScript;

namespace {

// Holds the run inside a deck until the test opens it or the run is stopped.
class TGate {
public:
    // True when the wait ended by a stop request.
    bool Wait(std::stop_token stop) {
        std::unique_lock lock(mutex_);
        waiting_ = true;
        cv_.wait(lock, stop, [this] { return open_; });
        return stop.stop_requested() && !open_;
    }
    void Open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        cv_.notify_all();
    }
    bool Waiting() {
        std::lock_guard lock(mutex_);
        return waiting_;
    }

private:
    std::mutex mutex_;
    std::condition_variable_any cv_;
    bool open_ = false;
    bool waiting_ = false;
};

// Two pages per deck; a deck named "bad" fails; the gate sits between the
// two pages of deck gateDeck.
TConversionRunner ScriptedRun(TGate& gate, int gateDeck, TRunRequest* seen) {
    return [&gate, gateDeck, seen](const TRunRequest& request, TRunProgress& progress, std::stop_token stop) {
        if (seen) *seen = request;
        const int decks = int(request.Jobs.size());
        for (int d = 0; d < decks; ++d) {
            if (stop.stop_requested()) return;
            const QString& name = request.Jobs[d].Name;
            progress.DeckStarted(d, decks);
            progress.Line(QStringLiteral("10:00:00:Exporting ") + name);
            progress.PageDone(d, 1, 2);
            if (d == gateDeck && gate.Wait(stop)) {
                progress.Line(QStringLiteral("10:00:01:Aborted ") + name);
                progress.DeckFinished(d, false, QStringLiteral("Aborted"));
                return;
            }
            if (name == QLatin1String("bad")) {
                progress.Line(QStringLiteral("10:00:01:Failed bad: cannot read Slide2.BMP"));
                progress.DeckFinished(d, false, QStringLiteral("Failed: cannot read Slide2.BMP"));
                continue;
            }
            progress.PageDone(d, 2, 2);
            progress.DeckFinished(d, true, QStringLiteral("Completed"));
        }
    };
}

}  // namespace

class TExportRunTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    template <typename W>
    static W* child(QObject& form, const char* name) {
        W* w = form.findChild<W*>(QString::fromLatin1(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }
    static QStringList statuses(TfrmForm& form) {
        auto* view = child<QTreeWidget>(form, "ListView");
        QStringList texts;
        for (int i = 0; i < view->topLevelItemCount(); ++i) texts << view->topLevelItem(i)->text(3);
        return texts;
    }
    static QStringList progressLines(TfrmForm& form) {
        auto* box = child<QListWidget>(*form.ExportForm(), "exportListBox");
        QStringList lines;
        for (int i = 0; i < box->count(); ++i) lines << box->item(i)->text();
        return lines;
    }
    void start(TScript& script, TfrmForm& form, const QStringList& files) {
        script.FilesToOpen = files;
        form.importButtonClick();
        form.startButtonClick();
    }

private slots:
    void runReportsToRowsListAndBars() {
        TGate gate;
        TRunRequest seen;
        TScript script;
        script.Runner = ScriptedRun(gate, 0, &seen);
        script.Answer = [](const QString& q) { return q == QLatin1String("Open the output directory now ? "); };
        TfrmForm form(script.Services(), dir_.filePath(QStringLiteral("s.ini")));
        form.show();
        QSignalSpy finished(&form, &TfrmForm::RunFinished);
        start(script, form, {"/t/one.ppt", "/t/bad.ppt", "/t/three.pps"});

        QTRY_VERIFY(gate.Waiting());
        // While the run waits in the first deck the window is live and shows it.
        QTRY_COMPARE(child<QProgressBar>(*form.ExportForm(), "pageProgressBar")->value(), 1);
        QVERIFY(form.ExportForm()->isVisible());
        QVERIFY(form.Exporting);
        QVERIFY(!child<QPushButton>(form, "startButton")->isEnabled());
        QVERIFY(!child<QPushButton>(form, "importButton")->isEnabled());
        QVERIFY(!child<QPushButton>(form, "removeButton")->isEnabled());
        QCOMPARE(child<QProgressBar>(*form.ExportForm(), "pageProgressBar")->maximum(), 2);
        QCOMPARE(child<QProgressBar>(*form.ExportForm(), "deckProgressBar")->maximum(), 3);
        QCOMPARE(progressLines(form), QStringList{"10:00:00:Exporting one"});

        gate.Open();
        QVERIFY(finished.wait(5000));
        QCOMPARE(statuses(form), (QStringList{"Completed", "Failed: cannot read Slide2.BMP", "Completed"}));
        QVERIFY(progressLines(form).contains("10:00:01:Failed bad: cannot read Slide2.BMP"));
        QCOMPARE(progressLines(form).last(), QStringLiteral("10:00:00:Exporting three"));
        QCOMPARE(child<QProgressBar>(*form.ExportForm(), "deckProgressBar")->value(), 3);
        QVERIFY(!form.ExportForm()->isVisible());
        QVERIFY(!form.Exporting);
        QCOMPARE(script.Questions, QStringList{"Open the output directory now ? "});
        QCOMPARE(script.OpenedUrls, QList<QUrl>{QUrl::fromLocalFile(QDir::homePath())});
        QVERIFY(child<QPushButton>(form, "startButton")->isEnabled());
        QVERIFY(child<QPushButton>(form, "removeButton")->isEnabled());

        QCOMPARE(int(seen.Jobs.size()), 3);
        QCOMPARE(seen.Jobs[2].Name, QStringLiteral("three"));
        QCOMPARE(seen.Jobs[2].Path, QStringLiteral("/t/three.pps"));
        QCOMPARE(seen.PaperIndex, 4);
        QCOMPARE(seen.Destination, QDir::homePath());
    }

    // How the user asks, what they answer, and in which deck.
    void abortQuestion_data() {
        QTest::addColumn<bool>("byClosing");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<int>("gateDeck");
        QTest::addColumn<QStringList>("statuses");
        QTest::addColumn<bool>("windowAfterAnswer");
        const QStringList done{"Completed", "Completed", "Completed"};
        QTest::newRow("Abort, Yes, first deck") << false << true << 0 << QStringList{"Aborted", "-", "-"} << true;
        QTest::newRow("Abort, Yes, second deck") << false << true << 1 << QStringList{"Completed", "Aborted", "-"}
                                                << true;
        QTest::newRow("Abort, No") << false << false << 1 << done << true;
        QTest::newRow("close, Yes, second deck") << true << true << 1 << QStringList{"Completed", "Aborted", "-"}
                                                << false;
        QTest::newRow("close, No") << true << false << 0 << done << true;
    }
    void abortQuestion() {
        QFETCH(bool, byClosing);
        QFETCH(bool, yes);
        QFETCH(int, gateDeck);
        QFETCH(QStringList, statuses);
        QFETCH(bool, windowAfterAnswer);
        TGate gate;
        TScript script;
        script.Runner = ScriptedRun(gate, gateDeck, nullptr);
        script.Answer = [yes](const QString& q) { return yes && q == QLatin1String("Stop Exporting Now ? "); };
        TfrmForm form(script.Services(), dir_.filePath(QStringLiteral("s.ini")));
        form.show();
        QSignalSpy finished(&form, &TfrmForm::RunFinished);
        start(script, form, {"/t/a.ppt", "/t/b.ppt", "/t/c.ppt"});
        QTRY_VERIFY(gate.Waiting());

        if (byClosing)
            form.ExportForm()->close();
        else
            child<QPushButton>(*form.ExportForm(), "Button1")->click();
        QCOMPARE(script.Questions, QStringList{"Stop Exporting Now ? "});
        QCOMPARE(form.ExportForm()->isVisible(), windowAfterAnswer);
        QCOMPARE(form.Exporting, !yes);
        if (yes && !byClosing) {
            QCOMPARE(child<QLabel>(*form.ExportForm(), "cLabel")->text(), QStringLiteral("Stopping..."));
            QVERIFY(!child<QPushButton>(*form.ExportForm(), "Button1")->isEnabled());
        }
        if (!yes) gate.Open();  // the run goes on
        QVERIFY(finished.wait(5000));
        QCOMPARE(this->statuses(form), statuses);
        QVERIFY(!form.ExportForm()->isVisible());
        QCOMPARE(script.Questions.last(), QStringLiteral("Open the output directory now ? "));
        QCOMPARE(script.Questions.count(QStringLiteral("Stop Exporting Now ? ")), 1);
    }

    void failedRunIsReported() {
        TScript script;
        script.Runner = [](const TRunRequest&, TRunProgress&, std::stop_token) {
            throw std::runtime_error("the slide control could not be created");
        };
        TfrmForm form(script.Services(), dir_.filePath(QStringLiteral("s.ini")));
        QSignalSpy finished(&form, &TfrmForm::RunFinished);
        start(script, form, {"/t/a.ppt"});
        QVERIFY(finished.wait(5000));
        QCOMPARE(script.Errors, QStringList{"the slide control could not be created"});
        QVERIFY(progressLines(form).contains("the slide control could not be created"));
        QVERIFY(child<QPushButton>(form, "startButton")->isEnabled());
    }

    // The window can go while a run waits inside a deck: it stops the run and
    // joins the worker instead of hanging or reporting to a dead window.
    void destroyingTheWindowStopsTheRun() {
        TGate gate;
        TScript script;
        script.Runner = ScriptedRun(gate, 0, nullptr);
        auto form = std::make_unique<TfrmForm>(script.Services(), dir_.filePath(QStringLiteral("s.ini")));
        start(script, *form, {"/t/a.ppt", "/t/b.ppt"});
        QTRY_VERIFY(gate.Waiting());
        form.reset();
        QVERIFY(script.Errors.isEmpty());
    }
};

QTEST_MAIN(TExportRunTest)
#include "export_run_test.moc"
