// The 2-D byte copy with SSE2 for the macroblock widths 16 and 8, one vector
// load and store per row (a 32-bit build's generic code moves 4 bytes at a
// time). Each row is loaded before it is stored, as the generic code does,
// so overlapping rows copy as memmove would; every other shape, and every
// argument check, is the generic code's. The 1-D copy keeps the generic
// code: it is the C library's memmove, which picks its own vector code.
#include <emmintrin.h>

#include <cstddef>

#include "primitives/copy_rows.h"
#include "primitives/generic_primitives.h"
#include "primitives/vector_primitives.h"

namespace quarlin::sse2 {
namespace {

// Each row is loaded whole before it is stored.
template <int kWidth>
void copyRows(const Ipp8u* src, ptrdiff_t srcStep, Ipp8u* dst, ptrdiff_t dstStep, int height) {
  const auto copyRow = [](const Ipp8u* from, Ipp8u* to) {
    if constexpr (kWidth == 16) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
    } else {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from)));
    }
  };
  copyRowsWith(copyRow, src, srcStep, dst, dstStep, height);
}

}  // namespace

IppStatus copy2d(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep, IppiSize roiSize) {
  const int width = roiSize.width;
  // Rows 16 or 8 wide apart from each other; a block whose rows are
  // contiguous in both is one memmove in the generic code.
  const bool vectorRows = pSrc != nullptr && pDst != nullptr && roiSize.height >= 1 && srcStep >= 1 &&
                          dstStep >= 1 && (width == 16 || width == 8) && (srcStep != width || dstStep != width);
  if (!vectorRows) return generic::copy2d(pSrc, srcStep, pDst, dstStep, roiSize);
  if (width == 16) {
    copyRows<16>(pSrc, srcStep, pDst, dstStep, roiSize.height);
  } else {
    copyRows<8>(pSrc, srcStep, pDst, dstStep, roiSize.height);
  }
  return ippStsNoErr;
}

}  // namespace quarlin::sse2
