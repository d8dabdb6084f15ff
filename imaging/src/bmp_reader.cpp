// BMP reader.
//
// Layout of a file: a 14-byte file header ("BM", file size, reserved, pixel
// data offset), an info header whose first 4 bytes give its size (12 for the
// OS/2 1.x header with 16-bit sizes, 40 for Windows 3, 64 for OS/2 2.x,
// 108/124 for the V4/V5 headers), optional bit-field masks, a colour table
// (3-byte entries after a 12-byte header, 4-byte entries otherwise), then
// rows padded to 4 bytes, bottom-up unless the height is negative.
//
// Decisions that differ from a naive reader, all because the files are
// untrusted or because the published format says so:
//  - Nothing is allocated before the sizes are checked against the bytes the
//    file holds; the image is only replaced once the header is accepted.
//  - Palette indices beyond the colour table give black instead of reading
//    past it; every write is clipped to the image.
//  - The RLE delta escape (0, 2, dx, dy) moves right and down from the
//    current position, as the published scheme defines it; RLE8 pixels past
//    the right edge are dropped like RLE4 ones.
//  - Bit-field masks are taken from inside the header for headers of 52 bytes
//    and more (V2 to V5), and right after a 40-byte header otherwise.
//  - 16-bit channels keep their low bits zero (0x7FFF gives 248, 248, 248),
//    and a 1-bit file whose palette is exactly white, black is inverted so
//    that a set bit always means white.
#include "pressmark/imaging/bmp_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <system_error>

#include "pressmark/imaging/errors.h"

namespace pressmark {

namespace {

constexpr std::uint16_t kSignature = 0x4D42;  // "BM"
constexpr std::int32_t kDefaultDpi = 300;
// Limits on what a header may make us allocate. Slides are 800 x 600; the
// hard limit leaves ample room for real images. Uncompressed data may expand
// by the layout change (4-bit to 24-bit is 6x) plus some slack for a short
// file; run-length data can describe large blank areas in a few bytes.
constexpr std::uint64_t kMaxImageBytes = std::uint64_t{512} << 20;
constexpr std::uint64_t kSlackBytes = std::uint64_t{1} << 20;
constexpr std::uint64_t kPlainExpansion = 16;
constexpr std::uint64_t kRunLengthExpansion = 1024;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::int32_t S32(const std::uint8_t* p) { return static_cast<std::int32_t>(U32(p)); }

// Reads from an istream with the position, the end and short reads tracked.
// A short read fills the rest of the buffer with zeros and is remembered.
class Source {
public:
    explicit Source(std::istream& in) : in_(in) {
        const std::streampos here = in_.tellg();
        if (here != std::streampos(-1)) {
            start_ = static_cast<std::int64_t>(here);
            in_.seekg(0, std::ios::end);
            const std::streampos end = in_.tellg();
            if (end != std::streampos(-1)) end_ = static_cast<std::int64_t>(end);
            in_.seekg(here);
        }
        pos_ = start_;
    }
    std::int64_t Start() const { return start_; }
    std::int64_t Position() const { return pos_; }
    // Bytes from the current position to the end, or nullopt when unknown.
    std::optional<std::int64_t> Remaining() const {
        if (!end_) return std::nullopt;
        return std::max<std::int64_t>(0, *end_ - pos_);
    }
    std::optional<std::int64_t> End() const { return end_; }
    bool Short() const { return short_; }

