// A picture unit: the bytes that follow one picture start code up to and
// including the next one, with the table of the start codes inside it and
// the bit reader that every header, slice and macroblock parser reads with.
#pragma once
#include <cstdint>

#include "parse/bit_reader.h"
#include "foundation/shared_reference.h"
#include "parse/start_code_table.h"
#include "quarlin/quarlin.h"

namespace quarlin {

// nextStartCode and its kin when the unit's entries are exhausted.
constexpr int32_t kNoStartCode = -1;

// Every unit of the system has this capacity.
constexpr int32_t kUnitCapacity = 750000;
// A unit that comes this close to its capacity is abandoned.
constexpr int32_t kUnitAbandonMargin = 8192;
// Zero bytes kept beyond the capacity so that a parser running past the end
// of damaged data (at most one macroblock's worth of bits between checks)
// stays inside the storage and meets no valid code there.
constexpr int32_t kUnitReadSlack = 4096;

struct StreamBuffer {
  // BitReader: the read position (first two fields).
  uint32_t* wordPtr = nullptr;
  int32_t bitOffset = 31;

  QuarlinMemoryHandle storageHandle = nullptr;
  uint8_t* data = nullptr;  // 16-byte aligned
  int32_t filled = 0;
  int32_t capacity = 0;
  HostServices services{};
  StartCodeTable* table = nullptr;  // codes, wordOffsets, bitIndices
  int32_t cursor = 0;
  int32_t sliceCount = 0;
  int32_t carryCount = 0;
  int32_t carryOffset = 0;
  int32_t scanPos = 0;
  bool isView = false;

  BitReader reader() const { return BitReader{wordPtr, bitOffset}; }
  void setReader(const BitReader& r) {
    wordPtr = r.wordPtr;
    bitOffset = r.bitOffset;
  }
  uint32_t* words() const { return reinterpret_cast<uint32_t*>(data); }
  int32_t entryCount() const { return static_cast<int32_t>(table->codes.size()); }

  void setFilled(int32_t n) { filled = n < capacity ? (n > 0 ? n : 0) : capacity; }

  // Start-code navigation (see the .cpp for each rule).
  int32_t nextStartCode();
  void backOneStartCode();
  int32_t rewindToCurrent();
  int32_t skipStartCode();
  void stepBack();
  // Word position of entry i's first bit.
  BitReader entryPosition(int32_t i) const {
    return BitReader{words() + table->wordOffsets[i] / 4, static_cast<int32_t>(table->bitIndices[i])};
  }

  // Releases the storage unless this is a view.
  void destroy();
};

void destroyStreamBuffer(StreamBuffer* buffer);
using SharedBuffer = SharedReference<StreamBuffer, destroyStreamBuffer>;

// A unit of `capacity` bytes whose storage comes from the host's tables.
SharedBuffer createSharedBuffer(int32_t capacity, StartCodeTable* table, const HostServices& services);

// A view of `source` positioned at the start code of its slice with ordinal
// `skip` (0-based, counting slice start codes 0x101..0x1AF only). The caller
// guarantees that the unit holds more than `skip` slices.
StreamBuffer makeSliceView(const SharedBuffer& source, int32_t skip);

// Puts the bytes of words [first, last) into reader order (a byte reversal
// within each word; applying it twice restores file order).
void reverseWordBytes(uint8_t* data, int32_t firstWord, int32_t lastWord);

}  // namespace quarlin
