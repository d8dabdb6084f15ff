#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "../../core/tests/support/test_files.h"
#include "cli_options.h"

namespace pressmark::cli {
namespace {

using pressmark::testing::Quoted;
using pressmark::testing::RunCommand;
using pressmark::testing::ScratchFolder;

TEST(CommandLine, ConvertOptionsAreParsed) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        TOutputFormat format;
        int paper, compression;
        std::string output;
        TProgressStyle progress;
    };
    const Case cases[] = {
        {"defaults", {"a.ppt"}, TOutputFormat::PDF, 4, 0, "", TProgressStyle::Auto},
        {"long options",
         {"a.ppt", "b.pps", "--format", "pdf", "--paper", "A4", "--compression", "jpeg", "--output", "out/"},
         TOutputFormat::PDF, 4, 3, "out/", TProgressStyle::Auto},
        {"short options", {"-f", "ps", "-p", "letter", "-c", "g4", "-o", "x", "deck.odp"},
         TOutputFormat::PostScript, 8, 2, "x", TProgressStyle::Auto},
        {"item texts and case", {"A.PPTX", "--paper=Legal", "--compression=G3Fax", "--format=PostScript"},
         TOutputFormat::PostScript, 9, 1, "", TProgressStyle::Auto},
        {"tabloid and plain lines", {"a.ppsx", "-p", "tabloid", "--no-progress-bar"}, TOutputFormat::PDF, 11, 0, "",
         TProgressStyle::Lines},
        {"quiet", {"a.ppt", "-q"}, TOutputFormat::PDF, 4, 0, "", TProgressStyle::Quiet},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto request = ParseCommandLine(c.args);
        ASSERT_EQ(request.Mode, TCliMode::Convert) << request.Message;
        EXPECT_EQ(request.Format, c.format);
        EXPECT_EQ(request.PaperIndex, c.paper);
        EXPECT_EQ(request.CompressionIndex, c.compression);
        EXPECT_EQ(request.Output, c.output);
        EXPECT_EQ(request.Progress, c.progress);
    }
    const auto two = ParseCommandLine({"deck1.ppt", "deck2.pps", "-o", "out"});
    EXPECT_EQ(two.Inputs, (std::vector<std::string>{"deck1.ppt", "deck2.pps"}));
}

TEST(CommandLine, ImagesModeTakesFilesFoldersAndInfersTheFormat) {
    const auto pdf = ParseCommandLine({"images", "a.bmp", "dir", "-o", "out.pdf", "--paper", "letter", "-c", "g4"});
    ASSERT_EQ(pdf.Mode, TCliMode::Images) << pdf.Message;
    EXPECT_EQ(pdf.Inputs, (std::vector<std::string>{"a.bmp", "dir"}));
    EXPECT_EQ(pdf.Format, TOutputFormat::PDF);
    EXPECT_EQ(pdf.PaperIndex, 8);
    EXPECT_EQ(pdf.CompressionIndex, 2);
    EXPECT_EQ(ParseCommandLine({"images", "a.bmp", "-o", "out.PS"}).Format, TOutputFormat::PostScript);
    EXPECT_EQ(ParseCommandLine({"images", "a.bmp", "-o", "out.ps", "-f", "pdf"}).Format, TOutputFormat::PDF);
}

