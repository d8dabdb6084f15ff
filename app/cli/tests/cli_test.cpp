#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <optional>
#include <sstream>

#include "../../core/tests/support/test_files.h"
#include "batch.h"
#include "cli_options.h"
#include "console_progress.h"
#include "pressmark/imaging/errors.h"

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

TEST(CommandLine, JobsAreAutomaticUnlessCounted) {
    EXPECT_EQ(ParseCommandLine({"a.ppt"}).Jobs, 0u);
    EXPECT_EQ(ParseCommandLine({"a.ppt", "--jobs", "auto"}).Jobs, 0u);
    EXPECT_EQ(ParseCommandLine({"a.ppt", "-j", "3"}).Jobs, 3u);
    EXPECT_EQ(ParseCommandLine({"a.ppt", "-j", "64"}).Jobs, 64u);
    // One worker per processor, as memory allows, never more than decks,
    // never none.
    constexpr std::uint64_t GiB = 1ull << 30;
    const struct {
        std::size_t processors;
        std::optional<std::uint64_t> memory;
        std::size_t decks;
        unsigned workers;
    } cases[] = {
        {2, 24 * GiB, 8, 2},   {2, 24 * GiB, 1, 1}, {2, 24 * GiB, 0, 1},   {16, 3 * GiB, 40, 6},
        {16, GiB / 4, 40, 1},  {8, std::nullopt, 40, 8}, {256, 1024 * GiB, 1000, 64},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WorkerCountFor(c.processors, c.memory, c.decks), c.workers)
            << c.processors << " processors, " << c.decks << " decks";
    EXPECT_GE(AutomaticWorkerCount(1000), 1u);
    EXPECT_EQ(AutomaticWorkerCount(1), 1u);
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
        {"shard index past the count", {"a.ppt", "--shard", "3/3"}, "3/3"},
        {"shard without a count", {"a.ppt", "--shard", "1"}, "I/N"},
        {"no workers", {"a.ppt", "--jobs", "0"}, "--jobs"},
        {"too many workers", {"a.ppt", "-j", "65"}, "--jobs"},
        {"workers not a number", {"a.ppt", "-j", "all"}, "auto"},
        {"missing list file", {"--list", "/nonexistent/decks.txt"}, "decks.txt"},
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
    EXPECT_EQ(imagesHelp.Message.find("Each presentation"), std::string::npos)
        << "the images mode has its own footer: " << imagesHelp.Message;
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


// What a terminal shows while two decks are converted at a time: one status
// line with both bars, redrawn under each deck's closing line, never wider
// than 79 columns however long the names.
TEST(ConsoleProgress, ConcurrentDecksShareOneStatusLine) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    TConsoleProgress progress(out, TConsoleProgress::Style::Bar);
    TJob talk, longName;
    talk.Name = "talk";
    longName.Name = "Qu\u00e9bec \u00e9t\u00e9 r\u00e9sum\u00e9 of the whole year";
    progress.deckStarted(0, 3, talk);
    progress.deckStarted(1, 3, longName);
    progress.slideWritten(0, 2, 4);
    talk.State = TJobState::Completed;
    talk.PageCount = 4;
    talk.Document = "out/talk.pdf";
    progress.deckFinished(0, talk);
    progress.slideWritten(1, 1, 10);

    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    std::fclose(out);
    std::vector<std::string> screens;  // what each redraw leaves on the line
    for (std::size_t at = 0; (at = text.find("\r\033[K", at)) != std::string::npos; at += 4) {
        const auto end = text.find_first_of("\r\n", at + 4);
        screens.push_back(text.substr(at + 4, end == std::string::npos ? std::string::npos : end - at - 4));
    }
    ASSERT_EQ(screens.size(), 6u) << text;
    EXPECT_EQ(screens[2], "[1/3] talk [####----] 2/4  [2/3] Qu\u00e9bec \u00e9t~ [--------] exporting");
    EXPECT_EQ(screens[3], "[1/3] talk  done, 4 pages -> out/talk.pdf");
    EXPECT_EQ(screens[5], "[2/3] Qu\u00e9bec \u00e9t\u00e9 r\u00e9sum\u00e9 of the whole year [###---------------------------] 1/10");
    for (const auto& screen : screens) {
        const auto columns = std::count_if(screen.begin(), screen.end(),
                                           [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
        EXPECT_LE(columns, 79) << screen;
    }
    EXPECT_NE(text.find("done, 4 pages -> out/talk.pdf\n"), std::string::npos);
}

// Every shard count a scheduler might use splits the list into parts that
// together hold every position exactly once, in list order, evenly.
TEST(Batch, ShardsPartitionTheList) {
    for (const std::size_t count : {0u, 1u, 4u, 11u}) {
        for (const std::size_t shards : {1u, 2u, 3u, 5u}) {
            SCOPED_TRACE(std::to_string(count) + " decks in " + std::to_string(shards) + " shards");
            std::vector<int> seen(count, 0);
            std::size_t smallest = count, largest = 0;
            for (std::size_t i = 0; i < shards; ++i) {
                const auto members = ShardMembers(count, {i, shards});
                EXPECT_TRUE(std::is_sorted(members.begin(), members.end()));
                for (const auto m : members) {
                    ASSERT_LT(m, count);
                    ++seen[m];
                }
                smallest = std::min(smallest, members.size());
                largest = std::max(largest, members.size());
            }
            EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(count));
            EXPECT_LE(largest - std::min(smallest, largest), 1u);
        }
    }
    EXPECT_EQ(ShardMembers(7, {1, 3}), (std::vector<std::size_t>{1, 4}));
}

TEST(Batch, ShardTextIsIndexSlashCount) {
    struct Case { const char* text; bool valid; std::size_t index, count; };
    const Case cases[] = {{"0/1", true, 0, 1},  {"4/5", true, 4, 5}, {"5/5", false, 0, 0}, {"0/0", false, 0, 0},
                          {"-1/3", false, 0, 0}, {"1", false, 0, 0},  {"1/", false, 0, 0},  {"a/b", false, 0, 0},
                          {" 1/2", false, 0, 0}, {"1/2x", false, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto shard = ParseShard(c.text);
        ASSERT_EQ(shard.has_value(), c.valid);
        if (shard) {
            EXPECT_EQ(std::make_pair(shard->Index, shard->Count), std::make_pair(c.index, c.count));
        }
    }
}

// A shard names its decks as a run of the whole list would: the "(2)" rule
// looks at the decks of every shard.
TEST(Batch, ShardsKeepTheNamesOfTheWholeRun) {
    const std::vector<std::string> decks{"x/deck.ppt", "y/deck.pps", "z/deck (2).ppt", "w/talk.ppt", "v/deck.odp"};
    const std::vector<std::string> expected{"deck", "deck (2)", "deck (2) (2)", "talk", "deck (3)"};
    for (const std::size_t shards : {1u, 2u, 3u, 5u}) {
        std::map<std::string, std::string> named;
        for (std::size_t i = 0; i < shards; ++i)
            for (const auto& job : PlanJobs(decks, {i, shards})) named[job.Path] = job.Name;
        ASSERT_EQ(named.size(), decks.size()) << shards << " shards";
        for (std::size_t d = 0; d < decks.size(); ++d) EXPECT_EQ(named[decks[d]], expected[d]) << shards << " shards";
    }
}

TEST(Batch, ListFileSkipsCommentsAndBlanks) {
    ScratchFolder dir;
    pressmark::testing::WriteText(dir / "decks.txt",
                                  "# talks of the week\n/a/one.ppt\n\n   \n  /b/two words.pps  \r\n  # old\nrel/three.odp");
    EXPECT_EQ(ReadListFile((dir / "decks.txt").string()),
              (std::vector<std::string>{"/a/one.ppt", "/b/two words.pps", "rel/three.odp"}));
    try {
        ReadListFile((dir / "none.txt").string());
        FAIL() << "a missing list file was read";
    } catch (const ReadError& e) {
        EXPECT_NE(std::string(e.what()).find("none.txt"), std::string::npos) << e.what();
    }
}

// The program with a list file and every shard of 1, 2, 3 and 5: the dry
// runs together name every deck exactly once, with the document a single
// run would write.
TEST(CommandLine, ShardedDryRunsCoverTheListOnce) {
    ScratchFolder dir;
    std::filesystem::create_directories(dir / "a");
    std::filesystem::create_directories(dir / "b");
    std::string list = "# decks\n";
    for (const char* deck : {"a/deck.ppt", "b/deck.ppt", "a/talk.odp", "b/intro.pps", "a/x.pptx", "b/talk.ppt", "a/y.ppt"}) {
        pressmark::testing::WriteText(dir / deck, "presentation");
        list += (dir / deck).string() + "\n";
    }
    pressmark::testing::WriteText(dir / "list.txt", list);
    const auto plan = [&](const std::string& shard) {
        const auto run = RunCommand(std::string(SLIDEPRESS_CLI) + " --dry-run --list " + Quoted(dir / "list.txt") +
                                    " -o /out --shard " + shard + " 2>&1");
        EXPECT_EQ(run.status, 0) << run.output;
        std::vector<std::string> lines;
        std::istringstream in(run.output);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    };
    const auto whole = plan("0/1");
    ASSERT_EQ(whole.size(), 7u);
    EXPECT_EQ(whole[1], (dir / "b/deck.ppt").string() + "\t/out/deck (2).pdf");
    EXPECT_EQ(whole[5], (dir / "b/talk.ppt").string() + "\t/out/talk (2).pdf");
    for (const int shards : {2, 3, 5}) {
        std::multiset<std::string> together;
        for (int i = 0; i < shards; ++i)
            for (const auto& line : plan(std::to_string(i) + "/" + std::to_string(shards))) together.insert(line);
        EXPECT_EQ(together, std::multiset<std::string>(whole.begin(), whole.end())) << shards << " shards";
    }
}
}  // namespace
}  // namespace pressmark::cli

