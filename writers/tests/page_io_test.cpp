// The output-document operations: documents built from slide images that
// ImageMagick draws, the life cycle of TPageIO, and what a failing disk or
// an abandoned run leaves behind (never a broken or half-replaced file).
#include <gtest/gtest.h>


#include "pressmark/imaging/errors.h"
#include "pressmark/writers/page_io.h"
#include "test_support.h"

namespace pressmark {
namespace {

using test::TempDir;

// Slide-like BMPs drawn by ImageMagick (gradient, red title bar, text), made
// once for the suite.
class PageIOTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        slides_ = std::make_unique<TempDir>();
        const char* draws[] = {
            "gradient:navy-white -fill red -draw 'rectangle 0,0 800,90' -fill yellow -pointsize 48 "
            "-annotate +40+70 'Quarterly results'",
            "plasma:fractal -seed 7 -fill white -draw 'rectangle 100,200 700,260'",
            "xc:white -fill black -pointsize 36 -annotate +60+300 'Thank you' -fill blue -draw 'circle 600,450 650,500'",
        };
        int n = 1;
        for (const char* draw : draws) {
            const std::string path = *slides_ / ("Slide" + std::to_string(n++) + ".BMP");
            std::string output;
            ASSERT_EQ(test::Run("convert -size 800x600 " + std::string(draw) + " -type TrueColor BMP3:'" + path + "'",
                                &output),
                      0)
                << output;
            paths_.push_back(path);
        }
    }
    static void TearDownTestSuite() { slides_.reset(); }

    // The slide as ImageMagick reads it (independent of our BMP reader).
    static std::vector<test::Rgb> Reference(const std::string& bmp, const TempDir& dir) {
        const std::string ppm = dir / "reference.ppm";
        EXPECT_EQ(test::Run("convert '" + bmp + "' -depth 8 ppm:'" + ppm + "'"), 0);
        return test::ReadPPM(ppm).pixels;
    }

    static inline std::unique_ptr<TempDir> slides_;
    static inline std::vector<std::string> paths_;
};

// Three slides into a PDF and a PostScript document; every page comes back
// pixel for pixel through mupdf and ghostscript.
TEST_F(PageIOTest, SlidesBecomePagesInBothFormats) {
    TempDir out;
    TRasterImage image(locMemory);
    TPageIO io(&image);
    io.Params.PDFPaperWidth = io.Params.PSPaperWidth = 800;
    io.Params.PDFPaperHeight = io.Params.PSPaperHeight = 600;

    const std::string pdf = out / "Talk.pdf", ps = out / "Talk.ps";
    io.CreatePDFFile(pdf);
    io.CreatePSFile(ps);
    for (const auto& slide : paths_) {
        io.LoadImageFile(slide);
        io.Params.PDFCompression = 5;  // LZW
        io.AppendPDFPage();
        io.Params.PSCompression = 0;  // run-length
        io.AppendPSPage();
    }
    EXPECT_FALSE(std::filesystem::exists(pdf)) << "the PDF appears only when complete";
    io.ClosePDFFile();
    io.ClosePDFFile();  // a second close does nothing
    io.ClosePSFile();
    EXPECT_EQ(out.Files(), (std::vector<std::string>{"Talk.pdf", "Talk.ps"}));

    std::string output;
    EXPECT_EQ(test::Run("qpdf --check '" + pdf + "'", &output), 0) << output;
    EXPECT_NE(output.find("PDF Version: 1.4"), std::string::npos);
    EXPECT_NE(test::ReadFile(ps).find("%%Pages: 3     \r\n"), std::string::npos);
    for (int page = 1; page <= 3; ++page) {
        const auto expected = Reference(paths_[page - 1], out);
        for (const auto& [document, renderer] : {std::pair{pdf, test::Renderer::MuPDF},
                                                 std::pair{ps, test::Renderer::Ghostscript}}) {
            SCOPED_TRACE(document + " page " + std::to_string(page));
            std::string log;
            const auto picture = test::Render(renderer, document, page, out / "render", 800, 600, &log);
            ASSERT_EQ(picture.width, 800) << log;
            EXPECT_EQ(test::Compare(picture.pixels, expected).differing, 0u);
        }
    }
}

