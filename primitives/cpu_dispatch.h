// Processor dispatch of the primitives. Every primitive has a table of five
// implementation slots (0 empty; 1 generic, 2 SSE, 3 SSE2, 4 SSE3) and each
// entry point runs the slot CpuDispatchIndex names.
#pragma once
#include <cstdint>

#include "primitives/primitives.h"

namespace quarlin {

// 0..4; 1 before the selection has run.
extern int32_t CpuDispatchIndex;
// Set by the selection when the processor has SSE2.
extern bool CpuHasSse2;

// Selects the implementations once per process from CPUID (function 1, SSE2
// flag); later calls return at once. Returns the status of the last
// processor-type selection (0, or 21 for an unknown type).
IppStatus selectPrimitives();

// Sets the index for the processor type code (0..9); 21 for an unknown code,
// leaving the index unchanged.
IppStatus selectProcessorType(int32_t typeCode);

// The selection steps for the given CPUID function-1 EDX flags, without the
// done flag: sets CpuHasSse2 and the index and returns the status of the last
// processor-type selection. selectPrimitives runs it once with the
// processor's own flags; tests use it to take the path of another processor.
IppStatus selectPrimitivesForFeatures(uint32_t cpuidEdx);

}  // namespace quarlin
