#pragma once
// Where a conversion run reports what it does. Every callback is made on the
// thread that runs the conversion; a GUI forwards them to its own thread.
#include <cstddef>
#include <string>

#include "pressmark/app/job.h"

namespace pressmark {

class IProgressSink {
public:
    virtual ~IProgressSink() = default;
    // A progress line such as "10:42:07:Exporting Talk".
    virtual void line(const std::string& text) { (void)text; }
    // Deck `index` of `count` begins; job.Document and job.SlideFolder are set.
    virtual void deckStarted(std::size_t index, std::size_t count, const TJob& job) {
        (void)index, (void)count, (void)job;
    }
    // Page `slide` (1-based) of `slides` of the current deck has been written.
    virtual void slideWritten(std::size_t index, std::size_t slide, std::size_t slides) {
        (void)index, (void)slide, (void)slides;
    }
    // The deck ended; job.State and job.Reason say how.
    virtual void deckFinished(std::size_t index, const TJob& job) { (void)index, (void)job; }
};

}  // namespace pressmark
