#pragma once
// The PostScript writer: a Level 2 document with DSC comments, one image
// per page, image data compressed, ASCII85-wrapped and in-line after the
// image operator. Pages are written to the file as they are added; the
// header's "%%Pages: " count is rewritten in place each time. Every line
// ends in CR LF.
#include <cstdint>
#include <memory>
#include <string_view>

#include "pressmark/imaging/image_params.h"
#include "pressmark/imaging/raster_image.h"
#include "pressmark/writers/document_clock.h"
#include "pressmark/writers/random_access_sink.h"

namespace pressmark {

// The state a document carries between calls: where the "%%Pages: " line
// starts and where the next page (or the trailer) goes.
struct PSDocumentHandle {
    std::int64_t PagesLinePosition = 0;
    std::int64_t AppendPosition = 0;
};

// Writes the header and prolog at the stream's position (a new, empty file).
std::unique_ptr<PSDocumentHandle> PSBeginDocument(RandomAccessSink& Stream, const TImageParams& Params,
                                                  const TDocumentClock& Clock = LocalNow);

// Encodes the page completely in memory first, so an encoder error leaves
// the file untouched; then raises the page count and writes the page at
// AppendPosition with the paper size and PSCompression in force now.
void PSAddPage(PSDocumentHandle& Handle, RandomAccessSink& Stream, TRasterImage& Bitmap, TImageParams& Params,
               TProgressRecord& Progress);

// Writes the trailer at AppendPosition and frees the handle; null does nothing.
void PSEndDocument(std::unique_ptr<PSDocumentHandle> Handle, RandomAccessSink& Stream);

void PSWriteSinglePageDocument(RandomAccessSink& Stream, TRasterImage& Bitmap, TImageParams& Params,
                               TProgressRecord& Progress, const TDocumentClock& Clock = LocalNow);

// Internal steps, public for tests.
// Builds the page's ASCII85 data into Memory and answers the character
// count for "%%BeginData:". Sets BitsPerSample and SamplesPerPixel.
std::int64_t PSEncodePageImage(MemorySink& Memory, TRasterImage& Bitmap, TImageParams& Params,
                               TProgressRecord& Progress);
// Writes one page at the stream's position.
void PSWritePage(RandomAccessSink& Stream, TRasterImage& Bitmap, TImageParams& Params, TProgressRecord& Progress,
                 std::int32_t PageNumber, std::int32_t PaperWidth, std::int32_t PaperHeight);
void WriteLine(ByteSink& Stream, std::string_view Text);

}  // namespace pressmark
