// BMP reader: files of every kind written by ImageMagick and decoded by it
// for comparison, hand-made files for the header rules and run-length escapes
// ImageMagick does not write, and a table of malformed files.
#include "pressmark/imaging/bmp_reader.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <sstream>

#include "pressmark/imaging/errors.h"
#include "test_support.h"

namespace pressmark {
namespace {

using testing::Bytes;

void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = v >> 8;
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A BMP with a 40-byte header (or `headerSize`), palette entries as
// 0xRRGGBB, and the pixel bytes as given.
struct BmpFields {
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint32_t> palette{};
    Bytes pixels{};
    std::uint32_t headerSize = 40;
    std::int32_t ppmX = 0, ppmY = 0;
    std::int64_t offset = -1;  // -1: right after the palette
};

Bytes MakeBmp(const BmpFields& f) {
    Bytes b(14 + f.headerSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 14, f.headerSize);
    Put32(b, 18, static_cast<std::uint32_t>(f.width));
    Put32(b, 22, static_cast<std::uint32_t>(f.height));
    Put16(b, 26, 1);
    Put16(b, 28, f.bitCount);
    Put32(b, 30, f.compression);
    Put32(b, 34, static_cast<std::uint32_t>(f.pixels.size()));
    Put32(b, 38, static_cast<std::uint32_t>(f.ppmX));
    Put32(b, 42, static_cast<std::uint32_t>(f.ppmY));
    Put32(b, 46, f.colorsUsed);
    for (std::uint32_t c : f.palette) b.insert(b.end(), {std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16), 0});
    Put32(b, 10, static_cast<std::uint32_t>(f.offset >= 0 ? f.offset : static_cast<std::int64_t>(b.size())));
    b.insert(b.end(), f.pixels.begin(), f.pixels.end());
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    return b;
}

struct ReadOutcome {
    bool accepted;
    std::uint8_t abort;
};

ReadOutcome Read(const Bytes& file, TRasterImage& image, TImageParams& params, bool native = false) {
    std::istringstream in(std::string(file.begin(), file.end()));
    std::uint8_t abort = 0;
    TProgressRecord progress;
    progress.AbortFlag = &abort;
    params.NativePixelFormat = native;
    std::unique_ptr<TAlphaMask> alpha;
    const bool ok = ReadBmpStream(in, image, 0, params, progress, false, false, alpha, false);
    return {ok, abort};
}

// Top-down red, green, blue bytes of an image, whatever its layout.
Bytes RGBOf(const TRasterImage& source) {
    TRasterImage image;
    image.Assign(source);
    image.ChangeLayout(plRGB24);
    Bytes out;
    for (int r = 0; r < image.Height(); ++r) {
        const std::uint8_t* p = image.RowAddress(r);
        for (int x = 0; x < image.Width(); ++x) out.insert(out.end(), {p[3 * x + 2], p[3 * x + 1], p[3 * x]});
    }
    return out;
}

// ImageMagick's reading of a file; `strict` off accepts its exit status 1
// for run-length files it decodes in full but then reports as ending early.
Bytes ImageMagickRGB(const std::filesystem::path& file, const char* format = "rgb", bool strict = true) {
    bool ok = false;
    Bytes out = testing::RunCapture("convert '" + file.string() + "' -depth 8 " + format + ":- 2>/dev/null", &ok);
    EXPECT_TRUE(ok || !strict) << file;
    return out;
}

// A small image with many colours, rows of odd width (padding in every depth).
class BmpFixtures : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Convert("-size 13x7 plasma:fractal -seed 7", "PPM", "source.ppm"));
    }
    bool Convert(const std::string& args, const std::string& format, const std::string& name) {
        bool ok = false;
        testing::RunCapture("convert " + args + " " + format + ":'" + (dir / name).string() + "' 2>&1", &ok);
        return ok;
    }
    std::string Source() const { return "'" + (dir / "source.ppm").string() + "'"; }
    testing::ScratchDir dir;
};

