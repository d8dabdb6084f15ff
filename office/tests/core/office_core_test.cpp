// The office core on its own: fitting slides, writing BMP files (checked with
// ImageMagick), and a real office: slide counts against the corpus
// manifest, exported sizes, broken files, a hung and a crashed office,
// the warm handover and the office dying with its parent.
#include "office_pool.h"
#include "office_profile.h"
#include "slide_deck.h"
#include "slide_show.h"

#include "../support/office_test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

using namespace pressmark::office;
using namespace office_test;

namespace {

TEST(FitSlide, LargestUndistortedSizeInTheBox) {
    struct Case {
        const char* name;
        double w, h;
        int boxW, boxH;
        PixelSize expected;
    };
    // Slide sizes in 1/100 mm as the office reports them (see MANIFEST.tsv).
    const Case cases[] = {
        {"4:3 fills 800x600", 25400, 19050, 800, 600, {800, 600}},
        {"A4 landscape is 4:3 enough", 28000, 21000, 800, 600, {800, 600}},
        {"16:9 (13.33x7.5in) is 800x450", 33870, 19050, 800, 600, {800, 450}},
        {"ODP 28x15.75cm is 800x450", 28000, 15750, 800, 600, {800, 450}},
        {"10.5x8in is height-bound: 787.5 rounds to 788", 26670, 20320, 800, 600, {788, 600}},
        {"portrait 3:4 in 800x600", 19050, 25400, 800, 600, {450, 600}},
        {"tiny box keeps one pixel", 33870, 100, 10, 10, {10, 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fitSlide(c.w, c.h, c.boxW, c.boxH), c.expected) << c.name;
}

namespace {

// A 5 x 2 BMP with the header LibreOffice writes: the file size as if each
// pixel had four bytes, a resolution of its own. Every pixel differs, so a
// swapped channel order, a flipped row order or a wrong row padding (15
// bytes -> 16) shows.
std::string officeStyleBmp(std::uint16_t bitsPerPixel = 24, std::uint32_t compression = 0) {
    const auto le = [](std::uint32_t v, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i));
        return out;
    };
    std::string file = "BM" + le(54 + 5 * 2 * 4, 4) + le(0, 4) + le(54, 4) + le(40, 4) + le(5, 4) + le(2, 4) +
                       le(1, 2) + le(bitsPerPixel, 2) + le(compression, 4) + le(32, 4) + le(2907, 4) +
                       le(2908, 4) + le(0, 4) + le(0, 4);
    // Bottom-up: the last row of the picture first, as B G R, padded to 16.
    file += std::string{10, 20, 30, 40, 50, 60, 70, 80, 90, 1, 2, 3, 4, 5, 6, 0};
    file += std::string{0, 0, '\xff', 0, '\xff', 0, '\xff', 0, 0, 7, 8, 9, 11, 12, 13, 0};
    return file;
}

}  // namespace

TEST(CompleteOfficeBmp, MendsTheHeaderSoStrictReadersTakeThePixels) {
    TempDir dir;
    const std::string path = dir / "t.bmp";
    std::ofstream(path, std::ios::binary) << officeStyleBmp();
    EXPECT_NE(run("identify -format '%m' " + quoted(path) + " 2>&1"), "BMP3") << "ImageMagick refuses the office's header";
    completeOfficeBmp(path, {5, 2});
    EXPECT_EQ(run("identify -format '%m %w %h %C' " + quoted(path)), "BMP3 5 2 None");
    // Top-left first, as R G B: hand-converted from the BGR bytes above.
    const std::string expected = {'\xff', 0, 0, 0, '\xff', 0, 0, 0, '\xff', 9, 8, 7, 13, 12, 11,
                                  30, 20, 10, 60, 50, 40, 90, 80, 70, 3, 2, 1, 6, 5, 4};
    EXPECT_EQ(run("convert " + quoted(path) + " -depth 8 rgb:-"), expected);
    std::ifstream in(path, std::ios::binary);
    std::string head(54, '\0');
    in.read(head.data(), 54);
    EXPECT_EQ(head.substr(2, 4), std::string({54 + 32, 0, 0, 0})) << "the real file size";
    EXPECT_EQ(head.substr(38, 8), std::string({'\xc4', 0x0e, 0, 0, '\xc4', 0x0e, 0, 0})) << "96 dpi (3780/m)";
    EXPECT_EQ(std::filesystem::file_size(path), 54u + 2 * 16) << "only the header changes";
}

TEST(CompleteOfficeBmp, AnythingButTheExpectedBmpIsAnError) {
    TempDir dir;
    const std::string good = officeStyleBmp();
    const struct {
        const char* name;
        std::string bytes;
        PixelSize size;
    } cases[] = {
        {"another size than asked", good, {5, 3}},
        {"32 bits per pixel", officeStyleBmp(32), {5, 2}},
        {"run-length coded", officeStyleBmp(24, 1), {5, 2}},
        {"pixels cut short", good.substr(0, good.size() - 1), {5, 2}},
        {"header cut short", good.substr(0, 30), {5, 2}},
        {"a PNG", "\x89PNG\r\n\x1a\n" + std::string(80, '\0'), {5, 2}},
    };
    for (const auto& c : cases) {
        const std::string path = dir / "t.bmp";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
        EXPECT_THROW(completeOfficeBmp(path, c.size), pressmark::WriteError) << c.name;
    }
    EXPECT_THROW(completeOfficeBmp(dir / "missing.bmp", {5, 2}), pressmark::WriteError);
}

TEST(OfficeProfile, SetupVersionIsTheFirstPropertyThatHoldsAValue) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        // The schema declares the property before the data gives its value.
        {R"(<prop oor:name="ooSetupVersion" oor:type="xs:string"></prop>
            <prop oor:name="ooSetupVersion"><value>7.4</value></prop>)", "7.4"},
        {R"(<prop oor:name="ooSetupVersion"><value>24.2</value></prop>)", "24.2"},
        {R"(<prop oor:name="ooSetupVersion"/><prop oor:name="ooName"><value>7.4</value></prop>)", std::nullopt},
        {R"(<prop oor:name="ooSetupVersion"><value>7.4<injected/></value></prop>)", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, version] : cases) EXPECT_EQ(setupVersionFromConfiguration(text), version) << text;
    EXPECT_TRUE(installedOfficeVersion().has_value()) << "the installed office states its version";
}

