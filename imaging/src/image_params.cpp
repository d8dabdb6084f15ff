// Defaults of the parameter record and the progress report.
#include "pressmark/imaging/image_params.h"

#include <cmath>

#include "pressmark/imaging/lzw.h"

namespace pressmark {

TLZWCompressor DefaultLZWCompressor = LZWCompress;

void TProgressRecord::Report(std::int32_t rows) const {
    if (OnProgress) OnProgress(Sender, static_cast<int>(std::trunc(rows * PercentPerRow)));
}

void TImageParams::Reset() {
    BitsPerSample = 8;
    SamplesPerPixel = 3;
    LZWCompressor = DefaultLZWCompressor;
    JpegColorSpace = 2;  // YCbCr
    JpegQuality = 80;
    PSPaperWidth = 595;  // A4 in points
    PSPaperHeight = 842;
    PSCompression = 1;  // CCITT Group 4
    PSTitle = "No Title";
    PDFPaperWidth = 595;
    PDFPaperHeight = 842;
    PDFCompression = 2;  // CCITT Group 4
    PDFTitle.clear();
    PDFAuthor.clear();
    PDFSubject.clear();
    PDFKeywords.clear();
    PDFCreator.clear();
    PDFProducer.clear();

    JpegDctMethod = 0;
    JpegOptimalHuffman = 0;
    JpegSmoothing = 0;
    JpegProgressive = 0;
    JpegMarkers.clear();
    HorizontalDpi = 300;
    VerticalDpi = 300;

    ImageWidth = 0;
    ImageHeight = 0;
    ColorMap.clear();
    ColorMapCount = 0;
    BmpHeaderKind = 0;
    BmpRunLength = false;
    LastFileName.clear();
    LastFileType = 0;
    NativePixelFormat = false;
    LastReadError.clear();
}

}  // namespace pressmark
