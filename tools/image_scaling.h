// Box-filter reduction of a 4:2:0 picture, for output scales the decoder
// cannot give (field pictures always decode at full size) and thumbnails.
#pragma once
#include <cstdint>

#include "tools/image_view.h"
#include "tools/plane_layout.h"

namespace quarlin::tool {

// Each output sample is the rounded mean of a factorX x factorY block of
// input samples (fewer at the right and bottom edges). Output luma size is
// ceil(width / factorX) x ceil(height / factorY); factors are 1..16.
YuvImage reduceImage(const ImageView& image, uint32_t factorX, uint32_t factorY);

// Copies the picture area of `image` (which is at `from`) and brings it to
// `to`, which must not be larger than `from`.
YuvImage imageAtScale(const ImageView& image, DecodeScale from, DecodeScale to);

}  // namespace quarlin::tool
