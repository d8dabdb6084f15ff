// TRasterImage: row geometry, the three storage back ends, layout conversion.
#include "pressmark/imaging/raster_image.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <vector>

#include "pressmark/imaging/errors.h"

namespace pressmark {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RowBytes(const TRasterImage& image, int row, std::size_t n) {
    const std::uint8_t* p = image.RowAddress(row);
    return Bytes(p, p + n);
}

// Memory, temporary file (threshold 0 pushes every image to a file) and the
// bitmap stand-in must behave the same through the public API.
struct LocationCase {
    const char* name;
    TImageLocation location;
    std::uint64_t threshold;
    TImageLocation expected;
};
const LocationCase kLocations[] = {
    {"memory", locTempFile, UINT64_MAX, locMemory},
    {"temp file", locMemory, 0, locTempFile},
    {"platform bitmap", locPlatformBitmap, 0, locPlatformBitmap},
};

TEST(RasterImage, RowLengthIsPaddedTo32Bits) {
    struct Case { const char* name; int width; TPixelLayout layout; int rowLength; };
    const Case cases[] = {
        {"4 px 1-bit", 4, plBW1, 4},   {"4 px 24-bit", 4, plRGB24, 12}, {"5 px 24-bit", 5, plRGB24, 16},
        {"33 px 1-bit", 33, plBW1, 8}, {"3 px 48-bit", 3, plRGB48, 20}, {"1 px gray16", 1, plGray16, 4},
    };
    for (const auto& c : cases) {
        TRasterImage image;
        image.Allocate(c.width, 1, c.layout);
        EXPECT_EQ(image.RowLength(), c.rowLength) << c.name;
    }
}

TEST(RasterImage, EveryLocationGivesZeroedDistinctRowsThatKeepTheirContents) {
    for (const auto& loc : kLocations) {
        TRasterImage image(loc.location);
        image.SetTempFileThreshold(loc.threshold);
        // Fill a first image so that a stale block would show in the second.
        image.Allocate(7, 5, plRGB24);
        for (int r = 0; r < 5; ++r) std::memset(image.RowAddress(r), 0xAB, image.RowLength());
        image.Allocate(7, 5, plRGB24);
        ASSERT_EQ(image.Location(), loc.expected) << loc.name;
        for (int r = 0; r < 5; ++r)
            EXPECT_EQ(RowBytes(image, r, 24), Bytes(24, 0)) << loc.name << " row " << r;
        for (int r = 0; r < 5; ++r) std::memset(image.RowAddress(r), r + 1, image.RowLength());
        for (int r = 4; r >= 0; --r)
            EXPECT_EQ(RowBytes(image, r, 24), Bytes(24, r + 1)) << loc.name << " row " << r;
    }
}

TEST(RasterImage, MemoryRowsAreBottomUpFromAnAlignedBase) {
    TRasterImage image(locMemory);
    image.SetTempFileThreshold(UINT64_MAX);
    image.Allocate(5, 3, plRGB24);
    EXPECT_EQ(image.RowAddress(1) - image.RowAddress(2), 16);
    EXPECT_EQ(image.RowAddress(0) - image.RowAddress(1), 16);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(image.RowAddress(2)) % 32, 0u);
}

