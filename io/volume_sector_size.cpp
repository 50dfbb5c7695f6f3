#include "io/volume_sector_size.h"

#include <atomic>

#include "foundation/kelso/disk_utils.h"

namespace quarlin {
namespace {
std::atomic<uint32_t> overriddenSectorSize{0};
}

bool volumeSectorSize(const char16_t* path, uint32_t& sectorSize) {
  uint32_t bytesPerSector = overriddenSectorSize.load(std::memory_order_relaxed);
  if (bytesPerSector == 0) {
    uint32_t sectorsPerCluster = 0, freeClusters = 0, totalClusters = 0;
    if (Kelso::DiskUtils::GetDiskFreeSpaceFromPath(path, &sectorsPerCluster, &bytesPerSector,
                                                   &freeClusters, &totalClusters) < 0)
      return false;
  }
  if (bytesPerSector == 0 || (bytesPerSector & (bytesPerSector - 1)) != 0) return false;
  sectorSize = bytesPerSector;
  return true;
}

void overrideVolumeSectorSizeForTesting(uint32_t sectorSize) {
  overriddenSectorSize.store(sectorSize, std::memory_order_relaxed);
}

}  // namespace quarlin
