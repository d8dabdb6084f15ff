#pragma once
// TImageParams: the parameter record the readers fill and the writers read
// (paper sizes, compression codes, JPEG settings, document information, and
// the BMP reader's fields), plus TProgressRecord handed to page writers and
// encoders. It lives in the imaging layer because the BMP reader and the
// JPEG encoder use it as much as the document writers do.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pressmark/imaging/raster_image.h"

namespace pressmark {

class ByteSink;
struct LZWEncoderState;

// The LZW compressor hook: data == nullptr (count 0) finishes the code
// stream and releases *state; the first call creates it.
using TLZWCompressor = void (*)(const std::uint8_t* data, std::size_t count, ByteSink& stream,
                                LZWEncoderState*& state);
// Process-wide default, initialised to LZWCompress; copied into each record at reset.
extern TLZWCompressor DefaultLZWCompressor;

struct TJpegMarker {
    std::uint8_t Code = 0;
    std::vector<std::uint8_t> Data;
};
using TMarkerList = std::vector<TJpegMarker>;

// Progress handler: (sender, percent).
using TProgressEvent = std::function<void(void* sender, int percent)>;

struct TProgressRecord {
    TProgressEvent OnProgress;
    void* Sender = nullptr;
    std::int32_t RowsDone = 0;
    double PercentPerRow = 0.0;
    std::uint8_t* AbortFlag = nullptr;

    // trunc(rows x PercentPerRow), reported only when a handler is set.
    void Report(std::int32_t rows) const;
};

struct TImageParams {
    TImageParams() { Reset(); }
    void Reset();

    // --- writer fields, with their defaults set by Reset ---
    std::int32_t BitsPerSample;
    std::int32_t SamplesPerPixel;
    TLZWCompressor LZWCompressor;
    std::uint8_t JpegColorSpace;
    std::int32_t JpegQuality;
    std::int32_t PSPaperWidth;
    std::int32_t PSPaperHeight;
    std::uint8_t PSCompression;
    std::string PSTitle;
    std::int32_t PDFPaperWidth;
    std::int32_t PDFPaperHeight;
    std::uint8_t PDFCompression;
    std::string PDFTitle, PDFAuthor, PDFSubject, PDFKeywords, PDFCreator, PDFProducer;

    // --- further JPEG fields ---
    std::uint8_t JpegDctMethod;
    std::uint8_t JpegOptimalHuffman;
    std::int32_t JpegSmoothing;
    std::uint8_t JpegProgressive;
    TMarkerList JpegMarkers;
    std::int32_t HorizontalDpi;
    std::int32_t VerticalDpi;

    // --- reader fields (BMP input) ---
    std::int32_t ImageWidth;
    std::int32_t ImageHeight;
    std::vector<TColorTriple> ColorMap;
    std::int32_t ColorMapCount;
    std::int32_t BmpHeaderKind;
    bool BmpRunLength;
    std::string LastFileName;
    std::int32_t LastFileType;
    bool NativePixelFormat;
    // Why the last read was rejected or cut short, in plain words; empty when
    // the last read succeeded in full.
    std::string LastReadError;
};

}  // namespace pressmark
