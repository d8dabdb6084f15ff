#pragma once
// A spool for the finished pages of a PDF document. The PDF file is written
// in one pass when the document closes, so every page's encoded image would
// otherwise stay in memory until then; a long deck of uncompressed colour
// pages needs far more memory than the machine has. The spool is an
// anonymous temporary file (it has no name in the folder and vanishes with
// its descriptor, even when the process is killed), so memory stays at one
// page however many pages the document holds.
#include <cstdint>
#include <span>
#include <string>

#include "pressmark/imaging/byte_sink.h"

namespace pressmark {

class PDFSpool {
public:
    // Opens the spool in `folder` (empty: the system's temporary folder).
    // Errors name `target`, the document the spool serves, and give the
    // folder in the reason. Throws WriteError when no file can be created.
    explicit PDFSpool(std::string folder = {}, std::string target = {});
    ~PDFSpool();
    PDFSpool(const PDFSpool&) = delete;
    PDFSpool& operator=(const PDFSpool&) = delete;

    // Appends the bytes and answers where they begin in the spool.
    std::uint64_t Append(std::span<const std::uint8_t> bytes);
    // Writes `length` bytes spooled at `offset` to Stream, a chunk at a time.
    void CopyTo(ByteSink& Stream, std::uint64_t offset, std::uint64_t length) const;
    // Bytes spooled so far.
    std::uint64_t Size() const noexcept { return size_; }

private:
    [[noreturn]] void Fail(const std::string& what, int error) const;

    std::string folder_;
    std::string target_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace pressmark
