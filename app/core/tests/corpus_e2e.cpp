// Real presentations nobody on the team wrote, through the whole chain
// (driver, control host, Slideport.OCX, the office module) in this process,
// once for each output format and compression. Each document is checked by
// independent programs: qpdf or ghostscript accept it, it has one page per
// slide on the paper asked for, and each page looks like its slide.
//
// Likeness: the page is rendered at 72 dpi (one pixel per point) by poppler
// or ghostscript, its top-left area where the image is drawn is cut out, and
// the slide's BMP (kept in the slide folder) is scaled by ImageMagick to that
// area; both are then halved (so that the renderers' and ImageMagick's
// different scaling filters weigh less than the content on one-pixel text
// strokes) and must agree with a PSNR of at least 20 dB, and better than the
// page agrees with any other, clearly different, slide of the deck (which
// proves the order). 20 dB allows for JPEG and for the filters; the run
// prints the values (23 to 53 dB when written); a wrong, shifted, mirrored
// or swapped image scores far lower. CCITT fax coding applies to
// black-and-white pages only: the slides are in colour, so G3/G4 documents
// carry them in the format's plain coding.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "pressmark/app/conversion.h"
#include "pressmark/app/slide_files.h"
#include "pressmark/app/slideport.h"
#include "support/test_files.h"

