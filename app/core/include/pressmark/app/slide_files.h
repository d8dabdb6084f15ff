#pragma once
// Finding slide images and putting them in slide order.
#include <filesystem>
#include <string_view>
#include <vector>

namespace pressmark {

// Orders file names as people number slides: runs of digits compare by value
// (Slide2 before Slide10), other characters case-insensitively; names equal
// under that rule fall back to plain byte order so the order is total.
bool SlideOrderLess(std::string_view a, std::string_view b);

// Regular files in `folder` whose extension is ".bmp" in any case, in slide
// order. A folder that cannot be listed throws ReadError naming it.
std::vector<std::filesystem::path> ListSlideImages(const std::filesystem::path& folder);

// The pages for a list of BMP files and folders, as given on a command line:
// a file stands for itself, a folder for its BMP files in slide order. A name
// that is neither throws ReadError.
std::vector<std::filesystem::path> ExpandImageArguments(const std::vector<std::filesystem::path>& arguments);

}  // namespace pressmark
