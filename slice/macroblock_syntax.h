// MacroblockDecoder: construction, the macroblock layer syntax
// (ISO/IEC 13818-2 6.2.5) and motion-vector decoding (7.6.3.1).
#pragma once
#include <cstring>

#include "primitives/mpeg2_tables.h"
#include "primitives/vlc_cache_lookup.h"
#include "primitives/vlc_lookup.h"
#include "primitives/vlc_table_set.h"
#include "slice/macroblock_decoder.h"
#include "slice/motion_vectors.h"

namespace quarlin {

template <int Type, bool FieldPicture, DecodeScale Scale>
MacroblockDecoder<Type, FieldPicture, Scale>::MacroblockDecoder(SliceContext& ctx,
                                                                const FrameBuffer& forward,
                                                                const FrameBuffer& backward,
                                                                const FrameBuffer& output,
                                                                const BitReader& reader)
    : ctx_(ctx),
      sequence_(*ctx.sequence),
      picture_(*ctx.picture),
      state_(ctx.slice),
      references_{&forward, &backward},
      output_(output),
      primitives_(currentPrimitiveSet()),
      reduced_(reducedTransformsAt(CpuDispatchIndex)),
      tables_(ctx.vlcTables ? ctx.vlcTables->table : nullptr),
      reader_(reader),
      scan_(kScanTables[ctx.picture->alternateScan ? 1 : 0]),
      quantiserScaleRow_(kQuantiserScale[ctx.picture->qScaleType ? 1 : 0]),
      quantiserScaleCode_(ctx.slice.quantiserScaleCode),
      parity_(FieldPicture && ctx.picture->pictureStructure == kBottomField ? 1 : 0),
      probe_(ctx.probeReferences) {
  const int32_t frameRows = frameMacroblockRows(sequence_);
  // A field holds half the frame's rows. frameRows is even in interlaced
  // sequences; an odd count comes only from a field picture in a
  // progressive sequence (a damaged stream), whose last half row would lie
  // below the frame's 16 * frameRows lines, so it is not decoded.
  maxAddress_ = (FieldPicture ? frameRows / 2 : frameRows) * sequence_.mbWidth;
  // A slice starts and ends in one macroblock row (ISO/IEC 13818-2 6.3.16):
  // an address past the row ends a damaged slice, so that a slice never
  // writes rows that another slice (on another worker) owns.
  rowEnd_ = state_.sliceRow * sequence_.mbWidth;
  stride_[0] = G::lumaStride(output);
  stride_[1] = stride_[2] = G::chromaStride(output);
  for (int p = 0; p < 3; ++p) {
    codedWidth_[p] = widthOf(p) * sequence_.mbWidth;
    codedLines_[p] = heightOf(p) * frameRows;
  }
  for (int p = 0; p < 3; ++p) {
    sourceOrigin_[p] = 0;
    dest_[p] = nullptr;
    destStep_[p] = 0;
  }
}

template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::validate() const {
  if (!tables_ || !ctx_.intraAcTable) return kSliceBadCode;
  for (int slot = 0; slot < kVlcSlotCount; ++slot)
    if (!tables_[slot]) return kSliceBadCode;
  auto hasPlanes = [](const FrameBuffer& f) { return f.yPlane && f.cbPlane && f.crPlane; };
  if (!hasPlanes(output_)) return kSliceBadCode;
  if (Type != kPictureI && !hasPlanes(*references_[0])) return kSliceBadCode;
  if (Type == kPictureB && !hasPlanes(*references_[1])) return kSliceBadCode;
  if (sequence_.mbWidth < 1 || output_.width < 1 || output_.height < 1) return kSliceBadCode;
  if (output_.lumaStride < 16 * sequence_.mbWidth) return kSliceBadCode;
  if (state_.sliceRow < 1 || (state_.sliceRow - 1) * sequence_.mbWidth >= maxAddress_) return kSliceBadSyntax;
  return 0;
}

// One code of the macroblock layer: the same value and the same bits
// consumed as the huffmanDecodeOne primitive with that table.
template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::decodeVlc(Bits& bits, int slot,
                                                                int32_t& value) const {
  const int32_t entry = generic::lookupCode(generic::tableElements(tables_[slot]), bits);
  if (entry == vlc::kMarker) return kSliceBadCode;
  value = vlc::leafValue(entry);
  return kSliceOk;
}

// Stores a vector's two 16-bit components from one 32-bit value (component 0
// in the low half), in one store where the target allows.
inline void storePair(int16_t (&components)[2], uint32_t pair) {
  const uint16_t halves[2] = {static_cast<uint16_t>(pair), static_cast<uint16_t>(pair >> 16)};
  std::memcpy(components, halves, sizeof halves);
}

// PMV[1][s] = PMV[0][s], both components at once.
inline void copyFirstPredictor(int16_t (&pmv)[2][2][2], int32_t s) {
  std::memcpy(pmv[1][s], pmv[0][s], sizeof pmv[0][s]);
}

// A fixed-length field of 1..32 bits.
inline uint32_t readField(generic::BitCache& bits, int n) {
  bits.fill();
  return bits.read(n);
}

template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::decodeMacroblock() {
  Bits bits(reader_.wordPtr, reader_.bitOffset);
  const int32_t result = readAndReconstruct(bits);
  reader_.wordPtr = const_cast<uint32_t*>(bits.word());
  reader_.bitOffset = bits.offset();
  return result;
}

template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::readAndReconstruct(Bits& bits) {
  int32_t flags = 0;
  int32_t pattern = 0;
  if (int32_t result = readHeader(bits, flags, pattern)) return result;
  if (flags & kMbIntra) return reconstructIntra(bits);
  if constexpr (Type == kPictureI) {
    return kSliceBadCode;  // readHeader refuses non-intra types here
  } else {
    if (int32_t blocks = buildResidual(bits, pattern)) return blocks;
    // A P-picture macroblock without forward motion predicts at zero motion.
    return predict(Type == kPictureP || (flags & kMbForward) != 0, (flags & kMbBackward) != 0);
  }
}

// The macroblock up to its blocks: address increment (and the skipped
// macroblocks it fills), macroblock_type and the fields it calls for.
template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::readHeader(Bits& bits, int32_t& flags,
                                                                 int32_t& pattern) {
  int32_t increment = 0;
  if (int32_t result = readAddressIncrement(bits, increment)) return result;
  const int32_t address = state_.previousAddress + increment;
  if (address < 0 || address >= maxAddress_ || address >= rowEnd_) return kSliceBadSyntax;
  if (!state_.firstInSlice && increment > 1) {
    // I-pictures have no skipped macroblocks (ISO/IEC 13818-2 7.6.6).
    if constexpr (Type == kPictureI) return kSliceBadSyntax;
    if (int32_t result = fillSkipped(state_.previousAddress + 1, address)) return result;
  }
  state_.firstInSlice = 0;
  state_.previousAddress = address;
  place(address);
  if (decodeVlc(bits, Type, flags)) return kSliceBadCode;  // slots 1..3 are indexed by picture type
  if (flags & kMbIntra) return readIntra(bits, flags);
  if constexpr (Type == kPictureI) {
    return kSliceBadCode;  // the I table holds only intra types
  } else {
    return readNonIntra(bits, flags, pattern);
  }
}

// macroblock_escape codes (each adds 33) then macroblock_address_increment.
// The escape run is bounded by the picture size and the slice's end.
template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::readAddressIncrement(Bits& bits,
                                                                           int32_t& increment) {
  constexpr uint32_t kEscape = 0x008;  // 0000 0001 000
  increment = 0;
  for (bits.fill(); bits.peek(11) == kEscape; bits.fill()) {
    bits.skip(11);
    increment += 33;
    if (increment >= maxAddress_ + 33) return kSliceBadSyntax;
    if (ctx_.sliceEnd && bits.word() >= ctx_.sliceEnd) return kSliceBadCode;
  }
  int32_t value = 0;
  if (decodeVlc(bits, kVlcAddressIncrement, value)) return kSliceBadCode;
  if (value < 1 || value > 33) return kSliceBadCode;
  increment += value;
  return 0;
}

// Makes `address` (inside the picture) the current macroblock: publishes
// its position and computes where it lies in the reference and output
// planes. Every macroblock of the picture lies inside the output planes.
template <int Type, bool FieldPicture, DecodeScale Scale>
void MacroblockDecoder<Type, FieldPicture, Scale>::place(int32_t address) {
  const int32_t row = address / sequence_.mbWidth;
  const int32_t column = address - row * sequence_.mbWidth;
  state_.currentAddress = address;
  ctx_.mbRow = row;
  ctx_.mbColumn = column;
  if (probe_) return;  // nothing is reconstructed
  for (int p = 0; p < 3; ++p) {
    const int32_t lineStep = FieldPicture ? 2 * stride_[p] : stride_[p];
    sourceOrigin_[p] = int64_t{heightOf(p)} * row * lineStep + int64_t{widthOf(p)} * column;
    const int64_t destOffset = sourceOrigin_[p] + (FieldPicture ? int64_t{parity_} * stride_[p] : 0);
    dest_[p] = planeOf(output_, p) + destOffset;
    destStep_[p] = lineStep;
  }
}

// quantiser_scale_code (5 bits). Code 0 is refused (-2) where !zeroAllowed.
template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::readQuantiser(Bits& bits, bool zeroAllowed) {
  const int32_t code = static_cast<int32_t>(readField(bits, 5));
  if (code == 0 && !zeroAllowed) return kSliceBadSyntax;
  quantiserScaleCode_ = code;
  return 0;
}

template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::readIntra(Bits& bits, int32_t flags) {
  dctType_ = 0;
  if constexpr (!FieldPicture) {
    if (!picture_.framePredFrameDct) dctType_ = static_cast<int32_t>(readField(bits, 1));
  }
  if (flags & kMbQuant) {
    if (int32_t result = readQuantiser(bits, Type == kPictureI)) return result;
  }
  if constexpr (Type != kPictureI) {
    // DC predictors restart after any non-intra or skipped macroblock.
    if (state_.currentAddress - state_.lastIntraAddress > 1) {
      const int16_t reset = static_cast<int16_t>(ctx_.dcPredictorReset);
      state_.dcPredictor[0] = state_.dcPredictor[1] = state_.dcPredictor[2] = reset;
    }
    state_.lastIntraAddress = state_.currentAddress;
  }
  if (picture_.concealmentMotionVectors) {
    // A forward vector for concealment (frame format in frame pictures,
    // with a field select in field pictures), then marker_bit.
    if constexpr (FieldPicture) fieldSelect_[0][0] = static_cast<int32_t>(readField(bits, 1));
    if (int32_t result = decodeVector(bits, 0, 0, false, false)) return result;
    copyFirstPredictor(ctx_.pmv, 0);
    if (readField(bits, 1) == 0) return kSliceBadSyntax;
    state_.previousForward = 1;
    state_.previousBackward = 0;
  } else {
    std::memset(ctx_.pmv, 0, sizeof ctx_.pmv);
  }
  return 0;
}

template <int Type, bool FieldPicture, DecodeScale Scale>
PredictionKind MacroblockDecoder<Type, FieldPicture, Scale>::kindFromMotionType(
    int32_t motionType) const {
  if constexpr (FieldPicture) {
    if (motionType == 2) return PredictionKind::Field16x8;
    if (motionType == 3 && Type == kPictureP) return PredictionKind::DualPrime;
    return PredictionKind::Field;
  } else {
    if (motionType == 1) return PredictionKind::FieldOfFrame;
    if (motionType == 3 && Type == kPictureP) return PredictionKind::DualPrime;
    return PredictionKind::Frame;
  }
}

template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::readNonIntra(Bits& bits, int32_t flags,
                                                                   int32_t& pattern) {
  const bool forward = (flags & kMbForward) != 0;
  const bool backward = (flags & kMbBackward) != 0;
  kind_ = FieldPicture ? PredictionKind::Field : PredictionKind::Frame;
  if (forward || backward) {
    if (FieldPicture || !picture_.framePredFrameDct)
      kind_ = kindFromMotionType(static_cast<int32_t>(readField(bits, 2)));
  }
  dctType_ = 0;
  if constexpr (!FieldPicture) {
    if (!picture_.framePredFrameDct && (flags & kMbPattern))
      dctType_ = static_cast<int32_t>(readField(bits, 1));
  }
  if (flags & kMbQuant) {
    if (int32_t result = readQuantiser(bits, !(Type == kPictureB && !FieldPicture))) return result;
  }
  if (forward) {
    if (int32_t result = decodeMotion(bits, 0)) return result;
  }
  if (backward) {
    if (int32_t result = decodeMotion(bits, 1)) return result;
  }
  if constexpr (Type == kPictureP) {
    if (!forward) {
      // No motion compensation: a zero vector from the forward reference; in
      // field pictures from the field of the same parity (ISO/IEC 13818-2
      // 7.6.3.5), which is never the other field of the current frame.
      std::memset(ctx_.pmv, 0, sizeof ctx_.pmv);
      vector_[0][0][0] = vector_[0][0][1] = 0;
      fieldSelect_[0][0] = FieldPicture ? parity_ : 0;
    }
  }
  state_.previousForward = forward;
  state_.previousBackward = backward;
  if (flags & kMbPattern) {
    if (decodeVlc(bits, kVlcCodedBlockPattern, pattern)) return kSliceBadCode;
  }
  return 0;
}

// motion_vectors(s) for the macroblock's prediction kind, with the predictor
// updates of ISO/IEC 13818-2 Table 7-9: one-vector kinds copy PMV[0][s] into
// PMV[1][s].
template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::decodeMotion(Bits& bits, int32_t s) {
  switch (kind_) {
    case PredictionKind::Frame:
      if (int32_t result = decodeVector(bits, 0, s, false, false)) return result;
      copyFirstPredictor(ctx_.pmv, s);
      return 0;
    case PredictionKind::Field:
      fieldSelect_[0][s] = static_cast<int32_t>(readField(bits, 1));
      if (int32_t result = decodeVector(bits, 0, s, false, false)) return result;
      copyFirstPredictor(ctx_.pmv, s);
      return 0;
    case PredictionKind::FieldOfFrame:
    case PredictionKind::Field16x8:
      for (int32_t r = 0; r < 2; ++r) {
        fieldSelect_[r][s] = static_cast<int32_t>(readField(bits, 1));
        const bool fieldInFrame = kind_ == PredictionKind::FieldOfFrame;
        if (int32_t result = decodeVector(bits, r, s, fieldInFrame, false)) return result;
      }
      return 0;
    case PredictionKind::DualPrime:
      // No field select: the vector names the same-parity field.
      if (int32_t result = decodeVector(bits, 0, s, !FieldPicture, true)) return result;
      copyFirstPredictor(ctx_.pmv, s);
      return 0;
  }
  return kSliceBadSyntax;
}

// motion_vector(r, s): for each component motion_code, motion_residual and
// (dual prime) dmvector; the predictor of a field vector in a frame picture is
// PMV >> 1 and the field vector is stored back doubled (frame units).
template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::decodeVector(Bits& bits, int32_t r, int32_t s,
                                                                   bool fieldVectorInFrame,
                                                                   bool dualPrime) {
  // Both components are packed in a register and stored together below: the
  // predictor copies read PMV[r][s] as one 32-bit pair, which a load after
  // two 16-bit stores could not take from the store buffer (a stall).
  uint32_t vectorPair = 0, predictorPair = 0;
#pragma GCC unroll 2
  for (int32_t t = 0; t < 2; ++t) {
    int32_t code = 0;
    if (decodeVlc(bits, kVlcMotionCode, code)) return kSliceBadCode;
    int32_t fCode = picture_.fCode[2 * s + t];
    const int32_t rSize = fCode < 1 ? 0 : (fCode > 15 ? 14 : fCode - 1);
    // motion_residual follows a code other than 0. The lookup fills the cache
    // before its last level and a motion_code has at most 11 bits, so at least
    // 21 bits stay: enough for r_size (at most 14) without a fill. Reading 0
    // bits gives 0, so nothing branches on the code.
    const int32_t residual = static_cast<int32_t>(bits.readUpTo(rSize & -static_cast<int32_t>(code != 0)));
    if (dualPrime) {
      // dmvector (Table B.11): 0 -> 0, 10 -> +1, 11 -> -1.
      dmvector_[t] = 0;
      if (readField(bits, 1)) dmvector_[t] = readField(bits, 1) ? -1 : 1;
    }
    const bool halved = fieldVectorInFrame && t == 1;
    const int32_t prediction = halved ? (ctx_.pmv[r][s][t] >> 1) : ctx_.pmv[r][s][t];
    const int32_t value = wrapVector(prediction + motionDelta(code, residual, rSize), rSize);
    vectorPair |= static_cast<uint32_t>(static_cast<uint16_t>(value)) << (16 * t);
    predictorPair |= static_cast<uint32_t>(static_cast<uint16_t>(halved ? value * 2 : value)) << (16 * t);
  }
  storePair(vector_[r][s], vectorPair);
  storePair(ctx_.pmv[r][s], predictorPair);
  return 0;
}

}  // namespace quarlin
