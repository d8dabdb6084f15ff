// Differential check of our encoders against libtiff's decoders: arbitrary
// bytes become an image (its width and the coder come from the first bytes),
// we encode it, libtiff decodes the result from an in-memory TIFF, and any
// pixel that comes back different stops the fuzzer. The fax coders are fed
// row by row, LZW in pieces whose sizes also come from the input, as the
// writers feed them.
#include <tiffio.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pressmark/imaging/byte_sink.h"
#include "pressmark/imaging/ccitt.h"
#include "pressmark/imaging/lzw.h"
#include "pressmark/imaging/packbits.h"
#include "../tests/memory_tiff.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Coder { G3, G4, Lzw, PackBits, Count };

using pressmark::testing::MemoryTiff;

struct Image {
    std::int32_t width = 0, height = 0, bitsPerSample = 8;
    std::size_t rowBytes = 0;
    Bytes pixels;
};

// Bits beyond the width of a 1-bit row are not part of the image; libtiff
// returns them as 0.
void ClearPadding(Image& image) {
    const int spare = static_cast<int>(image.rowBytes * 8 - static_cast<std::size_t>(image.width));
    if (image.bitsPerSample != 1 || spare == 0) return;
    const auto mask = static_cast<std::uint8_t>(0xFF << spare);
    for (std::int32_t y = 0; y < image.height; ++y) image.pixels[(y + 1) * image.rowBytes - 1] &= mask;
}

Bytes Encode(Coder coder, const Image& image, const std::uint8_t* chunking, std::size_t chunkingSize, int fillOrder) {
    pressmark::MemorySink sink;
    switch (coder) {
    case Coder::G3:
    case Coder::G4: {
        pressmark::CCITTEncoderState state;
        std::uint8_t abortFlag = 0;
        auto encodeRow = coder == Coder::G3 ? pressmark::EncodeRowG3TwoD : pressmark::EncodeRowG4;
        for (std::int32_t y = 0; y < image.height; ++y)
            encodeRow(image.pixels.data() + y * image.rowBytes, image.width, sink, state, &abortFlag, fillOrder);
        encodeRow(nullptr, 0, sink, state, &abortFlag, fillOrder);
        if (abortFlag != 0 || state.PendingBitCount != 0) std::abort();
        break;
    }
    case Coder::Lzw: {
        pressmark::LZWEncoderState* state = nullptr;
        pressmark::LZWStateGuard guard(state);
        std::size_t done = 0, piece = 0;
        while (done < image.pixels.size()) {
            const std::size_t size = chunkingSize == 0 ? image.pixels.size()
                                                       : 1 + chunking[piece++ % chunkingSize] * 37u;
            const std::size_t count = std::min(size, image.pixels.size() - done);
            pressmark::LZWCompress(image.pixels.data() + done, count, sink, state);
            done += count;
        }
        pressmark::LZWCompress(nullptr, 0, sink, state);
        break;
    }
    case Coder::PackBits: {
        Bytes out(pressmark::PackBitsMaxEncodedSize(image.pixels.size()));
        out.resize(pressmark::PackBitsEncode(image.pixels.data(), image.pixels.size(), out.data()));
        return out;
    }
    case Coder::Count:
        break;
    }
    return sink.release();
}

// Wraps the strip in a TIFF and has libtiff decode it.
Bytes DecodeWithLibtiff(Coder coder, const Image& image, Bytes strip, int fillOrder) {
    MemoryTiff file;
    TIFF* out = file.open("w");
    if (out == nullptr) std::abort();
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, image.bitsPerSample);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(image.height));
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, image.bitsPerSample == 1 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(out, TIFFTAG_FILLORDER, fillOrder == pressmark::kFillLsbFirst ? FILLORDER_LSB2MSB : FILLORDER_MSB2LSB);
    switch (coder) {
    case Coder::G3:
        TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
        TIFFSetField(out, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING);
        break;
    case Coder::G4: TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4); break;
    case Coder::Lzw: TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_LZW); break;
    default: TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS); break;
    }
    if (TIFFWriteRawStrip(out, 0, strip.data(), static_cast<tmsize_t>(strip.size())) < 0) std::abort();
    TIFFClose(out);

    TIFF* in = file.open("r");
    if (in == nullptr) std::abort();
    Bytes decoded(image.pixels.size(), 0);
    const tmsize_t got = TIFFReadEncodedStrip(in, 0, decoded.data(), static_cast<tmsize_t>(decoded.size()));
    TIFFClose(in);
    if (got != static_cast<tmsize_t>(decoded.size())) {
        std::fprintf(stderr, "libtiff decoded %lld of %zu bytes\n", static_cast<long long>(got), decoded.size());
        std::abort();
    }
    return decoded;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    return 0;
}

// Input: coder and fill order, width (2 bytes), LZW piece sizes (4 bytes),
// then the pixels (1-bit rows for the fax coders, 8-bit otherwise).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kHeader = 7;
    if (size < kHeader + 1) return 0;
    const auto coder = static_cast<Coder>(data[0] % static_cast<int>(Coder::Count));
    const bool fax = coder == Coder::G3 || coder == Coder::G4;
    // Fill order is a fax coder's choice; libtiff would reverse the bits of
    // any other strip too.
    const int fillOrder = fax && (data[0] & 0x80) ? pressmark::kFillLsbFirst : pressmark::kFillMsbFirst;
    Image image;
    image.bitsPerSample = fax ? 1 : 8;
    image.width = 1 + ((data[1] << 8 | data[2]) % 4096);
    image.rowBytes = (static_cast<std::size_t>(image.width) * image.bitsPerSample + 7) / 8;
    const std::size_t pixelBytes = size - kHeader;
    image.height = static_cast<std::int32_t>(std::max<std::size_t>(1, pixelBytes / image.rowBytes));
    image.pixels.assign(static_cast<std::size_t>(image.height) * image.rowBytes, 0);
    std::memcpy(image.pixels.data(), data + kHeader, std::min(pixelBytes, image.pixels.size()));
    ClearPadding(image);

    const Bytes strip = Encode(coder, image, data + 3, data[3] % 2 == 0 ? 0 : 4, fillOrder);
    if (DecodeWithLibtiff(coder, image, strip, fillOrder) != image.pixels) {
        std::fprintf(stderr, "coder %d, %dx%d, fill order %d: libtiff decodes other pixels\n",
                     static_cast<int>(coder), image.width, image.height, fillOrder);
        std::abort();
    }
    return 0;
}
