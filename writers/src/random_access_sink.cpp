#include "pressmark/writers/random_access_sink.h"

#include <algorithm>
#include <string>

#include "pressmark/imaging/errors.h"

namespace pressmark {

std::size_t MemoryFile::write(std::span<const std::uint8_t> bytes) {
    const std::uint64_t end = position_ + bytes.size();
    if (end > data_.size()) data_.resize(end);
    std::copy(bytes.begin(), bytes.end(), data_.begin() + static_cast<std::ptrdiff_t>(position_));
    position_ = end;
    return bytes.size();
}

std::size_t MemoryFile::read(std::span<std::uint8_t> bytes) {
    if (position_ >= data_.size()) return 0;
    const std::size_t count = std::min<std::uint64_t>(bytes.size(), data_.size() - position_);
    std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(position_), count, bytes.begin());
    position_ += count;
    return count;
}

void WriteAll(ByteSink& sink, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    const std::size_t taken = sink.write(bytes);
    if (taken != bytes.size())
        throw WriteError("", "the output accepted only " + std::to_string(taken) + " of " +
                                 std::to_string(bytes.size()) + " bytes (disk full?)");
}

void WriteAll(ByteSink& sink, std::string_view text) {
    WriteAll(sink, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                                 text.size()));
}

}  // namespace pressmark
