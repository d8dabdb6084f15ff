#pragma once
// How a run looks on the console: on a terminal, one status line with a bar
// for each deck in progress (several when decks are converted at a time),
// and a line for each deck as it finishes; plain progress lines when the
// output goes to a file or a pipe.
#include <cstdio>
#include <map>
#include <string>

#include "pressmark/app/progress.h"

namespace pressmark::cli {

// Not thread-safe: calls from several workers must be serialised.
class TConsoleProgress final : public IProgressSink {
public:
    enum class Style { Bar, Lines, Quiet };
    TConsoleProgress(std::FILE* out, Style style) : out_(out), style_(style) {}

    void line(const std::string& text) override;
    void deckStarted(std::size_t index, std::size_t count, const TJob& job) override;
    void slideWritten(std::size_t index, std::size_t slide, std::size_t slides) override;
    void deckFinished(std::size_t index, const TJob& job) override;

private:
    struct TActiveDeck {
        std::string label;  // "[2/5] talk"
        std::size_t slide = 0, slides = 0;
    };
    void DrawStatus();

    std::FILE* out_;
    Style style_;
    std::map<std::size_t, TActiveDeck> active_;  // by position in the run
};

// "[#########-----------]" for done of all, `width` cells inside the brackets.
std::string ProgressBar(std::size_t done, std::size_t all, std::size_t width);

}  // namespace pressmark::cli
