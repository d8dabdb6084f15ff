// CCITT fax encoders: byte-exact cases derived by hand from the T.4/T.6 code
// tables, and round trips through two independent decoders (libtiff, and the
// PDF /CCITTFaxDecode filter of poppler and mupdf), pixel-exact.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "pressmark/imaging/bit_writer.h"
#include "pressmark/imaging/byte_sink.h"
#include "pressmark/imaging/ccitt.h"

namespace pressmark {
namespace {

using Bytes = std::vector<std::uint8_t>;

// "0011 011" -> bytes, first bit most significant, last byte padded with 0.
Bytes FromBits(const std::string& text) {
    Bytes out;
    int count = 0;
    for (char c : text) {
        if (c != '0' && c != '1') continue;
        if (count % 8 == 0) out.push_back(0);
        if (c == '1') out.back() |= static_cast<std::uint8_t>(0x80 >> (count % 8));
        ++count;
    }
    return out;
}

Bytes FromHex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i + 2 <= text.size(); i += 3) out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

std::string Hex(const Bytes& bytes) {
    std::string out;
    char buf[4];
    for (auto b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        out += buf;
    }
    return out;
}

Bytes Reversed(Bytes bytes) {  // fill order 2 view of fill-order-1 bytes
    for (auto& b : bytes) {
        std::uint8_t r = 0;
        for (int i = 0; i < 8; ++i) r |= static_cast<std::uint8_t>(((b >> i) & 1) << (7 - i));
        b = r;
    }
    return bytes;
}

// A 1-bit image as the encoders see it: rows padded to 4 bytes, bit set = fax black.
struct Bitmap {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t stride = 0;
    Bytes bits;

    Bitmap(std::int32_t w, std::int32_t h) : width(w), height(h), stride((w + 31) / 32 * 4), bits(stride * h, 0) {}
    std::uint8_t* row(std::int32_t y) { return bits.data() + stride * y; }
    const std::uint8_t* row(std::int32_t y) const { return bits.data() + stride * y; }
    bool get(std::int32_t x, std::int32_t y) const { return (row(y)[x >> 3] >> (7 - (x & 7))) & 1; }
    void set(std::int32_t x, std::int32_t y, bool black = true) {
        auto& byte = row(y)[x >> 3];
        const auto mask = static_cast<std::uint8_t>(0x80 >> (x & 7));
        byte = black ? (byte | mask) : (byte & ~mask);
    }
    void fill(std::int32_t x0, std::int32_t x1, std::int32_t y) {
        for (std::int32_t x = x0; x < x1; ++x) set(x, y);
    }
};

Bitmap FromRows(std::int32_t width, const std::vector<std::string>& rows) {
    Bitmap bitmap(width, static_cast<std::int32_t>(rows.size()));
    for (std::size_t y = 0; y < rows.size(); ++y) {
        const Bytes bytes = FromBits(rows[y]);
        std::copy(bytes.begin(), bytes.end(), bitmap.row(static_cast<std::int32_t>(y)));
    }
    return bitmap;
}

enum class Coder { G3, G4 };
const char* Name(Coder c) { return c == Coder::G3 ? "G3" : "G4"; }

void EncodeRow(Coder coder, const std::uint8_t* row, std::int32_t width, ByteSink& sink, CCITTEncoderState& state,
               std::uint8_t* abortFlag, int fillOrder) {
    if (coder == Coder::G3)
        EncodeRowG3TwoD(row, width, sink, state, abortFlag, fillOrder);
    else
        EncodeRowG4(row, width, sink, state, abortFlag, fillOrder);
}

Bytes Encode(Coder coder, const Bitmap& bitmap, int fillOrder = 1) {
    MemorySink sink;
    CCITTEncoderState state;
    std::uint8_t abortFlag = 0;
    for (std::int32_t y = 0; y < bitmap.height; ++y)
        EncodeRow(coder, bitmap.row(y), bitmap.width, sink, state, &abortFlag, fillOrder);
    EncodeRow(coder, nullptr, 0, sink, state, &abortFlag, fillOrder);
    EXPECT_EQ(state.PendingBitCount, 0);
    EXPECT_EQ(state.ReferenceRow, nullptr);
    EXPECT_EQ(abortFlag, 0);
    return sink.release();
}

// ---------------------------------------------------------------------------

TEST(BitWriterTest, PacksCodesMostSignificantBitFirst) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::uint32_t, int>> codes;  // length 0 = alignToByte
        const char* bits;
    };
    const Case cases[] = {
        {"one bit", {{1, 1}}, "1"},
        {"only low bits count", {{0xFF5, 4}}, "0101"},
        {"codes across bytes", {{0b001, 3}, {0b1011, 4}, {0b011, 3}}, "001 1011 011"},
        {"align pads with zeros", {{0b11, 2}, {0, 0}, {0b1, 1}}, "11000000 1"},
        {"align when aligned adds nothing", {{0xAB, 8}, {0, 0}, {0x1, 1}}, "10101011 1"},
        {"crosses the 32-bit word", {{0x7FFFFF, 23}, {0b101010101, 9}, {0b10, 2}, {0xC0F, 12}},
         "11111111111111111111111 101010101 10 110000001111"},
        {"32-bit code", {{0x80000001u, 32}, {0b1, 1}}, "10000000000000000000000000000001 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint8_t buffer[16] = {};
        std::fill(std::begin(buffer), std::end(buffer), 0xEE);  // stale bytes must be overwritten
        BitWriter writer(buffer);
        std::size_t expectedBits = 0;
        for (auto [code, length] : c.codes) {
            if (length == 0) {
                writer.alignToByte();
                expectedBits = (expectedBits + 7) / 8 * 8;
            } else {
                writer.put(code, length);
                expectedBits += static_cast<std::size_t>(length);
            }
        }
        EXPECT_EQ(writer.bitCount(), expectedBits);
        const std::size_t bytes = writer.finish();
        EXPECT_EQ(Hex(Bytes(buffer, buffer + bytes)), Hex(FromBits(c.bits)));
    }
}

