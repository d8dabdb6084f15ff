#pragma once
// The project's error hierarchy. Every failure a user can see carries what
// failed, on which file, and why, in plain words. Layers above add their own
// kinds (automation failures keep their HRESULT) by deriving from Error.
#include <stdexcept>
#include <string>

namespace pressmark {

class Error : public std::runtime_error {
public:
    Error(std::string file, std::string reason)
        : std::runtime_error(compose(file, reason)), file_(std::move(file)), reason_(std::move(reason)) {}
    const std::string& file() const noexcept { return file_; }
    const std::string& reason() const noexcept { return reason_; }

private:
    static std::string compose(const std::string& file, const std::string& reason) {
        return file.empty() ? reason : "\"" + file + "\": " + reason;
    }
    std::string file_;
    std::string reason_;
};

// Input that is malformed or unsupported (a BMP with impossible sizes, ...).
class BadInputError : public Error { using Error::Error; };
// Input that is well formed but beyond what we accept (sizes, memory).
class LimitExceededError : public Error { using Error::Error; };
// A write that the destination did not fully accept, or a failed create/rename.
class WriteError : public Error { using Error::Error; };
// A file that cannot be opened or read.
class ReadError : public Error { using Error::Error; };

}  // namespace pressmark
