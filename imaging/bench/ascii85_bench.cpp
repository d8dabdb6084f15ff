// ASCII85 on an 800 x 600 24-bit page (libtiff has no ASCII85 encoder, so
// this one reports our throughput only).
#include "pressmark/imaging/ascii85.h"
#include "stream_bench_support.h"

namespace {
using namespace pressmark::bench;

const std::vector<std::uint8_t> kRGB24 = SlideRGB24();

void BM_ASCII85(benchmark::State& state) {
    std::vector<std::uint8_t> out(pressmark::ASCII85MaxEncodedSize(kRGB24.size()));
    std::int64_t counter = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(pressmark::ASCII85Encode(kRGB24.data(), kRGB24.size(), out.data(), counter));
    SetPageCounters(state, kRGB24.size());
}
BENCHMARK(BM_ASCII85)->Name("ASCII85 24-bit/ours");
}  // namespace

int main(int argc, char** argv) { return RunWithRatios(argc, argv); }
