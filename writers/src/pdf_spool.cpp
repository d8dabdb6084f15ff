#include "pressmark/writers/pdf_spool.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "pressmark/imaging/errors.h"
#include "pressmark/writers/random_access_sink.h"

namespace pressmark {
namespace {

// Large enough that copying a page back costs a handful of system calls,
// small enough to be nothing beside one page's image.
constexpr std::size_t kCopyChunk = 1 << 18;

std::string TemporaryFolder() {
    std::error_code ignored;
    const auto folder = std::filesystem::temp_directory_path(ignored);
    return folder.empty() ? std::string("/tmp") : folder.string();
}

// An unnamed file in `folder`: O_TMPFILE where the file system has it, else
// a named file unlinked at once.
int OpenAnonymous(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    std::string pattern = (std::filesystem::path(folder) / ".pressmark-spool-XXXXXX").string();
    const int named = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (named >= 0) ::unlink(pattern.c_str());
    return named;
}

}  // namespace

PDFSpool::PDFSpool(std::string folder, std::string target)
    : folder_(folder.empty() ? TemporaryFolder() : std::move(folder)), target_(std::move(target)) {
    fd_ = OpenAnonymous(folder_);
    if (fd_ < 0) Fail("cannot create the page spool file", errno);
}

PDFSpool::~PDFSpool() {
    if (fd_ >= 0) ::close(fd_);
}

void PDFSpool::Fail(const std::string& what, int error) const {
    throw WriteError(target_, what + " in \"" + folder_ + "\": " + std::strerror(error));
}

std::uint64_t PDFSpool::Append(std::span<const std::uint8_t> bytes) {
    const std::uint64_t start = size_;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(start + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("cannot write the page spool file", errno);
        if (n == 0) Fail("cannot write the page spool file", ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    size_ += bytes.size();
    return start;
}

void PDFSpool::CopyTo(ByteSink& Stream, std::uint64_t offset, std::uint64_t length) const {
    if (offset > size_ || length > size_ - offset)
        throw WriteError(target_, "the page spool file holds no such data");
    const auto chunk = std::make_unique<std::uint8_t[]>(kCopyChunk);
    while (length > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(length, kCopyChunk));
        const ssize_t n = ::pread(fd_, chunk.get(), want, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("cannot read back the page spool file", errno);
        if (n == 0) Fail("cannot read back the page spool file", EIO);
        WriteAll(Stream, std::span<const std::uint8_t>(chunk.get(), static_cast<std::size_t>(n)));
        offset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::uint64_t>(n);
    }
}

}  // namespace pressmark
