// Page fit: results derived by hand (exact ratio, then the one-point loss
// where the double quotient rounds low).
#include <gtest/gtest.h>

#include "pressmark/writers/page_fit.h"
#include "pressmark/writers/paper_sizes.h"

namespace pressmark {
namespace {

struct FitCase {
    const char* name;
    std::int32_t w, h, paperW, paperH, dw, dh;
};

TEST(FitImageToPaper, KnownSizes) {
    const FitCase cases[] = {
        {"A0", 800, 600, 2380, 3368, 2380, 1785},
        {"A1", 800, 600, 1684, 2380, 1683, 1262},
        {"A2", 800, 600, 1190, 1684, 1190, 892},
        {"A3", 800, 600, 842, 1190, 841, 631},
        {"A4", 800, 600, 595, 842, 595, 446},
        {"A5", 800, 600, 421, 595, 420, 315},
        {"A6", 800, 600, 297, 421, 297, 222},
        {"B5", 800, 600, 501, 709, 500, 375},
        {"letter", 800, 600, 612, 792, 612, 459},
        {"Legal", 800, 600, 612, 1008, 612, 459},
        {"ledger", 800, 600, 1224, 792, 1056, 792},
        {"11x17", 800, 600, 792, 1224, 791, 593},
        {"portrait on letter", 600, 800, 612, 792, 593, 791},
        {"1x10000 on A4: width raised to 1, height one short", 1, 10000, 595, 842, 1, 841},
        {"4x2 on A4", 4, 2, 595, 842, 595, 297},
    };
    for (const auto& c : cases) {
        std::int32_t dw = -5, dh = -5;
        FitImageToPaper(c.w, c.h, c.paperW, c.paperH, dw, dh);
        EXPECT_EQ(dw, c.dw) << c.name;
        EXPECT_EQ(dh, c.dh) << c.name;
    }
}

TEST(FitImageToPaper, ZeroSideLeavesResultsUntouched) {
    std::int32_t dw = 7, dh = 9;
    FitImageToPaper(0, 600, 595, 842, dw, dh);
    FitImageToPaper(800, 0, 595, 842, dw, dh);
    EXPECT_EQ(dw, 7);
    EXPECT_EQ(dh, 9);
}

TEST(PaperSizes, TableRowsInListOrder) {
    // The twelve rows of the program's paper list, in points.
    const std::tuple<const char*, int, int> expected[] = {
        {"A0", 2380, 3368}, {"A1", 1684, 2380}, {"A2", 1190, 1684}, {"A3", 842, 1190},
        {"A4", 595, 842},   {"A5", 421, 595},   {"A6", 297, 421},   {"B5", 501, 709},
        {"letter (8.5\"x11\")", 612, 792}, {"Legal (8.5\"x14\")", 612, 1008},
        {"ledger (17\"x11\")", 1224, 792}, {"11\"x17\"", 792, 1224},
    };
    ASSERT_EQ(std::size(expected), PaperSizes.size());
    for (std::size_t i = 0; i < PaperSizes.size(); ++i) {
        const auto& [name, w, h] = expected[i];
        EXPECT_EQ(PaperSizes[i].Name, name) << i;
        EXPECT_EQ(PaperSizes[i].Width, w) << name;
        EXPECT_EQ(PaperSizes[i].Height, h) << name;
    }
    // RLE, G3Fax, G4Fax, Jpeg map to PDF 1, 3, 2, 4 and PostScript 0, 2, 1, 3.
    const int pdf[] = {1, 3, 2, 4}, ps[] = {0, 2, 1, 3};
    for (std::size_t i = 0; i < CompressionChoices.size(); ++i) {
        EXPECT_EQ(CompressionChoices[i].PDFCode, pdf[i]) << CompressionChoices[i].Name;
        EXPECT_EQ(CompressionChoices[i].PSCode, ps[i]) << CompressionChoices[i].Name;
    }
}

}  // namespace
}  // namespace pressmark
