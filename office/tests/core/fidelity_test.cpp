// Real presentations nobody on the team wrote (LibreOffice's own templates,
// saved as .ppt and .pps here, and corpus decks of varied kinds) against
// LibreOffice's own PDF export of the same files, read with poppler:
// the slide count is the page count, every image is an uncompressed 24-bit
// BMP of the page's undistorted size in 800 x 600, none is blank, and each
// looks like the matching page rendered at the same size.
//
// Likeness: both images are box-averaged down to 80 x 60 (ImageMagick
// -scale, which hides anti-aliasing and sub-pixel text placement) and the
// mean absolute difference of all RGB samples is taken, 0..255. Matching
// pages measure 0.1 to 4.1 on this sample; neighbouring slides of a deck
// 5.7 and more (1.2 for template slides that share their whole layout, so
// the wrong-page check uses decks whose slides differ). Threshold: 8.
#include "slide_deck.h"

#include "../support/office_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>

using namespace pressmark::office;
using namespace office_test;

namespace {

constexpr double kLikenessThreshold = 8.0;
constexpr int kComparedSlides = 4;  // of each deck; counts cover all slides

const char* const kTemplates[] = {"Beehive", "Focus", "Vintage"};
const char* const kCorpusDecks[] = {"robot_overview_Hebrew.ppt", "56260.ppt", "table_test.ppt",
                                    "with_japanese.pptx", "LibreOfficeImpress_odp_1.3.odp", "iisd_report.ppt"};

// soffice --convert-to with a profile of its own.
void convert(const std::string& format, const std::vector<std::string>& files, const std::string& outDir,
             const std::string& profile) {
    std::string command = "soffice -env:UserInstallation=file://" + profile +
                          " --headless --convert-to " + format + " --outdir " + quoted(outDir);
    for (const auto& f : files) command += " " + quoted(f);
    run(command + " >/dev/null 2>&1");
}

int pdfPages(const std::string& pdf) {
    std::smatch m;
    const std::string info = run("pdfinfo " + quoted(pdf));
    return std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")) ? std::stoi(m[1]) : -1;
}

std::pair<double, double> pdfPageSize(const std::string& pdf, int page) {
    std::smatch m;
    const std::string p = std::to_string(page);
    const std::string info = run("pdfinfo -f " + p + " -l " + p + " " + quoted(pdf));
    if (!std::regex_search(info, m, std::regex("size:\\s+([0-9.]+) x ([0-9.]+)"))) return {0, 0};
    return {std::stod(m[1]), std::stod(m[2])};
}

// The undistorted size of a page in the 800 x 600 box, worked out here.
std::string expectedSize(double w, double h) {
    if (w * 600 >= h * 800) return "800 " + std::to_string(std::lround(800 * h / w));
    return std::to_string(std::lround(600 * w / h)) + " 600";
}

// RGB samples of an image box-averaged to 80 x 60.
std::string thumbnail(const std::string& image) {
    return run("convert " + quoted(image) + " -scale 80x60! -depth 8 rgb:-");
}

double meanAbsoluteDifference(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.empty()) return 255;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += std::abs(int(static_cast<unsigned char>(a[i])) - int(static_cast<unsigned char>(b[i])));
    return sum / static_cast<double>(a.size());
}

std::string renderPage(const std::string& pdf, int page, const std::string& size, const std::string& outBase) {
    const auto space = size.find(' ');
    const std::string p = std::to_string(page);
    run("pdftoppm -png -singlefile -f " + p + " -l " + p + " -scale-to-x " + size.substr(0, space) +
        " -scale-to-y " + size.substr(space + 1) + " " + quoted(pdf) + " " + quoted(outBase));
    return outBase + ".png";
}

TEST(OfficeFidelity, SlidesMatchLibreOfficesOwnPdfExport) {
    TempDir dir;
    const std::string decks = dir / "decks", pdfs = dir / "pdf";
    std::vector<std::string> templates;
    for (const char* t : kTemplates)
        templates.push_back(std::string("/usr/lib/libreoffice/share/template/common/presnt/") + t + ".otp");
    convert("ppt", templates, decks, dir / "profile");
    convert("pps", templates, dir / "pps", dir / "profile");
    std::vector<std::string> files;
    for (const char* t : kTemplates) {
        files.push_back(decks + "/" + t + ".ppt");
        // The show copy gets a name of its own so that its PDF does not
        // overwrite the .ppt's.
        files.push_back(decks + "/" + t + ".show.pps");
        std::filesystem::rename(dir / "pps/" + t + ".pps", files.back());
    }
    for (const char* c : kCorpusDecks) files.push_back(corpus(c));
    convert("pdf", files, pdfs, dir / "profile");

    auto session = std::make_shared<OfficeSession>(OfficeProcess::start(OfficeSettings::fromEnvironment()));
    for (const auto& file : files) {
        const std::string stem = std::filesystem::path(file).stem().string();
        const std::string pdf = pdfs + "/" + stem + ".pdf";
        SCOPED_TRACE(stem);
        const int pages = pdfPages(pdf);
        ASSERT_GT(pages, 0) << "LibreOffice wrote no PDF of " << file;
        const std::string out = dir / ("bmp-" + stem);
        SlideDeck deck(session, file);
        EXPECT_EQ(deck.slideCount(), pages);
        deck.exportSlides(out, "BMP", 800, 600);
        deck.close();
        std::vector<std::string> thumbs, pageThumbs;
        for (int i = 1; i <= std::min(pages, kComparedSlides); ++i) {
            const std::string bmp = out + "/Slide" + std::to_string(i) + ".BMP";
            auto [w, h] = pdfPageSize(pdf, i);
            const std::string size = expectedSize(w, h);
            EXPECT_EQ(run("identify -format '%m %w %h %C %[channels]' " + quoted(bmp)), "BMP3 " + size + " None srgb")
                << "slide " << i;
            std::ifstream in(bmp, std::ios::binary);
            std::string head(54, '\0');
            in.read(head.data(), 54);
            EXPECT_EQ(head[28], 24) << "slide " << i << ": bits per pixel";
            thumbs.push_back(thumbnail(bmp));
            EXPECT_NE(thumbs.back().find_first_not_of(thumbs.back().substr(0, 3)), std::string::npos)
                << "slide " << i << " is blank";
            pageThumbs.push_back(thumbnail(renderPage(pdf, i, size, dir / (stem + "-page"))));
            const double d = meanAbsoluteDifference(thumbs.back(), pageThumbs.back());
            EXPECT_LT(d, kLikenessThreshold) << "slide " << i << " differs from page " << i << " by " << d;
        }
        // The measure tells slides apart: slide 1 against page 2 fails
        // where the slides differ.
        if (stem == "robot_overview_Hebrew" || stem == "iisd_report") {
            const double d = meanAbsoluteDifference(thumbs[0], pageThumbs[1]);
            EXPECT_GT(d, kLikenessThreshold) << "slide 1 against page 2 measures only " << d;
        }
    }
}

}  // namespace
