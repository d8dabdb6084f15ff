// The PDF builder's document structure, byte for byte where the layout is
// fixed, with expected text written out by hand.
#include <gtest/gtest.h>

#include <regex>

#include "pressmark/imaging/image_params.h"
#include "pressmark/writers/pdf_document.h"
#include "test_support.h"

namespace pressmark {
namespace {

using namespace std::string_literals;
using test::FixedTime;

std::string WriteDocument(const std::vector<TRasterImage*>& pages, TImageParams& params,
                          const TDocumentClock& clock = FixedTime) {
    auto document = PDFBeginDocument();
    for (auto* page : pages) {
        TProgressRecord progress;
        PDFAddPage(*document, *page, params, progress);
    }
    MemoryFile out;
    PDFEndDocument(std::move(document), out, params, clock);
    return std::string(out.text());
}

// One 4 x 2 colour page on A4 with code 1 (uncompressed RGB for colour).
TEST(PDFDocument, WorkedExampleByteForByte) {
    auto image = test::ColourImage(4, 2, [](int x, int y) {
        return test::Rgb{std::uint8_t(10 * x + y), std::uint8_t(100 + x), std::uint8_t(200 + y)};
    });
    TImageParams params;
    params.PDFCompression = 1;
    std::string rgb;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) rgb += {char(10 * x + y), char(100 + x), char(200 + y)};

    const std::string expected =
        "%PDF-1.4\n%\xC8\xD2\xF0\xFE\n"
        "1 0 obj\n<< /Type /Catalog\n/Pages 6 0 R\n>>\nendobj\n"
        "2 0 obj\n<< /ProcSet [/PDF /ImageB ]\n/XObject << /lm1 3 0 R\n>>\n>>\nendobj\n"
        "3 0 obj\n<< /Type /XObject\n/Subtype /Image\n/Length 24\n/ColorSpace /DeviceRGB\n"
        "/BitsPerComponent 8\n/Width 4\n/Height 2\n>>\nstream\n" + rgb + "\nendstream\nendobj\n"
        "4 0 obj\n<< /Length 32\n>>\nstream\nq\n595 0 0 297 0 545 cm\n/lm1 Do\nQ\nendstream\nendobj\n"
        "5 0 obj\n<< /Type /Page\n/Resources 2 0 R\n/MediaBox [0 0 595 842 ]\n/Contents 4 0 R\n"
        "/Parent 6 0 R\n>>\nendobj\n"
        "6 0 obj\n<< /Type /Pages\n/Kids [5 0 R ]\n/Count 1\n>>\nendobj\n"
        "7 0 obj\n<< /CreationDate (D:20240102030405)\n>>\nendobj\n"
        "xref\n0 8\n0000000000 65535 f \n"
        "0000000015 00000 n \n0000000064 00000 n \n0000000136 00000 n \n0000000303 00000 n \n"
        "0000000385 00000 n \n0000000490 00000 n \n0000000548 00000 n \n"
        "trailer\n<< /Size 8\n/Root 1 0 R\n/Info 7 0 R\n>>\nstartxref\n602\n%%EOF\n";
    ASSERT_EQ(expected.size(), 837u);  // the hand-written text itself is right
    EXPECT_EQ(WriteDocument({image.get()}, params), expected);
    EXPECT_EQ(params.BitsPerSample, 8);
    EXPECT_EQ(params.SamplesPerPixel, 3);

