// The slice routine: reads one slice header and decodes the slice's
// macroblocks into the output frame. The routine for the picture's coding
// type, structure and decode scale is chosen once per slice; each is a
// MacroblockDecoder instantiated on those three parameters.
#pragma once
#include <cstdint>

#include "decode/frame_buffer.h"
#include "slice/slice_context.h"

namespace quarlin {

// Result codes of the slice layer.
constexpr int32_t kSliceOk = 0;
constexpr int32_t kSliceBadCode = -1;    // a code did not decode or a primitive failed
constexpr int32_t kSliceBadSyntax = -2;  // a syntax value out of range

// With ctx.unit's reader just after the slice start code and ctx.slice.sliceRow
// set from it. I pictures use `output` only; P pictures `forward` too;
// B pictures both references. Field pictures always decode at Full scale.
int32_t decodeSlice(SliceContext& ctx, const FrameBuffer& forward, const FrameBuffer& backward,
                    const FrameBuffer& output);

}  // namespace quarlin