// Expected streams: the four published worked examples (hex), and cases
// derived by hand from the T.4 code tables (bit strings, padded with 0).
struct StreamCase {
    const char* name;
    Coder coder;
    std::int32_t width;
    std::vector<std::string> rows;  // bit strings, 1 = fax black
    std::string expected;
    bool hex;
};

const std::string kEOL = "000000000001 ";
const std::string kEOFB = kEOL + kEOL;
const std::string kWhite2560 = "000000011111 ";

std::string Zeros(int n) { return std::string(static_cast<std::size_t>(n), '0'); }
std::string Ones(int n) { return std::string(static_cast<std::size_t>(n), '1'); }

const StreamCase kStreamCases[] = {
    // Worked examples.
    {"G4 one row", Coder::G4, 8, {"00001111"}, "36 C0 04 00 40", true},
    {"G3 one row", Coder::G3, 8, {"00001111"}, "00 1D B0 01", true},
    {"G4 two rows", Coder::G4, 8, {"00001111", "00011110"}, "36 D2 80 08 00 80", true},
    {"G3 two rows", Coder::G3, 8, {"00001111", "00011110"}, "00 1D B0 01 25 00 10", true},
    // Hand-derived.
    {"G3 row starting black opens with white 0", Coder::G3, 8, {"11110000"},
     kEOL + "1 00110101 011 1011 " + kEOL, false},
    {"G3 white run 5000: 2560 + 2432 + 8", Coder::G3, 5000, {Zeros(5000)},
     kEOL + "1 " + kWhite2560 + "000000011101 10011 " + kEOL, false},
    {"G3 white run 2560 ends with white 0", Coder::G3, 2560, {Zeros(2560)},
     kEOL + "1 " + kWhite2560 + "00110101 " + kEOL, false},
    {"G3 white run 2561 is 2560 + 1", Coder::G3, 2561, {Zeros(2561)}, kEOL + "1 " + kWhite2560 + "000111 " + kEOL,
     false},
    {"G3 black run 200 is make-up 192 + 8", Coder::G3, 200, {Ones(200)},
     kEOL + "1 00110101 000011001001 000101 " + kEOL, false},
    {"G4 pass mode", Coder::G4, 8, {"00110000", "00000000"}, "001 0111 11 1  0001 1 " + kEOFB, false},
    {"G4 vertical VR3 VR2 VL2 VL1", Coder::G4, 16, {"0000111100000000", "0000000111000000", "0000011110000000"},
     "001 1011 011 1  0000011 000011 1  000010 010 1 " + kEOFB, false},
    {"G3 same rows: 1-D first row, then tag 0", Coder::G3, 16,
     {"0000111100000000", "0000000111000000", "0000011110000000"},
     kEOL + "1 1011 011 10011 " + kEOL + "0 0000011 000011 1 " + kEOL + "0 000010 010 1 " + kEOL, false},
    {"G4 VL3", Coder::G4, 16, {"0000000111000000", "0000111110000000"},
     "001 1111 10 1  0000010 010 1 " + kEOFB, false},
    {"G4 horizontal with make-up runs", Coder::G4, 3000, {Zeros(100) + Ones(2900)},
     "001 11011 00010101 " + kWhite2560 + "000000110011 00001101000 " + kEOFB, false},
    {"G4 empty image is EOFB", Coder::G4, 8, {}, kEOFB, false},
    {"G3 empty image is EOL 1 EOL", Coder::G3, 8, {}, kEOL + "1 " + kEOL, false},
};

