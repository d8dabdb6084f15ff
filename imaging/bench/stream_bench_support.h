#pragma once
// Shared parts of the PackBits, ASCII85 and LZW benchmarks: an 800 x 600
// slide-like page, an in-memory TIFF for libtiff's encoders, and a main
// that prints our/libtiff throughput ratios after the usual table.
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "../tests/memory_tiff.h"

namespace pressmark::bench {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// A slide: white background, a coloured title bar, a gradient panel, text-
// like strokes, all in blue-green-red rows of 2400 bytes.
inline std::vector<std::uint8_t> SlideRGB24() {
    std::vector<std::uint8_t> page(static_cast<std::size_t>(kWidth) * kHeight * 3, 255);
    std::uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = &page[(static_cast<std::size_t>(y) * kWidth + x) * 3];
            if (y < 90) {
                p[0] = 140, p[1] = 60, p[2] = 20;
            } else if (x > 480 && y > 150 && y < 520) {
                p[0] = static_cast<std::uint8_t>(x - 480), p[1] = static_cast<std::uint8_t>(y / 3), p[2] = 200;
            } else if (y > 140 && (y / 40) % 2 == 0 && x > 60 && x < 440) {
                noise = noise * 1103515245 + 12345;
                if ((noise >> 16) % 5 < 2) p[0] = p[1] = p[2] = 30;
            }
        }
    return page;
}

// The same page as 1-bit rows (set bit = white), 100 bytes per row.
inline std::vector<std::uint8_t> SlideBW1() {
    const auto rgb = SlideRGB24();
    std::vector<std::uint8_t> page(static_cast<std::size_t>(kWidth / 8) * kHeight, 0);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3];
            if (p[0] + p[1] + p[2] > 384) page[static_cast<std::size_t>(y) * (kWidth / 8) + x / 8] |= 0x80 >> (x % 8);
        }
    return page;
}

using pressmark::testing::MemoryTiff;

// Encodes one page as a single strip with libtiff's `compression`, `iterations`
// times into the same open TIFF (the strip is rewritten in place).
inline TIFF* OpenPageTiff(MemoryTiff& file, int compression, int bitsPerSample, int samples) {
    TIFF* tif = file.open("w");
    if (!tif) return nullptr;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bitsPerSample);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kHeight);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    return tif;
}

inline void SetPageCounters(benchmark::State& state, std::size_t bytesPerPage) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytesPerPage));
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Prints the table, then ours/libtiff for every pair named
// "<codec>/ours" and "<codec>/libtiff" (a ratio above 1 means we are faster),
// from CPU time, which other work on a shared machine disturbs least.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                seconds_[run.benchmark_name()] = run.GetAdjustedCPUTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [name, ours] : seconds_) {
            const auto slash = name.find("/ours");
            if (slash == std::string::npos) continue;
            const std::string peer = name.substr(0, slash) + "/libtiff" + name.substr(slash + 5);
            const auto it = seconds_.find(peer);
            if (it != seconds_.end())
                std::printf("%-28s ours/libtiff throughput = %.2fx\n", name.substr(0, slash).c_str(), it->second / ours);
        }
    }

private:
    std::map<std::string, double> seconds_;
};

inline int RunWithRatios(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TIFFSetWarningHandler(nullptr);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace pressmark::bench
