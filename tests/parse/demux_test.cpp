// File-kind recognition and the fill steps of elementary, program and
// transport streams (ISO/IEC 13818-1 2.4, 2.5) on files written for each
// test.
#include <gtest/gtest.h>

#include <cstring>

#include "parse/stream_source.h"
#include "tests/support/container_builder.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

const std::string kDirectory = "/tmp/quarlin-parse-tests";

// A probed stream source over a file of `bytes`, and a unit to fill.
struct Source {
  explicit Source(const Bytes& bytes, int32_t capacity = kUnitCapacity)
      : file(kDirectory, bytes), source(file.u16path(), testHostServices()) {
    unit = createSharedBuffer(capacity, &table, testHostServices());
  }
  int32_t probe() {
    const uint8_t* none = nullptr;
    int32_t size = 0;
    return source.probe(none, size);
  }
  // The bytes one fill appends.
  Bytes fill(int32_t* result) {
    const int32_t before = unit->filled;
    *result = source.fill(*unit);
    return Bytes(unit->data + before, unit->data + unit->filled);
  }
  TempFile file;
  StreamSource source;
  StartCodeTable table;
  SharedBuffer unit;
};

TEST(ProbeTest, RecognisesKindsAndRefusesForeignFormats) {
  const struct {
    Bytes head;
    int32_t result;
    bool transport;
  } cases[] = {
      {{0, 0, 1, 0xB3}, 0, false},
      {{0, 0, 1, 0xBA}, 0, false},
      {{0x47, 0x40, 0, 0x10}, 0, true},
      {{0, 0, 0, 0}, 0, false},
      {{0, 0, 0, 0x18, 'm', 'o', 'o', 'v'}, -3, false},
      {{0, 0, 0, 0x18, 'm', 'd', 'a', 't'}, -3, false},
      {{0, 0, 0, 0x18, 'u', 'd', 't', 'a'}, -3, false},
      {{'A', 'D', 'I', 'F'}, -3, false},
      {{0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0, 0xAA, 0, 0x62, 0xCE, 0x6C}, -3, false},
      {{0, 0, 1, 0x00}, -3, false},
      {{0, 0, 1, 0x1F}, -3, false},
      {{0, 0, 1, 0xB0}, -3, false},
      {{0, 0, 0x80, 0x02}, -3, false},
  };
  for (const auto& c : cases) {
    Bytes bytes = c.head;
    bytes.resize(64, 0x55);
    Source s(bytes);
    EXPECT_EQ(s.probe(), c.result) << std::hex << int(c.head[0]) << " " << int(c.head[3]);
    EXPECT_EQ(s.source.reader().getPosition(), 0);
    if (c.result == 0) {
      EXPECT_EQ(s.source.demux().isTransport, c.transport);
    }
  }
  Source tiny(Bytes{0, 0, 1, 0xB3, 0, 0, 0});
  EXPECT_EQ(tiny.probe(), -4);
  StreamSource missing(u"/tmp/quarlin-parse-tests/no-such-file.m2v", testHostServices());
  const uint8_t* none = nullptr;
  int32_t size = 0;
  EXPECT_EQ(missing.probe(none, size), -6);
}

// --- Program streams --------------------------------------------------------

TEST(ProgramStreamTest, AppendsOnlyVideoPayloadsAndRecordsPackStarts) {
  const Bytes first = counting(300, 1), second = counting(77, 0x80);
  Bytes bytes = packHeader(2);
  append(bytes, packet(0xBB, counting(6, 0x90)));  // system header
  append(bytes, packet(0xBE, Bytes(10, 0xFF)));    // padding
  append(bytes, packet(0xC0, counting(20, 0xA0)));  // audio
  append(bytes, videoPacket(first, 2));
  const int64_t secondPack = static_cast<int64_t>(bytes.size());
  append(bytes, packHeader());
  append(bytes, videoPacket(second, 1, 0xE3));
  append(bytes, startCode(0xB9));
  append(bytes, Bytes(8, 0));

  Source s(bytes);
  ASSERT_EQ(s.probe(), 0);
  int32_t result = 0;
  EXPECT_EQ(s.fill(&result), first);  // PTS and DTS: L - 13 bytes
  EXPECT_EQ(result, 0);
  EXPECT_EQ(s.fill(&result), second);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(s.source.demux().packStarts, (PositionSet{0, secondPack}));
  EXPECT_EQ(s.source.demux().lastRecorded, secondPack);
  EXPECT_EQ(s.fill(&result), Bytes{});
  EXPECT_EQ(result, -4);  // program end code
  EXPECT_FALSE(s.source.demux().isElementary);
}