TEST_F(BmpFixtures, EveryKindMatchesImageMagickPixelForPixel) {
    struct Case { const char* name; std::string options; std::string format; int headerKind; int bits; int samples; bool runLength; };
    const Case cases[] = {
        {"24-bit", "-type TrueColor", "BMP3", 1, 8, 3, false},
        {"24-bit OS/2 12-byte header", "-type TrueColor", "BMP2", 2, 8, 3, false},
        {"8-bit palette", "-colors 200 -type Palette -compress None", "BMP3", 1, 8, 1, false},
        {"8-bit OS/2 palette", "-colors 100 -type Palette", "BMP2", 2, 8, 1, false},
        {"8-bit RLE8", "-colors 200 -type Palette -compress RLE", "BMP3", 1, 8, 1, true},
        {"4-bit palette", "-colors 12 -type Palette -compress None", "BMP3", 1, 4, 1, false},
        {"1-bit black/white", "-monochrome", "BMP3", 1, 1, 1, false},
        {"32-bit V5 header", "-alpha set -channel A -fx 0.5 +channel -define bmp:format=bmp4", "BMP", 0, 8, 4, false},
    };
    int number = 0;
    for (const auto& c : cases) {
        const std::string file = "fixture" + std::to_string(++number) + ".bmp";
        ASSERT_TRUE(Convert(Source() + " " + c.options, c.format, file)) << c.name;
        const Bytes expected = ImageMagickRGB(dir / file);
        for (bool native : {false, true}) {
            TRasterImage image;
            TImageParams params;
            const Bytes bytes = testing::ReadFile(dir / file);
            ASSERT_TRUE(Read(bytes, image, params, native).accepted) << c.name;
            EXPECT_EQ(params.LastReadError, "") << c.name;
            EXPECT_EQ(image.Width(), 13) << c.name;
            EXPECT_EQ(image.Height(), 7) << c.name;
            EXPECT_EQ(RGBOf(image), expected) << c.name << (native ? " native" : "");
            EXPECT_EQ(params.BmpHeaderKind, c.headerKind) << c.name;
            EXPECT_EQ(params.BitsPerSample, c.bits) << c.name;
            EXPECT_EQ(params.SamplesPerPixel, c.samples) << c.name;
            EXPECT_EQ(params.BmpRunLength, c.runLength) << c.name;
        }
    }
}

TEST_F(BmpFixtures, SixteenBitKeepsLowBitsZero) {
    // ImageMagick scales 5-bit 31 to 255; this reader shifts it to 248, so
    // only the top 5 (green of 565: 6) bits of each channel are compared.
    for (const char* subtype : {"RGB555", "RGB565"}) {
        const std::string file = std::string(subtype) + ".bmp";
        ASSERT_TRUE(Convert(Source() + " -define bmp:subtype=" + subtype, "BMP", file));
        TRasterImage image;
        TImageParams params;
        ASSERT_TRUE(Read(testing::ReadFile(dir / file), image, params).accepted) << subtype;
        const Bytes ours = RGBOf(image);
        const Bytes theirs = ImageMagickRGB(dir / file);
        ASSERT_EQ(ours.size(), theirs.size());
        const bool is565 = std::string(subtype) == "RGB565";
        for (std::size_t i = 0; i < ours.size(); ++i) {
            const std::uint8_t mask = (is565 && i % 3 == 1) ? 0xFC : 0xF8;
            ASSERT_EQ(ours[i], theirs[i] & mask) << subtype << " byte " << i;
        }
    }
    // The worked example: 0x7FFF without masks is 248, 248, 248; 0x7C00 is pure red.
    TRasterImage image;
    TImageParams params;
    ASSERT_TRUE(Read(MakeBmp({.width = 2, .bitCount = 16, .pixels = {0xFF, 0x7F, 0x00, 0x7C}}), image, params).accepted);
    EXPECT_EQ(RGBOf(image), (Bytes{248, 248, 248, 248, 0, 0}));
}

TEST_F(BmpFixtures, AlphaMaskOf32BitFileMatchesImageMagick) {
    ASSERT_TRUE(Convert(Source() + " -alpha set -channel A -fx 'i/w' +channel -define bmp:format=bmp4", "BMP", "a.bmp"));
    std::ifstream in(dir / "a.bmp", std::ios::binary);
    TRasterImage image;
    TImageParams params;
    TProgressRecord progress;
    LoadBmpStream(in, image, params, progress);
    ASSERT_NE(image.AlphaImage(), nullptr);
    const Bytes rgba = ImageMagickRGB(dir / "a.bmp", "rgba");
    for (int r = 0; r < 7; ++r)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(image.AlphaImage()->RowAddress(r)[x], rgba[(r * 13 + x) * 4 + 3]) << r << "," << x;

    // Every alpha 0 (a plain BGRX file): no alpha image.
    const Bytes opaqueless = MakeBmp({.width = 1, .bitCount = 32, .pixels = {1, 2, 3, 0}});
    std::istringstream zero(std::string(opaqueless.begin(), opaqueless.end()));
    LoadBmpStream(zero, image, params, progress);
    EXPECT_EQ(image.AlphaImage(), nullptr);
    EXPECT_EQ(RGBOf(image), (Bytes{3, 2, 1}));
}

