// MacroblockDecoder: intra blocks written straight into the destination and
// the residual of non-intra macroblocks (ISO/IEC 13818-2 7.2 to 7.5), at
// the 8x8 inverse DCT (Full) or the ReducedBlockTransform (HalfWidth,
// Quarter).
#pragma once
#include <cstring>

#include "primitives/block_decode.h"
#include "primitives/vlc_table_set.h"
#include "slice/macroblock_decoder.h"
#include "slice/reduced_block_transform.h"

namespace quarlin {

template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::quantiserScale() const {
  return quantiserScaleRow_[quantiserScaleCode_ & 31];
}

template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::writeIntraBlock(const int16_t* coefficients,
                                                                      uint8_t* dst, int32_t step) {
  if constexpr (Scale == DecodeScale::Full) {
    return primitives_.idctToByte(coefficients, dst, step, 0, 0, 255) == ippStsNoErr ? kSliceOk : kSliceBadCode;
  } else {
    reduced_.toByteRows(coefficients, Scale == DecodeScale::Quarter ? ReducedRows::Four : ReducedRows::Eight,
                        dst, step);
    return 0;
  }
}

template <int Type, bool FieldPicture, DecodeScale Scale>
void MacroblockDecoder<Type, FieldPicture, Scale>::transformResidualBlock(
    const int16_t* coefficients, int16_t* dst, int32_t stepBytes) {
  if constexpr (Scale == DecodeScale::Full) {
    primitives_.idctToShort(coefficients, dst, stepBytes);  // cannot fail with these arguments
  } else {
    reduced_.toShortRows(coefficients, Scale == DecodeScale::Quarter ? ReducedRows::Four : ReducedRows::Eight,
                         dst, stepBytes);
  }
}

// Luma blocks 0..3 are top-left, top-right, bottom-left, bottom-right. With
// field DCT (dct_type 1) blocks 0 and 1 hold the top-field lines and 2 and 3
// the bottom-field lines, so they start on rows 0 and 1, rows two apart.
template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::reconstructIntra(Bits& bits) {
  const Ipp32s qp = quantiserScale();
  const int32_t* acTable = generic::tableElements(ctx_.intraAcTable);
  const int32_t step = dctType_ ? 2 * destStep_[0] : destStep_[0];
  Bits local = bits;  // one copy, kept in registers across the blocks
  int32_t result = 0;
  // Blocks 0..3 luma, decoded all four before any is written; 4 Cb, 5 Cr.
  for (int k = 0; k < 6 && result == 0; ++k) {
    const bool luma = k < 4;
    const int c = luma ? 0 : k - 3;
    Ipp16s* block = luma ? blocks_[k] : scratch_;
    Ipp32s last = 0;
    if (generic::decodeIntraBlock(local, generic::tableElements(tables_[luma ? kVlcDcSizeLuma : kVlcDcSizeChroma]),
                                  acTable, scan_, qp, luma ? ctx_.intraMatrixLuma : ctx_.intraMatrixChroma,
                                  &state_.dcPredictor[c], ctx_.intraDcShift, block, &last) != ippStsNoErr) {
      result = kSliceBadCode;
      break;
    }
    if (probe_) continue;
    if (!luma) {
      result = writeIntraBlock(scratch_, dest_[c], destStep_[c]);
    } else if (k == 3) {
      for (int b = 0; b < 4 && result == 0; ++b) {
        const int32_t row = dctType_ ? (b >> 1) : G::kBlockHeight * (b >> 1);
        result = writeIntraBlock(blocks_[b], dest_[0] + row * destStep_[0] + G::kBlockWidth * (b & 1), step);
      }
    }
  }
  bits = local;
  return result;
}

// coded_block_pattern bits: 32 luma block 0, 16 block 1, 8 block 2, 4 block
// 3, 2 Cb, 1 Cr. Uncoded blocks leave a zero residual; a macroblock without
// coded blocks predicts with the constant zero residual.
template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::buildResidual(Bits& bits, int32_t codedBlockPattern) {
  if (codedBlockPattern == 0) {
    residualIn_ = kNoResidual;
    return 0;
  }
  residualIn_ = residual_;
  const Ipp32s qp = quantiserScale();
  const int32_t* firstTable = generic::tableElements(tables_[kVlcCoefficientFirst]);
  const int32_t* table = generic::tableElements(tables_[kVlcCoefficientZero]);
  constexpr int32_t W = G::kLumaWidth;
  const int32_t rowMul = dctType_ ? 2 : 1;
  Bits local = bits;  // one copy, kept in registers across the blocks
  int32_t result = 0;
  for (int k = 0; k < 6; ++k) {
    const bool luma = k < 4;
    const int32_t row = dctType_ ? (k >> 1) : G::kBlockHeight * (k >> 1);
    int16_t* dst = luma ? residual_ + row * W + G::kBlockWidth * (k & 1)
                        : residual_ + (k == 4 ? R::kCbOffset : R::kCrOffset);
    const int32_t step = luma ? rowMul * W : G::kChromaWidth;  // in samples
    if (codedBlockPattern & (32 >> k)) {
      Ipp32s last = 0;
      if (generic::decodeInterBlock(local, firstTable, table, scan_, qp,
                                    luma ? ctx_.nonIntraMatrixLuma : ctx_.nonIntraMatrixChroma, scratch_,
                                    &last) != ippStsNoErr) {
        result = kSliceBadCode;
        break;
      }
      transformResidualBlock(scratch_, dst, step * 2);
    } else {
      for (int y = 0; y < G::kBlockHeight; ++y) std::memset(dst + y * step, 0, G::kBlockWidth * sizeof(int16_t));
    }
  }
  bits = local;
  return result;
}

}  // namespace quarlin
