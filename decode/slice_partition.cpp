#include "decode/slice_partition.h"

#include <algorithm>
#include <bitset>
#include <cmath>

#include "parse/start_codes.h"

namespace quarlin {

int32_t slicePartCount(int32_t maxParts, int32_t workerCount) {
  const int32_t parts = maxParts < workerCount ? maxParts : workerCount;
  return parts < 1 ? 1 : parts;
}

bool partitionRows(const StreamBuffer& unit, int32_t parts, int32_t* sliceStart, int32_t* sliceTotal) {
  const auto& codes = unit.table->codes;
  const int32_t entries = unit.entryCount();
  // Coded bytes of the slice at entry i (up to the next start code).
  auto bytesAt = [&](int32_t i) {
    const int64_t end = i + 1 < entries ? unit.table->wordOffsets[i + 1] : unit.filled;
    return end - unit.table->wordOffsets[i];
  };
  // Distinct rows, each seen in one stretch of consecutive slices.
  std::bitset<0x100> seen;
  int64_t rows = 0, bytes = 0;
  for (int32_t i = unit.cursor, row = 0; i < entries; ++i) {
    if (!isSliceStartCode(codes[i])) continue;
    bytes += bytesAt(i);
    if (static_cast<int32_t>(codes[i] & 0xFF) == row) continue;
    row = static_cast<int32_t>(codes[i] & 0xFF);
    if (seen[static_cast<size_t>(row)]) return false;
    seen[static_cast<size_t>(row)] = true;
    ++rows;
  }
  if (rows == 0 || bytes <= 0) return false;
  int32_t ordinal = 0;  // of the next slice, from the unit's first
  for (int32_t i = 0; i < unit.cursor; ++i) ordinal += isSliceStartCode(codes[i]) ? 1 : 0;
  for (int32_t k = 0; k < parts; ++k) sliceStart[k] = sliceTotal[k] = 0;
  // A row costs its coded bytes plus the mean bytes of a row (its
  // macroblocks' reconstruction). The runs' costs fall linearly, so that
  // the last runs, which the threads take as they come free, are short and
  // the threads end the picture close together: run k starts with the row
  // whose cost before it reaches 1 - (1 - k / parts)^2 of the whole.
  const double whole = 2.0 * static_cast<double>(bytes) * static_cast<double>(rows);
  int64_t before = 0;  // bytes of the rows before this one
  for (int32_t i = unit.cursor, row = 0, g = -1, k = 0; i < entries; ++i) {
    if (!isSliceStartCode(codes[i])) continue;
    if (static_cast<int32_t>(codes[i] & 0xFF) != row) {
      row = static_cast<int32_t>(codes[i] & 0xFF);
      ++g;
      const double share = static_cast<double>(before * rows + g * bytes) / whole;  // [0, 1)
      k = std::min(parts - 1, static_cast<int32_t>(parts * (1.0 - std::sqrt(1.0 - share))));
    }
    if (sliceTotal[k]++ == 0) sliceStart[k] = ordinal;
    ++ordinal;
    before += bytesAt(i);
  }
  return true;
}

}  // namespace quarlin
