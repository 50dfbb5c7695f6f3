// Picture units assembled from pieces of bytes (start-code entries against a
// plain scan, limits) and the headers read from them
// (ISO/IEC 13818-2 6.2.2, 6.2.3): what MPEG-2 video forbids is refused.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "parse/header_parser.h"
#include "parse/picture_header.h"
#include "parse/unit_assembler.h"
#include "tests/support/stream_writer.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

// Each fill appends the next piece (as much as fits) and gives its result;
// then -4 with nothing appended.
struct Pieces final : VideoByteSource {
  std::vector<std::pair<Bytes, int32_t>> pieces;
  size_t next = 0;
  int calls = 0;
  int32_t fill(StreamBuffer& unit) override {
    ++calls;
    if (next >= pieces.size()) return -4;
    const auto& [bytes, result] = pieces[next++];
    const int32_t n = std::min(static_cast<int32_t>(bytes.size()), unit.capacity - unit.filled);
    std::memcpy(unit.data + unit.filled, bytes.data(), static_cast<size_t>(n));
    unit.setFilled(unit.filled + n);
    return result;
  }
};

class UnitTest : public ::testing::Test {
 protected:
  int32_t load(const Bytes& bytes) {
    source = Pieces{};
    source.pieces = {{bytes, 0}};
    return readNextPictureUnit(*unit, source);
  }
  // The sequence `headers`, a GOP header and a picture start code.
  int32_t parseSequence(Bytes headers, int32_t* after = nullptr) {
    append(headers, gopHeader(true));
    append(headers, startCode(0));
    EXPECT_EQ(load(headers), 0);
    EXPECT_EQ(unit->nextStartCode(), 0x1B3);
    const int32_t result = parseSequenceHeader(*unit, sequence);
    if (after) *after = unit->nextStartCode();
    return result;
  }
  // A unit of `picture` (without its start code) and a slice.
  int32_t completePicture(const Bytes& picture) {
    Bytes bytes(picture.begin() + 4, picture.end());
    append(bytes, slice(0, 4));
    append(bytes, startCode(0));
    EXPECT_EQ(load(bytes), 0);
    parsePictureHeader(*unit, this->picture);
    return completePictureHeader(*unit, sequence, this->picture, values);
  }

  StartCodeTable table;
  SharedBuffer unit = createSharedBuffer(kUnitCapacity, &table, testHostServices());
  Pieces source;
  SequenceInfo sequence;
  PictureInfo picture;
  PictureDecodeValues values;
};

// Random bytes rich in zeros and ones, in random pieces (codes straddle
// fills; the last piece, which ends the data, holds several short units),
// against a byte-by-byte scan: every 00 00 01 is an entry at its place and
// each unit runs through the next picture start code.
TEST_F(UnitTest, UnitsAndEntriesMatchAPlainScanOnRandomData) {
  std::mt19937 random(77);
  for (int round = 0; round < 20; ++round) {
    Bytes bytes;
    while (bytes.size() < 6000) {
      const bool dense = random() % 2;
      for (size_t i = 0, length = 1 + random() % 300; i < length; ++i) {
        const uint32_t r = random() % 100;
        bytes.push_back(dense ? (r < 40 ? 0 : r < 55 ? 1 : r < 60 ? 0xB5 : static_cast<uint8_t>(random()))
                              : static_cast<uint8_t>(1 + random() % 255));
      }
    }
    std::vector<std::pair<size_t, uint32_t>> expected, found;
    std::vector<size_t> ends;
    for (size_t q = 0; q + 3 < bytes.size(); ++q) {
      if (bytes[q] != 0 || bytes[q + 1] != 0 || bytes[q + 2] != 1) continue;
      expected.push_back({q, 0x100u | bytes[q + 3]});
      if (bytes[q + 3] == 0) ends.push_back(q + 4), q += 3;
    }
    ends.push_back(bytes.size());
    Pieces s;
    for (size_t at = 0, n; at < bytes.size(); at += n) {
      n = std::min<size_t>(1 + random() % 700, bytes.size() - at);
      s.pieces.push_back({Bytes(bytes.begin() + at, bytes.begin() + at + n), at + n == bytes.size() ? -4 : 0});
    }
    size_t start = 0;
    for (size_t u = 0; u < ends.size(); start = ends[u++]) {
      ASSERT_EQ(readNextPictureUnit(*unit, s), u + 1 < ends.size() ? 0 : -4) << "round " << round << " unit " << u;
      Bytes inFileOrder(unit->data, unit->data + (unit->filled + 3) / 4 * 4);
      reverseWordBytes(inFileOrder.data(), 0, static_cast<int32_t>(inFileOrder.size() / 4));
      inFileOrder.resize(static_cast<size_t>(unit->filled));
      ASSERT_EQ(inFileOrder, Bytes(bytes.begin() + start, bytes.begin() + ends[u]));
      for (int32_t i = 0; i < unit->entryCount(); ++i)
        found.push_back({start + table.wordOffsets[i] + (31 - table.bitIndices[i]) / 8, table.codes[i]});
    }
    EXPECT_EQ(readNextPictureUnit(*unit, s), -4);
    EXPECT_EQ(unit->filled, 0);
    ASSERT_EQ(found, expected) << "round " << round;
  }
}

