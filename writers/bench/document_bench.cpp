// Pages per second of the PDF and PostScript writers, per compression, on
// an 800 x 600 slide: the encoders and the document framing, without the
// disk (documents go to memory; the spooled PDF case shows what the page
// spool adds on a real file system).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <memory>

#include "pressmark/imaging/image_params.h"
#include "pressmark/imaging/raster_image.h"
#include "pressmark/writers/paper_sizes.h"
#include "pressmark/writers/pdf_document.h"
#include "pressmark/writers/pdf_spool.h"
#include "pressmark/writers/ps_document.h"
#include "pressmark/writers/random_access_sink.h"

namespace pressmark {
namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kPagesPerDocument = 10;

// What a presentation program draws: a gradient background, a title bar,
// lines of "text" (short dark strokes) and a flat box.
bool TextPixel(int x, int y) {
    const int line = (y - 150) / 60;
    if (y < 150 || line > 4 || (y - 150) % 60 > 24 || x < 60 || x > 700 - 80 * line) return false;
    return (x / 3 + y / 5) % 4 != 0 && x % 14 < 11;
}

std::unique_ptr<TRasterImage> Slide(bool oneBit) {
    auto image = std::make_unique<TRasterImage>(locMemory);
    image->Allocate(kWidth, kHeight, oneBit ? plBW1 : plRGB24);
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = image->RowAddress(y);
        if (oneBit) std::fill_n(row, image->RowLength(), 0);
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t r = static_cast<std::uint8_t>(30 + y / 5), g = static_cast<std::uint8_t>(60 + y / 4),
                         b = static_cast<std::uint8_t>(120 + y / 5);
            if (y < 90) r = 200, g = 30, b = 40;
            if (x > 520 && x < 740 && y > 380 && y < 540) r = 240, g = 192, b = 64;
            if (TextPixel(x, y) || (y < 90 && TextPixel(x, y + 120))) r = g = b = 16;
            if (oneBit) {
                if (r + g + b > 3 * 110) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            } else {
                row[3 * x] = b;
                row[3 * x + 1] = g;
                row[3 * x + 2] = r;
            }
        }
    }
    return image;
}

void SetPagesRate(benchmark::State& state, std::uint64_t bytes) {
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kPagesPerDocument,
                                                   benchmark::Counter::kIsRate);
    state.counters["bytes/page"] = static_cast<double>(bytes) / kPagesPerDocument;
}

// Arguments: PDF compression code, 1 for a 1-bit slide, 1 to spool.
void BM_PDF(benchmark::State& state) {
    const auto image = Slide(state.range(1) != 0);
    const bool spooled = state.range(2) != 0;
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        TImageParams params;
        params.PDFCompression = static_cast<std::uint8_t>(state.range(0));
        auto document = PDFBeginDocument(spooled ? std::make_shared<PDFSpool>() : nullptr);
        for (int page = 0; page < kPagesPerDocument; ++page) {
            TProgressRecord progress;
            PDFAddPage(*document, *image, params, progress);
        }
        MemoryFile out;
        PDFEndDocument(std::move(document), out, params);
        bytes = out.data().size();
        benchmark::DoNotOptimize(out.data().data());
    }
    SetPagesRate(state, bytes);
}

// Arguments: PostScript compression code, 1 for a 1-bit slide.
void BM_PS(benchmark::State& state) {
    const auto image = Slide(state.range(1) != 0);
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        TImageParams params;
        params.PSCompression = static_cast<std::uint8_t>(state.range(0));
        MemoryFile out;
        auto document = PSBeginDocument(out, params);
        for (int page = 0; page < kPagesPerDocument; ++page) {
            TProgressRecord progress;
            PSAddPage(*document, out, *image, params, progress);
        }
        PSEndDocument(std::move(document), out);
        bytes = out.data().size();
        benchmark::DoNotOptimize(out.data().data());
    }
    SetPagesRate(state, bytes);
}

BENCHMARK(BM_PDF)
    ->ArgNames({"code", "1bit", "spool"})
    ->Args({pdfRunLength, 0, 0})  // colour: uncompressed RGB
    ->Args({pdfRunLength, 0, 1})
    ->Args({pdfJpeg, 0, 0})
    ->Args({pdfLZW, 0, 0})
    ->Args({pdfRunLength, 1, 0})  // 1-bit: PackBits
    ->Args({pdfG4, 1, 0})
    ->Args({pdfG3TwoD, 1, 0})
    ->Args({pdfLZW, 1, 0})
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_PS)
    ->ArgNames({"code", "1bit"})
    ->Args({psRunLength, 0})
    ->Args({psJpeg, 0})
    ->Args({psRunLength, 1})
    ->Args({psG4, 1})
    ->Args({psG3TwoD, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pressmark
