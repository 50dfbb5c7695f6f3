// The eleven constant code descriptions from which the shared decode tables
// are built. Layout of a description (32-bit signed integers):
//   maxLength, levelCount, levelWidth[levelCount],
//   then for code length 1, 2, ... maxLength in turn a count N followed by N
//   entries, then -1.
// A plain entry is (code, value); a run/level entry is (code, run, level),
// where code is the code's bits as an integer of that length. Run/level codes
// include the sign bit, so each (run, level) appears once per sign; run 254
// with level 254 is end_of_block and run 255 with level 255 the escape.
#pragma once
#include "primitives/primitives.h"
#include "primitives/vlc_table_set.h"

namespace quarlin {

extern const Ipp32s kMacroblockAddressIncrementCodes[];
extern const Ipp32s kMacroblockTypeICodes[];
extern const Ipp32s kMacroblockTypePCodes[];
extern const Ipp32s kMacroblockTypeBCodes[];
extern const Ipp32s kCodedBlockPatternCodes[];
extern const Ipp32s kMotionCodeCodes[];
extern const Ipp32s kDcSizeLuminanceCodes[];
extern const Ipp32s kDcSizeChrominanceCodes[];
extern const Ipp32s kCoefficientFirstCodes[];
extern const Ipp32s kCoefficientZeroCodes[];
extern const Ipp32s kCoefficientOneCodes[];

struct VlcSlotDescription {
  const Ipp32s* codes;
  bool runLevel;  // built with ippiVCHuffmanInitAllocRL_32s
};

// The description of each VlcTableSet slot, indexed by VlcSlot.
extern const VlcSlotDescription kVlcSlotDescriptions[kVlcSlotCount];

}  // namespace quarlin
