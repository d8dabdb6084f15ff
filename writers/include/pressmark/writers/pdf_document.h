#pragma once
// The PDF document builder: one page per raster image, every image scaled
// to fit its page and placed in the top-left corner. The whole document
// stays in memory as PDF objects until PDFEndDocument writes it in one pass;
// a document given a spool keeps its pages' stream data in memory up to a
// budget and every later page's data in the spool, so its memory does not
// grow with its images while short documents never touch the disk twice.
#include <cstdint>
#include <memory>
#include <vector>

#include "pressmark/imaging/byte_sink.h"
#include "pressmark/imaging/image_params.h"
#include "pressmark/imaging/raster_image.h"
#include "pressmark/writers/document_clock.h"
#include "pressmark/writers/pdf_objects.h"

namespace pressmark {

// One open document. Objects owns every object; the other lists observe.
struct PDFDocument {
    TPDFObjectList Objects;
    std::vector<TPDFDictionaryObject*> PageList;
    std::vector<TPDFStreamObject*> ImageList;
    std::vector<TPDFStreamObject*> ContentList;
    TPDFDictionaryObject* Resources = nullptr;
    TPDFDictionaryObject* Catalog = nullptr;
    // Where finished pages' stream data goes once the data held in memory
    // would pass MemoryBudget bytes; null keeps it all in memory.
    std::shared_ptr<PDFSpool> Spool;
    std::uint64_t MemoryBudget = 0;
};

std::unique_ptr<PDFDocument> PDFBeginDocument(std::shared_ptr<PDFSpool> Spool = nullptr,
                                              std::uint64_t MemoryBudget = 0);

// Bytes of stream data the document holds in memory (the images and
// content streams not spooled).
std::uint64_t PDFHeldStreamBytes(const PDFDocument& Document);

// Adds Bitmap (plBW1 or plRGB24, at least 1 x 1) as the next page, with the
// paper size and PDFCompression in force now. Records the page's bits per
// sample and samples per pixel in Params; a 1-bit page with code 4 turns
// the code into 3. An encoder error propagates with nothing of the page
// registered, so the document keeps its earlier pages; so does a spool
// write failure (WriteError).
void PDFAddPage(PDFDocument& Document, TRasterImage& Bitmap, TImageParams& Params, TProgressRecord& Progress);

// Writes the file to Stream and frees the document; a null document does
// nothing. The information strings are read now; the creation date comes
// from Clock.
void PDFEndDocument(std::unique_ptr<PDFDocument> Document, ByteSink& Stream, const TImageParams& Params,
                    const TDocumentClock& Clock = LocalNow);

void PDFWriteSinglePageDocument(ByteSink& Stream, TRasterImage& Bitmap, TImageParams& Params,
                                TProgressRecord& Progress, const TDocumentClock& Clock = LocalNow);

// Structure helpers.
TPDFDictionaryObject& CreateCatalog(TPDFObjectList& Objects);
TPDFDictionaryObject& CreatePage(TPDFObjectList& Objects, std::vector<TPDFDictionaryObject*>& PageList,
                                 const TPDFDictionaryObject* Resources, std::int32_t ContentNumber,
                                 std::unique_ptr<TPDFArrayObject> MediaBox);
TPDFDictionaryObject& CreatePagesTree(TPDFObjectList& Objects, const std::vector<TPDFDictionaryObject*>& PageList);

}  // namespace pressmark