TEST(CCITTEncoderTest, StreamsMatchHandDerivedCodes) {
    for (const StreamCase& c : kStreamCases) {
        const Bytes expected = c.hex ? FromHex(c.expected) : FromBits(c.expected);
        const Bitmap bitmap = FromRows(c.width, c.rows);
        for (int fillOrder : {1, 2}) {
            SCOPED_TRACE(std::string(c.name) + ", fill order " + std::to_string(fillOrder));
            const Bytes want = fillOrder == 1 ? expected : Reversed(expected);
            EXPECT_EQ(Hex(Encode(c.coder, bitmap, fillOrder)), Hex(want));
        }
    }
}

// Only whole bytes reach the stream; the rest waits in the state.
TEST(CCITTEncoderTest, CarriesIncompleteByteBetweenCalls) {
    const Bitmap bitmap = FromRows(8, {"00001111"});
    for (int fillOrder : {1, 2}) {
        SCOPED_TRACE(fillOrder);
        MemorySink sink;
        CCITTEncoderState state;
        std::uint8_t abortFlag = 0;
        EncodeRowG4(bitmap.row(0), 8, sink, state, &abortFlag, fillOrder);  // 10 bits: 0011011011
        const Bytes first = fillOrder == 1 ? FromBits("00110110") : Reversed(FromBits("00110110"));
        EXPECT_EQ(Hex(sink.data()), Hex(first));
        EXPECT_EQ(state.PendingBitCount, 2);
        EXPECT_EQ(state.PendingByte, fillOrder == 1 ? 0xC0 : 0x03);
        EXPECT_NE(state.ReferenceRow, nullptr);
        EncodeRowG4(nullptr, 0, sink, state, &abortFlag, fillOrder);
        EXPECT_EQ(state.PendingBitCount, 0);
        EXPECT_EQ(state.ReferenceRow, nullptr);
    }
}

class ShortSink final : public ByteSink {
public:
    std::size_t write(std::span<const std::uint8_t> bytes) override {
        offered += bytes.size();
        return bytes.size() / 2;
    }
    std::uint64_t position() const override { return 0; }
    std::size_t offered = 0;
};

