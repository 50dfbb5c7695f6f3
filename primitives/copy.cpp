// Byte copies: a 2-D block and a 1-D run.
#include <cstddef>
#include <cstring>

#include "primitives/copy_rows.h"
#include "primitives/generic_primitives.h"

namespace quarlin::generic {
namespace {

// Rows of a width known at compile time (the macroblock widths 16, 8 and 4)
// are copied inline rather than by a library call per row. Each row goes
// through a local first, which keeps memmove's meaning for overlapping rows.
template <size_t kWidth>
void copyRows(const Ipp8u* src, ptrdiff_t srcStep, Ipp8u* dst, ptrdiff_t dstStep, int height) {
  const auto copyRow = [](const Ipp8u* from, Ipp8u* to) {
    Ipp8u row[kWidth];
    std::memcpy(row, from, kWidth);
    std::memcpy(to, row, kWidth);
  };
  copyRowsWith(copyRow, src, srcStep, dst, dstStep, height);
}

}  // namespace

IppStatus copy2d(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep, IppiSize roiSize) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (roiSize.width < 1 || roiSize.height < 1) return ippStsSizeErr;
  if (srcStep < 1 || dstStep < 1) return ippStsStepErr;
  const size_t width = static_cast<size_t>(roiSize.width);
  if (srcStep == roiSize.width && dstStep == roiSize.width) {
    std::memmove(pDst, pSrc, width * static_cast<size_t>(roiSize.height));
    return ippStsNoErr;
  }
  switch (width) {
    case 16:
      copyRows<16>(pSrc, srcStep, pDst, dstStep, roiSize.height);
      return ippStsNoErr;
    case 8:
      copyRows<8>(pSrc, srcStep, pDst, dstStep, roiSize.height);
      return ippStsNoErr;
    case 4:
      copyRows<4>(pSrc, srcStep, pDst, dstStep, roiSize.height);
      return ippStsNoErr;
    default:
      break;
  }
  for (int y = 0; y < roiSize.height; ++y) {
    std::memmove(pDst + ptrdiff_t{y} * dstStep, pSrc + ptrdiff_t{y} * srcStep, width);
  }
  return ippStsNoErr;
}

IppStatus copy1d(const Ipp8u* pSrc, Ipp8u* pDst, int len) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (len < 1) return ippStsSizeErr;
  std::memmove(pDst, pSrc, static_cast<size_t>(len));
  return ippStsNoErr;
}

}  // namespace quarlin::generic
