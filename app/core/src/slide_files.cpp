#include "pressmark/app/slide_files.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "pressmark/imaging/errors.h"

namespace pressmark {
namespace fs = std::filesystem;
namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
int Lower(char c) { return std::tolower(static_cast<unsigned char>(c)); }

// Compares two digit runs by value without converting them (they may be longer
// than any integer type): strip leading zeros, then longer is larger, then
// lexicographic. Returns <0, 0, >0.
int CompareNumbers(std::string_view a, std::string_view b) {
    const auto strip = [](std::string_view s) {
        const auto first = s.find_first_not_of('0');
        return first == std::string_view::npos ? std::string_view{} : s.substr(first);
    };
    a = strip(a);
    b = strip(b);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

std::size_t DigitRunEnd(std::string_view s, std::size_t from) {
    while (from < s.size() && IsDigit(s[from])) ++from;
    return from;
}

int CompareSlideOrder(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const std::size_t ei = DigitRunEnd(a, i), ej = DigitRunEnd(b, j);
            if (const int c = CompareNumbers(a.substr(i, ei - i), b.substr(j, ej - j)); c != 0) return c;
            i = ei;
            j = ej;
            continue;
        }
        if (const int c = Lower(a[i]) - Lower(b[j]); c != 0) return c;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

bool HasBmpExtension(const fs::path& path) {
    const std::string ext = path.extension().string();
    return ext.size() == 4 && ext[0] == '.' && Lower(ext[1]) == 'b' && Lower(ext[2]) == 'm' && Lower(ext[3]) == 'p';
}

}  // namespace

bool SlideOrderLess(std::string_view a, std::string_view b) {
    if (const int c = CompareSlideOrder(a, b); c != 0) return c < 0;
    return a < b;
}

std::vector<fs::path> ListSlideImages(const fs::path& folder) {
    std::vector<fs::path> images;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && HasBmpExtension(it->path())) images.push_back(it->path());
    }
    if (error) throw ReadError(folder.string(), "cannot list the folder: " + error.message());
    std::sort(images.begin(), images.end(), [](const fs::path& x, const fs::path& y) {
        return SlideOrderLess(x.filename().string(), y.filename().string());
    });
    return images;
}

std::vector<fs::path> ExpandImageArguments(const std::vector<fs::path>& arguments) {
    std::vector<fs::path> pages;
    for (const auto& argument : arguments) {
        std::error_code error;
        const auto status = fs::status(argument, error);
        if (fs::is_directory(status)) {
            auto images = ListSlideImages(argument);
            if (images.empty()) throw ReadError(argument.string(), "the folder holds no BMP file");
            pages.insert(pages.end(), images.begin(), images.end());
        } else if (fs::is_regular_file(status)) {
            pages.push_back(argument);
        } else {
            throw ReadError(argument.string(), error ? error.message() : "no such file or folder");
        }
    }
    return pages;
}

}  // namespace pressmark
