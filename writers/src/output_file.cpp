#include "pressmark/writers/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "pressmark/imaging/errors.h"

namespace pressmark {
namespace {

// Pages are written as many short lines; a buffer keeps that to a few
// system calls per page.
constexpr std::size_t kBufferSize = 1 << 16;

std::string FolderOf(const std::string& path) {
    const auto parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// Makes the rename itself durable; a failure here is not worth failing a
// document that is already complete under its name.
void SyncFolder(const std::string& folder) noexcept {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    static_cast<void>(::fsync(fd));
    ::close(fd);
}

}  // namespace

OutputFile::OutputFile(std::string target) : target_(std::move(target)) {
    const std::filesystem::path path(target_);
    std::string pattern = (std::filesystem::path(FolderOf(target_)) /
                           ("." + path.filename().string() + ".XXXXXX")).string();
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) throw WriteError(target_, std::string("cannot create the file: ") + std::strerror(errno));
    temporary_ = pattern;
    // mkstemp makes the file private (0600); the document gets the usual
    // permissions of a new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    static_cast<void>(::fchmod(fd_, 0666 & ~mask));
    buffer_.reserve(kBufferSize);
}

OutputFile::~OutputFile() { abandon(); }

void OutputFile::fail(const std::string& what, int error) {
    const std::string reason = what + ": " + std::strerror(error);
    abandon();
    throw WriteError(target_, reason);
}

void OutputFile::writeAt(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("cannot write the file", errno);
        if (n == 0) fail("cannot write the file", ENOSPC);
        done += static_cast<std::size_t>(n);
    }
}

void OutputFile::flushBuffer() {
    writeAt(buffer_, bufferStart_);
    bufferStart_ += buffer_.size();
    buffer_.clear();
}

std::size_t OutputFile::write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) throw WriteError(target_, "the file is no longer open");
    // The buffer always ends at the position: a seek flushes it first.
    if (buffer_.size() + bytes.size() > kBufferSize) flushBuffer();
    if (bytes.size() >= kBufferSize) {
        // An image goes to the file straight from the caller's memory.
        writeAt(bytes, bufferStart_);
        bufferStart_ += bytes.size();
    } else {
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    }
    position_ += bytes.size();
    return bytes.size();
}

void OutputFile::seek(std::uint64_t position) {
    if (fd_ < 0) throw WriteError(target_, "the file is no longer open");
    flushBuffer();
    position_ = position;
    bufferStart_ = position;
}

std::size_t OutputFile::read(std::span<std::uint8_t> bytes) {
    if (fd_ < 0) throw WriteError(target_, "the file is no longer open");
    flushBuffer();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd_, bytes.data() + done, bytes.size() - done,
                                  static_cast<off_t>(position_ + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("cannot read back the file", errno);
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    position_ += done;
    bufferStart_ = position_;
    return done;
}

void OutputFile::commit() {
    if (fd_ < 0) throw WriteError(target_, "the file is no longer open");
    flushBuffer();
    if (::fsync(fd_) != 0) fail("cannot write the file to disk", errno);
    if (::close(fd_) != 0) {
        fd_ = -1;
        fail("cannot close the file", errno);
    }
    fd_ = -1;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail("cannot replace the file", errno);
    temporary_.clear();
    SyncFolder(FolderOf(target_));
}

void OutputFile::abandon() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    buffer_.clear();
}

}  // namespace pressmark
