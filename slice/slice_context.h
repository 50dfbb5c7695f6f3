// The parameter block of one slice routine call, built on the stack of the
// thread that decodes the slice (for field pictures: the whole field) and
// destroyed when it is done. It holds its own references to the unit and to
// the decode tables, so a worker thread keeps both alive while it decodes.
#pragma once
#include <cstdint>

#include "parse/headers.h"
#include "parse/stream_buffer.h"
#include "primitives/primitives.h"
#include "primitives/vlc_table_set.h"

namespace quarlin {

void releaseVlcTableSetReference(VlcTableSet* tables);
using VlcTableSetReference = SharedReference<VlcTableSet, releaseVlcTableSetReference>;

// Result codes of the slice layer.
constexpr int32_t kSliceOk = 0;
constexpr int32_t kSliceBadCode = -1;    // a code did not decode or a primitive failed
constexpr int32_t kSliceBadSyntax = -2;  // a syntax value out of range

enum class DecodeScale { Full, HalfWidth, Quarter };

// reducedResolution 0 gives Full; otherwise reductionMode 1 gives Quarter and
// any other value HalfWidth.
inline DecodeScale decodeScaleFromOptions(int32_t reducedResolution, int32_t reductionMode) {
  if (reducedResolution == 0) return DecodeScale::Full;
  return reductionMode == 1 ? DecodeScale::Quarter : DecodeScale::HalfWidth;
}

// What the slice routine keeps about its slice.
struct SliceState {
  int32_t previousAddress = 0;  // before the first macroblock: just before the slice's row
  int32_t firstInSlice = 0;
  int32_t currentAddress = 0;
  int16_t dcPredictor[3] = {};  // Y, Cb, Cr
  int32_t lastIntraAddress = -2;
  // Directions of the last non-skipped macroblock, which skipped B
  // macroblocks repeat. Its prediction kind is not kept: they predict frames
  // with PMV[0] (frame pictures) or same-parity fields whatever it was.
  int32_t previousForward = 0, previousBackward = 0;
  int32_t quantiserScaleCode = 0;  // slice header value
  int32_t sliceRow = 0;            // slice_vertical_position
};

struct SliceContext {
  const SequenceInfo* sequence = nullptr;
  const PictureInfo* picture = nullptr;
  SharedBuffer unit;  // the unit or a slice view, read through its bit reader
  VlcTableSetReference vlcTables;
  int32_t mbRow = 0, mbColumn = -1;
  int32_t intraDcShift = 3;        // 3 - intra_dc_precision
  int32_t dcPredictorReset = 128;  // 128 << intra_dc_precision
  int32_t secondField = 0;
  // A second P field without a forward reference frame: same-parity
  // predictions read the frame's first field (the other parity) instead.
  bool noPastField = false;
  // Parse only: no sample is read or written; reachedPastField records
  // whether a second P field predicts from the previous reference frame.
  bool probeReferences = false;
  bool reachedPastField = false;
  const IppVCHuffmanSpec_32s* intraAcTable = nullptr;  // table B.14 or B.15
  const int16_t* intraMatrixLuma = nullptr;
  const int16_t* intraMatrixChroma = nullptr;
  const int16_t* nonIntraMatrixLuma = nullptr;  // null = flat 16
  const int16_t* nonIntraMatrixChroma = nullptr;
  int16_t pmv[2][2][2] = {};  // PMV[r][s][t]
  SliceState slice;
  int32_t reducedResolution = 0, reductionMode = 0;
  // Reading bound: the word after the one that holds the first byte of the
  // start code that follows the slice (after the unit's last word when none
  // follows). A macroblock that would begin at or past it ends the slice
  // with -1; the unit's slack keeps the reads of the macroblock before it in
  // bounds. Null: no bound.
  const uint32_t* sliceEnd = nullptr;
  // One byte per macroblock address of the picture (of the field in field
  // pictures), set to 1 for each macroblock the slice reconstructed whole,
  // skipped ones included; what stays 0 is concealed afterwards. Null: not
  // recorded.
  uint8_t* decodedMacroblocks = nullptr;
};

}  // namespace quarlin