// One office for the tests that only need a working office.
class OfficeDeckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        session_ = std::make_shared<OfficeSession>(OfficeProcess::start(OfficeSettings::fromEnvironment()));
    }
    static void TearDownTestSuite() { session_.reset(); }
    static std::shared_ptr<OfficeSession> session_;
};
std::shared_ptr<OfficeSession> OfficeDeckTest::session_;

TEST_F(OfficeDeckTest, SlideCountsMatchTheManifest) {
    auto counts = manifestSlideCounts();
    for (const char* name : {"basic_test_ppt_file.ppt", "53446.ppt", "PPT95.ppt", "57272_corrupted_usereditatom.ppt",
                             "unc- oxford.ppt", "with_japanese.pptx", "testODP_NPE.odp"}) {
        SlideDeck deck(session_, corpus(name));
        EXPECT_EQ(deck.slideCount(), counts.at(name)) << name;
        deck.close();
    }
    EXPECT_EQ(session_->require("", "").documentCount(), 0u) << "closed decks leave no document behind";
}

TEST_F(OfficeDeckTest, OfficeStartsWithoutRepeatingItsFirstStartSelfTests) {
    // They take seconds on every start of a profile that never saw the GUI.
    const std::string profile = session_->require("", "").profileDir();
    EXPECT_TRUE(std::filesystem::exists(profile + "/user/registrymodifications.xcu"));
    EXPECT_FALSE(std::filesystem::exists(profile + "/user/GraphicsRenderTests.log"));
}

