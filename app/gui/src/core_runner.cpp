// The desktop program's run is the core's conversion entry, reporting through
// the window's progress seam.
#include <vector>

#include "conversion_runner.h"
#include "core_runner.h"
#include "pressmark/app/conversion.h"

namespace pressmark::gui {
namespace {

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

// The status column: "Completed" only for a written document; a failed deck
// shows why, so that the row alone tells the user what went wrong.
QString StatusOf(const TJob& job) {
    const QString state = fromStd(std::string(StatusText(job.State)));
    if (job.State == TJobState::Failed && !job.Reason.empty()) return state + QStringLiteral(": ") + fromStd(job.Reason);
    return state;
}

class TProgressBridge final : public IProgressSink {
public:
    explicit TProgressBridge(TRunProgress& progress) : progress_(progress) {}
    void line(const std::string& text) override { progress_.Line(fromStd(text)); }
    void deckStarted(std::size_t index, std::size_t count, const TJob&) override {
        progress_.DeckStarted(int(index), int(count));
    }
    void slideWritten(std::size_t index, std::size_t slide, std::size_t slides) override {
        progress_.PageDone(int(index), int(slide), int(slides));
    }
    void deckFinished(std::size_t index, const TJob& job) override {
        progress_.DeckFinished(int(index), job.State == TJobState::Completed, StatusOf(job));
    }

private:
    TRunProgress& progress_;
};

}  // namespace

TConversionRunner CoreConversionRunner(TSlideExporterFactory makeExporter) {
    return [makeExporter = std::move(makeExporter)](const TRunRequest& request, TRunProgress& progress,
                                                    std::stop_token stop) {
        std::vector<TJob> jobs;
        jobs.reserve(request.Jobs.size());
        for (const TJobRow& row : request.Jobs) {
            TJob job;
            job.Name = row.Name.toStdString();
            job.Path = row.Path.toStdString();
            jobs.push_back(std::move(job));
        }
        TConversionOptions options;
        options.Format = request.FormatIndex == 1 ? TOutputFormat::PostScript : TOutputFormat::PDF;
        options.PaperIndex = request.PaperIndex;
        options.CompressionIndex = request.CompressionIndex;
        options.Destination = request.Destination.toStdString();
        TProgressBridge bridge(progress);
        RunConversion(jobs, options, makeExporter, bridge, std::move(stop));
    };
}

}  // namespace pressmark::gui
