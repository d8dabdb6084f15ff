#include "pressmark/writers/ps_document.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <string>

#include "encoded_runs.h"
#include "pressmark/imaging/ccitt.h"
#include "pressmark/imaging/jpeg_encoder.h"
#include "pressmark/writers/page_fit.h"
#include "pressmark/writers/paper_sizes.h"

namespace pressmark {
namespace {

constexpr std::size_t kPagesFieldWidth = 6;
constexpr std::string_view kPagesPrefix = "%%Pages: ";

std::string PagesLine(std::int64_t count) {
    std::string field = std::to_string(count);
    if (field.size() < kPagesFieldWidth) field.append(kPagesFieldWidth - field.size(), ' ');
    return std::string(kPagesPrefix) + field;
}

// The header promises Clean7Bit data, so the date uses the fixed English
// abbreviations rather than a locale's names, which may not be ASCII.
std::string CreationDateText(const TDocumentClock& clock) {
    static constexpr std::array<const char*, 7> kDays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::tm now = clock();
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %04d", kDays.at(now.tm_wday % 7),
                  kMonths.at(now.tm_mon % 12), now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec,
                  now.tm_year + 1900);
    return text;
}

// The page count written in the header's field, read back from the file
// itself; text that does not read as a number counts as 1.
std::int64_t ReadPageCount(RandomAccessSink& stream, std::int64_t pagesLine) {
    std::array<std::uint8_t, 15> bytes{};
    stream.seek(static_cast<std::uint64_t>(pagesLine));
    const std::size_t got = stream.read(bytes);
    if (got < bytes.size()) return 1;
    std::string_view field(reinterpret_cast<const char*>(bytes.data()) + 9, 5);
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || error != std::errc() || end != field.data() + field.size()) return 1;
    return value;
}

// A 1-bit page asked for JPEG has no 1-bit JPEG form: it is written as a
// JPEG page of a 24-bit copy. Answers the image the page is written from.
TRasterImage& PageSource(TRasterImage& bitmap, const TImageParams& params, std::unique_ptr<TRasterImage>& copy) {
    if (bitmap.PixelLayout() != plBW1 || params.PSCompression != psJpeg) return bitmap;
    copy = std::make_unique<TRasterImage>();
    copy->Assign(bitmap);
    copy->ChangeLayout(plRGB24);
    return *copy;
}

struct EncodedPage {
    MemorySink data;
    std::int64_t count = 0;
};

void WritePageLines(RandomAccessSink& stream, const TRasterImage& bitmap, const TImageParams& params,
                    const EncodedPage& page, std::int64_t pageNumber, std::int32_t paperWidth,
                    std::int32_t paperHeight) {
    const std::string w = std::to_string(bitmap.Width());
    const std::string h = std::to_string(bitmap.Height());
    const bool oneBit = bitmap.PixelLayout() == plBW1;
    std::int32_t sw = 0, sh = 0;
    FitImageToPaper(bitmap.Width(), bitmap.Height(), paperWidth, paperHeight, sw, sh);

    WriteLine(stream, "%%Page: " + std::to_string(pageNumber) + " " + std::to_string(pageNumber));
    WriteLine(stream, "0 " + std::to_string(paperHeight) + " translate");
    WriteLine(stream, std::to_string(sw) + " -" + std::to_string(sh) + " scale");
    WriteLine(stream, w + " " + h + " " + (oneBit ? "1" : "8"));
    WriteLine(stream, "[ " + w + " 0 0 " + h + " 0 0 ]");

    const std::string dataBegin = "%%BeginData:      " + std::to_string(page.count) + " ASCII Bytes";
    const std::string faxParms = " /BlackIs1 true /Columns " + w + " /Rows " + h +
                                 " /EndOfLine false /Uncompressed true /EncodedByteAlign false"
                                 " /EndOfBlock false >> /CCITTFaxDecode filter";
    std::string_view imageOperator = "image";
    if (oneBit && params.PSCompression == psG4) {
        WriteLine(stream, "currentfile /ASCII85Decode filter << /K -1" + faxParms);
        WriteLine(stream, dataBegin);
    } else if (oneBit && params.PSCompression == psG3TwoD) {
        WriteLine(stream, "currentfile /ASCII85Decode filter << /K 1" + faxParms);
        WriteLine(stream, dataBegin);
    } else if (oneBit) {
        WriteLine(stream, "currentfile /ASCII85Decode filter /RunLengthDecode filter");
        WriteLine(stream, dataBegin);
    } else if (params.PSCompression == psJpeg) {
        WriteLine(stream, "currentfile /ASCII85Decode filter << >> /DCTDecode filter");
        WriteLine(stream, "false 3");
        WriteLine(stream, dataBegin);
        imageOperator = "colorimage";
    } else {
        for (const char* channel : {"r", "g", "b"}) WriteLine(stream, std::string("/") + channel + "str " + w + " string def");
        for (const char* channel : {"r", "g", "b"})
            WriteLine(stream, std::string("{currentfile /ASCII85Decode filter /RunLengthDecode filter ") + channel +
                                  "str readstring pop}");
        WriteLine(stream, "true 3");
        WriteLine(stream, dataBegin);
        imageOperator = "colorimage";
    }
    WriteLine(stream, imageOperator);
    WriteAll(stream, page.data.data());
    WriteLine(stream, "%%EndData");
    WriteLine(stream, "showpage");
}

