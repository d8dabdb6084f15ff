#pragma once
// Slide images between the office and the files we write. The office renders
// PNG (the only graphic export that honours the requested pixel size); BMP
// files are written here from the decoded pixels.
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

// Writes an uncompressed 24-bit BMP (BITMAPINFOHEADER, bottom-up rows).
// The file appears complete or not at all (temporary file, then rename).
void writeBmp24(const std::string& path, const BgrImage& image);

}  // namespace pressmark::office
