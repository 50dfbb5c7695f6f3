// The sector size of the volume holding a file: the unit of unbuffered
// reads, and the alignment asked of block memory.
#pragma once
#include <cstdint>

namespace quarlin {

// Bytes per sector of the volume holding `path`, from the foundation
// library's disk query. False when the query fails or reports a size that
// cannot be an I/O alignment (zero or not a power of two).
bool volumeSectorSize(const char16_t* path, uint32_t& sectorSize);

// Tests: makes volumeSectorSize report `sectorSize` for every path, to
// stand in for volumes with other sector sizes; 0 restores the real query.
void overrideVolumeSectorSizeForTesting(uint32_t sectorSize);

}  // namespace quarlin
