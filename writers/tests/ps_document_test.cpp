// The PostScript writer's header, page lines and trailer, byte for byte,
// with expected text written out by hand.
#include <gtest/gtest.h>

#include <regex>

#include "pressmark/imaging/errors.h"
#include "pressmark/imaging/image_params.h"
#include "pressmark/writers/ps_document.h"
#include "test_support.h"

namespace pressmark {
namespace {

using test::FixedTime;

const std::string kHeaderA4 =
    "%!PS-Adobe-3.0\r\n%%Creator: Pressmark\r\n%%Title: No Title\r\n"
    "%%CreationDate: Tue Jan 02 03:04:05 2024\r\n%%DocumentData: Clean7Bit\r\n%%LanguageLevel: 2\r\n"
    "%%Pages: 0     \r\n%%BoundingBox: 0 0 594 841\r\n%%EndComments\r\n%%BeginProlog\r\n10 dict begin\r\n"
    "%%EndProlog\r\n";
const std::string kTrailer = "%%Trailer\r\nend\r\n%%EOF\r\n";

// The data block between the image operator line and "%%EndData", checked
// without the writer's help: CR LF line ends, full lines of at least 75
// characters inside a run, "~>" closing each run; answers the characters of
// the groups (the "%%BeginData:" count).
std::int64_t CheckASCII85Data(const std::string& data, int expectedRuns) {
    std::int64_t groups = 0;
    int runs = 0;
    std::size_t at = 0;
    while (at < data.size()) {
        const auto end = data.find("\r\n", at);
        EXPECT_NE(end, std::string::npos);
        if (end == std::string::npos) break;
        std::string line = data.substr(at, end - at);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
        at = end + 2;
        // The terminator follows the last group on its line, or stands alone
        // when that line was already full.
        const bool closesRun = line.ends_with("~>");
        if (closesRun) line.resize(line.size() - 2);
        if (!line.empty()) {
            EXPECT_TRUE(closesRun || line.size() >= 75) << "a short line in the middle of a run";
            for (char c : line) EXPECT_TRUE((c >= '!' && c <= 'u') || c == 'z') << int(c);
        }
        runs += closesRun;
        groups += static_cast<std::int64_t>(line.size());
    }
    EXPECT_EQ(runs, expectedRuns);
    return groups;
}

struct Page {
    std::string head;     // the lines up to and including the operator line
    std::string data;     // the ASCII85 data
    std::string count;    // the %%BeginData count
};

// Splits the page that starts at `from` into its lines and its data.
Page SplitPage(const std::string& text, std::size_t from = kHeaderA4.size()) {
    Page page;
    const std::size_t begin = text.find("%%BeginData:      ", from);
    const std::size_t opLine = text.find("\r\n", begin) + 2;
    const std::size_t dataStart = text.find("\r\n", opLine) + 2;
    const std::size_t dataEnd = text.find("%%EndData\r\nshowpage\r\n", dataStart);
    page.head = text.substr(from, dataStart - from);
    page.data = text.substr(dataStart, dataEnd - dataStart);
    page.count = text.substr(begin + 18, text.find(' ', begin + 18) - begin - 18);
    return page;
}

std::string Document(const std::vector<TRasterImage*>& pages, TImageParams& params) {
    MemoryFile out;
    auto handle = PSBeginDocument(out, params, FixedTime);
    for (auto* page : pages) {
        TProgressRecord progress;
        PSAddPage(*handle, out, *page, params, progress);
    }
    PSEndDocument(std::move(handle), out);
    return std::string(out.text());
}

TEST(PSDocument, EmptyDocument) {
    TImageParams params;
    EXPECT_EQ(Document({}, params), kHeaderA4 + kTrailer);
}

// The first page of an 800 x 600 colour image on A4; codes 1 and 2 have no
// colour form of their own and write the same bytes as code 0.
TEST(PSDocument, ColourRunLengthPageOnA4) {
    auto image = test::ColourImage(800, 600, [](int x, int y) { return test::SlidePixel(x % 200, y % 150); });
    const std::string head =
        "%%Page: 1 1\r\n0 842 translate\r\n595 -446 scale\r\n800 600 8\r\n[ 800 0 0 600 0 0 ]\r\n"
        "/rstr 800 string def\r\n/gstr 800 string def\r\n/bstr 800 string def\r\n"
        "{currentfile /ASCII85Decode filter /RunLengthDecode filter rstr readstring pop}\r\n"
        "{currentfile /ASCII85Decode filter /RunLengthDecode filter gstr readstring pop}\r\n"
        "{currentfile /ASCII85Decode filter /RunLengthDecode filter bstr readstring pop}\r\n"
        "true 3\r\n%%BeginData:      #\r\ncolorimage\r\n";
    std::string first;
    for (std::uint8_t code : {0, 1, 2, 9}) {
        TImageParams params;
        params.PSCompression = code;
        const std::string text = Document({image.get()}, params);
        ASSERT_EQ(text.substr(0, kHeaderA4.size()),
                  std::regex_replace(kHeaderA4, std::regex("Pages: 0"), "Pages: 1"));
        const Page page = SplitPage(text);
        EXPECT_EQ(std::regex_replace(page.head, std::regex("\\d+ ASCII Bytes"), "#"), head) << int(code);
        EXPECT_EQ(page.count, std::to_string(CheckASCII85Data(page.data, 3 * 600))) << int(code);
        EXPECT_TRUE(text.ends_with("%%EndData\r\nshowpage\r\n" + kTrailer));
        EXPECT_EQ(params.BitsPerSample, 8);
        EXPECT_EQ(params.SamplesPerPixel, 3);
        if (first.empty()) first = text;
        EXPECT_EQ(text, first) << "code " << int(code) << " differs from code 0";
    }
}

struct OneBitCase {
    const char* name;
    std::uint8_t code;
    std::string operatorLines;
};

TEST(PSDocument, OneBitPages) {
    const std::string fax = " /BlackIs1 true /Columns 13 /Rows 5 /EndOfLine false /Uncompressed true"
                            " /EncodedByteAlign false /EndOfBlock false >> /CCITTFaxDecode filter\r\n";
    const OneBitCase cases[] = {
        {"run-length", 0, "currentfile /ASCII85Decode filter /RunLengthDecode filter\r\n"},
        {"G4", 1, "currentfile /ASCII85Decode filter << /K -1" + fax},
        {"G3", 2, "currentfile /ASCII85Decode filter << /K 1" + fax},
    };
    auto image = test::BitImage(13, 5, test::BitPixel);
    for (const auto& c : cases) {
        TImageParams params;
        params.PSCompression = c.code;
        const Page page = SplitPage(Document({image.get()}, params));
        EXPECT_EQ(std::regex_replace(page.head, std::regex("\\d+ ASCII Bytes"), "#"),
                  // 595 / 13 rounds low in double: the width comes out 594, not 595.
                  "%%Page: 1 1\r\n0 842 translate\r\n594 -228 scale\r\n13 5 1\r\n[ 13 0 0 5 0 0 ]\r\n" +
                      c.operatorLines + "%%BeginData:      #\r\nimage\r\n")
            << c.name;
        EXPECT_EQ(page.count, std::to_string(CheckASCII85Data(page.data, 1))) << c.name;
        EXPECT_EQ(params.BitsPerSample, 1) << c.name;
        EXPECT_EQ(params.SamplesPerPixel, 1) << c.name;
    }
}

// JPEG: colour pages, and 1-bit pages through a colour copy.
TEST(PSDocument, JpegPages) {
    auto colour = test::ColourImage(32, 16, test::SlidePixel);
    auto bits = test::BitImage(32, 16, test::BitPixel);
    for (TRasterImage* image : {colour.get(), bits.get()}) {
        TImageParams params;
        params.PSCompression = 3;
        const Page page = SplitPage(Document({image}, params));
        EXPECT_EQ(std::regex_replace(page.head, std::regex("\\d+ ASCII Bytes"), "#"),
                  "%%Page: 1 1\r\n0 842 translate\r\n595 -297 scale\r\n32 16 8\r\n[ 32 0 0 16 0 0 ]\r\n"
                  "currentfile /ASCII85Decode filter << >> /DCTDecode filter\r\nfalse 3\r\n"
                  "%%BeginData:      #\r\ncolorimage\r\n");
        EXPECT_EQ(page.count, std::to_string(CheckASCII85Data(page.data, 1)));
        EXPECT_EQ(params.BitsPerSample, 8);
    }
}

// The page count is raised in place; the bounding box keeps the paper of
// the begin call while each page uses the paper in force when it is added.
TEST(PSDocument, ThreePages) {
    auto image = test::ColourImage(8, 6, test::SlidePixel);
    TImageParams params;
    params.PSCompression = 0;
    MemoryFile out;
    auto handle = PSBeginDocument(out, params, FixedTime);
    TProgressRecord progress;
    const std::string translations[] = {"0 842 translate\r\n595 -446 scale", "0 1190 translate\r\n842 -631 scale",
                                        "0 1190 translate\r\n842 -631 scale"};
    for (int n = 1; n <= 3; ++n) {
        PSAddPage(*handle, out, *image, params, progress);
        params.PSPaperWidth = 842;
        params.PSPaperHeight = 1190;
        const std::string text(out.text());
        EXPECT_EQ(text.substr(handle->PagesLinePosition, 17), "%%Pages: " + std::to_string(n) + "     \r\n");
        EXPECT_EQ(text.substr(0, kHeaderA4.size()).size(), kHeaderA4.size());
        const auto at = text.find("%%Page: " + std::to_string(n) + " " + std::to_string(n) + "\r\n");
        ASSERT_NE(at, std::string::npos) << n;
        EXPECT_EQ(text.compare(text.find("\r\n", at) + 2, translations[n - 1].size(), translations[n - 1]), 0) << n;
        EXPECT_EQ(out.data().size(), static_cast<std::size_t>(handle->AppendPosition));
    }
    PSEndDocument(std::move(handle), out);
    EXPECT_NE(out.text().find("%%BoundingBox: 0 0 594 841\r\n"), std::string::npos);
    EXPECT_TRUE(out.text().ends_with("showpage\r\n" + kTrailer));
}

// A count that does not read back as a number counts as 1.
TEST(PSDocument, UnreadableCountCountsAsOne) {
    auto image = test::BitImage(8, 2, test::BitPixel);
    TImageParams params;
    MemoryFile out;
    auto handle = PSBeginDocument(out, params, FixedTime);
    out.seek(handle->PagesLinePosition + 9);
    WriteAll(out, "x");
    TProgressRecord progress;
    PSAddPage(*handle, out, *image, params, progress);
    EXPECT_NE(out.text().find("%%Pages: 2     \r\n"), std::string::npos);
    EXPECT_NE(out.text().find("%%Page: 2 2\r\n"), std::string::npos);
}

// Encoding comes before any write: a failing encoder leaves the file as it was.
TEST(PSDocument, EncoderFailureLeavesFileUntouched) {
    auto image = test::ColourImage(16, 16, test::SlidePixel);
    TImageParams params;
    params.PSCompression = 3;
    MemoryFile out;
    auto handle = PSBeginDocument(out, params, FixedTime);
    const std::string before(out.text());
    TProgressRecord progress;
    progress.OnProgress = [](void*, int) { throw std::runtime_error("stop"); };
    EXPECT_THROW(PSAddPage(*handle, out, *image, params, progress), std::runtime_error);
    EXPECT_EQ(out.text(), before);
}

TEST(PSDocument, ShortWriteIsAnError) {
    auto image = test::ColourImage(16, 16, test::SlidePixel);
    for (std::uint64_t limit : {0, 100, 300, 600}) {
        test::FailAfterSink out(limit);
        TImageParams params;
        TProgressRecord progress;
        EXPECT_THROW(PSWriteSinglePageDocument(out, *image, params, progress, FixedTime), WriteError) << limit;
    }
}

}  // namespace
}  // namespace pressmark
