// LZW on an 800 x 600 24-bit page fed row by row, as the PDF writer does,
// against libtiff's LZW encoding the page as one strip.
//
// Two pages: the slide page as it is, and the same page with its text specks
// pure black. Black pixels put the string "00 00" into the dictionary, which
// makes our coder fall back to its exact (slower) probing until the next
// table clear; the second pair shows what that costs.
#include <algorithm>

#include "pressmark/imaging/byte_sink.h"
#include "pressmark/imaging/lzw.h"
#include "stream_bench_support.h"

namespace {
using namespace pressmark::bench;

const std::vector<std::uint8_t> kRGB24 = SlideRGB24();

std::vector<std::uint8_t> WithBlackSpecks(std::vector<std::uint8_t> page) {
    std::replace(page.begin(), page.end(), std::uint8_t{30}, std::uint8_t{0});
    return page;
}
const std::vector<std::uint8_t> kRGB24Black = WithBlackSpecks(kRGB24);

void LZWOurs(benchmark::State& state, const std::vector<std::uint8_t>& page) {
    pressmark::MemorySink sink;
    sink.data().reserve(page.size());  // no allocation while encoding
    const std::size_t row = static_cast<std::size_t>(kWidth) * 3;
    for (auto _ : state) {
        sink.clear();
        pressmark::LZWEncoderState* lzw = nullptr;
        pressmark::LZWStateGuard guard(lzw);
        for (int y = 0; y < kHeight; ++y) pressmark::LZWCompress(page.data() + y * row, row, sink, lzw);
        pressmark::LZWCompress(nullptr, 0, sink, lzw);
        benchmark::DoNotOptimize(sink.data().data());
    }
    SetPageCounters(state, page.size());
    state.counters["ratio"] = static_cast<double>(page.size()) / static_cast<double>(sink.data().size());
}

void LZWLibTiff(benchmark::State& state, const std::vector<std::uint8_t>& page) {
    MemoryTiff file;
    TIFF* tif = OpenPageTiff(file, COMPRESSION_LZW, 8, 3);
    if (!tif) return state.SkipWithError("TIFFClientOpen failed");
    std::vector<std::uint8_t> copy = page;
    for (auto _ : state) benchmark::DoNotOptimize(TIFFWriteEncodedStrip(tif, 0, copy.data(), static_cast<tmsize_t>(copy.size())));
    TIFFClose(tif);
    SetPageCounters(state, page.size());
}

BENCHMARK_CAPTURE(LZWOurs, slide, kRGB24)->Name("LZW 24-bit/ours");
BENCHMARK_CAPTURE(LZWLibTiff, slide, kRGB24)->Name("LZW 24-bit/libtiff");
BENCHMARK_CAPTURE(LZWOurs, black, kRGB24Black)->Name("LZW 24-bit black specks/ours");
BENCHMARK_CAPTURE(LZWLibTiff, black, kRGB24Black)->Name("LZW 24-bit black specks/libtiff");
}  // namespace

int main(int argc, char** argv) { return RunWithRatios(argc, argv); }