EncodedPage EncodePage(TRasterImage& bitmap, TImageParams& params, TProgressRecord& progress) {
    EncodedPage page;
    page.count = PSEncodePageImage(page.data, bitmap, params, progress);
    return page;
}

// 1-bit, run-length: all rows as one PackBits run, reported row by row.
std::int64_t EncodeOneBitRunLength(MemorySink& memory, TRasterImage& bitmap, TProgressRecord& progress) {
    const std::size_t rowBytes = (static_cast<std::size_t>(bitmap.Width()) + 7) / 8;
    std::vector<std::uint8_t> rows(rowBytes * static_cast<std::size_t>(bitmap.Height()));
    for (std::int32_t r = 0; r < bitmap.Height(); ++r) {
        std::copy_n(bitmap.RowAddress(r), rowBytes, rows.begin() + static_cast<std::ptrdiff_t>(rowBytes * r));
        progress.Report(r);
    }
    return AppendASCII85Run(memory, PackBitsRun(rows.data(), rows.size()));
}

std::int64_t EncodeOneBitFax(MemorySink& memory, TRasterImage& bitmap, bool group4, TProgressRecord& progress) {
    MemorySink fax;
    CCITTEncoderState state{};
    const auto encode = group4 ? EncodeRowG4 : EncodeRowG3TwoD;
    for (std::int32_t r = 0; r < bitmap.Height(); ++r)
        encode(bitmap.RowAddress(r), bitmap.Width(), fax, state, progress.AbortFlag, kFillMsbFirst);
    encode(nullptr, 0, fax, state, progress.AbortFlag, kFillMsbFirst);
    return AppendASCII85Run(memory, fax.data());
}

// 24-bit, run-length: each row's red, green and blue samples as three runs
// of their own, matching the three data procedures of the page.
std::int64_t EncodeColourRunLength(MemorySink& memory, TRasterImage& bitmap, TProgressRecord& progress) {
    const auto width = static_cast<std::size_t>(bitmap.Width());
    std::vector<std::uint8_t> channel(width);
    std::int64_t count = 0;
    for (std::int32_t r = 0; r < bitmap.Height(); ++r) {
        const std::uint8_t* row = bitmap.RowAddress(r);
        for (const std::size_t offset : {2u, 1u, 0u}) {  // red, green, blue in a BGR pixel
            for (std::size_t x = 0; x < width; ++x) channel[x] = row[3 * x + offset];
            count += AppendASCII85Run(memory, PackBitsRun(channel.data(), channel.size()));
        }
        progress.Report(r);
    }
    return count;
}

}  // namespace

void WriteLine(ByteSink& Stream, std::string_view Text) {
    WriteAll(Stream, Text);
    WriteAll(Stream, "\r\n");
}