TEST_F(OfficeDeckTest, ExportWritesEverySlideAtItsUndistortedSize) {
    struct Case {
        const char* name;
        const char* filter;
        const char* extension;
        const char* size;  // as identify prints it
    };
    const Case cases[] = {
        {"basic_test_ppt_file.ppt", "BMP", "BMP", "800 600"},
        {"table_test.ppt", "BMP", "BMP", "800 450"},
        {"LibreOfficeImpress_odp_1.3.odp", "BMP", "BMP", "800 450"},
        {"ParagraphStylesShorterThanCharStyles.ppt", "BMP", "BMP", "788 600"},
        {"LibreOfficeImpress_odp_1.3.odp", "PNG", "PNG", "800 450"},
        {"basic_test_ppt_file.ppt", "JPG", "JPG", "800 600"},
    };
    auto counts = manifestSlideCounts();
    for (const auto& c : cases) {
        TempDir dir;
        const std::string folder = dir / "slides";  // created by the export
        SlideDeck deck(session_, corpus(c.name));
        deck.exportSlides(folder, c.filter, 800, 600);
        deck.close();
        const int slides = counts.at(c.name);
        EXPECT_EQ(static_cast<int>(std::distance(std::filesystem::directory_iterator(folder),
                                                 std::filesystem::directory_iterator())),
                  slides)
            << c.name << ": one file per slide, nothing else left behind";
        for (int i = 1; i <= slides; ++i) {
            const std::string file = folder + "/Slide" + std::to_string(i) + "." + c.extension;
            EXPECT_EQ(run("identify -format '%w %h' " + quoted(file)), c.size) << c.name << " slide " << i;
            if (std::string(c.filter) == "BMP") {
                EXPECT_EQ(run("identify -format '%m %C' " + quoted(file)), "BMP3 None") << c.name;
            }
        }
    }
}

TEST_F(OfficeDeckTest, UnopenableFilesFailNamingTheFileAndTheOfficeCarriesOn) {
    TempDir dir;
    std::ofstream(dir / "empty.ppt").close();
    std::ofstream(dir / "notes.ppt") << "Meeting notes, not a presentation.\n";
    {
        // The first 8 KiB of a real deck: the header names sectors beyond the end.
        std::ifstream whole(corpus("basic_test_ppt_file.ppt"), std::ios::binary);
        std::string head(8192, '\0');
        whole.read(head.data(), static_cast<std::streamsize>(head.size()));
        std::ofstream(dir / "truncated.ppt", std::ios::binary) << head;
    }
    struct Case {
        const char* name;
        std::string path;
        const char* says;
    };
    const Case cases[] = {
        {"missing", dir / "nothing-here.ppt", "does not exist"},
        {"folder", dir.path(), "folder"},
        {"empty", dir / "empty.ppt", "empty"},
        {"text file named .ppt", dir / "notes.ppt", "cannot open"},
        {"truncated .ppt", dir / "truncated.ppt", "cannot open"},
        {"pictures.ppt", corpus("pictures.ppt"), "cannot open"},
        {"backgrounds.ppt", corpus("backgrounds.ppt"), "cannot open"},
        {"password", corpus("rc4cryptoapi_password.ppt"), "password"},
    };
    for (const auto& c : cases) {
        try {
            SlideDeck deck(session_, c.path);
            ADD_FAILURE() << c.name << ": opened";
        } catch (const OfficeError&) {
            ADD_FAILURE() << c.name << ": an office error, not a file error";
        } catch (const pressmark::Error& e) {
            EXPECT_EQ(e.file(), c.path) << c.name;
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << c.name << ": " << e.what();
        }
    }
    SlideDeck deck(session_, corpus("testPPT.ppt"));
    EXPECT_EQ(deck.slideCount(), 1);
    deck.close();
}

