#pragma once
// TPageIO: the image input/output object the conversion driver works
// through. It loads slide images into the image it is attached to and
// appends that image as a page of an open PDF or PostScript document.
//
// Documents are written to a temporary file beside the target and only
// replace the target when ClosePDFFile/ClosePSFile completes, so a failed or
// abandoned run never leaves a truncated document and never destroys an
// existing one. Every write is checked; a failure raises WriteError naming
// the target file, and the document is then abandoned.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "pressmark/imaging/image_params.h"
#include "pressmark/imaging/raster_image.h"
#include "pressmark/writers/document_clock.h"
#include "pressmark/writers/output_file.h"

namespace pressmark {

struct PDFDocument;
struct PSDocumentHandle;

class TPageIO {
public:
    // Opens the file a document is written to; the default makes an
    // OutputFile. Tests inject failing files here.
    using TFileFactory = std::function<std::unique_ptr<DocumentFile>(const std::string& fileName)>;

    explicit TPageIO(TRasterImage* image = nullptr);
    // Finishes a document that is still open (PostScript first, then PDF), as
    // a document left open is meant to be written when the object goes away.
    // A document whose writing already failed is abandoned instead. Never
    // throws: a failure while finishing drops the document.
    ~TPageIO();
    TPageIO(const TPageIO&) = delete;
    TPageIO& operator=(const TPageIO&) = delete;

    // The attached image: loads go into it, appends write it. Not owned.
    TRasterImage* Image = nullptr;
    // Writer (and reader) parameters, reset to their defaults on creation.
    TImageParams Params;
    TProgressEvent OnProgress;
    std::uint8_t AbortFlag = 0;
    // The clock for creation dates, and the file factory (see above).
    TDocumentClock Clock = LocalNow;
    TFileFactory FileFactory;

    // PDF: the file is written in one pass by ClosePDFFile; until then the
    // pages' data beyond a fixed memory budget (32 MiB) waits in an unnamed
    // spool file in the target's folder.
    void CreatePDFFile(const std::string& FileName);
    void AppendPDFPage();
    void ClosePDFFile();
    // Drops the open PDF document; the target file stays as it was.
    void AbandonPDFFile() noexcept;
    bool PDFFileOpen() const noexcept { return PDFDoc != nullptr; }

    // PostScript: the header is written at create, each page at append, the
    // trailer at close.
    void CreatePSFile(const std::string& FileName);
    void AppendPSPage();
    void ClosePSFile();
    void AbandonPSFile() noexcept;
    bool PSFileOpen() const noexcept { return PSDoc != nullptr; }

    // Loads an image file into the attached image, choosing the reader by
    // extension (BMP, DIB, RLE: the BMP reader). An unknown extension loads
    // nothing and reports nothing.
    void LoadImageFile(const std::string& Path);
    void LoadBmpFile(const std::string& Path);

    // One-page documents of the attached image, to a stream or a new file.
    void WritePDFStream(ByteSink& Stream);
    void WritePSStream(RandomAccessSink& Stream);
    void WritePDFFile(const std::string& FileName);
    void WritePSFile(const std::string& FileName);

private:
    // Converts the attached image to a layout the writers take, clears
    // AbortFlag and answers the progress record for one page, or nothing
    // when no image is attached.
    bool PreparePage(TProgressRecord& progress);
    std::unique_ptr<DocumentFile> OpenFile(const std::string& fileName);

    std::unique_ptr<DocumentFile> PDFFile;
    std::unique_ptr<PDFDocument> PDFDoc;
    std::unique_ptr<DocumentFile> PSFile;
    std::unique_ptr<PSDocumentHandle> PSDoc;
    bool PSBroken = false;  // a write of the open PostScript document failed
};

}  // namespace pressmark