std::unique_ptr<PSDocumentHandle> PSBeginDocument(RandomAccessSink& Stream, const TImageParams& Params,
                                                  const TDocumentClock& Clock) {
    auto handle = std::make_unique<PSDocumentHandle>();
    WriteLine(Stream, "%!PS-Adobe-3.0");
    WriteLine(Stream, "%%Creator: Pressmark");
    WriteLine(Stream, "%%Title: " + Params.PSTitle);
    WriteLine(Stream, "%%CreationDate: " + CreationDateText(Clock));
    WriteLine(Stream, "%%DocumentData: Clean7Bit");
    WriteLine(Stream, "%%LanguageLevel: 2");
    handle->PagesLinePosition = static_cast<std::int64_t>(Stream.position());
    WriteLine(Stream, PagesLine(0));
    WriteLine(Stream, "%%BoundingBox: 0 0 " + std::to_string(Params.PSPaperWidth - 1) + " " +
                          std::to_string(Params.PSPaperHeight - 1));
    WriteLine(Stream, "%%EndComments");
    WriteLine(Stream, "%%BeginProlog");
    WriteLine(Stream, "10 dict begin");
    WriteLine(Stream, "%%EndProlog");
    handle->AppendPosition = static_cast<std::int64_t>(Stream.position());
    return handle;
}

std::int64_t PSEncodePageImage(MemorySink& Memory, TRasterImage& Bitmap, TImageParams& Params,
                               TProgressRecord& Progress) {
    const bool oneBit = Bitmap.PixelLayout() == plBW1;
    Params.BitsPerSample = oneBit ? 1 : 8;
    Params.SamplesPerPixel = oneBit ? 1 : 3;
    Progress.PercentPerRow = 100.0 / Bitmap.Height();
    if (oneBit) {
        if (Params.PSCompression == psG4 || Params.PSCompression == psG3TwoD)
            return EncodeOneBitFax(Memory, Bitmap, Params.PSCompression == psG4, Progress);
        return EncodeOneBitRunLength(Memory, Bitmap, Progress);
    }
    if (Params.PSCompression == psJpeg) {
        MemorySink jpeg;
        EncodeJpegToStream(jpeg, Bitmap, Params, Progress);
        return AppendASCII85Run(Memory, jpeg.data());
    }
    return EncodeColourRunLength(Memory, Bitmap, Progress);
}

void PSWritePage(RandomAccessSink& Stream, TRasterImage& Bitmap, TImageParams& Params, TProgressRecord& Progress,
                 std::int32_t PageNumber, std::int32_t PaperWidth, std::int32_t PaperHeight) {
    std::unique_ptr<TRasterImage> copy;
    TRasterImage& source = PageSource(Bitmap, Params, copy);
    const EncodedPage page = EncodePage(source, Params, Progress);
    WritePageLines(Stream, source, Params, page, PageNumber, PaperWidth, PaperHeight);
}

void PSAddPage(PSDocumentHandle& Handle, RandomAccessSink& Stream, TRasterImage& Bitmap, TImageParams& Params,
               TProgressRecord& Progress) {
    // The page is encoded before the file is touched, so an encoder error
    // (a JPEG failure, say) leaves the document as it was.
    std::unique_ptr<TRasterImage> copy;
    TRasterImage& source = PageSource(Bitmap, Params, copy);
    const EncodedPage page = EncodePage(source, Params, Progress);

    const std::int64_t pageNumber = ReadPageCount(Stream, Handle.PagesLinePosition) + 1;
    Stream.seek(static_cast<std::uint64_t>(Handle.PagesLinePosition));
    WriteLine(Stream, PagesLine(pageNumber));
    Stream.seek(static_cast<std::uint64_t>(Handle.AppendPosition));
    WritePageLines(Stream, source, Params, page, pageNumber, Params.PSPaperWidth, Params.PSPaperHeight);
    Handle.AppendPosition = static_cast<std::int64_t>(Stream.position());
}

void PSEndDocument(std::unique_ptr<PSDocumentHandle> Handle, RandomAccessSink& Stream) {
    if (!Handle) return;
    Stream.seek(static_cast<std::uint64_t>(Handle->AppendPosition));
    WriteLine(Stream, "%%Trailer");
    WriteLine(Stream, "end");
    WriteLine(Stream, "%%EOF");
}

void PSWriteSinglePageDocument(RandomAccessSink& Stream, TRasterImage& Bitmap, TImageParams& Params,
                               TProgressRecord& Progress, const TDocumentClock& Clock) {
    auto handle = PSBeginDocument(Stream, Params, Clock);
    PSAddPage(*handle, Stream, Bitmap, Params, Progress);
    PSEndDocument(std::move(handle), Stream);
}

}  // namespace pressmark
