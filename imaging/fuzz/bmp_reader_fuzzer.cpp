// Feeds arbitrary bytes to the BMP reader, as a slide folder could hold any
// file named *.BMP. Every byte of the result is touched so that a row left
// uninitialised or out of bounds shows under the sanitizers.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "pressmark/imaging/bmp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pressmark;
    for (bool native : {false, true}) {
        std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
        TRasterImage image;
        TImageParams params;
        params.NativePixelFormat = native;
        std::uint8_t abort = 0;
        TProgressRecord progress;
        progress.AbortFlag = &abort;
        LoadBmpStream(in, image, params, progress);
        unsigned sum = 0;
        for (std::int32_t r = 0; r < image.Height(); ++r) {
            const std::uint8_t* row = image.RowAddress(r);
            for (std::int32_t i = 0; i < image.RowLength(); ++i) sum += row[i];
        }
        if (image.AlphaImage())
            for (std::int32_t r = 0; r < image.Height(); ++r) sum += image.AlphaImage()->RowAddress(r)[0];
        if (image.Width() > 0 && image.Height() > 0) image.ChangeLayout(plRGB24);
        volatile unsigned sink = sum;
        (void)sink;
    }
    return 0;
}
