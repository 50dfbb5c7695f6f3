// Calls into the host's service tables (memory, memory handles, block
// cache). Each function is one call through the table entry the host
// documents; the tables and cacheRef belong to the host and are never freed.
// A piece of memory is used as: allocate, lock, use the address, release.
#pragma once
#include <cstdint>

#include "quarlin/quarlin.h"

namespace quarlin::host {

// The host's memory kind argument for allocate and lock.
inline constexpr int32_t kHostMemoryKind = 2;

// memorySuite entry 1: `size` bytes aligned to `alignment` bytes.
// 0 when *out is a valid handle; anything else is a failure.
int32_t allocate(const HostServices& services, QuarlinMemoryHandle* out, uint32_t size,
                 uint32_t alignment);
// handleSuite entry 1: the address of the handle's memory, valid until
// release. 0 on success.
int32_t lock(const HostServices& services, QuarlinMemoryHandle handle, void** address);
// handleSuite entry 0: the handle and any address locked from it end here.
void release(const HostServices& services, QuarlinMemoryHandle handle);
// cacheSuite entry 2: offers a block of the file to the host's cache.
void cacheInsert(const HostServices& services, QuarlinMemoryHandle handle, int32_t blockIndex);
// cacheSuite entry 3: 0 when the cache holds block `blockIndex` (*out then
// receives its handle).
int32_t cacheLookup(const HostServices& services, int32_t blockIndex, QuarlinMemoryHandle* out);

}  // namespace quarlin::host
