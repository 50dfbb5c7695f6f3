// The slice header (ISO/IEC 13818-2 6.2.4) and the per-slice reset of the
// prediction state.
#pragma once
#include <cstdint>

#include "parse/bit_reader.h"
#include "parse/headers.h"
#include "slice/slice_context.h"

namespace quarlin {

// Reads the header with the reader just after the slice start code.
// state.sliceRow holds slice_vertical_position on entry and the extended
// row number (1-based) on return; state.quantiserScaleCode the header's
// quantiser_scale_code. Returns 0, or -2 for quantiser_scale_code 0 or an
// extra_information_slice run that passes `end` (the slice's bound: the word after the one holding the next start code; may
// be null). priority_breakpoint is never read (no data partitioning).
int32_t readSliceHeader(BitReader& reader, const SequenceInfo& sequence, SliceState& state,
                        const uint32_t* end);

// DC predictors to dcPredictorReset, all PMV to 0, lastIntraAddress -2,
// previousAddress just before the slice's row, the previous-macroblock
// prediction record cleared, firstInSlice set.
void startSlice(SliceContext& ctx);

}  // namespace quarlin