TEST_F(OfficeDeckTest, ShowWithoutDisplayStepsWithinTheSlides) {
    const char* display = std::getenv("DISPLAY");
    std::string saved = display ? display : "";
    ::unsetenv("DISPLAY");
    auto deck = std::make_shared<SlideDeck>(session_, corpus("basic_test_ppt_file.ppt"));
    SlideShow show(deck);
    EXPECT_EQ(show.window(), nullptr);
    EXPECT_EQ(show.position(), 1);
    show.previous();
    EXPECT_EQ(show.position(), 1);
    show.next();
    EXPECT_EQ(show.position(), 2);
    show.next();
    EXPECT_EQ(show.position(), 2) << "stays on the last slide";
    show.previous();
    EXPECT_EQ(show.position(), 1);
    deck->close();
    EXPECT_THROW(show.next(), OfficeError);
    if (display) ::setenv("DISPLAY", saved.c_str(), 1);
}

// An office that stops answering is killed after the call timeout and the
// call fails; one that dies makes the next call fail. Both in words.
TEST(OfficeFailure, HungOrCrashedOfficeFailsTheCallInWords) {
    struct Case {
        const char* name;
        int signal;
        const char* says;
    };
    const Case cases[] = {{"hung", SIGSTOP, "did not answer within 2 seconds"},
                          {"crashed", SIGKILL, "ended"}};
    for (const auto& c : cases) {
        ::setenv("PRESSMARK_OFFICE_TIMEOUT", "2", 1);
        auto session = std::make_shared<OfficeSession>(OfficeProcess::start(OfficeSettings::fromEnvironment()));
        ::unsetenv("PRESSMARK_OFFICE_TIMEOUT");
        SlideDeck deck(session, corpus("basic_test_ppt_file.ppt"));
        const pid_t pid = session->require("", "").pid();
        ::kill(pid, c.signal);
        // The call is made once the signal has taken hold of every thread.
        ASSERT_TRUE(eventually([&] { return c.signal == SIGSTOP ? processStopped(pid) : processGone(pid); }, 5))
            << c.name;
        const auto start = std::chrono::steady_clock::now();
        try {
            deck.slideCount();
            ADD_FAILURE() << c.name << ": the call succeeded";
        } catch (const OfficeGoneError& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << c.name << ": " << e.what();
            EXPECT_EQ(e.file(), corpus("basic_test_ppt_file.ppt")) << c.name;
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << c.name;
        EXPECT_TRUE(eventually([&] { return processGone(pid); }, 5)) << c.name;
        EXPECT_THROW(deck.slideCount(), OfficeGoneError) << c.name << ": stays failed";
    }
}

// Killed in the middle of an export (after its second slide): the export
// fails in words within a bounded time, leaves no office, and a new office
// works.
TEST(OfficeFailure, OfficeKilledDuringAnExportFailsItAndANewOfficeWorks) {
    TempDir dir;
    const std::string folder = dir / "slides";
    pid_t pid = 0;
    {
        auto session = std::make_shared<OfficeSession>(OfficeProcess::start(OfficeSettings::fromEnvironment()));
        pid = session->require("", "").pid();
        SlideDeck deck(session, corpus("testODP_NPE.odp"));  // 37 slides
        std::jthread killer([&] {
            eventually([&] { return std::filesystem::exists(folder + "/Slide2.BMP"); }, 120);
            ::kill(pid, SIGKILL);
        });
        const auto start = std::chrono::steady_clock::now();
        try {
            deck.exportSlides(folder, "BMP", 800, 600);
            ADD_FAILURE() << "the export succeeded";
        } catch (const OfficeGoneError& e) {
            EXPECT_NE(std::string(e.what()).find("ended"), std::string::npos)
                << e.what();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(120));
        // The slides before the kill are complete; nothing half-written is left.
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            EXPECT_EQ(entry.path().extension(), ".BMP") << entry.path();
            EXPECT_EQ(run("identify -format '%m' " + quoted(entry.path())), "BMP3") << entry.path();
        }
    }
    EXPECT_TRUE(eventually([&] { return processGone(pid); }, 5));
    EXPECT_TRUE(childOffices().empty());
    auto fresh = std::make_shared<OfficeSession>(OfficeProcess::start(OfficeSettings::fromEnvironment()));
    SlideDeck deck(fresh, corpus("testPPT.ppt"));
    EXPECT_EQ(deck.slideCount(), 1);
}