TEST_F(BmpFixtures, RunLengthEscapesMatchImageMagick) {
    // 8-bit: a run, an absolute run with padding, end of row, a delta that
    // moves right 1 and down 1 from the middle of a row, end of image.
    // 4-bit: nibble runs, an odd absolute run, a delta within the row.
    // Expected rows (top first) derived by hand, ImageMagick as a second opinion.
    struct Case { const char* name; std::uint16_t bits; std::uint32_t compression; Bytes data; std::vector<int> indices; };
    const Case cases[] = {
        {"RLE8 with delta", 8, 1, {3, 1, 0, 3, 2, 3, 1, 0, 0, 0, 1, 2, 0, 2, 1, 1, 2, 3, 0, 1},
         {0, 0, 3, 3, 0, 0, 0, /**/ 2, 0, 0, 0, 0, 0, 0, /**/ 1, 1, 1, 2, 3, 1, 0}},
        {"RLE4 runs and absolute", 4, 2, {4, 0x12, 0, 3, 0x34, 0x50, 0, 0, 2, 0x33, 0, 2, 2, 0, 1, 0x11, 0, 1},
         {0, 0, 0, 0, 0, 0, 0, /**/ 3, 3, 0, 0, 1, 0, 0, /**/ 1, 2, 1, 2, 3, 4, 5}},
    };
    const std::vector<std::uint32_t> palette{0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x808080};
    for (const auto& c : cases) {
        const Bytes file = MakeBmp({.width = 7, .height = 3, .bitCount = c.bits, .compression = c.compression,
                                    .colorsUsed = 6, .palette = palette, .pixels = c.data});
        testing::WriteFile(dir / "rle.bmp", file);
        TRasterImage image;
        TImageParams params;
        ASSERT_TRUE(Read(file, image, params).accepted) << c.name;
        EXPECT_TRUE(params.BmpRunLength) << c.name;
        Bytes expected;
        for (int index : c.indices)
            expected.insert(expected.end(), {std::uint8_t(palette[index] >> 16), std::uint8_t(palette[index] >> 8),
                                             std::uint8_t(palette[index])});
        EXPECT_EQ(RGBOf(image), expected) << c.name;
        EXPECT_EQ(RGBOf(image), ImageMagickRGB(dir / "rle.bmp", "rgb", false)) << c.name;
    }
}

TEST(BmpReader, HeaderRulesFromHandMadeFiles) {
    const Bytes bottomUp = MakeBmp({.width = 1, .height = 2, .pixels = {1, 2, 3, 0, 4, 5, 6, 0}});
    const Bytes topDown = MakeBmp({.width = 1, .height = -2, .pixels = {1, 2, 3, 0, 4, 5, 6, 0}});
    TRasterImage image;
    TImageParams params;
    ASSERT_TRUE(Read(bottomUp, image, params).accepted);
    EXPECT_EQ(RGBOf(image), (Bytes{6, 5, 4, 3, 2, 1}));  // row 0 = last stored row
    ASSERT_TRUE(Read(topDown, image, params).accepted);
    EXPECT_EQ(RGBOf(image), (Bytes{3, 2, 1, 6, 5, 4}));
    EXPECT_EQ(image.Height(), 2);

    // 64-byte (OS/2 2.x) and 108-byte headers: kinds 3 and 0, pixels found.
    ASSERT_TRUE(Read(MakeBmp({.pixels = {1, 2, 3, 0}, .headerSize = 64}), image, params).accepted);
    EXPECT_EQ(params.BmpHeaderKind, 3);
    EXPECT_EQ(RGBOf(image), (Bytes{3, 2, 1}));
    ASSERT_TRUE(Read(MakeBmp({.pixels = {1, 2, 3, 0}, .headerSize = 108}), image, params).accepted);
    EXPECT_EQ(params.BmpHeaderKind, 0);
    EXPECT_EQ(RGBOf(image), (Bytes{3, 2, 1}));
}

