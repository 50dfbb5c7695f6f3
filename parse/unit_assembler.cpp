#include "parse/unit_assembler.h"

#include "parse/start_codes.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quarlin {

namespace {

void recordStartCode(StreamBuffer& unit, int32_t p, uint32_t code) {
  StartCodeTable& t = *unit.table;
  t.codes.push_back(code);
  t.wordOffsets.push_back(static_cast<uint32_t>(p & ~3));
  t.bitIndices.push_back(static_cast<uint32_t>((4 - (p & 3)) * 8 - 1));
  if (isSliceStartCode(code)) ++unit.sliceCount;
}

// Zero bytes written after the last unit of the data (inside the storage's
// slack beyond its capacity).
constexpr int32_t kEndPadding = 8;
static_assert(kEndPadding <= kUnitReadSlack);

// Words of the unit, rounded up to include a partial last word.
int32_t wordCount(const StreamBuffer& unit) { return (unit.filled + 3) / 4; }

}  // namespace

namespace {

#if defined(__SSE2__)
// Bit i set when the bytes at d + i are 00 00 01, for i in 0..15 (reads
// d[0..17]). Testing all three bytes at once leaves no candidate to check
// one by one: coded data holds about one pair of zero bytes per kilobyte.
inline uint32_t prefixMask16(const uint8_t* d) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i at0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
  const __m128i at1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 1));
  const __m128i at2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 2));
  const __m128i hits = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(at0, zero), _mm_cmpeq_epi8(at1, zero)),
                                     _mm_cmpeq_epi8(at2, _mm_set1_epi8(1)));
  return static_cast<uint32_t>(_mm_movemask_epi8(hits));
}
#endif

// Offset of the next 00 00 01 prefix at or after p whose four bytes lie at
// or before `last`, or -1. Sixteen offsets at a time where SSE2 exists.
int32_t findPrefix(const uint8_t* d, int32_t p, int32_t last) {
#if defined(__SSE2__)
  for (; p + 16 <= last; p += 16)
    if (const uint32_t hits = prefixMask16(d + p)) return p + __builtin_ctz(hits);
#endif
  for (; p <= last; ++p)
    if (d[p] == 0 && d[p + 1] == 0 && d[p + 2] == 1) return p;
  return -1;
}

}  // namespace

bool scanForStartCodes(StreamBuffer& unit) {
  const uint8_t* d = unit.data;
  const int32_t last = unit.filled - 4;  // last offset whose four bytes exist
  for (int32_t q = findPrefix(d, unit.scanPos, last); q >= 0; q = findPrefix(d, q + 1, last)) {
    const uint32_t code = 0x100u | d[q + 3];
    recordStartCode(unit, q, code);
    if (code == 0x100) {
      // Cut after the picture start code; what follows starts the next unit.
      unit.carryOffset = q + 4;
      unit.carryCount = unit.filled - (q + 4);
      unit.filled = q + 4;
      unit.scanPos = q;
      return true;
    }
  }
  // The last three bytes are scanned again after the next fill, so a start
  // code split between fills is found.
  if (unit.filled - 3 > unit.scanPos) unit.scanPos = unit.filled - 3;
  return false;
}

int32_t readNextPictureUnit(StreamBuffer& unit, VideoByteSource& source) {
  unit.setFilled(0);
  unit.table->clear();
  unit.sliceCount = 0;
  unit.cursor = 0;
  unit.scanPos = 0;
  for (;;) {
    int32_t result = 0;
    if (unit.carryCount == 0) {
      result = source.fill(unit);
      if (result != kReadOk && result != kEndOfData) {
        reverseWordBytes(unit.data, 0, wordCount(unit));
        return result;
      }
    } else {
      // The word holding the first carried byte was reordered with the
      // previous unit; put it back into file order before moving the bytes.
      if (unit.carryOffset % 4 != 0) reverseWordBytes(unit.data, unit.carryOffset / 4, unit.carryOffset / 4 + 1);
      std::memmove(unit.data, unit.data + unit.carryOffset, static_cast<size_t>(unit.carryCount));
      unit.setFilled(unit.carryCount);
      unit.carryCount = 0;
      unit.carryOffset = 0;
    }
    // Bytes delivered with the end of the data are scanned too, so several
    // short pictures in the last piece still come out one unit each.
    const bool cut = scanForStartCodes(unit);
    if (unit.capacity <= unit.filled + kUnitAbandonMargin) {
      // Too large for a picture: abandoned, its bytes left in file order.
      // Bytes cut off it were never reordered, so they are dropped too.
      unit.carryCount = 0;
      unit.carryOffset = 0;
      return kEndOfData;
    }
    if (cut || result == kEndOfData) {
      // The last unit of the data ends without a start code: zeros after it
      // end its last slice as a start code would.
      if (!cut) std::memset(unit.data + unit.filled, 0, kEndPadding);
      reverseWordBytes(unit.data, 0, wordCount(unit));
      unit.wordPtr = unit.words();
      unit.bitOffset = 31;
      return cut ? kReadOk : kEndOfData;
    }
  }
}

}  // namespace quarlin
