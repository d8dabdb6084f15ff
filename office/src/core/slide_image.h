#pragma once
// Slide images between the office and the files we keep: the office writes
// BMP, PNG and JPEG files at the requested pixel size; the slide show takes
// decoded pixels from a PNG.
#include <cstdint>
#include <string>
#include <vector>

namespace pressmark::office {

// Pixels in bytes blue, green, red; rows top to bottom, no padding.
struct BgrImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    const std::uint8_t* row(int y) const { return pixels.data() + static_cast<std::size_t>(y) * width * 3; }
};

struct PixelSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// The largest size with the slide's own aspect ratio that fits the box, never
// distorted and never empty. Slide sizes are in any one unit.
PixelSize fitSlide(double slideWidth, double slideHeight, int boxWidth, int boxHeight);

// Decodes a PNG file; transparent parts are laid on white (a slide has no
// transparency of its own). Throws BadInputError/ReadError naming the file.
BgrImage readPng(const std::string& path);
// Width and height from a PNG file's header.
PixelSize readPngSize(const std::string& path);

// Checks a BMP file the office wrote for a slide rendered at `size` and
// mends its header in place. LibreOffice writes a sound uncompressed 24-bit
// bottom-up BMP, but states the file size as if the pixels had four bytes
// (strict readers such as ImageMagick reject that) and a resolution derived
// from the slide's logical size; the file gets its real size and 96 dpi.
// Throws WriteError naming the file when it is anything but that BMP.
void completeOfficeBmp(const std::string& path, PixelSize size);

}  // namespace pressmark::office
