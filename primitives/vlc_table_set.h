// The eleven variable-length decode tables of the macroblock layer, built
// once per process while any session holds them and shared by all sessions.
#pragma once
#include "primitives/primitives.h"

namespace quarlin {

// Table slots. Slots 1 to 3 are indexed by picture_coding_type.
enum VlcSlot : int {
  kVlcAddressIncrement = 0,  // macroblock_address_increment; escape decodes to 65535
  kVlcMacroblockTypeI = 1,
  kVlcMacroblockTypeP = 2,
  kVlcMacroblockTypeB = 3,
  kVlcCodedBlockPattern = 4,
  kVlcMotionCode = 5,          // values -16..16
  kVlcDcSizeLuma = 6,
  kVlcDcSizeChroma = 7,
  kVlcCoefficientFirst = 8,    // first coefficient of a non-intra block (table B.14)
  kVlcCoefficientZero = 9,     // table B.14 with end_of_block
  kVlcCoefficientOne = 10,     // table B.15 with end_of_block
  kVlcSlotCount = 11
};

// Run/level leaves of the coefficient tables: value = level << 8 | run.
constexpr int kRunEndOfBlock = 254;
constexpr int kRunEscape = 255;
constexpr Ipp32s kMacroblockEscape = 65535;

struct VlcTableSet {
  IppVCHuffmanSpec_32s* table[kVlcSlotCount];
};

// acquire builds every table when no holder exists, then counts one more
// holder; release counts one fewer and frees every table (slots set to null)
// at zero. Both run under one process-wide lock. A table that failed to build
// stays null, and decoding with it reports a null pointer.
VlcTableSet* acquireVlcTableSet();
void releaseVlcTableSet();

}  // namespace quarlin
