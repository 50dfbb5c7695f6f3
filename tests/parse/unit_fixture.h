// Picture units fed from prepared pieces of bytes, without a file: a fill
// step that hands out one piece per call, and a fixture that owns a unit and
// its start-code table over the test host.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "parse/stream_buffer.h"
#include "parse/unit_assembler.h"
#include "tests/support/mpeg_stream_builder.h"
#include "tests/support/test_host.h"

namespace quarlin::test {

// Each fill appends the next piece (as much as fits) and returns its result;
// once the pieces are used up every fill returns -4 with nothing appended.
class ScriptedSource final : public VideoByteSource {
 public:
  struct Piece {
    Bytes bytes;
    int32_t result = 0;
  };
  std::vector<Piece> pieces;
  size_t next = 0;
  int calls = 0;

  int32_t fill(StreamBuffer& unit) override {
    ++calls;
    if (next >= pieces.size()) return -4;
    const Piece& p = pieces[next++];
    const int32_t n = std::min(static_cast<int32_t>(p.bytes.size()), unit.capacity - unit.filled);
    std::memcpy(unit.data + unit.filled, p.bytes.data(), static_cast<size_t>(n));
    unit.setFilled(unit.filled + n);
    return p.result;
  }
};

// The unit's bytes in file order (the unit itself stays in reader order).
inline Bytes fileOrder(const StreamBuffer& unit) {
  Bytes out(unit.data, unit.data + (unit.filled + 3) / 4 * 4);
  reverseWordBytes(out.data(), 0, static_cast<int32_t>(out.size() / 4));
  out.resize(static_cast<size_t>(unit.filled));
  return out;
}

struct Entry {
  uint32_t code, wordOffset, bitIndex;
};

inline std::vector<Entry> entriesOf(const StreamBuffer& unit) {
  std::vector<Entry> out;
  for (int32_t i = 0; i < unit.entryCount(); ++i)
    out.push_back({unit.table->codes[i], unit.table->wordOffsets[i], unit.table->bitIndices[i]});
  return out;
}

class UnitFixture : public ::testing::Test {
 protected:
  // Assembles the next unit from `source`.
  int32_t next(VideoByteSource& source) { return readNextPictureUnit(*unit, source); }
  // The one unit that `bytes` (delivered in one piece) makes.
  int32_t load(const Bytes& bytes) {
    source = ScriptedSource{};
    source.pieces.push_back({bytes, 0});
    return next(source);
  }

  StartCodeTable table;
  SharedBuffer unit = createSharedBuffer(kUnitCapacity, &table, testHostServices());
  ScriptedSource source;
};

}  // namespace quarlin::test
