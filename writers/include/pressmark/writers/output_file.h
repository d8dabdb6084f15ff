#pragma once
// Output files that never leave a broken document behind. A document is
// written to a temporary file in the destination folder and renamed over
// the target only by commit(), after every byte reached the disk; a file
// that is abandoned, or destroyed without commit, is removed, so an
// existing document is only ever replaced by a complete one.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pressmark/writers/random_access_sink.h"

namespace pressmark {

// What the output-document operations write to: a seekable sink that is
// either committed (becomes the named file) or abandoned (leaves nothing).
class DocumentFile : public RandomAccessSink {
public:
    // The file the document becomes on commit; errors name it.
    virtual const std::string& name() const noexcept = 0;
    // Makes the document the named file. Throws WriteError on failure, after
    // which the file is abandoned.
    virtual void commit() = 0;
    // Drops the document; the target stays as it was.
    virtual void abandon() noexcept = 0;
};

// A DocumentFile on disk. Every failing or short write, flush, sync or
// rename raises WriteError naming the target and the system's reason.
class OutputFile final : public DocumentFile {
public:
    // Creates the temporary file beside `target`; throws WriteError naming
    // the target when that is impossible (missing folder, no permission).
    explicit OutputFile(std::string target);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::size_t write(std::span<const std::uint8_t> bytes) override;
    std::uint64_t position() const override { return position_; }
    void seek(std::uint64_t position) override;
    std::size_t read(std::span<std::uint8_t> bytes) override;

    const std::string& name() const noexcept override { return target_; }
    void commit() override;
    void abandon() noexcept override;

    // The temporary file's path while the document is open, else empty.
    const std::string& temporaryPath() const noexcept { return temporary_; }

private:
    void writeAt(std::span<const std::uint8_t> bytes, std::uint64_t offset);
    void flushBuffer();
    [[noreturn]] void fail(const std::string& what, int error);

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    std::uint64_t position_ = 0;       // logical position (buffer included)
    std::uint64_t bufferStart_ = 0;    // file offset of buffer_[0]
    std::vector<std::uint8_t> buffer_; // pending bytes, written at bufferStart_
};

}  // namespace pressmark
