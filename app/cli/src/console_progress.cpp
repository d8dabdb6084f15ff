#include "console_progress.h"

namespace pressmark::cli {

std::string ProgressBar(std::size_t done, std::size_t all, std::size_t width) {
    const std::size_t filled = all == 0 ? 0 : std::min(width, done * width / all);
    return "[" + std::string(filled, '#') + std::string(width - filled, '-') + "]";
}

void TConsoleProgress::line(const std::string& text) {
    // On a terminal the bar says the same; the lines are for logs.
    if (style_ == Style::Lines) std::fprintf(out_, "%s\n", text.c_str());
}

void TConsoleProgress::deckStarted(std::size_t index, std::size_t count, const TJob& job) {
    deckLabel_ = "[" + std::to_string(index + 1) + "/" + std::to_string(count) + "] " + job.Name;
    if (style_ == Style::Bar) DrawBar(0, 0, "exporting slides...");
}

void TConsoleProgress::slideWritten(std::size_t, std::size_t slide, std::size_t slides) {
    if (style_ == Style::Bar) DrawBar(slide, slides, "slide " + std::to_string(slide) + "/" + std::to_string(slides));
}

void TConsoleProgress::deckFinished(std::size_t, const TJob& job) {
    std::string outcome;
    switch (job.State) {
        case TJobState::Completed:
            outcome = "done, " + std::to_string(job.PageCount) + " pages -> " + job.Document;
            break;
        case TJobState::Failed: outcome = "FAILED: " + job.Reason; break;
        case TJobState::Aborted: outcome = "aborted"; break;
        case TJobState::Pending: outcome = "not converted"; break;
    }
    if (style_ == Style::Bar) {
        std::fprintf(out_, "\r\033[K%s  %s\n", deckLabel_.c_str(), outcome.c_str());
    } else if (style_ == Style::Lines) {
        std::fprintf(out_, "%s: %s\n", job.Name.c_str(), outcome.c_str());
    }
    std::fflush(out_);
}

void TConsoleProgress::DrawBar(std::size_t slide, std::size_t slides, const std::string& note) {
    std::fprintf(out_, "\r\033[K%s  %s %s", deckLabel_.c_str(), ProgressBar(slide, slides, 30).c_str(), note.c_str());
    std::fflush(out_);
}

}  // namespace pressmark::cli
