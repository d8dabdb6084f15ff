// JPEG encoding of a page image on libjpeg (libjpeg-turbo, IJG API).
//
// Notes on this codec:
// - Raster rows are blue, green, red. They go to libjpeg unchanged as
//   JCS_EXT_BGR input for every colour space but CMYK/YCCK; libjpeg-turbo
//   then computes YCbCr, grey or (for the RGB file colour space) reorders
//   the samples itself, so no row is copied for the usual cases.
// - CMYK and YCCK files get CMYK samples in the inverted form that Adobe
//   applications write (and readers expect with an Adobe marker): K is the
//   brightest of R, G, B and each colour is scaled to it, so R = C * K / 255.
// - libjpeg reports errors by calling error_exit, which must not return. It
//   longjmps back to the one frame that called setjmp (RunGuarded). Every
//   frame that a longjmp can skip -- Compress, libjpeg's own, and our
//   destination callbacks -- holds trivially destructible locals only, and
//   C++ exceptions never travel through libjpeg: a stream exception is
//   parked in the job, libjpeg is left through error_exit, and the exception
//   is rethrown once we are back in C++ frames.
// - The compressed bytes collect in a 65536-byte buffer that reaches the
//   stream when full and once more when compression finishes; an aborted
//   encoding leaves what the buffer held unwritten, and no end-of-image marker.
#include "pressmark/imaging/jpeg_encoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <exception>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "pressmark/imaging/byte_sink.h"
#include "pressmark/imaging/image_params.h"
#include "pressmark/imaging/raster_image.h"

namespace pressmark {
namespace {

constexpr std::size_t kOutputBufferSize = 65536;
constexpr int kDefaultDpi = 300;

// libjpeg gets &pub back in every callback; pub first makes the cast valid.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    std::uint8_t* abortFlag;
};
static_assert(std::is_standard_layout_v<ErrorManager>);

struct StreamDestination {
    jpeg_destination_mgr pub;
    ByteSink* stream;
    std::uint8_t* abortFlag;
    JOCTET* buffer;                // kOutputBufferSize bytes, owned by the job
    std::exception_ptr* failure;   // where a stream exception waits
};
static_assert(std::is_standard_layout_v<StreamDestination>);

// ---------------------------------------------------------------------------
// Error manager

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    *err->abortFlag = 1;
    std::longjmp(err->jump, 1);
}

// Warnings are only counted; trace messages are dropped. Nothing is printed.
void EmitMessage(j_common_ptr cinfo, int msgLevel) {
    if (msgLevel < 0) ++cinfo->err->num_warnings;
}

void OutputMessage(j_common_ptr) {}

// The library's text for `code`, or nullptr when the code is unknown.
const char* MessageTemplate(const jpeg_error_mgr& err, int code) {
    if (code > 0 && code <= err.last_jpeg_message) return err.jpeg_message_table[code];
    if (err.addon_message_table != nullptr && code >= err.first_addon_message && code <= err.last_addon_message)
        return err.addon_message_table[code - err.first_addon_message];
    return nullptr;
}

// Replaces each printf conversion ("%u", "%02x", "%s", ...) by "?".
std::string BlankPlaceholders(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        if (p[1] == '%') {
            out += '%';
            ++p;
            continue;
        }
        ++p;
        while (*p != '\0' && std::string_view("-+ #0123456789.hlLqjzt").find(*p) != std::string_view::npos) ++p;
        out += '?';
        if (*p == '\0') break;
    }
    return out;
}

std::string ErrorText(const jpeg_error_mgr& err, int code) {
    const char* text = MessageTemplate(err, code);
    return text != nullptr ? BlankPlaceholders(text) : std::string("Corrupted");
}

// ---------------------------------------------------------------------------
// Stream destination

// Writes the first `count` buffered bytes. Exceptions stop here: they are
// parked for RunGuarded's caller because libjpeg's frames cannot carry them.
bool Deliver(StreamDestination& dest, std::size_t count) noexcept {
    try {
        if (dest.stream->write(dest.buffer, count) < count) *dest.abortFlag = 1;
        return true;
    } catch (...) {
        *dest.failure = std::current_exception();
        return false;
    }
}

