// JPEG encoder: every stream is decoded again with libjpeg (an independent
// reader of the file, not our code) and checked for size, components,
// colour order, quality floor, header fields, markers and truncation.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "pressmark/imaging/byte_sink.h"
#include "pressmark/imaging/errors.h"
#include "pressmark/imaging/image_params.h"
#include "pressmark/imaging/jpeg_encoder.h"
#include "pressmark/imaging/raster_image.h"

namespace pressmark {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    int r, g, b;
};

// ---------------------------------------------------------------------------
// Decoding with libjpeg

struct Header {  // plain data: filled inside the setjmp frame
    bool ok;
    char error[JMSG_LENGTH_MAX];
    int width, height, components;
    J_COLOR_SPACE colorSpace;
    bool jfif, adobe, progressive;
    int densityUnit, xDensity, yDensity;
    int hSampling[4], vSampling[4];
};

struct DecodeError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char* message;
};

void DecodeErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<DecodeError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

struct Decoded {
    Header header{};
    Bytes pixels;  // RGB, grey or (Adobe-inverted) CMYK samples as stored
    std::vector<std::pair<int, Bytes>> markers;  // APPn and COM markers in file order
};

// The only frame with setjmp; everything libjpeg may jump over is plain data.
bool DecodeGuarded(jpeg_decompress_struct& cinfo, DecodeError& err, const Bytes& data, Header& header,
                   std::vector<std::pair<int, Bytes>>& markers, std::uint8_t* pixels, std::size_t capacity) {
    if (setjmp(err.jump) != 0) return false;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    for (int m = 0; m < 16; ++m) jpeg_save_markers(&cinfo, JPEG_APP0 + m, 0xFFFF);
    jpeg_save_markers(&cinfo, JPEG_COM, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    header.width = static_cast<int>(cinfo.image_width);
    header.height = static_cast<int>(cinfo.image_height);
    header.components = cinfo.num_components;
    header.colorSpace = cinfo.jpeg_color_space;
    header.jfif = cinfo.saw_JFIF_marker;
    header.adobe = cinfo.saw_Adobe_marker;
    header.progressive = cinfo.progressive_mode;
    header.densityUnit = cinfo.density_unit;
    header.xDensity = cinfo.X_density;
    header.yDensity = cinfo.Y_density;
    for (int c = 0; c < cinfo.num_components && c < 4; ++c) {
        header.hSampling[c] = cinfo.comp_info[c].h_samp_factor;
        header.vSampling[c] = cinfo.comp_info[c].v_samp_factor;
    }
    if (pixels == nullptr) return true;  // header only
    // Saved markers live until the decompressor finishes: copy them now.
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next)
        markers.emplace_back(m->marker, Bytes(m->data, m->data + m->data_length));
    cinfo.out_color_space = cinfo.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE
                            : cinfo.num_components == 4           ? JCS_CMYK
                                                                  : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = static_cast<std::size_t>(cinfo.output_width) * cinfo.output_components;
    while (cinfo.output_scanline < cinfo.output_height) {
        if ((cinfo.output_scanline + 1) * stride > capacity) return false;
        JSAMPROW row = pixels + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

Decoded Decode(const Bytes& data) {
    Decoded out;
    for (int pass = 0; pass < 2; ++pass) {  // header first, to size the pixel buffer
        jpeg_decompress_struct cinfo{};
        DecodeError err{};
        err.message = out.header.error;
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = DecodeErrorExit;
        out.header.ok = DecodeGuarded(cinfo, err, data, out.header, out.markers,
                                      pass == 0 ? nullptr : out.pixels.data(), out.pixels.size());
        jpeg_destroy_decompress(&cinfo);
        if (!out.header.ok) break;
        if (pass == 0) {
            const int samples = out.header.colorSpace == JCS_GRAYSCALE ? 1 : out.header.components == 4 ? 4 : 3;
            out.pixels.resize(static_cast<std::size_t>(out.header.width) * out.header.height * samples);
        }
    }
    return out;
}

// The colour a reader shows for pixel (x, y); CMYK as Adobe applications store it.
Rgb ShownColour(const Decoded& d, int x, int y) {
    const std::size_t i = static_cast<std::size_t>(y) * d.header.width + x;
    const auto& p = d.pixels;
    if (d.header.colorSpace == JCS_GRAYSCALE) return {p[i], p[i], p[i]};
    if (d.header.components == 4) {
        const int k = p[i * 4 + 3];
        return {p[i * 4] * k / 255, p[i * 4 + 1] * k / 255, p[i * 4 + 2] * k / 255};
    }
    return {p[i * 3], p[i * 3 + 1], p[i * 3 + 2]};
}

bool EndsWithEOI(const Bytes& data) { return data.size() >= 2 && data[data.size() - 2] == 0xFF && data.back() == 0xD9; }

// Offset of the first marker FF <code> after the start-of-image, or npos.
std::size_t FindMarker(const Bytes& data, std::uint8_t code) {
    for (std::size_t i = 2; i + 3 < data.size();) {
        if (data[i] != 0xFF) return std::string::npos;
        if (data[i + 1] == code) return i;
        if (data[i + 1] == 0xDA) return std::string::npos;  // scan data follows
        i += 2 + (static_cast<std::size_t>(data[i + 2]) << 8 | data[i + 3]);
    }
    return std::string::npos;
}

// ---------------------------------------------------------------------------
// Test images and encoding

// A slide-like picture: smooth two-way gradient, a soft disc, a few bars.
Rgb Slide(int x, int y, int w, int h) {
    int r = 40 + 150 * x / w, g = 60 + 120 * y / h, b = 200 - 120 * x / w;
    const double dx = x - w * 0.6, dy = y - h * 0.4, d = std::sqrt(dx * dx + dy * dy) / (h * 0.25);
    if (d < 1.0) {
        const double t = std::min(1.0, (1.0 - d) * 4.0);
        r = static_cast<int>(r + (230 - r) * t), g = static_cast<int>(g + (200 - g) * t);
        b = static_cast<int>(b + (40 - b) * t);
    }
    if (y % 60 >= 40 && y % 60 < 48 && x > w / 10 && x < w / 2) r = g = b = 250;
    return {r, g, b};
}

// Quadrants: red, green, blue, white.
Rgb Quadrants(int x, int y, int w, int h) {
    if (y < h / 2) return x < w / 2 ? Rgb{255, 0, 0} : Rgb{0, 255, 0};
    return x < w / 2 ? Rgb{0, 0, 255} : Rgb{255, 255, 255};
}

template <typename Paint>
void Fill(TRasterImage& image, int w, int h, Paint paint) {
    image.Allocate(w, h, plRGB24);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = image.RowAddress(y);
        for (int x = 0; x < w; ++x) {
            const Rgb c = paint(x, y, w, h);
            row[x * 3] = static_cast<std::uint8_t>(c.b);  // blue, green, red in memory
            row[x * 3 + 1] = static_cast<std::uint8_t>(c.g);
            row[x * 3 + 2] = static_cast<std::uint8_t>(c.r);
        }
    }
}

struct Encoding {
    Bytes data;
    std::uint8_t abortFlag = 0;
    std::vector<int> percents;
};

Encoding Encode(TRasterImage& image, TImageParams& params) {
    Encoding out;
    MemorySink sink;
    TProgressRecord progress;
    progress.AbortFlag = &out.abortFlag;
    progress.OnProgress = [&out](void*, int percent) { out.percents.push_back(percent); };
    EncodeJpegToStream(sink, image, params, progress);
    out.data = sink.release();
    return out;
}

double Psnr(TRasterImage& source, const Decoded& decoded) {
    double sum = 0;
    const int w = source.Width(), h = source.Height();
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = source.RowAddress(y);
        for (int x = 0; x < w; ++x) {
            const Rgb c = ShownColour(decoded, x, y);
            const int d[3] = {c.r - row[x * 3 + 2], c.g - row[x * 3 + 1], c.b - row[x * 3]};
            for (int v : d) sum += v * v;
        }
    }
    const double mse = sum / (3.0 * w * h);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// ---------------------------------------------------------------------------

TEST(JpegEncoderTest, DefaultsGiveBaselineJfifAt300Dpi) {
    TRasterImage image(locMemory);
    Fill(image, 800, 600, Slide);
    TImageParams params;
    params.HorizontalDpi = 0;  // 0 stands for the program-wide 300
    params.VerticalDpi = 0;
    const Encoding enc = Encode(image, params);
    ASSERT_GE(enc.data.size(), 20u);
    // SOI, then APP0 "JFIF\0" with units 1 (dpi) and 300 x 300.
    const Bytes head(enc.data.begin(), enc.data.begin() + 18);
    const Bytes want = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 1, 0x01, 0x2C, 0x01, 0x2C};
    EXPECT_EQ(head, want);
    EXPECT_NE(FindMarker(enc.data, 0xC0), std::string::npos) << "baseline frame header";
    EXPECT_TRUE(EndsWithEOI(enc.data));

    const Decoded d = Decode(enc.data);
    ASSERT_TRUE(d.header.ok) << d.header.error;
    EXPECT_EQ(d.header.width, 800);
    EXPECT_EQ(d.header.height, 600);
    EXPECT_EQ(d.header.components, 3);
    EXPECT_EQ(d.header.colorSpace, JCS_YCbCr);
    EXPECT_FALSE(d.header.progressive);
    EXPECT_EQ(d.header.hSampling[0] * 10 + d.header.vSampling[0], 22);
    EXPECT_EQ(d.header.hSampling[1] * 10 + d.header.vSampling[1], 11);
    EXPECT_EQ(d.header.hSampling[2] * 10 + d.header.vSampling[2], 11);
    EXPECT_GE(Psnr(image, d), 30.0);
    // Progress: one report per row, truncated; 100/600 per row ends at 99.
    ASSERT_EQ(enc.percents.size(), 600u);
    EXPECT_EQ(enc.percents.front(), 0);
    EXPECT_EQ(enc.percents.back(), 99);
}

