#include "foundation/host/host_services.h"

namespace quarlin::host {

int32_t allocate(const HostServices& services, QuarlinMemoryHandle* out, uint32_t size,
                 uint32_t alignment) {
  return services.memorySuite->allocate(out, kHostMemoryKind, size, alignment);
}

int32_t lock(const HostServices& services, QuarlinMemoryHandle handle, void** address) {
  return services.handleSuite->lock(handle, kHostMemoryKind, address);
}

void release(const HostServices& services, QuarlinMemoryHandle handle) {
  services.handleSuite->release(handle);
}

void cacheInsert(const HostServices& services, QuarlinMemoryHandle handle, int32_t blockIndex) {
  services.cacheSuite->insert(services.cacheRef, handle, blockIndex);
}

int32_t cacheLookup(const HostServices& services, int32_t blockIndex, QuarlinMemoryHandle* out) {
  return services.cacheSuite->lookup(services.cacheRef, blockIndex, out);
}

}  // namespace quarlin::host
