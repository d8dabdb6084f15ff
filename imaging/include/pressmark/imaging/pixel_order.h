#pragma once
// Reordering of 24-bit pixels from the raster's blue-green-red storage to the
// red-green-blue order of PDF and PostScript image data.
#include <cstddef>
#include <cstdint>

namespace pressmark {

// Copies 3 x N bytes from Source to Dest, swapping the first and third byte
// of each pixel on the way. The buffers must not overlap.
void CopyBGRToRGB(std::uint8_t* Dest, const std::uint8_t* Source, std::size_t N) noexcept;
// Swaps the first and third byte of each of the N pixels in place.
void SwapBGRToRGB(std::uint8_t* Buffer, std::size_t N) noexcept;

}  // namespace pressmark