// An image in another layout is converted on the attached image itself.
TEST_F(PageIOTest, AppendConvertsTheAttachedImage) {
    TempDir out;
    TRasterImage image(locMemory);
    image.Allocate(3, 2, plGray8);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) image.RowAddress(y)[x] = static_cast<std::uint8_t>(40 * (x + 3 * y));
    TPageIO io(&image);
    io.CreatePDFFile(out / "gray.pdf");
    io.AppendPDFPage();
    EXPECT_EQ(image.PixelLayout(), plRGB24);
    EXPECT_EQ(image.RowAddress(1)[3 * 2 + 2], 200);
    io.ClosePDFFile();
}

TEST_F(PageIOTest, DestructionFinishesOpenDocuments) {
    TempDir out;
    TRasterImage image(locMemory);
    {
        TPageIO io(&image);
        io.LoadImageFile(paths_[0]);
        io.CreatePDFFile(out / "a.pdf");
        io.CreatePSFile(out / "a.ps");
        io.AppendPDFPage();
        io.AppendPSPage();
    }
    EXPECT_EQ(out.Files(), (std::vector<std::string>{"a.pdf", "a.ps"}));
    EXPECT_EQ(test::Run("qpdf --check '" + out / "a.pdf" + "'"), 0);
    EXPECT_TRUE(test::ReadFile(out / "a.ps").ends_with("%%Trailer\r\nend\r\n%%EOF\r\n"));
}

TEST_F(PageIOTest, LoadImageFileChoosesByExtension) {
    TempDir dir;
    TRasterImage image(locMemory);
    TPageIO io(&image);
    io.LoadImageFile(paths_[1]);  // "*.BMP": any case
    ASSERT_EQ(image.Width(), 800);
    const auto before = test::PixelsOf(image);

    ASSERT_EQ(test::Run("cp '" + paths_[0] + "' '" + dir / "slide.png" + "'"), 0);
    io.LoadImageFile(dir / "slide.png");  // no reader claims it: nothing happens
    io.LoadImageFile(dir / "missing.txt");
    EXPECT_EQ(test::PixelsOf(image), before);

    // A file that is not a BMP at all is an error naming it; the image keeps
    // the previous slide rather than passing it off as this one.
    test::WriteFile(dir / "broken.bmp", std::vector<std::uint8_t>(100, 'x'));
    try {
        io.LoadImageFile(dir / "broken.bmp");
        ADD_FAILURE() << "no error";
    } catch (const BadInputError& e) {
        EXPECT_EQ(e.file(), dir / "broken.bmp");
    }
    EXPECT_EQ(test::PixelsOf(image), before);
    EXPECT_THROW(io.LoadImageFile(dir / "absent.bmp"), ReadError);
}

TEST_F(PageIOTest, AppendWithoutImageDoesNothing) {
    TempDir out;
    TPageIO io;
    io.CreatePSFile(out / "empty.ps");
    io.AppendPSPage();
    io.ClosePSFile();
    EXPECT_NE(test::ReadFile(out / "empty.ps").find("%%Pages: 0     \r\n"), std::string::npos);
}

TEST_F(PageIOTest, ProgressReportsThePageIO) {
    TempDir out;
    TRasterImage image(locMemory);
    TPageIO io(&image);
    io.LoadImageFile(paths_[0]);
    std::vector<int> seen;
    io.OnProgress = [&](void* sender, int percent) {
        EXPECT_EQ(sender, &io);
        seen.push_back(percent);
    };
    io.CreatePSFile(out / "p.ps");
    io.Params.PSCompression = 3;
    io.AppendPSPage();
    io.ClosePSFile();
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GE(seen.back(), 99);
}