namespace pressmark::cli {
namespace {

// The whole chain: command line, driver, control host, Slideport.OCX and the
// office module converting real decks. Needs both modules in the build's
// registry (the build registers them); skipped with a note otherwise.
class OfficeCommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        std::string classes;
        if (std::ifstream in{registry}) classes.assign(std::istreambuf_iterator<char>(in), {});
        for (const char* needed : {"3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13", "PowerPoint.Application"}) {
            if (classes.find(needed) == std::string::npos)
                GTEST_SKIP() << "the slide control or the office module is not registered in " << registry
                             << " (build with PRESSMARK_BUILD_CONTROL and PRESSMARK_BUILD_OFFICE on)";
        }
    }
    pressmark::testing::CommandResult Convert(const std::vector<std::filesystem::path>& decks, const std::string& options) {
        std::string command = "PRESSMARK_CLASSES_REG=" + Quoted(registry) + " " + SLIDEPRESS_CLI;
        for (const auto& deck : decks) command += " " + Quoted(deck);
        return RunCommand(command + " " + options + " 2>&1");
    }
    // The document's bytes without its creation date, the one part that
    // differs between two runs.
    static std::string Masked(const std::filesystem::path& document) {
        std::ifstream in(document, std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(in), {});
        const std::string pdf = std::regex_replace(bytes, std::regex(R"(D:\d{14}[^)]*)"), "D:date");
        return std::regex_replace(pdf, std::regex("%%CreationDate: [^\r\n]*"), "%%CreationDate:");
    }
    const std::filesystem::path registry = std::filesystem::path(PRESSMARK_BINARY_DIR) / "classes.reg";
    const std::filesystem::path corpus = PRESSMARK_CORPUS_DIR;
    ScratchFolder dir;
};

