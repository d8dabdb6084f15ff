#pragma once
// TExportThread: runs a conversion off the user-interface thread. Like Qt's
// Mandelbrot example, the worker only emits signals; Qt queues them to the
// windows, which live on the user-interface thread. The destructor asks the
// run to stop and waits for it, so no run outlives the window it reports to.
#include <QThread>
#include <stop_token>

#include "conversion_runner.h"

namespace pressmark::gui {

class TExportThread : public QThread {
    Q_OBJECT
public:
    explicit TExportThread(TConversionRunner runner, QObject* parent = nullptr);
    ~TExportThread() override;

    // Starts a run; the thread must not be running.
    void StartRun(TRunRequest request);
    // The run stops at its next page or deck boundary.
    void RequestStop();
    bool StopRequested() const;

signals:
    void LineAdded(const QString& text);
    void DeckStarted(int deck, int decks);
    void PageDone(int deck, int page, int pages);
    void DeckFinished(int deck, bool completed, const QString& status);
    // The run ended by an error that is not one deck's (nothing was reported
    // for the remaining decks).
    void RunFailed(const QString& message);

protected:
    void run() override;

private:
    TConversionRunner runner_;
    TRunRequest request_;
    std::stop_source stop_;
};

}  // namespace pressmark::gui
