// Box-filter reduction of a 4:2:0 picture, for thumbnails.
#pragma once
#include <cstdint>

#include "tools/images/image_view.h"

namespace quarlin::tool {

// Each output sample is the rounded mean of a factorX x factorY block of
// input samples (fewer at the right and bottom edges). Output luma size is
// ceil(width / factorX) x ceil(height / factorY); factors are 1..16.
YuvImage reduceImage(const ImageView& image, uint32_t factorX, uint32_t factorY);

}  // namespace quarlin::tool
