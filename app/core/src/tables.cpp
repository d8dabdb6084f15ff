#include "pressmark/app/tables.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string>
#include <utility>

namespace pressmark {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::optional<int> FindPaperIndex(std::string_view name) {
    if (EqualsIgnoringCase(name, "tabloid")) return 11;
    for (std::size_t i = 0; i < PaperSizes.size(); ++i) {
        if (EqualsIgnoringCase(name, PaperNames[i]) || EqualsIgnoringCase(name, PaperSizes[i].Name))
            return static_cast<int>(i);
    }
    return std::nullopt;
}

std::optional<int> FindCompressionIndex(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, int>, 4> aliases{
        {{"jpg", 3}, {"packbits", 0}, {"g3fax", 1}, {"g4fax", 2}}};
    for (const auto& [alias, index] : aliases)
        if (EqualsIgnoringCase(name, alias)) return index;
    for (std::size_t i = 0; i < CompressionChoices.size(); ++i) {
        if (EqualsIgnoringCase(name, CompressionNames[i]) || EqualsIgnoringCase(name, CompressionChoices[i].Name))
            return static_cast<int>(i);
    }
    return std::nullopt;
}

std::optional<TOutputFormat> FindOutputFormat(std::string_view name) {
    if (EqualsIgnoringCase(name, "pdf")) return TOutputFormat::PDF;
    if (EqualsIgnoringCase(name, "ps") || EqualsIgnoringCase(name, "postscript")) return TOutputFormat::PostScript;
    return std::nullopt;
}

std::string_view DocumentExtension(TOutputFormat format) noexcept {
    return format == TOutputFormat::PDF ? ".pdf" : ".ps";
}

std::uint8_t CompressionCode(TOutputFormat format, int compressionIndex) {
    if (compressionIndex < 0 || compressionIndex >= static_cast<int>(CompressionChoices.size()))
        throw std::out_of_range("compression index " + std::to_string(compressionIndex) + " is not 0 to 3");
    const auto& choice = CompressionChoices[static_cast<std::size_t>(compressionIndex)];
    return format == TOutputFormat::PDF ? choice.PDFCode : choice.PSCode;
}

}  // namespace pressmark