TEST(OfficePoolTest, WarmOfficeIsHandedOnCleanAndEndedAfterItsGraceTime) {
    ::setenv("PRESSMARK_OFFICE_GRACE", "3", 1);
    OfficePool pool;
    auto first = std::make_shared<OfficeSession>(pool.acquire());
    const pid_t pid = first->require("", "").pid();
    const std::string profile = first->require("", "").profileDir();
    SlideDeck left(first, corpus("basic_test_ppt_file.ppt"));  // never closed by its user
    pool.release(first->end());
    EXPECT_THROW(left.slideCount(), OfficeGoneError) << "the quit application's deck is gone";

    auto second = std::make_shared<OfficeSession>(pool.acquire());
    EXPECT_EQ(second->require("", "").pid(), pid) << "the warm office is reused";
    EXPECT_EQ(second->require("", "").documentCount(), 0u) << "no document of the first user";
    SlideDeck deck(second, corpus("table_test.ppt"));
    EXPECT_EQ(deck.slideCount(), 1);
    pool.release(second->end());
    ::unsetenv("PRESSMARK_OFFICE_GRACE");

    EXPECT_EQ(pool.warmPids(), std::vector<pid_t>{pid});
    EXPECT_TRUE(eventually([&] { return processGone(pid); }, 10)) << "ended after the grace time";
    EXPECT_TRUE(eventually([&] { return !std::filesystem::exists(profile); }, 5)) << "its profile is removed";
    EXPECT_EQ(run("pgrep -f " + quoted("[" + profile.substr(0, 1) + "]" + profile.substr(1))), "");
}

TEST(OfficePoolTest, EveryQuitOfficeOfConcurrentApplicationsStaysWarm) {
    // Two applications at a time (a batch with two jobs) quit one after the
    // other: the second must not end the first one's office.
    OfficePool pool;
    auto a = std::make_shared<OfficeSession>(pool.acquire());
    auto b = std::make_shared<OfficeSession>(pool.acquire());
    const pid_t pidA = a->require("", "").pid(), pidB = b->require("", "").pid();
    ASSERT_NE(pidA, pidB);
    pool.release(a->end());
    pool.release(b->end());
    EXPECT_EQ(pool.warmPids(), (std::vector<pid_t>{pidA, pidB}));
    auto next = pool.acquire();
    auto after = pool.acquire();
    EXPECT_EQ(next->pid(), pidB) << "the most recently released first";
    EXPECT_EQ(after->pid(), pidA);
    EXPECT_TRUE(pool.warmPids().empty());
}

TEST(OfficeProcessTest, OfficeOutlivesTheThreadThatStartedIt) {
    // Two workers share the warm offices: the one that started an office may
    // end while the other still uses it.
    std::unique_ptr<OfficeProcess> office;
    std::thread([&] { office = OfficeProcess::start(OfficeSettings::fromEnvironment()); }).join();
    ASSERT_TRUE(office);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(office->alive());
    auto session = std::make_shared<OfficeSession>(std::move(office));
    SlideDeck deck(session, corpus("testPPT.ppt"));
    EXPECT_EQ(deck.slideCount(), 1);
}

TEST(OfficeProcessTest, OfficeDiesWithItsKilledParent) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t helper = ::fork();
    if (helper == 0) {
        ::dup2(out[1], 1);
        ::execl(PRESSMARK_OFFICE_PARENT_HELPER, PRESSMARK_OFFICE_PARENT_HELPER, nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    char buffer[32] = {};
    ASSERT_GT(::read(out[0], buffer, sizeof buffer - 1), 0) << "the helper started no office";
    ::close(out[0]);
    const pid_t office = std::atoi(buffer);
    ASSERT_GT(office, 0);
    EXPECT_FALSE(processGone(office));
    ::kill(helper, SIGKILL);
    ::waitpid(helper, nullptr, 0);
    EXPECT_TRUE(eventually([&] { return processGone(office); }, 10)) << "office " << office << " outlived its parent";
}

}  // namespace
