#include "slide_image.h"

#include "office_error.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

namespace pressmark::office {

namespace {

struct PngImageFree {
    void operator()(png_image* image) const { png_image_free(image); }
};

void putLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void putLe32(std::uint8_t* p, std::uint32_t v) {
    putLe16(p, v & 0xFFFF);
    putLe16(p + 2, v >> 16);
}

}  // namespace

PixelSize fitSlide(double slideWidth, double slideHeight, int boxWidth, int boxHeight) {
    if (!(slideWidth > 0) || !(slideHeight > 0) || boxWidth <= 0 || boxHeight <= 0)
        return {std::max(boxWidth, 1), std::max(boxHeight, 1)};
    // Compare the aspect ratios exactly (cross products) so that a 4:3 slide
    // in a 4:3 box keeps the whole box.
    if (slideWidth * boxHeight >= slideHeight * boxWidth) {
        int h = static_cast<int>(std::lround(boxWidth * slideHeight / slideWidth));
        return {boxWidth, std::clamp(h, 1, boxHeight)};
    }
    int w = static_cast<int>(std::lround(boxHeight * slideWidth / slideHeight));
    return {std::clamp(w, 1, boxWidth), boxHeight};
}

BgrImage readPng(const std::string& path) {
    png_image header{};
    header.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&header, path.c_str()))
        throw BadInputError(path, std::string("the slide image cannot be read: ") + header.message);
    std::unique_ptr<png_image, PngImageFree> guard(&header);
    header.format = PNG_FORMAT_BGR;
    BgrImage image;
    image.width = static_cast<int>(header.width);
    image.height = static_cast<int>(header.height);
    image.pixels.resize(PNG_IMAGE_SIZE(header));
    png_color white{255, 255, 255};
    if (!png_image_finish_read(&header, &white, image.pixels.data(), 0, nullptr))
        throw BadInputError(path, std::string("the slide image cannot be decoded: ") + header.message);
    return image;
}

PixelSize readPngSize(const std::string& path) {
    png_image header{};
    header.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&header, path.c_str()))
        throw BadInputError(path, std::string("the slide image cannot be read: ") + header.message);
    PixelSize size{static_cast<int>(header.width), static_cast<int>(header.height)};
    png_image_free(&header);
    return size;
}

void writeBmp24(const std::string& path, const BgrImage& image) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
    const std::uint32_t dataSize = stride * static_cast<std::uint32_t>(image.height);
    std::array<std::uint8_t, 54> head{};
    head[0] = 'B';
    head[1] = 'M';
    putLe32(&head[2], 54 + dataSize);  // file size
    putLe32(&head[10], 54);            // offset of the pixels
    putLe32(&head[14], 40);            // BITMAPINFOHEADER
    putLe32(&head[18], static_cast<std::uint32_t>(image.width));
    putLe32(&head[22], static_cast<std::uint32_t>(image.height));  // positive: bottom-up
    putLe16(&head[26], 1);             // planes
    putLe16(&head[28], 24);            // bits per pixel
    putLe32(&head[30], 0);             // BI_RGB, uncompressed
    putLe32(&head[34], dataSize);
    putLe32(&head[38], 3780);          // 96 dpi in pixels per metre
    putLe32(&head[42], 3780);

    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) throw WriteError(path, "the slide image cannot be created");
        out.write(reinterpret_cast<const char*>(head.data()), head.size());
        std::vector<char> row(stride, 0);
        for (int y = image.height - 1; y >= 0; --y) {
            std::copy_n(image.row(y), static_cast<std::size_t>(image.width) * 3, row.begin());
            out.write(row.data(), static_cast<std::streamsize>(row.size()));
        }
        out.flush();
        if (!out) {
            out.close();
            std::remove(temporary.c_str());
            throw WriteError(path, "the slide image could not be written completely (disk full?)");
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::remove(temporary.c_str());
        throw WriteError(path, "the slide image cannot be put in place: " + ec.message());
    }
}

}  // namespace pressmark::office
