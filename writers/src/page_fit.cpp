#include "pressmark/writers/page_fit.h"

#include <algorithm>
#include <cmath>

namespace pressmark {

void FitImageToPaper(std::int32_t W, std::int32_t H, std::int32_t PaperWidth, std::int32_t PaperHeight,
                     std::int32_t& DW, std::int32_t& DH) {
    if (W == 0 || H == 0) return;
    const double byWidth = static_cast<double>(PaperWidth) / W;
    const double byHeight = static_cast<double>(PaperHeight) / H;
    const long double scale = std::min<double>(byWidth, byHeight);
    // The product is not rounded back to double before truncation: that is
    // what makes an exact-looking 842 come out as 841.
    const auto truncated = [](long double product) {
        const long double whole = std::trunc(product);
        return whole < 1.0L ? std::int32_t{1} : static_cast<std::int32_t>(whole);
    };
    DW = truncated(static_cast<long double>(W) * scale);
    DH = truncated(static_cast<long double>(H) * scale);
}

}  // namespace pressmark
