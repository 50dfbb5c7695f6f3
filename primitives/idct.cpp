// 8x8 inverse DCTs with the arithmetic of idct_arithmetic.h, taking the
// shortest path the block's zeros allow. Many decoded blocks are sparse: rows
// run a butterfly cut to the block's last non-zero column, rows after the
// last non-zero one are neither transformed nor read by the column pass, the
// lone coefficient 63 that mismatch control leaves has a row of its own, and
// a block with only a DC coefficient is one constant. Dense blocks take a row
// pass vectorised across rows. Leaving out products of zero inputs changes
// no bit, so every path gives the full transform's results.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "primitives/generic_primitives.h"
#include "primitives/idct_arithmetic.h"

namespace quarlin::generic {
namespace {

using idct::kColumnShift;
using idct::kRowShift;

// The extent of a block's non-zero coefficients: how many leading
// coefficients of any row can be non-zero (1, 2, 4 or 8) and how many
// leading rows (0..8) hold them. Coefficient 63 is counted apart (`last`)
// when the rest of its row is zero: mismatch control sets it in about half
// of all blocks, which would otherwise all count as full.
struct BlockShape {
  int terms;
  int rows;
  bool last;
};

// Branch-free: the shapes of decoded blocks follow no pattern a predictor
// could learn.
inline BlockShape blockShape(const Ipp16s* src) {
  constexpr uint64_t kWithoutLast = ~(uint64_t{0xFFFF} << 48);  // little-endian: drops element 3
  uint64_t beyondOne = 0, beyondTwo = 0, beyondFour = 0;
  int rows = 0;
  for (int r = 0; r < 8; ++r) {
    uint64_t low, high;
    std::memcpy(&low, src + 8 * r, 8);
    std::memcpy(&high, src + 8 * r + 4, 8);
    if (r == 7) high &= kWithoutLast;
    beyondOne |= low >> 16;
    beyondTwo |= low >> 32;
    beyondFour |= high;
    rows = (low | high) != 0 ? r + 1 : rows;
  }
  int terms = beyondFour != 0 ? 8 : (beyondTwo != 0 ? 4 : (beyondOne != 0 ? 2 : 1));
  const bool last = src[63] != 0;
  if (last && rows == 8) terms = 8;  // row 7 holds more than coefficient 63
  return {terms, rows, last && rows < 8};
}

// The row pass over the first `count` rows, each with kTerms leading terms,
// one row at a time.
template <int kTerms>
inline void rowsOneByOne(const Ipp16s* src, int count, Ipp16s* rows) {
  for (int r = 0; r < count; ++r) {
    idct::transform8<kTerms, kRowShift>(src + 8 * r, 1, rows + 8 * r, 1);
  }
}

// Row 7 when its only non-zero coefficient is the last.
inline void lastRowOnly(const Ipp16s* src, Ipp16s* rows) {
  idct::transform8<0, kRowShift, true>(src + 56, 1, rows + 56, 1);
}

// The full row pass over all eight rows in one loop, which the compiler
// vectorises across rows (faster than one row at a time for blocks of five or
// more rows with full rows). Row results saturate, which vector lanes do badly, so the
// results are only truncated here and the pass is done again row by row
// when any of them left the 16-bit range (extreme coefficients only).
inline void rowsAllAtOnce(const Ipp16s* src, Ipp16s* rows) {
  uint32_t outside = 0;
  for (int r = 0; r < 8; ++r) {
    Ipp16s x[8];
    for (int k = 0; k < 8; ++k) x[k] = src[8 * r + k];
    uint32_t sum[8];
    idct::butterfly8<8>(x, sum);
    for (int n = 0; n < 8; ++n) {
      const int32_t v = idct::roundShift(sum[n], kRowShift);
      outside |= static_cast<uint32_t>(v + 32768) >> 16;  // non-zero outside [-32768, 32767]
      rows[8 * r + n] = static_cast<Ipp16s>(v);
    }
  }
  if (outside != 0) rowsOneByOne<8>(src, 8, rows);
}

// The column pass, all eight columns in one loop (which the compiler
// vectorises), reading rows below kRows and, with kLast, row 7.
template <int kRows, bool kLast>
inline void columnPass(const Ipp16s* rows, Ipp16s* out) {
  for (int c = 0; c < 8; ++c) {
    idct::transform8<kRows, kColumnShift, kLast>(rows + c, 8, out + c, 8);
  }
}

inline bool onlyDc(const BlockShape& shape) {
  return shape.terms == 1 && shape.rows <= 1 && !shape.last;
}

// The value of every sample of a block whose only coefficient is the DC.
inline Ipp16s dcBlockValue(Ipp16s dc) {
  return idct::transformDc<kColumnShift>(idct::transformDc<kRowShift>(dc));
}

// 1, 2, 4 or 8: the rows the column pass reads for `rows` leading rows.
inline int columnRows(int rows) { return rows <= 1 ? 1 : (rows == 2 ? 2 : (rows <= 4 ? 4 : 8)); }

// The column pass over `needed` (1, 2, 4 or 8) leading rows and, with `last`,
// row 7 (which the eight-row pass reads in any case).
inline void columnPassOf(int needed, bool last, const Ipp16s* rows, Ipp16s* out) {
  switch (needed + (last && needed < 8 ? 16 : 0)) {
    case 1:
      return columnPass<1, false>(rows, out);
    case 2:
      return columnPass<2, false>(rows, out);
    case 4:
      return columnPass<4, false>(rows, out);
    case 16 + 1:
      return columnPass<1, true>(rows, out);
    case 16 + 2:
      return columnPass<2, true>(rows, out);
    case 16 + 4:
      return columnPass<4, true>(rows, out);
    default:
      return columnPass<8, false>(rows, out);
  }
}

// The transform of a block of the given shape into 64 16-bit values, raster
// order; out may be src. Rows beyond the last non-zero one are not
// transformed and the column pass does not read them, and the products of
// zero columns are left out.
inline void inverseTransform(const Ipp16s* src, const BlockShape& shape, Ipp16s* out) {
  Ipp16s rows[64];
  const int needed = columnRows(shape.rows);
  if (shape.terms == 8 && shape.rows >= 5) {
    rowsAllAtOnce(src, rows);
  } else {
    switch (shape.terms) {
      case 1:
        rowsOneByOne<1>(src, shape.rows, rows);
        break;
      case 2:
        rowsOneByOne<2>(src, shape.rows, rows);
        break;
      case 4:
        rowsOneByOne<4>(src, shape.rows, rows);
        break;
      default:
        rowsOneByOne<8>(src, shape.rows, rows);
        break;
    }
    // Zero rows up to those the column pass reads; with `last`, row 7 is
    // transformed apart (its other coefficients are zero).
    for (int r = shape.rows; r < needed; ++r) std::memset(rows + 8 * r, 0, 8 * sizeof(Ipp16s));
    if (shape.last) lastRowOnly(src, rows);
  }
  columnPassOf(needed, shape.last, rows, out);
}

// Level shift and clamp of a 16-bit result into a byte. Wide is int64_t for
// arbitrary arguments; int32_t when they are small enough to be exact, which
// lets the loops run on 32-bit lanes; Ipp16s without a level shift and with
// 16-bit bounds (the decoder's 0 and 0..255), for 16-bit lanes.
template <typename Wide>
inline Ipp8u shiftAndClamp(Ipp16s value, Wide shift, Wide low, Wide high) {
  Wide v = static_cast<Wide>(Wide{value} + shift);  // exact: shift is 0 for Ipp16s
  v = v < low ? low : v;
  v = v > high ? high : v;
  return static_cast<Ipp8u>(v);
}

// One flat loop over the 64 results (which the compiler vectorises), then
// the rows are stored at the step.
template <typename Wide>
inline void shiftAndClampBlock(const Ipp16s* result, Ipp8u* dst, int dstStep, Wide shift, Wide low,
                               Wide high) {
  Ipp8u bytes[64];
  for (int i = 0; i < 64; ++i) bytes[i] = shiftAndClamp<Wide>(result[i], shift, low, high);
  for (int r = 0; r < 8; ++r) std::memcpy(dst + ptrdiff_t{r} * dstStep, bytes + 8 * r, 8);
}

bool sixteenBitArguments(int shift, int low, int high) {
  return shift == 0 && low >= INT16_MIN && low <= INT16_MAX && high >= INT16_MIN &&
         high <= INT16_MAX;
}

bool smallArguments(int shift, int low, int high) {
  constexpr int kLimit = 1 << 20;
  return shift > -kLimit && shift < kLimit && low > -kLimit && low < kLimit && high > -kLimit &&
         high < kLimit;
}

template <typename Wide>
inline void toBytes(const Ipp16s* src, Ipp8u* dst, int dstStep, Wide shift, Wide low, Wide high) {
  const BlockShape shape = blockShape(src);
  if (onlyDc(shape)) {
    const Ipp8u v = shiftAndClamp<Wide>(dcBlockValue(src[0]), shift, low, high);
    for (int r = 0; r < 8; ++r) std::memset(dst + ptrdiff_t{r} * dstStep, v, 8);
    return;
  }
  Ipp16s result[64];
  inverseTransform(src, shape, result);
  shiftAndClampBlock<Wide>(result, dst, dstStep, shift, low, high);
}

}  // namespace

IppStatus idctToShort(const Ipp16s* pSrc, Ipp16s* pDst, int dstStep) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (dstStep < 1) return ippStsStepErr;
  Ipp16s result[64];
  const BlockShape shape = blockShape(pSrc);
  if (onlyDc(shape)) {
    const Ipp16s v = dcBlockValue(pSrc[0]);
    for (Ipp16s& s : result) s = v;
  } else {
    inverseTransform(pSrc, shape, result);
  }
  auto* row = reinterpret_cast<Ipp8u*>(pDst);
  for (int r = 0; r < 8; ++r) {
    std::memcpy(row + ptrdiff_t{r} * dstStep, result + 8 * r, 8 * sizeof(Ipp16s));
  }
  return ippStsNoErr;
}

IppStatus idctToByte(const Ipp16s* pSrc, Ipp8u* pDst, int dstStep, int addVal, int clipDown,
                     int clipUp) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (dstStep < 1) return ippStsStepErr;
  if (sixteenBitArguments(addVal, clipDown, clipUp)) {
    toBytes<Ipp16s>(pSrc, pDst, dstStep, 0, static_cast<Ipp16s>(clipDown),
                    static_cast<Ipp16s>(clipUp));
  } else if (smallArguments(addVal, clipDown, clipUp)) {
    toBytes<int32_t>(pSrc, pDst, dstStep, addVal, clipDown, clipUp);
  } else {
    toBytes<int64_t>(pSrc, pDst, dstStep, addVal, clipDown, clipUp);
  }
  return ippStsNoErr;
}

}  // namespace quarlin::generic