    std::size_t Read(void* buffer, std::size_t count) {
        std::size_t got = 0;
        if (in_.good() && count > 0) {
            in_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
            got = static_cast<std::size_t>(in_.gcount());
        }
        if (got < count) {
            std::memset(static_cast<std::uint8_t*>(buffer) + got, 0, count - got);
            short_ = true;
        }
        pos_ += static_cast<std::int64_t>(got);
        return got;
    }
    // Reads without moving on (used for the header size).
    std::size_t Peek(void* buffer, std::size_t count) {
        const std::int64_t at = pos_;
        const bool wasShort = short_;
        const std::size_t got = Read(buffer, count);
        SeekTo(at);
        short_ = wasShort;
        return got;
    }
    void SeekTo(std::int64_t position) {
        in_.clear();
        if (end_ && position > *end_) {
            in_.seekg(0, std::ios::end);  // nothing left to read from here
            in_.setstate(std::ios::eofbit);
        } else {
            in_.seekg(position);
        }
        pos_ = position;
    }

private:
    std::istream& in_;
    std::int64_t start_ = 0;
    std::int64_t pos_ = 0;
    std::optional<std::int64_t> end_;
    bool short_ = false;
};

struct BmpHeader {
    std::uint16_t signature = kSignature;
    std::int64_t fileSize = 0;
    std::uint32_t offset = 0;
    std::uint32_t headerSize = 0;
    std::int32_t headerKind = 0;
    std::int32_t width = 0;
    std::int64_t height = 0;  // 64-bit: the absolute value of INT32_MIN must fit
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    std::int32_t hDpi = kDefaultDpi;
    std::int32_t vDpi = kDefaultDpi;
    std::vector<TColorTriple> colorMap;
    std::array<std::uint32_t, 3> masks{0x7C00, 0x03E0, 0x001F};  // red, green, blue
};

// pixels per metre -> dots per inch, nearest with ties to even; 0 -> 300.
std::int32_t DpiFromPixelsPerMetre(std::int32_t ppm) {
    const auto dpi = static_cast<std::int32_t>(std::nearbyint(ppm / 100.0 * 2.54));
    return dpi == 0 ? kDefaultDpi : dpi;
}

// Width of the lowest run of set bits in a mask.
int RunWidth(std::uint32_t mask) {
    if (mask == 0) return 0;
    while ((mask & 1) == 0) mask >>= 1;
    int n = 0;
    while (mask & 1) {
        ++n;
        mask >>= 1;
    }
    return n;
}

// A shift right by `by` bits; a negative count shifts left. Counts a
// malformed mask could make too large give 0 instead of undefined behaviour.
std::uint32_t ShiftRight(std::uint32_t v, int by) {
    if (by >= 32 || by <= -32) return 0;
    return by >= 0 ? v >> by : v << -by;
}

class Rejection {
public:
    explicit Rejection(std::string reason) : reason(std::move(reason)) {}
    std::string reason;
};

// Parses everything up to the pixel data. Throws Rejection.
BmpHeader ReadHeaders(Source& src, bool withoutFileHeader, std::int64_t& size) {
    BmpHeader h;
    if (!withoutFileHeader) {
        std::uint8_t fh[14];
        if (src.Read(fh, sizeof fh) < 2) throw Rejection("the file is empty or too short to be a BMP");
        h.signature = U16(fh);
        h.fileSize = U32(fh + 2);
        h.offset = U32(fh + 10);
    } else if (const auto end = src.End()) {
        h.fileSize = *end - src.Start();
    }
    if (h.fileSize > 0 && size <= 0) size = h.fileSize;
    if (h.signature != kSignature) throw Rejection("not a BMP file (it does not start with \"BM\")");

    std::uint8_t sizeBytes[4];
    if (src.Peek(sizeBytes, 4) < 4) throw Rejection("the file ends inside its headers");
    h.headerSize = U32(sizeBytes);
    if (h.headerSize < 12) throw Rejection("its info header size " + std::to_string(h.headerSize) + " is invalid");

    if (h.headerSize == 12) {
        std::uint8_t ih[12];
        src.Read(ih, sizeof ih);
        h.headerKind = 2;
        h.width = U16(ih + 4);
        h.height = U16(ih + 6);
        h.bitCount = U16(ih + 10);
        if (h.bitCount <= 8) {
            h.colorMap.resize(std::size_t{1} << h.bitCount);
            for (auto& c : h.colorMap) {
                std::uint8_t e[3];
                src.Read(e, 3);
                c = {e[0], e[1], e[2]};
            }
        }
    } else {
        std::uint8_t ih[64] = {};
        src.Read(ih, std::min<std::uint32_t>(h.headerSize, 64));
        if (h.headerSize > 64) src.SeekTo(src.Position() + (h.headerSize - 64));
        h.headerKind = h.headerSize == 64 ? 3 : h.headerSize == 40 ? 1 : 0;
        h.width = S32(ih + 4);
        const std::int32_t height = S32(ih + 8);
        h.topDown = height < 0;
        h.height = std::abs(static_cast<std::int64_t>(height));
        h.bitCount = U16(ih + 14);
        h.compression = U32(ih + 16);
        h.imageSize = U32(ih + 20);
        h.hDpi = DpiFromPixelsPerMetre(S32(ih + 24));
        h.vDpi = DpiFromPixelsPerMetre(S32(ih + 28));
        std::uint32_t colorsUsed = U32(ih + 32);
        if (colorsUsed > 256) colorsUsed = 0;
        if (colorsUsed == 0 && h.bitCount <= 8) colorsUsed = 1u << h.bitCount;
        if (h.compression == 3) {
            if (h.headerSize >= 52) {
                h.masks = {U32(ih + 40), U32(ih + 44), U32(ih + 48)};
            } else {
                std::uint8_t m[12];
                src.Read(m, sizeof m);
                h.masks = {U32(m), U32(m + 4), U32(m + 8)};
            }
        }
        h.colorMap.resize(colorsUsed);
        for (auto& c : h.colorMap) {
            std::uint8_t e[4];
            src.Read(e, 4);
            c = {e[0], e[1], e[2]};
        }
    }
    if (h.width < 0) throw Rejection("its width " + std::to_string(h.width) + " is negative");
    if (h.height > std::numeric_limits<std::int32_t>::max())
        throw Rejection("its height " + std::to_string(h.height) + " is too large");
    return h;
}

bool IsDecoded(const BmpHeader& h) {
    switch (h.bitCount) {
        case 24:
        case 32: return true;
        case 16: return h.compression == 0 || h.compression == 3;
        case 8: return h.compression == 0 || h.compression == 1;
        case 4: return h.compression == 0 || h.compression == 2;
        case 1: return h.compression == 0;
        default: return false;
    }
}

bool IsRunLength(const BmpHeader& h) {
    return (h.bitCount == 8 && h.compression == 1) || (h.bitCount == 4 && h.compression == 2);
}

TPixelLayout LayoutFor(const BmpHeader& h, bool native) {
    if (h.bitCount == 1) return plBW1;
    if ((h.bitCount == 4 || h.bitCount == 8) && native) return plPalette8;
    return plRGB24;
}

void SetSampleFields(const BmpHeader& h, TImageParams& params) {
    switch (h.bitCount) {
        case 24: params.BitsPerSample = 8, params.SamplesPerPixel = 3; break;
        case 32: params.BitsPerSample = 8, params.SamplesPerPixel = 4; break;
        case 16: params.BitsPerSample = 5, params.SamplesPerPixel = 3; break;
        case 8: params.BitsPerSample = 8, params.SamplesPerPixel = 1; break;
        case 4: params.BitsPerSample = 4, params.SamplesPerPixel = 1; break;
        case 1: params.BitsPerSample = 1, params.SamplesPerPixel = 1; break;
        default: break;
    }
}

std::string SizeText(const BmpHeader& h) {
    return std::to_string(h.width) + " x " + std::to_string(h.height) + " pixels of " +
           std::to_string(h.bitCount) + " bits";
}

// Refuses sizes that overflow or that the file's bytes cannot back.
void CheckSizes(const BmpHeader& h, TPixelLayout layout, std::optional<std::int64_t> available) {
    const std::uint64_t fileRow = (static_cast<std::uint64_t>(h.width) * h.bitCount + 31) / 32 * 4;
    const std::uint64_t imageRow = (static_cast<std::uint64_t>(h.width) * BitsPerPixelOf(layout) + 31) / 32 * 4;
    const auto height = static_cast<std::uint64_t>(h.height);
    if (imageRow > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) ||
        imageRow * height > kMaxImageBytes)
        throw Rejection("its " + SizeText(h) + " exceed the largest image this reader accepts (" +
                        std::to_string(kMaxImageBytes >> 20) + " MiB)");
    if (!available) return;
    const auto bytes = static_cast<std::uint64_t>(*available);
    const std::uint64_t expansion = IsRunLength(h) ? kRunLengthExpansion : kPlainExpansion;
    const bool unbacked = IsDecoded(h) && !IsRunLength(h)
                              ? fileRow * height > expansion * bytes + kSlackBytes
                              : imageRow * height > expansion * bytes + kSlackBytes;
    if (unbacked)
        throw Rejection("its header gives " + SizeText(h) + ", far more than the " + std::to_string(bytes) +
                        " bytes of pixel data in the file can hold");
}

// Writes decoded pixels into the image: native palette indices, colours
// through a 256-entry table (entries beyond the colour map are black), and
// the optional alpha mask.
class PixelSink {
public:
    PixelSink(TRasterImage& image, const BmpHeader& h, bool native)
        : image_(image), native_(native), width_(h.width), height_(static_cast<std::int32_t>(h.height)),
          topDown_(h.topDown) {
        std::copy_n(h.colorMap.begin(), std::min<std::size_t>(h.colorMap.size(), 256), table_.begin());
    }
    std::int32_t ImageRowOf(std::int64_t fileRow) const {
        return topDown_ ? static_cast<std::int32_t>(fileRow) : height_ - 1 - static_cast<std::int32_t>(fileRow);
    }
    std::uint8_t* Row(std::int64_t fileRow) { return image_.RowAddress(ImageRowOf(fileRow)); }
    void PutIndex(std::uint8_t* row, std::int32_t x, std::uint8_t index) const {
        if (native_) {
            row[x] = index;
        } else {
            const TColorTriple& c = table_[index];
            std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
            p[0] = c.Blue;
            p[1] = c.Green;
            p[2] = c.Red;
        }
    }
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }

private:
    TRasterImage& image_;
    bool native_;
    std::int32_t width_;
    std::int32_t height_;
    bool topDown_;
    std::array<TColorTriple, 256> table_{};
};

