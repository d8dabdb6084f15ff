// The conversion driver against a fake slide exporter that writes BMP files
// the way the presentation application does (one SlideN.BMP per slide).
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "pressmark/app/conversion.h"
#include "pressmark/imaging/errors.h"
#include "support/test_files.h"

namespace pressmark {
namespace {

namespace fs = std::filesystem;
using testing::PdfPageCount;
using testing::QpdfAccepts;
using testing::Quoted;
using testing::RunCommand;
using testing::ScratchFolder;
using testing::WriteBmp;

// What the fake does for one presentation path.
struct FakeDeck {
    std::vector<std::pair<std::string, std::array<int, 2>>> slides;  // file name, width x height
    std::string corrupt;         // a slide file written with garbage instead of a BMP
    bool exportThrows = false;   // Export raises an automation-style error
    bool refuses = false;        // Export answers false and writes nothing
};

struct FakeLog {
    std::vector<std::string> calls;
    std::vector<bool> exportFolderWasEmpty;
    int exportersMade = 0;
};

class FakeExporter final : public ISlideExporter {
public:
    FakeExporter(const std::map<std::string, FakeDeck>& decks, FakeLog& log) : decks_(decks), log_(log) {}
    bool InitControl() override {
        log_.calls.push_back("InitControl");
        return true;
    }
    bool LoadFile(const std::string& file) override {
        log_.calls.push_back("LoadFile " + file);
        return true;
    }
    bool Export(const std::string& file, const std::string& folder, const std::string& type, std::int16_t w,
                std::int16_t h) override {
        std::ostringstream call;
        call << "Export " << file << " " << type << " " << w << " " << h;
        log_.calls.push_back(call.str());
        log_.exportFolderWasEmpty.push_back(fs::is_empty(folder) && folder.back() == '/');
        const FakeDeck& deck = decks_.at(file);
        if (deck.exportThrows) throw Error("PowerPoint.Application", "the office stopped answering");
        if (deck.refuses) return false;
        for (const auto& [name, size] : deck.slides) WriteBmp(fs::path(folder) / name, size[0], size[1]);
        if (!deck.corrupt.empty()) testing::WriteText(fs::path(folder) / deck.corrupt, "BM but not really");
        return true;
    }
    void Quit() override { log_.calls.push_back("Quit"); }

private:
    const std::map<std::string, FakeDeck>& decks_;
    FakeLog& log_;
};

// Records what the driver reports; can ask for a stop at a chosen page.
class RecordingSink final : public IProgressSink {
public:
    void line(const std::string& text) override { lines.push_back(text); }
    void deckStarted(std::size_t index, std::size_t, const TJob&) override { events.push_back("start " + std::to_string(index)); }
    void slideWritten(std::size_t index, std::size_t slide, std::size_t slides) override {
        events.push_back("slide " + std::to_string(index) + " " + std::to_string(slide) + "/" + std::to_string(slides));
        if (stopAt && *stopAt == std::make_pair(index, slide)) stop->request_stop();
    }
    void deckFinished(std::size_t index, const TJob& job) override {
        events.push_back("end " + std::to_string(index) + " " + std::string(StatusText(job.State)));
    }
    std::vector<std::string> lines, events;
    std::optional<std::pair<std::size_t, std::size_t>> stopAt;
    std::stop_source* stop = nullptr;
};

class ConversionTest : public ::testing::Test {
protected:
    // A presentation file of that name (its content does not matter to the fake).
    std::string Deck(const std::string& relative, FakeDeck behaviour) {
        const fs::path path = dir / "in" / relative;
        fs::create_directories(path.parent_path());
        testing::WriteText(path, "presentation");
        decks[path.string()] = std::move(behaviour);
        return path.string();
    }

    TRunSummary Run(std::vector<TJob>& jobs, std::stop_token stop = {}) {
        options.TimeText = [] { return std::string("10:42:07"); };
        return RunConversion(jobs, options, [this] {
            ++log.exportersMade;
            return std::make_unique<FakeExporter>(decks, log);
        }, sink, stop);
    }

