// A host for tests: service tables whose allocate returns memory of at least
// the requested size and alignment, whose lock returns a stable address and
// whose release frees it. Every call is counted, so a test can check that an
// object released each block it took, and allocate or lock can be made to
// fail on demand. Thread-safe (slice workers release units).
#pragma once
#include <cstdint>
#include <string>

#include "quarlin/quarlin.h"

namespace quarlin::test {

// The tables (cacheRef points at the host's cache object; its lookup never
// finds anything and inserts are only counted).
const HostServices& testHostServices();

// Allocations made and not yet released.
int64_t testHostLiveAllocations();
// Successful allocate calls since the process started.
int64_t testHostAllocateCount();
// Calls that broke the host's rules: a kind other than 2, an alignment that
// is not a power of two, lock or release of a handle that is not live
// (released twice, never allocated). Should stay 0.
int64_t testHostMisuseCount();
// cacheSuite insert and lookup calls.
int64_t testHostCacheCalls();

// After `after` more successful calls, the next `count` allocate (or lock)
// calls fail with result -1 and leave their outputs alone.
void testHostFailAllocate(int32_t count, int32_t after = 0);
void testHostFailLock(int32_t count, int32_t after = 0);
void testHostClearFailures();

// From now on released blocks of 64 KiB and more are kept (poisoned, so that
// a use after release still shows) and handed out again, refilled, for the
// same size and alignment, as a host's memory manager does; a kept block is
// not live, and released or locked again it is a misuse.
void testHostRecycleLargeBlocks();

// UTF-16 of a UTF-8 string (paths for Quarlin_OpenFile and the reader).
std::u16string u16(const std::string& utf8);

}  // namespace quarlin::test

// Usable unqualified outside quarlin::test too.
using quarlin::test::testHostLiveAllocations;
using quarlin::test::testHostMisuseCount;
using quarlin::test::testHostServices;
using quarlin::test::u16;
