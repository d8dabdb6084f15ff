// The start button through the real conversion core, with a stand-in for the
// slide-show control that writes slide images: rows, progress and documents
// come out as the user sees them. Documents are checked with qpdf.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <thread>

#include "core_runner.h"
#include "frm_export.h"
#include "frm_form.h"
#include "../../core/tests/support/test_files.h"
#include "scripted_services.h"

using namespace pressmark::gui;
using pressmark::gui::testing::TScript;

namespace {

// A 24-bit BMP of w x h pixels in one colour, written by hand.
QByteArray Bmp(int w, int h, char blue, char green, char red) {
    const int stride = (w * 3 + 3) / 4 * 4;
    QByteArray data;
    const auto u32 = [&](quint32 v) { for (int i = 0; i < 4; ++i) data.append(char(v >> (8 * i))); };
    const auto u16 = [&](quint16 v) { data.append(char(v)); data.append(char(v >> 8)); };
    data.append("BM");
    u32(54 + stride * h); u32(0); u32(54);
    u32(40); u32(w); u32(h); u16(1); u16(24); u32(0); u32(stride * h); u32(2835); u32(2835); u32(0); u32(0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) { data.append(blue); data.append(green); data.append(red); }
        data.append(QByteArray(stride - w * 3, '\0'));
    }
    return data;
}

// Writes `slides` images for every export, and records the thread it was made
// and used on (the control's apartment rule).
class TFakeExporter final : public pressmark::ISlideExporter {
public:
    TFakeExporter(int slides, std::thread::id* usedOn) : slides_(slides), usedOn_(usedOn) { *usedOn_ = std::this_thread::get_id(); }
    bool InitControl() override { return check(); }
    bool LoadFile(const std::string&) override { return check(); }
    bool Export(const std::string&, const std::string& dir, const std::string& type, std::int16_t w,
                std::int16_t h) override {
        if (type != "BMP" || w != 800 || h != 600) return false;
        for (int i = 1; i <= slides_; ++i) {
            QFile file(QString::fromStdString(dir) + QStringLiteral("Slide%1.BMP").arg(i));
            if (!file.open(QIODevice::WriteOnly)) return false;
            file.write(Bmp(80, 60, char(40 * i), 0, 0));
        }
        return check();
    }
    void Quit() override { check(); }

private:
    bool check() {
        if (*usedOn_ != std::this_thread::get_id()) *usedOn_ = std::thread::id();  // moved threads: spoiled
        return true;
    }
    int slides_;
    std::thread::id* usedOn_;
};

}  // namespace

class TCoreRunTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void runWritesDocumentsAndMarksRows_data() {
        QTest::addColumn<int>("slides");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("pages");
        QTest::newRow("two slides") << 2 << "Completed" << 2;
        QTest::newRow("no slide image") << 0 << "Failed: the export produced no slide image" << -1;
    }
    void runWritesDocumentsAndMarksRows() {
        QFETCH(int, slides);
        QFETCH(QString, status);
        QFETCH(int, pages);
        const QString out = dir_.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_'));
        QDir().mkpath(out);
        std::thread::id exporterThread;
        TScript script;
        TFormServices services = script.Services();
        services.RunConversion = CoreConversionRunner(
            [&] { return std::make_unique<TFakeExporter>(slides, &exporterThread); });
        TfrmForm form(services, dir_.filePath(QStringLiteral("s.ini")));
        form.show();
        form.findChild<QLineEdit*>(QStringLiteral("outputEdit"))->setText(out);
        script.FilesToOpen = {QStringLiteral("/decks/Talk.review.ppt")};
        form.importButtonClick();
        QSignalSpy finished(&form, &TfrmForm::RunFinished);
        form.startButtonClick();
        QVERIFY(finished.wait(30000));

        auto* row = form.findChild<QTreeWidget*>(QStringLiteral("ListView"))->topLevelItem(0);
        QCOMPARE(row->text(3), status);
        QVERIFY(exporterThread != std::thread::id());
        QVERIFY(exporterThread != std::this_thread::get_id());  // made and used on the worker
        auto* lines = form.ExportForm()->findChild<QListWidget*>(QStringLiteral("exportListBox"));
        QVERIFY(lines->count() >= 2);
        QVERIFY(lines->item(0)->text().endsWith(QStringLiteral(":Exporting Talk")));
        if (pages > 0) {
            QCOMPARE(pressmark::testing::PdfPageCount((out + QStringLiteral("/Talk.pdf")).toStdString()), pages);
        } else {
            QVERIFY(!QFile::exists(out + QStringLiteral("/Talk.pdf")));
            bool reasonListed = false;
            for (int i = 0; i < lines->count(); ++i) reasonListed |= lines->item(i)->text().contains(status.mid(8));
            QVERIFY(reasonListed);
        }
    }
};

QTEST_MAIN(TCoreRunTest)
#include "core_run_test.moc"
