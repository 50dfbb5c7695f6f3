#include "io/reader_host_tables.h"

#include <atomic>

namespace quarlin::reader_tables {
namespace {
// Atomic because sessions may be constructed on one thread while another
// session's reader loads a block; all hosts of one process give the same
// tables, so a reader never sees a mix that matters.
std::atomic<const QuarlinCacheSuite*> cacheSuite{nullptr};
std::atomic<const QuarlinMemorySuite*> memorySuite{nullptr};
std::atomic<const QuarlinHandleSuite*> handleSuite{nullptr};
}  // namespace

void store(const HostServices& services) {
  cacheSuite.store(services.cacheSuite, std::memory_order_release);
  memorySuite.store(services.memorySuite, std::memory_order_release);
  handleSuite.store(services.handleSuite, std::memory_order_release);
}

HostServices with(void* cacheRef) {
  return HostServices{cacheSuite.load(std::memory_order_acquire),
                      memorySuite.load(std::memory_order_acquire),
                      handleSuite.load(std::memory_order_acquire), cacheRef};
}

}  // namespace quarlin::reader_tables
