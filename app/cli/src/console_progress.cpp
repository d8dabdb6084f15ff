#include "console_progress.h"

#include <algorithm>

namespace pressmark::cli {

namespace {

// The status line stays within a classic 80-column terminal however many
// decks are in progress: the bars share the width.
constexpr std::size_t StatusWidth = 79;

// Terminal columns of UTF-8 text, taking every character as one column.
std::size_t Columns(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// "label [####------] 3/12"; the label is shortened (between characters of
// its UTF-8) when the whole would be wider than `width` columns.
std::string DeckStatus(std::string label, std::size_t slide, std::size_t slides, std::size_t barWidth,
                       std::size_t width) {
    const std::string note = slides != 0      ? std::to_string(slide) + "/" + std::to_string(slides)
                             : barWidth >= 30 ? "exporting slides..."
                                              : "exporting";
    const std::string tail = " " + ProgressBar(slide, slides, barWidth) + " " + note;
    const std::size_t room = width > tail.size() + 1 ? width - tail.size() : 1;
    if (Columns(label) > room) {
        std::size_t cut = 0;
        for (std::size_t kept = 0; cut < label.size(); ++cut) {
            if ((static_cast<unsigned char>(label[cut]) & 0xC0) == 0x80) continue;
            if (kept++ == room - 1) break;
        }
        label = label.substr(0, cut) + "~";
    }
    return label + tail;
}

}  // namespace

std::string ProgressBar(std::size_t done, std::size_t all, std::size_t width) {
    const std::size_t filled = all == 0 ? 0 : std::min(width, done * width / all);
    return "[" + std::string(filled, '#') + std::string(width - filled, '-') + "]";
}

void TConsoleProgress::line(const std::string& text) {
    // On a terminal the bar says the same; the lines are for logs.
    if (style_ == Style::Lines) std::fprintf(out_, "%s\n", text.c_str());
}

void TConsoleProgress::deckStarted(std::size_t index, std::size_t count, const TJob& job) {
    active_[index] = {"[" + std::to_string(index + 1) + "/" + std::to_string(count) + "] " + job.Name, 0, 0};
    if (style_ == Style::Bar) DrawStatus();
}

void TConsoleProgress::slideWritten(std::size_t index, std::size_t slide, std::size_t slides) {
    auto deck = active_.find(index);
    if (deck == active_.end()) return;
    deck->second.slide = slide;
    deck->second.slides = slides;
    if (style_ == Style::Bar) DrawStatus();
}

void TConsoleProgress::deckFinished(std::size_t index, const TJob& job) {
    std::string label = job.Name;
    if (auto deck = active_.find(index); deck != active_.end()) {
        label = deck->second.label;
        active_.erase(deck);
    }
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
        // The finished deck's line goes above the status line, which is
        // drawn again for the decks still in progress.
        std::fprintf(out_, "\r\033[K%s  %s\n", label.c_str(), outcome.c_str());
        if (!active_.empty()) DrawStatus();
    } else if (style_ == Style::Lines) {
        std::fprintf(out_, "%s: %s\n", job.Name.c_str(), outcome.c_str());
    }
    std::fflush(out_);
}

void TConsoleProgress::DrawStatus() {
    std::string status;
    if (active_.size() == 1) {
        const auto& deck = active_.begin()->second;
        status = DeckStatus(deck.label, deck.slide, deck.slides, 30, StatusWidth);
    } else {
        // Several decks: a short bar each, sharing the width.
        const std::size_t share = StatusWidth / active_.size();
        for (const auto& [index, deck] : active_) {
            if (!status.empty()) status += "  ";
            status += DeckStatus(deck.label, deck.slide, deck.slides, 8, share > 2 ? share - 2 : 1);
        }
    }
    std::fprintf(out_, "\r\033[K%s", status.c_str());
    std::fflush(out_);
}

}  // namespace pressmark::cli
