#pragma once
// ASCII85 coding for the "ASCII85Decode" filter: printable lines of at most
// 15 five-character groups (longer when "z" groups occur), CR LF line ends,
// and the terminator "~>" CR LF after every block.
#include <cstddef>
#include <cstdint>

namespace pressmark {

// Room ASCII85Encode needs for `length` bytes: 5 per started group of 4,
// 2 per 15 groups for line breaks, 4 for the terminator line.
constexpr std::size_t ASCII85MaxEncodedSize(std::size_t length) noexcept {
    const std::size_t groups = (length + 3) / 4;
    return 5 * groups + 2 * (groups / 15 + 1) + 4;
}

// Codes the next group of Count (1 to 4) bytes at Input; advances Input by
// the group and Output by the characters written, which it returns.
int ASCII85EncodeGroup(const std::uint8_t*& Input, int Count, std::uint8_t*& Output) noexcept;

// Codes Length (at least 1) bytes as one complete block with terminator.
// Counter grows by the group characters only. Returns all bytes written.
std::size_t ASCII85Encode(const std::uint8_t* Input, std::size_t Length, std::uint8_t* Output,
                          std::int64_t& Counter) noexcept;

}  // namespace pressmark