// A fill error passes through; a unit without a picture end is abandoned
// once it comes within 8192 bytes of its capacity.
TEST_F(UnitTest, FillErrorsAndOverlongUnitsEndTheData) {
  Pieces failing, endless;
  failing.pieces = {{Bytes(20, 0x11), 0}, {Bytes(3, 0x11), -7}};
  EXPECT_EQ(readNextPictureUnit(*unit, failing), -7);
  EXPECT_EQ(unit->filled, 23);
  endless.pieces = {{Bytes(741807, 0x11), 0}, {Bytes(1, 0x11), 0}, {Bytes(100, 0x11), 0}};
  EXPECT_EQ(readNextPictureUnit(*unit, endless), -4);
  EXPECT_EQ(std::pair(unit->filled, endless.calls), std::pair(741808, 2));
}

TEST_F(UnitTest, SequenceHeaderRulesAndPassedOverExtensions) {
  auto with = [](void (*change)(SequenceParams&), const std::vector<Bytes>& after = {}) {
    SequenceParams p;
    change(p);
    Bytes b = sequenceHeader(p);
    for (const Bytes& a : after) append(b, a);
    return b;
  };
  // 640 x 480 with a colour description, the top two bits of each size set: only 12 are kept.
  const Bytes display = BitWriter(0xB5).put(2, 4).put(5, 3).put(1, 1).put(0x010101, 24).put(0x3280, 14).put(1, 1)
                            .put(0x31E0, 14).done();
  const Bytes user = BitWriter(0xB2).put(0x41424344, 32).done();
  const Bytes scalable = BitWriter(0xB5).put(5, 4).put(0xABCDE, 20).done();
  const struct {
    const char* name;
    Bytes bytes;
    int32_t result, next = 0, displayWidth = 0;
  } cases[] = {
      {"aspect 0", with([](SequenceParams& p) { p.aspect = 0; }), -2},
      {"aspect 15", with([](SequenceParams& p) { p.aspect = 15; }), -2},
      {"marker bit", with([](SequenceParams& p) { p.marker = false; }), -2},
      {"extension marker bit", with([](SequenceParams& p) { p.extensionMarker = false; }), -2},
      {"another extension first", with([](SequenceParams& p) { p.extension = false; }, {display}), -2},
      {"aspect 14, then user data, display and scalable extensions",
       with([](SequenceParams& p) { p.aspect = 14; }, {user, display, scalable}), 0, 0x1B8, 640},
      {"sequence end", with([](SequenceParams&) {}, {startCode(0xB7)}), 0, 0x1B7, 720},
  };
  for (const auto& c : cases) {
    int32_t after = 0;
    EXPECT_EQ(parseSequence(c.bytes, &after), c.result) << c.name;
    if (c.result == 0) {
      EXPECT_EQ(std::tuple(after, sequence.displayWidth, sequence.width), std::tuple(c.next, c.displayWidth, 720))
          << c.name;
    }
  }
}

// Picture header and coding extension values outside their ranges (6.3.9,
// 6.3.10): f_code 1..9 or 15, field pictures with frame_pred_frame_dct 0 and
// no repeat_first_field, chroma_420_type equal to progressive_frame.
TEST_F(UnitTest, PictureHeaderRules) {
  ASSERT_EQ(parseSequence(sequenceHeader(SequenceParams{})), 0);
  auto check = [&](const PictureParams& p, int32_t result, const std::vector<int>& row, bool flipChroma = false) {
    Bytes bytes = pictureHeader(p);
    if (flipChroma) bytes[bytes.size() - 2] ^= 1;
    EXPECT_EQ(completePicture(bytes), result) << testing::PrintToString(row);
  };
  for (int at = 0; at < 4; ++at)
    for (int f : {0, 1, 9, 10, 14, 15}) {
      PictureParams p;
      p.type = 3, p.headerFCode = 1, p.fCode[0] = p.fCode[1] = p.fCode[2] = p.fCode[3] = 2, p.fCode[at] = f;
      check(p, (f >= 1 && f <= 9) || f == 15 ? 0 : -2, {at, f});
    }
  for (const auto& [type, fCode, result] : {std::tuple{0, 1, -2}, {5, 1, -2}, {7, 1, -2}, {2, 0, -2}, {3, 0, -2},
                                            {1, 0, 0}, {4, 0, 0}, {2, 3, 0}, {3, 6, 0}}) {
    PictureParams p;  // without coding extension: the header's f_codes
    p.type = type, p.headerFCode = fCode, p.codingExtension = false;
    check(p, result, {type, fCode});
  }
  for (const auto& [structure, framePred, repeat, result] :
       {std::tuple{3, 1, 1, 0}, {3, 0, 0, 0}, {1, 0, 0, 0}, {2, 0, 0, 0}, {1, 1, 0, -2}, {2, 1, 0, -2},
        {1, 0, 1, -2}, {0, 1, 0, -2}}) {
    PictureParams p;
    p.structure = structure, p.framePredFrameDct = framePred, p.repeatFirstField = repeat;
    check(p, result, {structure, framePred, repeat});
  }
  check(PictureParams{}, -2, {}, true);
}

}  // namespace
}  // namespace quarlin::test
