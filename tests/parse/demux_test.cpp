// The fill steps of program and transport streams (ISO/IEC 13818-1 2.4,
// 2.5) on files written for each test: what the corpus lacks (damaged
// lengths, layouts seen from inside a record). Short and missing files are
// refused through the exports in tests/robustness.
#include <gtest/gtest.h>

#include "parse/stream_source.h"
#include "tests/support/corpus.h"
#include "tests/support/stream_writer.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

// A probed stream source over a file of `bytes`, and a unit to fill.
struct Source {
  explicit Source(const Bytes& bytes, int32_t capacity = kUnitCapacity)
      : file("/tmp/quarlin-parse-tests", bytes), source(file.u16path(), testHostServices()) {
    unit = createSharedBuffer(capacity, &table, testHostServices());
  }
  int32_t probe() {
    const uint8_t* none = nullptr;
    int32_t size = 0;
    return source.probe(none, size);
  }
  // What each fill into the emptied unit gives, through the one that ends
  // the data with the result `end`.
  std::vector<Bytes> fills(int32_t& end) {
    std::vector<Bytes> out;
    do {
      unit->setFilled(0);
      end = source.fill(*unit);
      out.emplace_back(unit->data, unit->data + unit->filled);
    } while (end == 0 && out.size() < 20);
    return out;
  }
  TempFile file;
  StreamSource source;
  StartCodeTable table;
  SharedBuffer unit;
};

// Only video payloads are taken, from any video stream id; length fields
// that do not fit never move bytes outside the unit.
TEST(ProgramStreamTest, VideoPayloadsPackStartsAndDamagedLengths) {
  const Bytes first = counting(30, 1), second = counting(20, 0x80), big = counting(100, 1), small = counting(8, 0xC0);
  Bytes bytes = packHeader(2);
  append(bytes, packet(0xBB, counting(6, 0x90)));  // system header
  append(bytes, packet(0xBE, Bytes(10, 0xFF)));    // padding
  append(bytes, packet(0xC0, counting(20, 0xA0)));  // audio
  append(bytes, videoPacket(first, 2));
  const auto secondPack = static_cast<int64_t>(bytes.size());
  append(bytes, packHeader());
  append(bytes, videoPacket(second, 1, 0xE3));
  append(bytes, videoPacket(big, 1));  // more than the unit's room
  // PES_header_data_length 10 in a packet of 8 bytes.
  append(bytes, packet(0xE0, {0x81, 0xC0, 10, 0x21, 0x21, 0x21, 0x21, 0x21}));
  append(bytes, videoPacket(small, 0));
  append(bytes, startCode(0xB9));
  append(bytes, Bytes(8, 0));
  Source s(bytes, 64);
  ASSERT_EQ(s.probe(), 0);
  int32_t end = 0;
  EXPECT_EQ(s.fills(end), (std::vector<Bytes>{first, second, Bytes(big.begin(), big.begin() + 64), small, {}}));
  EXPECT_EQ(end, -4);  // program end code
  EXPECT_EQ(Bytes(s.unit->data + 64, s.unit->data + 64 + kUnitReadSlack), Bytes(kUnitReadSlack, 0));
  EXPECT_EQ(s.source.demux().packStarts.remembered(), (std::vector<int64_t>{0, secondPack}));
  EXPECT_EQ(s.source.demux().lastRecorded, secondPack);
}

// A PES start on the video PID with `adaptation` bytes of adaptation field
// (-1: none) and PES_header_data_length 5; the payload counts from 0x10.
Bytes videoStart(int adaptation) {
  Bytes body;
  if (adaptation >= 0) {
    body.push_back(static_cast<uint8_t>(adaptation));
    append(body, Bytes(static_cast<size_t>(adaptation), 0xA5));
  }
  append(body, {0, 0, 1, 0xE0, 0, 0, 0x80, 0x80, 5, 0x21, 0x21, 0x21, 0x21, 0x21});
  append(body, counting(body.size() < 184 ? 184 - body.size() : 0, 0x10));
  return tsPacket(kVideoPid, true, adaptation >= 0 ? 3 : 1, body);
}