    // With the system clock only the date differs: D: and 14 digits.
    const std::string live = WriteDocument({image.get()}, params, LocalNow);
    ASSERT_EQ(live.size(), 837u);
    EXPECT_TRUE(std::regex_match(live.substr(548, 54), std::regex(R"(7 0 obj\n<< /CreationDate \(D:\d{14}\)\n>>\nendobj\n)")));
    EXPECT_EQ(live.substr(0, 548), expected.substr(0, 548));
    EXPECT_EQ(live.substr(602), expected.substr(602));
}

TEST(PDFDocument, EmptyDocument) {
    TImageParams params;
    EXPECT_EQ(WriteDocument({}, params),
              "%PDF-1.4\n%\xC8\xD2\xF0\xFE\n"
              "1 0 obj\n<< /Type /Catalog\n/Pages 3 0 R\n>>\nendobj\n"
              "2 0 obj\n<< /ProcSet [/PDF /ImageB ]\n/XObject << >>\n>>\nendobj\n"
              "3 0 obj\n<< /Type /Pages\n/Kids []\n/Count 0\n>>\nendobj\n"
              "4 0 obj\n<< /CreationDate (D:20240102030405)\n>>\nendobj\n"
              "xref\n0 5\n0000000000 65535 f \n"
              "0000000015 00000 n \n0000000064 00000 n \n0000000125 00000 n \n0000000177 00000 n \n"
              "trailer\n<< /Size 5\n/Root 1 0 R\n/Info 4 0 R\n>>\nstartxref\n231\n%%EOF\n");
}

// Three pages, each added with the paper size in force at the time.
TEST(PDFDocument, ThreePagesNumberedInCreationOrder) {
    auto colour = test::ColourImage(8, 6, test::SlidePixel);
    auto bits = test::BitImage(13, 5, test::BitPixel);
    TImageParams params;
    params.PDFCompression = 0;
    auto document = PDFBeginDocument();
    TProgressRecord progress;
    PDFAddPage(*document, *colour, params, progress);
    params.PDFPaperWidth = 842;  // A3 for the later pages
    params.PDFPaperHeight = 1190;
    PDFAddPage(*document, *bits, params, progress);
    PDFAddPage(*document, *colour, params, progress);
    MemoryFile out;
    PDFEndDocument(std::move(document), out, params, FixedTime);
    const std::string text(out.text());

    const char* expectedObjects[] = {
        "1 0 obj\n<< /Type /Catalog\n/Pages 12 0 R\n>>",
        "2 0 obj\n<< /ProcSet [/PDF /ImageB ]\n/XObject << /lm1 3 0 R\n/lm2 6 0 R\n/lm3 9 0 R\n>>\n>>",
        "4 0 obj\n<< /Length 32\n>>\nstream\nq\n595 0 0 446 0 396 cm\n/lm1 Do\nQ\nendstream",
        "5 0 obj\n<< /Type /Page\n/Resources 2 0 R\n/MediaBox [0 0 595 842 ]\n/Contents 4 0 R\n/Parent 12 0 R\n>>",
        "6 0 obj\n<< /Type /XObject\n/Subtype /Image\n/Length 10\n/ColorSpace /DeviceGray\n/BitsPerComponent 1\n"
        "/Width 13\n/Height 5\n>>",
        "7 0 obj\n<< /Length 32\n>>\nstream\nq\n842 0 0 323 0 867 cm\n/lm2 Do\nQ\nendstream",
        "8 0 obj\n<< /Type /Page\n/Resources 2 0 R\n/MediaBox [0 0 842 1190 ]\n/Contents 7 0 R\n/Parent 12 0 R\n>>",
        "10 0 obj\n<< /Length 32\n>>\nstream\nq\n842 0 0 631 0 559 cm\n/lm3 Do\nQ\nendstream",
        "11 0 obj\n<< /Type /Page\n/Resources 2 0 R\n/MediaBox [0 0 842 1190 ]\n/Contents 10 0 R\n/Parent 12 0 R\n>>",
        "12 0 obj\n<< /Type /Pages\n/Kids [5 0 R 8 0 R 11 0 R ]\n/Count 3\n>>",
        "13 0 obj\n<< /CreationDate (D:20240102030405)\n>>",
        "trailer\n<< /Size 14\n/Root 1 0 R\n/Info 13 0 R\n>>",
    };
    for (const char* object : expectedObjects) EXPECT_NE(text.find(object), std::string::npos) << object;
    // Objects appear in numbering order.
    std::size_t last = 0;
    for (int n = 1; n <= 13; ++n) {
        const auto at = text.find("\n" + std::to_string(n) + " 0 obj\n");
        ASSERT_NE(at, std::string::npos) << n;
        EXPECT_GT(at, last) << n;
        last = at;
    }
}

struct ImageCase {
    const char* name;
    bool oneBit;
    std::uint8_t code;
    std::string dictionary;     // the image dictionary, "Length" included
    std::uint8_t codeAfter;     // PDFCompression after the page
};

// The image dictionary of every layout and code: keys and their order.
TEST(PDFDocument, ImageDictionaryByLayoutAndCode) {
    const std::string gray = "/ColorSpace /DeviceGray\n/BitsPerComponent 1\n/Width 13\n/Height 5\n>>";
    const std::string rgb = "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n/Width 13\n/Height 5\n>>";
    const std::string head = "<< /Type /XObject\n/Subtype /Image\n/Length ";
    const std::string fax = "/DecodeParms << /K %\n/BlackIs1 true\n/Columns 13\n/Rows 5\n/EndOfLine false\n"
                            "/Uncompressed true\n/EncodedByteAlign false\n/EndOfBlock false\n>>\n";
    auto faxWith = [&](const char* k) { auto s = fax; s.replace(s.find('%'), 1, k); return s; };
    const ImageCase cases[] = {
        {"1-bit uncompressed", true, 0, head + "10\n" + gray, 0},
        {"1-bit run-length", true, 1, head + "#\n/Filter [/RunLengthDecode ]\n" + gray, 1},
        {"1-bit G4", true, 2, head + "#\n/Filter /CCITTFaxDecode\n" + faxWith("-1") + gray, 2},
        {"1-bit G3", true, 3, head + "#\n/Filter /CCITTFaxDecode\n" + faxWith("1") + gray, 3},
        {"1-bit JPEG becomes G3", true, 4, head + "#\n/Filter /CCITTFaxDecode\n" + faxWith("1") + gray, 3},
        {"1-bit LZW", true, 5, head + "#\n/Filter /LZWDecode\n" + gray, 5},
        {"1-bit code 6 uncompressed", true, 6, head + "10\n" + gray, 6},
        {"colour code 0", false, 0, head + "195\n" + rgb, 0},
        {"colour code 1", false, 1, head + "195\n" + rgb, 1},
        {"colour code 2", false, 2, head + "195\n" + rgb, 2},
        {"colour code 3", false, 3, head + "195\n" + rgb, 3},
        {"colour JPEG", false, 4, head + "#\n/Filter /DCTDecode\n" + rgb, 4},
        {"colour LZW", false, 5, head + "#\n/Filter /LZWDecode\n" + rgb, 5},
        {"colour code 7", false, 7, head + "195\n" + rgb, 7},
    };
    auto colour = test::ColourImage(13, 5, test::SlidePixel);
    auto bits = test::BitImage(13, 5, test::BitPixel);
    for (const auto& c : cases) {
        TImageParams params;
        params.PDFCompression = c.code;
        const std::string text = WriteDocument({c.oneBit ? bits.get() : colour.get()}, params);
        const auto begin = text.find("3 0 obj\n") + 8;
        std::string dictionary = text.substr(begin, text.find(">>\nstream", begin) + 2 - begin);
        // Encoded lengths vary with the encoder; the key order does not.
        if (c.dictionary.find('#') != std::string::npos)
            dictionary = std::regex_replace(dictionary, std::regex("/Length \\d+"), "/Length #");
        EXPECT_EQ(dictionary, c.dictionary) << c.name;
        EXPECT_EQ(params.PDFCompression, c.codeAfter) << c.name;
        EXPECT_EQ(params.BitsPerSample, c.oneBit ? 1 : 8) << c.name;
    }
}

TEST(PDFDocument, GreyJpegIsDeviceGray) {
    auto colour = test::ColourImage(16, 16, test::SlidePixel);
    TImageParams params;
    params.PDFCompression = 4;
    params.JpegColorSpace = 1;
    const std::string text = WriteDocument({colour.get()}, params);
    EXPECT_NE(text.find("/Filter /DCTDecode\n/ColorSpace /DeviceGray\n/BitsPerComponent 8\n"), std::string::npos);
}

TEST(PDFDocument, InformationStringsInOrderAndEscaped) {
    TImageParams params;
    params.PDFTitle = "Q3 (draft) \\ final";
    params.PDFProducer = "Pressmark";
    params.PDFAuthor = "Ann";
    EXPECT_NE(WriteDocument({}, params)
                  .find("4 0 obj\n<< /Title (Q3 \\(draft\\) \\\\ final)\n/Author (Ann)\n/Producer (Pressmark)\n"
                        "/CreationDate (D:20240102030405)\n>>\nendobj\n"),
              std::string::npos);
}

// An encoder error leaves the document with its earlier pages only.
TEST(PDFDocument, FailedPageIsMissingAndDocumentStillEnds) {
    auto colour = test::ColourImage(8, 6, test::SlidePixel);
    TImageParams params;
    params.PDFCompression = 5;
    auto document = PDFBeginDocument();
    TProgressRecord progress;
    PDFAddPage(*document, *colour, params, progress);
    params.LZWCompressor = [](const std::uint8_t*, std::size_t, ByteSink&, LZWEncoderState*&) {
        throw std::runtime_error("encoder failed");
    };
    EXPECT_THROW(PDFAddPage(*document, *colour, params, progress), std::runtime_error);
    EXPECT_EQ(document->Objects.size(), 5u);
    MemoryFile out;
    PDFEndDocument(std::move(document), out, params, FixedTime);
    EXPECT_NE(out.text().find("/Kids [5 0 R ]\n/Count 1\n"), std::string::npos);
}

}  // namespace
}  // namespace pressmark