// Progress before each file row; answers false when the read must stop.
bool BeforeRow(TProgressRecord& progress, std::int32_t rowsDone) {
    if (progress.OnProgress) progress.Report(rowsDone);
    return !(progress.AbortFlag && *progress.AbortFlag);
}

struct DecodeResult {
    bool stopped = false;
};

DecodeResult DecodePlain(Source& src, const BmpHeader& h, PixelSink& sink, TProgressRecord& progress,
                         TAlphaMask* alpha, bool& alphaAll0, bool& alphaAll255) {
    const std::size_t fileRow = (static_cast<std::size_t>(h.width) * h.bitCount + 31) / 32 * 4;
    std::vector<std::uint8_t> buffer;
    if (h.bitCount != 24 && h.bitCount != 1) buffer.resize(fileRow);
    const int rR = RunWidth(h.masks[0]), rG = RunWidth(h.masks[1]), rB = RunWidth(h.masks[2]);
    for (std::int32_t k = 0; k < sink.Height(); ++k) {
        if (!BeforeRow(progress, k)) return {true};
        std::uint8_t* row = sink.Row(k);
        switch (h.bitCount) {
            case 24:
            case 1: src.Read(row, fileRow); break;  // same layout as the image row
            case 32: {
                src.Read(buffer.data(), fileRow);
                std::uint8_t* alphaRow = alpha ? alpha->Row(sink.ImageRowOf(k)) : nullptr;
                for (std::int32_t x = 0; x < sink.Width(); ++x) {
                    const std::uint8_t* p = buffer.data() + 4 * static_cast<std::size_t>(x);
                    std::memcpy(row + 3 * static_cast<std::size_t>(x), p, 3);
                    if (alphaRow) {
                        alphaRow[x] = p[3];
                        alphaAll0 = alphaAll0 && p[3] == 0;
                        alphaAll255 = alphaAll255 && p[3] == 255;
                    }
                }
                break;
            }
            case 16: {
                src.Read(buffer.data(), fileRow);
                for (std::int32_t x = 0; x < sink.Width(); ++x) {
                    const std::uint32_t w = U16(buffer.data() + 2 * static_cast<std::size_t>(x));
                    std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
                    p[2] = static_cast<std::uint8_t>(ShiftRight(w & h.masks[0], rR + rG + rB - 8));
                    p[1] = static_cast<std::uint8_t>(ShiftRight(w & h.masks[1], rG + rB - 8));
                    p[0] = static_cast<std::uint8_t>(ShiftRight((w & h.masks[2]) & 0xFF, rB - 8));
                }
                break;
            }
            case 8:
                src.Read(buffer.data(), fileRow);
                for (std::int32_t x = 0; x < sink.Width(); ++x) sink.PutIndex(row, x, buffer[x]);
                break;
            case 4:
                src.Read(buffer.data(), fileRow);
                for (std::int32_t x = 0; x < sink.Width(); ++x) {
                    const std::uint8_t b = buffer[static_cast<std::size_t>(x) / 2];
                    sink.PutIndex(row, x, (x & 1) ? (b & 0x0F) : (b >> 4));
                }
                break;
            default: break;
        }
    }
    return {};
}

