#pragma once
// Feeds rows to the parameter record's LZW compressor hook and collects the
// code stream in memory. The hook keeps its state behind a pointer that only
// its closing call releases, so the destructor closes an unfinished stream
// (an exception between rows) to release it.
#include <cstdint>
#include <vector>

#include "pressmark/imaging/byte_sink.h"
#include "pressmark/imaging/image_params.h"

namespace pressmark {

class LZWFeed {
public:
    explicit LZWFeed(TLZWCompressor compressor) : compressor_(compressor) {}
    ~LZWFeed() {
        if (state_ == nullptr) return;
        try {
            compressor_(nullptr, 0, memory_, state_);
        } catch (...) {  // only releasing the state here; the output is dropped
        }
    }
    LZWFeed(const LZWFeed&) = delete;
    LZWFeed& operator=(const LZWFeed&) = delete;

    void Add(const std::uint8_t* data, std::size_t count) {
        if (count > 0) compressor_(data, count, memory_, state_);
    }
    // Ends the code stream and answers it.
    std::vector<std::uint8_t> Finish() {
        if (state_ != nullptr) compressor_(nullptr, 0, memory_, state_);
        return memory_.release();
    }

private:
    TLZWCompressor compressor_;
    LZWEncoderState* state_ = nullptr;
    MemorySink memory_;
};

}  // namespace pressmark