TEST(JpegEncoderTest, DensitiesComeFromTheParameters) {
    TRasterImage image(locMemory);
    Fill(image, 16, 16, Quadrants);
    TImageParams params;
    params.HorizontalDpi = 150;
    params.VerticalDpi = 0x10000 + 72;  // only the low 16 bits count
    const Decoded d = Decode(Encode(image, params).data);
    ASSERT_TRUE(d.header.ok) << d.header.error;
    EXPECT_EQ(d.header.densityUnit, 1);
    EXPECT_EQ(d.header.xDensity, 150);
    EXPECT_EQ(d.header.yDensity, 72);
}

// Every colour-space code: the file's colour space and markers, and the
// colours a reader shows (red must not come back blue).
TEST(JpegEncoderTest, ColourSpaceCodesKeepColourOrder) {
    struct Case {
        const char* name;
        std::uint8_t code;
        J_COLOR_SPACE space;
        int components;
        bool jfif, adobe;
    };
    const Case cases[] = {
        {"0 RGB", 0, JCS_RGB, 3, false, true},       {"1 grey", 1, JCS_GRAYSCALE, 1, true, false},
        {"2 YCbCr", 2, JCS_YCbCr, 3, true, false},   {"3 CMYK", 3, JCS_CMYK, 4, true, true},
        {"4 YCCK", 4, JCS_YCCK, 4, false, true},     {"9 unknown is RGB", 9, JCS_RGB, 3, false, true},
    };
    TRasterImage image(locMemory);
    Fill(image, 64, 64, Quadrants);
    const struct {
        int x, y;
        Rgb colour;
    } probes[] = {{16, 16, {255, 0, 0}}, {48, 16, {0, 255, 0}}, {16, 48, {0, 0, 255}}, {48, 48, {255, 255, 255}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TImageParams params;
        params.JpegColorSpace = c.code;
        const Encoding enc = Encode(image, params);
        EXPECT_TRUE(EndsWithEOI(enc.data));
        const Decoded d = Decode(enc.data);
        ASSERT_TRUE(d.header.ok) << d.header.error;
        EXPECT_EQ(d.header.colorSpace, c.space);
        EXPECT_EQ(d.header.components, c.components);
        EXPECT_EQ(d.header.jfif, c.jfif);
        EXPECT_EQ(d.header.adobe, c.adobe);
        for (const auto& probe : probes) {
            const Rgb got = ShownColour(d, probe.x, probe.y);
            Rgb want = probe.colour;
            if (c.space == JCS_GRAYSCALE) {  // luminance of the true colour
                const int luma = static_cast<int>(std::lround(0.299 * want.r + 0.587 * want.g + 0.114 * want.b));
                want = {luma, luma, luma};
            }
            EXPECT_NEAR(got.r, want.r, 6) << "probe " << probe.x << "," << probe.y;
            EXPECT_NEAR(got.g, want.g, 6) << "probe " << probe.x << "," << probe.y;
            EXPECT_NEAR(got.b, want.b, 6) << "probe " << probe.x << "," << probe.y;
        }
    }
}

// Settings that reach libjpeg: each stream decodes, and shows its setting.
TEST(JpegEncoderTest, EncoderSettingsReachLibjpeg) {
    struct Case {
        const char* name;
        void (*set)(TImageParams&);
        bool progressive;
    };
    const Case cases[] = {
        {"progressive", [](TImageParams& p) { p.JpegProgressive = 1; }, true},
        {"optimised Huffman", [](TImageParams& p) { p.JpegOptimalHuffman = 1; }, false},
        {"fast integer DCT", [](TImageParams& p) { p.JpegDctMethod = 1; }, false},
        {"floating-point DCT", [](TImageParams& p) { p.JpegDctMethod = 2; }, false},
        {"smoothing 50", [](TImageParams& p) { p.JpegSmoothing = 50; }, false},
        {"smoothing out of range", [](TImageParams& p) { p.JpegSmoothing = 1000; }, false},
        {"quality 95", [](TImageParams& p) { p.JpegQuality = 95; }, false},
    };
    TRasterImage image(locMemory);
    Fill(image, 200, 120, Slide);
    TImageParams defaults;
    const Bytes reference = Encode(image, defaults).data;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TImageParams params;
        c.set(params);
        const Bytes data = Encode(image, params).data;
        EXPECT_NE(data, reference) << "setting had no effect";
        const Decoded d = Decode(data);
        ASSERT_TRUE(d.header.ok) << d.header.error;
        EXPECT_EQ(d.header.progressive, c.progressive);
        EXPECT_EQ(FindMarker(data, 0xC2) != std::string::npos, c.progressive);
        EXPECT_GE(Psnr(image, d), 30.0);
    }
}