TEST(BmpReader, ResolutionRoundsToNearestEven) {
    struct Case { std::int32_t ppm; std::int32_t read; std::int32_t loaded; };
    const Case cases[] = {{2835, 72, 72}, {3780, 96, 96}, {11811, 300, 300}, {0, 300, 300}, {39, 1, 300},
                          {-3780, -96, 300}};
    for (const auto& c : cases) {
        const Bytes file = MakeBmp({.pixels = {0, 0, 0, 0}, .ppmX = c.ppm, .ppmY = 2835});
        TRasterImage image;
        TImageParams params;
        ASSERT_TRUE(Read(file, image, params).accepted);
        EXPECT_EQ(params.HorizontalDpi, c.read) << c.ppm;
        EXPECT_EQ(params.VerticalDpi, 72) << c.ppm;
        std::istringstream in(std::string(file.begin(), file.end()));
        TProgressRecord progress;
        LoadBmpStream(in, image, params, progress);
        EXPECT_EQ(params.HorizontalDpi, c.loaded) << c.ppm;
    }
}

TEST(BmpReader, OneBitPaletteDecidesInversion) {
    // Bits 1, 0: ImageMagick would paint the palette colours; this reader
    // keeps a 1-bit image black and white with set bit = white, inverting
    // only a white, black palette (whose set bits are black).
    struct Case { const char* name; std::vector<std::uint32_t> palette; Bytes rgb; };
    const Case cases[] = {
        {"black, white", {0x000000, 0xFFFFFF}, {255, 255, 255, 0, 0, 0}},
        {"white, black", {0xFFFFFF, 0x000000}, {0, 0, 0, 255, 255, 255}},
        {"red, blue taken as stored", {0xFF0000, 0x0000FF}, {255, 255, 255, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        TRasterImage image;
        TImageParams params;
        ASSERT_TRUE(Read(MakeBmp({.width = 2, .bitCount = 1, .palette = c.palette, .pixels = {0x80, 0, 0, 0}}), image, params).accepted);
        EXPECT_EQ(image.PixelLayout(), plBW1) << c.name;
        EXPECT_EQ(RGBOf(image), c.rgb) << c.name;
    }
}

TEST(BmpReader, NotABmpLeavesTheImageAndSetsAbortFlag) {
    TRasterImage image;
    image.Allocate(3, 2, plGray8);
    image.RowAddress(1)[2] = 77;
    TImageParams params;
    params.HorizontalDpi = 123;
    Bytes file = MakeBmp({.pixels = {0, 0, 0, 0}});
    file[0] = 'P';
    const ReadOutcome out = Read(file, image, params);
    EXPECT_FALSE(out.accepted);
    EXPECT_EQ(out.abort, 1);
    EXPECT_EQ(image.Width(), 3);
    EXPECT_EQ(image.RowAddress(1)[2], 77);
    EXPECT_EQ(params.HorizontalDpi, 123);
    EXPECT_NE(params.LastReadError.find("BM"), std::string::npos);
}

// Malformed files: no crash, no read or write outside a buffer (ASan), and
// either a rejection that leaves the image alone or black pixels with the
// shortfall stated.
TEST(BmpReader, MalformedFilesAreRejectedOrZeroFilled) {
    enum Expect { Rejected, ZeroFilledShort, Loaded };
    struct Case { const char* name; Bytes file; Expect expect; Bytes rgb; };
    Bytes truncated = MakeBmp({.width = 1, .height = 3, .pixels = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0}});
    truncated.resize(truncated.size() - 6);
    Bytes badHeaderSize = MakeBmp({.pixels = {0, 0, 0, 0}});
    Put32(badHeaderSize, 14, 4);
    Bytes minHeight = MakeBmp({.pixels = {0, 0, 0, 0}});
    Put32(minHeight, 22, 0x80000000u);
    const std::vector<std::uint32_t> twoColours{0x112233, 0x445566};
    const Case cases[] = {
        {"huge width and height", MakeBmp({.width = 100000, .height = 100000, .pixels = {1, 2, 3}}), Rejected, {}},
        {"row length overflows", MakeBmp({.width = INT_MAX, .height = 1, .bitCount = 32}), Rejected, {}},
        {"product overflows 32 bits", MakeBmp({.width = 65536, .height = 65536, .bitCount = 8}), Rejected, {}},
        {"more rows than bytes", MakeBmp({.width = 1, .height = 5000000, .pixels = Bytes(64, 1)}), Rejected, {}},
        {"huge RLE image", MakeBmp({.width = 8000, .height = 8000, .bitCount = 8, .compression = 1, .pixels = {0, 1}}), Rejected, {}},
        {"height INT_MIN", minHeight, Rejected, {}},
        {"negative width", MakeBmp({.width = -4, .pixels = {0, 0, 0, 0}}), Rejected, {}},
        {"header size 4", badHeaderSize, Rejected, {}},
        {"empty file", Bytes{}, Rejected, {}},
        {"offset past the end", MakeBmp({.pixels = {1, 2, 3, 0}, .offset = 1000000}), ZeroFilledShort, {0, 0, 0}},
        {"truncated rows", truncated, ZeroFilledShort, {0, 0, 0, 0, 5, 4, 3, 2, 1}},
        {"bit count 2 not decoded", MakeBmp({.width = 2, .bitCount = 2, .pixels = {0xF0, 0, 0, 0}}), ZeroFilledShort, {0, 0, 0, 0, 0, 0}},
        {"colours used 300 means 2^8", MakeBmp({.width = 1, .bitCount = 8, .colorsUsed = 300, .palette = std::vector<std::uint32_t>(256, 0x010203), .pixels = {255, 0, 0, 0}}), Loaded, {1, 2, 3}},
        {"index beyond the colour map is black", MakeBmp({.width = 2, .bitCount = 8, .colorsUsed = 2, .palette = twoColours, .pixels = {1, 200, 0, 0}}), Loaded, {0x44, 0x55, 0x66, 0, 0, 0}},
        {"RLE8 deltas run off the image", MakeBmp({.width = 2, .height = 2, .bitCount = 8, .compression = 1, .colorsUsed = 2, .palette = twoColours, .pixels = {1, 1, 0, 2, 255, 0, 5, 1, 0, 2, 255, 255, 9, 1}}), Loaded, {0, 0, 0, 0, 0, 0, 0x44, 0x55, 0x66, 0, 0, 0}},
        {"RLE4 run past the edge", MakeBmp({.width = 2, .height = 1, .bitCount = 4, .compression = 2, .colorsUsed = 2, .palette = twoColours, .pixels = {255, 0x01, 0, 255, 0x11}}), Loaded, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}},
        {"RLE8 absolute run cut by the end", MakeBmp({.width = 4, .height = 1, .bitCount = 8, .compression = 1, .colorsUsed = 2, .palette = twoColours, .pixels = {0, 200, 1, 1}}), Loaded, {0x44, 0x55, 0x66, 0x44, 0x55, 0x66, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        TRasterImage image;
        image.Allocate(1, 1, plGray8);
        image.RowAddress(0)[0] = 42;
        TImageParams params;
        const ReadOutcome out = Read(c.file, image, params);
        if (c.expect == Rejected) {
            EXPECT_FALSE(out.accepted) << c.name;
            EXPECT_EQ(out.abort, 1) << c.name;
            EXPECT_FALSE(params.LastReadError.empty()) << c.name;
            EXPECT_EQ(image.PixelLayout(), plGray8) << c.name;
            EXPECT_EQ(image.RowAddress(0)[0], 42) << c.name;
            continue;
        }
        EXPECT_TRUE(out.accepted) << c.name << ": " << params.LastReadError;
        EXPECT_EQ(params.LastReadError.empty(), c.expect == Loaded) << c.name << ": " << params.LastReadError;
        EXPECT_EQ(RGBOf(image), c.rgb) << c.name;
    }
}

TEST(BmpReader, FileLoadNamesTheFileAndExtensionsSelectTheReader) {
    TRasterImage image;
    TImageParams params;
    TProgressRecord progress;
    try {
        LoadBmpFile("/nonexistent/slide1.bmp", image, params, progress);
        FAIL() << "no error";
    } catch (const ReadError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/slide1.bmp"), std::string::npos);
    }
    for (const char* path : {"a.bmp", "b.Bmp", "c.DIB", "d.rle", "x/y.BMP"}) EXPECT_TRUE(IsBmpExtension(path)) << path;
    for (const char* path : {"a.png", "bmp", "a.bmpx", "a."}) EXPECT_FALSE(IsBmpExtension(path)) << path;
    EXPECT_FALSE(LoadImageFile("/nonexistent/picture.png", image, params, progress));

    testing::ScratchDir dir;
    testing::WriteFile(dir / "Slide1.BMP", MakeBmp({.width = 1, .pixels = {1, 2, 3, 0}}));
    EXPECT_TRUE(LoadImageFile((dir / "Slide1.BMP").string(), image, params, progress));
    EXPECT_EQ(params.LastFileName, (dir / "Slide1.BMP").string());
    EXPECT_EQ(params.LastFileType, 5);
    EXPECT_EQ(RGBOf(image), (Bytes{3, 2, 1}));
}

}  // namespace
}  // namespace pressmark