    // Image sizes of the pages of a PDF, in page order, by poppler's pdfimages.
    std::vector<std::string> PageImages(const fs::path& pdf) {
        std::istringstream list(RunCommand("pdfimages -list " + Quoted(pdf)).output);
        std::vector<std::string> sizes;
        std::string line;
        std::getline(list, line);
        std::getline(list, line);
        while (std::getline(list, line)) {
            std::istringstream fields(line);
            std::string page, num, type, width, height;
            fields >> page >> num >> type >> width >> height;
            sizes.push_back(page + ":" + width + "x" + height);
        }
        return sizes;
    }

    ScratchFolder dir;
    std::map<std::string, FakeDeck> decks;
    FakeLog log;
    RecordingSink sink;
    TConversionOptions options{TOutputFormat::PDF, 4, 0, (dir / "out").string(), {}};
    const FakeDeck threeSlides{{{"Slide10.BMP", {80, 20}}, {"Slide2.BMP", {60, 80}}, {"Slide1.BMP", {80, 60}}}, "", false, false};
};

TEST_F(ConversionTest, PagesFollowSlideOrderAndTheControlIsCalledAsPerDeck) {
    auto jobs = MakeJobs({Deck("Talk.final.ppt", threeSlides)});
    const auto summary = Run(jobs);

    EXPECT_EQ(summary.Completed, 1u);
    ASSERT_EQ(jobs[0].State, TJobState::Completed) << jobs[0].Reason;
    EXPECT_EQ(jobs[0].Name, "Talk");
    EXPECT_EQ(jobs[0].Document, (dir / "out" / "Talk.pdf").string());
    EXPECT_EQ(jobs[0].PageCount, 3u);
    EXPECT_TRUE(QpdfAccepts(jobs[0].Document));
    EXPECT_EQ(PageImages(jobs[0].Document), (std::vector<std::string>{"1:80x60", "2:60x80", "3:80x20"}));
    // The images stay in the slide folder after the run.
    for (const char* name : {"Slide1.BMP", "Slide2.BMP", "Slide10.BMP"})
        EXPECT_TRUE(fs::exists(dir / "out" / "Talk" / name)) << name;

    const std::string path = jobs[0].Path;
    EXPECT_EQ(log.calls, (std::vector<std::string>{"InitControl", "LoadFile " + path,
                                                   "Export " + path + " BMP 800 600", "Quit"}));
    EXPECT_EQ(log.exportFolderWasEmpty, std::vector<bool>{true});
    EXPECT_EQ(sink.lines, (std::vector<std::string>{"10:42:07:Exporting Talk", "10:42:07:Exporting Completed"}));
    EXPECT_EQ(sink.events, (std::vector<std::string>{"start 0", "slide 0 1/3", "slide 0 2/3", "slide 0 3/3",
                                                    "end 0 Completed"}));
    // Nothing of the export's scratch folder is left in the destination.
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir / "out")) left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Talk", "Talk.pdf"}));
}

TEST_F(ConversionTest, StaleImagesInTheSlideFolderNeverBecomePages) {
    fs::create_directories(dir / "out" / "deck");
    WriteBmp(dir / "out" / "deck" / "Slide1.BMP", 10, 10);  // replaced by this run's Slide1
    WriteBmp(dir / "out" / "deck" / "Slide7.BMP", 10, 10);  // from a longer, earlier version
    auto jobs = MakeJobs({Deck("deck.ppt", {{{"Slide1.BMP", {80, 60}}, {"Slide2.BMP", {60, 80}}}, "", false, false})});
    Run(jobs);

    ASSERT_EQ(jobs[0].State, TJobState::Completed) << jobs[0].Reason;
    EXPECT_EQ(PageImages(jobs[0].Document), (std::vector<std::string>{"1:80x60", "2:60x80"}));
    EXPECT_TRUE(fs::exists(dir / "out" / "deck" / "Slide7.BMP"));
}

