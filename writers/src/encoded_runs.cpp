#include "encoded_runs.h"

#include <algorithm>

#include "pressmark/imaging/ascii85.h"
#include "pressmark/imaging/packbits.h"

namespace pressmark {

std::vector<std::uint8_t> PackBitsRun(const std::uint8_t* data, std::size_t length) {
    std::vector<std::uint8_t> packed(std::max(2 * length, PackBitsMaxEncodedSize(length)));
    packed.resize(PackBitsEncode(data, length, packed.data()));
    return packed;
}

std::int64_t AppendASCII85Run(MemorySink& memory, std::span<const std::uint8_t> bytes) {
    auto& out = memory.data();
    if (bytes.empty()) {
        // The encoder needs at least one byte; an empty block is just its
        // terminator (an aborted JPEG encoding can leave nothing to wrap).
        static constexpr std::uint8_t kTerminator[] = {'~', '>', '\r', '\n'};
        out.insert(out.end(), std::begin(kTerminator), std::end(kTerminator));
        return 0;
    }
    const std::size_t start = out.size();
    out.resize(start + ASCII85MaxEncodedSize(bytes.size()));
    std::int64_t count = 0;
    const std::size_t written = ASCII85Encode(bytes.data(), bytes.size(), out.data() + start, count);
    out.resize(start + written);
    return count;
}

}  // namespace pressmark
