// ASCII85: each group of 4 bytes is a big-endian 32-bit value written as five
// base-85 digits ("!" + digit); an all-zero full group is "z". A last group
// of n < 4 bytes is zero-padded and written as n + 1 digits (never as "z").
#include "pressmark/imaging/ascii85.h"

namespace pressmark {

int ASCII85EncodeGroup(const std::uint8_t*& Input, int Count, std::uint8_t*& Output) noexcept {
    std::uint32_t value = 0;
    for (int k = 0; k < 4; ++k) value = (value << 8) | (k < Count ? Input[k] : 0u);
    Input += Count;
    if (Count == 4 && value == 0) {
        *Output++ = 'z';
        return 1;
    }
    std::uint8_t digits[5];
    for (int k = 4; k >= 0; --k) {
        digits[k] = static_cast<std::uint8_t>(value % 85 + 33);
        value /= 85;
    }
    for (int k = 0; k <= Count; ++k) *Output++ = digits[k];
    return Count + 1;
}

std::size_t ASCII85Encode(const std::uint8_t* Input, std::size_t Length, std::uint8_t* Output,
                          std::int64_t& Counter) noexcept {
    std::uint8_t* out = Output;
    int lineLength = 0;
    std::size_t remaining = Length;
    while (remaining > 0) {
        const int count = remaining < 4 ? static_cast<int>(remaining) : 4;
        const int written = ASCII85EncodeGroup(Input, count, out);
        lineLength += written;
        Counter += written;
        remaining -= static_cast<std::size_t>(count);
        if (lineLength >= 75) {
            *out++ = '\r';
            *out++ = '\n';
            lineLength = 0;
        }
    }
    *out++ = '~';
    *out++ = '>';
    *out++ = '\r';
    *out++ = '\n';
    return static_cast<std::size_t>(out - Output);
}

}  // namespace pressmark