TEST_F(ConversionTest, DecksWithTheSameNameGetTheirOwnDocumentAndSlideFolder) {
    auto jobs = MakeJobs({Deck("a/deck.ppt", {{{"Slide1.BMP", {80, 60}}}, "", false, false}),
                          Deck("b/deck.ppt", {{{"Slide1.BMP", {60, 80}}, {"Slide2.BMP", {60, 80}}}, "", false, false}),
                          Deck("deck.pps", threeSlides)});
    const auto summary = Run(jobs);

    EXPECT_EQ(summary.Completed, 3u);
    const struct { const char* document; const char* folder; int pages; } expected[] = {
        {"deck.pdf", "deck", 1}, {"deck (2).pdf", "deck (2)", 2}, {"deck (3).pdf", "deck (3)", 3}};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(expected[i].document);
        EXPECT_EQ(jobs[i].Document, (dir / "out" / expected[i].document).string());
        EXPECT_EQ(PdfPageCount(jobs[i].Document), expected[i].pages);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out" / expected[i].folder), fs::directory_iterator{}),
                  expected[i].pages);
    }
    EXPECT_EQ(log.exportersMade, 1);
}

TEST_F(ConversionTest, AFailedDeckLeavesNoDocumentAndTheRunGoesOn) {
    const std::string firstPath = Deck("first.ppt", threeSlides);
    struct Case { const char* name; FakeDeck deck; const char* reason; };
    const Case cases[] = {
        {"empty", {{}, "", false, false}, "no slide image"},
        {"unreadable", {{{"Slide1.BMP", {80, 60}}}, "Slide2.BMP", false, false}, "Slide2.BMP"},
        {"automation", {{}, "", true, false}, "the office stopped answering"},
        {"refused", {{}, "", false, true}, "did not export"},
    };
    std::vector<std::string> paths{firstPath};
    for (const auto& c : cases) paths.push_back(Deck(std::string(c.name) + ".ppt", c.deck));
    paths.push_back(Deck("last.ppt", threeSlides));
    auto jobs = MakeJobs(paths);
    const auto summary = Run(jobs);

    EXPECT_EQ(summary.Completed, 2u);
    EXPECT_EQ(summary.Failed, 4u);
    EXPECT_EQ(jobs.front().State, TJobState::Completed);
    EXPECT_EQ(jobs.back().State, TJobState::Completed);
    EXPECT_EQ(PdfPageCount(jobs.back().Document), 3);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const TJob& job = jobs[i + 1];
        EXPECT_EQ(job.State, TJobState::Failed);
        EXPECT_NE(job.Reason.find(cases[i].reason), std::string::npos) << job.Reason;
        EXPECT_FALSE(fs::exists(job.Document));
    }
    EXPECT_FALSE(fs::exists(jobs[1].SlideFolder)) << "an empty slide folder is not left behind";
    EXPECT_TRUE(fs::exists(fs::path(jobs[2].SlideFolder) / "Slide1.BMP")) << "exported images stay";
    // Every deck ends its presentation application, the failing ones included.
    EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "Quit"), 6);
    EXPECT_NE(std::find(sink.lines.begin(), sink.lines.end(),
                        "10:42:07:Failed automation: \"PowerPoint.Application\": the office stopped answering"),
              sink.lines.end());
}

TEST_F(ConversionTest, InitControlFailureIsTheReasonWhenNothingWasExported) {
    auto jobs = MakeJobs({Deck("deck.ppt", {{}, "", false, true})});
    struct NoOffice final : ISlideExporter {
        bool InitControl() override { return false; }
        bool LoadFile(const std::string&) override { return false; }
        bool Export(const std::string&, const std::string&, const std::string&, std::int16_t, std::int16_t) override {
            return false;
        }
        void Quit() override {}
    };
    const auto summary = RunConversion(jobs, options, [] { return std::make_unique<NoOffice>(); }, sink);
    EXPECT_EQ(summary.Failed, 1u);
    EXPECT_EQ(jobs[0].Reason, "the presentation application could not be started");
    EXPECT_FALSE(fs::exists(jobs[0].Document));
}

