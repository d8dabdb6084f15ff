#include "office_profile.h"

#include "office_error.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace pressmark::office {

namespace fs = std::filesystem;

std::optional<std::string> setupVersionFromConfiguration(const std::string& text) {
    const std::string property = "oor:name=\"ooSetupVersion\"";
    for (auto at = text.find(property); at != std::string::npos; at = text.find(property, at + 1)) {
        // The schema declares the property (empty, with a type) before the
        // data gives it a value; only an element whose content starts with
        // a value counts.
        const auto tagEnd = text.find('>', at);
        if (tagEnd == std::string::npos || text[tagEnd - 1] == '/') continue;
        const auto open = text.find_first_not_of(" \t\r\n", tagEnd + 1);
        if (open == std::string::npos || text.compare(open, 7, "<value>") != 0) continue;
        const auto first = open + 7;
        const auto close = text.find('<', first);
        if (close == std::string::npos || text.compare(close, 8, "</value>") != 0) continue;
        std::string version = text.substr(first, close - first);
        const bool plausible = !version.empty() && version.size() < 16 &&
                               version.find_first_not_of("0123456789.") == std::string::npos;
        if (plausible) return version;
    }
    return std::nullopt;
}

std::optional<std::string> installedOfficeVersion() {
    static const std::optional<std::string> version = [] {
        std::ifstream in(PRESSMARK_LO_PROGRAM "/../share/registry/main.xcd", std::ios::binary);
        if (!in) return std::optional<std::string>();
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        return setupVersionFromConfiguration(text);
    }();
    return version;
}

void prepareProfile(const std::string& profileDir) {
    const auto version = installedOfficeVersion();
    if (!version) return;
    const fs::path user = fs::path(profileDir) / "user";
    std::error_code ec;
    fs::create_directories(user, ec);
    const fs::path settings = user / "registrymodifications.xcu";
    std::ofstream out(settings, std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
           "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
           "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" "
           "oor:op=\"fuse\"><value>"
        << *version << "</value></prop></item>\n</oor:items>\n";
    out.flush();
    if (ec || !out)
        throw WriteError(settings.string(), std::string("cannot prepare the office's profile: ") +
                                                (ec ? ec.message() : std::strerror(errno)));
}

}  // namespace pressmark::office
