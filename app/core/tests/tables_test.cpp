#include <gtest/gtest.h>

#include "pressmark/app/tables.h"

namespace pressmark {
namespace {

TEST(Tables, PaperNamesMapToTheirSizes) {
    // Sizes in points as the paper list gives them, from outside the code.
    struct Case { const char* name; int width, height; };
    const Case cases[] = {{"A0", 2380, 3368}, {"a1", 1684, 2380}, {"A2", 1190, 1684}, {"A3", 842, 1190},
                          {"A4", 595, 842},   {"A5", 421, 595},   {"A6", 297, 421},   {"b5", 501, 709},
                          {"letter", 612, 792}, {"Legal", 612, 1008}, {"ledger", 1224, 792},
                          {"11x17", 792, 1224}, {"tabloid", 792, 1224}, {"letter (8.5\"x11\")", 612, 792}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto index = FindPaperIndex(c.name);
        ASSERT_TRUE(index.has_value());
        EXPECT_EQ(PaperSizes[static_cast<std::size_t>(*index)].Width, c.width);
        EXPECT_EQ(PaperSizes[static_cast<std::size_t>(*index)].Height, c.height);
    }
    EXPECT_FALSE(FindPaperIndex("A7"));
    EXPECT_FALSE(FindPaperIndex(""));
}

TEST(Tables, CompressionNamesMapToEachFormatsCode) {
    // PDF: 1 run-length, 3 G3 2-D, 2 G4, 4 JPEG; PostScript: 0, 2, 1, 3.
    struct Case { const char* name; int pdf, ps; };
    const Case cases[] = {{"rle", 1, 0}, {"RLE", 1, 0}, {"g3", 3, 2}, {"G3Fax", 3, 2},
                          {"g4", 2, 1},  {"g4fax", 2, 1}, {"jpeg", 4, 3}, {"Jpeg", 4, 3}, {"jpg", 4, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto index = FindCompressionIndex(c.name);
        ASSERT_TRUE(index.has_value());
        EXPECT_EQ(CompressionCode(TOutputFormat::PDF, *index), c.pdf);
        EXPECT_EQ(CompressionCode(TOutputFormat::PostScript, *index), c.ps);
    }
    EXPECT_FALSE(FindCompressionIndex("lzw"));
    EXPECT_THROW(CompressionCode(TOutputFormat::PDF, 4), std::out_of_range);
    EXPECT_EQ(FindOutputFormat("PS"), TOutputFormat::PostScript);
    EXPECT_EQ(FindOutputFormat("pdf"), TOutputFormat::PDF);
    EXPECT_FALSE(FindOutputFormat("tiff"));
}

}  // namespace
}  // namespace pressmark
