#pragma once
// A TIFF file held in memory, for libtiff's client I/O: the benchmarks time
// libtiff's coders without a disk, and the codec fuzzer has libtiff decode
// our output without one.
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace pressmark::testing {

struct MemoryTiff {
    std::vector<std::uint8_t> data;
    toff_t pos = 0;

    // Opens the file from its start with libtiff ("w" or "r").
    TIFF* open(const char* mode) {
        pos = 0;
        return TIFFClientOpen("memory", mode, this, Read, Write, Seek, Close, Size, nullptr, nullptr);
    }

    static tmsize_t Read(thandle_t h, void* buf, tmsize_t n) {
        auto* m = static_cast<MemoryTiff*>(h);
        const toff_t avail = m->pos < m->data.size() ? m->data.size() - m->pos : 0;
        const auto count = static_cast<tmsize_t>(std::min<toff_t>(avail, static_cast<toff_t>(n)));
        if (count > 0) std::memcpy(buf, m->data.data() + m->pos, static_cast<std::size_t>(count));
        m->pos += static_cast<toff_t>(count);
        return count;
    }
    static tmsize_t Write(thandle_t h, void* buf, tmsize_t n) {
        auto* m = static_cast<MemoryTiff*>(h);
        if (m->pos + static_cast<toff_t>(n) > m->data.size()) m->data.resize(m->pos + static_cast<toff_t>(n));
        if (n > 0) std::memcpy(m->data.data() + m->pos, buf, static_cast<std::size_t>(n));
        m->pos += static_cast<toff_t>(n);
        return n;
    }
    static toff_t Seek(thandle_t h, toff_t off, int whence) {
        auto* m = static_cast<MemoryTiff*>(h);
        m->pos = whence == SEEK_SET ? off : whence == SEEK_CUR ? m->pos + off : m->data.size() + off;
        return m->pos;
    }
    static int Close(thandle_t) { return 0; }
    static toff_t Size(thandle_t h) { return static_cast<MemoryTiff*>(h)->data.size(); }
};

}  // namespace pressmark::testing
