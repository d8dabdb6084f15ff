// Every page layout with every compression code, in both formats, read back
// by independent programs: qpdf checks each PDF's structure; poppler, mupdf
// and ghostscript render the PDFs, ghostscript the PostScript. The paper
// equals the image size, so at 72 dpi one image pixel is one device pixel
// and lossless pages must come back pixel for pixel.
#include <gtest/gtest.h>

#include "pressmark/imaging/image_params.h"
#include "pressmark/writers/pdf_document.h"
#include "pressmark/writers/ps_document.h"
#include "test_support.h"

namespace pressmark {
namespace {

using test::Renderer;

enum class Format { PDF, PS };

struct RenderCase {
    const char* name;
    Format format;
    bool oneBit;
    std::uint8_t code;
    bool lossy;
};

constexpr RenderCase kCases[] = {
    {"PDF 1-bit uncompressed", Format::PDF, true, 0, false},
    {"PDF 1-bit run-length", Format::PDF, true, 1, false},
    {"PDF 1-bit G4", Format::PDF, true, 2, false},
    {"PDF 1-bit G3", Format::PDF, true, 3, false},
    {"PDF 1-bit code 4 (G3)", Format::PDF, true, 4, false},
    {"PDF 1-bit LZW", Format::PDF, true, 5, false},
    {"PDF colour code 0", Format::PDF, false, 0, false},
    {"PDF colour code 1", Format::PDF, false, 1, false},
    {"PDF colour code 2", Format::PDF, false, 2, false},
    {"PDF colour code 3", Format::PDF, false, 3, false},
    {"PDF colour JPEG", Format::PDF, false, 4, true},
    {"PDF colour LZW", Format::PDF, false, 5, false},
    {"PS 1-bit run-length", Format::PS, true, 0, false},
    {"PS 1-bit G4", Format::PS, true, 1, false},
    {"PS 1-bit G3", Format::PS, true, 2, false},
    {"PS 1-bit JPEG (colour copy)", Format::PS, true, 3, true},
    {"PS colour run-length", Format::PS, false, 0, false},
    {"PS colour code 1", Format::PS, false, 1, false},
    {"PS colour code 2", Format::PS, false, 2, false},
    {"PS colour JPEG", Format::PS, false, 3, true},
};

std::string WriteDocument(const test::TempDir& dir, const std::string& name, Format format,
                          const std::vector<TRasterImage*>& pages, TImageParams& params) {
    MemoryFile out;
    TProgressRecord progress;
    if (format == Format::PDF) {
        auto document = PDFBeginDocument();
        for (auto* page : pages) PDFAddPage(*document, *page, params, progress);
        PDFEndDocument(std::move(document), out, params);
    } else {
        auto handle = PSBeginDocument(out, params);
        for (auto* page : pages) PSAddPage(*handle, out, *page, params, progress);
        PSEndDocument(std::move(handle), out);
    }
    const std::string path = dir / (name + (format == Format::PDF ? ".pdf" : ".ps"));
    test::WriteFile(path, out.data());
    return path;
}

std::vector<Renderer> RenderersFor(Format format) {
    if (format == Format::PDF) return {Renderer::Poppler, Renderer::MuPDF, Renderer::Ghostscript};
    return {Renderer::Ghostscript};
}

// Mean colour of a rectangle.
test::Rgb Mean(const test::Picture& p, int x0, int y0, int x1, int y1) {
    double r = 0, g = 0, b = 0;
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++n) {
            const auto& c = p.pixels[static_cast<std::size_t>(y) * p.width + x];
            r += c.r, g += c.g, b += c.b;
        }
    return {std::uint8_t(r / n), std::uint8_t(g / n), std::uint8_t(b / n)};
}

void ExpectValidPDF(const std::string& path, const char* name) {
    std::string output;
    EXPECT_EQ(test::Run("qpdf --check '" + path + "'", &output), 0) << name << "\n" << output;
}

TEST(Render, EveryLayoutAndCodeInBothFormats) {
    const test::TempDir dir;
    // A width that is not a multiple of 8, so row padding shows.
    auto colour = test::ColourImage(203, 61, [](int x, int y) { return test::SlidePixel(x % 128, y); });
    auto smooth = test::ColourImage(203, 61, test::SmoothSlidePixel);  // JPEG's case
    auto bits = test::BitImage(203, 61, test::BitPixel);
    for (const auto& c : kCases) {
        TRasterImage& image = c.oneBit ? *bits : c.lossy ? *smooth : *colour;
        TImageParams params;
        params.PDFPaperWidth = params.PSPaperWidth = image.Width();
        params.PDFPaperHeight = params.PSPaperHeight = image.Height();
        params.PDFCompression = params.PSCompression = c.code;
        const std::string path = WriteDocument(dir, c.name, c.format, {&image}, params);
        if (c.format == Format::PDF) ExpectValidPDF(path, c.name);

        const auto expected = test::PixelsOf(image);
        for (const Renderer renderer : RenderersFor(c.format)) {
            std::string log;
            const auto picture = test::Render(renderer, path, 1, path, image.Width(), image.Height(), &log);
            SCOPED_TRACE(std::string(c.name) + " by " + test::NameOf(renderer));
            ASSERT_EQ(picture.width, image.Width()) << log;
            ASSERT_EQ(picture.height, image.Height()) << log;
            const auto difference = test::Compare(picture.pixels, expected);
            if (!c.lossy) {
                EXPECT_EQ(difference.differing, 0u);
            } else {
                EXPECT_GE(difference.psnr, 30.0);
                if (!c.oneBit) {
                    // The red bar stays red: channel order survives encoding.
                    const auto bar = Mean(picture, 0, 2, image.Width(), 10);
                    EXPECT_GT(bar.r, 170);
                    EXPECT_LT(bar.g, 60);
                    EXPECT_LT(bar.b, 70);
                }
            }
        }
    }
}

// Three different pages come out in the order they were added.
TEST(Render, ThreePagesInOrder) {
    const test::TempDir dir;
    auto first = test::ColourImage(64, 48, [](int x, int y) { return test::SlidePixel(x, y); });
    auto second = test::BitImage(64, 48, test::BitPixel);
    auto third = test::ColourImage(64, 48, [](int x, int y) { return test::SlidePixel(63 - x, 47 - y); });
    const std::vector<TRasterImage*> pages{first.get(), second.get(), third.get()};
    for (const Format format : {Format::PDF, Format::PS}) {
        TImageParams params;
        params.PDFPaperWidth = params.PSPaperWidth = 64;
        params.PDFPaperHeight = params.PSPaperHeight = 48;
        params.PDFCompression = 2;  // G4 for 1-bit, plain RGB for colour
        params.PSCompression = 1;   // G4 for 1-bit, run-length for colour
        const std::string path = WriteDocument(dir, "three", format, pages, params);
        if (format == Format::PDF) ExpectValidPDF(path, "three pages");
        for (const Renderer renderer : RenderersFor(format)) {
            for (int page = 1; page <= 3; ++page) {
                SCOPED_TRACE(std::string(format == Format::PDF ? "PDF" : "PS") + " page " + std::to_string(page) +
                             " by " + test::NameOf(renderer));
                std::string log;
                const auto picture = test::Render(renderer, path, page, path, 64, 48, &log);
                ASSERT_EQ(picture.width, 64) << log;
                EXPECT_EQ(test::Compare(picture.pixels, test::PixelsOf(*pages[page - 1])).differing, 0u);
            }
        }
    }
}

// An empty document is still a valid PDF (empty page tree) and a PostScript
// file ghostscript runs without error.
TEST(Render, EmptyDocumentsAreValid) {
    const test::TempDir dir;
    TImageParams params;
    ExpectValidPDF(WriteDocument(dir, "empty", Format::PDF, {}, params), "empty");
    std::string output;
    EXPECT_EQ(test::Run("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=nullpage '" +
                            WriteDocument(dir, "empty", Format::PS, {}, params) + "'",
                        &output),
              0)
        << output;
    EXPECT_EQ(output, "");
}

}  // namespace
}  // namespace pressmark
