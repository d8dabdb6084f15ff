#include "pressmark/writers/page_io.h"

#include <filesystem>
#include <stdexcept>

#include "pressmark/imaging/bmp_reader.h"
#include "pressmark/imaging/errors.h"
#include "pressmark/writers/pdf_document.h"
#include "pressmark/writers/ps_document.h"

namespace pressmark {
namespace {

// A sink's short write surfaces as a WriteError without a file; the
// document's file is known here, so the error names it.
template <typename Body>
void NamingFile(const std::string& file, Body&& body) {
    try {
        body();
    } catch (const WriteError& e) {
        if (!e.file().empty()) throw;
        throw WriteError(file, e.reason());
    } catch (const LimitExceededError& e) {
        if (!e.file().empty()) throw;
        throw LimitExceededError(file, e.reason());
    }
}

// Page data a PDF document keeps in memory before it spools the rest: a
// short deck is written without a second pass over the disk, a long one
// stays at this much memory however many pages it has.
constexpr std::uint64_t kPDFMemoryBudget = 32u << 20;

std::string FolderOf(const std::string& path) {
    const auto parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

}  // namespace

TPageIO::TPageIO(TRasterImage* image) : Image(image) {
    FileFactory = [](const std::string& fileName) -> std::unique_ptr<DocumentFile> {
        return std::make_unique<OutputFile>(fileName);
    };
}

TPageIO::~TPageIO() {
    // A document left open is finished as the caller would have finished it;
    // one whose writing already failed is dropped. Either way nothing escapes
    // a destructor, and a failure leaves the target as it was.
    try {
        if (PSBroken) AbandonPSFile();
        ClosePSFile();
    } catch (...) {
        AbandonPSFile();
    }
    try {
        ClosePDFFile();
    } catch (...) {
        AbandonPDFFile();
    }
}

std::unique_ptr<DocumentFile> TPageIO::OpenFile(const std::string& fileName) {
    std::unique_ptr<DocumentFile> file;
    NamingFile(fileName, [&] { file = FileFactory(fileName); });
    return file;
}

bool TPageIO::PreparePage(TProgressRecord& progress) {
    if (Image == nullptr || Image->Width() < 1 || Image->Height() < 1) return false;
    if (Image->PixelLayout() != plBW1 && Image->PixelLayout() != plRGB24) Image->ChangeLayout(plRGB24);
    AbortFlag = 0;
    progress.OnProgress = OnProgress;
    progress.Sender = this;
    progress.AbortFlag = &AbortFlag;
    return true;
}

void TPageIO::CreatePDFFile(const std::string& FileName) {
    AbortFlag = 0;
    auto file = OpenFile(FileName);
    // Pages past the memory budget wait in a spool beside the target until
    // the close writes the file, so a long deck costs disk space there
    // rather than memory.
    std::shared_ptr<PDFSpool> spool;
    NamingFile(FileName, [&] { spool = std::make_shared<PDFSpool>(FolderOf(FileName), FileName); });
    // A document still open is dropped rather than leaked.
    AbandonPDFFile();
    PDFFile = std::move(file);
    PDFDoc = PDFBeginDocument(std::move(spool), kPDFMemoryBudget);
}

void TPageIO::AppendPDFPage() {
    if (!PDFDoc) throw std::logic_error("AppendPDFPage without an open PDF document");
    TProgressRecord progress;
    if (!PreparePage(progress)) return;
    NamingFile(PDFFile->name(), [&] { PDFAddPage(*PDFDoc, *Image, Params, progress); });
}

void TPageIO::ClosePDFFile() {
    if (!PDFDoc) return;
    auto document = std::move(PDFDoc);
    auto file = std::move(PDFFile);
    // A failure abandons the file (its destructor removes the temporary).
    NamingFile(file->name(), [&] {
        PDFEndDocument(std::move(document), *file, Params, Clock);
        file->commit();
    });
}

void TPageIO::AbandonPDFFile() noexcept {
    PDFDoc.reset();
    if (PDFFile) PDFFile->abandon();
    PDFFile.reset();
}

void TPageIO::CreatePSFile(const std::string& FileName) {
    AbortFlag = 0;
    auto file = OpenFile(FileName);
    std::unique_ptr<PSDocumentHandle> document;
    NamingFile(FileName, [&] { document = PSBeginDocument(*file, Params, Clock); });
    AbandonPSFile();
    PSFile = std::move(file);
    PSDoc = std::move(document);
}

void TPageIO::AppendPSPage() {
    if (!PSDoc) throw std::logic_error("AppendPSPage without an open PostScript document");
    if (PSBroken) throw WriteError(PSFile->name(), "an earlier write of this document failed");
    TProgressRecord progress;
    if (!PreparePage(progress)) return;
    // Encoder errors come before anything reaches the file and leave the
    // document usable; a failure while writing leaves it broken.
    try {
        NamingFile(PSFile->name(), [&] { PSAddPage(*PSDoc, *PSFile, *Image, Params, progress); });
    } catch (const WriteError&) {
        PSBroken = true;
        throw;
    }
}

void TPageIO::ClosePSFile() {
    if (!PSDoc) return;
    auto document = std::move(PSDoc);
    auto file = std::move(PSFile);
    if (PSBroken) {
        PSBroken = false;
        throw WriteError(file->name(), "the document is incomplete after a failed write and was not saved");
    }
    NamingFile(file->name(), [&] {
        PSEndDocument(std::move(document), *file);
        file->commit();
    });
}

void TPageIO::AbandonPSFile() noexcept {
    PSDoc.reset();
    if (PSFile) PSFile->abandon();
    PSFile.reset();
    PSBroken = false;
}

void TPageIO::LoadImageFile(const std::string& Path) {
    if (IsBmpExtension(Path)) LoadBmpFile(Path);
}

void TPageIO::LoadBmpFile(const std::string& Path) {
    AbortFlag = 0;
    if (Image == nullptr) return;
    TProgressRecord progress;
    progress.OnProgress = OnProgress;
    progress.Sender = this;
    progress.AbortFlag = &AbortFlag;
    pressmark::LoadBmpFile(Path, *Image, Params, progress);
    // A rejected file leaves the image as it was (the previous slide); that
    // must not become a page of this one, so the caller hears why.
    if (AbortFlag != 0)
        throw BadInputError(Path, Params.LastReadError.empty() ? "not a readable BMP file" : Params.LastReadError);
}

void TPageIO::WritePDFStream(ByteSink& Stream) {
    TProgressRecord progress;
    if (!PreparePage(progress)) return;
    PDFWriteSinglePageDocument(Stream, *Image, Params, progress, Clock);
}

void TPageIO::WritePSStream(RandomAccessSink& Stream) {
    TProgressRecord progress;
    if (!PreparePage(progress)) return;
    PSWriteSinglePageDocument(Stream, *Image, Params, progress, Clock);
}

void TPageIO::WritePDFFile(const std::string& FileName) {
    TProgressRecord progress;
    if (!PreparePage(progress)) return;
    auto file = OpenFile(FileName);
    NamingFile(FileName, [&] {
        PDFWriteSinglePageDocument(*file, *Image, Params, progress, Clock);
        file->commit();
    });
}

void TPageIO::WritePSFile(const std::string& FileName) {
    TProgressRecord progress;
    if (!PreparePage(progress)) return;
    auto file = OpenFile(FileName);
    NamingFile(FileName, [&] {
        PSWriteSinglePageDocument(*file, *Image, Params, progress, Clock);
        file->commit();
    });
}

}  // namespace pressmark
