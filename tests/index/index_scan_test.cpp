// The index scan on elementary streams built here (sequence header, GOP
// headers, pictures with coding extensions and filler slices): display
// numbers, key entries, references, positions and sizes, slicing by
// I-picture budget, field-coded frames, and the same stream carried in
// program and transport streams.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "api/decoder_session.h"
#include "parse/picture_header.h"
#include "tests/support/container_builder.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_host.h"

namespace quarlin::test {
namespace {

struct Row {
  int32_t display;
  char type;
  bool key;
  int32_t forward, backward;
  bool operator==(const Row&) const = default;
};

void PrintTo(const Row& r, std::ostream* os) {
  *os << "{" << r.display << " " << r.type << (r.key ? " key" : "") << " f" << r.forward << " b" << r.backward << "}";
}

constexpr bool K = true, N = false;

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override { liveAtStart = testHostLiveAllocations(); }
  // Every host block a session took is given back when it ends.
  void TearDown() override {
    session.reset();
    EXPECT_EQ(testHostLiveAllocations(), liveAtStart);
    EXPECT_EQ(testHostMisuseCount(), 0);
  }
  int32_t open(const Bytes& bytes, const void* seekData = nullptr, int32_t seekSize = 0) {
    session.reset();
    file = std::make_unique<TempFile>("/tmp/quarlin-index-tests", bytes);
    session = std::make_unique<DecoderSession>(file->u16path(), testHostServices());
    return session->open(seekData, seekSize);
  }
  // Slices of `budget` until the scan ends; their progress values.
  int32_t finish(int32_t budget = 25, std::vector<float>* progress = nullptr) {
    int32_t result = kScanBudgetUsed;
    while (session->indexIncomplete && result == kScanBudgetUsed) {
      float p = -1.0f;
      result = session->indexSlice(budget, &p);
      if (progress) progress->push_back(p);
    }
    return result;
  }
  int32_t openAndFinish(const Bytes& bytes) {
    const int32_t opened = open(bytes);
    EXPECT_TRUE(opened == 0 || opened == -4) << opened;
    return opened == -4 ? finish() : opened;
  }
  std::vector<Row> rows() const {
    std::vector<Row> out;
    for (const auto& [number, e] : session->frameIndex.entries())
      out.push_back({number, "?IPB"[e.pictureType()], e.isKey(), e.forwardRef, e.backwardRef});
    return out;
  }
  // Coded picture i (coding order) is indexed as display number displays[i]
  // (-1: not indexed) at the offset after its start code, with its unit's length.
  void expectPositions(const BuiltStream& s, const std::vector<int32_t>& displays) {
    size_t indexed = 0;
    for (size_t i = 0; i < displays.size(); ++i) {
      if (displays[i] < 0) continue;
      ++indexed;
      const FrameIndexEntry* e = session->frameIndex.findEntry(displays[i]);
      ASSERT_NE(e, nullptr) << displays[i];
      EXPECT_EQ(e->streamPosition, s.pictureEnds[i]) << "display " << displays[i];
      EXPECT_EQ(e->codedSize, s.unitLength(i)) << "display " << displays[i];
    }
    EXPECT_EQ(session->frameIndex.entries().size(), indexed);
  }