TEST_F(ConversionTest, StopAtAPageBoundaryRemovesTheUnfinishedDocumentAndLeavesLaterDecks) {
    auto jobs = MakeJobs({Deck("one.ppt", threeSlides), Deck("two.ppt", threeSlides), Deck("three.ppt", threeSlides)});
    std::stop_source stop;
    sink.stop = &stop;
    sink.stopAt = std::make_pair(std::size_t{1}, std::size_t{2});  // after page 2 of deck two
    const auto summary = Run(jobs, stop.get_token());

    EXPECT_TRUE(summary.Stopped);
    EXPECT_EQ(summary.Completed, 1u);
    EXPECT_EQ(summary.Aborted, 1u);
    EXPECT_EQ(jobs[0].State, TJobState::Completed);
    EXPECT_EQ(PdfPageCount(jobs[0].Document), 3);
    EXPECT_EQ(jobs[1].State, TJobState::Aborted);
    EXPECT_FALSE(fs::exists(jobs[1].Document));
    EXPECT_EQ(jobs[2].State, TJobState::Pending);
    EXPECT_TRUE(jobs[2].Document.empty());
    EXPECT_FALSE(fs::exists(dir / "out" / "three"));
    EXPECT_EQ(sink.events.back(), "end 1 Aborted");
    // Only what the run created is in the destination: no temporary files.
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir / "out")) left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"one", "one.pdf", "two"}));
}

TEST_F(ConversionTest, AStopBeforeTheRunTouchesNothing) {
    auto jobs = MakeJobs({Deck("one.ppt", threeSlides)});
    std::stop_source stop;
    stop.request_stop();
    const auto summary = Run(jobs, stop.get_token());
    EXPECT_TRUE(summary.Stopped);
    EXPECT_EQ(jobs[0].State, TJobState::Pending);
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(ConversionTest, DestinationWithOrWithoutSeparatorAndFormatNameTheSameFiles) {
    struct Case { const char* name; std::string destination; TOutputFormat format; const char* document; };
    const Case cases[] = {
        {"no separator, PDF", (dir / "o1").string(), TOutputFormat::PDF, "o1/Talk.pdf"},
        {"separator, PDF", (dir / "o2").string() + "/", TOutputFormat::PDF, "o2/Talk.pdf"},
        {"no separator, PostScript", (dir / "o3").string(), TOutputFormat::PostScript, "o3/Talk.ps"},
    };
    const std::string deck = Deck("Talk.ppt", threeSlides);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        options.Destination = c.destination;
        options.Format = c.format;
        auto jobs = MakeJobs({deck});
        Run(jobs);
        ASSERT_EQ(jobs[0].State, TJobState::Completed) << jobs[0].Reason;
        EXPECT_EQ(jobs[0].Document, (dir / c.document).string());
        EXPECT_TRUE(fs::is_regular_file(dir / c.document));
        EXPECT_EQ(jobs[0].SlideFolder, (dir / c.document).parent_path().string() + "/Talk/");
        EXPECT_TRUE(fs::exists(fs::path(jobs[0].SlideFolder) / "Slide10.BMP"));
    }
    // The PostScript document has three pages as ghostscript counts them.
    const auto bbox = RunCommand("gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=bbox " + Quoted(dir / "o3/Talk.ps") + " 2>&1");
    std::size_t pages = 0;
    for (std::size_t at = 0; (at = bbox.output.find("%%BoundingBox", at)) != std::string::npos; ++at) ++pages;
    EXPECT_EQ(pages, 3u) << bbox.output;
}

TEST_F(ConversionTest, PaperAndCompressionReachTheDocument) {
    options.PaperIndex = 8;        // letter
    options.CompressionIndex = 3;  // Jpeg
    auto jobs = MakeJobs({Deck("Talk.ppt", threeSlides)});
    Run(jobs);
    ASSERT_EQ(jobs[0].State, TJobState::Completed) << jobs[0].Reason;
    EXPECT_NE(RunCommand("pdfinfo " + Quoted(jobs[0].Document)).output.find("612 x 792 pts"), std::string::npos);
    EXPECT_NE(RunCommand("pdfimages -list " + Quoted(jobs[0].Document)).output.find("jpeg"), std::string::npos);
}

TEST_F(ConversionTest, AnExporterThatCannotBeMadeStopsTheRunBeforeAnyDeck) {
    auto jobs = MakeJobs({Deck("Talk.ppt", threeSlides)});
    EXPECT_THROW(RunConversion(jobs, options, []() -> std::unique_ptr<ISlideExporter> {
        throw Error("{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13}", "Class not registered");
    }, sink), Error);
    EXPECT_EQ(jobs[0].State, TJobState::Pending);
    options.PaperIndex = 12;
    EXPECT_THROW(Run(jobs), std::out_of_range);
}

}  // namespace
}  // namespace pressmark