TEST(RasterImage, TempFileHoldsRowsTopDownAndIsRemoved) {
    std::string path;
    {
        TRasterImage image;
        image.SetTempFileThreshold(0);
        image.Allocate(4, 3, plBW1);
        ASSERT_EQ(image.Location(), locTempFile);
        path = image.TempFilePath();
        EXPECT_TRUE(std::regex_match(std::filesystem::path(path).filename().string(),
                                     std::regex("IMG-[0-9A-F]{8}\\.tmp")))
            << path;
        for (int r = 0; r < 3; ++r) image.RowAddress(r)[0] = static_cast<std::uint8_t>(0x10 + r);
        image.RowAddress(0);  // writes back the row handed out last
        std::ifstream in(path, std::ios::binary);
        const Bytes file((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(file, (Bytes{0x10, 0, 0, 0, 0x11, 0, 0, 0, 0x12, 0, 0, 0}));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(RasterImage, ImpossibleSizesAreRefusedAndLeaveTheImageUntouched) {
    struct Case { const char* name; int width; int height; TPixelLayout layout; };
    const Case cases[] = {
        {"row length overflows", INT_MAX, 1, plRGB48},
        {"row x height beyond any page", INT_MAX / 8, INT_MAX, plRGB24},
        {"absurd 1-bit", 1 << 30, 1 << 20, plBW1},
    };
    for (const auto& c : cases) {
        TRasterImage image;
        image.Allocate(2, 2, plGray8);
        image.RowAddress(1)[1] = 9;
        EXPECT_THROW(image.Allocate(c.width, c.height, c.layout), LimitExceededError) << c.name;
        EXPECT_EQ(image.Width(), 2) << c.name;
        EXPECT_EQ(image.PixelLayout(), plGray8) << c.name;
        EXPECT_EQ(image.RowAddress(1)[1], 9) << c.name;
    }
}

TEST(RasterImage, EmptyAllocationCreatesNoRows) {
    TRasterImage image;
    image.Allocate(0, 10, plRGB24);
    EXPECT_THROW(image.RowAddress(0), std::out_of_range);
    image.Allocate(3, 3, plNone);
    EXPECT_THROW(image.RowAddress(0), std::out_of_range);
}

TEST(RasterImage, PaletteExistsOnlyForPalette8AndIgnoresBadIndices) {
    TRasterImage image;
    image.Allocate(1, 1, plRGB24);
    EXPECT_EQ(image.PaletteLength(), 0);
    image.Allocate(1, 1, plPalette8);
    EXPECT_EQ(image.PaletteLength(), 256);
    image.SetPaletteEntry(255, {1, 2, 3});
    image.SetPaletteEntry(256, {9, 9, 9});
    image.SetPaletteEntry(-1, {9, 9, 9});
    TColorTriple c{7, 7, 7};
    image.PaletteEntry(256, c);
    EXPECT_EQ(c, (TColorTriple{7, 7, 7}));
    image.PaletteEntry(255, c);
    EXPECT_EQ(c, (TColorTriple{1, 2, 3}));
}

TEST(RasterImage, ConversionToRGB24FollowsTheTable) {
    struct Case { const char* name; TPixelLayout layout; int width; Bytes row; Bytes bgr; };
    float samples[3] = {0.5f, 2.0f, -1.0f};
    Bytes floatRow(12);
    std::memcpy(floatRow.data(), samples, 12);
    const Case cases[] = {
        {"1-bit, first pixel set", plBW1, 2, {0x80}, {255, 255, 255, 0, 0, 0}},
        {"1-bit, last of 9 set", plBW1, 9, {0x00, 0x80}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255}},
        {"gray8", plGray8, 2, {0x00, 0x7F}, {0, 0, 0, 0x7F, 0x7F, 0x7F}},
        {"gray16 high byte", plGray16, 1, {0x34, 0x12}, {0x12, 0x12, 0x12}},
        {"float clamped", pl32f, 3, floatRow, {127, 127, 127, 255, 255, 255, 0, 0, 0}},
        {"rgb48 high bytes", plRGB48, 1, {0x01, 0xAA, 0x02, 0xBB, 0x03, 0xCC}, {0xCC, 0xBB, 0xAA}},
        {"cmyk white", plCMYK, 1, {0, 0, 0, 0}, {255, 255, 255}},
        {"cmyk black", plCMYK, 1, {0, 0, 0, 255}, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        TRasterImage image;
        image.Allocate(c.width, 2, c.layout);
        std::memcpy(image.RowAddress(1), c.row.data(), c.row.size());
        image.ChangeLayout(plRGB24);
        ASSERT_EQ(image.PixelLayout(), plRGB24) << c.name;
        EXPECT_EQ(RowBytes(image, 1, c.bgr.size()), c.bgr) << c.name;
        if (c.layout != plCMYK) {  // zero CMYK samples are white
            EXPECT_EQ(RowBytes(image, 0, c.bgr.size()), Bytes(c.bgr.size(), 0)) << c.name;
        }
    }
}

TEST(RasterImage, PaletteConversionsUseTheEntries) {
    TRasterImage image;
    image.Allocate(2, 1, plPalette8);
    image.SetPaletteEntry(5, {10, 20, 30});
    image.RowAddress(0)[0] = 5;
    image.ChangeLayout(plRGB24);
    EXPECT_EQ(RowBytes(image, 0, 6), (Bytes{10, 20, 30, 0, 0, 0}));

    TRasterImage bw;
    bw.Allocate(3, 1, plBW1);
    bw.RowAddress(0)[0] = 0x40;
    bw.ChangeLayout(plPalette8);
    EXPECT_EQ(RowBytes(bw, 0, 3), (Bytes{0, 1, 0}));
    TColorTriple black{1, 1, 1}, white{};
    bw.PaletteEntry(0, black);
    bw.PaletteEntry(1, white);
    EXPECT_EQ(black, (TColorTriple{0, 0, 0}));
    EXPECT_EQ(white, (TColorTriple{255, 255, 255}));
}

TEST(RasterImage, ChangeLayoutKeepsAlphaAndSameLayoutIsANoOp) {
    TRasterImage image;
    image.Allocate(2, 2, plRGB24);
    std::uint8_t* row = image.RowAddress(0);
    row[0] = 42;
    auto alpha = std::make_unique<TRasterImage>();
    alpha->Allocate(2, 2, plGray8);
    image.SetAlphaImage(std::move(alpha));
    image.ChangeLayout(plRGB24);
    EXPECT_EQ(image.RowAddress(0), row);
    EXPECT_EQ(row[0], 42);
    TRasterImage bw;
    bw.Allocate(2, 2, plBW1);
    auto bwAlpha = std::make_unique<TRasterImage>();
    bwAlpha->Allocate(2, 2, plGray8);
    bw.SetAlphaImage(std::move(bwAlpha));
    bw.ChangeLayout(plRGB24);
    EXPECT_NE(bw.AlphaImage(), nullptr);
}

TEST(RasterImage, ResizeAndAssignCopyPixelsInEveryLocation) {
    for (const auto& loc : kLocations) {
        TRasterImage image(loc.location);
        image.SetTempFileThreshold(loc.threshold);
        image.Allocate(3, 3, plGray8);
        for (int r = 0; r < 3; ++r)
            for (int x = 0; x < 3; ++x) image.RowAddress(r)[x] = static_cast<std::uint8_t>(10 * r + x);
        TRasterImage copy(loc.location);
        copy.SetTempFileThreshold(loc.threshold);
        copy.Assign(image);
        EXPECT_EQ(RowBytes(copy, 2, 3), (Bytes{20, 21, 22})) << loc.name;
        image.Resize(2, 4);
        EXPECT_EQ(image.Width(), 2);
        EXPECT_EQ(RowBytes(image, 0, 4), (Bytes{0, 1, 0, 0})) << loc.name;
        EXPECT_EQ(RowBytes(image, 2, 4), (Bytes{20, 21, 0, 0})) << loc.name;
        EXPECT_EQ(RowBytes(image, 3, 4), (Bytes{0, 0, 0, 0})) << loc.name;
    }
}

TEST(RasterImage, PlatformBitmapRefusesLayoutsItCannotHold) {
    TRasterImage image(locPlatformBitmap);
    try {
        image.Allocate(1, 1, plCMYK);
        FAIL() << "no error";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "plCMYK pixel format not allowed when Location=locPlatformBitmap");
    }
}

}  // namespace
}  // namespace pressmark