  int64_t liveAtStart = 0;
  std::unique_ptr<TempFile> file;
  std::unique_ptr<DecoderSession> session;
};

const Group kClosed = {{0, 'I'}, {3, 'P'}, {1, 'B'}, {2, 'B'}};
const Group kOpen = {{2, 'I'}, {0, 'B'}, {1, 'B'}, {5, 'P'}, {3, 'B'}, {4, 'B'}};
const std::vector<Row> kOpenRows = {{0, 'B', N, -1, 2}, {1, 'B', N, -1, 2}, {2, 'I', K, -1, -1},
                                    {3, 'B', N, 2, 5},  {4, 'B', N, 2, 5},  {5, 'P', N, 2, -1}};

// A closed group alone is indexed by the open's first slice.
TEST_F(ScanTest, ClosedGroupAtTheStartIsIndexedAtOpen) {
  const BuiltStream s = elementaryStream({kClosed});
  ASSERT_EQ(open(s.bytes), 0);
  EXPECT_FALSE(session->indexIncomplete);
  EXPECT_FALSE(session->buffer);
  EXPECT_EQ(rows(), (std::vector<Row>{{0, 'I', K, -1, -1}, {1, 'B', N, 0, 3}, {2, 'B', N, 0, 3}, {3, 'P', N, 0, -1}}));
  expectPositions(s, {0, 3, 1, 2});
  EXPECT_EQ(session->frameIndex.frameCount(), 4u);
}

TEST_F(ScanTest, OpenGroupsNumberDisplayOrderAndReferences) {
  std::vector<Row> twoOpen = kOpenRows;
  twoOpen.insert(twoOpen.end(), {{6, 'B', N, 5, 8}, {7, 'B', N, 5, 8}, {8, 'I', K, -1, -1},
                                 {9, 'B', N, 8, 11}, {10, 'B', N, 8, 11}, {11, 'P', N, 8, -1}});
  // A group without a P-picture: the next group's leading B-pictures
  // predict from its I-picture, the last anchor decoded before them.
  const std::vector<Row> withoutP = {
      {0, 'I', K, -1, -1}, {1, 'B', N, 0, 3},  {2, 'B', N, 0, 3},   {3, 'P', N, 0, -1},
      {4, 'B', N, 3, 6},   {5, 'B', N, 3, 6},  {6, 'I', K, -1, -1}, {7, 'B', N, 6, 9},
      {8, 'B', N, 6, 9},   {9, 'I', K, -1, -1}, {10, 'B', N, 9, 12}, {11, 'B', N, 9, 12},
      {12, 'P', N, 9, -1}};
  const struct {
    const char* name;
    std::vector<Group> groups;
    std::vector<Row> rows;
    std::vector<int32_t> displays;  // per coded picture
  } cases[] = {
      {"open group first", {kOpen}, kOpenRows, {2, 0, 1, 5, 3, 4}},
      {"two open groups", {kOpen, kOpen}, twoOpen, {2, 0, 1, 5, 3, 4, 8, 6, 7, 11, 9, 10}},
      {"group without P", {kClosed, {{2, 'I'}, {0, 'B'}, {1, 'B'}}, kOpen}, withoutP,
       {0, 3, 1, 2, 6, 4, 5, 9, 7, 8, 12, 10, 11}},
      // Coded before the first I-picture: neither indexed nor counted.
      {"starts mid-group", {{{1, 'B'}, {2, 'B'}, {5, 'P'}}, kOpen}, kOpenRows, {-1, -1, -1, 2, 0, 1, 5, 3, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const BuiltStream s = elementaryStream(c.groups);
    ASSERT_EQ(openAndFinish(s.bytes), 0);
    EXPECT_EQ(rows(), c.rows);
    expectPositions(s, c.displays);
  }
}

// Display order is the order a decoder puts frames out (ISO/IEC 13818-2
// 6.1.1.11), whatever temporal_reference does: groups with several
// I-pictures, no group headers (temporal_reference wrapping at 1024), lost
// pictures. Frame numbers stay contiguous.
TEST_F(ScanTest, DisplayOrderIsTheDecodersOutputOrder) {
  StreamOptions noGroups;
  noGroups.groupHeaders = false;
  const struct {
    const char* name;
    std::vector<Group> groups;
    StreamOptions options;
    std::vector<Row> rows;
  } cases[] = {
      {"several I-pictures in a group",
       {{{0, 'I'}, {3, 'P'}, {1, 'B'}, {2, 'B'}, {6, 'I'}, {4, 'B'}, {5, 'B'}, {7, 'P'}}},
       {},
       {{0, 'I', K, -1, -1}, {1, 'B', N, 0, 3}, {2, 'B', N, 0, 3}, {3, 'P', N, 0, -1}, {4, 'B', N, 3, 6},
        {5, 'B', N, 3, 6}, {6, 'I', K, -1, -1}, {7, 'P', N, 6, -1}}},
      {"no group headers, temporal_reference wrapping",
       {{{1021, 'I'}, {0, 'P'}, {1022, 'B'}, {1023, 'B'}}, {{3, 'P'}, {1, 'B'}, {2, 'B'}}},
       noGroups,
       {{0, 'I', K, -1, -1}, {1, 'B', N, 0, 3}, {2, 'B', N, 0, 3}, {3, 'P', N, 0, -1}, {4, 'B', N, 3, 6},
        {5, 'B', N, 3, 6}, {6, 'P', N, 3, -1}}},
      {"lost pictures", {{{0, 'I'}, {3, 'P'}, {1, 'B'}, {6, 'P'}, {4, 'B'}, {5, 'B'}}}, {},
       {{0, 'I', K, -1, -1}, {1, 'B', N, 0, 2}, {2, 'P', N, 0, -1}, {3, 'B', N, 2, 5}, {4, 'B', N, 2, 5},
        {5, 'P', N, 2, -1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(openAndFinish(elementaryStream(c.groups, c.options).bytes), 0);
    EXPECT_EQ(rows(), c.rows);
  }
}

// A damaged group or picture header does not end the scan: the picture is
// passed over and the rest of the file indexed.
TEST_F(ScanTest, DamagedHeadersArePassedOver) {
  BuiltStream s = elementaryStream({kClosed, kClosed});
  append(s.bytes, gopHeader(true));
  append(s.bytes, startCode(0xB7));
  PictureParams bad = paramsFor({0, 'I'});
  bad.type = 0;  // picture_coding_type 0 is forbidden
  append(s.bytes, pictureHeader(bad));
  append(s.bytes, elementaryStream({kClosed}).bytes);
  ASSERT_EQ(openAndFinish(s.bytes), 0);
  EXPECT_EQ(rows().size(), 12u);
}

TEST_F(ScanTest, BudgetEndsASliceAfterTheThirdIntraPicture) {
  const BuiltStream s = elementaryStream({kClosed, kClosed, kClosed, kClosed});
  ASSERT_EQ(open(s.bytes), -4);
  EXPECT_TRUE(session->indexIncomplete);
  std::vector<Row> all;
  for (int g = 0; g < 4; ++g)
    for (const Row& r : std::vector<Row>{{0, 'I', K, -1, -1}, {1, 'B', N, 0, 3}, {2, 'B', N, 0, 3}, {3, 'P', N, 0, -1}})
      all.push_back({r.display + 4 * g, r.type, r.key, r.forward < 0 ? -1 : r.forward + 4 * g,
                     r.backward < 0 ? -1 : r.backward + 4 * g});
  // The third I-frame waits for the next I/P-frame to be numbered.
  EXPECT_EQ(rows(), std::vector<Row>(all.begin(), all.begin() + 8));
  EXPECT_EQ(session->frameIndex.frameCount(), 0u);
  EXPECT_EQ(session->indexSlice(25, nullptr), 0);
  EXPECT_EQ(rows(), all);
  EXPECT_EQ(session->frameIndex.frameCount(), 16u);
}

// The index does not depend on where the slices end; positions follow each
// picture start code and progress reaches exactly 1.0 with the end.
TEST_F(ScanTest, SlicedScanEqualsOneScan) {
  StreamOptions o;
  o.varySize = true, o.slicePayload = 300, o.sliceRows = 3;
  std::vector<Group> groups;
  for (int g = 0; g < 12; ++g) groups.push_back(g % 3 ? kOpen : kClosed);
  const BuiltStream s = elementaryStream(groups, o);
  ASSERT_EQ(open(s.bytes), -4);
  std::vector<float> progress;
  ASSERT_EQ(finish(1, &progress), 0);
  ASSERT_GE(progress.size(), 8u);
  for (size_t i = 0; i + 1 < progress.size(); ++i) {
    EXPECT_GT(progress[i], 0.0f);
    EXPECT_LT(progress[i], 1.0f);
    EXPECT_LT(progress[i], progress[i + 1]);
  }
  EXPECT_EQ(progress.back(), 1.0f);
  const FrameIndex::Map sliced = session->frameIndex.entries();

  ASSERT_EQ(open(s.bytes), -4);
  ASSERT_EQ(finish(1000), 0);
  const FrameIndex::Map whole = session->frameIndex.entries();
  ASSERT_EQ(sliced.size(), whole.size());
  for (const auto& [number, e] : whole) {
    const FrameIndexEntry& other = sliced.at(number);
    EXPECT_EQ(other.streamPosition, e.streamPosition);
    EXPECT_EQ(other.codedSize, e.codedSize);
    EXPECT_EQ(other.pictureFlags, e.pictureFlags);
    EXPECT_EQ(other.forwardRef, e.forwardRef);
    EXPECT_EQ(other.backwardRef, e.backwardRef);
  }
  std::vector<int32_t> displays;
  int32_t base = 0;
  for (const Group& g : groups) {
    for (const Coded& c : g) displays.push_back(base + c.temporalReference);
    base += static_cast<int32_t>(g.size());
  }
  expectPositions(s, displays);
}

// One entry per field pair, with the first field's position, unit length,
// type and references; the second field must have the other parity.
TEST_F(ScanTest, FieldPairsAreIndexedOncePerFrame) {
  for (int first : {1, 2}) {
    SCOPED_TRACE(first == 1 ? "top field first" : "bottom field first");
    const int second = 3 - first;
    const Group fields = {{0, 'I', first}, {0, 'P', second}, {3, 'P', first}, {3, 'P', second},
                          {1, 'B', first}, {1, 'B', second}, {2, 'B', first}, {2, 'B', second}};
    const BuiltStream s = elementaryStream({fields, kClosed});
    ASSERT_EQ(openAndFinish(s.bytes), 0);
    EXPECT_EQ(rows(), (std::vector<Row>{{0, 'I', K, -1, -1}, {1, 'B', N, 0, 3}, {2, 'B', N, 0, 3},
                                        {3, 'P', N, 0, -1}, {4, 'I', K, -1, -1}, {5, 'B', N, 4, 7},
                                        {6, 'B', N, 4, 7}, {7, 'P', N, 4, -1}}));
    expectPositions(s, {0, -1, 3, -1, 1, -1, 2, -1, 4, 7, 5, 6});
  }
  // A field whose other field is lost makes a frame of its own.
  const BuiltStream sameParity = elementaryStream({{{0, 'I', 1}, {0, 'P', 1}, {1, 'P', 2}, {1, 'P', 1}}});
  ASSERT_EQ(openAndFinish(sameParity.bytes), 0);
  EXPECT_EQ(rows(), (std::vector<Row>{{0, 'I', K, -1, -1}, {1, 'P', N, 0, -1}, {2, 'P', N, 1, -1}}));
  EXPECT_EQ(session->frameIndex.findEntry(0)->entryFlags, kSingleField);
  EXPECT_EQ(session->frameIndex.findEntry(1)->entryFlags, kSingleField);
  EXPECT_EQ(session->frameIndex.findEntry(2)->entryFlags, 0);
}

// The first unit found after seeking to an entry's position, within nine
// units, is the entry's picture: same length, temporal_reference and type.
void expectPicturesFoundFromPositions(DecoderSession& session, const std::vector<std::pair<int32_t, int32_t>>& codes) {
  SharedBuffer unit = createSharedBuffer(kUnitCapacity, &session.startCodeTables, testHostServices());
  for (const auto& [display, temporalReference] : codes) {
    const FrameIndexEntry* e = session.frameIndex.findEntry(display);
    ASSERT_NE(e, nullptr);
    session.stream.seekTo(e->streamPosition, *unit);
    EXPECT_EQ(unit->carryCount, 0);
    EXPECT_EQ(session.stream.reader().getPosition(), e->streamPosition);
    bool found = false;
    for (int k = 0; k < 9 && !found; ++k) {
      const int32_t r = session.stream.readNextPictureUnit(*unit);
      if (r != 0 && !(r == -4 && unit->filled > 0)) break;
      PictureInfo picture;
      parsePictureHeader(*unit, picture);
      found = static_cast<uint32_t>(unit->filled) == e->codedSize && picture.temporalReference == temporalReference &&
              picture.pictureCodingType == e->pictureType();
    }
    EXPECT_TRUE(found) << "display " << display << " at " << e->streamPosition;
  }
}

TEST_F(ScanTest, ProgramAndTransportStreamsGiveTheSameIndex) {
  StreamOptions o;
  o.varySize = true, o.slicePayload = 200;
  const BuiltStream s = elementaryStream({kClosed, kOpen, kOpen, kOpen, kClosed}, o);
  ASSERT_EQ(openAndFinish(s.bytes), 0);
  const std::vector<Row> expected = rows();
  const FrameIndex::Map elementary = session->frameIndex.entries();
  std::vector<std::pair<int32_t, int32_t>> codes;  // display number, temporal_reference
  int32_t base = 0;
  for (const Group& g : {kClosed, kOpen, kOpen, kOpen, kClosed}) {
    for (const Coded& c : g) codes.push_back({base + c.temporalReference, c.temporalReference});
    base += static_cast<int32_t>(g.size());
  }
  expectPicturesFoundFromPositions(*session, codes);

  for (const Bytes& container : {inProgramStream(s.bytes), inTransportStream(s.bytes)}) {
    SCOPED_TRACE(container[0] == 0x47 ? "transport" : "program");
    ASSERT_EQ(openAndFinish(container), 0);
    EXPECT_EQ(rows(), expected);
    for (const auto& [number, e] : session->frameIndex.entries()) EXPECT_EQ(e.codedSize, elementary.at(number).codedSize);
    EXPECT_TRUE(session->stream.demux().packStarts.empty());
    EXPECT_TRUE(session->stream.demux().packetEnds.empty());
    expectPicturesFoundFromPositions(*session, codes);
  }
}

// The scan drops the packet ends before each picture's position, so the
// set holds only those from the last position on.
TEST_F(ScanTest, TransportPacketEndsStayFew) {
  StreamOptions o;
  o.slicePayload = 150;
  const BuiltStream s = elementaryStream(std::vector<Group>(20, kClosed), o);
  const Bytes ts = inTransportStream(s.bytes);
  ASSERT_EQ(open(ts), -4);
  const PositionSet& ends = session->stream.demux().packetEnds;
  ASSERT_FALSE(ends.empty());
  ASSERT_TRUE(session->scan.holdingAnchor);  // the third I-frame, the last one read
  EXPECT_EQ(*ends.begin(), session->scan.heldAnchor.streamPosition);
  EXPECT_LE(ends.size(), 10u);
  EXPECT_GT(ts.size() / 188, 150u);
  EXPECT_GT(session->stream.demux().lastRecorded, *ends.begin());
}

TEST_F(ScanTest, TransportPrivatePacketSetsStartOffsetAndFrameLimit) {
  const BuiltStream s = elementaryStream({kClosed, kClosed, kClosed, kClosed, kClosed});
  for (const auto& [limit, count] : {std::pair{7u, 7u}, std::pair{0xFFFFFFFFu, 17u}}) {
    Bytes ts = inTransportStream(s.bytes);
    const Bytes priv = tsPacket(0x1FFE, false, 1,
                                {0, 3, static_cast<uint8_t>(limit >> 24), static_cast<uint8_t>(limit >> 16),
                                 static_cast<uint8_t>(limit >> 8), static_cast<uint8_t>(limit)});
    ts.insert(ts.begin() + 188, priv.begin(), priv.end());
    ASSERT_EQ(open(ts), -4);
    int32_t first = 0, second = 0;
    session->frameIndex.getStartFrameOffset(first, second);
    EXPECT_EQ(first, 3);
    ASSERT_EQ(finish(), 0);
    EXPECT_EQ(rows().size(), 20u);
    EXPECT_EQ(session->frameIndex.frameCount(), count);
  }
}

// A later sequence header with other weighting matrices is in force for the
// pictures after it: their entries record its matrices. A repeat of the
// first header changes nothing.
TEST_F(ScanTest, LaterSequenceHeadersGiveTheirMatrices) {
  const std::vector<uint8_t> intra(64, 20);
  StreamOptions other;
  other.sequence.intraMatrix = intra.data();
  Bytes bytes = elementaryStream({kClosed, kClosed}).bytes;
  append(bytes, elementaryStream({kClosed}).bytes);
  append(bytes, elementaryStream({kClosed, kClosed}, other).bytes);
  ASSERT_EQ(openAndFinish(bytes), 0);
  ASSERT_EQ(session->frameIndex.entries().size(), 20u);
  for (const auto& [number, e] : session->frameIndex.entries()) {
    const CodingState* state = session->frameIndex.codingState(e.codingState);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->matrices[0][0], number < 12 ? 8 : 20) << number;
  }
  EXPECT_EQ(session->frameIndex.codingStates().size(), 2u);
  EXPECT_EQ(session->firstSequence.intraMatrixLuma[0], 8);
}

// Seek data from a finished index restores it at the next open; a block
// one byte short, or shorter than 40 bytes, is not used and the file is
// indexed.
TEST_F(ScanTest, SeekDataRestoresTheIndexOrIsIgnored) {
  const BuiltStream s = elementaryStream({kOpen, kOpen, kOpen, kOpen});
  ASSERT_EQ(openAndFinish(s.bytes), 0);
  std::vector<uint8_t> block(static_cast<size_t>(StreamSource::seekDataSize() + session->frameIndex.serialisedSize()));
  uint8_t* out = block.data();
  session->stream.writeSeekData(out);
  session->frameIndex.serialise(out);
  const std::vector<Row> expected = rows();
  // The block's stream part says where positions were last recorded.
  const int64_t marker = 4242;
  std::memcpy(block.data() + 16, &marker, 8);

  const auto size = static_cast<int32_t>(block.size());
  ASSERT_EQ(open(s.bytes, block.data(), size), 0);
  EXPECT_FALSE(session->buffer);
  EXPECT_EQ(rows(), expected);
  EXPECT_EQ(session->frameIndex.frameCount(), 24u);
  EXPECT_EQ(session->stream.demux().lastRecorded, marker);

  EXPECT_EQ(open(s.bytes, block.data(), size - 1), -4);  // index part rejected: scanned
  EXPECT_EQ(finish(), 0);
  EXPECT_EQ(rows(), expected);

  std::vector<uint8_t> header(block.begin(), block.begin() + 44);
  std::memset(header.data() + 28, 0, 4);  // no entries
  std::memset(header.data() + 40, 0, 4);  // no coding states
  ASSERT_EQ(open(s.bytes, header.data(), 44), 0);
  EXPECT_TRUE(rows().empty());
  ASSERT_EQ(open(s.bytes, header.data(), 39), -4);  // not used at all
  EXPECT_EQ(session->stream.demux().lastRecorded, -1);
}

}  // namespace
}  // namespace quarlin::test
