// PackBits, ASCII85, LZW and the pixel-order helpers: the worked examples
// byte for byte, and larger inputs decoded back by qpdf and mutool.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "pressmark/imaging/ascii85.h"
#include "pressmark/imaging/byte_sink.h"
#include "pressmark/imaging/image_params.h"
#include "pressmark/imaging/lzw.h"
#include "pressmark/imaging/packbits.h"
#include "pressmark/imaging/pixel_order.h"
#include "test_support.h"

namespace pressmark {
namespace {

using testing::Bytes;

Bytes Repeat(std::uint8_t b, std::size_t n) { return Bytes(n, b); }
Bytes Distinct(std::size_t n) {
    Bytes v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i);
    return v;
}
Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes PackBits(const Bytes& in) {
    // Guard bytes after the worst case show any write past it.
    Bytes out(PackBitsMaxEncodedSize(in.size()) + 16, 0xEE);
    const std::size_t n = PackBitsEncode(in.data(), in.size(), out.data());
    EXPECT_LE(n, PackBitsMaxEncodedSize(in.size()));
    EXPECT_TRUE(std::all_of(out.begin() + static_cast<long>(PackBitsMaxEncodedSize(in.size())), out.end(),
                            [](std::uint8_t b) { return b == 0xEE; }));
    out.resize(n);
    return out;
}

Bytes ASCII85(const Bytes& in, std::int64_t* counter = nullptr) {
    Bytes out(ASCII85MaxEncodedSize(in.size()));
    std::int64_t count = 0;
    out.resize(ASCII85Encode(in.data(), in.size(), out.data(), count));
    if (counter) *counter = count;
    return out;
}

// Feeds `in` to the LZW compressor in pieces of the given sizes (the rest in one).
Bytes LZW(const Bytes& in, std::initializer_list<std::size_t> pieces = {}) {
    MemorySink sink;
    LZWEncoderState* state = nullptr;
    LZWStateGuard guard(state);
    std::size_t at = 0;
    for (std::size_t piece : pieces) {
        piece = std::min(piece, in.size() - at);
        if (piece == 0) continue;
        LZWCompress(in.data() + at, piece, sink, state);
        at += piece;
    }
    if (at < in.size()) LZWCompress(in.data() + at, in.size() - at, sink, state);
    LZWCompress(nullptr, 0, sink, state);
    EXPECT_EQ(state, nullptr);
    return sink.release();
}

TEST(PackBits, WorkedExamples) {
    struct Case { const char* name; Bytes in; Bytes out; };
    const Case cases[] = {
        {"one byte", {0x41}, {0x00, 0x41, 0x80}},
        {"two equal", {0x41, 0x41}, {0xFF, 0x41, 0x80}},
        {"two different", {0x41, 0x42}, {0x01, 0x41, 0x42, 0x80}},
        {"literal then run of 3", {0x41, 0x42, 0x43, 0x43, 0x43}, {0x02, 0x41, 0x42, 0x43, 0xFF, 0x43, 0x80}},
        {"pair split", {0x41, 0x42, 0x43, 0x43, 0x44}, {0x02, 0x41, 0x42, 0x43, 0x01, 0x43, 0x44, 0x80}},
        {"130 equal", Repeat(0x41, 130), {0x81, 0x41, 0xFF, 0x41, 0x80}},
        {"130 distinct", Distinct(130), Concat({{0x7F}, Distinct(128), {0x01, 128, 129}, {0x80}})},
        {"empty", {}, {0x80}},
    };
    for (const auto& c : cases) EXPECT_EQ(PackBits(c.in), c.out) << c.name;
}

TEST(ASCII85, WorkedExamples) {
    struct Case { const char* name; Bytes in; std::string out; std::int64_t counter; };
    Bytes sixty(60), fiftySix(56);
    for (std::size_t i = 0; i < 60; ++i) sixty[i] = static_cast<std::uint8_t>(i + 1);
    std::copy_n(sixty.begin(), 56, fiftySix.begin());
    std::int64_t counter = 0;
    const std::string sixtyText = std::string(reinterpret_cast<const char*>(ASCII85(sixty).data()), 75);
    const Case cases[] = {
        {"four zeros", {0, 0, 0, 0}, "z~>\r\n", 1},
        {"00 00 00 01", {0, 0, 0, 1}, "!!!!\"~>\r\n", 5},
        {"single FF", {0xFF}, "rr~>\r\n", 2},
        {"six zeros", Bytes(6, 0), "z!!!~>\r\n", 4},
        {"Man ", Text("Man "), "9jqo^~>\r\n", 5},
        {"60 bytes: one full line", sixty, sixtyText + "\r\n~>\r\n", 75},
    };
    for (const auto& c : cases) {
        const Bytes out = ASCII85(c.in, &counter);
        EXPECT_EQ(std::string(out.begin(), out.end()), c.out) << c.name;
        EXPECT_EQ(counter, c.counter) << c.name;
    }
    const Bytes out56 = ASCII85(fiftySix);
    ASSERT_EQ(out56.size(), 74u);
    EXPECT_EQ(std::string(out56.begin() + 70, out56.end()), "~>\r\n");
    EXPECT_EQ(std::count(out56.begin(), out56.end(), '\n'), 1);
}

TEST(ASCII85, ZeroGroupsLengthenALine) {
    // 14 "z" groups then five-character groups: the break comes at >= 75.
    Bytes in(14 * 4, 0);
    for (int i = 0; i < 16; ++i) in.insert(in.end(), {1, 2, 3, 4});
    const Bytes out = ASCII85(in);
    const std::string text(out.begin(), out.end());
    EXPECT_EQ(text.find("\r\n"), 14u + 13 * 5);  // 79 characters
}

TEST(LZW, OneByteGivesTheHandDerivedCodes) {
    // 9-bit codes 256, 65, 257: 100000000 001000001 100000001 + 5 zero bits.
    EXPECT_EQ(LZW({0x41}), (Bytes{0x80, 0x10, 0x60, 0x20}));
}

TEST(LZW, DefaultCompressorOfANewRecordIsLZWCompress) {
    EXPECT_EQ(TImageParams().LZWCompressor, &LZWCompress);
}

TEST(PixelOrder, SwapAndCopyReverseEachPixel) {
    Bytes buffer{1, 2, 3, 4, 5, 6, 7, 8, 9};
    const Bytes expected{3, 2, 1, 6, 5, 4, 9, 8, 7};
    Bytes copy(9);
    CopyBGRToRGB(copy.data(), buffer.data(), 3);
    EXPECT_EQ(copy, expected);
    SwapBGRToRGB(buffer.data(), 3);
    EXPECT_EQ(buffer, expected);
}

// ---------------------------------------------------------------------------
// Independent decoders: the encoded bytes become the stream of a minimal PDF
// that qpdf and mutool decode with their own filters.

Bytes MinimalPdf(const std::string& filter, const Bytes& data) {
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    auto object = [&](const std::string& body) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [] /Count 0 >>");
    object("<< /Length " + std::to_string(data.size()) + " /Filter /" + filter + " >>\nstream\n" +
           std::string(data.begin(), data.end()) + "\nendstream");
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 4\n0000000000 65535 f \n";
    for (std::size_t off : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
        pdf += line;
    }
    pdf += "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return Text(pdf);
}

struct Decoded { Bytes qpdf; Bytes mutool; };
Decoded DecodeWithPeers(const std::string& filter, const Bytes& encoded) {
    testing::ScratchDir dir;
    const auto file = dir / "stream.pdf";
    testing::WriteFile(file, MinimalPdf(filter, encoded));
    bool okQpdf = false, okMutool = false;
    Decoded d;
    d.qpdf = testing::RunCapture("qpdf --show-object=3 --filtered-stream-data '" + file.string() + "' 2>/dev/null", &okQpdf);
    d.mutool = testing::RunCapture("mutool show -b '" + file.string() + "' 3 2>/dev/null", &okMutool);
    EXPECT_TRUE(okQpdf) << filter;
    EXPECT_TRUE(okMutool) << filter;
    return d;
}

Bytes RandomBytes(std::size_t n, unsigned seed, int alphabet = 256) {
    std::mt19937 engine(seed);
    std::uniform_int_distribution<int> draw(0, alphabet - 1);
    Bytes v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(draw(engine));
    return v;
}

// Text-like input with long repeats, so that the table grows through every width.
Bytes Compressible(std::size_t n) {
    Bytes v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>("slide 800 x 600 "[i % 16] ^ ((i / 997) & 3));
    return v;
}

struct PeerCase { const char* name; Bytes input; };
std::vector<PeerCase> PeerCases() {
    return {
        {"one byte", {0x41}},
        {"rows of a page", Compressible(30000)},
        {"random 6000 (clears the LZW table)", RandomBytes(6000, 1)},
        {"runs and literals", Concat({Repeat(0, 300), Distinct(256), Repeat(0xFF, 129), RandomBytes(500, 2, 3)})},
    };
}

TEST(PeerDecoders, PackBitsDecodesBackExactly) {
    for (const auto& c : PeerCases()) {
        const Decoded d = DecodeWithPeers("RunLengthDecode", PackBits(c.input));
        EXPECT_EQ(d.qpdf, c.input) << c.name;
        EXPECT_EQ(d.mutool, c.input) << c.name;
    }
}

TEST(PeerDecoders, ASCII85DecodesBackExactly) {
    for (const auto& c : PeerCases()) {
        const Decoded d = DecodeWithPeers("ASCII85Decode", ASCII85(c.input));
        EXPECT_EQ(d.qpdf, c.input) << c.name;
        EXPECT_EQ(d.mutool, c.input) << c.name;
    }
}

TEST(PeerDecoders, LZWDecodesBackExactlyInOneOrManyCalls) {
    for (const auto& c : PeerCases()) {
        for (const auto& pieces : {std::initializer_list<std::size_t>{}, {1, 1, 7, 2400, 1, 3000}}) {
            const Decoded d = DecodeWithPeers("LZWDecode", LZW(c.input, pieces));
            EXPECT_EQ(d.qpdf, c.input) << c.name << " in " << pieces.size() + 1 << " calls";
            EXPECT_EQ(d.mutool, c.input) << c.name << " in " << pieces.size() + 1 << " calls";
        }
    }
}

TEST(LZW, PiecesDoNotChangeTheCodeStream) {
    const Bytes input = RandomBytes(9000, 3, 16);
    EXPECT_EQ(LZW(input, {5, 4000, 1, 1, 17}), LZW(input));
}

}  // namespace
}  // namespace pressmark