TEST(CCITTEncoderTest, ShortWriteSetsAbortFlagAndCodingGoesOn) {
    Bitmap bitmap(64, 3);
    bitmap.fill(10, 40, 1);
    for (Coder coder : {Coder::G3, Coder::G4}) {
        SCOPED_TRACE(Name(coder));
        ShortSink sink;
        CCITTEncoderState state;
        std::uint8_t abortFlag = 0;
        for (std::int32_t y = 0; y < bitmap.height; ++y)
            EncodeRow(coder, bitmap.row(y), bitmap.width, sink, state, &abortFlag, 1);
        EncodeRow(coder, nullptr, 0, sink, state, &abortFlag, 1);
        EXPECT_EQ(abortFlag, 1);
        EXPECT_EQ(sink.offered, Encode(coder, bitmap).size());
    }
}

// ---------------------------------------------------------------------------
// Test images

Bitmap RandomRuns(std::int32_t width, std::int32_t height, unsigned seed) {
    // Runs of every scale, from single pixels to several make-up codes, and
    // rows that often repeat the row above with small shifts, so that pass,
    // vertical and horizontal modes all occur.
    std::mt19937 rng(seed);
    Bitmap bitmap(width, height);
    for (std::int32_t y = 0; y < height; ++y) {
        if (y > 0 && rng() % 2 == 0) {
            const int shift = static_cast<int>(rng() % 7) - 3;
            for (std::int32_t x = 0; x < width; ++x) {
                const std::int32_t from = std::clamp(x + shift, 0, width - 1);
                bitmap.set(x, y, bitmap.get(from, y - 1) != (rng() % 97 == 0));
            }
            continue;
        }
        bool black = rng() % 2 == 0;
        for (std::int32_t x = 0; x < width;) {
            const std::int32_t scale = std::int32_t{1} << (rng() % 13);
            const std::int32_t run = 1 + static_cast<std::int32_t>(rng() % static_cast<unsigned>(scale));
            if (black) bitmap.fill(x, std::min(width, x + run), y);
            x += run;
            black = !black;
        }
    }
    return bitmap;
}

// Lines of glyph-like strokes on white, a rule and a filled box: what a
// slide of text looks like once thresholded.
Bitmap TextPage(std::int32_t width, std::int32_t height, unsigned seed) {
    std::mt19937 rng(seed);
    Bitmap bitmap(width, height);
    for (std::int32_t top = 40; top + 20 < height - 60; top += 28) {
        for (std::int32_t x = 60; x < width - 60;) {
            const std::int32_t glyph = 6 + static_cast<std::int32_t>(rng() % 9);
            for (int stroke = 0; stroke < 3; ++stroke) {
                const std::int32_t sx = x + static_cast<std::int32_t>(rng() % static_cast<unsigned>(glyph));
                const std::int32_t sy = top + static_cast<std::int32_t>(rng() % 8);
                const std::int32_t len = 4 + static_cast<std::int32_t>(rng() % 12);
                const bool vertical = rng() % 2 == 0;
                for (std::int32_t i = 0; i < len; ++i)
                    for (std::int32_t t = 0; t < 2; ++t) {
                        const std::int32_t px = vertical ? sx + t : sx + i;
                        const std::int32_t py = vertical ? sy + i : sy + t;
                        if (px < width && py < height) bitmap.set(px, py);
                    }
            }
            x += glyph + 2 + (rng() % 6 == 0 ? 12 : 0);
        }
    }
    for (std::int32_t y = height - 50; y < height - 47; ++y) bitmap.fill(20, width - 20, y);
    for (std::int32_t y = height - 40; y < height - 10; ++y) bitmap.fill(width / 2, width / 2 + 150, y);
    return bitmap;
}

Bitmap Uniform(std::int32_t width, std::int32_t height, bool black) {
    Bitmap bitmap(width, height);
    if (black)
        for (std::int32_t y = 0; y < height; ++y) bitmap.fill(0, width, y);
    return bitmap;
}

