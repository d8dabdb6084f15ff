// CCITT Group 3 two-dimensional and Group 4 fax encoders.
//
// Quirks of this codec, kept because readers of our files rely on them:
// - Group 3 codes only the first row of an image one-dimensionally (tag bit
//   1); every later row is two-dimensional (tag 0), whatever K a reader is
//   told. EOLs are not byte-aligned and no fill precedes them.
// - Group 3 ends with a single EOL (no tag bit, not a six-EOL RTC), then 0
//   bits to the byte boundary. Group 4 ends with EOFB and the same fill.
// - Runs longer than 2560 repeat the 2560 extended make-up code; a run of
//   exactly 2560 is that code plus the terminating code for 0.
// - The changing-element searches skip whole bytes (and 8-byte words) of one
//   colour before they test single bits, and never look beyond `width`, so
//   bits past the width of a row never change the output.
// - Fill order 2 is produced by coding MSB-first and bit-reversing each
//   finished byte; the carried PendingByte is kept in output order.
#include "pressmark/imaging/ccitt.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "pressmark/imaging/bit_writer.h"
#include "pressmark/imaging/byte_sink.h"

namespace pressmark {
namespace {

// ---------------------------------------------------------------------------
// Code tables of T.4 (terminating codes 0-63, make-up codes 64-1728, and the
// extended make-up codes 1792-2560 common to both colours). Entry i < 64 is
// the terminating code for run i; entry 63 + k is the make-up code for 64 k.

struct Code {
    std::uint8_t length;  // bits
    std::uint16_t bits;   // code value, first bit most significant
    std::uint16_t run;    // run length covered
};

constexpr int kTableSize = 64 + 40;  // terminating codes, then make-up codes through 2560

constexpr std::array<Code, kTableSize> kWhiteCodes{{
    {8, 0b00110101, 0},   {6, 0b000111, 1},     {4, 0b0111, 2},       {4, 0b1000, 3},
    {4, 0b1011, 4},       {4, 0b1100, 5},       {4, 0b1110, 6},       {4, 0b1111, 7},
    {5, 0b10011, 8},      {5, 0b10100, 9},      {5, 0b00111, 10},     {5, 0b01000, 11},
    {6, 0b001000, 12},    {6, 0b000011, 13},    {6, 0b110100, 14},    {6, 0b110101, 15},
    {6, 0b101010, 16},    {6, 0b101011, 17},    {7, 0b0100111, 18},   {7, 0b0001100, 19},
    {7, 0b0001000, 20},   {7, 0b0010111, 21},   {7, 0b0000011, 22},   {7, 0b0000100, 23},
    {7, 0b0101000, 24},   {7, 0b0101011, 25},   {7, 0b0010011, 26},   {7, 0b0100100, 27},
    {7, 0b0011000, 28},   {8, 0b00000010, 29},  {8, 0b00000011, 30},  {8, 0b00011010, 31},
    {8, 0b00011011, 32},  {8, 0b00010010, 33},  {8, 0b00010011, 34},  {8, 0b00010100, 35},
    {8, 0b00010101, 36},  {8, 0b00010110, 37},  {8, 0b00010111, 38},  {8, 0b00101000, 39},
    {8, 0b00101001, 40},  {8, 0b00101010, 41},  {8, 0b00101011, 42},  {8, 0b00101100, 43},
    {8, 0b00101101, 44},  {8, 0b00000100, 45},  {8, 0b00000101, 46},  {8, 0b00001010, 47},
    {8, 0b00001011, 48},  {8, 0b01010010, 49},  {8, 0b01010011, 50},  {8, 0b01010100, 51},
    {8, 0b01010101, 52},  {8, 0b00100100, 53},  {8, 0b00100101, 54},  {8, 0b01011000, 55},
    {8, 0b01011001, 56},  {8, 0b01011010, 57},  {8, 0b01011011, 58},  {8, 0b01001010, 59},
    {8, 0b01001011, 60},  {8, 0b00110010, 61},  {8, 0b00110011, 62},  {8, 0b00110100, 63},
    // make-up codes
    {5, 0b11011, 64},         {5, 0b10010, 128},        {6, 0b010111, 192},
    {7, 0b0110111, 256},      {8, 0b00110110, 320},     {8, 0b00110111, 384},
    {8, 0b01100100, 448},     {8, 0b01100101, 512},     {8, 0b01101000, 576},
    {8, 0b01100111, 640},     {9, 0b011001100, 704},    {9, 0b011001101, 768},
    {9, 0b011010010, 832},    {9, 0b011010011, 896},    {9, 0b011010100, 960},
    {9, 0b011010101, 1024},   {9, 0b011010110, 1088},   {9, 0b011010111, 1152},
    {9, 0b011011000, 1216},   {9, 0b011011001, 1280},   {9, 0b011011010, 1344},
    {9, 0b011011011, 1408},   {9, 0b010011000, 1472},   {9, 0b010011001, 1536},
    {9, 0b010011010, 1600},   {6, 0b011000, 1664},      {9, 0b010011011, 1728},
    // extended make-up codes, common to both colours
    {11, 0b00000001000, 1792},  {11, 0b00000001100, 1856},  {11, 0b00000001101, 1920},
    {12, 0b000000010010, 1984}, {12, 0b000000010011, 2048}, {12, 0b000000010100, 2112},
    {12, 0b000000010101, 2176}, {12, 0b000000010110, 2240}, {12, 0b000000010111, 2304},
    {12, 0b000000011100, 2368}, {12, 0b000000011101, 2432}, {12, 0b000000011110, 2496},
    {12, 0b000000011111, 2560},
}};

constexpr std::array<Code, kTableSize> kBlackCodes{{
    {10, 0b0000110111, 0},      {3, 0b010, 1},              {2, 0b11, 2},
    {2, 0b10, 3},               {3, 0b011, 4},              {4, 0b0011, 5},
    {4, 0b0010, 6},             {5, 0b00011, 7},            {6, 0b000101, 8},
    {6, 0b000100, 9},           {7, 0b0000100, 10},         {7, 0b0000101, 11},
    {7, 0b0000111, 12},         {8, 0b00000100, 13},        {8, 0b00000111, 14},
    {9, 0b000011000, 15},       {10, 0b0000010111, 16},     {10, 0b0000011000, 17},
    {10, 0b0000001000, 18},     {11, 0b00001100111, 19},    {11, 0b00001101000, 20},
    {11, 0b00001101100, 21},    {11, 0b00000110111, 22},    {11, 0b00000101000, 23},
    {11, 0b00000010111, 24},    {11, 0b00000011000, 25},    {12, 0b000011001010, 26},
    {12, 0b000011001011, 27},   {12, 0b000011001100, 28},   {12, 0b000011001101, 29},
    {12, 0b000001101000, 30},   {12, 0b000001101001, 31},   {12, 0b000001101010, 32},
    {12, 0b000001101011, 33},   {12, 0b000011010010, 34},   {12, 0b000011010011, 35},
    {12, 0b000011010100, 36},   {12, 0b000011010101, 37},   {12, 0b000011010110, 38},
    {12, 0b000011010111, 39},   {12, 0b000001101100, 40},   {12, 0b000001101101, 41},
    {12, 0b000011011010, 42},   {12, 0b000011011011, 43},   {12, 0b000001010100, 44},
    {12, 0b000001010101, 45},   {12, 0b000001010110, 46},   {12, 0b000001010111, 47},
    {12, 0b000001100100, 48},   {12, 0b000001100101, 49},   {12, 0b000001010010, 50},
    {12, 0b000001010011, 51},   {12, 0b000000100100, 52},   {12, 0b000000110111, 53},
    {12, 0b000000111000, 54},   {12, 0b000000100111, 55},   {12, 0b000000101000, 56},
    {12, 0b000001011000, 57},   {12, 0b000001011001, 58},   {12, 0b000000101011, 59},
    {12, 0b000000101100, 60},   {12, 0b000001011010, 61},   {12, 0b000001100110, 62},
    {12, 0b000001100111, 63},
    // make-up codes
    {10, 0b0000001111, 64},       {12, 0b000011001000, 128},    {12, 0b000011001001, 192},
    {12, 0b000001011011, 256},    {12, 0b000000110011, 320},    {12, 0b000000110100, 384},
    {12, 0b000000110101, 448},    {13, 0b0000001101100, 512},   {13, 0b0000001101101, 576},
    {13, 0b0000001001010, 640},   {13, 0b0000001001011, 704},   {13, 0b0000001001100, 768},
    {13, 0b0000001001101, 832},   {13, 0b0000001110010, 896},   {13, 0b0000001110011, 960},
    {13, 0b0000001110100, 1024},  {13, 0b0000001110101, 1088},  {13, 0b0000001110110, 1152},
    {13, 0b0000001110111, 1216},  {13, 0b0000001010010, 1280},  {13, 0b0000001010011, 1344},
    {13, 0b0000001010100, 1408},  {13, 0b0000001010101, 1472},  {13, 0b0000001011010, 1536},
    {13, 0b0000001011011, 1600},  {13, 0b0000001100100, 1664},  {13, 0b0000001100101, 1728},
    // extended make-up codes, common to both colours
    {11, 0b00000001000, 1792},  {11, 0b00000001100, 1856},  {11, 0b00000001101, 1920},
    {12, 0b000000010010, 1984}, {12, 0b000000010011, 2048}, {12, 0b000000010100, 2112},
    {12, 0b000000010101, 2176}, {12, 0b000000010110, 2240}, {12, 0b000000010111, 2304},
    {12, 0b000000011100, 2368}, {12, 0b000000011101, 2432}, {12, 0b000000011110, 2496},
    {12, 0b000000011111, 2560},
}};

// Two-dimensional mode codes of T.4.
constexpr Code kPassCode{4, 0b0001, 0};
constexpr Code kHorizontalCode{3, 0b001, 0};
// Vertical codes indexed by a1 - b1 + 3: VL3, VL2, VL1, V0, VR1, VR2, VR3.
constexpr std::array<Code, 7> kVerticalCodes{{
    {7, 0b0000010, 0}, {6, 0b000010, 0}, {3, 0b010, 0}, {1, 0b1, 0},
    {3, 0b011, 0},     {6, 0b000011, 0}, {7, 0b0000011, 0},
}};
constexpr Code kEOL{12, 0b000000000001, 0};

// The tables must cover their runs in order, hold codes that fit their
// lengths, and (with EOL) form a prefix-free code per colour: a typo in a
// bit pattern almost always breaks one of these.
constexpr bool TableInOrder(const std::array<Code, kTableSize>& table) {
    for (int i = 0; i < kTableSize; ++i) {
        const int expected = i < 64 ? i : 64 * (i - 63);
        if (table[i].run != expected) return false;
        if (table[i].length < 2 || table[i].length > 13) return false;
        if (table[i].bits >= (1u << table[i].length)) return false;
    }
    return true;
}

constexpr bool IsPrefixOf(const Code& a, const Code& b) {
    return a.length <= b.length && (b.bits >> (b.length - a.length)) == a.bits;
}

constexpr bool PrefixFree(const std::array<Code, kTableSize>& table) {
    for (int i = 0; i <= kTableSize; ++i) {
        const Code& a = i < kTableSize ? table[i] : kEOL;
        for (int j = 0; j <= kTableSize; ++j) {
            const Code& b = j < kTableSize ? table[j] : kEOL;
            if (i != j && IsPrefixOf(a, b)) return false;
        }
    }
    return true;
}

static_assert(kWhiteCodes.size() == 104 && kBlackCodes.size() == 104);
static_assert(TableInOrder(kWhiteCodes) && TableInOrder(kBlackCodes));
static_assert(PrefixFree(kWhiteCodes), "white codes must be prefix-free");
static_assert(PrefixFree(kBlackCodes), "black codes must be prefix-free");
static_assert(kWhiteCodes[103].bits == kBlackCodes[103].bits && kWhiteCodes[103].run == 2560);

// ---------------------------------------------------------------------------
// Building blocks. The "buffer and bit position" of each block is a BitWriter.

constexpr int kWhite = 0;  // fax colours: a 0 bit is white, a 1 bit black
constexpr int kBlack = 1;

inline void PutBits(BitWriter& out, const Code& code) { out.put(code.bits, code.length); }

// Writes the codes for one run of `run` pixels of `colour`.
inline void PutRunLength(BitWriter& out, std::int32_t run, int colour) {
    const auto& table = colour == kWhite ? kWhiteCodes : kBlackCodes;
    while (run > 63) {
        const Code& makeUp = run > 2560 ? table[103] : table[63 + run / 64];
        PutBits(out, makeUp);
        run -= makeUp.run;
    }
    PutBits(out, table[run]);
}

inline int PixelAt(const std::uint8_t* row, std::int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// Search from p for colour c: the first position at or after p whose pixel
// has colour c, or `width` if there is none.
inline std::int32_t FindColour(const std::uint8_t* row, std::int32_t p, std::int32_t width, int colour) {
    if (p >= width) return width;
    // XOR turns the wanted colour into 1 bits, so a zero byte is all the other colour.
    const unsigned flip = colour == kBlack ? 0x00u : 0xFFu;
    const std::size_t lastByte = static_cast<std::size_t>(width - 1) >> 3;
    std::size_t i = static_cast<std::size_t>(p) >> 3;
    unsigned bits = (row[i] ^ flip) & (0xFFu >> (p & 7));
    while (bits == 0) {
        ++i;
        const std::uint64_t skipWord = flip != 0 ? ~std::uint64_t{0} : 0;
        while (i + 8 <= lastByte + 1) {
            std::uint64_t word;
            std::memcpy(&word, row + i, sizeof word);
            if (word != skipWord) break;
            i += 8;
        }
        while (i <= lastByte && static_cast<unsigned>(row[i]) == flip) ++i;
        if (i > lastByte) return width;
        bits = row[i] ^ flip;
    }
    const auto found = static_cast<std::int32_t>(i * 8) + std::countl_zero(static_cast<std::uint8_t>(bits));
    return std::min(found, width);
}

// Modified Huffman coding of one row: alternating white and black runs from
// pixel 0, the first (white) run coded even when it is empty.
void EncodeRowOneDim(const std::uint8_t* row, std::int32_t width, BitWriter& out) {
    std::int32_t x = 0;
    int colour = kWhite;
    do {
        const std::int32_t end = FindColour(row, x, width, 1 - colour);
        PutRunLength(out, end - x, colour);
        x = end;
        colour = 1 - colour;
    } while (x < width);
}

// Two-dimensional coding of one row, following the coding procedure of T.4
// (figure 7): a0 is the reference element on the coding line, a1 and a2 the
// next changing elements; b1 and b2 the changing elements on the reference
// line. a0 = -1 is the imaginary white element before the row.
void EncodeRowTwoDim(const std::uint8_t* row, const std::uint8_t* referenceRow, std::int32_t width,
                     BitWriter& out) {
    std::int32_t a0 = -1;
    int a0Colour = kWhite;
    std::int32_t a1 = FindColour(row, 0, width, kBlack);
    std::int32_t b1 = FindColour(referenceRow, 0, width, kBlack);
    for (;;) {
        const int b1Colour = b1 < width ? PixelAt(referenceRow, b1) : kWhite;
        const std::int32_t b2 = FindColour(referenceRow, b1, width, 1 - b1Colour);
        if (b2 < a1) {
            PutBits(out, kPassCode);  // pass mode: a0 moves under b2, keeping its colour
            a0 = b2;
        } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
            PutBits(out, kVerticalCodes[a1 - b1 + 3]);
            a0 = a1;
            a0Colour = 1 - a0Colour;
        } else {
            const std::int32_t a2 = FindColour(row, a1, width, a0Colour);
            PutBits(out, kHorizontalCode);
            PutRunLength(out, a1 - std::max(a0, 0), a0Colour);
            PutRunLength(out, a2 - a1, 1 - a0Colour);
            a0 = a2;
        }
        if (a0 >= width) return;
        a1 = FindColour(row, a0, width, 1 - a0Colour);
        b1 = FindColour(referenceRow, FindColour(referenceRow, a0, width, a0Colour), width, 1 - a0Colour);
    }
}

// ---------------------------------------------------------------------------
// One call: carried bits in, row step, whole bytes out, last bits carried.

constexpr std::array<std::uint8_t, 256> MakeBitReversal() {
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        int r = 0;
        for (int b = 0; b < 8; ++b) r |= ((i >> b) & 1) << (7 - b);
        table[i] = static_cast<std::uint8_t>(r);
    }
    return table;
}
constexpr auto kBitReversal = MakeBitReversal();

std::size_t RowBytes(std::int32_t width) { return width > 0 ? (static_cast<std::size_t>(width) + 7) / 8 : 0; }

// Worst case of one call: 12 bytes per started group of 8 pixels (horizontal
// mode over single-pixel runs), plus the carried bits, two EOLs, a tag bit
// and the final fill.
std::size_t ScratchBytes(std::int32_t width) { return 12 * RowBytes(width) + 16; }

// Makes ReferenceRow hold at least the bytes of a `width`-pixel row, sized
// as a 32-bit padded row. A new or grown part is white (0 bytes): that is the
// row above the first one for Group 4.
void EnsureReference(CCITTEncoderState& state, std::int32_t width) {
    const std::size_t bytes = (RowBytes(width) + 3) / 4 * 4;
    if (state.ReferenceRow && state.ReferenceRowBytes >= bytes) return;
    auto grown = std::make_unique<std::uint8_t[]>(std::max<std::size_t>(bytes, 4));
    if (state.ReferenceRow) std::memcpy(grown.get(), state.ReferenceRow.get(), state.ReferenceRowBytes);
    state.ReferenceRow = std::move(grown);
    state.ReferenceRowBytes = std::max<std::size_t>(bytes, 4);
}

// Copies the row into the reference row. Only the bytes holding the first
// `width` pixels are read: the searches never look further.
void KeepAsReference(CCITTEncoderState& state, const std::uint8_t* row, std::int32_t width) {
    EnsureReference(state, width);
    std::memcpy(state.ReferenceRow.get(), row, RowBytes(width));
}

void ReleaseReference(CCITTEncoderState& state) {
    state.ReferenceRow.reset();
    state.ReferenceRowBytes = 0;
}

template <typename RowStep>
void EncodeCall(std::int32_t width, ByteSink& stream, CCITTEncoderState& state, std::uint8_t* abortFlag,
                int fillOrder, RowStep rowStep) {
    const bool lsbFirst = fillOrder == kFillLsbFirst;
    const std::size_t needed = ScratchBytes(width);
    if (state.Scratch.size() < needed) state.Scratch.resize(needed);

    BitWriter out(state.Scratch.data());
    if (state.PendingBitCount > 0) {
        const int count = std::min<int>(state.PendingBitCount, 7);
        const std::uint8_t pending = lsbFirst ? kBitReversal[state.PendingByte] : state.PendingByte;
        out.put(pending >> (8 - count), count);
        state.PendingBitCount = 0;
        state.PendingByte = 0;
    }
    rowStep(out);

    const std::size_t bits = out.bitCount();
    const std::size_t whole = bits / 8;
    out.finish();
    std::uint8_t* data = state.Scratch.data();
    if (lsbFirst) {
        for (std::size_t i = 0; i < (bits + 7) / 8; ++i) data[i] = kBitReversal[data[i]];
    }
    if (bits % 8 != 0) {
        state.PendingBitCount = static_cast<std::int32_t>(bits % 8);
        state.PendingByte = data[whole];
    }
    if (whole > 0 && stream.write(data, whole) < whole && abortFlag != nullptr) *abortFlag = 1;
}

}  // namespace