// The published BMP run-length scheme for 8-bit (RLE8) and 4-bit (RLE4) data.
DecodeResult DecodeRunLength(const std::vector<std::uint8_t>& data, const BmpHeader& h, PixelSink& sink,
                             TProgressRecord& progress) {
    const bool four = h.bitCount == 4;
    const std::int32_t width = sink.Width();
    std::size_t p = 0;
    std::int64_t k = 0;          // file row
    std::int64_t x = 0;          // column
    std::int64_t rowPixels = 0;  // pixels written since the row began (4-bit limit)
    if (!BeforeRow(progress, 0)) return {true};
    std::uint8_t* row = sink.Row(0);
    auto put = [&](std::uint8_t index) {
        if (four) {
            if (rowPixels >= width) return;  // no pixel once a row's width is written
            ++rowPixels;
            if (x < width) sink.PutIndex(row, static_cast<std::int32_t>(x), index);
            ++x;
        } else {
            // Pixels past the right edge are dropped: encoders pad rows with
            // them (ImageMagick writes a run up to the 4-byte row length), so
            // painting them onto the last pixel would spoil a real column.
            if (x < width) sink.PutIndex(row, static_cast<std::int32_t>(x), index);
            ++x;
        }
    };
    auto moveTo = [&](std::int64_t fileRow) {
        k = fileRow;
        if (k >= sink.Height()) return false;
        if (!BeforeRow(progress, static_cast<std::int32_t>(k))) return false;
        row = sink.Row(k);
        return true;
    };
    while (p + 2 <= data.size()) {
        const std::uint8_t n = data[p], v = data[p + 1];
        p += 2;
        if (n > 0) {
            for (int i = 0; i < n; ++i) put(four ? ((i & 1) ? (v & 0x0F) : (v >> 4)) : v);
            continue;
        }
        if (v == 0) {  // end of row
            x = 0;
            rowPixels = 0;
            if (!moveTo(k + 1)) return {k < sink.Height()};
        } else if (v == 1) {  // end of image
            break;
        } else if (v == 2) {  // delta: right dx, down dy
            if (p + 2 > data.size()) break;
            const std::uint8_t dx = data[p], dy = data[p + 1];
            p += 2;
            x += dx;
            if (dy > 0) {
                if (!moveTo(k + dy)) return {k < sink.Height()};
                rowPixels = 0;
            }
        } else {  // absolute run of v pixels, padded to an even byte count
            const std::size_t bytes = four ? (v + 1u) / 2 : v;
            for (int i = 0; i < v; ++i) {
                const std::size_t at = p + (four ? static_cast<std::size_t>(i) / 2 : static_cast<std::size_t>(i));
                if (at >= data.size()) break;
                put(four ? ((i & 1) ? (data[at] & 0x0F) : (data[at] >> 4)) : data[at]);
            }
            p += bytes + (bytes & 1);
        }
    }
    return {};
}

