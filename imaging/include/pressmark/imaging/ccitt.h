#pragma once
// CCITT fax encoders for 1-bit page images: Group 3 two-dimensional (T.4)
// and Group 4 (T.6). Each encoder is fed one row per call and ended by a
// closing call with a null row; whole output bytes go to the stream at every
// call, and the incomplete last byte waits in the caller's state.
//
// Input rows are packed most significant bit first; 0 bits are coded as fax
// white and 1 bits as fax black. (In the raster's plBW1 layout a set bit is
// white, so the writers declare /BlackIs1 true and readers get the raster's
// bits back unchanged.) Only the first `width` pixels of a row are looked at.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace pressmark {

class ByteSink;

// Held by the caller for one image; value-initialised before the first row.
// After the closing call PendingBitCount is 0 and ReferenceRow is null again,
// so the same state can start the next image.
struct CCITTEncoderState {
    // The last, incomplete output byte of the previous call; its first
    // PendingBitCount bits in fill order are valid.
    std::uint8_t PendingByte = 0;
    // Valid bits in PendingByte, 0 to 7.
    std::int32_t PendingBitCount = 0;
    // Copy of the previous row, null before the first row and after the
    // closing call. ReferenceRowBytes is its allocated size.
    std::unique_ptr<std::uint8_t[]> ReferenceRow;
    std::size_t ReferenceRowBytes = 0;
    // Output buffer reused by every call, so coding a row allocates nothing
    // once the first row of the widest image has been seen. Kept across
    // images on purpose.
    std::vector<std::uint8_t> Scratch;
};

// Fill orders: 1 fills each output byte from its most significant bit down
// (what PDF and PostScript readers expect), 2 from its least significant bit up.
inline constexpr int kFillMsbFirst = 1;
inline constexpr int kFillLsbFirst = 2;

// Group 3 two-dimensional: an EOL and a tag bit before every row; the first
// row of an image is coded one-dimensionally, all later rows
// two-dimensionally. The closing call writes one EOL and pads to a byte.
// `row` == nullptr is the closing call (width is then ignored). A short write
// to `stream` sets *abortFlag to 1 (when abortFlag is not null) and coding
// goes on; exceptions from the stream propagate.
void EncodeRowG3TwoD(const std::uint8_t* row, std::int32_t width, ByteSink& stream,
                     CCITTEncoderState& state, std::uint8_t* abortFlag, int fillOrder);

// Group 4: every row coded two-dimensionally against the row above (an
// all-white row above the first), no EOLs; the closing call writes EOFB and
// pads to a byte. Arguments as for EncodeRowG3TwoD.
void EncodeRowG4(const std::uint8_t* row, std::int32_t width, ByteSink& stream,
                 CCITTEncoderState& state, std::uint8_t* abortFlag, int fillOrder);

}  // namespace pressmark
