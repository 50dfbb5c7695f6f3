// Volume facts through the foundation library.
#pragma once
#include <cstdint>

namespace Kelso::DiskUtils {

// Fills the facts of the volume that holds `path` (a NUL-terminated UTF-16
// path of a file or folder on it): sectors per cluster, bytes per sector
// (the unit of unbuffered I/O on the volume), free and total clusters. Null
// outputs are skipped. 0 on success, kDiskQueryFailed when the path is null
// or the volume cannot be queried (the outputs are then left alone).
constexpr int32_t kDiskQueryFailed = -1;
int32_t GetDiskFreeSpaceFromPath(const char16_t* path, uint32_t* sectorsPerCluster,
                                 uint32_t* bytesPerSector, uint32_t* freeClusters,
                                 uint32_t* totalClusters);

}  // namespace Kelso::DiskUtils