[[noreturn]] void LeaveAfterStreamFailure(j_compress_ptr cinfo) {
    cinfo->err->msg_code = JERR_FILE_WRITE;
    (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    std::abort();  // error_exit does not return
}

void InitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<StreamDestination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kOutputBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<StreamDestination*>(cinfo->dest);
    if (!Deliver(*dest, kOutputBufferSize)) LeaveAfterStreamFailure(cinfo);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kOutputBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<StreamDestination*>(cinfo->dest);
    const std::size_t used = kOutputBufferSize - dest->pub.free_in_buffer;
    if (used > 0 && !Deliver(*dest, used)) LeaveAfterStreamFailure(cinfo);
}

// ---------------------------------------------------------------------------
// One encoding

// Everything one call needs, in one place that outlives the longjmp. The
// destructor releases the compressor whichever way the call ends.
struct JpegJob {
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    StreamDestination dest{};
    TRasterImage* image = nullptr;
    const TImageParams* params = nullptr;
    TProgressRecord* progress = nullptr;
    std::uint8_t* abortFlag = nullptr;
    JSAMPLE* cmykRow = nullptr;  // scratch row for CMYK/YCCK, else null

    JpegJob() = default;
    JpegJob(const JpegJob&) = delete;
    JpegJob& operator=(const JpegJob&) = delete;
    ~JpegJob() { jpeg_destroy_compress(&cinfo); }  // harmless before or after a failed create
};

bool IsCmykCode(int code) { return code == 3 || code == 4; }

J_COLOR_SPACE FileColorSpace(int code) {
    switch (code) {
        case 1: return JCS_GRAYSCALE;
        case 2: return JCS_YCbCr;
        case 3: return JCS_CMYK;
        case 4: return JCS_YCCK;
        default: return JCS_RGB;  // 0 and every unknown code
    }
}

UINT16 Density(std::int32_t dpi) { return dpi == 0 ? kDefaultDpi : static_cast<UINT16>(dpi & 0xFFFF); }

// Inverted (Adobe) CMYK from a blue, green, red row; see the note at the top.
void ConvertRowToCmyk(const std::uint8_t* bgr, JSAMPLE* cmyk, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x, bgr += 3, cmyk += 4) {
        const unsigned b = bgr[0], g = bgr[1], r = bgr[2];
        const unsigned m = std::max({r, g, b});
        const auto scale = [m](unsigned v) { return static_cast<JSAMPLE>(m == 0 ? 0 : (v * 255 + m / 2) / m); };
        cmyk[0] = scale(r);
        cmyk[1] = scale(g);
        cmyk[2] = scale(b);
        cmyk[3] = static_cast<JSAMPLE>(m);
    }
}

void ApplySettings(JpegJob& job) {
    jpeg_compress_struct& cinfo = job.cinfo;
    const TImageParams& params = *job.params;
    const int code = params.JpegColorSpace;
    cinfo.image_width = static_cast<JDIMENSION>(job.image->Width());
    cinfo.image_height = static_cast<JDIMENSION>(job.image->Height());
    cinfo.input_components = IsCmykCode(code) ? 4 : 3;
    cinfo.in_color_space = IsCmykCode(code) ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, FileColorSpace(code));

    cinfo.density_unit = 1;  // dots per inch
    cinfo.X_density = Density(params.HorizontalDpi);
    cinfo.Y_density = Density(params.VerticalDpi);
    switch (params.JpegDctMethod) {
        case 0: cinfo.dct_method = JDCT_ISLOW; break;
        case 1: cinfo.dct_method = JDCT_IFAST; break;
        case 2: cinfo.dct_method = JDCT_FLOAT; break;
        default: break;
    }
    cinfo.optimize_coding = params.JpegOptimalHuffman != 0 ? TRUE : FALSE;
    // libjpeg defines the factor for 0 to 100 only; its filter weights turn
    // negative beyond that.
    cinfo.smoothing_factor = std::clamp<std::int32_t>(params.JpegSmoothing, 0, 100);
    jpeg_set_quality(&cinfo, params.JpegQuality, TRUE);
    if (code == 3) cinfo.write_JFIF_header = TRUE;
    if (params.JpegProgressive != 0) jpeg_simple_progression(&cinfo);
}

void WriteMarkers(JpegJob& job) {
    for (const TJpegMarker& marker : job.params->JpegMarkers) {
        if (marker.Code == 0xEE) continue;  // libjpeg writes its own Adobe marker
        jpeg_write_marker(&job.cinfo, marker.Code, marker.Data.data(), static_cast<unsigned>(marker.Data.size()));
    }
}

