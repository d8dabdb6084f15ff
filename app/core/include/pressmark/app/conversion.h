#pragma once
// The conversion run: for every job, have the slide control export the
// presentation's slides as BMP images, then write them, in slide order, as
// the pages of one PDF or PostScript document. The desktop program and the
// command line both run this one entry.
#include <cstddef>
#include <functional>
#include <span>
#include <stop_token>
#include <string>

#include "pressmark/app/job.h"
#include "pressmark/app/progress.h"
#include "pressmark/app/slide_exporter.h"
#include "pressmark/app/tables.h"

namespace pressmark {

struct TConversionOptions {
    TOutputFormat Format = TOutputFormat::PDF;
    int PaperIndex = DefaultPaperIndex;              // into PaperSizes
    int CompressionIndex = DefaultCompressionIndex;  // into Compressions
    std::string Destination;                         // folder, with or without a trailing "/"
    // The time shown at the start of each progress line; the local time
    // (HH:MM:SS) unless a test fixes it.
    std::function<std::string()> TimeText;
};

struct TRunSummary {
    std::size_t Completed = 0;
    std::size_t Failed = 0;
    std::size_t Aborted = 0;
    bool Stopped = false;  // the stop token ended the run early
    bool AllCompleted(std::size_t jobCount) const noexcept { return Completed == jobCount; }
};

// Runs every job in order and records in each its state, reason, document and
// slide folder. A deck that fails (no image exported, an unreadable image, an
// automation or file error) leaves no document behind and the run goes on. A
// stop request ends the run at the next page or deck boundary: the deck in
// progress is marked aborted and its unfinished document removed; later jobs
// are left as they were.
//
// The exporter is made by `makeExporter` on the calling thread, once per run;
// an exception from the factory (e.g. the control is not registered)
// propagates before any job is touched. Options out of range throw
// std::out_of_range.
TRunSummary RunConversion(std::span<TJob> jobs, const TConversionOptions& options,
                          const TSlideExporterFactory& makeExporter, IProgressSink& progress,
                          std::stop_token stop = {});

// The local time as the progress lines show it (HH:MM:SS).
std::string LocalTimeText();

// The request the driver makes of the control for every deck.
inline constexpr const char* SlideImageType = "BMP";
inline constexpr std::int16_t SlideImageWidth = 800;
inline constexpr std::int16_t SlideImageHeight = 600;

}  // namespace pressmark
