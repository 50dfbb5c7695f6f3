// The dispatch tables, constant-initialised so that they are complete before
// any code of the library runs.
//
// Adding a vector tier of a family: write one source file per family and tier
// (for example idct_sse2.cpp; primitives/CMakeLists.txt gives files ending in
// _sse, _sse2, _sse3 and _avx2 their instruction-set flags) defining, in the
// tier's namespace (quarlin::sse2, quarlin::avx2), the functions that
// vector_primitives.h declares, and name them in their slots below: slot 3
// for SSE2 and slot 4 too (no SSE3 version is better); slot 5, AVX2, keeps
// the SSE2 version where AVX2 does not pay. A one-direction mc entry point
// goes in with its tier's kernels (fillMcFrom), which the macroblock layer
// calls directly.
#include "primitives/dispatch_tables.h"

#include "primitives/generic_primitives.h"
#include "primitives/vector_primitives.h"

namespace quarlin {
namespace {

#define QUARLIN_GENERIC_SLOTS(member, Type, entry) \
  .member = {nullptr, &generic::member, &generic::member, &generic::member, &generic::member, &generic::member},

// `f` in slots `from` to 5.
template <typename Fn>
constexpr void fillFrom(Fn* (&slots)[kDispatchSlotCount], int from, Fn* f) {
  for (int slot = from; slot < kDispatchSlotCount; ++slot) slots[slot] = f;
}

// A one-direction mc entry point and its kernels in slots `from` to 5.
constexpr void fillMcFrom(PrimitiveTables& t, McOneFn* (&slots)[kDispatchSlotCount], McBlockSize size,
                          int from, McOneFn* f, const McKernels& kernels) {
  fillFrom(slots, from, f);
  for (int slot = from; slot < kDispatchSlotCount; ++slot) t.mcKernels[size][slot] = &kernels;
}

consteval PrimitiveTables buildTables() {
  PrimitiveTables t = {QUARLIN_PRIMITIVE_LIST(QUARLIN_GENERIC_SLOTS) .mcKernels = {}};
#define QUARLIN_GENERIC_KERNELS(W, H) fillMcFrom(t, t.mc##W##x##H, kMc##W##x##H, kSlotGeneric, \
                                                 &generic::mc##W##x##H, generic::mc##W##x##H##Kernels);
  QUARLIN_MC_BLOCK_SIZES(QUARLIN_GENERIC_KERNELS)
#undef QUARLIN_GENERIC_KERNELS

  // Variable-length codes and block reconstruction.

  // Inverse DCT.
  fillFrom(t.idctToShort, kSlotSse2, &sse2::idctToShort);
  fillFrom(t.idctToByte, kSlotSse2, &sse2::idctToByte);
  fillFrom(t.idctToShort, kSlotAvx2, &avx2::idctToShort);
  fillFrom(t.idctToByte, kSlotAvx2, &avx2::idctToByte);

  // Motion compensation and copies.
#define QUARLIN_SSE2_KERNELS(W, H) \
  fillMcFrom(t, t.mc##W##x##H, kMc##W##x##H, kSlotSse2, &sse2::mc##W##x##H, sse2::mc##W##x##H##Kernels);
  QUARLIN_MC_BLOCK_SIZES(QUARLIN_SSE2_KERNELS)
#undef QUARLIN_SSE2_KERNELS
  fillFrom(t.mc16x16B, kSlotSse2, &sse2::mc16x16B);
  fillFrom(t.mc16x8B, kSlotSse2, &sse2::mc16x8B);
  fillFrom(t.mc8x16B, kSlotSse2, &sse2::mc8x16B);
  fillFrom(t.mc8x8B, kSlotSse2, &sse2::mc8x8B);
  fillFrom(t.mc8x4B, kSlotSse2, &sse2::mc8x4B);
  fillFrom(t.mc4x8B, kSlotSse2, &sse2::mc4x8B);
  fillFrom(t.mc4x4B, kSlotSse2, &sse2::mc4x4B);
  fillFrom(t.mc4x2B, kSlotSse2, &sse2::mc4x2B);
  fillFrom(t.copy2d, kSlotSse2, &sse2::copy2d);  // copy1d stays memmove
  // AVX2 where it is faster than SSE2 by 10% or more.
  fillMcFrom(t, t.mc16x16, kMc16x16, kSlotAvx2, &avx2::mc16x16, avx2::mc16x16Kernels);
  fillMcFrom(t, t.mc8x16, kMc8x16, kSlotAvx2, &avx2::mc8x16, avx2::mc8x16Kernels);
  fillMcFrom(t, t.mc8x8, kMc8x8, kSlotAvx2, &avx2::mc8x8, avx2::mc8x8Kernels);
  fillMcFrom(t, t.mc8x4, kMc8x4, kSlotAvx2, &avx2::mc8x4, avx2::mc8x4Kernels);
  fillFrom(t.mc16x16B, kSlotAvx2, &avx2::mc16x16B);

  return t;
}

#undef QUARLIN_GENERIC_SLOTS

}  // namespace

constinit PrimitiveTables gPrimitiveTables = buildTables();

}  // namespace quarlin