Bitmap Alternating(std::int32_t width, std::int32_t height) {
    Bitmap bitmap(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = (y / 2) % 2; x < width; x += 2) bitmap.set(x, y);
    return bitmap;
}

Bitmap LongRuns(std::int32_t width) {  // 5000-pixel runs of each colour, and their edges moving
    Bitmap bitmap(width, 6);
    bitmap.fill(1, 5001, 1);
    bitmap.fill(1, 5001, 2);
    bitmap.fill(0, 5000, 3);
    bitmap.fill(3, width, 4);
    return bitmap;
}

struct ImageCase {
    const char* name;
    Bitmap bitmap;
};

std::vector<ImageCase> RoundTripImages() {
    std::vector<ImageCase> images;
    images.push_back({"random 801x40", RandomRuns(801, 40, 1)});
    images.push_back({"random 13x30", RandomRuns(13, 30, 2)});
    images.push_back({"random 6007x12", RandomRuns(6007, 12, 3)});
    images.push_back({"text page 800x600", TextPage(800, 600, 4)});
    images.push_back({"text page 803x61", TextPage(803, 61, 5)});
    images.push_back({"all white 801x5", Uniform(801, 5, false)});
    images.push_back({"all black 801x5", Uniform(801, 5, true)});
    images.push_back({"one pixel wide", RandomRuns(1, 9, 6)});
    images.push_back({"alternating 803x8", Alternating(803, 8)});
    images.push_back({"5000-pixel runs", LongRuns(5003)});
    return images;
}

// Bits beyond the width never change the output.
TEST(CCITTEncoderTest, IgnoresBitsBeyondWidth) {
    for (const ImageCase& image : RoundTripImages()) {
        Bitmap noisy = image.bitmap;
        std::mt19937 rng(7);
        for (std::int32_t y = 0; y < noisy.height; ++y)
            for (std::int32_t x = noisy.width; x < static_cast<std::int32_t>(noisy.stride * 8); ++x)
                noisy.set(x, y, rng() % 2 == 0);
        for (Coder coder : {Coder::G3, Coder::G4}) {
            SCOPED_TRACE(std::string(image.name) + " " + Name(coder));
            EXPECT_EQ(Encode(coder, noisy), Encode(coder, image.bitmap));
        }
    }
}

// ---------------------------------------------------------------------------
// Independent decoders

class ScratchDir {
public:
    ScratchDir()
        : path_(std::filesystem::temp_directory_path() / ("pressmark-ccitt-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Wraps the strip in a TIFF with libtiff and reads it back with libtiff's
// own fax decoder.
Bitmap DecodeWithLibtiff(const Bytes& strip, Coder coder, const Bitmap& shape, int fillOrder,
                         const std::string& path) {
    Bitmap decoded(shape.width, shape.height);
    TIFF* out = TIFFOpen(path.c_str(), "w");
    if (out == nullptr) {
        ADD_FAILURE() << "cannot create " << path;
        return decoded;
    }
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(shape.width));
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(shape.height));
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(shape.height));
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);  // read-back bits = fax bits
    TIFFSetField(out, TIFFTAG_FILLORDER, fillOrder == 2 ? FILLORDER_LSB2MSB : FILLORDER_MSB2LSB);
    if (coder == Coder::G3) {
        TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
        TIFFSetField(out, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING);
    } else {
        TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    }
    TIFFWriteRawStrip(out, 0, const_cast<std::uint8_t*>(strip.data()), static_cast<tmsize_t>(strip.size()));
    TIFFClose(out);

    TIFF* in = TIFFOpen(path.c_str(), "r");
    if (in == nullptr) {
        ADD_FAILURE() << "cannot reopen " << path;
        return decoded;
    }
    std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize(in)));
    for (std::int32_t y = 0; y < shape.height; ++y) {
        if (TIFFReadScanline(in, line.data(), static_cast<uint32_t>(y), 0) < 0) {
            ADD_FAILURE() << "libtiff could not decode row " << y;
            break;
        }
        std::copy(line.begin(), line.end(), decoded.row(y));
    }
    TIFFClose(in);
    return decoded;
}

