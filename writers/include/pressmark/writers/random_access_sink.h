#pragma once
// Sinks the document writers write to. The PostScript writer goes back into
// its own header to raise the page count, so it needs a sink it can seek in
// and read from; the PDF writer only appends. WriteAll is the one place
// where a short write turns into an error, so no writer can lose bytes
// silently.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "pressmark/imaging/byte_sink.h"

namespace pressmark {

// A byte sink with a movable position that can also read back what it holds.
class RandomAccessSink : public ByteSink {
public:
    // Moves the position; later writes overwrite from there (and extend the
    // content when they pass its end).
    virtual void seek(std::uint64_t position) = 0;
    // Reads up to bytes.size() bytes at the position and advances it;
    // answers how many were read (fewer at the end of the content).
    virtual std::size_t read(std::span<std::uint8_t> bytes) = 0;
};

// Growable in-memory file: used for single-page documents in memory and as
// the writers' test double.
class MemoryFile final : public RandomAccessSink {
public:
    std::size_t write(std::span<const std::uint8_t> bytes) override;
    std::uint64_t position() const override { return position_; }
    void seek(std::uint64_t position) override { position_ = position; }
    std::size_t read(std::span<std::uint8_t> bytes) override;

    const std::vector<std::uint8_t>& data() const noexcept { return data_; }
    std::string_view text() const noexcept {
        return {reinterpret_cast<const char*>(data_.data()), data_.size()};
    }

private:
    std::vector<std::uint8_t> data_;
    std::uint64_t position_ = 0;
};

// Writes every byte or throws WriteError (without a file name: the owner of
// the sink knows the file and adds it).
void WriteAll(ByteSink& sink, std::span<const std::uint8_t> bytes);
void WriteAll(ByteSink& sink, std::string_view text);

}  // namespace pressmark
