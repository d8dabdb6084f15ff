#pragma once
// The choices a run is made of: output format, paper and compression. The
// desktop program's lists show the writers' item texts and hand the driver the
// item index; the command line accepts short names for the same rows.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pressmark/writers/paper_sizes.h"

namespace pressmark {

enum class TOutputFormat : std::uint8_t { PDF = 0, PostScript = 1 };

// Command-line names of the papers and compressions, row for row with the
// writers' PaperSizes and CompressionChoices (whose names are the item texts
// of the desktop lists).
inline constexpr std::array<std::string_view, 12> PaperNames{
    "A0", "A1", "A2", "A3", "A4", "A5", "A6", "B5", "letter", "legal", "ledger", "11x17"};
inline constexpr std::array<std::string_view, 4> CompressionNames{"rle", "g3", "g4", "jpeg"};
static_assert(PaperNames.size() == PaperSizes.size() && CompressionNames.size() == CompressionChoices.size());

inline constexpr int DefaultCompressionIndex = 0;  // RLE

// Index of a paper by command-line name or item text, ignoring case
// ("a4", "Letter", "11x17"; "tabloid" is 11x17).
std::optional<int> FindPaperIndex(std::string_view name);
// Index of a compression by name, ignoring case ("rle", "g3", "g3fax", "G4Fax", "jpeg", "jpg").
std::optional<int> FindCompressionIndex(std::string_view name);
// "pdf", "ps" or "postscript", ignoring case.
std::optional<TOutputFormat> FindOutputFormat(std::string_view name);

// Document file extension with its dot: ".pdf" or ".ps".
std::string_view DocumentExtension(TOutputFormat format) noexcept;
// The writers' compression code of a compression choice for a format.
std::uint8_t CompressionCode(TOutputFormat format, int compressionIndex);

}  // namespace pressmark