// A missing deck, one that is not a presentation at all and one the office
// cannot load, between good decks: the good ones are converted, each bad one
// fails with its file and reason named, no document of theirs is left, and
// the exit status says that not every deck was converted.
TEST_F(OfficeCommandLine, BadDecksFailAloneBetweenGoodOnes) {
    pressmark::testing::WriteText(dir / "corrupt.ppt", "this is no presentation");
    const auto missing = dir / "missing.ppt";
    const auto run = Convert({corpus / "basic_test_ppt_file.ppt", missing, dir / "corrupt.ppt",
                              corpus / "LibreOfficeImpress_odp_1.3.odp", corpus / "backgrounds.ppt",
                              corpus / "testPPT.ppt"},
                             "--output " + Quoted(dir / "out") + " --paper A4 -c jpeg --no-progress-bar");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("3 of 6 presentation(s) converted"), std::string::npos) << run.output;
    for (const auto& [good, pages] : {std::pair{"basic_test_ppt_file", 2}, {"LibreOfficeImpress_odp_1", 2}, {"testPPT", 1}}) {
        const auto pdf = dir / "out" / (std::string(good) + ".pdf");
        EXPECT_TRUE(pressmark::testing::QpdfAccepts(pdf)) << good;
        EXPECT_EQ(pressmark::testing::PdfPageCount(pdf), pages) << good;
    }
    EXPECT_NE(run.output.find("failed:  " + missing.string() + ": \"" + missing.string() + "\": no such presentation file"),
              std::string::npos) << run.output;
    for (const auto& bad : {dir / "corrupt.ppt", corpus / "backgrounds.ppt"})
        EXPECT_NE(run.output.find("failed:  " + bad.string() + ": "), std::string::npos) << run.output;
    for (const char* name : {"missing", "corrupt", "backgrounds"}) {
        EXPECT_FALSE(std::filesystem::exists(dir / "out" / (std::string(name) + ".pdf"))) << name;
        EXPECT_FALSE(std::filesystem::exists(dir / "out" / name)) << name;
    }
}

// Two decks at a time give the very documents one at a time gives, under
// the same names, and the progress lines name their deck.
TEST_F(OfficeCommandLine, ParallelJobsWriteTheSameDocuments) {
    std::filesystem::create_directories(dir / "again");
    std::filesystem::copy_file(corpus / "basic_test_ppt_file.ppt", dir / "again" / "basic_test_ppt_file.ppt");
    const std::vector<std::filesystem::path> decks{corpus / "basic_test_ppt_file.ppt", corpus / "testPPT.ppt",
                                                   dir / "again" / "basic_test_ppt_file.ppt"};
    const auto one = Convert(decks, "-o " + Quoted(dir / "one") + " -f ps -c rle --jobs 1 --no-progress-bar");
    ASSERT_EQ(one.status, 0) << one.output;
    const auto two = Convert(decks, "-o " + Quoted(dir / "two") + " -f ps -c rle --jobs 2 --no-progress-bar");
    ASSERT_EQ(two.status, 0) << two.output;
    for (const char* name : {"basic_test_ppt_file.ps", "testPPT.ps", "basic_test_ppt_file (2).ps"}) {
        ASSERT_TRUE(std::filesystem::exists(dir / "one" / name)) << name;
        EXPECT_TRUE(Masked(dir / "one" / name) == Masked(dir / "two" / name)) << name << " differs";
    }
    EXPECT_NE(two.output.find("basic_test_ppt_file (2): "), std::string::npos) << two.output;
}

}  // namespace
}  // namespace pressmark::cli
