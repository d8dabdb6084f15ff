// PackBits: a repeat run is coded as (1 - n, byte), a literal run as
// (n - 1, n bytes); runs are at most 128 bytes. Two equal bytes already make
// a repeat run, so a literal stops in front of the second byte of the first
// pair of equal neighbours.
#include "pressmark/imaging/packbits.h"

#include <algorithm>
#include <cstring>

namespace pressmark {

std::size_t PackBitsEncode(const std::uint8_t* Source, std::size_t Length, std::uint8_t* Dest) noexcept {
    std::uint8_t* out = Dest;
    std::size_t i = 0;
    while (i < Length) {
        const std::size_t limit = std::min(Length, i + 128);
        const std::uint8_t first = Source[i];
        std::size_t j = i + 1;
        while (j < limit && Source[j] == first) ++j;
        if (j - i >= 2) {
            *out++ = static_cast<std::uint8_t>(257 - (j - i));
            *out++ = first;
            i = j;
            continue;
        }
        while (j < limit && Source[j] != Source[j - 1]) ++j;
        const std::size_t n = j - i;
        *out++ = static_cast<std::uint8_t>(n - 1);
        std::memcpy(out, Source + i, n);
        out += n;
        i = j;
    }
    *out++ = 0x80;  // end of data
    return static_cast<std::size_t>(out - Dest);
}

}  // namespace pressmark
