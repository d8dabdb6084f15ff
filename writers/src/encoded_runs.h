#pragma once
// The two encoder steps both writers repeat: one PackBits run (with its
// end-of-data byte) into a buffer sized by the encoder's worst case, and
// one ASCII85 block (with its terminator) appended to a page's data.
#include <cstdint>
#include <span>
#include <vector>

#include "pressmark/imaging/byte_sink.h"

namespace pressmark {

std::vector<std::uint8_t> PackBitsRun(const std::uint8_t* data, std::size_t length);

// Appends one ASCII85 block of `bytes` and answers its group character
// count (line breaks and the terminator excluded).
std::int64_t AppendASCII85Run(MemorySink& memory, std::span<const std::uint8_t> bytes);

}  // namespace pressmark
