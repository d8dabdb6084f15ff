// The main window, its job list and its settings, driven in-process with
// scripted dialogs on the offscreen platform.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "about_form.h"
#include "frm_export.h"
#include "frm_form.h"
#include "scripted_services.h"

using namespace pressmark::gui;
using pressmark::gui::testing::TScript;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

class TfrmFormTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString settingsPath() const { return dir_.filePath(QStringLiteral("slidepress.ini")); }

    template <typename W>
    static W* child(QObject& form, const char* name) {
        W* w = form.findChild<W*>(QString::fromLatin1(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }
    static QTreeWidget* list(TfrmForm& f) { return child<QTreeWidget>(f, "ListView"); }
    static QStringList column(TfrmForm& f, int c) {
        QStringList texts;
        for (int i = 0; i < list(f)->topLevelItemCount(); ++i) texts << list(f)->topLevelItem(i)->text(c);
        return texts;
    }
    // Imports files through the scripted open dialog.
    static void import(TScript& script, TfrmForm& form, const QStringList& files) {
        script.FilesToOpen = files;
        form.importButtonClick();
    }
    // The list, its buttons and Panel agree on whether there are rows.
    static void verifyFollowsList(TfrmForm& form, bool hasRows) {
        QCOMPARE(child<QPushButton>(form, "removeButton")->isEnabled(), hasRows);
        QCOMPARE(child<QPushButton>(form, "startButton")->isEnabled(), hasRows);
        QCOMPARE(child<QWidget>(form, "Panel")->isVisibleTo(&form), !hasRows);
    }

private slots:
    void init() { QFile::remove(settingsPath()); }

    void initialState_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("import") << "importButton" << " Import" << "" << true;
        QTest::newRow("remove") << "removeButton" << "Remove..." << "" << false;
        QTest::newRow("help") << "helpSpeedButton" << "  Help" << "" << true;
        QTest::newRow("browse") << "browseBitBtn" << "Browse" << "Select  Output Path" << true;
        QTest::newRow("open") << "openBitBtn" << "Open" << "Open Path" << true;
        QTest::newRow("start") << "startButton" << "Star" << "" << false;
        QTest::newRow("output") << "outputEdit" << QDir::homePath() << "Output Path" << true;
    }
    void initialState() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, hint);
        QFETCH(bool, enabled);
        TScript script;
        TfrmForm form(script.Services(), settingsPath());
        auto* w = form.findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        const QString shown = w->property(qobject_cast<QLineEdit*>(w) ? "text" : "text").toString();
        QCOMPARE(shown, text);
        QCOMPARE(w->toolTip(), hint);
        QCOMPARE(w->isEnabled(), enabled);
    }

    void initialWindow() {
        TScript script;
        TfrmForm form(script.Services(), settingsPath());
        QCOMPARE(form.windowTitle(), QStringLiteral("Pressmark"));
        QCOMPARE(form.size(), QSize(568, 398));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(child<QLineEdit>(form, "outputEdit")->isReadOnly());
        QVERIFY(child<QPushButton>(form, "startButton")->isDefault());

        QTreeWidget* view = list(form);
        QCOMPARE(view->topLevelItemCount(), 0);
        const QStringList headers{"NO.", "Name", "Path", "Status"};
        const int widths[] = {40, 100, 333, 75};
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(view->headerItem()->text(c), headers[c]);
            QCOMPARE(view->columnWidth(c), widths[c]);
        }
        QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
        verifyFollowsList(form, false);

        const auto items = [&](const char* name) {
            QStringList texts;
            auto* box = child<QComboBox>(form, name);
            for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
            return texts;
        };
        QCOMPARE(items("formateComboBox"), (QStringList{"Adobe PDF", "PostScript"}));
        QCOMPARE(items("sizeComboBox"),
                 (QStringList{"A0", "A1", "A2", "A3", "A4", "A5", "A6", "B5", "letter (8.5\"x11\")",
                              "Legal (8.5\"x14\")", "ledger (17\"x11\")", "11\"x17\""}));
        QCOMPARE(items("compComboBox"), (QStringList{"RLE", "G3Fax", "G4Fax", "Jpeg"}));
        QCOMPARE(child<QComboBox>(form, "formateComboBox")->currentIndex(), 0);
        QCOMPARE(child<QComboBox>(form, "sizeComboBox")->currentIndex(), 4);
        QCOMPARE(child<QComboBox>(form, "compComboBox")->currentIndex(), 0);

        QMenu* menu = child<QToolButton>(form, "helpSpeedButton")->menu();
        QVERIFY(menu);
        QStringList menuTexts;
        for (QAction* a : menu->actions()) menuTexts << a->text();
        QCOMPARE(menuTexts, (QStringList{"Help", "Home Page", "About..."}));

        TfrmExport* progress = form.ExportForm();
        QCOMPARE(progress->windowTitle(), QStringLiteral("Exporting"));
        QCOMPARE(progress->size(), QSize(293, 177));
        QCOMPARE(child<QLabel>(*progress, "cLabel")->text(), QStringLiteral("Exporting..."));
        QCOMPARE(child<QPushButton>(*progress, "Button1")->text(), QStringLiteral("&Abort"));
        QVERIFY(!progress->isVisible());
        TaboutForm* about = form.AboutForm();
        QCOMPARE(about->windowTitle(), QStringLiteral("About..."));
        QCOMPARE(child<QLabel>(*about, "versionLabel")->text(), QStringLiteral("Version: 2.1"));
        QCOMPARE(child<QPushButton>(*about, "Button1")->text(), QStringLiteral("&Ok"));
        QVERIFY(!about->isVisible());
    }

    // Rows are numbered by the row count before each addition, named by the
    // file name cut before its first dot.
    void importNamesAndNumbers_data() {
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<int>("removeRow");  // -1: nothing removed
        QTest::addColumn<QStringList>("second");
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("numbering after removing row 2")
            << QStringList{"/t/a.ppt", "/t/b.ppt", "/t/c.ppt"} << 1 << QStringList{"/t/d.ppt", "/t/e.ppt", "/t/f.ppt"}
            << QStringList{"1", "3", "3", "4", "5"} << QStringList{"a", "c", "d", "e", "f"};
        QTest::newRow("deck.ppt and deck.pps give two rows named deck")
            << QStringList{"/t/deck.ppt", "/t/deck.pps"} << -1 << QStringList{} << QStringList{"1", "2"}
            << QStringList{"deck", "deck"};
        QTest::newRow("Q3.review.ppt is named Q3")
            << QStringList{"/t/Q3.review.ppt"} << -1 << QStringList{} << QStringList{"1"} << QStringList{"Q3"};
        QTest::newRow("every format the office reads")
            << QStringList{"/t/a.pptx", "/t/b.ppsx", "/t/c.odp"} << -1 << QStringList{}
            << QStringList{"1", "2", "3"} << QStringList{"a", "b", "c"};
    }
    void importNamesAndNumbers() {
        QFETCH(QStringList, first);
        QFETCH(int, removeRow);
        QFETCH(QStringList, second);
        QFETCH(QStringList, numbers);
        QFETCH(QStringList, names);
        TScript script;
        TfrmForm form(script.Services(), settingsPath());
        import(script, form, first);
        if (removeRow >= 0) {
            list(form)->setCurrentItem(list(form)->topLevelItem(removeRow));
            form.removeButtonClick();
        }
        if (!second.isEmpty()) import(script, form, second);
        QCOMPARE(column(form, 0), numbers);
        QCOMPARE(column(form, 1), names);
        for (const QString& status : column(form, 3)) QCOMPARE(status, QStringLiteral("-"));
        QCOMPARE(column(form, 2).last(), (second.isEmpty() ? first : second).last());
        QCOMPARE(list(form)->currentItem(), list(form)->topLevelItem(0));
        verifyFollowsList(form, true);
    }

    void importDialogAcceptsWhatTheOfficeReads() {
        TScript script;
        TfrmForm form(script.Services(), settingsPath());
        form.importButtonClick();
        QCOMPARE(script.OpenTitle, QStringLiteral("Select PowerPoint Files"));
        // The patterns inside the filter's parentheses, as a file dialog applies them.
        const QString patterns = QRegularExpression(QStringLiteral("\\(([^)]*)\\)")).match(script.OpenFilter).captured(1);
        for (const char* file : {"a.ppt", "a.pps", "a.pptx", "a.ppsx", "a.odp"}) {
            bool matched = false;
            for (const QString& p : patterns.split(u' ', Qt::SkipEmptyParts))
                matched |= QRegularExpression::fromWildcard(p, Qt::CaseInsensitive).match(QLatin1String(file)).hasMatch();
            QVERIFY2(matched, file);
        }
    }

    void cancelledImportLeavesEmptyList() {
        TScript script;
        TfrmForm form(script.Services(), settingsPath());
        form.importButtonClick();
        QCOMPARE(script.OpenDialogs, 1);
        QCOMPARE(list(form)->topLevelItemCount(), 0);
        verifyFollowsList(form, false);
    }

    void importWithoutPresentationApplication() {
        TScript script;
        script.PresentationAppInstalled = false;
        TfrmForm form(script.Services(), settingsPath());
        import(script, form, {"/t/a.ppt"});
        QCOMPARE(script.Informations, QStringList{"PowerPoint   may   not   be   installed"});
        QCOMPARE(script.OpenDialogs, 0);
        QCOMPARE(list(form)->topLevelItemCount(), 0);
        verifyFollowsList(form, false);
    }

    void removeFollowsList() {
        TScript script;
        TfrmForm form(script.Services(), settingsPath());
        import(script, form, {"/t/a.ppt", "/t/b.ppt"});
        list(form)->setCurrentItem(nullptr);
        list(form)->clearSelection();
        form.removeButtonClick();  // nothing selected: nothing removed
        QCOMPARE(list(form)->topLevelItemCount(), 2);

        list(form)->setCurrentItem(list(form)->topLevelItem(0));
        form.removeButtonClick();
        QCOMPARE(column(form, 1), QStringList{"b"});
        QCOMPARE(list(form)->currentItem(), list(form)->topLevelItem(0));
        verifyFollowsList(form, true);

        form.removeButtonClick();
        QCOMPARE(list(form)->topLevelItemCount(), 0);
        verifyFollowsList(form, false);
    }

    // ---- settings ----

    void settingsDefaultsWithoutFileAndWrittenOnClose() {
        TScript script;
        TfrmForm form(script.Services(), settingsPath());
        form.show();
        QCOMPARE(child<QLineEdit>(form, "outputEdit")->text(), QDir::homePath());
        form.close();
        QCOMPARE(readAll(settingsPath()), QByteArray("[Set]\nformateComboBox=0\nsizeComboBox=4\ncompComboBox=0\noutputEdit=") +
                                              QDir::homePath().toUtf8() + "\n");
        QVERIFY(script.Errors.isEmpty());
    }

    void settingsRoundTrip() {
        {
            TScript script;
            script.FolderToChoose = dir_.filePath(QStringLiteral("out"));
            QDir().mkpath(script.FolderToChoose);
            TfrmForm form(script.Services(), settingsPath());
            form.show();
            child<QComboBox>(form, "formateComboBox")->setCurrentIndex(1);
            child<QComboBox>(form, "sizeComboBox")->setCurrentIndex(11);
            child<QComboBox>(form, "compComboBox")->setCurrentIndex(3);
            form.browseBitBtnClick();
            QCOMPARE(script.FolderTitle, QStringLiteral("Select Output Path"));
            form.close();
        }
        TScript script;
        TfrmForm form(script.Services(), settingsPath());
        form.show();
        QCOMPARE(child<QComboBox>(form, "formateComboBox")->currentIndex(), 1);
        QCOMPARE(child<QComboBox>(form, "sizeComboBox")->currentIndex(), 11);
        QCOMPARE(child<QComboBox>(form, "compComboBox")->currentIndex(), 3);
        QCOMPARE(child<QLineEdit>(form, "outputEdit")->text(), dir_.filePath(QStringLiteral("out")));
    }

    // Files written by hand or on Windows read as the Windows profile
    // functions read them; what we do not own survives our write.
    void settingsFileSyntax_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<int>>("indices");
        QTest::addColumn<QString>("output");
        QTest::newRow("backslashes are not escapes")
            << QByteArray("[Set]\r\nformateComboBox=1\r\nsizeComboBox=2\r\ncompComboBox=3\r\noutputEdit=D:\\Out\\new\r\n")
            << QList<int>{1, 2, 3} << "D:\\Out\\new";
        QTest::newRow("names ignore case, blanks and quotes are dropped")
            << QByteArray("; kept comment\n[other]\nx=1\n[SET]\n  FormateComboBox = 1 \nOUTPUTEDIT = \"/srv/my out\" \n")
            << QList<int>{1, 4, 0} << "/srv/my out";
        QTest::newRow("out-of-range and non-integer indices fall back to the defaults")
            << QByteArray("[Set]\nformateComboBox=2\nsizeComboBox=12\ncompComboBox=x1\n") << QList<int>{0, 4, 0}
            << QDir::homePath();
        QTest::newRow("negative index falls back") << QByteArray("[Set]\nsizeComboBox=-1\n") << QList<int>{0, 4, 0}
                                                   << QDir::homePath();
    }
    void settingsFileSyntax() {
        QFETCH(QByteArray, file);
        QFETCH(QList<int>, indices);
        QFETCH(QString, output);
        writeFile(settingsPath(), file);
        TScript script;
        TfrmForm form(script.Services(), settingsPath());
        form.show();
        QCOMPARE(child<QComboBox>(form, "formateComboBox")->currentIndex(), indices[0]);
        QCOMPARE(child<QComboBox>(form, "sizeComboBox")->currentIndex(), indices[1]);
        QCOMPARE(child<QComboBox>(form, "compComboBox")->currentIndex(), indices[2]);
        QCOMPARE(child<QLineEdit>(form, "outputEdit")->text(), output);
        form.close();
        const QByteArray written = readAll(settingsPath());
        // Our keys are written back unescaped, other lines are kept as they were.
        QVERIFY2(written.contains("outputEdit=" + output.toUtf8() + "\n"), written.constData());
        if (file.contains("kept comment"))
            QCOMPARE(written, QByteArray("; kept comment\n[other]\nx=1\n[SET]\nformateComboBox=1\n"
                                         "outputEdit=/srv/my out\nsizeComboBox=4\ncompComboBox=0\n"));
    }

    void unwritableSettingsShowsOneErrorAndCloses() {
        // A settings path below a regular file can never be created, even for root.
        const QString blocker = dir_.filePath(QStringLiteral("blocker"));
        writeFile(blocker, "x");
        const QString path = blocker + QStringLiteral("/slidepress.ini");
        TScript script;
        TfrmForm form(script.Services(), path);
        form.show();
        QVERIFY(form.close());
        QVERIFY(!form.isVisible());
        QCOMPARE(script.Errors, QStringList{"Unable to write to " + path});
        form.show();
        QVERIFY(form.close());
        QCOMPARE(script.Errors.size(), 1);
    }

    // ---- help menu and About box ----

    void helpMenuOpensTheWebSiteAndAbout() {
        TScript script;
        TfrmForm form(script.Services(), settingsPath());
        form.erer1Click();
        form.Home1Click();
        QCOMPARE(script.OpenedUrls.size(), 2);
        QVERIFY(script.OpenedUrls[0].scheme().startsWith(QStringLiteral("http")));
        QCOMPARE(script.OpenedUrls[0], script.OpenedUrls[1]);

        bool shownModal = false;
        QTimer::singleShot(0, [&] {
            shownModal = form.AboutForm()->isVisible() && form.AboutForm()->isModal();
            auto* link = child<QLabel>(*form.AboutForm(), "linkLabel");
            emit link->linkActivated(link->text().section(u'"', 1, 1));
            child<QPushButton>(*form.AboutForm(), "Button1")->click();
        });
        form.Abo1Click();
        QVERIFY(shownModal);
        QVERIFY(!form.AboutForm()->isVisible());
        QCOMPARE(script.OpenedUrls.size(), 3);
        QCOMPARE(script.OpenedUrls[2], script.OpenedUrls[0]);
    }

    void openShowsTheDestination() {
        TScript script;
        TfrmForm form(script.Services(), settingsPath());
        form.openBitBtnClick();
        QCOMPARE(script.OpenedUrls, QList<QUrl>{QUrl::fromLocalFile(QDir::homePath())});
    }

    void closingIdleProgressWindowAsksNothing() {
        TScript script;
        TfrmForm form(script.Services(), settingsPath());
        form.ExportForm()->show();
        QVERIFY(form.ExportForm()->close());
        QVERIFY(!form.ExportForm()->isVisible());
        QVERIFY(script.Questions.isEmpty());
    }
};

QTEST_MAIN(TfrmFormTest)
#include "frm_form_test.moc"
