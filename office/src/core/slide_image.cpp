#include "slide_image.h"

#include "office_error.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cerrno>
#include <cstring>
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

void completeOfficeBmp(const std::string& path, PixelSize size) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) throw WriteError(path, std::string("the slide image cannot be opened: ") + std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat status {};
    std::array<std::uint8_t, 54> head{};
    if (::fstat(fd, &status) != 0 || ::pread(fd, head.data(), head.size(), 0) != static_cast<ssize_t>(head.size()))
        throw WriteError(path, "the slide image is too short to be a BMP file");
    const auto le16 = [&](std::size_t at) { return static_cast<std::uint32_t>(head[at] | head[at + 1] << 8); };
    const auto le32 = [&](std::size_t at) { return le16(at) | le16(at + 2) << 16; };
    const std::uint64_t stride = (static_cast<std::uint64_t>(size.width) * 3 + 3) & ~std::uint64_t{3};
    const std::uint64_t pixels = stride * static_cast<std::uint64_t>(size.height);
    const bool expected = head[0] == 'B' && head[1] == 'M' && le32(10) == 54 && le32(14) == 40 &&
                          static_cast<std::int32_t>(le32(18)) == size.width &&
                          static_cast<std::int32_t>(le32(22)) == size.height && le16(26) == 1 && le16(28) == 24 &&
                          le32(30) == 0 && static_cast<std::uint64_t>(status.st_size) >= 54 + pixels;
    if (!expected)
        throw WriteError(path, "the presentation application did not write an uncompressed 24-bit BMP of " +
                                   std::to_string(size.width) + " x " + std::to_string(size.height) + " pixels");
    putLe32(&head[2], static_cast<std::uint32_t>(status.st_size));  // the file's real size
    putLe32(&head[38], 3780);  // 96 dpi in pixels per metre
    putLe32(&head[42], 3780);
    if (::pwrite(fd, head.data(), head.size(), 0) != static_cast<ssize_t>(head.size()))
        throw WriteError(path, std::string("the slide image's header cannot be written: ") + std::strerror(errno));
}

}  // namespace pressmark::office
