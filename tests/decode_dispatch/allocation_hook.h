// Failures of the C++ heap on demand, for the binary that links
// allocation_hook.cpp (it replaces the global operator new and delete).
// Unarmed, every allocation succeeds.
#pragma once
#include <cstdint>

namespace quarlin::test {

// While on, every allocation made on a slice worker thread fails.
void failAllocationsOnWorkers(bool on);
// The allocation on the calling thread after `skip` more succeed fails (once).
void failAllocationOnThisThread(int32_t skip);
// Ends both kinds of failure (call it on the thread that armed one).
void clearAllocationFailures();
// Allocations made to fail so far.
int64_t failedAllocations();

}  // namespace quarlin::test
