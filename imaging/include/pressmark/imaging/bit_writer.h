#pragma once
// BitWriter: appends variable-length codes, most significant bit first, to a
// caller-provided byte buffer. The fax coders emit several codes per pixel
// run, so put() is inline and touches memory only once per 32 bits: the bits
// gather in a 64-bit accumulator and leave it as whole big-endian words.
//
// The buffer must hold ceil(bitCount() / 8) bytes by the time finish() runs;
// the writer never stores past that.
#include <cstddef>
#include <cstdint>

namespace pressmark {

class BitWriter {
public:
    explicit BitWriter(std::uint8_t* buffer) noexcept : out_(buffer) {}

    // Appends the low `length` bits of `code` (length 1 to 32), most
    // significant first.
    void put(std::uint32_t code, int length) noexcept {
        acc_ = (acc_ << length) | (code & ((std::uint64_t{1} << length) - 1));
        held_ += length;
        if (held_ >= 32) {
            held_ -= 32;
            storeWord(static_cast<std::uint32_t>(acc_ >> held_));
        }
    }

    // Appends 0 bits up to the next byte boundary (nothing when aligned).
    void alignToByte() noexcept {
        const int pad = (8 - (held_ & 7)) & 7;
        if (pad != 0) put(0, pad);
    }

    // Number of bits appended so far.
    std::size_t bitCount() const noexcept { return bytes_ * 8 + static_cast<std::size_t>(held_); }

    // Moves the bits still held into the buffer, completing a partial last
    // byte with 0 bits, and returns the number of bytes the buffer now holds.
    // The writer may go on afterwards only once it is byte-aligned.
    std::size_t finish() noexcept {
        int left = held_;
        while (left > 0) {
            const int shift = left - 8;
            const auto byte = shift >= 0 ? acc_ >> shift : acc_ << -shift;
            out_[bytes_++] = static_cast<std::uint8_t>(byte);
            left -= 8;
        }
        held_ = 0;
        return bytes_;
    }

private:
    void storeWord(std::uint32_t word) noexcept {
        std::uint8_t* p = out_ + bytes_;
        p[0] = static_cast<std::uint8_t>(word >> 24);
        p[1] = static_cast<std::uint8_t>(word >> 16);
        p[2] = static_cast<std::uint8_t>(word >> 8);
        p[3] = static_cast<std::uint8_t>(word);
        bytes_ += 4;
    }

    std::uint8_t* out_;
    std::size_t bytes_ = 0;   // whole bytes already stored
    std::uint64_t acc_ = 0;   // the low held_ bits are pending, oldest highest
    int held_ = 0;            // 0 to 31 between calls
};

}  // namespace pressmark