// Length fields that do not fit never move bytes outside the unit.
TEST(ProgramStreamTest, DamagedLengthsStayInsideTheUnit) {
  const Bytes big = counting(100, 1), small = counting(8, 0xC0);
  Bytes bytes = packHeader();
  append(bytes, videoPacket(big, 1));  // more than the unit's room
  // PES_header_data_length 10 in a packet of 8 bytes.
  append(bytes, packet(0xE0, {0x81, 0xC0, 10, 0x21, 0x21, 0x21, 0x21, 0x21}));
  append(bytes, videoPacket(small, 0));
  append(bytes, startCode(0xB9));
  Source s(bytes, 64);
  ASSERT_EQ(s.probe(), 0);
  int32_t result = 0;
  EXPECT_EQ(s.fill(&result), Bytes(big.begin(), big.begin() + 64));
  EXPECT_EQ(result, 0);
  s.unit->setFilled(0);
  EXPECT_EQ(s.fill(&result), small);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Bytes(s.unit->data + 64, s.unit->data + 64 + kUnitReadSlack), Bytes(kUnitReadSlack, 0));
}

// --- Transport streams ------------------------------------------------------

// A PES start on the video PID with `adaptation` bytes of adaptation field
// (-1: none) and PES_header_data_length `h`; the payload counts from 0x10.
Bytes videoStart(int adaptation, int h) {
  Bytes body;
  if (adaptation >= 0) {
    body.push_back(static_cast<uint8_t>(adaptation));
    append(body, Bytes(static_cast<size_t>(adaptation), 0xA5));
  }
  append(body, {0, 0, 1, 0xE0, 0, 0, 0x80, 0x80, static_cast<uint8_t>(h)});
  append(body, Bytes(static_cast<size_t>(h), 0x21));
  append(body, counting(body.size() < 184 ? 184 - body.size() : 0, 0x10));
  return tsPacket(kVideoPid, true, adaptation >= 0 ? 3 : 1, body);
}

Bytes tail(const Bytes& packet, size_t count) { return Bytes(packet.end() - static_cast<long>(count), packet.end()); }

TEST(TransportStreamTest, LearnsTheVideoPidThenReadsFromTheStart) {
  const Bytes v0 = videoStart(-1, 5);
  const Bytes v1 = videoStart(7, 5);
  const Bytes v2 = tsPacket(kVideoPid, false, 1, counting(184, 0x30));
  const Bytes v3 = tsPacket(kVideoPid, false, 3, [] {
    Bytes b = {10};
    append(b, Bytes(10, 0xA5));
    append(b, counting(173, 0x50));
    return b;
  }());
  Bytes bytes = v0;
  append(bytes, patPacket());
  append(bytes, pmtPacket(audioThenVideo()));
  append(bytes, v1);
  append(bytes, tsPacket(kVideoPid, false, 2, Bytes(184, 0x99)));  // adaptation only
  append(bytes, tsPacket(kVideoPid, false, 0, Bytes(184, 0x98)));  // reserved: discarded
  append(bytes, v2);
  append(bytes, v3);
  append(bytes, tsPacket(0x1FFF, false, 1, {}));

  Source s(bytes);
  ASSERT_EQ(s.probe(), 0);
  ASSERT_TRUE(s.source.demux().isTransport);
  int32_t result = 0;
  EXPECT_EQ(s.fill(&result), tail(v0, 170));  // the first video packet of the file
  EXPECT_EQ(result, 0);
  EXPECT_EQ(s.source.demux().programNumber, 1);
  EXPECT_EQ(s.source.demux().pmtPid, 0x100);
  EXPECT_EQ(s.source.demux().videoPid, kVideoPid);
  EXPECT_EQ(s.fill(&result), tail(v1, 162));
  EXPECT_EQ(s.fill(&result), tail(v2, 184));
  EXPECT_EQ(s.fill(&result), tail(v3, 173));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(s.source.demux().packetEnds, (PositionSet{0, 188, 4 * 188, 7 * 188, 8 * 188}));
  EXPECT_EQ(s.source.demux().lastRecorded, 8 * 188);
  EXPECT_EQ(s.fill(&result), Bytes{});
  EXPECT_EQ(result, -4);
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
    bool transport;
    int32_t size, syncOffset;
    int64_t first;
  } cases[] = {
      {records(188, 0, 0), true, 188, 0, 0},    {records(188, 0, 100), true, 188, 0, 88},
      {records(192, 4, 0), true, 192, 4, 0},    {records(192, 4, 2), true, 192, 4, 190},
      {records(204, 0, 0), true, 204, 0, 0},    {records(204, 0, 150), true, 204, 0, 54},
      {Bytes(2000, 0x47), true, 188, 0, 0},     {Bytes(2000, 0x11), false, 0, 0, 0},
      {Bytes{0x47, 1, 2, 3}, true, 188, 0, 0},  // a lone packet only at the very start
  };
  for (const auto& c : cases) {
    TransportLayout layout;
    EXPECT_EQ(detectTransportLayout(c.bytes.data(), static_cast<int32_t>(c.bytes.size()), layout), c.transport);
    if (!c.transport) continue;
    EXPECT_EQ(layout.packetSize, c.size);
    EXPECT_EQ(layout.syncOffset, c.syncOffset);
    EXPECT_EQ(layout.firstRecord, c.first);
  }
  const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(mpegCrc32(check, 9), 0x0376E6E7u);  // the CRC-32/MPEG-2 check value
}