// libtiff's own Group 4 encoder on the same bits: T.6 leaves the encoder no
// choices, so the strips must agree byte for byte.
Bytes EncodeG4WithLibtiff(const Bitmap& bitmap, int fillOrder, const std::string& path) {
    const std::size_t rowBytes = (static_cast<std::size_t>(bitmap.width) + 7) / 8;
    Bytes packed;
    for (std::int32_t y = 0; y < bitmap.height; ++y) packed.insert(packed.end(), bitmap.row(y), bitmap.row(y) + rowBytes);
    TIFF* out = TIFFOpen(path.c_str(), "w");
    if (out == nullptr) return {};
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(bitmap.width));
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(bitmap.height));
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(bitmap.height));
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(out, TIFFTAG_FILLORDER, fillOrder == 2 ? FILLORDER_LSB2MSB : FILLORDER_MSB2LSB);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFWriteEncodedStrip(out, 0, packed.data(), static_cast<tmsize_t>(packed.size()));
    TIFFClose(out);
    TIFF* in = TIFFOpen(path.c_str(), "r");
    if (in == nullptr) return {};
    uint64_t* counts = nullptr;
    Bytes strip;
    if (TIFFGetField(in, TIFFTAG_STRIPBYTECOUNTS, &counts) && counts != nullptr) {
        strip.resize(static_cast<std::size_t>(counts[0]));
        TIFFReadRawStrip(in, 0, strip.data(), static_cast<tmsize_t>(strip.size()));
    }
    TIFFClose(in);
    return strip;
}

// A one-page PDF whose page is the image at one point per pixel, so that a
// 72 dpi rendering gives one device pixel per image pixel.
void WritePdf(const Bytes& data, Coder coder, const Bitmap& shape, const std::string& path) {
    const std::string w = std::to_string(shape.width), h = std::to_string(shape.height);
    const std::string content = "q " + w + " 0 0 " + h + " 0 0 cm /Im0 Do Q\n";
    const std::string k = coder == Coder::G4 ? "-1" : "1";
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + w + " " + h +
            "] /Resources << /XObject << /Im0 5 0 R >> >> /Contents 4 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
        "<< /Type /XObject /Subtype /Image /Width " + w + " /Height " + h +
            " /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K " + k +
            " /Columns " + w + " /Rows " + h + " /BlackIs1 true /EncodedByteAlign false >> /Length " +
            std::to_string(data.size()) + " >>\nstream\n" + std::string(data.begin(), data.end()) + "\nendstream",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    char entry[32];
    for (std::size_t offset : offsets) {
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    std::ofstream(path, std::ios::binary) << pdf;
}

// Reads a binary PBM or PGM as the page shows it. Shown white means a set
// bit: with /BlackIs1 true the decoded samples are our bits, and in
// DeviceGray a 1 sample is white.
Bitmap ReadShownImage(const std::string& path, const Bitmap& shape) {
    Bitmap decoded(shape.width, shape.height);
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 1;
    in >> magic >> w >> h;
    if (magic == "P5") in >> maxval;
    in.get();
    if ((magic != "P4" && magic != "P5") || w != shape.width || h != shape.height) {
        ADD_FAILURE() << path << ": got " << magic << " " << w << "x" << h;
        return decoded;
    }
    const std::size_t rowBytes = magic == "P4" ? (static_cast<std::size_t>(w) + 7) / 8 : static_cast<std::size_t>(w);
    std::vector<unsigned char> row(rowBytes);
    for (std::int32_t y = 0; y < h; ++y) {
        in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(rowBytes));
        for (std::int32_t x = 0; x < w; ++x) {
            const bool white = magic == "P4" ? ((row[x >> 3] >> (7 - (x & 7))) & 1) == 0 : row[x] >= 128;
            decoded.set(x, y, white);
        }
    }
    return decoded;
}

