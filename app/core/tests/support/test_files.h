#pragma once
// Small helpers shared by the app tests: BMP files written by hand (so the
// inputs do not come from the code under test), scratch folders, and running
// the independent PDF checkers.
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <stdlib.h>
#include <sys/wait.h>

namespace pressmark::testing {

// A 24-bit bottom-up BMP of width x height filled with one colour (B, G, R).
inline void WriteBmp(const std::filesystem::path& path, int width, int height,
                     std::array<std::uint8_t, 3> bgr = {0x20, 0x80, 0xE0}) {
    const int rowBytes = (width * 3 + 3) / 4 * 4;
    const std::uint32_t imageBytes = static_cast<std::uint32_t>(rowBytes * height);
    std::vector<std::uint8_t> file(54 + imageBytes, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    file[26] = 1;   // planes
    file[28] = 24;  // bits per pixel
    put32(34, imageBytes);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) file[54 + y * rowBytes + x * 3 + c] = bgr[c];
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder under the system's temporary folder, removed with its content.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pressmark-app-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct CommandResult {
    int status = -1;
    std::string output;
};

// Runs a shell command and answers its exit status and standard output.
inline CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return result;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) result.output.append(buffer, n);
    const int status = ::pclose(pipe.release());
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string Quoted(const std::filesystem::path& path) {
    std::string quoted = "'";
    for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Page count by poppler's pdfinfo, or -1 when it does not read the file.
inline int PdfPageCount(const std::filesystem::path& pdf) {
    const auto info = RunCommand("pdfinfo " + Quoted(pdf) + " 2>/dev/null");
    if (info.status != 0) return -1;
    const auto at = info.output.find("Pages:");
    return at == std::string::npos ? -1 : std::stoi(info.output.substr(at + 6));
}

// qpdf's structural check passes.
inline bool QpdfAccepts(const std::filesystem::path& pdf) {
    return RunCommand("qpdf --check " + Quoted(pdf) + " >/dev/null 2>&1").status == 0;
}

}  // namespace pressmark::testing
