#pragma once
// The paper sizes and compression choices the conversion program offers,
// kept beside the writers so the program and its tests share one table.
#include <array>
#include <cstdint>
#include <string_view>

namespace pressmark {

struct TPaperSize {
    std::string_view Name;  // item text of the paper list
    std::int32_t Width;     // points (1/72 inch)
    std::int32_t Height;
};

inline constexpr std::array<TPaperSize, 12> PaperSizes{{
    {"A0", 2380, 3368},
    {"A1", 1684, 2380},
    {"A2", 1190, 1684},
    {"A3", 842, 1190},
    {"A4", 595, 842},
    {"A5", 421, 595},
    {"A6", 297, 421},
    {"B5", 501, 709},
    {"letter (8.5\"x11\")", 612, 792},
    {"Legal (8.5\"x14\")", 612, 1008},
    {"ledger (17\"x11\")", 1224, 792},
    {"11\"x17\"", 792, 1224},
}};
inline constexpr std::size_t DefaultPaperIndex = 4;  // A4, the writers' default paper
static_assert(PaperSizes[DefaultPaperIndex].Width == 595 && PaperSizes[DefaultPaperIndex].Height == 842);

// PDF compression codes (PDFCompression).
enum TPDFCompressionCode : std::uint8_t {
    pdfNone = 0,       // 1-bit uncompressed; 24-bit uncompressed RGB
    pdfRunLength = 1,  // 1-bit PackBits; 24-bit uncompressed RGB
    pdfG4 = 2,         // 1-bit CCITT Group 4; 24-bit uncompressed RGB
    pdfG3TwoD = 3,     // 1-bit CCITT Group 3 2-D; 24-bit uncompressed RGB
    pdfJpeg = 4,       // 1-bit treated as 3; 24-bit JPEG
    pdfLZW = 5,        // LZW for both
};

// PostScript compression codes (PSCompression).
enum TPSCompressionCode : std::uint8_t {
    psRunLength = 0,
    psG4 = 1,
    psG3TwoD = 2,
    psJpeg = 3,
};

// The compression list of the main window and the codes each item selects.
struct TCompressionChoice {
    std::string_view Name;
    std::uint8_t PDFCode;
    std::uint8_t PSCode;
};

inline constexpr std::array<TCompressionChoice, 4> CompressionChoices{{
    {"RLE", pdfRunLength, psRunLength},
    {"G3Fax", pdfG3TwoD, psG3TwoD},
    {"G4Fax", pdfG4, psG4},
    {"Jpeg", pdfJpeg, psJpeg},
}};

}  // namespace pressmark