bool RunQuietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Number of pixels that differ within the width, and the first of them.
std::string Differences(const Bitmap& want, const Bitmap& got) {
    std::size_t count = 0;
    std::string first;
    for (std::int32_t y = 0; y < want.height; ++y)
        for (std::int32_t x = 0; x < want.width; ++x)
            if (want.get(x, y) != got.get(x, y) && count++ == 0)
                first = " first at x=" + std::to_string(x) + " y=" + std::to_string(y);
    return count == 0 ? "" : std::to_string(count) + " pixels differ," + first;
}

TEST(CCITTRoundTripTest, LibtiffDecodesBitExact) {
    TIFFSetWarningHandler(nullptr);
    ScratchDir dir;
    for (const ImageCase& image : RoundTripImages())
        for (Coder coder : {Coder::G3, Coder::G4})
            for (int fillOrder : {1, 2}) {
                SCOPED_TRACE(std::string(image.name) + " " + Name(coder) + " fill order " + std::to_string(fillOrder));
                const Bytes strip = Encode(coder, image.bitmap, fillOrder);
                const Bitmap decoded = DecodeWithLibtiff(strip, coder, image.bitmap, fillOrder, dir.file("page.tif"));
                EXPECT_EQ(Differences(image.bitmap, decoded), "");
            }
}

TEST(CCITTRoundTripTest, G4MatchesLibtiffEncoderByteForByte) {
    TIFFSetWarningHandler(nullptr);
    ScratchDir dir;
    for (const ImageCase& image : RoundTripImages())
        for (int fillOrder : {1, 2}) {
            SCOPED_TRACE(std::string(image.name) + " fill order " + std::to_string(fillOrder));
            EXPECT_EQ(Hex(Encode(Coder::G4, image.bitmap, fillOrder)),
                      Hex(EncodeG4WithLibtiff(image.bitmap, fillOrder, dir.file("libtiff.tif"))));
        }
}

// poppler's decoder through pdfimages (its raw image output; pdftoppm's
// 1:1 image drawing resamples some pixels) and mupdf's through a 72 dpi
// rendering of a page that is exactly the image.
TEST(CCITTRoundTripTest, PdfDecodersDecodeBitExact) {
    const struct Decoder {
        const char* tool;
        std::string (*command)(const std::string& pdf, const std::string& prefix);
        const char* suffix;
    } decoders[] = {
        {"pdfimages", [](const std::string& pdf, const std::string& prefix) { return "pdfimages " + pdf + " " + prefix; },
         "-000.pbm"},
        {"mutool",
         [](const std::string& pdf, const std::string& prefix) {
             return "mutool draw -q -r 72 -A 0 -c gray -o " + prefix + ".pgm " + pdf;
         },
         ".pgm"},
    };
    ScratchDir dir;
    for (const Decoder& decoder : decoders) {
        if (!RunQuietly(std::string("command -v ") + decoder.tool)) {
            ADD_FAILURE() << decoder.tool << " is not installed (scripts/setup.sh installs it)";
            continue;
        }
        for (const ImageCase& image : RoundTripImages())
            for (Coder coder : {Coder::G3, Coder::G4}) {
                SCOPED_TRACE(std::string(decoder.tool) + ": " + image.name + " " + Name(coder));
                const std::string pdf = dir.file("page.pdf"), prefix = dir.file("decoded");
                std::filesystem::remove(prefix + decoder.suffix);
                WritePdf(Encode(coder, image.bitmap), coder, image.bitmap, pdf);
                ASSERT_TRUE(RunQuietly(decoder.command(pdf, prefix))) << decoder.command(pdf, prefix);
                EXPECT_EQ(Differences(image.bitmap, ReadShownImage(prefix + decoder.suffix, image.bitmap)), "");
            }
    }
}

}  // namespace
}  // namespace pressmark
