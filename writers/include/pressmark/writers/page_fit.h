#pragma once
// The page fit both document writers use: the image scaled uniformly into
// the paper, anchored at the top-left corner.
#include <cstdint>

namespace pressmark {

// The drawn size in points of a W x H pixel image on a PaperWidth x
// PaperHeight page. The scale is the smaller of the two quotients rounded to
// double; each product is formed in extended precision and truncated, so a
// quotient that rounds low can leave a side one point short of the paper
// (800 x 600 on A3 draws 841 wide). A side that truncates to 0 becomes 1.
// With W or H of 0 nothing is set.
void FitImageToPaper(std::int32_t W, std::int32_t H, std::int32_t PaperWidth, std::int32_t PaperHeight,
                     std::int32_t& DW, std::int32_t& DH);

}  // namespace pressmark
