#pragma once
// JPEG encoding of one page image through libjpeg (libjpeg-turbo, IJG API).
// The writers pass a memory sink and their parameter record; the JPEG
// settings (quality, colour space, DCT method, ...) come from TImageParams.
#include <string>

#include "pressmark/imaging/errors.h"

namespace pressmark {

class ByteSink;
class TRasterImage;
struct TImageParams;
struct TProgressRecord;

// A libjpeg error. The message is libjpeg's text for the error code with
// every placeholder shown as "?", or "Corrupted" for an unknown code.
class EJpegException : public Error {
public:
    explicit EJpegException(const std::string& message) : Error(std::string(), message) {}
};

// Writes `bitmap` (plRGB24, plBW1 or any layout ChangeLayout can turn into
// plRGB24) to `stream` as one complete JPEG file at its current position.
// Width or height 0 sets *progress.AbortFlag and writes nothing. A short write
// to the stream, or an AbortFlag set by OnProgress, stops after the current
// row without finishing the file (no end-of-image marker). A libjpeg error
// sets AbortFlag and throws EJpegException; exceptions from the stream or
// from OnProgress propagate unchanged.
void EncodeJpegToStream(ByteSink& stream, TRasterImage& bitmap, TImageParams& params, TProgressRecord& progress);

namespace detail {
// libjpeg's message text for `code` with its placeholders shown as "?", or
// "Corrupted" when the code is outside the library's table.
std::string JpegErrorText(int code);
}  // namespace detail

}  // namespace pressmark
