#pragma once
// Shared fixtures of the writer tests: failing sinks, test images, a fixed
// clock, scratch folders, and running the independent readers (qpdf,
// poppler, mupdf, ghostscript) on what the writers produce.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "pressmark/imaging/raster_image.h"
#include "pressmark/writers/random_access_sink.h"

namespace pressmark::test {

// Takes bytes until `limit` have been accepted, then accepts fewer than
// offered, like a full disk.
class FailAfterSink final : public RandomAccessSink {
public:
    explicit FailAfterSink(std::uint64_t limit) : limit_(limit) {}
    std::size_t write(std::span<const std::uint8_t> bytes) override {
        const std::uint64_t room = limit_ > inner_.position() ? limit_ - inner_.position() : 0;
        const std::size_t taken = static_cast<std::size_t>(std::min<std::uint64_t>(room, bytes.size()));
        return inner_.write(bytes.first(taken));
    }
    std::uint64_t position() const override { return inner_.position(); }
    void seek(std::uint64_t position) override { inner_.seek(position); }
    std::size_t read(std::span<std::uint8_t> bytes) override { return inner_.read(bytes); }

private:
    std::uint64_t limit_;
    MemoryFile inner_;
};

// 2024-01-02 03:04:05, a Tuesday.
inline std::tm FixedTime() {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 0;
    t.tm_mday = 2;
    t.tm_hour = 3;
    t.tm_min = 4;
    t.tm_sec = 5;
    t.tm_wday = 2;
    return t;
}

struct Rgb {
    std::uint8_t r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A 24-bit image whose pixel (x, y) is colour(x, y).
inline std::unique_ptr<TRasterImage> ColourImage(int w, int h, const std::function<Rgb(int, int)>& colour) {
    auto image = std::make_unique<TRasterImage>(locMemory);
    image->Allocate(w, h, plRGB24);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = image->RowAddress(y);
        for (int x = 0; x < w; ++x) {
            const Rgb c = colour(x, y);
            row[3 * x] = c.b;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.r;
        }
    }
    return image;
}

// A 1-bit image whose pixel (x, y) is white when white(x, y).
inline std::unique_ptr<TRasterImage> BitImage(int w, int h, const std::function<bool(int, int)>& white) {
    auto image = std::make_unique<TRasterImage>(locMemory);
    image->Allocate(w, h, plBW1);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = image->RowAddress(y);
        std::fill_n(row, image->RowLength(), 0);
        for (int x = 0; x < w; ++x)
            if (white(x, y)) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    return image;
}

// A slide-like picture: gradients, a red title bar, thin lines and a
// checkered patch, so both smooth areas and sharp edges are exercised.
inline Rgb SlidePixel(int x, int y) {
    if (y < 12) return {200, 20, 30};                          // red bar
    if (x % 17 == 0 || y % 23 == 0) return {0, 0, 0};          // thin black lines
    if (x > 100 && y > 60) return ((x / 3 + y / 3) % 2) ? Rgb{255, 255, 255} : Rgb{10, 40, 220};
    return {static_cast<std::uint8_t>(x * 2), static_cast<std::uint8_t>(y * 3), static_cast<std::uint8_t>(255 - x)};
}

// What a slide mostly holds: a red title bar, smooth gradients and large
// flat shapes (JPEG's fair case).
inline Rgb SmoothSlidePixel(int x, int y) {
    if (y < 12) return {200, 20, 30};
    if (x > 40 && x < 90 && y > 25 && y < 50) return {20, 60, 200};
    return {static_cast<std::uint8_t>(60 + x / 2), static_cast<std::uint8_t>(100 + y), static_cast<std::uint8_t>(220 - x / 3)};
}

inline bool BitPixel(int x, int y) { return ((x * 7 + y * 3) % 11 < 6) != (x > 150 && y < 20); }

// The image as red, green, blue per pixel (1-bit: black or white).
inline std::vector<Rgb> PixelsOf(const TRasterImage& image) {
    std::vector<Rgb> out;
    for (int y = 0; y < image.Height(); ++y) {
        const std::uint8_t* row = image.RowAddress(y);
        for (int x = 0; x < image.Width(); ++x) {
            if (image.PixelLayout() == plBW1) {
                const bool white = row[x / 8] & (0x80 >> (x % 8));
                out.push_back(white ? Rgb{255, 255, 255} : Rgb{0, 0, 0});
            } else {
                out.push_back({row[3 * x + 2], row[3 * x + 1], row[3 * x]});
            }
        }
    }
    return out;
}

// A scratch folder removed with its contents.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pressmark-writers-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }
    // Names of the files in the folder.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a shell command; answers its exit status, with its output in *output.
inline int Run(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return -1;
    std::string text;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    const int status = ::pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Picture {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
};

// Reads a binary PPM (P6, maxval 255) or PBM (P4, a set bit black).
inline Picture ReadPPM(const std::string& path) {
    const std::string data = ReadFile(path);
    std::size_t at = 0;
    auto token = [&]() {
        while (at < data.size() && (std::isspace(static_cast<unsigned char>(data[at])) || data[at] == '#')) {
            if (data[at] == '#')
                while (at < data.size() && data[at] != '\n') ++at;
            else
                ++at;
        }
        const std::size_t start = at;
        while (at < data.size() && !std::isspace(static_cast<unsigned char>(data[at]))) ++at;
        return data.substr(start, at - start);
    };
    Picture picture;
    const std::string magic = token();
    if (magic != "P6" && magic != "P4") return picture;
    picture.width = std::stoi(token());
    picture.height = std::stoi(token());
    if (magic == "P6" && token() != "255") return {};
    ++at;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(data[at + i]); };
    if (magic == "P4") {
        const std::size_t rowBytes = (static_cast<std::size_t>(picture.width) + 7) / 8;
        if (data.size() < at + rowBytes * picture.height) return {};
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) {
                const bool black = byte(y * rowBytes + x / 8) & (0x80 >> (x % 8));
                picture.pixels.push_back(black ? Rgb{0, 0, 0} : Rgb{255, 255, 255});
            }
        return picture;
    }
    const std::size_t count = static_cast<std::size_t>(picture.width) * picture.height;
    if (data.size() < at + 3 * count) return {};
    for (std::size_t i = 0; i < count; ++i) picture.pixels.push_back({byte(3 * i), byte(3 * i + 1), byte(3 * i + 2)});
    return picture;
}

