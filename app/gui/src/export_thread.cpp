#include "export_thread.h"

#include <exception>
#include <stdexcept>

namespace pressmark::gui {
namespace {

// Forwards the run's reports as signals of the thread object; emitted from the
// worker, they reach the windows as queued calls.
class TSignalProgress final : public TRunProgress {
public:
    explicit TSignalProgress(TExportThread& thread) : thread_(thread) {}
    void Line(const QString& text) override { emit thread_.LineAdded(text); }
    void DeckStarted(int deck, int decks) override { emit thread_.DeckStarted(deck, decks); }
    void PageDone(int deck, int page, int pages) override { emit thread_.PageDone(deck, page, pages); }
    void DeckFinished(int deck, bool completed, const QString& status) override {
        emit thread_.DeckFinished(deck, completed, status);
    }

private:
    TExportThread& thread_;
};

}  // namespace

TExportThread::TExportThread(TConversionRunner runner, QObject* parent)
    : QThread(parent), runner_(std::move(runner)) {}

TExportThread::~TExportThread() {
    RequestStop();
    wait();
}

void TExportThread::StartRun(TRunRequest request) {
    Q_ASSERT(!isRunning());
    request_ = std::move(request);
    stop_ = std::stop_source();  // a fresh source: an earlier abort must not stop this run
    start();
}

void TExportThread::RequestStop() { stop_.request_stop(); }

bool TExportThread::StopRequested() const { return stop_.stop_requested(); }

void TExportThread::run() {
    TSignalProgress progress(*this);
    try {
        if (!runner_) throw std::runtime_error("The conversion core is not available in this build.");
        runner_(request_, progress, stop_.get_token());
    } catch (const std::exception& e) {
        emit RunFailed(QString::fromUtf8(e.what()));
    } catch (...) {
        emit RunFailed(QStringLiteral("The conversion ended with an unknown error."));
    }
}

}  // namespace pressmark::gui
