#include "pressmark/imaging/pixel_order.h"

#include <cstring>
#include <utility>

namespace pressmark {

void CopyBGRToRGB(std::uint8_t* Dest, const std::uint8_t* Source, std::size_t N) noexcept {
    for (std::size_t i = 0; i < N; ++i, Dest += 3, Source += 3) {
        Dest[0] = Source[2];
        Dest[1] = Source[1];
        Dest[2] = Source[0];
    }
}

void SwapBGRToRGB(std::uint8_t* Buffer, std::size_t N) noexcept {
    for (std::size_t i = 0; i < N; ++i, Buffer += 3) std::swap(Buffer[0], Buffer[2]);
}

}  // namespace pressmark
