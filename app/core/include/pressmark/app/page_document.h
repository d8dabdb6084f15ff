#pragma once
// Writes a list of BMP images as the pages of one PDF or PostScript document:
// the part of a run that the command line's image mode uses on its own.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <vector>

#include "pressmark/app/tables.h"

namespace pressmark {

struct TDocumentSettings {
    TOutputFormat Format = TOutputFormat::PDF;
    int PaperIndex = DefaultPaperIndex;
    int CompressionIndex = DefaultCompressionIndex;
};

enum class TDocumentOutcome { Written, Aborted };

// Called after each page with (pages written, pages in all).
using TPageWritten = std::function<void(std::size_t, std::size_t)>;

// Loads every image in turn and appends it as a page, each fitted to the
// paper at its top-left corner. The document appears at `output` only once it
// is complete: an image that cannot be read (the previous page is never
// repeated in its place), an encoding or write error throws a pressmark::Error
// naming the file and the reason, and a stop request seen before a page
// answers Aborted; in both cases nothing is left at `output` (an earlier file
// of that name is kept). An empty image list throws BadInputError, since a
// document without pages is of no use.
TDocumentOutcome WriteImageDocument(const std::vector<std::filesystem::path>& images,
                                    const std::filesystem::path& output, const TDocumentSettings& settings,
                                    const TPageWritten& pageWritten = {}, std::stop_token stop = {});

}  // namespace pressmark