void CommitFields(const BmpHeader& h, TImageParams& params) {
    params.ColorMap = h.colorMap;
    params.ColorMapCount = static_cast<std::int32_t>(h.colorMap.size());
    params.BmpHeaderKind = h.headerKind;
    params.HorizontalDpi = h.hDpi;
    params.VerticalDpi = h.vDpi;
    params.BmpRunLength = h.compression == 1 || h.compression == 2;
    params.ImageWidth = h.width;
    params.ImageHeight = static_cast<std::int32_t>(h.height);
    SetSampleFields(h, params);
}

// After a 1-bit read: a palette of exactly white, black means the file's set
// bits are black, so every bit is flipped to keep "set bit = white".
void InvertIfWhiteBlack(const BmpHeader& h, TRasterImage& image) {
    const TColorTriple white{255, 255, 255}, black{0, 0, 0};
    if (h.colorMap.size() != 2 || h.colorMap[0] != white || h.colorMap[1] != black) return;
    const std::size_t length = static_cast<std::size_t>(image.RowLength());
    for (std::int32_t r = 0; r < image.Height(); ++r) {
        std::uint8_t* row = image.RowAddress(r);
        for (std::size_t i = 0; i < length; ++i) row[i] = static_cast<std::uint8_t>(~row[i]);
    }
}

std::string LowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

}  // namespace

