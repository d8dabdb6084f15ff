// JPEG encoding of an 800 x 600 slide: our encoder (libjpeg behind our
// stream destination, progress and error handling) against libjpeg driven
// directly into memory with the same settings, with the time ratio printed.
// The difference is what our wrapper costs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "pressmark/imaging/byte_sink.h"
#include "pressmark/imaging/image_params.h"
#include "pressmark/imaging/jpeg_encoder.h"
#include "pressmark/imaging/raster_image.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// Gradient background, a soft disc and bars of "text": blue, green, red bytes.
void PaintSlide(pressmark::TRasterImage& image) {
    image.Allocate(kWidth, kHeight, pressmark::plRGB24);
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = image.RowAddress(y);
        for (int x = 0; x < kWidth; ++x) {
            int r = 40 + 150 * x / kWidth, g = 60 + 120 * y / kHeight, b = 200 - 120 * x / kWidth;
            const double dx = x - kWidth * 0.6, dy = y - kHeight * 0.4;
            if (std::sqrt(dx * dx + dy * dy) < kHeight * 0.25) r = 230, g = 200, b = 40;
            if (y % 60 >= 40 && y % 60 < 48 && x > kWidth / 10 && x < kWidth / 2 && (x / 9) % 4 != 3) r = g = b = 20;
            row[x * 3] = static_cast<std::uint8_t>(b);
            row[x * 3 + 1] = static_cast<std::uint8_t>(g);
            row[x * 3 + 2] = static_cast<std::uint8_t>(r);
        }
    }
}

void SetRates(benchmark::State& state, std::size_t outputBytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kHeight * 3);
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["out_bytes"] = static_cast<double>(outputBytes);
}

void BM_Ours(benchmark::State& state) {
    pressmark::TRasterImage image(pressmark::locMemory);
    PaintSlide(image);
    pressmark::TImageParams params;
    pressmark::MemorySink sink;
    std::uint8_t abortFlag = 0;
    pressmark::TProgressRecord progress;
    progress.AbortFlag = &abortFlag;
    for (auto _ : state) {
        sink.clear();
        pressmark::EncodeJpegToStream(sink, image, params, progress);
        benchmark::DoNotOptimize(sink.data().data());
    }
    SetRates(state, sink.data().size());
}

void BM_Libjpeg(benchmark::State& state) {
    pressmark::TRasterImage image(pressmark::locMemory);
    PaintSlide(image);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    for (auto _ : state) {
        jpeg_compress_struct cinfo{};
        jpeg_error_mgr err{};
        cinfo.err = jpeg_std_error(&err);  // the fixed input cannot fail
        jpeg_create_compress(&cinfo);
        jpeg_mem_dest(&cinfo, &buffer, &size);
        cinfo.image_width = kWidth;
        cinfo.image_height = kHeight;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cinfo);
        cinfo.density_unit = 1;
        cinfo.X_density = cinfo.Y_density = 300;
        jpeg_set_quality(&cinfo, 80, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row = image.RowAddress(static_cast<int>(cinfo.next_scanline));
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        benchmark::DoNotOptimize(buffer);
    }
    std::free(buffer);
    SetRates(state, size);
}

BENCHMARK(BM_Ours)->Name("JPEG/ours");
BENCHMARK(BM_Libjpeg)->Name("JPEG/libjpeg");

class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        // CPU time: the machine is shared, wall time swings with its load.
        for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatio() const {
        const auto ours = times_.find("JPEG/ours"), theirs = times_.find("JPEG/libjpeg");
        if (ours == times_.end() || theirs == times_.end()) return;
        std::printf("JPEG   ours/libjpeg CPU time ratio %.2f\n", ours->second / theirs->second);
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio();
    benchmark::Shutdown();
    return 0;
}
