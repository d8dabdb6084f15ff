// TRasterImage: storage back ends and layout conversion.
//
// Three back ends share one interface, ImageStorage::Row(r), that hands out the
// first byte of row r (0 = top):
//   - MemoryStorage: one zero-filled block, rows stored bottom-up from a
//     32-byte aligned base, as the image data of a DIB would be;
//   - TempFileStorage: rows top-down in a temporary file, one row paged into
//     a buffer at a time (written back before the next row is read);
//   - BitmapStorage: top-down rows in one buffer with a row table, standing
//     in for the platform's device-independent bitmap.
// Every size is checked before anything is discarded, so a refused Allocate
// leaves the image as it was.
#include "pressmark/imaging/raster_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <stdexcept>
#include <system_error>

#include "pressmark/imaging/errors.h"

namespace pressmark {

namespace {

constexpr std::uint64_t kDefaultTempFileThreshold = 33554432;  // 32 MiB
// No page this system handles comes near this; anything above is a corrupt
// size, not an image worth a 16 GiB allocation.
constexpr std::uint64_t kMaxImageBytes = std::uint64_t{1} << 34;
constexpr std::size_t kPixelAlignment = 32;

std::uint64_t AvailableMemoryHalf() {
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return kDefaultTempFileThreshold;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
}

// Row length in bytes for a row aligned to 32 bits, or -1 when it does not fit
// a signed 32-bit value.
std::int64_t RowLengthFor(std::int32_t width, TPixelLayout layout) {
    const std::int64_t bits = std::int64_t{width} * BitsPerPixelOf(layout);
    const std::int64_t length = (bits + 31) / 32 * 4;
    return length > std::numeric_limits<std::int32_t>::max() ? -1 : length;
}

const char* LayoutName(TPixelLayout layout) {
    switch (layout) {
        case pl32f: return "pl32f";
        case plCMYK: return "plCMYK";
        case plRGB48: return "plRGB48";
        case plCIELab: return "plCIELab";
        default: return "?";
    }
}

}  // namespace

int BitsPerPixelOf(TPixelLayout layout) noexcept {
    switch (layout) {
        case plBW1: return 1;
        case plPalette8:
        case plGray8: return 8;
        case plGray16: return 16;
        case plRGB24:
        case plCIELab: return 24;
        case pl32f:
        case plCMYK: return 32;
        case plRGB48: return 48;
        default: return 0;
    }
}

int SamplesPerPixelOf(TPixelLayout layout) noexcept {
    switch (layout) {
        case plBW1:
        case plPalette8:
        case plGray8:
        case plGray16:
        case pl32f: return 1;
        case plRGB24:
        case plRGB48:
        case plCIELab: return 3;
        case plCMYK: return 4;
        default: return 0;
    }
}

// ---------------------------------------------------------------------------
// Storage back ends

namespace detail {
class ImageStorage {
public:
    virtual ~ImageStorage() = default;
    virtual std::uint8_t* Row(std::int32_t row) = 0;
    virtual std::string Path() const { return {}; }
};
}  // namespace detail

namespace {

class MemoryStorage final : public detail::ImageStorage {
public:
    MemoryStorage(std::int32_t rowLength, std::int32_t height)
        : rowLength_(rowLength), height_(height) {
        const std::size_t size = static_cast<std::size_t>(rowLength) * height + kPixelAlignment;
        block_ = std::make_unique<std::uint8_t[]>(size);  // value-initialised: zeros
        const auto address = reinterpret_cast<std::uintptr_t>(block_.get());
        base_ = block_.get() + (kPixelAlignment - address % kPixelAlignment) % kPixelAlignment;
    }
    std::uint8_t* Row(std::int32_t row) override {
        // Bottom-up, as in a DIB: the top row is the last one in the block.
        return base_ + static_cast<std::size_t>(rowLength_) * (height_ - 1 - row);
    }

private:
    std::unique_ptr<std::uint8_t[]> block_;
    std::uint8_t* base_;
    std::int32_t rowLength_;
    std::int32_t height_;
};

class BitmapStorage final : public detail::ImageStorage {
public:
    BitmapStorage(std::int32_t rowLength, std::int32_t height)
        : pixels_(static_cast<std::size_t>(rowLength) * height), rows_(height) {
        for (std::int32_t r = 0; r < height; ++r)
            rows_[r] = pixels_.data() + static_cast<std::size_t>(rowLength) * r;
    }
    std::uint8_t* Row(std::int32_t row) override { return rows_[row]; }

private:
    std::vector<std::uint8_t> pixels_;
    std::vector<std::uint8_t*> rows_;
};

// A temporary file named "IMG-XXXXXXXX.tmp" in the temp folder. Created with
// O_EXCL so that two images (or two programs) never share one.
class TempFileStorage final : public detail::ImageStorage {
public:
    // Returns nullptr when no file can be created; the caller falls back to memory.
    static std::unique_ptr<TempFileStorage> TryCreate(std::int32_t rowLength, std::int32_t height) {
        std::error_code ec;
        const auto folder = std::filesystem::temp_directory_path(ec);
        if (ec) return nullptr;
        std::random_device seed;
        std::mt19937 engine(seed());
        std::uniform_int_distribution<std::uint32_t> draw(0, 2147483646);
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, "IMG-%08X.tmp", draw(engine));
            const std::string path = (folder / name).string();
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0) {
                if (errno == EEXIST) continue;  // draw a new number
                return nullptr;
            }
            auto storage = std::unique_ptr<TempFileStorage>(new TempFileStorage(fd, path, rowLength));
            const off_t size = static_cast<off_t>(rowLength) * height;
            if (::ftruncate(fd, size) != 0) return nullptr;  // destructor removes the file
            return storage;
        }
        return nullptr;
    }
    ~TempFileStorage() override {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    std::uint8_t* Row(std::int32_t row) override {
        if (row == current_) return buffer_.data();
        WriteBack();
        const off_t offset = static_cast<off_t>(rowLength_) * row;
        std::size_t done = 0;
        while (done < buffer_.size()) {
            const ssize_t n = ::pread(fd_, buffer_.data() + done, buffer_.size() - done,
                                      offset + static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(done), buffer_.end(), 0);
        current_ = row;
        return buffer_.data();
    }
    std::string Path() const override { return path_; }

private:
    TempFileStorage(int fd, std::string path, std::int32_t rowLength)
        : fd_(fd), path_(std::move(path)), rowLength_(rowLength), buffer_(rowLength) {}

    // The row handed out last may have been changed by the caller.
    void WriteBack() {
        if (current_ < 0) return;
        const off_t offset = static_cast<off_t>(rowLength_) * current_;
        std::size_t done = 0;
        while (done < buffer_.size()) {
            const ssize_t n = ::pwrite(fd_, buffer_.data() + done, buffer_.size() - done,
                                       offset + static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw WriteError(path_, "cannot write an image row to the temporary file");
            done += static_cast<std::size_t>(n);
        }
        current_ = -1;
    }

    int fd_;
    std::string path_;
    std::int32_t rowLength_;
    std::vector<std::uint8_t> buffer_;
    std::int32_t current_ = -1;
};

// ---------------------------------------------------------------------------
// Per-pixel conversions to blue, green, red

void RowToRGB24(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width, TPixelLayout layout,
                const std::vector<TColorTriple>& palette) {
    for (std::int32_t x = 0; x < width; ++x, dst += 3) {
        switch (layout) {
            case plBW1: {
                const std::uint8_t v = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
                dst[0] = dst[1] = dst[2] = v;
                break;
            }
            case plPalette8: {
                const TColorTriple c = palette.empty() ? TColorTriple{} : palette[src[x]];
                dst[0] = c.Blue;
                dst[1] = c.Green;
                dst[2] = c.Red;
                break;
            }
            case plGray8: dst[0] = dst[1] = dst[2] = src[x]; break;
            case plGray16: dst[0] = dst[1] = dst[2] = src[2 * x + 1]; break;
            case pl32f: {
                float f;
                std::memcpy(&f, src + 4 * x, 4);
                // Clamped: out-of-range or NaN samples would otherwise be an
                // undefined float-to-integer conversion.
                const float scaled = f * 255.0f;
                const std::uint8_t v = !(scaled > 0.0f) ? 0 : scaled >= 255.0f ? 255
                                                                  : static_cast<std::uint8_t>(scaled);
                dst[0] = dst[1] = dst[2] = v;
                break;
            }
            case plRGB48: {
                const std::uint8_t* p = src + 6 * x;
                dst[0] = p[5];
                dst[1] = p[3];
                dst[2] = p[1];
                break;
            }
            case plCMYK: {
                // Naive subtractive model: no colour profile exists for these samples.
                const std::uint8_t* p = src + 4 * x;
                const unsigned k = 255 - p[3];
                dst[2] = static_cast<std::uint8_t>((255 - p[0]) * k / 255);
                dst[1] = static_cast<std::uint8_t>((255 - p[1]) * k / 255);
                dst[0] = static_cast<std::uint8_t>((255 - p[2]) * k / 255);
                break;
            }
            case plCIELab: {
                // L* 0..255 -> 0..100, a* and b* signed bytes; D65 white, sRGB primaries.
                const std::uint8_t* p = src + 3 * x;
                const double L = p[0] * 100.0 / 255.0;
                const double a = static_cast<std::int8_t>(p[1]);
                const double b = static_cast<std::int8_t>(p[2]);
                const double fy = (L + 16.0) / 116.0, fx = fy + a / 500.0, fz = fy - b / 200.0;
                auto inv = [](double t) { return t > 6.0 / 29 ? t * t * t : 3 * (6.0 / 29) * (6.0 / 29) * (t - 4.0 / 29); };
                const double X = 0.95047 * inv(fx), Y = inv(fy), Z = 1.08883 * inv(fz);
                const double rgb[3] = {3.2406 * X - 1.5372 * Y - 0.4986 * Z,
                                       -0.9689 * X + 1.8758 * Y + 0.0415 * Z,
                                       0.0557 * X - 0.2040 * Y + 1.0570 * Z};
                for (int i = 0; i < 3; ++i) {
                    double v = std::clamp(rgb[i], 0.0, 1.0);
                    v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
                    dst[2 - i] = static_cast<std::uint8_t>(std::lround(v * 255));
                }
                break;
            }
            default: dst[0] = dst[1] = dst[2] = 0; break;
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// TRasterImage

TRasterImage::TRasterImage(TImageLocation location)
    : location_(location), tempFileThreshold_(AvailableMemoryHalf()) {
    if (tempFileThreshold_ == 0) tempFileThreshold_ = kDefaultTempFileThreshold;
}

TRasterImage::~TRasterImage() = default;

std::int32_t TRasterImage::Width() const noexcept { return width_; }
std::int32_t TRasterImage::Height() const noexcept { return height_; }
TPixelLayout TRasterImage::PixelLayout() const noexcept { return layout_; }
int TRasterImage::BitsPerPixel() const noexcept { return BitsPerPixelOf(layout_); }
int TRasterImage::SamplesPerPixel() const noexcept { return SamplesPerPixelOf(layout_); }
std::int32_t TRasterImage::RowLength() const noexcept {
    const std::int64_t length = RowLengthFor(width_, layout_);
    return length < 0 ? 0 : static_cast<std::int32_t>(length);
}
TImageLocation TRasterImage::Location() const noexcept { return location_; }
std::uint64_t TRasterImage::TempFileThreshold() const noexcept { return tempFileThreshold_; }
void TRasterImage::SetTempFileThreshold(std::uint64_t bytes) noexcept { tempFileThreshold_ = bytes; }
std::string TRasterImage::TempFilePath() const { return storage_ ? storage_->Path() : std::string(); }

void TRasterImage::Allocate(std::int32_t width, std::int32_t height, TPixelLayout layout) {
    if (location_ == locPlatformBitmap) {
        if (layout == pl32f || layout == plCMYK || layout == plRGB48 || layout == plCIELab)
            throw std::invalid_argument(std::string(LayoutName(layout)) +
                                        " pixel format not allowed when Location=locPlatformBitmap");
        if (layout == plGray16) layout = plGray8;  // the bitmap has no 16-bit grey depth
    }
    std::unique_ptr<detail::ImageStorage> storage;
    TImageLocation location = location_;
    if (width > 0 && height > 0 && layout != plNone) {
        const std::int64_t rowLength = RowLengthFor(width, layout);
        const std::uint64_t size = rowLength < 0 ? 0 : static_cast<std::uint64_t>(rowLength) * height;
        if (rowLength < 0 || size > kMaxImageBytes)
            throw LimitExceededError({}, "an image of " + std::to_string(width) + " x " +
                                             std::to_string(height) + " pixels is too large");
        const auto row = static_cast<std::int32_t>(rowLength);
        if (location == locTempFile && size < tempFileThreshold_) location = locMemory;
        else if (location == locMemory && size > tempFileThreshold_) location = locTempFile;
        if (location == locTempFile) {
            storage = TempFileStorage::TryCreate(row, height);
            if (!storage) location = locMemory;
        }
        if (location == locMemory) storage = std::make_unique<MemoryStorage>(row, height);
        if (location == locPlatformBitmap) storage = std::make_unique<BitmapStorage>(row, height);
    }
    // Everything that can fail has been done: now replace the old image.
    storage_ = std::move(storage);
    location_ = location;
    alpha_.reset();
    palette_.clear();
    if (layout == plPalette8) palette_.assign(256, TColorTriple{});
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    layout_ = layout;
}

std::uint8_t* TRasterImage::RowAddress(std::int32_t row) {
    if (!storage_ || row < 0 || row >= height_)
        throw std::out_of_range("row " + std::to_string(row) + " outside the image");
    return storage_->Row(row);
}

const std::uint8_t* TRasterImage::RowAddress(std::int32_t row) const {
    return const_cast<TRasterImage*>(this)->RowAddress(row);
}

int TRasterImage::PaletteLength() const noexcept { return static_cast<int>(palette_.size()); }

void TRasterImage::PaletteEntry(int index, TColorTriple& colour) const noexcept {
    if (index >= 0 && index < PaletteLength()) colour = palette_[index];
}

void TRasterImage::SetPaletteEntry(int index, const TColorTriple& colour) noexcept {
    if (index >= 0 && index < PaletteLength()) palette_[index] = colour;
}

TRasterImage* TRasterImage::AlphaImage() noexcept { return alpha_.get(); }
const TRasterImage* TRasterImage::AlphaImage() const noexcept { return alpha_.get(); }
void TRasterImage::SetAlphaImage(std::unique_ptr<TRasterImage> alpha) {
    if (alpha) alpha->DropAlphaImage();  // a companion never has one of its own
    alpha_ = std::move(alpha);
}
void TRasterImage::DropAlphaImage() noexcept { alpha_.reset(); }

// Takes over another image's pixels, size and layout (not its location
// choice, which `from` made from our own location and threshold).
void TRasterImage::Adopt(TRasterImage& from) noexcept {
    storage_ = std::move(from.storage_);
    width_ = from.width_;
    height_ = from.height_;
    layout_ = from.layout_;
    location_ = from.location_;
    palette_ = std::move(from.palette_);
}

void TRasterImage::Resize(std::int32_t width, std::int32_t height) {
    TRasterImage resized(location_);
    resized.tempFileThreshold_ = tempFileThreshold_;
    resized.Allocate(width, height, layout_);
    const std::int32_t rows = std::min(resized.height_, height_);
    // Only the pixels both sizes share; the new padding stays zero.
    const std::size_t bytes =
        (static_cast<std::size_t>(std::min(resized.width_, width_)) * BitsPerPixel() + 7) / 8;
    for (std::int32_t r = 0; r < rows; ++r) std::memcpy(resized.RowAddress(r), RowAddress(r), bytes);
    if (layout_ == plPalette8) resized.palette_ = palette_;
    std::unique_ptr<TRasterImage> alpha = std::move(alpha_);
    Adopt(resized);
    if (alpha) {
        alpha->Resize(width_, height_);
        alpha_ = std::move(alpha);
    }
}

void TRasterImage::ChangeLayout(TPixelLayout layout) {
    if (layout == layout_) return;
    const bool toPalette = layout_ == plBW1 && layout == plPalette8;
    if (layout != plRGB24 && !toPalette)
        throw std::invalid_argument("unsupported pixel layout conversion");
    TRasterImage converted(location_);
    converted.tempFileThreshold_ = tempFileThreshold_;
    converted.Allocate(width_, height_, layout);
    for (std::int32_t r = 0; r < converted.height_; ++r) {
        // For a temp-file image the source row must be fetched before the
        // destination row (two images, so both addresses stay valid).
        const std::uint8_t* src = RowAddress(r);
        std::uint8_t* dst = converted.RowAddress(r);
        if (toPalette) {
            for (std::int32_t x = 0; x < width_; ++x) dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
        } else {
            RowToRGB24(src, dst, width_, layout_, palette_);
        }
    }
    if (toPalette) {
        converted.palette_[0] = TColorTriple{0, 0, 0};
        converted.palette_[1] = TColorTriple{255, 255, 255};
    }
    std::unique_ptr<TRasterImage> alpha = std::move(alpha_);  // stays with the image
    Adopt(converted);
    alpha_ = std::move(alpha);
}

void TRasterImage::Assign(const TRasterImage& source) {
    if (&source == this) return;
    TRasterImage copy(location_);
    copy.tempFileThreshold_ = tempFileThreshold_;
    copy.Allocate(source.width_, source.height_, source.layout_);
    const std::size_t bytes = static_cast<std::size_t>(copy.RowLength());
    for (std::int32_t r = 0; r < copy.height_; ++r)
        std::memcpy(copy.RowAddress(r), source.RowAddress(r), bytes);
    copy.palette_ = source.palette_;
    std::unique_ptr<TRasterImage> alpha;
    if (source.alpha_) {
        alpha = std::make_unique<TRasterImage>(locTempFile);
        alpha->Assign(*source.alpha_);
    }
    Adopt(copy);
    alpha_ = std::move(alpha);
}

}  // namespace pressmark
