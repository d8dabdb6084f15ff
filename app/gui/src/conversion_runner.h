#pragma once
// What the desktop program hands to a conversion run and hears back from it.
// The run itself belongs to the conversion core; the program only collects
// the job list and the options from its window, runs the core on a worker
// thread and shows what the run reports. Keeping this seam small lets the
// window tests replace the run with a scripted one.
#include <QString>
#include <functional>
#include <stop_token>
#include <vector>

namespace pressmark::gui {

struct TJobRow {
    QString Name;  // column "Name"
    QString Path;  // column "Path"
};

struct TRunRequest {
    std::vector<TJobRow> Jobs;
    int FormatIndex = 0;       // formateComboBox
    int PaperIndex = 4;        // sizeComboBox
    int CompressionIndex = 0;  // compComboBox
    QString Destination;       // outputEdit
};

// Reports of a run, delivered on the worker thread; the worker turns each into
// a queued signal for the windows.
class TRunProgress {
public:
    virtual ~TRunProgress() = default;
    virtual void Line(const QString& text) = 0;                // one progress line
    virtual void DeckStarted(int deck, int decks) = 0;         // deck is 0-based
    virtual void PageDone(int deck, int page, int pages) = 0;  // page is 1-based
    // The deck's final state: "Completed" only for a written document,
    // otherwise the reason it failed or that it was aborted.
    virtual void DeckFinished(int deck, bool completed, const QString& status) = 0;
};

// Runs every job on the calling thread; returns when the run has ended, early
// when stop is requested (at the next page or deck boundary).
using TConversionRunner = std::function<void(const TRunRequest&, TRunProgress&, std::stop_token)>;


}  // namespace pressmark::gui
