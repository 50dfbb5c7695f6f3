// MacroblockDecoder: motion-compensated prediction (ISO/IEC 13818-2 7.6) and
// the reconstruction of skipped macroblocks (7.6.6).
#pragma once
#include <cstring>

#include "slice/macroblock_decoder.h"
#include "slice/motion_kernels.h"
#include "slice/motion_vectors.h"
#include "slice/plane_bounds.h"

namespace quarlin {

// The reference read of direction s for a field select. In the second field
// of a P frame, the field of the other parity is the first field of the
// frame being decoded (ISO/IEC 13818-2 7.6.3.5), already in the output; the
// same-parity field is the previous reference frame's, or the first field
// again when the frame has none.
template <int Type, bool FieldPicture, DecodeScale Scale>
typename MacroblockDecoder<Type, FieldPicture, Scale>::Source
MacroblockDecoder<Type, FieldPicture, Scale>::sourceFor(int32_t s, int32_t select, int16_t vx, int16_t vy) {
  if constexpr (Type == kPictureP && FieldPicture) {
    if (ctx_.secondField) {
      if (select != parity_) return Source{&output_, select, vx, vy};
      if (ctx_.noPastField) return Source{&output_, 1 - parity_, vx, vy};
      ctx_.reachedPastField = true;
    }
  }
  return Source{references_[s], select, vx, vy};
}

// Frame pictures try the direct path first; everything else, and reads that
// reach outside the picture, take the general path of parts.
template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::predict(bool forward, bool backward) {
  if constexpr (!FieldPicture) {
    int32_t result = 0;
    if (!probe_ && kind_ == PredictionKind::Frame && predictFrameInside<false>(forward, backward, result))
      return result;
    if (!probe_ && kind_ == PredictionKind::FieldOfFrame && predictFrameInside<true>(forward, backward, result))
      return result;
  }
  return predictGeneral(forward, backward);
}

template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::predictGeneral(bool forward, bool backward) {
  Part parts[2];
  auto source = [&](int32_t r, int32_t s) {
    const int32_t select = FieldPicture || kind_ == PredictionKind::FieldOfFrame ? fieldSelect_[r][s] : 0;
    return sourceFor(s, select, vector_[r][s][0], vector_[r][s][1]);
  };
  auto directions = [&](Part& part, int32_t r) {
    part.sourceCount = 0;
    if (forward) part.source[part.sourceCount++] = source(r, 0);
    if (backward) part.source[part.sourceCount++] = source(r, 1);
  };
  constexpr int LH = G::kLumaHeight, CH = G::kChromaHeight;
  switch (kind_) {
    case PredictionKind::Frame:
    case PredictionKind::Field:
      parts[0] = Part{{0, 0}, {0, 0}, 1, 0, {}};
      directions(parts[0], 0);
      return predictParts<LH, CH>(parts, 1, FieldPicture ? 2 : 1);
    case PredictionKind::FieldOfFrame:
      for (int32_t r = 0; r < 2; ++r) {
        parts[r] = Part{{r, r}, {0, 0}, 2, 0, {}};
        directions(parts[r], r);
      }
      return predictParts<LH / 2, CH / 2>(parts, 2, 2);
    case PredictionKind::Field16x8:
      for (int32_t r = 0; r < 2; ++r) {
        parts[r] = Part{{r * LH / 2, r * CH / 2}, {r * LH / 2, r * CH / 2}, 1, 0, {}};
        directions(parts[r], r);
      }
      return predictParts<LH / 2, CH / 2>(parts, 2, 2);
    case PredictionKind::DualPrime:
      break;
  }
  // Dual prime (7.6.3.6): each field's lines average the prediction from the
  // reference field of the same parity (the transmitted vector) and from the
  // field of the other parity (a derived vector).
  const int16_t* same = vector_[0][0];
  if constexpr (FieldPicture) {
    const int32_t other = 1 - parity_;
    int16_t derived[2];
    dualPrimeVector(same, 1, dualPrimeCorrection(other, parity_), dmvector_, derived);
    parts[0] = Part{{0, 0}, {0, 0}, 1, 2, {}};
    parts[0].source[0] = sourceFor(0, parity_, same[0], same[1]);
    parts[0].source[1] = sourceFor(0, other, derived[0], derived[1]);
    return predictParts<LH, CH>(parts, 1, 2);
  } else {
    for (int32_t r = 0; r < 2; ++r) {  // r: parity of the predicted lines
      const int32_t other = 1 - r;
      int16_t derived[2];
      dualPrimeVector(same, dualPrimeFrameScale(other, r, picture_.topFieldFirst),
                      dualPrimeCorrection(other, r), dmvector_, derived);
      parts[r] = Part{{r, r}, {0, 0}, 2, 2, {}};
      parts[r].source[0] = Source{references_[0], r, same[0], same[1]};
      parts[r].source[1] = Source{references_[0], other, derived[0], derived[1]};
    }
    return predictParts<LH / 2, CH / 2>(parts, 2, 2);
  }
}

// Frame and field prediction in a frame picture whose reads all lie inside
// the coded picture, as every read of a conforming stream does: the kernels'
// arguments come straight from the vectors, for the whole macroblock (frame
// prediction) or for each field's lines (kFieldLines). False, with nothing
// written, when a read reaches outside; the general path then rebuilds it.
template <int Type, bool FieldPicture, DecodeScale Scale>
template <bool kFieldLines>
bool MacroblockDecoder<Type, FieldPicture, Scale>::predictFrameInside(bool forward, bool backward,
                                                                      int32_t& result) {
  constexpr int32_t kParts = kFieldLines ? 2 : 1;  // also the line step in frame lines
  constexpr int32_t kRows[3] = {G::kLumaHeight / kParts, G::kChromaHeight / kParts, G::kChromaHeight / kParts};
  ResolvedRead reads[kParts][2][3];
  int32_t count = 0;
  for (int32_t s = 0; s < 2; ++s) {
    if (s == 0 ? !forward : !backward) continue;
    for (int32_t r = 0; r < kParts; ++r) {
      const int32_t select = kFieldLines ? fieldSelect_[r][s] : 0;
      const int32_t vx = vector_[r][s][0], vy = vector_[r][s][1];
      for (int p = 0; p < 3; ++p) {
        const SampleOffset o = p == 0 ? lumaOffsetAt<Scale>(vx, vy) : chromaOffsetAt<Scale>(vx, vy);
        // The first sample read; |o.x|, |o.y| < 2^18, so 32 bits hold it.
        const int32_t x = widthOf(p) * ctx_.mbColumn + o.x;
        const int32_t y = heightOf(p) * ctx_.mbRow + select + o.y * kParts;
        const int32_t cols = widthOf(p) + ((o.type & 8) ? 1 : 0), rows = kRows[p] + ((o.type & 4) ? 1 : 0);
        if (!insideCoded(p, x, y, cols, rows, kParts)) return false;
        reads[r][count][p] =
            ResolvedRead{planeOf(*references_[s], p) + int64_t{y} * stride_[p] + x, kParts * stride_[p], o.type};
      }
    }
    ++count;
  }
  result = 0;
  for (int32_t r = 0; r < kParts; ++r) {
    // Unrolled, each plane calls its kernel from a call site of its own, whose
    // indirect target then stays the same from macroblock to macroblock.
#pragma GCC unroll 3
    for (int p = 0; p < 3; ++p) {
      result = applyKernel<kRows[0], kRows[1]>(p, reads[r][0][p], count == 2 ? &reads[r][1][p] : nullptr,
                                               residualIn_ + residualOffsetOf(p) + r * widthOf(p),
                                               kParts * widthOf(p) * 2, dest_[p] + r * destStep_[p],
                                               kParts * destStep_[p]);
      if (result) return true;
    }
  }
  return true;
}

// Where each source of a part reads, per plane. A read that reaches
// outside the coded picture (a vector of a damaged stream) is rebuilt from
// samples inside it.
template <int Type, bool FieldPicture, DecodeScale Scale>
void MacroblockDecoder<Type, FieldPicture, Scale>::resolve(const Part& part, int32_t partIndex,
                                                           int32_t sourceStepMul,
                                                           int32_t lumaRows, int32_t chromaRows,
                                                           ResolvedRead reads[2][3]) {
  for (int32_t k = 0; k < part.sourceCount; ++k) {
    const Source& src = part.source[k];
    for (int p = 0; p < 3; ++p) {
      const SampleOffset o =
          p == 0 ? lumaOffsetAt<Scale>(src.vx, src.vy) : chromaOffsetAt<Scale>(src.vx, src.vy);
      // The first sample read, in samples and lines of the plane (frame
      // lines; a field's lines are sourceStepMul apart).
      const int64_t x = int64_t{widthOf(p)} * ctx_.mbColumn + o.x;
      const int64_t y = int64_t{heightOf(p)} * ctx_.mbRow * (FieldPicture ? 2 : 1) + src.select +
                        (int64_t{part.sourceRow[p == 0 ? 0 : 1]} + o.y) * sourceStepMul;
      const int32_t cols = widthOf(p) + ((o.type & 8) ? 1 : 0);
      const int32_t rows = (p == 0 ? lumaRows : chromaRows) + ((o.type & 4) ? 1 : 0);
      const int32_t step = sourceStepMul * stride_[p];
      const uint8_t* plane = planeOf(*src.frame, p);
      if (insideCoded(p, x, y, cols, rows, sourceStepMul)) {
        reads[k][p] = ResolvedRead{plane + y * stride_[p] + x, step, o.type};
      } else {
        uint8_t* copy = emulated_[partIndex][k][p];
        copyBlockInsideArea(CodedArea{plane, stride_[p], codedWidth_[p], codedLines_[p]}, x, y, sourceStepMul,
                            cols, rows, copy, kEmulatedStep);
        reads[k][p] = ResolvedRead{copy, kEmulatedStep, o.type};
      }
    }
  }
}

template <int Type, bool FieldPicture, DecodeScale Scale>
template <int LumaRows, int ChromaRows>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::predictParts(const Part* parts,
                                                                   int32_t count,
                                                                   int32_t sourceStepMul) {
  if (probe_) return 0;  // the sources were chosen (and noted); nothing is read
  ResolvedRead reads[2][2][3];
  for (int32_t i = 0; i < count; ++i) resolve(parts[i], i, sourceStepMul, LumaRows, ChromaRows, reads[i]);
  return applyParts<LumaRows, ChromaRows>(parts, count, reads);
}

// One plane's prediction from `a` (and `b`, two directions) plus the
// residual: 0, or kSliceBadCode when the kernel refuses its arguments.
template <int Type, bool FieldPicture, DecodeScale Scale>
template <int LumaRows, int ChromaRows>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::applyKernel(int p, const ResolvedRead& a,
                                                                  const ResolvedRead* b, const int16_t* res,
                                                                  int32_t resStep, uint8_t* dst, int32_t dstStep) {
  using Luma = MotionKernels<G::kLumaWidth, LumaRows>;
  using Chroma = MotionKernels<G::kChromaWidth, ChromaRows>;
  if (b == nullptr) {  // rounding control 0: MPEG-2 rounds half-sample averages up
    primitives_.mcKernels[p == 0 ? Luma::size : Chroma::size].byKind[0][mcHalfSampleKind(a.type)](
        a.ptr, a.step, res, resStep, dst, dstStep);
    return 0;
  }
  const IppStatus status = (primitives_.*(p == 0 ? Luma::two : Chroma::two))(
      a.ptr, a.step, a.type, b->ptr, b->step, b->type, res, resStep, dst, dstStep, 0);
  return status == ippStsNoErr ? 0 : kSliceBadCode;
}

// The kernels of each part over its resolved reads.
template <int Type, bool FieldPicture, DecodeScale Scale>
template <int LumaRows, int ChromaRows>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::applyParts(const Part* parts, int32_t count,
                                                                 const ResolvedRead (*reads)[2][3]) {
  for (int32_t i = 0; i < count; ++i) {
    const Part& part = parts[i];
#pragma GCC unroll 3  // a call site per plane, as above
    for (int p = 0; p < 3; ++p) {
      const int32_t first = part.firstRow[p == 0 ? 0 : 1];
      if (int32_t result = applyKernel<LumaRows, ChromaRows>(
              p, reads[i][0][p], part.sourceCount == 2 ? &reads[i][1][p] : nullptr,
              residualIn_ + residualOffsetOf(p) + first * widthOf(p),
              part.rowMul * widthOf(p) * 2, dest_[p] + first * destStep_[p], part.rowMul * destStep_[p]))
        return result;
    }
  }
  return 0;
}

// Reconstructs the macroblocks from..to-1 that an address increment skipped.
template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::fillSkipped(int32_t from, int32_t to) {
  if constexpr (Type == kPictureP) std::memset(ctx_.pmv, 0, sizeof ctx_.pmv);
  if constexpr (Type == kPictureB) {
    // A skipped B macroblock repeats the previous macroblock's directions; an
    // intra macroblock gives none to repeat (not allowed by ISO/IEC 13818-2).
    if (!state_.previousForward && !state_.previousBackward) return kSliceBadSyntax;
  }
  for (int32_t address = from; address < to; ++address) {
    place(address);
    const int32_t result = Type == kPictureP ? copySkippedP() : predictSkippedB();
    if (result) return result;
  }
  return 0;
}

// P pictures: a copy at zero motion from the forward reference; in field
// pictures from its field of the same parity (7.6.6.2), also in a frame's
// second field.
template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::copySkippedP() {
  const Source source = sourceFor(0, FieldPicture ? parity_ : 0, 0, 0);
  if (probe_) return 0;
  const FrameBuffer& reference = *source.frame;
  // At zero motion, from the macroblock's own place: inside the picture.
  for (int p = 0; p < 3; ++p) {
    const int32_t step = FieldPicture ? 2 * stride_[p] : stride_[p];
    const int64_t offset = sourceOrigin_[p] + (FieldPicture ? int64_t{source.select} * stride_[p] : 0);
    if (primitives_.copy2d(planeOf(reference, p) + offset, step, dest_[p], destStep_[p],
                           IppiSize{widthOf(p), heightOf(p)}) != ippStsNoErr)
      return kSliceBadCode;
  }
  return 0;
}

// B pictures (7.6.6.4, 7.6.6.5): the previous macroblock's directions with
// PMV[0] of each direction as the vector, zero residual; frame prediction in
// frame pictures (PMV is kept in frame units there) and field prediction
// from the same-parity fields in field pictures, whatever prediction the
// previous macroblock used.
template <int Type, bool FieldPicture, DecodeScale Scale>
int32_t MacroblockDecoder<Type, FieldPicture, Scale>::predictSkippedB() {
  residualIn_ = kNoResidual;
  kind_ = FieldPicture ? PredictionKind::Field : PredictionKind::Frame;
  for (int32_t s = 0; s < 2; ++s) {
    vector_[0][s][0] = ctx_.pmv[0][s][0];
    vector_[0][s][1] = ctx_.pmv[0][s][1];
    fieldSelect_[0][s] = parity_;
  }
  return predict(state_.previousForward != 0, state_.previousBackward != 0);
}

}  // namespace quarlin
