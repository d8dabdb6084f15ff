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
//  - The dictionary is defined as the open-addressed hash of the classic
//    Unix compress: 5003 entries, hash (byte << 4) XOR prefix, secondary
//    probe step 5003 - index. Probing stops at an empty key (-1) or at key 0.
//    Our output must stay byte-identical to that coder, stop at key 0
//    included.
//  - Bytes collect in a 254-byte buffer that is written when full and at
//    the end, so the sink sees few, large writes.
//
// Why a second table: the classic hash index is always below 4096, so the
// 5003 slots fill into long probe chains, and the coder spent most of its
// time walking them. Which strings that table finds can be told without it:
//  - A string is stored at the first slot of its chain that is empty or holds
//    key 0 (the primary slot only when empty). A slot with a positive key
//    never changes until the table is cleared, so every slot that a later
//    lookup passes before the string's own slot still holds a positive key
//    or, at the primary slot, is still occupied: a stored string is always
//    found again, and a string not stored is never found.
//  - The only string that can leave the table is key 0 itself (the string
//    "00 00"): a new string whose chain ends on its slot overwrites it, after
//    which "00 00" is looked up in vain and gets a new code.
// So the found / not-found answers are plain set membership, kept apart for
// "00 00": a small linear-probing table with a better spread (`fast`)
// answers in one or two probes, and `zeroCode` holds the code of "00 00"
// while it is in the dictionary. The classic table is needed only to learn
// whether a new string lands on the slot of "00 00" and pushes it out, so it
// is not kept at all until "00 00" is first stored: then it is rebuilt by
// storing the strings again in code order (the order they were stored in,
// which gives the same slots), and from there on each new string is placed
// in it by the classic probe until the next clear.
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

// The fast table: a power of two, holding at most 3836 strings. Measured on a
// slide page, 8192 slots still collide often enough to cost a quarter of the
// speed; 32768 (128 KiB, emptied at each clear) leave few collisions, and a
// larger table gains next to nothing.
constexpr std::uint32_t kFastSize = 32768;
// An entry is c << 24 | image(prefix) << 12 | image(code). None is ever all
// ones: prefix and code would have the same image.
constexpr std::uint32_t kFastEmpty = 0xFFFFFFFFu;
// The fast table does not work on codes but on their images under a fixed
// scrambling permutation of 0..4095. Codes are handed out in sequence and
// would pile up in neighbouring slots, which linear probing cannot bear; their
// images are spread out already, so the slot is just image XOR a per-byte
// offset, and an entry can carry the image of its code ready for the next
// lookup: the chain from one lookup to the next is one XOR and one load.
// Being a permutation, the image stands for the code in the key as well.
// Each step (odd multiplier, right xorshift, XOR with a constant) is
// invertible modulo 4096.
constexpr std::uint32_t ScrambleStep(std::uint32_t x) {
    x = (x * 0x6A5u) & 0xFFFu;
    x ^= x >> 5;
    x = (x * 0xB3Bu) & 0xFFFu;
    return x ^ (x >> 7);
}
struct ScrambleTables {
    std::array<std::uint16_t, 4096> image{};
    std::array<std::uint16_t, 4096> code{};
};
constexpr ScrambleTables MakeScrambleTables() {
    ScrambleTables t;
    for (std::uint32_t v = 0; v < 4096; ++v) {
        const std::uint32_t x = ScrambleStep(ScrambleStep(v) ^ 0x5A3u);
        t.image[v] = static_cast<std::uint16_t>(x);
        t.code[x] = static_cast<std::uint16_t>(v);
    }
    return t;
}
constexpr ScrambleTables kScramble = MakeScrambleTables();

// Slot of (byte c, prefix image s): s spread over the whole table by an
// offset per byte, a 15-bit slice of a Fibonacci hash of c.
constexpr std::uint32_t FastSlot(std::uint32_t c, std::uint32_t s) { return ((c * 0x9E3779B1u) >> 17) ^ s; }

// The coder's registers as locals of the hot loop: byte stores into the
// output buffer may alias any member, which would make the compiler reload
// every field after each output byte.
struct Registers {
    int ent, width, limit, next;
    std::uint32_t acc;
    int bits;
    std::size_t filled;
    bool clear;
    std::uint8_t* out;
    ByteSink* stream;

    void Emit(int code) {
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
    }

    void EmitClear() {
        next = kFirstFreeCode;
        clear = true;
        Emit(kClearCode);
    }
};
}  // namespace

struct LZWEncoderState {
    explicit LZWEncoderState(ByteSink& sink) : stream(&sink) { fast.fill(kFastEmpty); }

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

