#pragma once
// How a run looks on the console: a bar per deck that fills slide by slide on
// a terminal, plain progress lines when the output goes to a file or a pipe.
#include <cstdio>
#include <string>

#include "pressmark/app/progress.h"

namespace pressmark::cli {

class TConsoleProgress final : public IProgressSink {
public:
    enum class Style { Bar, Lines, Quiet };
    TConsoleProgress(std::FILE* out, Style style) : out_(out), style_(style) {}

    void line(const std::string& text) override;
    void deckStarted(std::size_t index, std::size_t count, const TJob& job) override;
    void slideWritten(std::size_t index, std::size_t slide, std::size_t slides) override;
    void deckFinished(std::size_t index, const TJob& job) override;

private:
    void DrawBar(std::size_t slide, std::size_t slides, const std::string& note);

    std::FILE* out_;
    Style style_;
    std::string deckLabel_;  // "[2/5] talk"
};

// "[#########-----------]" for done of all, `width` cells inside the brackets.
std::string ProgressBar(std::size_t done, std::size_t all, std::size_t width);

}  // namespace pressmark::cli
