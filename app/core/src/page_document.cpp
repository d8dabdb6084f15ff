#include "pressmark/app/page_document.h"

#include <stdexcept>

#include "pressmark/imaging/errors.h"
#include "pressmark/imaging/raster_image.h"
#include "pressmark/writers/page_io.h"

namespace pressmark {
namespace fs = std::filesystem;
namespace {

// Opens, extends and closes one document through TPageIO for either format.
// A document that is not closed is abandoned when this goes away, so an error
// or an abort leaves nothing at the target.
class TOpenDocument {
public:
    TOpenDocument(TPageIO& io, TOutputFormat format, const std::string& target) : io_(io), format_(format) {
        if (format_ == TOutputFormat::PDF) io_.CreatePDFFile(target);
        else io_.CreatePSFile(target);
    }
    ~TOpenDocument() {
        if (format_ == TOutputFormat::PDF) io_.AbandonPDFFile();
        else io_.AbandonPSFile();
    }
    TOpenDocument(const TOpenDocument&) = delete;
    TOpenDocument& operator=(const TOpenDocument&) = delete;

    void AppendPage() {
        if (format_ == TOutputFormat::PDF) io_.AppendPDFPage();
        else io_.AppendPSPage();
    }
    void Close() {
        if (format_ == TOutputFormat::PDF) io_.ClosePDFFile();
        else io_.ClosePSFile();
    }

private:
    TPageIO& io_;
    TOutputFormat format_;
};

// Points the I/O object at one page image for as long as the image lives, so
// that no path (an error included) leaves it holding a destroyed image.
class TAttachedImage {
public:
    TAttachedImage(TPageIO& io, TRasterImage& image) : io_(io) { io_.Image = &image; }
    ~TAttachedImage() { io_.Image = nullptr; }
    TAttachedImage(const TAttachedImage&) = delete;
    TAttachedImage& operator=(const TAttachedImage&) = delete;

private:
    TPageIO& io_;
};

// Loads a slide image into the attached (fresh) page image. The reader keeps
// the image as it was when it rejects a file, so a rejection is seen here and
// turned into an error instead of a blank or repeated page.
void LoadPage(TPageIO& io, const fs::path& path) {
    io.Params.LastReadError.clear();
    io.LoadBmpFile(path.string());
    if (!io.Params.LastReadError.empty()) throw BadInputError(path.string(), io.Params.LastReadError);
    if (io.Image->PixelLayout() == plNone || io.Image->Width() <= 0 || io.Image->Height() <= 0)
        throw BadInputError(path.string(), "not a BMP image that can be read");
}

}  // namespace

TDocumentOutcome WriteImageDocument(const std::vector<fs::path>& images, const fs::path& output,
                                    const TDocumentSettings& settings, const TPageWritten& pageWritten,
                                    std::stop_token stop) {
    if (images.empty()) throw BadInputError(output.string(), "no image to make a page of");
    if (settings.PaperIndex < 0 || settings.PaperIndex >= static_cast<int>(PaperSizes.size()))
        throw std::out_of_range("paper index " + std::to_string(settings.PaperIndex) + " is not 0 to 11");
    const TPaperSize& paper = PaperSizes[static_cast<std::size_t>(settings.PaperIndex)];
    const std::uint8_t compression = CompressionCode(settings.Format, settings.CompressionIndex);

    TPageIO io;
    if (settings.Format == TOutputFormat::PDF) {
        io.Params.PDFPaperWidth = paper.Width;
        io.Params.PDFPaperHeight = paper.Height;
    } else {
        io.Params.PSPaperWidth = paper.Width;
        io.Params.PSPaperHeight = paper.Height;
    }
    TOpenDocument document(io, settings.Format, output.string());
    for (std::size_t i = 0; i < images.size(); ++i) {
        if (stop.stop_requested()) return TDocumentOutcome::Aborted;
        TRasterImage page;
        const TAttachedImage attached(io, page);
        LoadPage(io, images[i]);
        if (settings.Format == TOutputFormat::PDF) io.Params.PDFCompression = compression;
        else io.Params.PSCompression = compression;
        document.AppendPage();
        if (pageWritten) pageWritten(i + 1, images.size());
    }
    if (stop.stop_requested()) return TDocumentOutcome::Aborted;
    document.Close();
    return TDocumentOutcome::Written;
}

}  // namespace pressmark