namespace pressmark {
namespace {

namespace fs = std::filesystem;
using testing::Quoted;
using testing::RunCommand;
using testing::ScratchFolder;

constexpr double MinimumPsnr = 20.0;

struct TDeck {
    fs::path path;
    std::size_t slides;
};

class QuietSink final : public IProgressSink {};

// Width x height of an image, by ImageMagick.
std::pair<int, int> ImageSize(const fs::path& image) {
    const auto out = RunCommand("identify -format '%w %h' " + Quoted(image) + " 2>/dev/null").output;
    std::istringstream in(out);
    int w = 0, h = 0;
    in >> w >> h;
    return {w, h};
}

// PSNR in dB of two images of equal size, by ImageMagick ("inf" when equal).
double Psnr(const fs::path& a, const fs::path& b) {
    const auto out = RunCommand("compare -metric PSNR " + Quoted(a) + " " + Quoted(b) + " null: 2>&1").output;
    if (out.rfind("inf", 0) == 0) return 1000.0;
    try {
        return std::stod(out);
    } catch (const std::exception&) {
        ADD_FAILURE() << "compare said: " << out;
        return 0.0;
    }
}

// The size an image of w x h is drawn at on a page: scaled uniformly to fit,
// by hand rather than by the writers' own function.
std::pair<int, int> DrawnSize(int w, int h, int paperWidth, int paperHeight) {
    const double scale = std::min(double(paperWidth) / w, double(paperHeight) / h);
    return {std::max(1, int(std::floor(w * scale + 1e-9))), std::max(1, int(std::floor(h * scale + 1e-9)))};
}

// Page images at 72 dpi, in page order.
// PostScript has no paper of its own here: it is drawn for the paper asked
// for, so ghostscript renders it on exactly that paper, and an image placed
// for another paper shows up in the likeness check.
std::vector<fs::path> RenderPages(const fs::path& document, TOutputFormat format, const fs::path& folder,
                                  int paperWidth, int paperHeight) {
    fs::create_directories(folder);
    const std::string command =
        format == TOutputFormat::PDF
            ? "pdftoppm -r 72 -png " + Quoted(document) + " " + Quoted(folder / "page")
            : "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r72 -dFIXEDMEDIA -dDEVICEWIDTHPOINTS=" +
                  std::to_string(paperWidth) + " -dDEVICEHEIGHTPOINTS=" + std::to_string(paperHeight) +
                  " -sOutputFile=" + Quoted(folder / "page-%03d.png") +
                  " " + Quoted(document);
    const auto run = RunCommand(command + " 2>&1");
    EXPECT_EQ(run.status, 0) << command << "\n" << run.output;
    std::vector<fs::path> pages;
    for (const auto& entry : fs::directory_iterator(folder)) pages.push_back(entry.path());
    std::sort(pages.begin(), pages.end(),
              [](const fs::path& a, const fs::path& b) { return SlideOrderLess(a.filename().string(), b.filename().string()); });
    return pages;
}

// MediaBox of every page of a PDF as "W x H", by poppler's pdfinfo.
std::vector<std::string> PdfMediaBoxes(const fs::path& pdf, std::size_t pages) {
    const auto out =
        RunCommand("pdfinfo -box -f 1 -l " + std::to_string(pages) + " " + Quoted(pdf) + " 2>/dev/null").output;
    std::vector<std::string> boxes;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const auto at = line.find("MediaBox:");
        if (at == std::string::npos) continue;
        std::istringstream box(line.substr(at + 9));
        double x0, y0, x1, y1;
        box >> x0 >> y0 >> x1 >> y1;
        boxes.push_back(std::to_string(std::lround(x1 - x0)) + " x " + std::to_string(std::lround(y1 - y0)));
    }
    return boxes;
}

class CorpusConversion : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const fs::path registry = fs::path(PRESSMARK_BINARY_DIR) / "classes.reg";
        std::string classes;
        if (std::ifstream in{registry}) classes.assign(std::istreambuf_iterator<char>(in), {});
        for (const char* needed : {"3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13", "PowerPoint.Application"})
            if (classes.find(needed) == std::string::npos) skipReason_ = "the slide control or the office module is not registered in " + registry.string();
        if (!skipReason_.empty()) return;
        ::setenv("PRESSMARK_CLASSES_REG", registry.c_str(), 1);
        ::unsetenv("DISPLAY");  // the office runs headless, the show stays invisible
        scratch_ = new ScratchFolder;
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }
    void SetUp() override {
        if (!skipReason_.empty()) GTEST_SKIP() << skipReason_ << " (build with PRESSMARK_BUILD_CONTROL and _OFFICE on)";
    }

    // One of LibreOffice's own presentation templates saved as a .ppt by
    // LibreOffice itself, in a profile of its own.
    static fs::path TemplateAsPpt(const std::string& name) {
        const fs::path folder = *scratch_ / "templates";
        const auto run = RunCommand("soffice --headless --norestore -env:UserInstallation=file://" +
                                    (*scratch_ / "profile").string() + " --convert-to ppt --outdir " + Quoted(folder) +
                                    " " + Quoted("/usr/lib/libreoffice/share/template/common/presnt/" + name + ".otp") +
                                    " 2>&1");
        const fs::path ppt = folder / (name + ".ppt");
        EXPECT_TRUE(fs::exists(ppt)) << run.output;
        return ppt;
    }

    // The page count of a PostScript document, by ghostscript.
    static int PsPageCount(const fs::path& ps) {
        const auto run = RunCommand("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=bbox " + Quoted(ps) + " 2>&1");
        int pages = 0;
        std::istringstream in(run.output);
        for (std::string line; std::getline(in, line);) pages += line.rfind("%%BoundingBox", 0) == 0;
        return run.status == 0 ? pages : -1;
    }

    // The document is sound, has one page of the paper's size per slide,
    // and page k looks like slide k more than like any other slide.
    static void CheckDocument(const fs::path& document, TOutputFormat format, const std::vector<fs::path>& slides,
                              int paperWidth, int paperHeight, const fs::path& work) {
        const std::string paper = std::to_string(paperWidth) + " x " + std::to_string(paperHeight);
        if (format == TOutputFormat::PDF) {
            EXPECT_TRUE(testing::QpdfAccepts(document));
            EXPECT_EQ(testing::PdfPageCount(document), static_cast<int>(slides.size()));
            for (const auto& box : PdfMediaBoxes(document, slides.size())) EXPECT_EQ(box, paper);
        } else {
            EXPECT_EQ(PsPageCount(document), static_cast<int>(slides.size()));
        }
        const auto pages = RenderPages(document, format, work, paperWidth, paperHeight);
        ASSERT_EQ(pages.size(), slides.size());
        std::vector<fs::path> scaled, drawn;
        for (std::size_t k = 0; k < slides.size(); ++k) {
            const auto [pw, ph] = ImageSize(pages[k]);
            EXPECT_EQ(std::to_string(pw) + " x " + std::to_string(ph), paper) << "rendered page " << k + 1;
            const auto [w, h] = ImageSize(slides[k]);
            const auto [dw, dh] = DrawnSize(w, h, paperWidth, paperHeight);
            const std::string area = std::to_string(dw) + "x" + std::to_string(dh);
            scaled.push_back(work / ("slide-" + std::to_string(k) + ".png"));
            drawn.push_back(work / ("drawn-" + std::to_string(k) + ".png"));
            RunCommand("convert " + Quoted(slides[k]) + " -resize " + area + "! -resize 50% " + Quoted(scaled.back()));
            RunCommand("convert " + Quoted(pages[k]) + " -crop " + area + "+0+0 +repage -resize 50% " + Quoted(drawn.back()));
        }
        for (std::size_t k = 0; k < slides.size(); ++k) {
            const double own = Psnr(drawn[k], scaled[k]);
            EXPECT_GE(own, MinimumPsnr) << "page " << k + 1 << " against " << slides[k];
            for (std::size_t j = 0; j < slides.size(); ++j) {
                if (j == k || ImageSize(scaled[j]) != ImageSize(scaled[k])) continue;
                if (Psnr(scaled[j], scaled[k]) >= 30.0) continue;  // slides too alike to tell apart
                EXPECT_GT(own, Psnr(drawn[k], scaled[j])) << "page " << k + 1 << " looks more like slide " << j + 1;
            }
        }
        RecordPsnr(document, slides.size(), drawn, scaled);
    }

    // Prints the measure so a run's log shows how close the pages came.
    static void RecordPsnr(const fs::path& document, std::size_t pages, const std::vector<fs::path>& drawn,
                           const std::vector<fs::path>& scaled) {
        std::string values;
        for (std::size_t k = 0; k < pages; ++k) {
            char text[32];
            std::snprintf(text, sizeof text, " %.1f", Psnr(drawn[k], scaled[k]));
            values += text;
        }
        std::printf("%s: PSNR per page (dB):%s\n", document.filename().c_str(), values.c_str());
    }

    static inline std::string skipReason_;
    static inline ScratchFolder* scratch_ = nullptr;
};

