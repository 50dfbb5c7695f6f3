#include "foundation/kelso/disk_utils.h"

#include "platform/file.h"

namespace Kelso::DiskUtils {

int32_t GetDiskFreeSpaceFromPath(const char16_t* path, uint32_t* sectorsPerCluster,
                                 uint32_t* bytesPerSector, uint32_t* freeClusters,
                                 uint32_t* totalClusters) {
  if (!path) return kDiskQueryFailed;
  uint32_t perCluster = 0, sector = 0, freeCount = 0, total = 0;
  if (!quarlin::platform::diskFreeSpace(path, perCluster, sector, freeCount, total)) return kDiskQueryFailed;
  if (sectorsPerCluster) *sectorsPerCluster = perCluster;
  if (bytesPerSector) *bytesPerSector = sector;
  if (freeClusters) *freeClusters = freeCount;
  if (totalClusters) *totalClusters = total;
  return 0;
}

}  // namespace Kelso::DiskUtils