bool ReadBmpStream(std::istream& stream, TRasterImage& image, std::int64_t size, TImageParams& params,
                   TProgressRecord& progress, bool WithoutFileHeader, bool InfoOnly,
                   std::unique_ptr<TAlphaMask>& alpha, bool IgnoreAlpha) {
    Source src(stream);
    BmpHeader h;
    try {
        h = ReadHeaders(src, WithoutFileHeader, size);
        if (h.offset != 0) src.SeekTo(src.Start() + h.offset);
        if (!InfoOnly && h.width > 0 && h.height > 0)
            CheckSizes(h, LayoutFor(h, params.NativePixelFormat), src.Remaining());
    } catch (const Rejection& r) {
        if (progress.AbortFlag) *progress.AbortFlag = 1;
        params.LastReadError = r.reason;
        return false;
    }

    CommitFields(h, params);
    if (h.width == 0 || h.height == 0 || InfoOnly) return true;

    const TPixelLayout layout = LayoutFor(h, params.NativePixelFormat);
    image.Allocate(h.width, static_cast<std::int32_t>(h.height), layout);
    if (layout == plPalette8)
        for (std::size_t i = 0; i < h.colorMap.size() && i < 256; ++i)
            image.SetPaletteEntry(static_cast<int>(i), h.colorMap[i]);
    progress.PercentPerRow = 100.0 / static_cast<double>(h.height);

    PixelSink sink(image, h, layout == plPalette8);
    DecodeResult result;
    if (!IsDecoded(h)) {
        params.LastReadError = "its " + std::to_string(h.bitCount) + "-bit pixels with compression " +
                               std::to_string(h.compression) + " are not supported; the image was left black";
        return true;
    }
    if (IsRunLength(h)) {
        // Length of the run-length data: from the given size, else from the
        // header; never more than the stream holds.
        std::int64_t length = size > 0 ? src.Start() + size - src.Position() : h.imageSize;
        const auto remaining = src.Remaining();
        if (length <= 0 && remaining) length = *remaining;
        if (remaining && length > *remaining) {
            length = *remaining;
            params.LastReadError = "the file ends inside its run-length data; the missing pixels are black";
        }
        std::vector<std::uint8_t> data(static_cast<std::size_t>(std::max<std::int64_t>(length, 0)));
        src.Read(data.data(), data.size());
        result = DecodeRunLength(data, h, sink, progress);
    } else {
        const bool wantAlpha = h.bitCount == 32 && !IgnoreAlpha;
        if (wantAlpha && (!alpha || alpha->Width != h.width || alpha->Height != h.height))
            alpha = std::make_unique<TAlphaMask>(h.width, static_cast<std::int32_t>(h.height));
        bool all0 = true, all255 = true;
        result = DecodePlain(src, h, sink, progress, wantAlpha ? alpha.get() : nullptr, all0, all255);
        if (wantAlpha && (all0 || all255)) alpha.reset();
        if (h.bitCount == 1) InvertIfWhiteBlack(h, image);
    }
    if (src.Short() && params.LastReadError.empty())
        params.LastReadError = "the file ends before its pixel data does; the missing pixels are black";
    if (result.stopped && params.LastReadError.empty()) params.LastReadError = "reading was stopped";
    return true;
}

void LoadBmpStream(std::istream& stream, TRasterImage& image, TImageParams& params, TProgressRecord& progress) {
    if (progress.AbortFlag) *progress.AbortFlag = 0;
    params.JpegMarkers.clear();
    params.LastReadError.clear();
    std::unique_ptr<TAlphaMask> mask;
    if (!ReadBmpStream(stream, image, 0, params, progress, false, false, mask, false)) return;
    if (params.HorizontalDpi < 2) params.HorizontalDpi = kDefaultDpi;
    if (params.VerticalDpi < 2) params.VerticalDpi = kDefaultDpi;
    image.DropAlphaImage();
    if (mask && mask->Width == image.Width() && mask->Height == image.Height()) {
        auto alphaImage = std::make_unique<TRasterImage>(locTempFile);
        alphaImage->Allocate(mask->Width, mask->Height, plGray8);
        for (std::int32_t r = 0; r < mask->Height; ++r)
            std::memcpy(alphaImage->RowAddress(r), mask->Row(r), static_cast<std::size_t>(mask->Width));
        image.SetAlphaImage(std::move(alphaImage));
    }
    params.LastFileName.clear();
    params.LastFileType = 5;
}

void LoadBmpFile(const std::string& path, TRasterImage& image, TImageParams& params, TProgressRecord& progress) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw ReadError(path, "cannot open the file: it is a folder");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ReadError(path, std::string("cannot open the file: ") + std::strerror(errno));
    LoadBmpStream(in, image, params, progress);
    params.LastFileName = path;
}

bool IsBmpExtension(const std::string& path) {
    const std::string ext = LowerExtension(path);
    return ext == "bmp" || ext == "dib" || ext == "rle";
}

bool LoadImageFile(const std::string& path, TRasterImage& image, TImageParams& params, TProgressRecord& progress) {
    if (!IsBmpExtension(path)) return false;
    LoadBmpFile(path, image, params, progress);
    return true;
}

}  // namespace pressmark