// A document file that takes `limit` bytes in all and then fewer than
// offered, like a disk that fills up, in front of the real output file.
// `used` counts the bytes taken.
class FillingDisk final : public DocumentFile {
public:
    FillingDisk(const std::string& name, std::uint64_t limit, std::uint64_t* used = nullptr)
        : inner_(name), limit_(limit), used_(used) {}
    std::size_t write(std::span<const std::uint8_t> bytes) override {
        const std::size_t taken = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), limit_ - total_));
        total_ += taken;
        if (used_) *used_ = total_;
        return inner_.write(bytes.first(taken));
    }
    std::uint64_t position() const override { return inner_.position(); }
    void seek(std::uint64_t position) override { inner_.seek(position); }
    std::size_t read(std::span<std::uint8_t> bytes) override { return inner_.read(bytes); }
    const std::string& name() const noexcept override { return inner_.name(); }
    void commit() override { inner_.commit(); }
    void abandon() noexcept override { inner_.abandon(); }

private:
    OutputFile inner_;
    std::uint64_t limit_;
    std::uint64_t* used_;
    std::uint64_t total_ = 0;
};

// Runs create, append, append, close on `target` through `factory`;
// answers the step (0 to 3) that raised WriteError, or -1.
int RunDocument(const std::string& target, bool pdf, const std::string& slide, const TPageIO::TFileFactory& factory,
                const std::function<void(int)>& afterStep = {}) {
    TRasterImage image(locMemory);
    TPageIO io(&image);
    io.LoadImageFile(slide);
    io.Params.PSCompression = 0;
    io.FileFactory = factory;
    const std::function<void()> steps[] = {
        [&] { pdf ? io.CreatePDFFile(target) : io.CreatePSFile(target); },
        [&] { pdf ? io.AppendPDFPage() : io.AppendPSPage(); },
        [&] { pdf ? io.AppendPDFPage() : io.AppendPSPage(); },
        [&] { pdf ? io.ClosePDFFile() : io.ClosePSFile(); },
    };
    for (int step = 0; step < 4; ++step) {
        try {
            steps[step]();
            if (afterStep) afterStep(step);
        } catch (const WriteError& e) {
            EXPECT_EQ(e.file(), target);
            // The PostScript document is left to the destructor, which must
            // drop it quietly.
            if (pdf) io.AbandonPDFFile();
            return step;
        }
    }
    return -1;
}

// Whatever step the disk fills up at, the error names the document, the
// earlier document under that name survives untouched, and no temporary
// file is left in the folder (not even after the TPageIO is destroyed).
TEST_F(PageIOTest, FullDiskNeverLeavesABrokenDocument) {
    for (const bool pdf : {true, false}) {
        // Where each step ends, in bytes taken by the disk.
        std::uint64_t after[4] = {};
        {
            TempDir probe;
            std::uint64_t used = 0;
            EXPECT_EQ(RunDocument(
                          probe / "probe", pdf, paths_[0],
                          [&](const std::string& name) { return std::make_unique<FillingDisk>(name, ~0ull, &used); },
                          [&](int step) { after[step] = used; }),
                      -1);
        }
        for (int failing = 0; failing < 4; ++failing) {
            const std::uint64_t before = failing == 0 ? 0 : after[failing - 1];
            if (after[failing] == before) continue;  // the step writes nothing (PDF pages)
            SCOPED_TRACE(std::string(pdf ? "PDF" : "PS") + " disk full in step " + std::to_string(failing));
            TempDir out;
            const std::string target = out / (pdf ? "Talk.pdf" : "Talk.ps");
            test::WriteFile(target, std::vector<std::uint8_t>{'o', 'l', 'd'});
            const std::uint64_t limit = before + (after[failing] - before) / 2;
            std::uint64_t used = 0;
            EXPECT_EQ(RunDocument(target, pdf, paths_[0],
                                  [&](const std::string& name) { return std::make_unique<FillingDisk>(name, limit, &used); }),
                      failing);
            EXPECT_TRUE(test::ReadFile(target) == "old");
            EXPECT_EQ(out.Files(), std::vector<std::string>{pdf ? "Talk.pdf" : "Talk.ps"});
        }
    }
}