Bytes tail(const Bytes& packet, size_t count) { return Bytes(packet.end() - static_cast<long>(count), packet.end()); }

// Video before the PAT is read once the PMT names its PID; packets with
// adaptation only, reserved adaptation control or lengths longer than the
// packet give nothing, and the next packet is read from its sync byte.
TEST(TransportStreamTest, VideoPayloadsAfterLearningThePid) {
  const Bytes v0 = videoStart(-1), v1 = videoStart(7), v2 = tsPacket(kVideoPid, false, 1, counting(184, 0x30));
  Bytes bytes = v0;
  append(bytes, patPacket());
  append(bytes, pmtPacket());
  append(bytes, v1);
  append(bytes, tsPacket(kVideoPid, false, 2, Bytes(184, 0x99)));  // adaptation only
  append(bytes, tsPacket(kVideoPid, false, 0, Bytes(184, 0x98)));  // reserved
  append(bytes, tsPacket(kVideoPid, false, 3, {200}, 0x47));       // adaptation field too long
  append(bytes, tsPacket(kVideoPid, true, 1, {0, 0, 1, 0xE0, 0, 0, 0x80, 0x80, 250}, 0x47));  // PES header too long
  append(bytes, videoStart(170));  // header beyond the packet
  append(bytes, v2);
  append(bytes, tsPacket(0x1FFF, false, 1, {}));
  Source s(bytes);
  ASSERT_EQ(s.probe(), 0);
  ASSERT_TRUE(s.source.demux().isTransport);
  int32_t end = 0;
  EXPECT_EQ(s.fills(end), (std::vector<Bytes>{tail(v0, 170), tail(v1, 162), tail(v2, 184), {}}));
  EXPECT_EQ(end, -4);
  EXPECT_EQ(s.source.demux().videoPid, kVideoPid);
  EXPECT_EQ(s.source.demux().packetEnds.remembered(), (std::vector<int64_t>{0, 188, 4 * 188, 10 * 188}));
}

// Records of 188, 192 (time stamp first) and 204 bytes (parity after), from
// the first byte or from inside a record (a capture); five sync bytes in a
// row decide.
TEST(TransportStreamTest, RecordLayoutFromTheFirstBytes) {
  auto records = [](int size, int syncOffset, int skip) {
    Bytes b;
    for (int i = 0; i < 7; ++i) {
      Bytes r(static_cast<size_t>(size), 0x11);
      r[static_cast<size_t>(syncOffset)] = 0x47;
      append(b, r);
    }
    return Bytes(b.begin() + skip, b.end());
  };
  const struct {
    Bytes bytes;
    int32_t size, syncOffset;  // size 0: no transport stream
    int64_t first;
  } cases[] = {
      {records(188, 0, 100), 188, 0, 88}, {records(192, 4, 0), 192, 4, 0},  {records(192, 4, 2), 192, 4, 190},
      {records(204, 0, 150), 204, 0, 54}, {Bytes(2000, 0x47), 188, 0, 0}, {Bytes(2000, 0x11), 0, 0, 0},
      {Bytes{0x47, 1, 2, 3}, 188, 0, 0},  // a lone packet only at the very start
  };
  for (const auto& c : cases) {
    TransportLayout layout;
    EXPECT_EQ(detectTransportLayout(c.bytes.data(), static_cast<int32_t>(c.bytes.size()), layout), c.size != 0);
    if (c.size != 0) {
      EXPECT_EQ(std::tuple(layout.packetSize, layout.syncOffset, layout.firstRecord),
                std::tuple(c.size, c.syncOffset, c.first));
    }
  }
}

}  // namespace
}  // namespace quarlin::test