TEST_F(CorpusConversion, EveryFormatAndCompressionGivesTheSlidesAsPages) {
    const fs::path corpus = PRESSMARK_CORPUS_DIR;
    const std::vector<TDeck> decks{{corpus / "basic_test_ppt_file.ppt", 2},
                                   {TemplateAsPpt("Beehive"), 0},  // slide count: as many as the office exports
                                   {corpus / "table_test.ppt", 1},
                                   {corpus / "LibreOfficeImpress_odp_1.3.odp", 2}};
    struct Case {
        const char* name;
        TOutputFormat format;
        int compression;  // rle, g3, g4, jpeg
        int paper;
        int paperWidth, paperHeight;  // points, from the paper's definition
    };
    const Case cases[] = {
        {"pdf rle A4", TOutputFormat::PDF, 0, 4, 595, 842},
        {"pdf g3 letter", TOutputFormat::PDF, 1, 8, 612, 792},
        {"pdf g4 ledger", TOutputFormat::PDF, 2, 10, 1224, 792},
        {"pdf jpeg A5", TOutputFormat::PDF, 3, 5, 421, 595},
        {"ps rle A4", TOutputFormat::PostScript, 0, 4, 595, 842},
        {"ps g3 legal", TOutputFormat::PostScript, 1, 9, 612, 1008},
        {"ps g4 A5", TOutputFormat::PostScript, 2, 5, 421, 595},
        {"ps jpeg letter", TOutputFormat::PostScript, 3, 8, 612, 792},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path out = *scratch_ / c.name;
        std::vector<TJob> jobs;
        for (const auto& deck : decks) jobs.push_back(MakeJobs({deck.path.string()}).front());
        TConversionOptions options{c.format, c.paper, c.compression, out.string(), {}};
        QuietSink sink;
        const auto summary = RunConversion(jobs, options, [] { return MakeSlideport(); }, sink);
        EXPECT_EQ(summary.Completed, decks.size());
        for (std::size_t d = 0; d < jobs.size(); ++d) {
            const TJob& job = jobs[d];
            SCOPED_TRACE(job.Name);
            ASSERT_EQ(job.State, TJobState::Completed) << job.Reason;
            const auto slides = ListSlideImages(job.SlideFolder);
            if (decks[d].slides != 0) {
                EXPECT_EQ(slides.size(), decks[d].slides);
            }
            ASSERT_FALSE(slides.empty());
            CheckDocument(job.Document, c.format, slides, c.paperWidth, c.paperHeight, out / (job.Name + ".pages"));
        }
    }
}

}  // namespace
}  // namespace pressmark
