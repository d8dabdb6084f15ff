#pragma once
// LZWCompress: the built-in LZW compressor in the variant PDF's "LZWDecode"
// filter reads with default parameters (early change 1, MSB-first codes).
// It is fed in pieces; the caller holds the state between calls:
//
//     LZWEncoderState* state = nullptr;
//     LZWStateGuard guard(state);          // frees an unfinished state on unwinding
//     LZWCompress(row, n, sink, state);    // any number of times
//     LZWCompress(nullptr, 0, sink, state); // finishes and releases, state == nullptr
#include <cstddef>
#include <cstdint>

#include "pressmark/imaging/byte_sink.h"
#include "pressmark/imaging/image_params.h"

namespace pressmark {

// Compresses `count` bytes as a continuation of every earlier call on the same
// state; data == nullptr finishes the code stream and releases the state.
// The first call creates the state and must bring at least one byte.
void LZWCompress(const std::uint8_t* data, std::size_t count, ByteSink& stream, LZWEncoderState*& state);

// Discards an unfinished state without writing anything (for error paths).
void LZWRelease(LZWEncoderState*& state) noexcept;

// Releases an unfinished state when the scope is left by an exception.
class LZWStateGuard {
public:
    explicit LZWStateGuard(LZWEncoderState*& state) noexcept : state_(state) {}
    ~LZWStateGuard() { LZWRelease(state_); }
    LZWStateGuard(const LZWStateGuard&) = delete;
    LZWStateGuard& operator=(const LZWStateGuard&) = delete;

private:
    LZWEncoderState*& state_;
};

}  // namespace pressmark