TEST(JpegEncoderTest, ExtraMarkersExceptApp14AreWrittenBeforeTheTables) {
    TRasterImage image(locMemory);
    Fill(image, 32, 32, Quadrants);
    TImageParams params;
    params.JpegMarkers = {{0xE1, {'E', 'x', 'i', 'f', 0, 0}}, {0xEE, {'A', 'd', 'o', 'b', 'e'}}, {0xFE, {'h', 'i'}}};
    const Encoding enc = Encode(image, params);
    const Decoded d = Decode(enc.data);
    ASSERT_TRUE(d.header.ok) << d.header.error;
    std::vector<int> codes;
    for (const auto& [code, data] : d.markers) codes.push_back(code);
    ASSERT_EQ(codes, (std::vector<int>{0xE0, 0xE1, 0xFE}));  // JFIF, then ours; no APP14
    EXPECT_EQ(d.markers[2].second, (Bytes{'h', 'i'}));
    EXPECT_LT(FindMarker(enc.data, 0xFE), FindMarker(enc.data, 0xDB)) << "markers precede the quantisation tables";
}

TEST(JpegEncoderTest, EmptyImageWritesNothingAndAborts) {
    for (auto [w, h] : {std::pair{0, 10}, std::pair{10, 0}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        TRasterImage image(locMemory);
        image.Allocate(w, h, plRGB24);
        TImageParams params;
        const Encoding enc = Encode(image, params);
        EXPECT_TRUE(enc.data.empty());
        EXPECT_EQ(enc.abortFlag, 1);
    }
}

TEST(JpegEncoderTest, AbortFlagAlreadySetWritesNothing) {
    TRasterImage image(locMemory);
    Fill(image, 16, 16, Quadrants);
    TImageParams params;
    MemorySink sink;
    std::uint8_t abortFlag = 1;
    TProgressRecord progress;
    progress.AbortFlag = &abortFlag;
    EncodeJpegToStream(sink, image, params, progress);
    EXPECT_TRUE(sink.data().empty());
}

TEST(JpegEncoderTest, AbortFromFirstProgressCallLeavesNoEndOfImage) {
    TRasterImage image(locMemory);
    Fill(image, 64, 48, Slide);
    TImageParams params;
    MemorySink sink;
    std::uint8_t abortFlag = 0;
    int calls = 0;
    TProgressRecord progress;
    progress.AbortFlag = &abortFlag;
    progress.OnProgress = [&](void*, int) {
        ++calls;
        abortFlag = 1;
    };
    EncodeJpegToStream(sink, image, params, progress);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(progress.RowsDone, 1);
    EXPECT_FALSE(EndsWithEOI(sink.data()));
}

// A sink that takes half of what it is offered, or throws.
class FaultySink final : public ByteSink {
public:
    explicit FaultySink(bool throws) : throws_(throws) {}
    std::size_t write(std::span<const std::uint8_t> bytes) override {
        if (throws_) throw WriteError("page.jpg", "disk full");
        data.insert(data.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
        return bytes.size() / 2;
    }
    std::uint64_t position() const override { return data.size(); }
    Bytes data;

private:
    bool throws_;
};

// Noise compresses badly: more than one 64 KiB buffer of output.
Rgb Noise(int x, int y, int, int) {
    const unsigned v = static_cast<unsigned>(x * 2654435761u ^ y * 40503u);
    return {static_cast<int>(v % 251), static_cast<int>((v >> 8) % 241), static_cast<int>((v >> 16) % 239)};
}

TEST(JpegEncoderTest, ShortWriteStopsAfterTheCurrentRow) {
    TRasterImage image(locMemory);
    Fill(image, 600, 400, Noise);
    TImageParams params;
    FaultySink sink(false);
    std::uint8_t abortFlag = 0;
    TProgressRecord progress;
    progress.AbortFlag = &abortFlag;
    EncodeJpegToStream(sink, image, params, progress);
    EXPECT_EQ(abortFlag, 1);
    EXPECT_EQ(sink.data.size(), 65536u / 2) << "one buffer offered, then the loop stopped";
    EXPECT_LT(progress.RowsDone, 400);
}

TEST(JpegEncoderTest, StreamExceptionReachesTheCaller) {
    TRasterImage image(locMemory);
    Fill(image, 600, 400, Noise);
    TImageParams params;
    FaultySink sink(true);
    TProgressRecord progress;
    EXPECT_THROW(EncodeJpegToStream(sink, image, params, progress), WriteError);
}

TEST(JpegEncoderTest, LibjpegErrorBecomesEJpegException) {
    TRasterImage image(locMemory);
    image.Allocate(JPEG_MAX_DIMENSION + 1, 1, plRGB24);
    TImageParams params;
    MemorySink sink;
    std::uint8_t abortFlag = 0;
    TProgressRecord progress;
    progress.AbortFlag = &abortFlag;
    try {
        EncodeJpegToStream(sink, image, params, progress);
        ADD_FAILURE() << "no exception";
    } catch (const EJpegException& e) {
        EXPECT_STREQ(e.what(), "Maximum supported image dimension is ? pixels");
    }
    EXPECT_EQ(abortFlag, 1);

    EXPECT_EQ(detail::JpegErrorText(JERR_BAD_STRUCT_SIZE),
              "JPEG parameter struct mismatch: library thinks size is ?, caller expects ?");
    EXPECT_EQ(detail::JpegErrorText(100000), "Corrupted");
    EXPECT_EQ(detail::JpegErrorText(-1), "Corrupted");
}

TEST(JpegEncoderTest, OneBitPageEncodesLikeItsColourConversion) {
    TRasterImage page(locMemory);
    page.Allocate(101, 37, plBW1);
    for (int y = 0; y < 37; ++y)
        for (int x = 0; x < 101; ++x)
            if ((x / 7 + y / 5) % 2 == 0) page.RowAddress(y)[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    TRasterImage colour(locMemory);
    colour.Assign(page);
    colour.ChangeLayout(plRGB24);
    TImageParams params;
    const Bytes fromBits = Encode(page, params).data;
    EXPECT_EQ(fromBits, Encode(colour, params).data);
    EXPECT_EQ(page.PixelLayout(), plBW1) << "the page itself is left alone";
    const Decoded d = Decode(fromBits);
    ASSERT_TRUE(d.header.ok) << d.header.error;
    EXPECT_GE(ShownColour(d, 2, 2).r, 240) << "set bits are white";
    EXPECT_LE(ShownColour(d, 9, 2).r, 15);
}

TEST(JpegEncoderTest, ProgressOfA768RowImageEndsAt100) {
    TRasterImage image(locMemory);
    Fill(image, 8, 768, Quadrants);
    TImageParams params;
    const Encoding enc = Encode(image, params);
    ASSERT_EQ(enc.percents.size(), 768u);
    EXPECT_EQ(enc.percents.back(), 100);
}

}  // namespace
}  // namespace pressmark
