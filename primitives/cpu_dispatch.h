// Processor dispatch of the primitives. Every primitive has a table of six
// implementation slots (0 empty; 1 generic, 2 SSE, 3 SSE2, 4 SSE3, 5 AVX2)
// and each entry point runs the slot CpuDispatchIndex names.
#pragma once
#include <cstdint>

#include "primitives/primitives.h"

namespace quarlin {

// 0..5; 1 before the selection has run.
extern int32_t CpuDispatchIndex;
// Set by the selection when the processor has SSE2.
extern bool CpuHasSse2;
// Set by the selection when the processor has AVX2 and the operating system
// saves the AVX registers.
extern bool CpuHasAvx2;

// Selects the implementations once per process from CPUID (function 1, SSE2
// flag); later calls return at once. Returns the status of the last
// processor-type selection (0, or 21 for an unknown type).
IppStatus selectPrimitives();

// Sets the index for the processor type code (0..9); 21 for an unknown code,
// leaving the index unchanged.
IppStatus selectProcessorType(int32_t typeCode);

// The selection steps for the given CPUID function-1 EDX flags, without the
// done flag: sets CpuHasSse2 and the index and returns the status of the last
// processor-type selection; then, when the SSE2 slot was chosen and `avx2`
// is true, moves on to the AVX2 slot. selectPrimitives runs it once with the
// processor's own flags; tests use it to take the path of another processor.
IppStatus selectPrimitivesForFeatures(uint32_t cpuidEdx, bool avx2 = false);

// Whether this processor can run the implementations of `slot` (1..5).
bool dispatchSlotRunsHere(int32_t slot);

// Makes every entry point run `slot` from now on and returns the index it
// replaces; returns -1 and changes nothing when this processor cannot run
// the slot. For tests and benchmarks that compare the tiers: call it only
// while no primitive runs on another thread.
int32_t forceDispatchSlot(int32_t slot);

}  // namespace quarlin
