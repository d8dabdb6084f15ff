#pragma once
// TRasterImage: the in-memory raster every page passes through. Rows are
// padded to 32 bits and reached one at a time through RowAddress(r), row 0
// being the top row. Pixels live in memory, in a temporary file (paged one
// row at a time) or in a "platform bitmap" (top-down rows with a row table).
//
// The private section is the implementation's; callers use the public API only.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pressmark {

enum TPixelLayout : std::uint8_t {
    plNone = 0,
    plBW1 = 1,       // 1 bit, MSB = leftmost pixel, set bit = white
    plPalette8 = 2,  // index into 256 TColorTriple
    plGray8 = 3,
    plGray16 = 4,    // little-endian
    plRGB24 = 5,     // bytes blue, green, red
    pl32f = 6,
    plCMYK = 7,
    plRGB48 = 8,     // red, green, blue, 16-bit little-endian each
    plCIELab = 9,
};

struct TColorTriple {
    std::uint8_t Blue = 0;
    std::uint8_t Green = 0;
    std::uint8_t Red = 0;
    friend bool operator==(const TColorTriple&, const TColorTriple&) = default;
};
static_assert(sizeof(TColorTriple) == 3);

enum TImageLocation : std::uint8_t { locMemory, locTempFile, locPlatformBitmap };

namespace detail {
class ImageStorage;  // the pixel store behind a TRasterImage (memory, file or bitmap)
}

int BitsPerPixelOf(TPixelLayout layout) noexcept;
int SamplesPerPixelOf(TPixelLayout layout) noexcept;

class TRasterImage {
public:
    // An empty image (plNone, 0 x 0) at the given location; the default
    // location locTempFile settles in memory or a file at Allocate.
    explicit TRasterImage(TImageLocation location = locTempFile);
    ~TRasterImage();
    TRasterImage(const TRasterImage&) = delete;
    TRasterImage& operator=(const TRasterImage&) = delete;

    // Discards pixels, palette and AlphaImage and creates storage for the new
    // size and layout. Pixels are zero-filled (never stale memory).
    // Throws LimitExceededError when RowLength x Height cannot be represented.
    void Allocate(std::int32_t width, std::int32_t height, TPixelLayout layout);

    std::int32_t Width() const noexcept;
    std::int32_t Height() const noexcept;
    TPixelLayout PixelLayout() const noexcept;
    int BitsPerPixel() const noexcept;
    int SamplesPerPixel() const noexcept;
    std::int32_t RowLength() const noexcept;
    TImageLocation Location() const noexcept;
    std::uint64_t TempFileThreshold() const noexcept;
    void SetTempFileThreshold(std::uint64_t bytes) noexcept;
    // Path of the backing temporary file, empty unless Location is locTempFile.
    std::string TempFilePath() const;

    // First byte of row r (0 = top). For a temporary-file image the address is
    // valid only until the next RowAddress call on the same image.
    std::uint8_t* RowAddress(std::int32_t row);
    const std::uint8_t* RowAddress(std::int32_t row) const;

    int PaletteLength() const noexcept;
    // Out-of-range indices are ignored: a read leaves `colour` unchanged.
    void PaletteEntry(int index, TColorTriple& colour) const noexcept;
    void SetPaletteEntry(int index, const TColorTriple& colour) noexcept;

    TRasterImage* AlphaImage() noexcept;
    const TRasterImage* AlphaImage() const noexcept;
    void SetAlphaImage(std::unique_ptr<TRasterImage> alpha);
    void DropAlphaImage() noexcept;

    // Keeps the layout and copies the overlapping top-left part of the pixels.
    void Resize(std::int32_t width, std::int32_t height);
    // Converts the pixels to another layout (to plRGB24 from every layout).
    void ChangeLayout(TPixelLayout layout);
    // Makes this image a pixel-for-pixel copy of `source` (layout, palette).
    void Assign(const TRasterImage& source);

private:
    void Adopt(TRasterImage& from) noexcept;

    std::unique_ptr<detail::ImageStorage> storage_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    TPixelLayout layout_ = plNone;
    TImageLocation location_;
    std::uint64_t tempFileThreshold_ = 0;
    std::vector<TColorTriple> palette_;
    std::unique_ptr<TRasterImage> alpha_;
};

}  // namespace pressmark
