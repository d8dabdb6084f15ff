#pragma once
// One output abstraction for every encoder and writer: a byte sink that takes
// a span and answers how many bytes it accepted. Encoders that must report a
// short write (the fax and JPEG coders set AbortFlag) look at the answer;
// sinks backed by files throw WriteError instead of accepting less, so no
// caller can lose data silently.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pressmark {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Appends bytes at the current position; returns how many were taken.
    virtual std::size_t write(std::span<const std::uint8_t> bytes) = 0;
    // Current write position (bytes written since the sink's origin).
    virtual std::uint64_t position() const = 0;

    std::size_t write(const void* data, std::size_t size) {
        return write(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), size));
    }
};

// Growing in-memory sink; the writers encode pages into one of these.
class MemorySink final : public ByteSink {
public:
    std::size_t write(std::span<const std::uint8_t> bytes) override {
        data_.insert(data_.end(), bytes.begin(), bytes.end());
        return bytes.size();
    }
    std::uint64_t position() const override { return data_.size(); }
    const std::vector<std::uint8_t>& data() const noexcept { return data_; }
    std::vector<std::uint8_t>& data() noexcept { return data_; }
    std::vector<std::uint8_t> release() noexcept { return std::move(data_); }
    void clear() noexcept { data_.clear(); }

private:
    std::vector<std::uint8_t> data_;
};

}  // namespace pressmark
