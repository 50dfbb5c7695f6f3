// MacroblockDecoder: decodes the macroblocks of one slice. One class
// template serves all eighteen variants: the picture type (I, P, B), the
// picture structure (frame or field picture) and the DecodeScale are template
// parameters, so a slice chooses its variant once and no block branches on
// them. The parser is shared; only prediction geometry and reconstruction
// differ per variant.
//
// Member definitions live in macroblock_syntax.h (macroblock layer syntax and
// motion vectors), macroblock_prediction.h (motion compensation and skipped
// macroblocks) and macroblock_blocks.h (intra and residual blocks).
#pragma once
#include <cstddef>
#include <cstdint>

#include "slice/frame_buffer.h"
#include "parse/bit_reader.h"
#include "primitives/bit_cache.h"
#include "primitives/primitive_set.h"
#include "primitives/primitives.h"
#include "slice/reduced_block_transform.h"
#include "slice/scale_geometry.h"
#include "slice/slice_context.h"

namespace quarlin {


// macroblock_type flags (the values of the macroblock_type tables).
enum MacroblockFlag : int32_t {
  kMbIntra = 1,
  kMbPattern = 2,
  kMbBackward = 4,
  kMbForward = 8,
  kMbQuant = 16
};

// How a macroblock is predicted (ISO/IEC 13818-2 6.3.17.1).
enum class PredictionKind : int32_t {
  Frame,         // frame picture, one frame vector per direction
  FieldOfFrame,  // frame picture, a field vector for each field's lines
  Field,         // field picture, one field vector per direction
  Field16x8,     // field picture, upper and lower 16x8 halves
  DualPrime      // P pictures: same- and opposite-parity predictions averaged
};

template <int Type, bool FieldPicture, DecodeScale Scale>
class MacroblockDecoder {
  static_assert(Type >= kPictureI && Type <= kPictureB);
  using G = ScaleGeometry<Scale>;
  using R = ResidualLayout<Scale>;

 public:
  MacroblockDecoder(SliceContext& ctx, const FrameBuffer& forward, const FrameBuffer& backward,
                    const FrameBuffer& output, const BitReader& reader);

  // 0 when this slice can be decoded with the given frames, tables and
  // geometry; -1 when a plane or table it needs is missing, -2 when the
  // slice's row lies outside the picture.
  int32_t validate() const;

  // Decodes one macroblock with the reconstruction of the macroblocks that
  // its address increment skips. 0, -1 (a code or a primitive failed) or -2
  // (a syntax value out of range).
  int32_t decodeMacroblock();

  const BitReader& reader() const { return reader_; }

 private:
  // One reference read of a prediction: which frame, which field lines
  // (select, 0 in frame prediction), which vector.
  struct Source {
    const FrameBuffer* frame;
    int32_t select;
    int16_t vx, vy;
  };
  // One region of the macroblock predicted with one or two sources: the
  // rows firstRow, firstRow + rowMul, ... of the macroblock (luma, chroma),
  // read from source rows starting at sourceRow (in lines of the source step).
  struct Part {
    int32_t firstRow[2];
    int32_t sourceRow[2];
    int32_t rowMul;
    int32_t sourceCount;
    Source source[2];
  };
  struct ResolvedRead {
    const uint8_t* ptr;
    int32_t step;
    int32_t type;
  };

  // ---- macroblock_syntax.h
  // The whole macroblock, its syntax and its blocks, is read through one
  // BitCache, a local of decodeMacroblock; reader_ takes its position after
  // the macroblock (also after an error). The syntax readers are inlined so
  // that the cache stays in registers.
  using Bits = generic::BitCache;
  [[gnu::always_inline]] inline int32_t readAndReconstruct(Bits& bits);
  [[gnu::always_inline]] inline int32_t readHeader(Bits& bits, int32_t& flags, int32_t& pattern);
  [[gnu::always_inline]] inline int32_t readAddressIncrement(Bits& bits, int32_t& increment);
  void place(int32_t address);
  [[gnu::always_inline]] inline int32_t readQuantiser(Bits& bits, bool zeroAllowed);
  [[gnu::always_inline]] inline int32_t readIntra(Bits& bits, int32_t flags);
  [[gnu::always_inline]] inline int32_t readNonIntra(Bits& bits, int32_t flags, int32_t& pattern);
  PredictionKind kindFromMotionType(int32_t motionType) const;
  [[gnu::always_inline]] inline int32_t decodeMotion(Bits& bits, int32_t s);
  [[gnu::always_inline]] inline int32_t decodeVector(Bits& bits, int32_t r, int32_t s,
                                                     bool fieldVectorInFrame, bool dualPrime);
  [[gnu::always_inline]] inline int32_t decodeVlc(Bits& bits, int slot, int32_t& value) const;

