// MacroblockDecoder: intra blocks written straight into the destination and
// the residual of non-intra macroblocks (ISO/IEC 13818-2 7.2 to 7.5), at
// the 8x8 inverse DCT (Full) or the ReducedBlockTransform (HalfWidth,
// Quarter).
#pragma once
#include <bit>
#include <cstring>

#include "primitives/block_decode.h"
#include "primitives/vlc_lookup.h"
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
  Ipp32s last = 0;  // not needed: the transforms read all 64 coefficients
  for (int k = 0; k < 4; ++k) {
    if (generic::decodeIntraBlock(bits, generic::tableElements(tables_[kVlcDcSizeLuma]), acTable, scan_, qp,
                                  ctx_.intraMatrixLuma, &state_.dcPredictor[0], ctx_.intraDcShift,
                                  blocks_[k], last) != ippStsNoErr)
      return kSliceBadCode;
  }
  const int32_t step = dctType_ ? 2 * destStep_[0] : destStep_[0];
  for (int k = 0; k < 4 && !probe_; ++k) {
    const int32_t row = dctType_ ? (k >> 1) : G::kBlockHeight * (k >> 1);
    uint8_t* dst = dest_[0] + row * destStep_[0] + G::kBlockWidth * (k & 1);
    if (writeIntraBlock(blocks_[k], dst, step)) return kSliceBadCode;
  }
  for (int c = 1; c <= 2; ++c) {
    if (generic::decodeIntraBlock(bits, generic::tableElements(tables_[kVlcDcSizeChroma]), acTable, scan_, qp,
                                  ctx_.intraMatrixChroma, &state_.dcPredictor[c], ctx_.intraDcShift,
                                  scratch_, last) != ippStsNoErr)
      return kSliceBadCode;
    if (!probe_ && writeIntraBlock(scratch_, dest_[c], destStep_[c])) return kSliceBadCode;
  }
  return 0;
}

// Where block k (0..3 luma, 4 Cb, 5 Cr) of the residual starts and the
// bytes between its rows.
template <int Type, bool FieldPicture, DecodeScale Scale>
int16_t* MacroblockDecoder<Type, FieldPicture, Scale>::residualBlock(int32_t k, int32_t& stepBytes) {
  constexpr int32_t W = G::kLumaWidth;
  if (k >= 4) {
    stepBytes = G::kChromaWidth * 2;
    return residual_ + residualOffsetOf(k - 3);
  }
  stepBytes = (dctType_ ? 2 : 1) * W * 2;
  const int32_t row = dctType_ ? (k >> 1) : G::kBlockHeight * (k >> 1);
  return residual_ + row * W + G::kBlockWidth * (k & 1);
}

// coded_block_pattern bits: 32 luma block 0, 16 block 1, 8 block 2, 4 block
// 3, 2 Cb, 1 Cr. Uncoded blocks leave a zero residual; a macroblock without
// coded blocks predicts with the constant zero residual. The loops run over
// the set bits, not over all six blocks: a test per block would follow the
// pattern, which no branch predictor can.
template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::buildResidual(Bits& bits, int32_t codedBlockPattern) {
  if (codedBlockPattern == 0) {
    residualIn_ = kNoResidual;
    return 0;
  }
  residualIn_ = residual_;
  const uint32_t coded = static_cast<uint32_t>(codedBlockPattern) & 63;
  if (dctType_ != zeroLayout_) {
    zeroBlocks_ &= 3;  // the luma blocks cover other lines now
    zeroLayout_ = dctType_;
  }
  for (uint32_t clear = ~coded & ~zeroBlocks_ & 63; clear != 0; clear &= clear - 1) {
    int32_t stepBytes = 0;
    int16_t* dst = residualBlock(5 - std::countr_zero(clear), stepBytes);
    for (int y = 0; y < G::kBlockHeight; ++y)
      std::memset(reinterpret_cast<uint8_t*>(dst) + y * stepBytes, 0, G::kBlockWidth * sizeof(int16_t));
  }
  zeroBlocks_ = ~coded & 63;
  const Ipp32s qp = quantiserScale();
  Ipp32s last = 0;  // not needed: the transforms read all 64 coefficients
  for (uint32_t left = coded; left != 0;) {
    const int32_t bit = std::bit_width(left) - 1;  // blocks in order: the highest bit first
    left ^= 1u << bit;
    const int32_t k = 5 - bit;
    if (generic::decodeInterBlock(bits, generic::tableElements(tables_[kVlcCoefficientFirst]),
                                  generic::tableElements(tables_[kVlcCoefficientZero]), scan_, qp,
                                  k < 4 ? ctx_.nonIntraMatrixLuma : ctx_.nonIntraMatrixChroma,
                                  scratch_, last) != ippStsNoErr)
      return kSliceBadCode;
    int32_t stepBytes = 0;
    int16_t* dst = residualBlock(k, stepBytes);
    transformResidualBlock(scratch_, dst, stepBytes);
  }
  return 0;
}

}  // namespace quarlin