void ReportProgress(const TProgressRecord& progress) {
    if (!progress.OnProgress) return;
    // Extended precision before truncation: a 600-row image ends at 99.
    const auto percent = static_cast<long double>(progress.RowsDone) * progress.PercentPerRow;
    progress.OnProgress(progress.Sender, static_cast<int>(percent));
}

void WriteRows(JpegJob& job) {
    jpeg_compress_struct& cinfo = job.cinfo;
    TProgressRecord& progress = *job.progress;
    const JDIMENSION height = cinfo.image_height;
    progress.RowsDone = 0;
    progress.PercentPerRow = 100.0 / static_cast<double>(height);
    while (cinfo.next_scanline < height) {
        std::uint8_t* raster = job.image->RowAddress(static_cast<std::int32_t>(cinfo.next_scanline));
        JSAMPROW row = raster;
        if (job.cmykRow != nullptr) {
            ConvertRowToCmyk(raster, job.cmykRow, static_cast<std::int32_t>(cinfo.image_width));
            row = job.cmykRow;
        }
        const JDIMENSION accepted = jpeg_write_scanlines(&cinfo, &row, 1);
        progress.RowsDone += static_cast<std::int32_t>(accepted);
        ReportProgress(progress);
        // Our destination never suspends; the check only guards against a loop.
        if (*job.abortFlag != 0 || accepted == 0) break;
    }
}

// The libjpeg call sequence. A longjmp from error_exit may skip this frame:
// trivially destructible locals only.
void Compress(JpegJob& job) {
    jpeg_create_compress(&job.cinfo);
    job.cinfo.dest = &job.dest.pub;
    if (*job.abortFlag != 0) return;
    ApplySettings(job);
    jpeg_start_compress(&job.cinfo, TRUE);
    WriteMarkers(job);
    WriteRows(job);
    if (*job.abortFlag == 0) jpeg_finish_compress(&job.cinfo);
}

// The only frame that calls setjmp; false when libjpeg raised an error.
bool RunGuarded(JpegJob& job) {
    if (setjmp(job.err.jump) != 0) return false;
    Compress(job);
    return true;
}

}  // namespace

namespace detail {
std::string JpegErrorText(int code) {
    jpeg_error_mgr err{};
    jpeg_std_error(&err);
    return ErrorText(err, code);
}
}  // namespace detail

void EncodeJpegToStream(ByteSink& stream, TRasterImage& bitmap, TImageParams& params, TProgressRecord& progress) {
    std::uint8_t localFlag = 0;
    std::uint8_t* abortFlag = progress.AbortFlag != nullptr ? progress.AbortFlag : &localFlag;
    if (bitmap.Width() <= 0 || bitmap.Height() <= 0) {
        *abortFlag = 1;
        return;
    }

    // libjpeg reads 3 bytes per pixel: every other layout goes through a
    // temporary 24-bit copy (the writers hand us plBW1 pages).
    std::unique_ptr<TRasterImage> converted;
    TRasterImage* image = &bitmap;
    if (bitmap.PixelLayout() != plRGB24) {
        converted = std::make_unique<TRasterImage>(locMemory);
        converted->Assign(bitmap);
        converted->ChangeLayout(plRGB24);
        image = converted.get();
    }

    std::vector<JOCTET> outputBuffer(kOutputBufferSize);
    std::vector<JSAMPLE> cmykRow;
    if (IsCmykCode(params.JpegColorSpace)) cmykRow.resize(static_cast<std::size_t>(image->Width()) * 4);
    std::exception_ptr streamFailure;

    JpegJob job;
    job.cinfo.err = jpeg_std_error(&job.err.pub);
    job.err.pub.error_exit = ErrorExit;
    job.err.pub.emit_message = EmitMessage;
    job.err.pub.output_message = OutputMessage;
    job.err.abortFlag = abortFlag;
    job.dest.pub.init_destination = InitDestination;
    job.dest.pub.empty_output_buffer = EmptyOutputBuffer;
    job.dest.pub.term_destination = TermDestination;
    job.dest.stream = &stream;
    job.dest.abortFlag = abortFlag;
    job.dest.buffer = outputBuffer.data();
    job.dest.failure = &streamFailure;
    job.image = image;
    job.params = &params;
    job.progress = &progress;
    job.abortFlag = abortFlag;
    job.cmykRow = cmykRow.empty() ? nullptr : cmykRow.data();

    if (RunGuarded(job)) return;
    if (streamFailure) std::rethrow_exception(streamFailure);
    throw EJpegException(ErrorText(job.err.pub, job.err.pub.msg_code));
}

}  // namespace pressmark