TEST(CommandLine, BadUsageIsExitTwoWithAReason) {
    struct Case { const char* name; std::vector<std::string> args; const char* says; };
    const Case cases[] = {
        {"unknown paper", {"a.ppt", "--paper", "A7"}, "A7"},
        {"unknown compression", {"a.ppt", "-c", "lzw"}, "lzw"},
        {"unknown format", {"a.ppt", "-f", "tiff"}, "tiff"},
        {"no presentation", {"-o", "out"}, "no presentation"},
        {"not a presentation", {"notes.txt"}, "notes.txt"},
        {"images without output", {"images", "a.bmp"}, "--output"},
        {"unknown option", {"a.ppt", "--colour"}, "--colour"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto request = ParseCommandLine(c.args);
        EXPECT_EQ(request.Mode, TCliMode::Exit);
        EXPECT_EQ(request.ExitCode, 2);
        EXPECT_NE(request.Message.find(c.says), std::string::npos) << request.Message;
    }
}

TEST(CommandLine, HelpNamesEveryPaperAndCompression) {
    const auto help = ParseCommandLine({"--help"});
    ASSERT_EQ(help.Mode, TCliMode::Exit);
    EXPECT_EQ(help.ExitCode, 0);
    for (const char* name : {"A0", "A1", "A2", "A3", "A4", "A5", "A6", "B5", "letter", "legal", "ledger", "11x17",
                             "rle", "g3", "g4", "jpeg", "--format", "--output", "images", ".odp", ".ppsx"})
        EXPECT_NE(help.Message.find(name), std::string::npos) << name;
    const auto imagesHelp = ParseCommandLine({"images", "--help"});
    EXPECT_NE(imagesHelp.Message.find("BMP"), std::string::npos) << imagesHelp.Message;
}

// The program itself: the images mode writes one PDF page per BMP, in slide
// order for a folder, that qpdf and poppler accept; a bad image is an error
// with the file named and leaves no document.
TEST(CommandLine, ImagesModeWritesAValidDocument) {
    ScratchFolder dir;
    std::filesystem::create_directory(dir / "slides");
    for (const char* name : {"Slide10.BMP", "Slide2.bmp", "Slide1.BMP"})
        pressmark::testing::WriteBmp(dir / "slides" / name, 80, 60);
    pressmark::testing::WriteBmp(dir / "extra.bmp", 40, 30);
    const auto out = dir / "out.pdf";
    const auto run = RunCommand(std::string(SLIDEPRESS_CLI) + " images " + Quoted(dir / "slides") + " " +
                                Quoted(dir / "extra.bmp") + " -o " + Quoted(out) + " -p letter -c g4 2>&1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(pressmark::testing::QpdfAccepts(out));
    EXPECT_EQ(pressmark::testing::PdfPageCount(out), 4);
    const auto sizes = RunCommand("pdfinfo -f 1 -l 4 " + Quoted(out));
    EXPECT_NE(sizes.output.find("612 x 792 pts"), std::string::npos) << sizes.output;

    pressmark::testing::WriteText(dir / "broken.bmp", "not an image");
    const auto bad = dir / "bad.ps";
    const auto failed = RunCommand(std::string(SLIDEPRESS_CLI) + " images " + Quoted(dir / "extra.bmp") + " " +
                                   Quoted(dir / "broken.bmp") + " -o " + Quoted(bad) + " 2>&1");
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.output.find("broken.bmp"), std::string::npos) << failed.output;
    EXPECT_FALSE(std::filesystem::exists(bad));
}

}  // namespace
}  // namespace pressmark::cli

namespace pressmark::cli {
namespace {

// The whole chain: command line, driver, control host, Slideport.OCX and the
// office module converting a real two-slide deck. Needs both modules in the
// build's registry (the build registers them); skipped with a note otherwise.
TEST(CommandLine, ConvertsACorpusDeckEndToEnd) {
    const std::filesystem::path registry = std::filesystem::path(PRESSMARK_BINARY_DIR) / "classes.reg";
    std::string classes;
    if (std::ifstream in{registry}) classes.assign(std::istreambuf_iterator<char>(in), {});
    for (const char* needed : {"3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13", "PowerPoint.Application"}) {
        if (classes.find(needed) == std::string::npos)
            GTEST_SKIP() << "the slide control or the office module is not registered in " << registry
                         << " (build with PRESSMARK_BUILD_CONTROL and PRESSMARK_BUILD_OFFICE on)";
    }
    ScratchFolder dir;
    const std::filesystem::path corpus = PRESSMARK_CORPUS_DIR;
    // backgrounds.ppt is a deck the office cannot load: it fails, the run goes
    // on, and the exit status says that not every deck was converted.
    const auto run = RunCommand("PRESSMARK_CLASSES_REG=" + Quoted(registry) + " " + SLIDEPRESS_CLI + " " +
                                Quoted(corpus / "backgrounds.ppt") + " " + Quoted(corpus / "basic_test_ppt_file.ppt") +
                                " --output " + Quoted(dir / "out") + " --paper A4 -c jpeg 2>&1");
    EXPECT_EQ(run.status, 1) << run.output;
    const auto pdf = dir / "out" / "basic_test_ppt_file.pdf";
    EXPECT_TRUE(pressmark::testing::QpdfAccepts(pdf));
    EXPECT_EQ(pressmark::testing::PdfPageCount(pdf), 2);
    EXPECT_TRUE(std::filesystem::exists(dir / "out" / "basic_test_ppt_file" / "Slide2.BMP"));
    EXPECT_NE(run.output.find("1 of 2 presentation(s) converted"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("failed:  " + (corpus / "backgrounds.ppt").string()), std::string::npos) << run.output;
    EXPECT_FALSE(std::filesystem::exists(dir / "out" / "backgrounds.pdf"));
}

}  // namespace
}  // namespace pressmark::cli
