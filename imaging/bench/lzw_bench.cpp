// LZW on an 800 x 600 24-bit page fed row by row, as the PDF writer does,
// against libtiff's LZW encoding the page as one strip.
#include "pressmark/imaging/byte_sink.h"
#include "pressmark/imaging/lzw.h"
#include "stream_bench_support.h"

namespace {
using namespace pressmark::bench;

const std::vector<std::uint8_t> kRGB24 = SlideRGB24();

void BM_LZWOurs(benchmark::State& state) {
    pressmark::MemorySink sink;
    sink.data().reserve(kRGB24.size());  // no allocation while encoding
    const std::size_t row = static_cast<std::size_t>(kWidth) * 3;
    for (auto _ : state) {
        sink.clear();
        pressmark::LZWEncoderState* lzw = nullptr;
        pressmark::LZWStateGuard guard(lzw);
        for (int y = 0; y < kHeight; ++y) pressmark::LZWCompress(kRGB24.data() + y * row, row, sink, lzw);
        pressmark::LZWCompress(nullptr, 0, sink, lzw);
        benchmark::DoNotOptimize(sink.data().data());
    }
    SetPageCounters(state, kRGB24.size());
    state.counters["ratio"] = static_cast<double>(kRGB24.size()) / static_cast<double>(sink.data().size());
}

void BM_LZWLibTiff(benchmark::State& state) {
    MemoryTiff file;
    TIFF* tif = OpenPageTiff(file, COMPRESSION_LZW, 8, 3);
    if (!tif) return state.SkipWithError("TIFFClientOpen failed");
    std::vector<std::uint8_t> copy = kRGB24;
    for (auto _ : state) benchmark::DoNotOptimize(TIFFWriteEncodedStrip(tif, 0, copy.data(), static_cast<tmsize_t>(copy.size())));
    TIFFClose(tif);
    SetPageCounters(state, kRGB24.size());
}

BENCHMARK(BM_LZWOurs)->Name("LZW 24-bit/ours");
BENCHMARK(BM_LZWLibTiff)->Name("LZW 24-bit/libtiff");
}  // namespace

int main(int argc, char** argv) { return RunWithRatios(argc, argv); }
