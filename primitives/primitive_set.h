// One implementation of every primitive, resolved from the dispatch tables
// at the slot CpuDispatchIndex names. The slice layer resolves it once per
// slice and calls through it, so a block costs one direct-pointer call
// rather than an entry point's indexed load and second call; a slot forced
// between decodes takes effect with the next slice. The C entry points stay
// for callers outside the macroblock layer, which also calls the
// one-direction motion kernels without their entry points' checks.
#pragma once
#include "primitives/cpu_dispatch.h"
#include "primitives/dispatch_tables.h"

namespace quarlin {

#define QUARLIN_SET_MEMBER(member, Type, entry) Type* member;
struct PrimitiveSet {
  QUARLIN_PRIMITIVE_LIST(QUARLIN_SET_MEMBER)
  McKernels mcKernels[kMcBlockSizeCount];  // copied: a kernel costs one load and a call
};
#undef QUARLIN_SET_MEMBER

inline PrimitiveSet currentPrimitiveSet() {
  const int32_t slot = CpuDispatchIndex;
#define QUARLIN_SET_ENTRY(member, Type, entry) gPrimitiveTables.member[slot],
  PrimitiveSet set{QUARLIN_PRIMITIVE_LIST(QUARLIN_SET_ENTRY){}};
#undef QUARLIN_SET_ENTRY
  for (int size = 0; size < kMcBlockSizeCount; ++size) set.mcKernels[size] = *gPrimitiveTables.mcKernels[size][slot];
  return set;
}

}  // namespace quarlin
