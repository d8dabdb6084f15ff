// The page spool: a document whose pages wait in a spool file is written
// byte for byte as the same document kept in memory, holds none of its
// stream data in memory, and a spool the system refuses surfaces as a
// write error naming the document, with the document still whole.
#include <gtest/gtest.h>


#include "pressmark/imaging/errors.h"
#include "pressmark/imaging/image_params.h"
#include "pressmark/writers/pdf_document.h"
#include "pressmark/writers/pdf_spool.h"
#include "test_support.h"

namespace pressmark {
namespace {

using test::FixedTime;
using test::TempDir;

struct PageSpec {
    TRasterImage* image;
    std::uint8_t code;
};

std::string WriteDocument(const std::vector<PageSpec>& pages, std::shared_ptr<PDFSpool> spool,
                          std::uint64_t* held = nullptr, std::uint64_t budget = 0) {
    TImageParams params;
    auto document = PDFBeginDocument(std::move(spool), budget);
    for (const auto& page : pages) {
        params.PDFCompression = page.code;
        TProgressRecord progress;
        PDFAddPage(*document, *page.image, params, progress);
    }
    if (held) *held = PDFHeldStreamBytes(*document);
    MemoryFile out;
    PDFEndDocument(std::move(document), out, params, FixedTime);
    return std::string(out.text());
}

// Every compression of both layouts, repeated so that the spool holds many
// pages and reads each back from the right place.
TEST(PDFSpool, SpooledDocumentIsByteForByteTheDocumentInMemory) {
    auto colour = test::ColourImage(120, 90, test::SlidePixel);
    auto smooth = test::ColourImage(64, 48, test::SmoothSlidePixel);
    auto bits = test::BitImage(101, 37, test::BitPixel);
    std::vector<PageSpec> pages;
    for (int round = 0; round < 4; ++round)
        for (const std::uint8_t code : {0, 1, 2, 3, 4, 5})
            for (TRasterImage* image : {colour.get(), smooth.get(), bits.get()}) pages.push_back({image, code});

    std::uint64_t heldInMemory = 0;
    const std::string inMemory = WriteDocument(pages, nullptr, &heldInMemory);

    // With no budget every page is spooled; with one, the first pages stay
    // in memory and the rest are spooled.
    const struct {
        const char* name;
        std::uint64_t budget;
    } cases[] = {{"everything spooled", 0}, {"first pages in memory", 200'000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        auto spool = std::make_shared<PDFSpool>(folder.path().string(), "deck.pdf");
        std::uint64_t held = 0;
        const std::string spooled = WriteDocument(pages, spool, &held, c.budget);
        ASSERT_EQ(spooled.size(), inMemory.size());
        EXPECT_TRUE(spooled == inMemory);
        EXPECT_LE(held, c.budget);
        EXPECT_GT(held + 50'000, c.budget);  // the budget is used, not ignored
        // What memory does not hold, the spool does: at least the 16
        // uncompressed 120 x 90 colour pages (codes 0 to 3 keep colour raw)
        // less the budget.
        EXPECT_GE(heldInMemory, spool->Size() + held);
        EXPECT_GT(spool->Size() + c.budget, 16u * 120 * 90 * 3);
        // The spool has no name in its folder.
        EXPECT_TRUE(folder.Files().empty());
    }
}

TEST(PDFSpool, MissingFolderNamesTheDocumentAndTheFolder) {
    TempDir folder;
    const std::string missing = folder / "no/such";
    try {
        PDFSpool spool(missing, "deck.pdf");
        ADD_FAILURE() << "no error";
    } catch (const WriteError& e) {
        EXPECT_EQ(e.file(), "deck.pdf");
        EXPECT_NE(e.reason().find(missing), std::string::npos) << e.what();
        EXPECT_NE(e.reason().find("No such file or directory"), std::string::npos) << e.what();
    }
}

// The file size limit stands in for a full disk under the spool. The page
// that does not fit is left out; the pages before it are written as if
// nothing had happened.
TEST(PDFSpool, RefusedSpoolWriteLeavesTheDocumentWithItsEarlierPages) {
    auto colour = test::ColourImage(200, 150, test::SlidePixel);  // 90,000 bytes uncompressed
    TempDir folder;
    auto spool = std::make_shared<PDFSpool>(folder.path().string(), "deck.pdf");
    TImageParams params;
    params.PDFCompression = 1;
    auto document = PDFBeginDocument(spool);
    TProgressRecord progress;
    PDFAddPage(*document, *colour, params, progress);

    bool refused = false;
    {
        test::FileSizeLimit limit(150'000);
        ASSERT_TRUE(limit.active());
        try {
            PDFAddPage(*document, *colour, params, progress);
        } catch (const WriteError& e) {
            refused = true;
            EXPECT_EQ(e.file(), "deck.pdf");
            EXPECT_NE(e.reason().find("spool"), std::string::npos) << e.what();
            EXPECT_NE(e.reason().find("too large"), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(refused);

    MemoryFile out;
    PDFEndDocument(std::move(document), out, params, FixedTime);
    const std::string onePage = WriteDocument({{colour.get(), 1}}, nullptr);
    EXPECT_TRUE(std::string(out.text()) == onePage);
}

}  // namespace
}  // namespace pressmark