// A PostScript page whose writing failed leaves the document broken: later
// appends and the close refuse it rather than produce a corrupt file.
TEST_F(PageIOTest, BrokenPostScriptDocumentIsNotSaved) {
    TempDir out;
    TRasterImage image(locMemory);
    TPageIO io(&image);
    io.LoadImageFile(paths_[0]);
    io.FileFactory = [](const std::string& name) { return std::make_unique<FillingDisk>(name, 3000); };
    io.CreatePSFile(out / "x.ps");
    EXPECT_THROW(io.AppendPSPage(), WriteError);
    EXPECT_THROW(io.AppendPSPage(), WriteError);
    EXPECT_THROW(io.ClosePSFile(), WriteError);
    EXPECT_FALSE(io.PSFileOpen());
    EXPECT_TRUE(out.Files().empty());
}

// Abandoning (the driver's abort) keeps an earlier document as it was.
TEST_F(PageIOTest, AbandonKeepsTheEarlierDocument) {
    TempDir out;
    TRasterImage image(locMemory);
    TPageIO io(&image);
    io.LoadImageFile(paths_[2]);
    for (const bool pdf : {true, false}) {
        const std::string target = out / (pdf ? "a.pdf" : "a.ps");
        test::WriteFile(target, std::vector<std::uint8_t>{'o', 'l', 'd'});
        pdf ? io.CreatePDFFile(target) : io.CreatePSFile(target);
        pdf ? io.AppendPDFPage() : io.AppendPSPage();
        pdf ? io.AbandonPDFFile() : io.AbandonPSFile();
        EXPECT_EQ(test::ReadFile(target), "old");
    }
    EXPECT_EQ(out.Files(), (std::vector<std::string>{"a.pdf", "a.ps"}));
}

TEST_F(PageIOTest, CreateInMissingFolderNamesTheFile) {
    TempDir out;
    TPageIO io;
    const std::string target = out / "no/such/folder/Talk.pdf";
    try {
        io.CreatePDFFile(target);
        ADD_FAILURE() << "no error";
    } catch (const WriteError& e) {
        EXPECT_EQ(e.file(), target);
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(io.PDFFileOpen());
}

// A real write failure from the system (the file size limit standing in for
// a full disk) surfaces from the output file itself.
TEST(OutputFile, SystemWriteFailureRemovesTheTemporaryFile) {
    TempDir out;
    const std::string target = out / "big.ps";
    test::WriteFile(target, std::vector<std::uint8_t>{'o', 'l', 'd'});
    {
        test::FileSizeLimit limit(100'000);
        ASSERT_TRUE(limit.active());
        try {
            OutputFile file(target);
            const std::vector<std::uint8_t> block(40'000, 'x');
            for (int i = 0; i < 10; ++i) WriteAll(file, block);
            file.commit();
            ADD_FAILURE() << "no error";
        } catch (const WriteError& e) {
            EXPECT_EQ(e.file(), target);
            EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(test::ReadFile(target), "old");
    EXPECT_EQ(out.Files(), std::vector<std::string>{"big.ps"});
}

TEST(OutputFile, SeekReadAndCommit) {
    TempDir out;
    const std::string target = out / "f.txt";
    OutputFile file(target);
    WriteAll(file, "hello world");
    file.seek(6);
    std::uint8_t back[5];
    EXPECT_EQ(file.read(back), 5u);
    EXPECT_EQ(std::string(back, back + 5), "world");
    file.seek(0);
    WriteAll(file, "HELLO");
    file.seek(11);
    WriteAll(file, "!");
    EXPECT_FALSE(std::filesystem::exists(target));
    file.commit();
    EXPECT_EQ(test::ReadFile(target), "HELLO world!");
    EXPECT_EQ(out.Files(), std::vector<std::string>{"f.txt"});
}

}  // namespace
}  // namespace pressmark