TEST(TransportStreamTest, NoMpeg2VideoInTheProgramEndsTheData) {
  Bytes bytes = patPacket();
  append(bytes, pmtPacket({{3, 0x1C0, {}}, {1, 0x1E1, {}}}));
  append(bytes, tsPacket(0x1E1, true, 1, Bytes(184, 1)));
  Source s(bytes);
  ASSERT_EQ(s.probe(), 0);
  int32_t result = 0;
  EXPECT_EQ(s.fill(&result), Bytes{});
  EXPECT_EQ(result, -4);
  EXPECT_EQ(s.source.demux().videoPid, -2);
}

// Adaptation fields and PES headers longer than their packet: nothing of
// the packet is taken, and the next packet is read from its sync byte.
TEST(TransportStreamTest, DamagedLengthsLeaveNothingAndKeepPacketSync) {
  const Bytes good = tsPacket(kVideoPid, false, 1, counting(184, 0x40));
  Bytes bytes = patPacket();
  append(bytes, pmtPacket(audioThenVideo()));
  append(bytes, tsPacket(kVideoPid, false, 3, {200}, 0x47));
  append(bytes, tsPacket(kVideoPid, true, 1, {0, 0, 1, 0xE0, 0, 0, 0x80, 0x80, 250}, 0x47));
  append(bytes, videoStart(170, 5));
  append(bytes, good);
  append(bytes, tsPacket(0x1FFF, false, 1, {}));
  Source s(bytes, 1000);
  ASSERT_EQ(s.probe(), 0);
  int32_t result = 0;
  EXPECT_EQ(s.fill(&result), tail(good, 184));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(s.source.reader().getPosition(), 6 * 188);
}

TEST(TransportStreamTest, FirstPrivatePacketGivesStartOffsetAndFrameLimit) {
  const struct {
    int pid;
    Bytes body;
    int16_t shortValue;
    int32_t longValue;
  } cases[] = {
      {0x1FFE, {0xFF, 0xFE, 0, 0, 1, 0}, -2, 256},
      {0x1FFD, {0, 0, 0, 1, 0, 3, 0, 0, 0, 100}, 3, 100},
      {0x1FFD, {0, 0, 0, 2, 9, 9, 0, 4, 0, 0, 0, 50}, 4, 50},
  };
  for (const auto& c : cases) {
    Bytes bytes = patPacket();
    append(bytes, tsPacket(c.pid, false, 1, c.body));
    append(bytes, tsPacket(0x1FFE, false, 1, {0, 9, 0, 0, 0, 9}));  // only the first counts
    append(bytes, pmtPacket(audioThenVideo()));
    append(bytes, tsPacket(kVideoPid, false, 1, counting(184, 0)));
    append(bytes, tsPacket(0x1FFF, false, 1, {}));
    Source s(bytes);
    ASSERT_EQ(s.probe(), 0);
    int32_t result = 0;
    s.fill(&result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(s.source.demux().privateShort, c.shortValue);
    EXPECT_EQ(s.source.demux().privateLong, c.longValue);
    EXPECT_TRUE(s.source.demux().privateSeen);
  }
}

}  // namespace
}  // namespace quarlin::test
