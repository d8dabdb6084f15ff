// Fax encoder throughput on an 800 x 600 text-like page (the size every slide
// has), ours against libtiff's encoders on the same bits, with the ratio of
// their times printed at the end.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <unistd.h>
#include <string>
#include <vector>

#include "pressmark/imaging/byte_sink.h"
#include "pressmark/imaging/ccitt.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kStride = (kWidth + 31) / 32 * 4;  // as the raster pads rows; 100 = libtiff's packed rows
static_assert(kStride == (kWidth + 7) / 8);

// White page with lines of glyph-like strokes, a rule and a filled box
// (1 bits are fax black).
const std::vector<std::uint8_t>& Page() {
    static const std::vector<std::uint8_t> page = [] {
        std::vector<std::uint8_t> bits(static_cast<std::size_t>(kStride) * kHeight, 0);
        auto set = [&](int x, int y) {
            if (x >= 0 && x < kWidth && y >= 0 && y < kHeight)
                bits[static_cast<std::size_t>(y) * kStride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        };
        std::mt19937 rng(4);
        for (int top = 40; top + 20 < kHeight - 60; top += 28)
            for (int x = 60; x < kWidth - 60;) {
                const int glyph = 6 + static_cast<int>(rng() % 9);
                for (int stroke = 0; stroke < 3; ++stroke) {
                    const int sx = x + static_cast<int>(rng() % glyph), sy = top + static_cast<int>(rng() % 8);
                    const int len = 4 + static_cast<int>(rng() % 12);
                    const bool vertical = rng() % 2 == 0;
                    for (int i = 0; i < len; ++i)
                        for (int t = 0; t < 2; ++t) set(vertical ? sx + t : sx + i, vertical ? sy + i : sy + t);
                }
                x += glyph + 2 + (rng() % 6 == 0 ? 12 : 0);
            }
        for (int y = kHeight - 50; y < kHeight - 47; ++y)
            for (int x = 20; x < kWidth - 20; ++x) set(x, y);
        for (int y = kHeight - 40; y < kHeight - 10; ++y)
            for (int x = kWidth / 2; x < kWidth / 2 + 150; ++x) set(x, y);
        return bits;
    }();
    return page;
}

void SetRates(benchmark::State& state, std::size_t outputBytes) {
    const auto pages = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kStride * kHeight);
    state.counters["pages/s"] = benchmark::Counter(pages, benchmark::Counter::kIsRate);
    state.counters["out_bytes"] = static_cast<double>(outputBytes);
}

template <auto EncodeRow>
void BM_Ours(benchmark::State& state) {
    const auto& page = Page();
    pressmark::MemorySink sink;
    pressmark::CCITTEncoderState coder;
    std::uint8_t abortFlag = 0;
    for (auto _ : state) {
        sink.clear();  // keeps its capacity, like the writers' page sink
        for (int y = 0; y < kHeight; ++y)
            EncodeRow(page.data() + static_cast<std::size_t>(y) * kStride, kWidth, sink, coder, &abortFlag, 1);
        EncodeRow(nullptr, 0, sink, coder, &abortFlag, 1);
        benchmark::DoNotOptimize(sink.data().data());
    }
    SetRates(state, sink.data().size());
}

// libtiff writing into memory through its client I/O hooks.
struct MemoryFile {
    std::vector<std::uint8_t> data;
    toff_t position = 0;
};
tmsize_t MemRead(thandle_t, void*, tmsize_t) { return 0; }
tmsize_t MemWrite(thandle_t h, void* buf, tmsize_t size) {
    auto* f = static_cast<MemoryFile*>(h);
    if (f->data.size() < f->position + size) f->data.resize(f->position + size);
    std::memcpy(f->data.data() + f->position, buf, static_cast<std::size_t>(size));
    f->position += static_cast<toff_t>(size);
    return size;
}
toff_t MemSeek(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    f->position = whence == SEEK_SET ? offset : whence == SEEK_CUR ? f->position + offset : f->data.size() + offset;
    return f->position;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<MemoryFile*>(h)->data.size(); }

template <int Compression>
void BM_Libtiff(benchmark::State& state) {
    std::vector<std::uint8_t> page = Page();  // libtiff may scribble on its input
    MemoryFile file;
    file.data.reserve(1 << 20);
    TIFF* tif = TIFFClientOpen("page", "w", &file, MemRead, MemWrite, MemSeek, MemClose, MemSize, nullptr, nullptr);
    if (tif == nullptr) {
        state.SkipWithError("TIFFClientOpen failed");
        return;
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kHeight);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, Compression);
    if (Compression == COMPRESSION_CCITTFAX3) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING);
    for (auto _ : state) {
        file.position = 0;  // the strip is encoded whole each time; where it lands does not matter
        if (TIFFWriteEncodedStrip(tif, 0, page.data(), static_cast<tmsize_t>(page.size())) < 0)
            state.SkipWithError("TIFFWriteEncodedStrip failed");
        benchmark::DoNotOptimize(file.data.data());
    }
    uint64_t* counts = nullptr;
    const std::size_t written = TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts) && counts ? counts[0] : 0;
    TIFFClose(tif);
    SetRates(state, written);
}

BENCHMARK(BM_Ours<pressmark::EncodeRowG4>)->Name("G4/ours");
BENCHMARK(BM_Libtiff<COMPRESSION_CCITTFAX4>)->Name("G4/libtiff");
BENCHMARK(BM_Ours<pressmark::EncodeRowG3TwoD>)->Name("G3-2D/ours");
BENCHMARK(BM_Libtiff<COMPRESSION_CCITTFAX3>)->Name("G3-2D/libtiff");

// Console output as usual, plus each coder's time ratio against libtiff.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        // CPU time: the machine is shared, wall time swings with its load.
        for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        for (const char* coder : {"G4", "G3-2D"}) {
            const auto ours = times_.find(std::string(coder) + "/ours");
            const auto theirs = times_.find(std::string(coder) + "/libtiff");
            if (ours == times_.end() || theirs == times_.end()) continue;
            std::printf("%-6s ours/libtiff CPU time ratio %.2f (ours %.2fx as fast)\n", coder,
                        ours->second / theirs->second, theirs->second / ours->second);
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    TIFFSetWarningHandler(nullptr);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
