// Constant tables of ISO/IEC 13818-2 used by the block decoder and by the
// header parsers.
#pragma once
#include "primitives/primitives.h"

namespace quarlin {

// Raster index (8 * row + column) of each coefficient in transmission order:
// [0] the zigzag scan (Figure 7-2), [1] the alternate scan (Figure 7-3).
extern const Ipp32s kScanTables[2][64];

// quantiser_scale by [q_scale_type][quantiser_scale_code]: row 0 is 2 * code,
// row 1 the non-linear scale of Table 7-6. Code 0 gives 0 in both rows.
extern const Ipp16s kQuantiserScale[2][32];

// The default intra_quantiser_matrix, raster order.
extern const Ipp16s kDefaultIntraMatrix[64];

}  // namespace quarlin
