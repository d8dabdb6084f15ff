#pragma once
// BMP input: the stream reader that fills a TRasterImage and the reader
// fields of TImageParams, the stream and file loads built on it, and the
// extension test that selects it.
//
// Files are untrusted. Every size in a header is checked against the data
// the file can actually hold before anything is allocated; a rejected file
// leaves the caller's image untouched, sets AbortFlag and says why in
// TImageParams::LastReadError. A file that is merely short (or uses a bit
// depth or compression this reader does not decode) is loaded with the
// missing pixels black, and LastReadError says so too.
#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "pressmark/imaging/image_params.h"
#include "pressmark/imaging/raster_image.h"

namespace pressmark {

// One opacity byte per pixel (255 opaque), rows top-down.
struct TAlphaMask {
    TAlphaMask(std::int32_t width, std::int32_t height)
        : Width(width), Height(height), Alpha(static_cast<std::size_t>(width) * height, 255) {}
    std::uint8_t* Row(std::int32_t row) { return Alpha.data() + static_cast<std::size_t>(Width) * row; }
    std::int32_t Width;
    std::int32_t Height;
    std::vector<std::uint8_t> Alpha;
};

// Reads one BMP image from the stream's current position. `size` is the
// byte length of the BMP data, 0 or less when unknown. Returns false when the
// data was rejected (not a BMP, impossible sizes): the image is then as it
// was, *progress.AbortFlag is 1 and params.LastReadError holds the reason.
// Returns true when the image (or, with InfoOnly or a zero size, only the
// reader fields) was taken; LastReadError is then non-empty when pixels had
// to be left black.
bool ReadBmpStream(std::istream& stream, TRasterImage& image, std::int64_t size, TImageParams& params,
                   TProgressRecord& progress, bool WithoutFileHeader, bool InfoOnly,
                   std::unique_ptr<TAlphaMask>& alpha, bool IgnoreAlpha);

// The I/O object's stream load: clears AbortFlag and the per-file fields,
// reads, raises a resolution below 2 dpi to 300, attaches the alpha image,
// sets LastFileType to 5 and clears LastFileName.
void LoadBmpStream(std::istream& stream, TRasterImage& image, TImageParams& params, TProgressRecord& progress);

// Opens the file and runs LoadBmpStream; sets LastFileName to the path.
// Throws ReadError naming the file when it cannot be opened.
void LoadBmpFile(const std::string& path, TRasterImage& image, TImageParams& params, TProgressRecord& progress);

// True when the path's extension is one of "BMP;DIB;RLE", in any case.
bool IsBmpExtension(const std::string& path);

// Chooses the reader by extension; a path no reader claims loads nothing
// and answers false.
bool LoadImageFile(const std::string& path, TRasterImage& image, TImageParams& params, TProgressRecord& progress);

}  // namespace pressmark
