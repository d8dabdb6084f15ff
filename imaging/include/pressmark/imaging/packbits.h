#pragma once
// PackBits run-length coding, as read by the "RunLengthDecode" filter.
#include <cstddef>
#include <cstdint>

namespace pressmark {

// Worst case of PackBitsEncode for `length` input bytes, end-of-data byte
// included: a literal run stops in front of each pair of equal bytes, so the
// output can reach 3 bytes for every 2 input bytes.
constexpr std::size_t PackBitsMaxEncodedSize(std::size_t length) noexcept { return 3 * length / 2 + 2; }

// Codes `length` bytes as one sequence (runs continue across row ends) and
// ends with the end-of-data byte 0x80. Dest must hold
// PackBitsMaxEncodedSize(length) bytes. Returns the bytes written.
std::size_t PackBitsEncode(const std::uint8_t* Source, std::size_t Length, std::uint8_t* Dest) noexcept;

}  // namespace pressmark