  // ---- macroblock_prediction.h
  int32_t predict(bool forward, bool backward);
  int32_t predictGeneral(bool forward, bool backward);
  template <bool kFieldLines>
  bool predictFrameInside(bool forward, bool backward, int32_t& result);
  template <int LumaRows, int ChromaRows>
  int32_t predictParts(const Part* parts, int32_t count, int32_t sourceStepMul);
  template <int LumaRows, int ChromaRows>
  int32_t applyParts(const Part* parts, int32_t count, const ResolvedRead (*reads)[2][3]);
  template <int LumaRows, int ChromaRows>
  [[gnu::always_inline]] inline int32_t applyKernel(int p, const ResolvedRead& a, const ResolvedRead* b,
                                                    const int16_t* res, int32_t resStep, uint8_t* dst,
                                                    int32_t dstStep);
  void resolve(const Part& part, int32_t partIndex, int32_t sourceStepMul, int32_t lumaRows,
               int32_t chromaRows, ResolvedRead reads[2][3]);
  Source sourceFor(int32_t s, int32_t select, int16_t vx, int16_t vy);
  int32_t fillSkipped(int32_t from, int32_t to);
  int32_t copySkippedP();
  int32_t predictSkippedB();

  // ---- macroblock_blocks.h
  int32_t reconstructIntra(Bits& bits);
  int32_t buildResidual(Bits& bits, int32_t codedBlockPattern);
  int16_t* residualBlock(int32_t k, int32_t& stepBytes);
  int32_t writeIntraBlock(const int16_t* coefficients, uint8_t* dst, int32_t step);
  void transformResidualBlock(const int16_t* coefficients, int16_t* dst, int32_t stepBytes);
  int32_t quantiserScale() const;

  static uint8_t* planeOf(const FrameBuffer& f, int p) {
    return p == 0 ? f.yPlane : (p == 1 ? f.cbPlane : f.crPlane);
  }
  static constexpr int32_t widthOf(int p) { return p == 0 ? G::kLumaWidth : G::kChromaWidth; }
  static constexpr int32_t heightOf(int p) { return p == 0 ? G::kLumaHeight : G::kChromaHeight; }
  static constexpr int32_t residualOffsetOf(int p) { return p == 0 ? 0 : (p == 1 ? R::kCbOffset : R::kCrOffset); }
  // Whether `rows` rows of `cols` samples of plane p, from sample x of frame
  // line y and lineStep frame lines apart, lie inside the coded picture.
  bool insideCoded(int p, int64_t x, int64_t y, int32_t cols, int32_t rows, int32_t lineStep) const {
    return x >= 0 && y >= 0 && x + cols <= codedWidth_[p] && y + int64_t{rows - 1} * lineStep < codedLines_[p];
  }

  SliceContext& ctx_;
  const SequenceInfo& sequence_;
  const PictureInfo& picture_;
  SliceState& state_;
  const FrameBuffer* references_[2];
  const FrameBuffer& output_;
  const PrimitiveSet primitives_;  // resolved once for the slice
  const ReducedTransforms reduced_;  // likewise
  IppVCHuffmanSpec_32s* const* tables_;
  BitReader reader_;
  const Ipp32s* scan_;
  const Ipp16s* quantiserScaleRow_;
  int32_t quantiserScaleCode_;
  int32_t parity_;      // field pictures: 0 top, 1 bottom
  int32_t maxAddress_;  // macroblocks in the picture
  int32_t rowEnd_;      // first address after the slice's row: slices stay in their row
  const bool probe_;    // parse only (ctx.probeReferences)
  int32_t stride_[3];   // plane strides at this scale (frame lines)
  int32_t codedWidth_[3];  // samples of the coded picture per plane line at this scale
  int32_t codedLines_[3];  // frame lines of the coded picture per plane at this scale

  // The macroblock being reconstructed.
  int64_t sourceOrigin_[3];  // in reference planes; field pictures: without the parity line
  uint8_t* dest_[3];         // first sample in the output planes
  int32_t destStep_[3];      // between the macroblock's rows
  PredictionKind kind_ = PredictionKind::Frame;
  int32_t dctType_ = 0;
  int32_t fieldSelect_[2][2] = {};  // [r][s]
  int16_t vector_[2][2][2] = {};    // [r][s][t], half samples
  int32_t dmvector_[2] = {};

  // The residual the prediction adds: residual_, or kNoResidual for a
  // macroblock without coded blocks (nothing is zeroed for it).
  const int16_t* residualIn_ = kNoResidual;
  alignas(16) static constexpr int16_t kNoResidual[R::kTotal] = {};
  alignas(16) int16_t residual_[R::kTotal];
  // Blocks of residual_ known to hold zeros, so that an uncoded block after
  // an uncoded one in the same place is not cleared again; bits as in
  // coded_block_pattern (5..2 the luma blocks in the layout of zeroLayout_, a
  // dct_type; 1 Cb, 0 Cr).
  uint32_t zeroBlocks_ = 0;
  int32_t zeroLayout_ = 0;
  alignas(16) int16_t blocks_[4][64];
  alignas(16) int16_t scratch_[64];
  // Reference blocks that reach outside the coded picture, rebuilt inside it.
  static constexpr int32_t kEmulatedStep = 32;
  alignas(16) uint8_t emulated_[2][2][3][kEmulatedStep * 17];
};

}  // namespace quarlin
