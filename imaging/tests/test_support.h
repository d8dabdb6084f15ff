#pragma once
// Helpers for tests that check our output with independent programs
// (qpdf, mutool, ImageMagick): a private scratch folder and a way to run a
// command and take its standard output as bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace pressmark::testing {

using Bytes = std::vector<std::uint8_t>;

// Runs `command` through the shell; returns its standard output, or nullopt
// semantics through `ok` when it exits non-zero.
inline Bytes RunCapture(const std::string& command, bool* ok = nullptr) {
    Bytes out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        if (ok) *ok = false;
        return out;
    }
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0) out.insert(out.end(), chunk, chunk + n);
    const int status = pclose(pipe.release());
    if (ok) *ok = status == 0;
    return out;
}

inline void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

// A scratch folder per test, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("pressmark-imaging-" + std::string(info ? info->name() : "test") + "-" +
                 std::to_string(::getpid()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

}  // namespace pressmark::testing
