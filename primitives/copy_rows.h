// The row loop of the 2-D copies, shared by the generic and the SSE2 code:
// each row with `copyRow(src, dst)`, without a loop for the macroblock
// heights 16 and 8. Internal linkage: each file that includes it compiles
// its own copy with its own instruction-set flags, and no linker merges
// them.
#pragma once
#include <cstddef>

#include "primitives/primitives.h"

namespace quarlin {
namespace {

template <typename CopyRow>
inline void copyRowsWith(CopyRow copyRow, const Ipp8u* src, ptrdiff_t srcStep, Ipp8u* dst, ptrdiff_t dstStep,
                         int height) {
  const auto rows = [&]<int kHeight>() {
#pragma GCC unroll 16
    for (int y = 0; y < kHeight; ++y) copyRow(src + y * srcStep, dst + y * dstStep);
  };
  if (height == 16) return rows.template operator()<16>();
  if (height == 8) return rows.template operator()<8>();
  for (int y = 0; y < height; ++y) copyRow(src + y * srcStep, dst + y * dstStep);
}

}  // namespace
}  // namespace quarlin
