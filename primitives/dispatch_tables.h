// One table of implementation slots per primitive. Slot 0 is empty; slots 1
// to 4 hold the implementations for the generic level, SSE, SSE2 and SSE3,
// slot 5 those for AVX2 (selected beyond the four classic levels), and
// every entry point calls the slot that CpuDispatchIndex names. The tables are
// written only while the process is single-threaded (static initialisation;
// a test that swaps a slot restores it before finishing).
#pragma once
#include "primitives/primitive_signatures.h"

namespace quarlin {

constexpr int kDispatchSlotCount = 6;
enum DispatchSlot : int {
  kSlotEmpty = 0,
  kSlotGeneric = 1,
  kSlotSse = 2,
  kSlotSse2 = 3,
  kSlotSse3 = 4,
  kSlotAvx2 = 5,
};

#define QUARLIN_DISPATCH_MEMBER(member, Type, entry) Type* member[kDispatchSlotCount];
struct PrimitiveTables {
  QUARLIN_PRIMITIVE_LIST(QUARLIN_DISPATCH_MEMBER)
  // The one-direction kernels of each mc block size, slot by slot: those of
  // the tier whose entry point (mc16x16, ...) fills the same slot.
  const McKernels* mcKernels[kMcBlockSizeCount][kDispatchSlotCount];
};
#undef QUARLIN_DISPATCH_MEMBER

extern PrimitiveTables gPrimitiveTables;

}  // namespace quarlin
