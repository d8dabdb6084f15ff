// LZW compressor for PDF's "LZWDecode" with its default parameters.
//
// Quirks worth knowing before changing anything here:
//  - Early change: the code width grows one code earlier than in GIF-style
//    LZW. The width is adjusted right after a code is written, while the
//    next free code has not yet been assigned; with 9-bit codes the switch to
//    10 bits follows the code written while the next free code is 511. This
//    is what a decoder with EarlyChange 1 (the PDF default) expects.
//  - The table is cleared when the next free code reaches 4094; the clear
//    code is written in the width in force before the reset (12 bits).
//  - The dictionary is an open-addressed hash of 5003 entries (a prime), hash
//    (byte << 4) XOR prefix, secondary probe step 5003 - index, as in the
//    classic Unix compress. Probing stops at an empty key (-1) or at key 0;
//    stopping at key 0 can only cost compression, never correctness, since
//    a string that is not found is simply emitted as a shorter code.
//  - Bytes collect in a 254-byte buffer that is written when full and at
//    the end, so the sink sees few, large writes.
#include "pressmark/imaging/lzw.h"

#include <algorithm>
#include <array>
#include <memory>

namespace pressmark {

namespace {
constexpr int kTableSize = 5003;
constexpr int kHashShift = 4;
constexpr int kClearCode = 256;
constexpr int kEndCode = 257;
constexpr int kFirstFreeCode = 258;
constexpr int kTableFullCode = 4094;
constexpr int kInitialWidth = 9;
constexpr std::size_t kBufferSize = 254;
}  // namespace

struct LZWEncoderState {
    explicit LZWEncoderState(ByteSink& sink) : stream(&sink) { keys.fill(-1); }

    // current input chunk
    const std::uint8_t* data = nullptr;
    std::size_t readIndex = 0;
    std::size_t remaining = 0;

    ByteSink* stream;

    // code parameters
    int codeWidth = kInitialWidth;
    int maxCode = (1 << kInitialWidth) - 1;
    int nextFreeCode = kFirstFreeCode;
    bool clearPending = false;

    // dictionary
    std::array<std::int32_t, kTableSize> keys;
    std::array<std::uint16_t, kTableSize> codes{};

    // bit accumulator, filled from bit 31 down
    std::uint32_t accumulator = 0;
    int bitCount = 0;

    std::array<std::uint8_t, kBufferSize> buffer{};
    std::size_t buffered = 0;

    int prefix = 0;  // "ent": code of the string matched so far

    void FlushBuffer() {
        if (buffered) stream->write(buffer.data(), buffered);
        buffered = 0;
    }

    void WriteCode(int code) {
        accumulator |= static_cast<std::uint32_t>(code) << (32 - bitCount - codeWidth);
        bitCount += codeWidth;
        while (bitCount >= 8) {
            buffer[buffered++] = static_cast<std::uint8_t>(accumulator >> 24);
            accumulator <<= 8;
            bitCount -= 8;
            if (buffered == kBufferSize) FlushBuffer();
        }
        if (clearPending) {
            codeWidth = kInitialWidth;
            maxCode = (1 << kInitialWidth) - 1;
            clearPending = false;
        } else if (nextFreeCode > maxCode - 1) {
            ++codeWidth;
            maxCode = codeWidth >= 12 ? 4095 : (1 << codeWidth) - 1;
        }
        if (code == kEndCode) {
            if (bitCount > 0) buffer[buffered++] = static_cast<std::uint8_t>(accumulator >> 24);
            accumulator = 0;
            bitCount = 0;
            FlushBuffer();
        }
    }

    // The hot loop works on local copies of the coder's registers: byte
    // stores into the output buffer may alias any member, which would make
    // the compiler reload every field after each output byte.
    void Compress() {
        const std::uint8_t* p = data + readIndex;
        const std::uint8_t* const end = p + remaining;
        std::int32_t* const keyTable = keys.data();
        std::uint16_t* const codeTable = codes.data();
        std::uint8_t* const out = buffer.data();
        int ent = prefix;
        int width = codeWidth, limit = maxCode, next = nextFreeCode;
        std::uint32_t acc = accumulator;
        int bits = bitCount;
        std::size_t filled = buffered;
        bool clear = clearPending;
        auto emit = [&](int code) {
            acc |= static_cast<std::uint32_t>(code) << (32 - bits - width);
            bits += width;
            while (bits >= 8) {
                out[filled++] = static_cast<std::uint8_t>(acc >> 24);
                acc <<= 8;
                bits -= 8;
                if (filled == kBufferSize) {
                    stream->write(out, filled);
                    filled = 0;
                }
            }
            if (clear) {
                width = kInitialWidth;
                limit = (1 << kInitialWidth) - 1;
                clear = false;
            } else if (next > limit - 1) {
                ++width;
                limit = width >= 12 ? 4095 : (1 << width) - 1;
            }
        };
        for (; p != end; ++p) {
            const int c = *p;
            const std::int32_t key = (c << 12) + ent;
            int index = (c << kHashShift) ^ ent;
            std::int32_t probe = keyTable[index];
            if (probe == key) {
                ent = codeTable[index];
                continue;
            }
            if (probe != -1) {
                const int step = index == 0 ? 1 : kTableSize - index;
                do {
                    index -= step;
                    if (index < 0) index += kTableSize;
                    probe = keyTable[index];
                } while (probe != key && probe > 0);
                if (probe == key) {
                    ent = codeTable[index];
                    continue;
                }
            }
            emit(ent);
            ent = c;
            if (next >= kTableFullCode) {
                std::fill_n(keyTable, kTableSize, -1);
                next = kFirstFreeCode;
                clear = true;
                emit(kClearCode);
            } else {
                codeTable[index] = static_cast<std::uint16_t>(next++);
                keyTable[index] = key;
            }
        }
        prefix = ent;
        codeWidth = width;
        maxCode = limit;
        nextFreeCode = next;
        accumulator = acc;
        bitCount = bits;
        buffered = filled;
        clearPending = clear;
        readIndex += remaining;
        remaining = 0;
    }
};

void LZWCompress(const std::uint8_t* data, std::size_t count, ByteSink& stream, LZWEncoderState*& state) {
    if (data == nullptr) {
        if (state == nullptr) return;  // nothing was started: nothing to finish
        std::unique_ptr<LZWEncoderState> owned(state);
        state = nullptr;
        owned->stream = &stream;
        owned->WriteCode(owned->prefix);
        owned->WriteCode(kEndCode);
        return;
    }
    if (state == nullptr) {
        if (count == 0) return;  // the first call must bring a byte to start the prefix
        auto fresh = std::make_unique<LZWEncoderState>(stream);
        fresh->prefix = data[0];
        fresh->WriteCode(kClearCode);
        ++data;
        --count;
        state = fresh.release();  // the finishing call (or LZWRelease) frees it
    }
    state->stream = &stream;
    state->data = data;
    state->readIndex = 0;
    state->remaining = count;
    state->Compress();
}

void LZWRelease(LZWEncoderState*& state) noexcept {
    delete state;
    state = nullptr;
}

}  // namespace pressmark
