#include "pressmark/writers/pdf_document.h"

#include <cstdio>
#include <string>

#include "pressmark/imaging/ccitt.h"
#include "pressmark/imaging/jpeg_encoder.h"
#include "pressmark/imaging/pixel_order.h"
#include "pressmark/writers/page_fit.h"
#include "pressmark/writers/paper_sizes.h"
#include "encoded_runs.h"
#include "lzw_feed.h"

namespace pressmark {
namespace {

std::size_t PackedRowBytes(const TRasterImage& bitmap) { return (static_cast<std::size_t>(bitmap.Width()) + 7) / 8; }

// All rows of the image, top row first, each `rowBytes` long.
std::vector<std::uint8_t> CopyRows(TRasterImage& bitmap, std::size_t rowBytes) {
    std::vector<std::uint8_t> data(rowBytes * static_cast<std::size_t>(bitmap.Height()));
    for (std::int32_t r = 0; r < bitmap.Height(); ++r) {
        const std::uint8_t* row = bitmap.RowAddress(r);
        std::copy_n(row, rowBytes, data.begin() + static_cast<std::ptrdiff_t>(rowBytes * r));
    }
    return data;
}

std::unique_ptr<TPDFDictionaryObject> CCITTDecodeParms(int k, const TRasterImage& bitmap) {
    auto parms = std::make_unique<TPDFDictionaryObject>();
    parms->Add("K", PDFNumber(k));
    parms->Add("BlackIs1", PDFBoolean(true));
    parms->Add("Columns", PDFNumber(bitmap.Width()));
    parms->Add("Rows", PDFNumber(bitmap.Height()));
    parms->Add("EndOfLine", PDFBoolean(false));
    parms->Add("Uncompressed", PDFBoolean(true));
    parms->Add("EncodedByteAlign", PDFBoolean(false));
    parms->Add("EndOfBlock", PDFBoolean(false));
    return parms;
}

std::unique_ptr<TPDFStreamObject> FaxStream(TRasterImage& bitmap, bool group4, TProgressRecord& progress) {
    MemorySink memory;
    CCITTEncoderState state{};
    const auto encode = group4 ? EncodeRowG4 : EncodeRowG3TwoD;
    for (std::int32_t r = 0; r < bitmap.Height(); ++r)
        encode(bitmap.RowAddress(r), bitmap.Width(), memory, state, progress.AbortFlag, kFillMsbFirst);
    encode(nullptr, 0, memory, state, progress.AbortFlag, kFillMsbFirst);
    auto stream = std::make_unique<TPDFStreamObject>(memory.release());
    stream->Dictionary.Add("Filter", PDFName("CCITTFaxDecode"));
    stream->Dictionary.Add("DecodeParms", CCITTDecodeParms(group4 ? -1 : 1, bitmap));
    return stream;
}

std::unique_ptr<TPDFStreamObject> OneBitImage(TRasterImage& bitmap, TImageParams& params, TProgressRecord& progress) {
    const std::size_t rowBytes = PackedRowBytes(bitmap);
    // A 1-bit image is never JPEG-coded; the record keeps the Group 3 code.
    if (params.PDFCompression == pdfJpeg) params.PDFCompression = pdfG3TwoD;
    std::unique_ptr<TPDFStreamObject> stream;
    switch (params.PDFCompression) {
        case pdfNone:
        default:
            // Codes above 5 have no 1-bit form of their own; like a 24-bit
            // page with such a code, the image goes in uncompressed.
            stream = std::make_unique<TPDFStreamObject>(CopyRows(bitmap, rowBytes));
            break;
        case pdfRunLength: {
            const auto rows = CopyRows(bitmap, rowBytes);
            stream = std::make_unique<TPDFStreamObject>(PackBitsRun(rows.data(), rows.size()));
            auto filter = std::make_unique<TPDFArrayObject>();
            filter->Add(PDFName("RunLengthDecode"));
            stream->Dictionary.Add("Filter", std::move(filter));
            break;
        }
        case pdfG4:
        case pdfG3TwoD:
            stream = FaxStream(bitmap, params.PDFCompression == pdfG4, progress);
            break;
        case pdfLZW: {
            LZWFeed lzw(params.LZWCompressor);
            for (std::int32_t r = 0; r < bitmap.Height(); ++r) lzw.Add(bitmap.RowAddress(r), rowBytes);
            stream = std::make_unique<TPDFStreamObject>(lzw.Finish());
            stream->Dictionary.Add("Filter", PDFName("LZWDecode"));
            break;
        }
    }
    stream->Dictionary.Add("ColorSpace", PDFName("DeviceGray"));
    stream->Dictionary.Add("BitsPerComponent", PDFNumber(1));
    return stream;
}

std::unique_ptr<TPDFStreamObject> ColourImage(TRasterImage& bitmap, TImageParams& params, TProgressRecord& progress) {
    const auto width = static_cast<std::size_t>(bitmap.Width());
    std::unique_ptr<TPDFStreamObject> stream;
    if (params.PDFCompression == pdfLZW) {
        LZWFeed lzw(params.LZWCompressor);
        std::vector<std::uint8_t> rgb(width * 3);
        for (std::int32_t r = 0; r < bitmap.Height(); ++r) {
            CopyBGRToRGB(rgb.data(), bitmap.RowAddress(r), width);
            lzw.Add(rgb.data(), rgb.size());
        }
        stream = std::make_unique<TPDFStreamObject>(lzw.Finish());
        stream->Dictionary.Add("Filter", PDFName("LZWDecode"));
        stream->Dictionary.Add("ColorSpace", PDFName("DeviceRGB"));
    } else if (params.PDFCompression == pdfJpeg) {
        MemorySink memory;
        EncodeJpegToStream(memory, bitmap, params, progress);
        stream = std::make_unique<TPDFStreamObject>(memory.release());
        stream->Dictionary.Add("Filter", PDFName("DCTDecode"));
        stream->Dictionary.Add("ColorSpace", PDFName(params.JpegColorSpace == 1 ? "DeviceGray" : "DeviceRGB"));
    } else {
        auto data = CopyRows(bitmap, width * 3);
        SwapBGRToRGB(data.data(), width * static_cast<std::size_t>(bitmap.Height()));
        stream = std::make_unique<TPDFStreamObject>(std::move(data));
        stream->Dictionary.Add("ColorSpace", PDFName("DeviceRGB"));
    }
    stream->Dictionary.Add("BitsPerComponent", PDFNumber(8));
    return stream;
}

std::vector<std::uint8_t> ContentText(std::int32_t dw, std::int32_t dh, std::int32_t paperHeight, std::size_t n) {
    const std::string text = "q\n" + std::to_string(dw) + " 0 0 " + std::to_string(dh) + " 0 " +
                             std::to_string(paperHeight - dh) + " cm\n/lm" + std::to_string(n) + " Do\nQ";
    return {text.begin(), text.end()};
}

std::string CreationDate(const TDocumentClock& clock) {
    const std::tm now = clock();
    char text[64];
    std::snprintf(text, sizeof text, "D:%04d%02d%02d%02d%02d%02d", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday,
                  now.tm_hour, now.tm_min, now.tm_sec);
    return text;
}

}  // namespace

TPDFDictionaryObject& CreateCatalog(TPDFObjectList& Objects) {
    auto catalog = std::make_unique<TPDFDictionaryObject>();
    catalog->Add("Type", PDFName("Catalog"));
    return RegisterObject(Objects, std::move(catalog));
}

TPDFDictionaryObject& CreatePage(TPDFObjectList& Objects, std::vector<TPDFDictionaryObject*>& PageList,
                                 const TPDFDictionaryObject* Resources, std::int32_t ContentNumber,
                                 std::unique_ptr<TPDFArrayObject> MediaBox) {
    auto page = std::make_unique<TPDFDictionaryObject>();
    page->Add("Type", PDFName("Page"));
    if (Resources) page->Add("Resources", PDFRef(Resources->ObjectNumber));
    page->Add("MediaBox", std::move(MediaBox));
    page->Add("Contents", PDFRef(ContentNumber));
    auto& registered = RegisterObject(Objects, std::move(page));
    PageList.push_back(&registered);
    return registered;
}

TPDFDictionaryObject& CreatePagesTree(TPDFObjectList& Objects, const std::vector<TPDFDictionaryObject*>& PageList) {
    auto& pages = RegisterObject(Objects, std::make_unique<TPDFDictionaryObject>());
    pages.Add("Type", PDFName("Pages"));
    auto kids = std::make_unique<TPDFArrayObject>();
    for (auto* page : PageList) {
        kids->Add(PDFRef(page->ObjectNumber));
        page->Add("Parent", PDFRef(pages.ObjectNumber));
    }
    pages.Add("Kids", std::move(kids));
    pages.Add("Count", PDFNumber(static_cast<double>(PageList.size())));
    return pages;
}

std::unique_ptr<PDFDocument> PDFBeginDocument(std::shared_ptr<PDFSpool> Spool, std::uint64_t MemoryBudget) {
    auto document = std::make_unique<PDFDocument>();
    document->Spool = std::move(Spool);
    document->MemoryBudget = MemoryBudget;
    document->Catalog = &CreateCatalog(document->Objects);
    auto resources = std::make_unique<TPDFDictionaryObject>();
    resources->ExternallyOwned = true;  // held by the document, never by a container
    auto procSet = std::make_unique<TPDFArrayObject>();
    procSet->Add(PDFName("PDF"));
    procSet->Add(PDFName("ImageB"));
    resources->Add("ProcSet", std::move(procSet));
    resources->Add("XObject", std::make_unique<TPDFDictionaryObject>());
    document->Resources = &RegisterObject(document->Objects, std::move(resources));
    return document;
}

void PDFAddPage(PDFDocument& Document, TRasterImage& Bitmap, TImageParams& Params, TProgressRecord& Progress) {
    const bool oneBit = Bitmap.PixelLayout() == plBW1;
    Params.BitsPerSample = oneBit ? 1 : 8;
    Params.SamplesPerPixel = oneBit ? 1 : 3;
    // Encoding may throw; nothing is registered until the image is complete.
    auto image = oneBit ? OneBitImage(Bitmap, Params, Progress) : ColourImage(Bitmap, Params, Progress);
    image->Dictionary.Insert(0, "Type", PDFName("XObject"));
    image->Dictionary.Insert(1, "Subtype", PDFName("Image"));
    image->Dictionary.Add("Width", PDFNumber(Bitmap.Width()));
    image->Dictionary.Add("Height", PDFNumber(Bitmap.Height()));

    // Build everything the page needs before registering any of it, so an
    // allocation failure cannot leave half a page in the document.
    std::int32_t dw = 0, dh = 0;
    FitImageToPaper(Bitmap.Width(), Bitmap.Height(), Params.PDFPaperWidth, Params.PDFPaperHeight, dw, dh);
    const std::size_t n = Document.ImageList.size() + 1;
    auto content = std::make_unique<TPDFStreamObject>(ContentText(dw, dh, Params.PDFPaperHeight, n));
    auto mediaBox = std::make_unique<TPDFArrayObject>();
    for (const double v : {0.0, 0.0, double(Params.PDFPaperWidth), double(Params.PDFPaperHeight)})
        mediaBox->Add(PDFNumber(v));
    // A page past the memory budget leaves memory before it is registered,
    // so a spool that cannot take it leaves the document as it was.
    if (Document.Spool &&
        PDFHeldStreamBytes(Document) + image->Data.capacity() + content->Data.capacity() > Document.MemoryBudget) {
        image->MoveDataTo(Document.Spool);
        content->MoveDataTo(Document.Spool);
    }
    Document.ImageList.reserve(n);
    Document.ContentList.reserve(n);
    Document.PageList.reserve(n);
    Document.Objects.reserve(Document.Objects.size() + 3);

    auto& registeredImage = RegisterObject(Document.Objects, std::move(image));
    Document.ImageList.push_back(&registeredImage);
    auto& registeredContent = RegisterObject(Document.Objects, std::move(content));
    Document.ContentList.push_back(&registeredContent);
    auto& xobjects = static_cast<TPDFDictionaryObject&>(
        Document.Resources->ObjectAt(static_cast<std::size_t>(Document.Resources->IndexOf("XObject"))));
    xobjects.Add("lm" + std::to_string(n), PDFRef(registeredImage.ObjectNumber));
    CreatePage(Document.Objects, Document.PageList, Document.Resources, registeredContent.ObjectNumber,
               std::move(mediaBox));
}

std::uint64_t PDFHeldStreamBytes(const PDFDocument& Document) {
    std::uint64_t held = 0;
    for (const auto* list : {&Document.ImageList, &Document.ContentList})
        for (const auto* stream : *list) held += stream->Data.capacity();
    return held;
}

void PDFEndDocument(std::unique_ptr<PDFDocument> Document, ByteSink& Stream, const TImageParams& Params,
                    const TDocumentClock& Clock) {
    if (!Document) return;
    auto& pages = CreatePagesTree(Document->Objects, Document->PageList);
    Document->Catalog->Add("Pages", PDFRef(pages.ObjectNumber));

    auto info = std::make_unique<TPDFDictionaryObject>();
    const std::pair<const char*, const std::string*> strings[] = {
        {"Title", &Params.PDFTitle},       {"Author", &Params.PDFAuthor},   {"Subject", &Params.PDFSubject},
        {"Keywords", &Params.PDFKeywords}, {"Creator", &Params.PDFCreator}, {"Producer", &Params.PDFProducer},
    };
    for (const auto& [key, value] : strings)
        if (!value->empty()) info->Add(key, PDFString(*value));
    info->Add("CreationDate", PDFString(CreationDate(Clock)));
    const auto& registeredInfo = RegisterObject(Document->Objects, std::move(info));

    WritePDFHeader(Stream);
    WritePDFObjects(Stream, Document->Objects);
    WriteXRefAndTrailer(Stream, Document->Objects, registeredInfo);
    // The document and all its objects go with `Document`.
}

void PDFWriteSinglePageDocument(ByteSink& Stream, TRasterImage& Bitmap, TImageParams& Params,
                                TProgressRecord& Progress, const TDocumentClock& Clock) {
    auto document = PDFBeginDocument();
    PDFAddPage(*document, Bitmap, Params, Progress);
    PDFEndDocument(std::move(document), Stream, Params, Clock);
}

}  // namespace pressmark