void EncodeRowG3TwoD(const std::uint8_t* row, std::int32_t width, ByteSink& stream, CCITTEncoderState& state,
                     std::uint8_t* abortFlag, int fillOrder) {
    width = std::max<std::int32_t>(width, 0);
    if (row == nullptr) {
        EncodeCall(0, stream, state, abortFlag, fillOrder, [&](BitWriter& out) {
            if (!state.ReferenceRow) {  // closing an image without rows
                PutBits(out, kEOL);
                out.put(1, 1);
            }
            PutBits(out, kEOL);
            out.alignToByte();
        });
        ReleaseReference(state);
        return;
    }
    EncodeCall(width, stream, state, abortFlag, fillOrder, [&](BitWriter& out) {
        PutBits(out, kEOL);
        if (!state.ReferenceRow) {
            out.put(1, 1);  // tag: one-dimensional row
            EncodeRowOneDim(row, width, out);
        } else {
            out.put(0, 1);  // tag: two-dimensional row
            EnsureReference(state, width);
            EncodeRowTwoDim(row, state.ReferenceRow.get(), width, out);
        }
    });
    KeepAsReference(state, row, width);
}

void EncodeRowG4(const std::uint8_t* row, std::int32_t width, ByteSink& stream, CCITTEncoderState& state,
                 std::uint8_t* abortFlag, int fillOrder) {
    width = std::max<std::int32_t>(width, 0);
    if (row == nullptr) {
        EncodeCall(0, stream, state, abortFlag, fillOrder, [&](BitWriter& out) {
            PutBits(out, kEOL);  // EOFB: two EOLs
            PutBits(out, kEOL);
            out.alignToByte();
        });
        ReleaseReference(state);
        return;
    }
    EnsureReference(state, width);
    EncodeCall(width, stream, state, abortFlag, fillOrder, [&](BitWriter& out) {
        EncodeRowTwoDim(row, state.ReferenceRow.get(), width, out);
    });
    KeepAsReference(state, row, width);
}

}  // namespace pressmark