// Pixels that differ, and the peak signal-to-noise ratio in dB.
struct Difference {
    std::size_t differing = 0;
    double psnr = 0;
};

inline Difference Compare(const std::vector<Rgb>& a, const std::vector<Rgb>& b) {
    Difference d;
    double squares = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (!(a[i] == b[i])) ++d.differing;
        for (const auto& [p, q] : {std::pair{a[i].r, b[i].r}, std::pair{a[i].g, b[i].g}, std::pair{a[i].b, b[i].b}})
            squares += (double(p) - q) * (double(p) - q);
    }
    const double mse = squares / (3.0 * std::max<std::size_t>(1, a.size()));
    d.psnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
    return d;
}

// Reads page `page` of a document back through an independent program.
// mupdf and ghostscript render at 72 dpi without antialiasing. Poppler's
// renderer resamples images even at 1:1 (it shifts single pixels), so
// poppler is asked for the page's decoded image instead (pdfimages), which
// still runs its own RunLength, CCITT, LZW and DCT decoders.
enum class Renderer { Poppler, MuPDF, Ghostscript };

inline const char* NameOf(Renderer renderer) {
    switch (renderer) {
        case Renderer::Poppler: return "poppler";
        case Renderer::MuPDF: return "mupdf";
        case Renderer::Ghostscript: return "ghostscript";
    }
    return "?";
}

// For PostScript (no media box in the file) the page size is given.
inline Picture Render(Renderer renderer, const std::string& document, int page, const std::string& outputPrefix,
                      int pageWidth = 0, int pageHeight = 0, std::string* log = nullptr) {
    const std::string prefix = outputPrefix + "-" + NameOf(renderer) + "-" + std::to_string(page);
    std::string out = prefix + ".ppm";
    const std::string p = std::to_string(page);
    std::string command;
    switch (renderer) {
        case Renderer::Poppler:
            command = "pdfimages -f " + p + " -l " + p + " '" + document + "' '" + prefix + "'";
            break;
        case Renderer::MuPDF:
            command = "mutool draw -q -r 72 -A 0 -o '" + out + "' '" + document + "' " + p;
            break;
        case Renderer::Ghostscript:
            command = "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw -r72 -dGraphicsAlphaBits=1 -dTextAlphaBits=1"
                      " -dFirstPage=" + p + " -dLastPage=" + p;
            if (pageWidth > 0) command += " -g" + std::to_string(pageWidth) + "x" + std::to_string(pageHeight) + " -dFIXEDMEDIA";
            command += " -sOutputFile='" + out + "' '" + document + "'";
            break;
    }
    std::string output;
    const int status = Run(command, &output);
    if (log) *log = command + "\n" + output;
    if (status != 0) return {};
    if (renderer == Renderer::Poppler) {
        out = prefix + "-000.ppm";
        if (!std::filesystem::exists(out)) out = prefix + "-000.pbm";
    }
    return ReadPPM(out);
}

// Lowers this process's file size limit (a full disk that the system itself
// reports) until the end of the scope; writes past it fail with EFBIG
// instead of raising SIGXFSZ. Restored also when an assertion leaves early.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved_;
        small.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return active_; }

private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
    bool active_ = false;
};

}  // namespace pressmark::test
