// The motion-compensation kernels of each block size, chosen at compile time
// (every prediction of a decoder variant knows its block sizes statically)
// from the slice's PrimitiveSet: one direction by its kernels, two through
// the entry point's member.
#pragma once
#include "primitives/primitive_set.h"

namespace quarlin {

template <int W, int H>
struct MotionKernels;

#define QUARLIN_KERNELS(w, h)                                         \
  template <>                                                         \
  struct MotionKernels<w, h> {                                        \
    static constexpr McBlockSize size = kMc##w##x##h;                 \
    static constexpr auto two = &PrimitiveSet::mc##w##x##h##B;        \
  };

QUARLIN_KERNELS(16, 16)
QUARLIN_KERNELS(16, 8)
QUARLIN_KERNELS(8, 16)
QUARLIN_KERNELS(8, 8)
QUARLIN_KERNELS(8, 4)
QUARLIN_KERNELS(4, 8)
QUARLIN_KERNELS(4, 4)
QUARLIN_KERNELS(4, 2)

#undef QUARLIN_KERNELS

}  // namespace quarlin
