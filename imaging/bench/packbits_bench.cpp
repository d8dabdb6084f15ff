// PackBits on an 800 x 600 page, 1-bit and 24-bit, against libtiff's PackBits.
#include "pressmark/imaging/packbits.h"
#include "stream_bench_support.h"

namespace {
using namespace pressmark::bench;

void PackBitsOurs(benchmark::State& state, const std::vector<std::uint8_t>& page) {
    std::vector<std::uint8_t> out(pressmark::PackBitsMaxEncodedSize(page.size()));
    for (auto _ : state) benchmark::DoNotOptimize(pressmark::PackBitsEncode(page.data(), page.size(), out.data()));
    SetPageCounters(state, page.size());
    state.counters["ratio"] = static_cast<double>(page.size()) /
                              static_cast<double>(pressmark::PackBitsEncode(page.data(), page.size(), out.data()));
}

void PackBitsLibTiff(benchmark::State& state, const std::vector<std::uint8_t>& page, int bits, int samples) {
    MemoryTiff file;
    TIFF* tif = OpenPageTiff(file, COMPRESSION_PACKBITS, bits, samples);
    if (!tif) return state.SkipWithError("TIFFClientOpen failed");
    std::vector<std::uint8_t> copy = page;  // libtiff may modify its input
    for (auto _ : state) benchmark::DoNotOptimize(TIFFWriteEncodedStrip(tif, 0, copy.data(), static_cast<tmsize_t>(copy.size())));
    TIFFClose(tif);
    SetPageCounters(state, page.size());
}

const std::vector<std::uint8_t> kBW1 = SlideBW1();
const std::vector<std::uint8_t> kRGB24 = SlideRGB24();

void BM_PackBits1(benchmark::State& s) { PackBitsOurs(s, kBW1); }
void BM_PackBits1Tiff(benchmark::State& s) { PackBitsLibTiff(s, kBW1, 1, 1); }
void BM_PackBits24(benchmark::State& s) { PackBitsOurs(s, kRGB24); }
void BM_PackBits24Tiff(benchmark::State& s) { PackBitsLibTiff(s, kRGB24, 8, 3); }
BENCHMARK(BM_PackBits1)->Name("PackBits 1-bit/ours");
BENCHMARK(BM_PackBits1Tiff)->Name("PackBits 1-bit/libtiff");
BENCHMARK(BM_PackBits24)->Name("PackBits 24-bit/ours");
BENCHMARK(BM_PackBits24Tiff)->Name("PackBits 24-bit/libtiff");
}  // namespace

int main(int argc, char** argv) { return RunWithRatios(argc, argv); }