    // Dictionary: `fast` holds every string but "00 00" (see kFastEmpty for
    // its entries), `zeroCode` the code of "00 00" or -1. keys/codes are the
    // classic table, kept only while `exact` is set.
    bool exact = false;
    int zeroCode = -1;
    std::array<std::uint32_t, kFastSize> fast;
    std::array<std::int32_t, kTableSize> keys;
    std::array<std::uint16_t, kTableSize> codes{};
    std::array<std::int32_t, kTableFullCode> keyOfCode{};  // for rebuilding the classic table

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

    // The slot where the classic probe, starting at `index`, stores a string
    // that is not in the table: the primary slot when empty, else the first
    // slot down the chain that is empty or holds key 0. Only strings the fast
    // table did not find come here, and those the classic probe misses too,
    // so the comparison with the key itself can be left out.
    int ClassicSlot(int index) const {
        if (keys[index] == -1) return index;
        const int step = index == 0 ? 1 : kTableSize - index;
        do {
            index -= step;
            if (index < 0) index += kTableSize;
        } while (keys[index] > 0);
        return index;
    }

    // Starts keeping the classic table, rebuilt from the fast one: the strings
    // go back in code order, the order they were first stored in, so each one
    // meets the same occupied slots and lands where the classic coder put it.
    void EnterExactMode(int next) {
        keys.fill(-1);
        for (int code = kFirstFreeCode; code < next; ++code) {
            const std::int32_t key = keyOfCode[code];
            const int index = ClassicSlot(((key >> 12) << kHashShift) ^ (key & 0xFFF));
            keys[index] = key;
            codes[index] = static_cast<std::uint16_t>(code);
        }
        exact = true;
    }

    // Stores a string that was not found: in the classic table when it is
    // kept (which may push "00 00" out), and in the fast table.
    void Store(std::uint32_t c, std::uint32_t s, std::uint32_t fastIndex, int code) {
        const int ent = kScramble.code[s];
        const auto key = static_cast<std::int32_t>(c << 12) + ent;
        if (key == 0 && !exact) EnterExactMode(code);
        if (exact) {
            const int index = ClassicSlot(static_cast<int>(c << kHashShift) ^ ent);
            if (keys[index] == 0) zeroCode = -1;  // pushed out
            keys[index] = key;
            codes[index] = static_cast<std::uint16_t>(code);
        }
        keyOfCode[code] = key;
        if (key == 0) zeroCode = code;
        else fast[fastIndex] = (c << 24) | (s << 12) | kScramble.image[code];
    }

    void Clear() {
        fast.fill(kFastEmpty);
        exact = false;
        zeroCode = -1;
    }

    const std::uint8_t* Run(const std::uint8_t* p, const std::uint8_t* end, Registers& kept);
    void Compress();
};

// The compression step over a chunk. The found path, taken for most bytes,
// is kept to one fast-table probe; everything else is the rare path.
const std::uint8_t* LZWEncoderState::Run(const std::uint8_t* p, const std::uint8_t* end, Registers& kept) {
    Registers r = kept;  // a copy the output stores cannot alias
    std::uint32_t* const table = fast.data();
    constexpr std::uint32_t kZeroKey = std::uint32_t{kScramble.image[0]} << 12;  // "00 00", tagged
    std::uint32_t s = kScramble.image[r.ent];
    for (; p != end; ++p) {
        const std::uint32_t c = *p;
        const std::uint32_t tagged = ((c << 12) | s) << 12;
        std::uint32_t index = FastSlot(c, s);
        std::uint32_t entry;
        while (((entry = table[index]) ^ tagged) >= 4096) {
            if (entry == kFastEmpty) break;
            index = (index + 1) & (kFastSize - 1);
        }
        if (entry != kFastEmpty) [[likely]] {
            s = entry & 0xFFF;
            continue;
        }
        if (tagged == kZeroKey && zeroCode >= 0) {
            s = kScramble.image[zeroCode];
            continue;
        }
        r.Emit(kScramble.code[s]);
        if (r.next >= kTableFullCode) {
            Clear();
            r.EmitClear();
        } else {
            Store(c, s, index, r.next++);
        }
        s = kScramble.image[c];
    }
    r.ent = kScramble.code[s];
    kept = r;
    return p;
}

void LZWEncoderState::Compress() {
    Registers r{prefix, codeWidth, maxCode, nextFreeCode, accumulator, bitCount, buffered, clearPending, buffer.data(), stream};
    Run(data + readIndex, data + readIndex + remaining, r);
    prefix = r.ent;
    codeWidth = r.width;
    maxCode = r.limit;
    nextFreeCode = r.next;
    accumulator = r.acc;
    bitCount = r.bits;
    buffered = r.filled;
    clearPending = r.clear;
    readIndex += remaining;
    remaining = 0;
}

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
