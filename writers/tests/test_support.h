#pragma once
// Shared fixtures of the writer tests: failing sinks, image makers, and
// running the independent checkers (qpdf, poppler, mupdf, ghostscript).
#include <algorithm>
#include <cstdint>
#include <span>

#include "pressmark/writers/random_access_sink.h"

namespace pressmark {

// Takes bytes until `limit` have been accepted, then accepts fewer than
// offered, like a full disk.
class FailAfterSink final : public RandomAccessSink {
public:
    explicit FailAfterSink(std::uint64_t limit) : limit_(limit) {}
    std::size_t write(std::span<const std::uint8_t> bytes) override {
        const std::uint64_t room = limit_ > inner_.position() ? limit_ - inner_.position() : 0;
        const std::size_t taken = static_cast<std::size_t>(std::min<std::uint64_t>(room, bytes.size()));
        return inner_.write(bytes.first(taken));
    }
    std::uint64_t position() const override { return inner_.position(); }
    void seek(std::uint64_t position) override { inner_.seek(position); }
    std::size_t read(std::span<std::uint8_t> bytes) override { return inner_.read(bytes); }

private:
    std::uint64_t limit_;
    MemoryFile inner_;
};

}  // namespace pressmark
